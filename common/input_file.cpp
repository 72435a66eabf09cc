#include "common/input_file.hpp"

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
    lineRead_ = 0;
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

InputFile::Fill InputFile::refill() {
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

void InputFile::failExpected(std::string_view expected, std::string_view found, std::string_view where,
                             std::string_view note) const {
    triangle::failExpected(path_, positionLine(), expected, found, where, note);
}

void InputFile::failBadInput(std::string_view what) const {
    triangle::failBadInput(path_, positionLine(), what);
}

void InputFile::failExpectedInLineRead(std::string_view expected, std::string_view found,
                                       std::string_view where, std::string_view note) const {
    triangle::failExpected(path_, lineRead_, expected, found, where, note);
}

bool InputFile::readLine(std::string_view& head, std::size_t headLength, bool* moreAfterHead) {
    lineRead_ = line_;
    headLength = std::min(headLength, maxHead);
    // Bytes of the line from its `at`th on: anything but blanks past the head?
    if (moreAfterHead != nullptr) *moreAfterHead = false;
    const auto look = [&](std::string_view bytes, std::size_t at) {
        if (moreAfterHead != nullptr && at + bytes.size() > headLength)
            *moreAfterHead |= bytes.substr(at < headLength ? headLength - at : 0).find_first_not_of(" \r") !=
                              std::string_view::npos;
    };
    // A line longer than a block is passed over a block at a time; its head
    // is gathered in longHead_.
    std::size_t spilled = 0;
    const auto gather = [&](std::size_t length) {
        look({cursor_, length}, spilled);
        if (spilled < headLength)
            std::memcpy(longHead_ + spilled, cursor_, std::min(length, headLength - spilled));
        spilled += length;
    };
    for (;;) {
        const std::string_view unread = window();
        const std::size_t end = unread.find('\n');
        if (end != std::string_view::npos || endOfFile_) {
            if (end == std::string_view::npos && unread.empty() && spilled == 0) return false;
            const std::string_view text = unread.substr(0, end);
            if (spilled == 0) {  // the whole line is in the block
                look(text, 0);
                head = text.substr(0, lineTextLength(text)).substr(0, headLength);
            } else {
                gather(text.size());
                // Its end, and so a '\r' before it, matters only in a line of at most headLength.
                head = std::string_view(longHead_, std::min(spilled, headLength));
                if (spilled <= headLength) head = head.substr(0, lineTextLength(head));
            }
            end != std::string_view::npos ? passLineEnd(end) : advance(text.size());
            return true;
        }
        if (refill() == Fill::full) {
            gather(unread.size());
            advance(unread.size());
        }
    }
}

void InputFile::skipRestOfLine() {
    for (;;) {
        const std::string_view unread = window();
        if (const std::size_t end = unread.find('\n'); end != std::string_view::npos) return passLineEnd(end);
        advance(unread.size());
        if (refill() == Fill::endOfFile) return;
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
        if (refill() == Fill::endOfFile) break;
    }
    line_ += lines;  // the line ends passed
    return lines + (openLine ? 1 : 0);
}

}  // namespace triangle
