#pragma once

// Sequential writing in large blocks: lines are gathered in one buffer and
// handed to the system a block at a time. Every failed write (a full disk too)
// ends the run; what was written before stays written (for a result file,
// under its temporary name).

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace triangle {

class OutputFile {
public:
    static constexpr std::size_t blockSize = std::size_t{1} << 20;

    OutputFile() = default;
    // Flushes what is buffered (quietly: a failure here can no longer be
    // reported) and closes the file.
    ~OutputFile();
    OutputFile(OutputFile&&) noexcept = default;
    OutputFile& operator=(OutputFile&&) = delete;

    // Creates the file, or replaces an existing one; throws RunError when it cannot.
    void create(std::string path);
    // Writes to `path` + partialSuffix, created or replaced, and close() renames
    // that to `path`: a run that fails or is killed never leaves a truncated
    // file under `path` and never touches an earlier file of that name.
    void createForRename(std::string path);
    static constexpr std::string_view partialSuffix = ".partial";
    // Writes to the process's standard output instead of a file.
    void attachStandardOutput();

    // Room for at least `length` more bytes; write them, then commit() the end.
    char* reserve(std::size_t length) {
        if (blockSize - used_ < length) flushBuffer();
        return buffer_.get() + used_;
    }
    void commit(char* end) { used_ = static_cast<std::size_t>(end - buffer_.get()); }

    void write(std::string_view text);
    // The text and a line end.
    void writeLine(std::string_view text) {
        write(text);
        write("\n");
    }

    void flush();
    // Flushes, closes and renames (see createForRename); throws RunError when
    // the data cannot be written or the file cannot be renamed.
    void close();
    // Closed, and everything written reached the system.
    bool finished() const { return finished_; }
    // The name written to.
    const std::string& path() const { return path_; }

private:
    // Closes a file of our own; standard output is only flushed.
    struct Closer {
        void operator()(std::FILE* file) const { file == stdout ? std::fflush(file) : std::fclose(file); }
    };

    void start(std::FILE* file, std::string path);
    void flushBuffer();
    [[noreturn]] void fail(int error);

    std::unique_ptr<std::FILE, Closer> file_;
    std::string path_;
    std::string finalPath_;  // renamed to this when closed, unless empty
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
    bool finished_ = false;
};

}  // namespace triangle
