// The same on every system: the guard is what differs, and win32.h gives it.
#include <cstring>

#include "orvplatform/win32.h"

namespace {
void rawCopy(void* destination, const void* source, std::size_t length) {
    std::memcpy(destination, source, length);
}
}  // namespace

void orvplatform::win32::CopyMemory(void* destination, const void* source, std::size_t length) {
    orvplatform::guardedCall(&rawCopy, destination, source, length);
}
