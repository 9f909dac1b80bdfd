#include "failing_allocator.h"

#include <cstdlib>
#include <new>

#include "orvplatform/module.h"

namespace {

// Plain thread-locals: operator new must not run TLS initialisers.
thread_local std::size_t t_remaining = 0;  // 0: disarmed
thread_local bool (*t_gate)(const void*) = nullptr;
thread_local const void* t_context = nullptr;
thread_local std::size_t t_injected = 0;

}  // namespace

void failalloc::failNth(std::size_t n, bool (*gate)(const void*), const void* context) {
    t_remaining = n;
    t_gate = gate;
    t_context = context;
    t_injected = n != 0 ? 0 : t_injected;
}

std::size_t failalloc::injected() {
    return t_injected;
}

// Exported, so that libstdc++ and the modules loaded later bind to these.
ORV_MODULE_EXPORT void* operator new(std::size_t size) {
    if (t_remaining != 0 && (t_gate == nullptr || t_gate(t_context))) {
        t_gate = nullptr;
        if (--t_remaining == 0) {
            ++t_injected;
            throw std::bad_alloc();
        }
    }
    void* p = std::malloc(size == 0 ? 1 : size);
    return p != nullptr ? p : throw std::bad_alloc();
}

ORV_MODULE_EXPORT void operator delete(void* p) noexcept {
    std::free(p);
}

ORV_MODULE_EXPORT void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
