// Reading memory that may not be readable, on Windows: ReadProcessMemory on
// the own process fails instead of faulting.
#include "orvplatform/memory.h"
#include "orvplatform/win32.h"

namespace orvplatform {
namespace detail {

std::size_t pageSize() noexcept {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    return si.dwPageSize;
}

bool readIfReadable(char* dst, std::uintptr_t src, std::size_t n) noexcept {
    SIZE_T read = 0;
    return ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<LPCVOID>(src), dst, n, &read) &&
           read == n;
}

}  // namespace detail
}  // namespace orvplatform
