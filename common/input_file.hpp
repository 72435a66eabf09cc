#pragma once

// Sequential reading of a text file in large blocks. Nothing is held but one
// block, so memory does not grow with the file. Lines end at '\n'; a '\r'
// right before it (files from Windows) belongs to the line end.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace triangle {

class InputFile {
public:
    static constexpr std::size_t blockSize = std::size_t{1} << 20;
    // Bytes after the end of the block that may always be read (their content
    // is meaningless), so that a parser can look at 8 bytes at a time.
    static constexpr std::size_t readPadding = 32;
    // Longest line head readLine() hands out.
    static constexpr std::size_t maxHead = 128;

    InputFile() = default;
    ~InputFile();
    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens an existing file from its start; throws RunError when it cannot.
    void open(std::string path);
    void close();
    bool isOpen() const { return file_ != nullptr; }
    const std::string& path() const { return path_; }

    // Number of the line the next read starts in, counted from 1.
    std::int64_t lineNumber() const { return line_; }

    // Consumes the next line. `head` receives its first `headLength` characters
    // (at most maxHead; the line end is never part of it). False at the end of
    // the file, when no line is left.
    bool readLine(std::string_view& head, std::size_t headLength);

    // Consumes the rest of the file and returns the number of lines in it; a
    // last line without a line end counts too.
    std::int64_t countRemainingLines();

    // Raw access for the free-form reader: the unread bytes are
    // [cursor(), limit()); consume() moves the cursor forward.
    const char* cursor() const { return cursor_; }
    const char* limit() const { return limit_; }
    void consume(const char* to) { cursor_ = to; }
    void noteLineEnd() { ++line_; }

    enum class Fill { more, endOfFile, full };
    // Keeps the unread bytes and reads more behind them. `full` when the
    // unread bytes already fill the whole block.
    Fill fill();
    bool atEndOfFile() const { return endOfFile_ && cursor_ == limit_; }

    // At the end of the file: the number of its last line (0 for an empty file).
    std::int64_t lastLineNumber() const { return lastByte_ == '\n' || lastByte_ == 0 ? line_ - 1 : line_; }

    // Consumes up to and including the next line end (or to the end of file).
    void skipRestOfLine();

private:
    std::FILE* file_ = nullptr;
    std::string path_;
    std::unique_ptr<char[]> block_;
    const char* cursor_ = nullptr;
    const char* limit_ = nullptr;
    bool endOfFile_ = false;
    char lastByte_ = 0;
    std::int64_t line_ = 1;
    char longHead_[maxHead] = {};
};

}  // namespace triangle
