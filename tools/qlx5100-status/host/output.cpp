#include "output.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "escape.h"
#include "messages.h"

namespace qlx5100status {

void StdioBuf::record() {
    if (!failed_) {
        failed_ = true;
        error_ = errno;
    }
}

StdioBuf::int_type StdioBuf::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) {
        return traits_type::not_eof(c);
    }
    errno = 0;
    if (std::fputc(traits_type::to_char_type(c), file_) == EOF) {
        record();
        return traits_type::eof();
    }
    return c;
}

std::streamsize StdioBuf::xsputn(const char* s, std::streamsize n) {
    errno = 0;
    const std::size_t written = std::fwrite(s, 1, static_cast<std::size_t>(n), file_);
    if (written < static_cast<std::size_t>(n)) {
        record();
    }
    return static_cast<std::streamsize>(written);
}

int StdioBuf::sync() {
    errno = 0;
    if (std::fflush(file_) != 0) {
        record();
        return -1;
    }
    return 0;
}

FileStream::FileStream(const std::string& path, const char* mode)
    : std::ostream(nullptr),
      file_((errno = 0, std::fopen(path.c_str(), mode)), &std::fclose),
      buffer_(file_.get()) {
    if (file_) {
        rdbuf(&buffer_);
    } else {
        error_ = errno;
        setstate(std::ios::badbit);
    }
}

FileStream::FileStream(std::FILE* file, int error)
    : std::ostream(nullptr), file_(file, &std::fclose), buffer_(file) {
    if (file_) {
        rdbuf(&buffer_);
    } else {
        error_ = error;
        setstate(std::ios::badbit);
    }
}

bool FileStream::close() {
    if (!file_) {
        return false;
    }
    buffer_.pubsync();
    errno = 0;
    const bool closed = std::fclose(file_.release()) == 0;
    if (!closed && error_ == 0) {
        error_ = errno;
    }
    setstate(std::ios::badbit);  // nothing more goes to a closed file
    return closed && !buffer_.failed();
}

std::string reason(int error) {
    return error != 0 ? std::strerror(error) : "the system gave no reason";
}

namespace {

StdioBuf& standardOutputBuffer() {
    static StdioBuf buffer(stdout);
    return buffer;
}

}  // namespace

void checkStandardOutput() {
    std::cout.rdbuf(&standardOutputBuffer());
}

bool finishStandardOutput() {
    StdioBuf& buffer = standardOutputBuffer();
    buffer.pubsync();
    if (!buffer.failed()) {
        return true;
    }
    printError("standard output: write error: " + reason(buffer.error()));
    return false;
}

Output::Output(const std::string& path, Writing how) : path_(path) {
    if (path_ == "-") {
        return;
    }
    // Through a link, the file it leads to is replaced and the link stays.
    std::string target = path_;
    std::error_code ec;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(path_, ec))) {
        const std::filesystem::path resolved = std::filesystem::canonical(path_, ec);
        if (!ec) {
            target = resolved.string();
        }
    }
    if (how == Writing::AsItGoes || orvplatform::isSpecialFile(target)) {
        file_ = std::make_unique<FileStream>(path_, "wb");
        return;
    }
    replacement_ = std::make_unique<orvplatform::ReplacementFile>(target);
    file_ = std::make_unique<FileStream>(replacement_->takeStream(), replacement_->error());
}

Output::~Output() = default;

std::ostream& Output::stream() {
    return file_ ? static_cast<std::ostream&>(*file_) : std::cout;
}

bool Output::opened() {
    if (path_ == "-" || (file_ && file_->isOpen())) {
        return true;
    }
    printError(shown(path_) + ": cannot write: " + reason(file_->error()));
    return false;
}

bool Output::finish() {
    if (!file_) {
        return path_ == "-";
    }
    if (!file_->close()) {
        printError(shown(path_) + ": write error: " + reason(file_->error()));
        return false;
    }
    if (replacement_ && !replacement_->replace()) {
        printError(shown(path_) + ": cannot replace it: " + reason(replacement_->error()));
        return false;  // the temporary file goes with replacement_
    }
    return true;
}

}  // namespace qlx5100status
