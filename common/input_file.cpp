#include "common/input_file.hpp"

#include "common/run_error.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace triangle {
namespace {

// Counted 16 bytes at a time in 16 one-byte tallies, which the compiler keeps
// in one vector register; a run of at most 255 such steps cannot overflow them.
std::int64_t countLineEnds(const char* p, const char* end) {
    std::int64_t total = 0;
    while (end - p >= 16) {
        const auto steps = std::min<std::ptrdiff_t>((end - p) / 16, 255);
        std::uint8_t tally[16] = {};
        for (std::ptrdiff_t step = 0; step < steps; ++step, p += 16)
            for (int k = 0; k < 16; ++k) tally[k] = static_cast<std::uint8_t>(tally[k] + (p[k] == '\n'));
        for (const std::uint8_t t : tally) total += t;
    }
    for (; p < end; ++p) total += *p == '\n';
    return total;
}

}  // namespace

void InputFile::start(std::string path, std::size_t blockSize) {
    path_ = std::move(path);
    blockSize = std::max<std::size_t>(blockSize, 1);
    // Not filled with zeros: a fresh page costs a fault only where data lands.
    if (!block_ || blockSize != blockSize_) block_.reset(new char[blockSize + readPadding]);
    blockSize_ = blockSize;
    cursor_ = limit_ = block_.get();
    std::memset(block_.get(), 0, readPadding);
    endOfFile_ = false;
    lastByte_ = 0;
    line_ = 1;
}

void InputFile::open(std::string path, std::size_t blockSize) {
    close();
    errno = 0;
    file_.reset(std::fopen(path.c_str(), "rb"));
    if (file_ == nullptr) failFile(path, "cannot open for reading", errno);
    std::setvbuf(file_.get(), nullptr, _IONBF, 0);  // we do our own buffering
    start(std::move(path), blockSize);
}

void InputFile::openMemory(std::string_view text, std::string name, std::size_t blockSize) {
    close();
    memory_ = text;
    start(std::move(name), blockSize);
}

void InputFile::close() {
    file_.reset();
    memory_ = {};
}

InputFile::Fill InputFile::fill() {
    char* const base = block_.get();
    const auto kept = static_cast<std::size_t>(limit_ - cursor_);
    if (kept == blockSize_) return Fill::full;
    if (endOfFile_) return Fill::endOfFile;
    if (cursor_ != base) std::memmove(base, cursor_, kept);
    cursor_ = base;
    limit_ = base + kept;
    std::size_t got = 0;
    if (file_ == nullptr) {
        got = std::min(blockSize_ - kept, memory_.size());
        std::copy_n(memory_.data(), got, base + kept);
        memory_.remove_prefix(got);
    } else {
        errno = 0;
        got = std::fread(base + kept, 1, blockSize_ - kept, file_.get());
        if (got == 0 && std::ferror(file_.get())) failFile(path_, "cannot read", errno, line_);
    }
    if (got == 0) {
        endOfFile_ = true;
        return Fill::endOfFile;
    }
    limit_ += got;
    std::memset(base + kept + got, 0, readPadding);
    lastByte_ = limit_[-1];
    return Fill::more;
}

bool InputFile::readLine(std::string_view& head, std::size_t headLength) {
    headLength = std::min(headLength, maxHead);
    // A line longer than a block is passed over a block at a time; its head
    // is gathered in longHead_.
    std::size_t spilled = 0;
    char spilledLast = 0;
    const auto gather = [&](const char* from, std::size_t length) {
        if (length == 0) return;
        if (spilled < headLength)
            std::memcpy(longHead_ + spilled, from, std::min(length, headLength - spilled));
        spilled += length;
        spilledLast = from[length - 1];
    };
    for (;;) {
        const auto available = static_cast<std::size_t>(limit_ - cursor_);
        const auto* end = static_cast<const char*>(std::memchr(cursor_, '\n', available));
        if (end != nullptr || endOfFile_) {
            if (end == nullptr && available == 0 && spilled == 0) return false;
            const char* const start = cursor_;
            std::size_t length = end != nullptr ? static_cast<std::size_t>(end - start) : available;
            cursor_ = end != nullptr ? end + 1 : limit_;
            ++line_;
            if (spilled == 0) {  // the whole line is in the block
                if (length > 0 && start[length - 1] == '\r') --length;
                head = std::string_view(start, std::min(length, headLength));
                return true;
            }
            gather(start, length);
            const std::size_t lineLength = spilled - (spilledLast == '\r' ? 1 : 0);
            head = std::string_view(longHead_, std::min(lineLength, headLength));
            return true;
        }
        if (fill() == Fill::full) {
            gather(cursor_, available);
            cursor_ = limit_;
        }
    }
}

void InputFile::skipRestOfLine() {
    for (;;) {
        const auto available = static_cast<std::size_t>(limit_ - cursor_);
        const auto* end = static_cast<const char*>(std::memchr(cursor_, '\n', available));
        if (end != nullptr) {
            cursor_ = end + 1;
            ++line_;
            return;
        }
        cursor_ = limit_;
        if (fill() == Fill::endOfFile) {
            ++line_;
            return;
        }
    }
}

std::int64_t InputFile::countRemainingLines() {
    std::int64_t lines = 0;
    bool openLine = false;  // bytes seen since the last line end
    for (;;) {
        if (cursor_ != limit_) {
            lines += countLineEnds(cursor_, limit_);
            openLine = limit_[-1] != '\n';
            cursor_ = limit_;
        }
        if (fill() == Fill::endOfFile) break;
    }
    if (openLine) ++lines;
    line_ += lines;
    return lines;
}

}  // namespace triangle
