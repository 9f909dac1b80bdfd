// Reading memory that may not be readable, per platform (posix/memory.cpp,
// windows/memory.cpp), for the one walk over a text's pages (copytext.cpp).
// Not installed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvplatform {
namespace detail {

std::size_t pageSize() noexcept;

// Copies n bytes at src, which lie within one page, to dst; false, without
// faulting, when they cannot be read.
bool readIfReadable(char* dst, std::uintptr_t src, std::size_t n) noexcept;

}  // namespace detail
}  // namespace orvplatform
