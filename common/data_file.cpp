#include "common/data_file.hpp"

#include "common/header_block.hpp"
#include "common/run_error.hpp"

#include <limits>

namespace triangle {

std::int32_t DataFile::countLines() {
    in.open(path);
    const std::int64_t count = in.countRemainingLines();
    if (count > std::numeric_limits<std::int32_t>::max())
        throw RunError(ExitStatus::badInput, path + ": more than 2147483647 lines; the counts are 32-bit");
    return lineCount = static_cast<std::int32_t>(count);
}

std::int32_t DataFile::measureHeader(std::vector<std::string>* lines) {
    in.open(path);
    return headerCount = measureHeaderBlock(in, lineCount, lines);
}

InputFile& DataFile::openAtFirstDataLine(OutputFile* headerCopy, LineTally* longLines) {
    in.open(path);
    readHeaderBlock(in, headerCount, headerCopy, longLines);
    return in;
}

}  // namespace triangle
