// Allocation failure on demand, in the binary that links this and every
// module it loads: failNth(n) makes the n-th allocation of this thread throw
// std::bad_alloc, counted from the first at which gate(context) holds (which
// must not allocate), then disarms; failNth(0) disarms.
#pragma once

#include <cstddef>

namespace failalloc {

void failNth(std::size_t n, bool (*gate)(const void*) = nullptr, const void* context = nullptr);
std::size_t injected();  // failures on this thread since it was last armed

}  // namespace failalloc
