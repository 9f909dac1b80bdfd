// Allocation failure on demand, for tests: the test binary that links this
// replaces the global operator new, and so does every module it loads (the
// analyzer's and the common module's allocations resolve to it too).
//
// A plan counts the allocations of the thread that armed it and makes exactly
// one of them throw std::bad_alloc; then it disarms itself.
#pragma once

#include <cstddef>

namespace failalloc {

// Once gate(context) first holds at an allocation on this thread (at once
// without a gate), that allocation is the first counted; the n-th counted one
// fails (n >= 1; 0 disarms). The gate runs inside operator new: it must not
// allocate.
void failNth(std::size_t n, bool (*gate)(const void*) = nullptr, const void* context = nullptr);

void disarm();

// Failures injected on this thread since the last arming.
std::size_t injected();

}  // namespace failalloc
