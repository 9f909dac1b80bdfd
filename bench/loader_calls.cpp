// Counting wrappers around dlopen, dlsym, dlinfo and dlclose, exported from
// the benchmark executable (loader_calls.dynlist) so that every module's
// calls, the analyzer's LoadLibraryW/GetProcAddress/FreeLibrary included, come
// here first and are then handed on to libc. GetProcAddress asks dlinfo for
// the module's map once per look-up and reads its export table without the
// loader's lock; it calls dlsym only for what that table cannot answer.
//
// dlopen and dlsym look at their caller's return address (run path,
// RTLD_NEXT). Each wrapper ends in a tail call, which an optimised build turns
// into a jump, so libc sees the original caller. Where the compiler keeps a
// call (an unoptimised build), the executable is the caller; its run path is
// set to the modules' directory so loads still find the same files.
#include "loader_calls.h"

#include <dlfcn.h>

#include <cstdlib>
#include <initializer_list>

namespace {

// Per thread: one set of counters for the process would be one more cache
// line that every loader call of every benchmark thread writes, and the
// round trips on two threads would pay for its moves between the cores, which
// no host does.
thread_local loadercalls::Counts t_counts;

using DlopenFn = void* (*)(const char*, int);
using DlsymFn = void* (*)(void*, const char*);
using DlinfoFn = int (*)(void*, int, void*);
using DlcloseFn = int (*)(void*);

// dlvsym is not wrapped, so it can find libc's versions without recursion.
template <typename Fn>
Fn next(const char* name) {
    for (const char* version : {"GLIBC_2.34", "GLIBC_2.2.5"}) {
        if (void* fn = dlvsym(RTLD_NEXT, name, version)) {
            return reinterpret_cast<Fn>(fn);
        }
    }
    std::abort();
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void* dlopen(const char* file, int mode) {
    static const DlopenFn real = next<DlopenFn>("dlopen");
    ++t_counts.dlopen;
    return real(file, mode);
}

__attribute__((visibility("default"))) void* dlsym(void* handle, const char* name) {
    static const DlsymFn real = next<DlsymFn>("dlsym");
    ++t_counts.dlsym;
    return real(handle, name);
}

__attribute__((visibility("default"))) int dlinfo(void* handle, int request, void* info) {
    static const DlinfoFn real = next<DlinfoFn>("dlinfo");
    ++t_counts.dlinfo;
    return real(handle, request, info);
}

__attribute__((visibility("default"))) int dlclose(void* handle) {
    static const DlcloseFn real = next<DlcloseFn>("dlclose");
    ++t_counts.dlclose;
    return real(handle);
}

}  // extern "C"

namespace loadercalls {

Counts snapshot() {
    return t_counts;
}

}  // namespace loadercalls
