// What a module of this project (not a host) needs on POSIX besides win32.h:
// the load-time hook that stands in for the loader calling DllMain, the mark
// of an export, and the Win32 spellings a DllMain is written with. Not
// installed: these are macros, which a host must not get from us.
#pragma once

#include "orvplatform/win32.h"

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#ifndef APIENTRY
#define APIENTRY
#endif

namespace orvplatform {

// Calls fn(module base, DLL_PROCESS_ATTACH) when the module is loaded and
// fn(..., DLL_PROCESS_DETACH) when it is unloaded.
struct DllMainRegistrar {
    using Fn = win32::BOOL (*)(win32::HINSTANCE, win32::DWORD, win32::LPVOID);
    explicit DllMainRegistrar(Fn fn) noexcept;
    ~DllMainRegistrar();
    Fn fn_;
    win32::HINSTANCE self_;
};

}  // namespace orvplatform

// Marks a function definition as an export of the module.
#define ORV_MODULE_EXPORT __attribute__((visibility("default")))

// Stands in for the loader calling DllMain: place once in the module's source.
#define ORV_PLATFORM_DLLMAIN(fn) \
    static const ::orvplatform::DllMainRegistrar orvDllMainRegistrar_{&(fn)};
