#pragma once

// The header block: the lines at the top of a data file that each hold a "#"
// within their first 100 characters, up to the first line that does not.
// Only their first 100 characters are ever read or copied, as text fields.

#include "common/input_file.hpp"
#include "common/output_file.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace triangle {

// A header line holds a "#" within its first 100 characters.
bool isHeaderLine(std::string_view head);

// Reads the header block from the start of `in`: the leading header lines, at
// most `lineCount`. Returns their number; `lines`, when given, receives each
// one's first 100 characters. The first data line is read too.
std::int32_t measureHeaderBlock(InputFile& in, std::int64_t lineCount,
                                std::vector<std::string>* lines = nullptr);

// Reads the `count` lines of the header block, each as a 100-character field,
// and copies them to `copy` when one is given; lines that hold more than
// blanks after their first 100 characters are noted in `longLines`, when
// given. Throws RunError when the file ends before.
void readHeaderBlock(InputFile& in, std::int32_t count, OutputFile* copy, LineTally* longLines = nullptr);

// Writes `prefix`, then `field` cut or blank-filled to 100 characters, and a line end.
void writeTextField(OutputFile& out, std::string_view prefix, std::string_view field);

}  // namespace triangle
