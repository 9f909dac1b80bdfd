// Reading memory that may not be readable, on Windows: ReadProcessMemory on
// the own process fails instead of faulting.
#include <cstring>

#include "orvplatform/win32.h"

namespace orvplatform {

bool copyTextIfReadable(char* dst, std::size_t cap, const void* src) noexcept {
    if (cap == 0) {
        return false;
    }
    dst[0] = '\0';
    if (src == nullptr) {
        return false;
    }
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const std::size_t page = si.dwPageSize;
    const auto base = reinterpret_cast<ULONG_PTR>(src);
    std::size_t got = 0;
    while (got < cap - 1) {
        std::size_t chunk = page - ((base + got) % page);
        if (chunk > cap - 1 - got) {
            chunk = cap - 1 - got;
        }
        SIZE_T read = 0;
        if (!ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<LPCVOID>(base + got),
                               dst + got, chunk, &read) ||
            read != chunk) {
            dst[0] = '\0';
            return false;
        }
        if (std::memchr(dst + got, '\0', chunk) != nullptr) {
            break;
        }
        got += chunk;
    }
    dst[cap - 1] = '\0';
    return true;
}

}  // namespace orvplatform
