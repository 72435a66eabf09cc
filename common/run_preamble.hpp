#pragma once

// The start of every run: banner, control file, line-count and header passes
// over the data file, creation of the result file, header copy and provenance
// lines. One implementation serves both programs; they differ only by their
// PreambleProfile.

#include "common/input_file.hpp"
#include "common/output_file.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace triangle {

// Text fields (the data file name, the version, header lines) are exactly
// this wide: blank-filled on the right or cut.
constexpr std::size_t textFieldWidth = 100;
using TextField = std::array<char, textFieldWidth>;

struct PreambleProfile {
    const char* program;
    std::string_view bannerLine2;
    std::string_view bannerLine3;
    std::string_view bannerLine6;
    bool readsLimits;            // control-file lines 2 and 3
    int lineCountWidth;          // digits of the line count on the console
    bool freeFormatHeaderCount;  // " count  lines in the header" instead of "%6d lines..."
    std::string_view resultSuffix;
    std::string_view selfLabel;
    std::string_view versionText;
    bool setsPi;  // stores pi into const1 after the banner
};

extern const PreambleProfile quorvelProfile;
extern const PreambleProfile dremmickProfile;

struct RunContext {
    TextField nameField{};        // the data file name as read, blank-filled
    std::int32_t stemLength = 0;  // characters ahead of the first "." (0 when none)
    std::int32_t lineCount = 0;
    std::int32_t headerCount = 0;
    InputFile dataFile;           // opened a third time, at line headerCount + 1
    OutputFile resultFile;        // header copy and provenance lines written
    OutputFile console;           // standard output
    float curvatureLimit = 0.0f;  // dremmick only
    float velocityLimit = 0.0f;   // dremmick only

    std::string_view name() const { return {nameField.data(), nameField.size()}; }
    // The name as a path: trailing blanks are not part of it.
    std::string dataPath() const;
};

// Runs the preamble; throws RunError when a step fails, after flushing what
// was already written.
RunContext RunPreamble(const PreambleProfile& profile);

// The control-file reads, exposed for testing.
// Reads one free-form text item into a text field: blanks and blank lines are
// passed over; a name in apostrophes or quotation marks may hold any character
// (a doubled quote mark stands for one); an unquoted name ends at a blank, a
// comma or a slash. The rest of the line is skipped.
void readNameItem(InputFile& in, TextField& field);

// The first "." of the name ends the stem; no "." means an empty stem.
std::int32_t stemLengthOf(const TextField& field);

}  // namespace triangle
