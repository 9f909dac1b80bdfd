#include "failing_allocator.h"

#include <cstdlib>
#include <new>

#include "orvplatform/win32.h"

namespace {

// Plain thread-locals: operator new must not run TLS initialisers.
thread_local std::size_t t_remaining = 0;  // 0: disarmed
thread_local bool (*t_gate)(const void*) = nullptr;
thread_local const void* t_context = nullptr;
thread_local std::size_t t_injected = 0;

bool shouldFail() {
    if (t_remaining == 0 || (t_gate != nullptr && !t_gate(t_context))) {
        return false;
    }
    t_gate = nullptr;
    if (--t_remaining != 0) {
        return false;
    }
    ++t_injected;
    return true;
}

}  // namespace

namespace failalloc {

void failNth(std::size_t n, bool (*gate)(const void*), const void* context) {
    t_remaining = n;
    t_gate = gate;
    t_context = context;
    t_injected = 0;
}

void disarm() {
    t_remaining = 0;
}

std::size_t injected() {
    return t_injected;
}

}  // namespace failalloc

// Default visibility, so that libstdc++ and the modules loaded later bind to
// these rather than to their own.
ORV_MODULE_EXPORT void* operator new(std::size_t size) {
    if (shouldFail()) {
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

ORV_MODULE_EXPORT void operator delete(void* p) noexcept {
    std::free(p);
}

ORV_MODULE_EXPORT void operator delete(void* p, std::size_t /*size*/) noexcept {
    std::free(p);
}
