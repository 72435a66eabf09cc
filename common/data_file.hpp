#pragma once

// Opening a triangle data file, as both programs and the Python module do it:
// a line-count pass, a header pass, then an opening at the first data line
// (again for each later pass). Every opening reads into the same block.

#include "common/input_file.hpp"
#include "common/output_file.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace triangle {

struct DataFile {
    std::string path;
    InputFile in{};
    std::int32_t lineCount = 0;    // set by countLines()
    std::int32_t headerCount = 0;  // set by measureHeader()

    // Opens the file and counts its lines; a last line without a line end
    // counts too. Throws RunError when it cannot, or beyond 2^31 - 1 lines.
    std::int32_t countLines();
    // Opens it again and measures its header block; `lines`, when given,
    // receives each header line's first 100 characters.
    std::int32_t measureHeader(std::vector<std::string>* lines = nullptr);
    // Opens it again at its first data line: the header block is passed over,
    // or copied to `headerCopy` when one is given; header lines longer than
    // 100 characters (more than blanks after them) are noted in `longLines`.
    InputFile& openAtFirstDataLine(OutputFile* headerCopy = nullptr, LineTally* longLines = nullptr);

    std::int32_t dataLineCount() const { return lineCount - headerCount; }
};

}  // namespace triangle
