#include "common/input_file.hpp"

#include "common/run_error.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace triangle {
namespace {

// Counted in runs short enough for a 32-bit tally, which the compiler turns
// into wide vector compares.
std::int64_t countLineEnds(const char* p, const char* end) {
    std::int64_t total = 0;
    while (p < end) {
        const char* const stop = end - p > 65536 ? p + 65536 : end;
        std::uint32_t run = 0;
        for (; p < stop; ++p) run += *p == '\n';
        total += run;
    }
    return total;
}

}  // namespace

InputFile::~InputFile() {
    close();
}

InputFile::InputFile(InputFile&& other) noexcept {
    *this = std::move(other);
}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        close();
        file_ = std::exchange(other.file_, nullptr);
        path_ = std::move(other.path_);
        block_ = std::move(other.block_);
        cursor_ = std::exchange(other.cursor_, nullptr);
        limit_ = std::exchange(other.limit_, nullptr);
        endOfFile_ = other.endOfFile_;
        lastByte_ = other.lastByte_;
        line_ = other.line_;
        std::memcpy(longHead_, other.longHead_, maxHead);
    }
    return *this;
}

void InputFile::open(std::string path) {
    close();
    path_ = std::move(path);
    errno = 0;
    file_ = std::fopen(path_.c_str(), "rb");
    if (file_ == nullptr) {
        const int error = errno;
        throw RunError(ExitStatus::fileError, path_ + ": cannot open for reading: " + std::strerror(error));
    }
    std::setvbuf(file_, nullptr, _IONBF, 0);                                  // we do our own buffering
    if (!block_) block_ = std::make_unique<char[]>(blockSize + readPadding);  // zeroed
    cursor_ = limit_ = block_.get();
    endOfFile_ = false;
    lastByte_ = 0;
    line_ = 1;
}

void InputFile::close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

InputFile::Fill InputFile::fill() {
    char* const base = block_.get();
    const std::size_t kept = static_cast<std::size_t>(limit_ - cursor_);
    if (kept == blockSize) return Fill::full;
    if (endOfFile_) return Fill::endOfFile;
    if (cursor_ != base) std::memmove(base, cursor_, kept);
    cursor_ = base;
    limit_ = base + kept;
    errno = 0;
    const std::size_t got = std::fread(base + kept, 1, blockSize - kept, file_);
    if (got == 0) {
        if (std::ferror(file_)) {
            const int error = errno;
            throw RunError(ExitStatus::fileError,
                           placeText(path_, line_) + ": cannot read: " + std::strerror(error));
        }
        endOfFile_ = true;
        return Fill::endOfFile;
    }
    limit_ += got;
    lastByte_ = limit_[-1];
    return Fill::more;
}

bool InputFile::readLine(std::string_view& head, std::size_t headLength) {
    headLength = std::min(headLength, maxHead);
    for (;;) {
        const auto available = static_cast<std::size_t>(limit_ - cursor_);
        const auto* end = static_cast<const char*>(std::memchr(cursor_, '\n', available));
        if (end != nullptr || (endOfFile_ && available > 0)) {
            const char* start = cursor_;
            std::size_t length = end != nullptr ? static_cast<std::size_t>(end - start) : available;
            cursor_ = end != nullptr ? end + 1 : limit_;
            ++line_;
            if (length > 0 && start[length - 1] == '\r') --length;
            head = std::string_view(start, std::min(length, headLength));
            return true;
        }
        switch (fill()) {
            case Fill::more:
                break;
            case Fill::endOfFile:
                if (cursor_ == limit_) return false;
                break;
            case Fill::full: {
                // A line longer than a block: keep its head, skip the rest.
                std::memcpy(longHead_, cursor_, headLength);
                cursor_ = limit_;
                skipRestOfLine();
                head = std::string_view(longHead_, headLength);
                return true;
            }
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
