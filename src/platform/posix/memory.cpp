// Reading memory that may not be readable, without any signal handler.
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "orvplatform/win32.h"

namespace {

// write() into a pipe fails with EFAULT instead of faulting: the fallback for
// sandboxes that refuse process_vm_readv on the own process.
bool readThroughPipe(char* dst, std::uintptr_t src, std::size_t n) {
    int fds[2];
    if (pipe(fds) != 0) {
        return false;
    }
    bool ok = write(fds[1], reinterpret_cast<const void*>(src), n) == static_cast<ssize_t>(n) &&
              read(fds[0], dst, n) == static_cast<ssize_t>(n);
    close(fds[0]);
    close(fds[1]);
    return ok;
}

bool readChunk(char* dst, std::uintptr_t src, std::size_t n) {
    iovec local{dst, n};
    iovec remote{reinterpret_cast<void*>(src), n};
    const ssize_t got = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
    if (got == static_cast<ssize_t>(n)) {
        return true;
    }
    if (got < 0 && (errno == ENOSYS || errno == EPERM)) {
        return readThroughPipe(dst, src, n);
    }
    return false;
}

}  // namespace

namespace orvplatform {

bool copyTextIfReadable(char* dst, std::size_t cap, const void* src) noexcept {
    if (cap == 0) {
        return false;
    }
    dst[0] = '\0';
    if (src == nullptr) {
        return false;
    }
    const int savedErrno = errno;
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const auto base = reinterpret_cast<std::uintptr_t>(src);
    std::size_t got = 0;
    bool ok = true;
    // Page by page into the local buffer, then look for the NUL in the copy:
    // nothing is read from the source twice.
    while (got < cap - 1) {
        std::size_t chunk = page - ((base + got) % page);
        if (chunk > cap - 1 - got) {
            chunk = cap - 1 - got;
        }
        if (!readChunk(dst + got, base + got, chunk)) {
            ok = false;
            break;
        }
        if (std::memchr(dst + got, '\0', chunk) != nullptr) {
            break;
        }
        got += chunk;
    }
    errno = savedErrno;
    if (!ok) {
        dst[0] = '\0';
        return false;
    }
    dst[cap - 1] = '\0';
    return true;
}

}  // namespace orvplatform
