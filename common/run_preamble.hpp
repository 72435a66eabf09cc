#pragma once

// The start of every run: banner, control file, line-count and header passes
// over the data file, creation of the result file, header copy and provenance
// lines. One implementation serves both programs; they differ only by their
// PreambleProfile and by the control-file lines they read themselves. The
// command line is command_line.hpp's, the result file result_file.hpp's.

#include "common/command_line.hpp"
#include "common/control_file.hpp"
#include "common/data_file.hpp"
#include "common/output_file.hpp"
#include "common/result_file.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace triangle {

// What makes a program itself; each program's folder holds its own.
struct PreambleProfile {
    std::string_view program;
    std::string_view usage;  // the command line it takes: "quorvel [-o FILE] [DATA_FILE]"
    std::string_view help;   // what --help prints between the usage line and the exit statuses
    std::string_view bannerLine2;
    std::string_view bannerLine3;
    std::string_view versionText;        // banner line 6, the provenance line and --version
    int controlLines = 1;                // lines of input.txt it reads, so arguments it takes
    int lineCountWidth = 9;              // digits of the line count on the console
    bool freeFormatHeaderCount = false;  // a free-format header-count line instead of a 6-digit one
    std::string_view resultSuffix;
    std::string_view selfLabel;
    bool refusesPartialData = false;  // a data file named NAME.partial: a failed run's result
};

struct RunContext {
    std::string_view program;
    TextField nameField{};           // the data file name as read, blank-filled
    std::int32_t stemLength = 0;     // characters ahead of the stem's "." (0 when none)
    bool nameMayNeedQuotes = false;  // unquoted, it ended at a slash, a blank or a comma
    bool nameCut = false;            // longer than the name field (as an argument, used whole)
    DataFile data;                   // counted, measured, and open at its first data line
    OutputFile resultFile;           // header copy and provenance lines written
    std::string resultPath;          // the final name; written as resultFile.path() until the run ends
    OutputFile console;              // standard output

    std::string_view name() const { return {nameField.data(), nameField.size()}; }
};

// Reads a program's own lines of the control file, after the name.
using ControlLinesReader = std::function<void(ControlFile&)>;

// Runs the preamble; throws RunError when a step fails, after flushing what
// was already written.
RunContext RunPreamble(const PreambleProfile& profile, const CommandLine& command = {},
                       const ControlLinesReader& readControlLines = {});

// A whole run: the arguments (none, -h/--help, --version, or -o FILE and the
// lines of input.txt), the preamble, then `part`. Returns the exit status.
int runTriangleProgram(const PreambleProfile& profile, int argc, char** argv,
                       const std::function<void(RunContext&)>& part,
                       const ControlLinesReader& readControlLines = {});

// An item of a free-format console line: one blank, then the text exactly as
// given, or the count right-aligned in 11 columns. A line is its items.
std::string freeFormatItem(std::string_view text);
std::string freeFormatItem(std::int32_t count);

}  // namespace triangle
