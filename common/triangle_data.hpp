#pragma once

// The triangle data file: an optional header block (leading lines holding a
// "#" within their first 100 characters) followed by data lines, one
// TriangleRecord each, in a fixed-width or a free form.
//
// Fixed width: 12 fields of 8 characters in columns 1-96, 4 decimals each.
// Free form: the 12 values separated by blanks (or tabs), commas or line ends.

#include "common/input_file.hpp"
#include "common/output_file.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace triangle {

struct TriangleRecord {
    // Values 1-3 and 4-6 are the triples the blank tests look at, 7-9 the
    // third triple; value 11 is the curvature, value 12 the velocity.
    std::array<float, 12> values{};

    float& value(int position) { return values[static_cast<std::size_t>(position - 1)]; }
    float value(int position) const { return values[static_cast<std::size_t>(position - 1)]; }
    float& curvature() { return values[10]; }
    float curvature() const { return values[10]; }
    float& velocity() { return values[11]; }
    float velocity() const { return values[11]; }
};

constexpr int recordValueCount = 12;
constexpr int fixedFieldWidth = 8;
constexpr std::size_t fixedLineLength = 96;  // 12 fields of 8 characters

// Text fields (the data file name, the version, header lines) are exactly
// this wide: blank-filled on the right or cut.
constexpr std::size_t textFieldWidth = 100;
using TextField = std::array<char, textFieldWidth>;

// Added to a failure that an unquoted data file name with a directory part or
// a blank probably caused.
constexpr std::string_view quoteHint =
    "; a name with a directory part, a blank or a comma must be quoted in input.txt, as in 'runs/a.txt'";

// Writes `prefix`, then `field` cut or blank-filled to 100 characters, and a line end.
void writeTextField(OutputFile& out, std::string_view prefix, std::string_view field);

// A header line holds a "#" within its first 100 characters.
bool isHeaderLine(std::string_view head);

// Reads the header block from the start of `in`: the leading header lines, at
// most `lineCount`. Returns their number; `lines`, when given, receives each
// one's first 100 characters. The first data line is read too.
std::int32_t measureHeaderBlock(InputFile& in, std::int64_t lineCount, std::vector<std::string>* lines = nullptr);

// Reads the `count` lines of the header block, each as a 100-character field,
// and copies them to `copy` when one is given. Throws RunError when the file
// ends before.
void readHeaderBlock(InputFile& in, std::int32_t count, OutputFile* copy);

// Reads the next line as one fixed-width record. Exactly one line is
// consumed; a short line reads as if filled with blanks to 96 characters, and
// characters after column 96 are ignored. Throws RunError when a field is not
// a number or no line is left. Values ahead of position `first` are checked
// but not converted: they read as 0.
TriangleRecord readFixedRecord(InputFile& in, int first = 1);

// Where the values of the last free-form record stood.
struct FreeRecordLines {
    std::int64_t first = 0;  // line of value 1
    std::int64_t last = 0;   // line of value 12
};

// Reads values in the free form until twelve are read; empty and all-blank
// lines are passed over, and the rest of the line holding the twelfth value is
// skipped. Throws RunError when a value is not a number, or when the file ends
// before the twelfth value.
TriangleRecord readFreeRecord(InputFile& in, FreeRecordLines* lines = nullptr);

// Reads free-form records one after another, as readFreeRecord() does, only
// faster: a usual line is read together with the next one, whose record is
// kept for the next call. Nothing else may read the input in between.
class FreeRecordReader {
public:
    explicit FreeRecordReader(InputFile& in) : in_(in) {}
    TriangleRecord next(FreeRecordLines* lines = nullptr);

private:
    InputFile& in_;
    TriangleRecord ahead_[2];
    const char* after_[2] = {};
    int ready_ = 0;  // records read ahead
    int taken_ = 0;  // of them, handed out
};

// Writes the 12 values as one line of 96 characters. A value that fits
// 8 characters with 4 decimals is written so ("  0.5000", "-12.3456"). A
// larger one keeps as many decimals as fit, always with a point ("1234.568",
// "9999999."), and beyond that takes an exponent ("1.23E+10"); NaN and
// infinities are written as words ("     NaN", "    -Inf"). So everything
// written here is read back by readFixedRecord, to the precision written.
void writeFixedRecord(OutputFile& out, const TriangleRecord& record);

// One field of writeFixedRecord: 8 characters.
char* formatRecordField(char* out, float value);

}  // namespace triangle
