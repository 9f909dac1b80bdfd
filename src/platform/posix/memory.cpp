// Reading memory that may not be readable, without any signal handler.
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "orvplatform/memory.h"

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

}  // namespace

namespace orvplatform {
namespace detail {

std::size_t pageSize() noexcept {
    return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

bool readIfReadable(char* dst, std::uintptr_t src, std::size_t n) noexcept {
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

}  // namespace detail
}  // namespace orvplatform
