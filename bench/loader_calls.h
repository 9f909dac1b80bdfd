// Counts of the dynamic loader's entry points called by the calling thread,
// from any module, so a benchmark can show how many loads, look-ups and frees
// one round trip costs. The counting wrappers are defined in loader_calls.cpp.
#pragma once

#include <cstdint>

namespace loadercalls {

struct Counts {
    std::uint64_t dlopen = 0;
    std::uint64_t dlsym = 0;
    std::uint64_t dlinfo = 0;
    std::uint64_t dlclose = 0;
};

Counts snapshot();

}  // namespace loadercalls
