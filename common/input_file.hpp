#pragma once

// Sequential reading of a text file in large blocks. Nothing is held but one
// block, so memory does not grow with the file. Lines end at '\n'; a '\r'
// right before it (files from Windows) belongs to the line end.
//
// The bytes can also come from memory, and the block size is a parameter, so
// that tests can put a block boundary at any position of the text.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace triangle {

class FreeFormScanner;

class InputFile {
public:
    static constexpr std::size_t defaultBlockSize = std::size_t{1} << 20;
    // Bytes after the end of the block that may always be read (their content
    // is meaningless), so that a parser can look at 8 bytes at a time.
    static constexpr std::size_t readPadding = 32;
    // Longest line head readLine() hands out.
    static constexpr std::size_t maxHead = 128;

    // Opens an existing file from its start; throws RunError when it cannot.
    void open(std::string path, std::size_t blockSize = defaultBlockSize);
    // Reads `text`, which must outlive the reading, as if it were a file named `name`.
    void openMemory(std::string_view text, std::string name, std::size_t blockSize = defaultBlockSize);
    void close();
    const std::string& path() const { return path_; }

    // Number of the line the next read starts in, counted from 1.
    std::int64_t lineNumber() const { return line_; }
    // At the end of the file: the number of its last line (0 for an empty file).
    std::int64_t lastLineNumber() const { return lastByte_ == '\n' || lastByte_ == 0 ? line_ - 1 : line_; }

    // Consumes the next line. `head` receives its first `headLength` characters
    // (at most maxHead; the line end is never part of it). False at the end of
    // the file, when no line is left.
    bool readLine(std::string_view& head, std::size_t headLength);

    // Consumes up to and including the next line end (or to the end of file).
    void skipRestOfLine();

    // Consumes the rest of the file and returns the number of lines in it; a
    // last line without a line end counts too.
    std::int64_t countRemainingLines();

    // For readers that take a whole line at once: the unread bytes of the
    // block (readPadding more may be read behind them), and passing over a
    // line of them, `next` being just after its line end.
    std::string_view buffered() const { return {cursor_, static_cast<std::size_t>(limit_ - cursor_)}; }
    void passLine(const char* next) {
        cursor_ = next;
        ++line_;
    }

private:
    // The free-form reader works on the block in place.
    friend class FreeFormScanner;

    enum class Fill { more, endOfFile, full };
    // Keeps the unread bytes [cursor_, limit_) and reads more behind them.
    // `full` when the unread bytes already fill the whole block.
    Fill fill();
    void start(std::string path, std::size_t blockSize);

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
    char lastByte_ = 0;
    std::int64_t line_ = 1;
    char longHead_[maxHead] = {};
};

}  // namespace triangle
