#include "output.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <csignal>
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

#ifndef _WIN32
FileStream::FileStream(int descriptor)
    : std::ostream(nullptr),
      file_((errno = 0, fdopen(descriptor, "wb")), &std::fclose),
      buffer_(file_.get()) {
    if (file_) {
        rdbuf(&buffer_);
    } else {
        error_ = errno;
        ::close(descriptor);
        setstate(std::ios::badbit);
    }
}
#endif

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

#ifndef _WIN32
namespace {

// The temporary file of the output being written, for the signal handler: an
// interrupted run (Ctrl-C, systemctl stop) leaves neither FILE half written
// nor a stray temporary file beside it. One at a time: a stream puts each
// block's file in place before it starts the next.
char pendingTemporary[4096];

extern "C" void removePendingAndDie(int signal) {
    if (pendingTemporary[0] != '\0') {
        ::unlink(pendingTemporary);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void setPending(const std::string& path) {
    static const bool handled = [] {
        for (const int s : {SIGINT, SIGTERM, SIGHUP}) {
            // A signal ignored (nohup) stays ignored.
            if (std::signal(s, removePendingAndDie) == SIG_IGN) {
                std::signal(s, SIG_IGN);
            }
        }
        return true;
    }();
    (void)handled;
    // The first byte last: the handler sees a whole path or none.
    pendingTemporary[0] = '\0';
    if (path.empty() || path.size() >= sizeof pendingTemporary) {
        return;
    }
    std::memcpy(pendingTemporary + 1, path.data() + 1, path.size() - 1);
    pendingTemporary[path.size()] = '\0';
    pendingTemporary[0] = path[0];
}

// The bits a new file gets: what fopen() would give it.
mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace
#endif

Output::Output(const std::string& path, Writing how) : path_(path), target_(path) {
    if (path_ == "-") {
        return;
    }
#ifdef _WIN32
    // Windows' rename does not replace a file: written in place there.
    (void)how;
    file_ = std::make_unique<FileStream>(path_, "wb");
#else
    struct stat st {};
    // Through a link, the file it leads to is replaced and the link stays.
    if (::lstat(path_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        std::error_code ec;
        const std::filesystem::path resolved = std::filesystem::canonical(path_, ec);
        if (!ec) {
            target_ = resolved.string();
        }
    }
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (how == Writing::AsItGoes || (exists && !S_ISREG(st.st_mode))) {
        file_ = std::make_unique<FileStream>(path_, "wb");
        return;
    }
    const mode_t mode = exists ? (st.st_mode & 07777) : newFileMode();
    const std::filesystem::path target(target_);
    const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    // A dot file: the textfile collector reads only *.prom, and ls hides it.
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    errno = 0;
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        error_ = errno;
        return;
    }
    temporary_ = pattern;
    setPending(temporary_);
    errno = 0;
    if (::fchmod(fd, mode) != 0) {
        error_ = errno;
        ::close(fd);
        return;
    }
    file_ = std::make_unique<FileStream>(fd);
#endif
}

Output::~Output() {
#ifndef _WIN32
    if (!temporary_.empty()) {
        file_.reset();
        ::unlink(temporary_.c_str());
        setPending("");
    }
#endif
}

std::ostream& Output::stream() {
    return file_ ? static_cast<std::ostream&>(*file_) : std::cout;
}

bool Output::opened() {
    if (path_ == "-" || (file_ && file_->isOpen())) {
        return true;
    }
    const int why = file_ ? file_->error() : error_;
    printError(shown(path_) + ": cannot write: " + reason(why));
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
    if (temporary_.empty()) {
        return true;
    }
    errno = 0;
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        printError(shown(path_) + ": cannot replace it: " + reason(errno));
        return false;  // the destructor removes the temporary file
    }
#ifndef _WIN32
    temporary_.clear();
    setPending("");
#endif
    return true;
}

}  // namespace qlx5100status
