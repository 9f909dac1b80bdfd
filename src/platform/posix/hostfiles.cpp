// POSIX side of the host's files: mkstemp beside the target, rename over it,
// and a file's identity as its device and inode.
#include "orvplatform/hostfiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

namespace orvplatform {

namespace {

// The temporary file being written, for the signal handler: an interrupted
// run (Ctrl-C, systemctl stop) leaves neither the target half written nor a
// stray temporary file beside it. One at a time: a stream puts each block's
// file in place before it starts the next.
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

std::optional<FileIdentity> regularFileIdentity(const std::string& path) {
    struct stat st {};
    const int got = path == "-" ? ::fstat(STDIN_FILENO, &st) : ::stat(path.c_str(), &st);
    if (got != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev),
                        static_cast<std::uint64_t>(st.st_ino)};
}

bool isSpecialFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

ReplacementFile::ReplacementFile(const std::string& target) : target_(target) {
    struct stat st {};
    const mode_t mode = ::stat(target_.c_str(), &st) == 0 ? (st.st_mode & 07777) : newFileMode();
    const std::filesystem::path path(target_);
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    // A dot file: the textfile collector reads only *.prom, and ls hides it.
    std::string pattern = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    errno = 0;
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        error_ = errno;
        return;
    }
    path_ = pattern;
    setPending(path_);
    errno = 0;
    if (::fchmod(fd, mode) != 0 || (stream_ = ::fdopen(fd, "wb")) == nullptr) {
        error_ = errno;
        ::close(fd);
    }
}

ReplacementFile::~ReplacementFile() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
    }
    if (!path_.empty()) {
        ::unlink(path_.c_str());
        setPending("");
    }
}

std::FILE* ReplacementFile::takeStream() {
    std::FILE* stream = stream_;
    stream_ = nullptr;
    return stream;
}

bool ReplacementFile::replace() {
    errno = 0;
    if (std::rename(path_.c_str(), target_.c_str()) != 0) {
        error_ = errno;
        return false;  // the destructor removes the temporary file
    }
    path_.clear();
    setPending("");
    return true;
}

}  // namespace orvplatform
