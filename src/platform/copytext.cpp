// The same on every system: the walk over the text's pages. What differs is
// how one page's part is read without faulting (detail::readIfReadable).
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "orvplatform/memory.h"
#include "orvplatform/win32.h"

using namespace orvplatform::win32;

namespace orvplatform {

bool copyTextIfReadable(char* dst, std::size_t cap, const void* src) noexcept {
    if (cap == 0) {
        return false;
    }
    dst[0] = '\0';
    if (src == nullptr) {
        return false;
    }
    // The reads may set the last error; the record that asks reports the one
    // from before.
    const DWORD lastError = GetLastError();
    const std::size_t page = detail::pageSize();
    const auto base = reinterpret_cast<std::uintptr_t>(src);
    std::size_t got = 0;
    bool ok = true;
    // Page by page into the local buffer, then look for the NUL in the copy:
    // nothing is read from the source twice.
    while (got < cap - 1) {
        const std::size_t chunk = std::min(page - (base + got) % page, cap - 1 - got);
        if (!detail::readIfReadable(dst + got, base + got, chunk)) {
            ok = false;
            break;
        }
        if (std::memchr(dst + got, '\0', chunk) != nullptr) {
            break;
        }
        got += chunk;
    }
    SetLastError(lastError);
    if (!ok) {
        dst[0] = '\0';
        return false;
    }
    dst[cap - 1] = '\0';
    return true;
}

}  // namespace orvplatform
