#pragma once

// The start of every run: banner, control file, line-count and header passes
// over the data file, creation of the result file, header copy and provenance
// lines. One implementation serves both programs; they differ only by their
// PreambleProfile.

#include "common/input_file.hpp"
#include "common/output_file.hpp"
#include "common/triangle_data.hpp"

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace triangle {

struct PreambleProfile {
    std::string_view program;
    std::string_view help;  // printed by --help
    std::string_view bannerLine2;
    std::string_view bannerLine3;
    std::string_view versionText;  // banner line 6 and the provenance line
    bool readsLimits;              // control-file lines 2 and 3
    int lineCountWidth;            // digits of the line count on the console
    bool freeFormatHeaderCount;    // a free-format header-count line instead of a 6-digit one
    std::string_view resultSuffix;
    std::string_view selfLabel;
    bool setsPi;  // stores pi into const1 after the banner
};

extern const PreambleProfile quorvelProfile;
extern const PreambleProfile dremmickProfile;

struct RunContext {
    std::string_view program;
    TextField nameField{};           // the data file name as read, blank-filled
    std::int32_t stemLength = 0;     // characters ahead of the first "." (0 when none)
    bool nameMayNeedQuotes = false;  // unquoted, it ended at a slash, a blank or a comma
    std::int32_t lineCount = 0;
    std::int32_t headerCount = 0;
    InputFile dataFile;     // opened a third time, at line headerCount + 1
    OutputFile resultFile;  // header copy and provenance lines written
    std::string resultPath;
    OutputFile console;           // standard output
    float curvatureLimit = 0.0f;  // dremmick only
    float velocityLimit = 0.0f;   // dremmick only

    std::string_view name() const { return {nameField.data(), nameField.size()}; }
    // The name as a path: trailing blanks are not part of it.
    std::string dataPath() const;
};

// Runs the preamble; throws RunError when a step fails, after flushing what
// was already written. `arguments`, when given, stand for the lines of
// input.txt: the data file name (taken as it is, no quotes needed) and, for
// dremmick, the two limits.
RunContext RunPreamble(const PreambleProfile& profile, std::span<const std::string_view> arguments = {});

// A whole run: the arguments (none, -h/--help, --version, or the lines of
// input.txt), the preamble, then `part`. Returns the exit status.
int runTriangleProgram(const PreambleProfile& profile, int argc, char** argv, void (*part)(RunContext&));

// The first "." of the name ends the stem; no "." means an empty stem.
std::int32_t stemLengthOf(const TextField& field);

// One item of a free-format console line: a text, or a count.
struct FreeItem {
    FreeItem(std::string_view text) : text(text) {}
    FreeItem(const char* text) : text(text) {}
    FreeItem(std::int32_t count) : count(count), isCount(true) {}
    std::string_view text;
    std::int32_t count = 0;
    bool isCount = false;
};

// A free-format line: every item after one blank, a count right-aligned in
// 11 columns, a text exactly as given.
void writeFreeFormatLine(OutputFile& out, std::initializer_list<FreeItem> items);

}  // namespace triangle
