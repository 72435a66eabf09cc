#pragma once

// How a run ends: its exit statuses, the wording of its failures, and the one
// exit path. Failures are thrown as RunError and turned into one line on
// standard error and an exit status in exactly one place, runProgram().

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace triangle {

// Exit statuses of both programs.
enum class ExitStatus : int {
    ok = 0,
    badInput = 1,   // the control file or the data file holds something unreadable
    fileError = 2,  // a file cannot be opened, read, created or written
    internal = 3,   // anything else (out of memory, a defect)
    usage = 64,     // arguments the program does not take; nothing was read or written
};
// What --help says of them.
constexpr std::string_view exitStatusHelp =
    "Exit status: 0 done; 1 content that cannot be read; 2 a file that cannot be\n"
    "opened, read, created or written; 3 internal error; 64 wrong arguments.\n";

class RunError : public std::exception {
public:
    RunError(ExitStatus status, std::string message) : status_(status), message_(std::move(message)) {}

    ExitStatus status() const noexcept { return status_; }
    const char* what() const noexcept override { return message_.c_str(); }
    void append(std::string_view more) { message_ += more; }

private:
    ExitStatus status_;
    std::string message_;
};

// "file: line N: what", the common shape of every message about a place in a file.
std::string placeText(std::string_view file, std::int64_t line);

// A piece of file text as it is shown in a message: quoted, non-printable bytes
// escaped, long text cut.
std::string quoted(std::string_view text);

// The two ways a run fails: content that cannot be used ("file: line N:
// what"), and a file operation that fails ("file[: line N]: what: reason",
// the reason from `error`, an errno value, when it is not 0).
[[noreturn]] void failBadInput(std::string_view file, std::int64_t line, std::string_view what);
// The one wording of a read that finds something else than it needs:
// "expected X, found Y", and the whole line "file: line N: [where: ]expected
// X, found Y[note]".
std::string expectedFound(std::string_view expected, std::string_view found);
[[noreturn]] void failExpected(std::string_view file, std::int64_t line, std::string_view expected,
                               std::string_view found, std::string_view where = {},
                               std::string_view note = {});
[[noreturn]] void failFile(std::string_view file, std::string_view what, int error, std::int64_t line = 0);

// One line "program: warning: message" on standard error; the run goes on.
void warn(std::string_view program, std::string_view message);

// Data lines with a problem that does not stop the run: counted, and told once.
struct LineTally {
    std::int64_t count = 0;
    std::int64_t firstLine = 0;

    void note(std::int64_t line) {
        if (count++ == 0) firstLine = line;
    }
    // "program: warning: file: line L: what (N units in all)", when any line was noted.
    void tell(std::string_view program, std::string_view file, std::string_view what,
              std::string_view unit) const;
};

// Runs the body of a program; a RunError (or any other exception) becomes one
// line "program: message" on standard error and the matching exit status.
int runProgram(std::string_view program, const std::function<void()>& body);

}  // namespace triangle
