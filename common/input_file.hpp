#pragma once

// Sequential reading of a text file in large blocks. Nothing is held but one
// block, so memory does not grow with the file. The read cursor and the line
// number are this class's alone: readers that work on the block in place see
// the unread bytes through window() and move on only through advance() and
// passLineEnd().
//
// The bytes can also come from memory, and the block size is a parameter, so
// that tests can put a block boundary at any position of the text.

#include "common/run_error.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace triangle {

// The rule for line ends: a line ends at '\n', and a '\r' right before it
// belongs to the line end (files from Windows). Returns the length of the
// line's text, given the bytes ahead of its '\n'.
inline std::size_t lineTextLength(std::string_view beforeLineEnd) {
    return beforeLineEnd.size() - (beforeLineEnd.ends_with('\r') ? 1 : 0);
}

class InputFile {
public:
    static constexpr std::size_t defaultBlockSize = std::size_t{1} << 20;
    // Bytes after the end of the window that may always be read (their
    // content is meaningless), so that a parser can look at 8 bytes at a time.
    static constexpr std::size_t readPadding = 32;
    // Longest line head readLine() hands out.
    static constexpr std::size_t maxHead = 128;

    // Opens an existing file from its start; throws RunError when it cannot.
    void open(std::string path, std::size_t blockSize = defaultBlockSize);
    // Reads `text`, which must outlive the reading, as if it were a file named `name`.
    void openMemory(std::string_view text, std::string name, std::size_t blockSize = defaultBlockSize);
    void close();
    const std::string& path() const { return path_; }

    // Number of the line the cursor stands in, counted from 1.
    std::int64_t lineNumber() const { return line_; }
    // At the end of the file: the line every failure there names, the file's
    // last line (line 1 of an empty file), whether it has a line end or not.
    std::int64_t endOfFileLine() const { return std::max<std::int64_t>(1, line_ - (lastByte_ == '\n')); }
    // The line readLine() consumed last.
    std::int64_t lineRead() const { return lineRead_; }

    // A read that fails: built here, from what the reader expected and found,
    // as "file: line N: [where: ]expected X, found Y[note]" (or "file: line
    // N: what"), N being the line of the read position, or the file's last
    // line at its end. Readers name neither the file nor the line.
    [[noreturn]] void failExpected(std::string_view expected, std::string_view found,
                                   std::string_view where = {}, std::string_view note = {}) const;
    [[noreturn]] void failBadInput(std::string_view what) const;
    [[noreturn]] void failAtEnd(std::string_view expected) const {
        failExpected(expected, "the end of the file");
    }
    // As failExpected(), about the line readLine() consumed last.
    [[noreturn]] void failExpectedInLineRead(std::string_view expected, std::string_view found,
                                             std::string_view where = {}, std::string_view note = {}) const;

    // Consumes the next line. `head` receives its first `headLength` characters
    // (at most maxHead; the line end is never part of it). False at the end of
    // the file, when no line is left. `moreAfterHead`, when given, tells whether
    // the line holds anything but blanks (and CRs) after the head.
    bool readLine(std::string_view& head, std::size_t headLength, bool* moreAfterHead = nullptr);

    // Consumes up to and including the next line end (or to the end of file).
    void skipRestOfLine();

    // Consumes the rest of the file and returns the number of lines in it; a
    // last line without a line end counts too.
    std::int64_t countRemainingLines();

    // For readers that work on the block in place: the unread bytes
    // (readPadding more may be read behind them) ...
    std::string_view window() const { return {cursor_, static_cast<std::size_t>(limit_ - cursor_)}; }
    // ... passing over `count` of them, none of them a line end ...
    void advance(std::size_t count) { cursor_ += count; }
    // ... passing over the line end at window()[at] and all before it: where
    // the line number rises (countRemainingLines() alone adds all it counts) ...
    void passLineEnd(std::size_t at) {
        cursor_ += at + 1;
        ++line_;
    }
    // ... and reading more: the unread bytes are kept (they move to the start
    // of the block) and more are read behind them. `full` when they already
    // fill the whole block.
    enum class Fill { more, endOfFile, full };
    Fill refill();
    // The byte `ahead` places after the cursor, read in when needed; -1 beyond
    // the end of the file.
    int peek(std::size_t ahead = 0) {
        while (static_cast<std::size_t>(limit_ - cursor_) <= ahead)
            if (refill() != Fill::more) return -1;
        return static_cast<unsigned char>(cursor_[ahead]);
    }

private:
    void start(std::string path, std::size_t blockSize);
    // The line a failure at the read position names.
    std::int64_t positionLine() const { return endOfFile_ && cursor_ == limit_ ? endOfFileLine() : line_; }

    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    std::string_view memory_;  // the unread text when there is no file
    std::string path_;
    std::size_t blockSize_ = 0;
    std::unique_ptr<char[]> block_;
    const char* cursor_ = nullptr;
    const char* limit_ = nullptr;
    bool endOfFile_ = false;
    char lastByte_ = 0;      // the last byte read in
    std::int64_t line_ = 1;  // 1 + the line ends passed
    std::int64_t lineRead_ = 0;
    char longHead_[maxHead] = {};
};

}  // namespace triangle
