#include "common/run_error.hpp"

#include <cstdio>
#include <cstring>
#include <new>

namespace triangle {

std::string placeText(std::string_view file, std::int64_t line) {
    return std::string(file).append(": line ").append(std::to_string(line));
}

std::string quoted(std::string_view text) {
    constexpr std::size_t shown = 60;
    static const char hex[] = "0123456789abcdef";
    std::string out = "'";
    for (std::size_t i = 0; i < text.size() && i < shown; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7f && c != '\\')
            out += static_cast<char>(c);
        else
            out.append("\\x").append(1, hex[c >> 4]).append(1, hex[c & 15]);
    }
    out += "'";
    if (text.size() > shown) out += " (cut; " + std::to_string(text.size()) + " characters in all)";
    return out;
}

void failBadInput(std::string_view file, std::int64_t line, std::string_view what) {
    throw RunError(ExitStatus::badInput, placeText(file, line).append(": ").append(what));
}

std::string expectedFound(std::string_view expected, std::string_view found) {
    return std::string("expected ").append(expected).append(", found ").append(found);
}

void failExpected(std::string_view file, std::int64_t line, std::string_view expected, std::string_view found,
                  std::string_view where, std::string_view note) {
    std::string what(where);
    if (!what.empty()) what += ": ";
    failBadInput(file, line, what.append(expectedFound(expected, found)).append(note));
}

void failFile(std::string_view file, std::string_view what, int error, std::int64_t line) {
    std::string message = (line > 0 ? placeText(file, line) : std::string(file)).append(": ").append(what);
    if (error != 0) message.append(": ").append(std::strerror(error));
    throw RunError(ExitStatus::fileError, std::move(message));
}

void warn(std::string_view program, std::string_view message) {
    std::fprintf(stderr, "%.*s: warning: %.*s\n", static_cast<int>(program.size()), program.data(),
                 static_cast<int>(message.size()), message.data());
}

void LineTally::tell(std::string_view program, std::string_view file, std::string_view what,
                     std::string_view unit) const {
    if (count > 0)
        warn(program, placeText(file, firstLine) + ": " + std::string(what) + " (" + std::to_string(count) +
                          " " + std::string(unit) + (count > 1 ? "s" : "") + " in all)");
}

int runProgram(std::string_view program, const std::function<void()>& body) {
    const auto fail = [&](const char* what, const char* message) {
        std::fflush(stdout);
        std::fprintf(stderr, "%.*s: %s%s\n", static_cast<int>(program.size()), program.data(), what, message);
    };
    try {
        body();
        return static_cast<int>(ExitStatus::ok);
    } catch (const RunError& e) {
        fail("", e.what());
        return static_cast<int>(e.status());
    } catch (const std::bad_alloc&) {
        fail("out of memory", "");
    } catch (const std::exception& e) {
        fail("internal error: ", e.what());
    }
    return static_cast<int>(ExitStatus::internal);
}

}  // namespace triangle
