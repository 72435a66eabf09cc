#include "common/output_file.hpp"

#include "common/run_error.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace triangle {

OutputFile::~OutputFile() {
    if (file_ != nullptr && used_ > 0) std::fwrite(buffer_.get(), 1, used_, file_.get());
}

void OutputFile::start(std::FILE* file, std::string path) {
    file_.reset(file);
    path_ = std::move(path);
    finalPath_.clear();
    buffer_.reset(new char[blockSize]);  // not filled: pages fault only where lines land
    used_ = 0;
    finished_ = false;
}

void OutputFile::create(std::string path) {
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) failFile(path, "cannot create", errno);
    std::setvbuf(file, nullptr, _IONBF, 0);  // we do our own buffering
    start(file, std::move(path));
}

void OutputFile::createForRename(std::string path) {
    create(path + std::string(partialSuffix));
    finalPath_ = std::move(path);
}

void OutputFile::attachStandardOutput() {
    start(stdout, "standard output");
}

void OutputFile::fail(int error) {
    // Nothing more can be written to this file; keep the destructor quiet.
    used_ = 0;
    file_.reset();
    failFile(path_, "cannot write", error != 0 ? error : EIO);
}

void OutputFile::flushBuffer() {
    if (used_ == 0) return;
    errno = 0;
    if (std::fwrite(buffer_.get(), 1, used_, file_.get()) != used_) fail(errno);
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

void OutputFile::flush() {
    if (file_ == nullptr) return;
    flushBuffer();
    errno = 0;
    if (std::fflush(file_.get()) != 0) fail(errno);
}

void OutputFile::close() {
    if (file_ == nullptr) return;
    flush();
    std::FILE* const file = file_.release();
    errno = 0;
    if (file != stdout && std::fclose(file) != 0) failFile(path_, "cannot write", errno != 0 ? errno : EIO);
    finished_ = true;
    // Not flushed to disk first: the rename already keeps a failed or killed
    // run from touching the result's name (CONTRIBUTING.md, Performance).
    errno = 0;
    if (!finalPath_.empty() && std::rename(path_.c_str(), finalPath_.c_str()) != 0)
        failFile(path_, "cannot rename to " + finalPath_, errno);
}

}  // namespace triangle
