#include "common/output_file.hpp"

#include "common/run_error.hpp"

#include <cerrno>
#include <cstring>
#include <utility>

namespace triangle {

OutputFile::~OutputFile() {
    release();
}

void OutputFile::release() noexcept {
    if (file_ == nullptr) return;
    if (used_ > 0) std::fwrite(buffer_.get(), 1, used_, file_);
    used_ = 0;
    if (ownsFile_) {
        std::fclose(file_);
    } else {
        std::fflush(file_);
    }
    file_ = nullptr;
}

OutputFile::OutputFile(OutputFile&& other) noexcept {
    *this = std::move(other);
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        release();
        file_ = std::exchange(other.file_, nullptr);
        ownsFile_ = other.ownsFile_;
        path_ = std::move(other.path_);
        buffer_ = std::move(other.buffer_);
        used_ = std::exchange(other.used_, 0);
    }
    return *this;
}

void OutputFile::create(std::string path) {
    release();
    path_ = std::move(path);
    errno = 0;
    file_ = std::fopen(path_.c_str(), "wb");
    if (file_ == nullptr) {
        const int error = errno;
        throw RunError(ExitStatus::fileError, path_ + ": cannot create: " + std::strerror(error));
    }
    std::setvbuf(file_, nullptr, _IONBF, 0);  // we do our own buffering
    ownsFile_ = true;
    buffer_ = std::make_unique<char[]>(blockSize);
    used_ = 0;
}

void OutputFile::attachStandardOutput() {
    release();
    path_ = "standard output";
    file_ = stdout;
    ownsFile_ = false;
    buffer_ = std::make_unique<char[]>(blockSize);
    used_ = 0;
}

void OutputFile::fail(int error) {
    // Nothing more can be written to this file; keep the destructor quiet.
    if (ownsFile_) std::fclose(file_);
    file_ = nullptr;
    used_ = 0;
    throw RunError(ExitStatus::fileError, path_ + ": cannot write: " + std::strerror(error));
}

void OutputFile::flushBuffer() {
    if (used_ == 0) return;
    errno = 0;
    const std::size_t written = std::fwrite(buffer_.get(), 1, used_, file_);
    if (written != used_) fail(errno != 0 ? errno : EIO);
    used_ = 0;
}

void OutputFile::write(std::string_view text) {
    while (!text.empty()) {
        if (used_ == blockSize) flushBuffer();
        const std::size_t part = std::min(text.size(), blockSize - used_);
        std::memcpy(buffer_.get() + used_, text.data(), part);
        used_ += part;
        text.remove_prefix(part);
    }
}

void OutputFile::writeLine(std::string_view text) {
    write(text);
    write("\n");
}

void OutputFile::flush() {
    if (file_ == nullptr) return;
    flushBuffer();
    errno = 0;
    if (std::fflush(file_) != 0) fail(errno != 0 ? errno : EIO);
}

void OutputFile::close() {
    if (file_ == nullptr) return;
    flush();
    if (ownsFile_) {
        errno = 0;
        const int status = std::fclose(file_);
        file_ = nullptr;
        if (status != 0) {
            const int error = errno != 0 ? errno : EIO;
            throw RunError(ExitStatus::fileError, path_ + ": cannot write: " + std::strerror(error));
        }
    }
    file_ = nullptr;
}

}  // namespace triangle
