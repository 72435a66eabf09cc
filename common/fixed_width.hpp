#pragma once

// The fixed-width form of a record line: 12 fields of 8 characters in columns
// 1-96, 4 decimals each; its reader and its writer.

#include "common/input_file.hpp"
#include "common/output_file.hpp"
#include "common/triangle_data.hpp"

#include <cstddef>

namespace triangle {

constexpr int fixedFieldWidth = 8;
constexpr std::size_t fixedLineLength = 96;  // 12 fields of 8 characters

// Reads the next line as one fixed-width record. Exactly one line is
// consumed; a short line reads as if filled with blanks to 96 characters, and
// characters after column 96 are ignored (a line with any but blanks there is
// noted in `pastColumn96`, when given). Throws RunError when a field is not a
// number or no line is left. Values ahead of position `first` are checked but
// not converted: they read as 0.
TriangleRecord readFixedRecord(InputFile& in, int first = 1, LineTally* pastColumn96 = nullptr);

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
