// POSIX module loading behind LoadLibraryW / GetProcAddress / FreeLibrary.
#include <dlfcn.h>

#include <cerrno>
#include <string>

#include "orvplatform/win32.h"

namespace {

// Names are ASCII in practice; anything else is passed on as UTF-8.
std::string toUtf8(LPCWSTR wide) {
    std::string out;
    for (; *wide != L'\0'; ++wide) {
        const auto c = static_cast<char32_t>(*wide);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool endsWithDll(const std::string& name) {
    if (name.size() < 4) {
        return false;
    }
    const std::string ext = name.substr(name.size() - 4);
    return (ext[0] == '.') && (ext[1] == 'd' || ext[1] == 'D') &&
           (ext[2] == 'l' || ext[2] == 'L') && (ext[3] == 'l' || ext[3] == 'L');
}

// The directory, with its trailing '/', of the module this code is linked
// into; empty when the loader cannot tell.
std::string ownDirectory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&ownDirectory), &info) == 0 ||
        info.dli_fname == nullptr) {
        return {};
    }
    const std::string path = info.dli_fname;
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

namespace orvplatform {

// "dir/NAME.dll" -> "dir/libNAME.so"; other names are used as they are.
std::string platformModuleName(const std::string& windowsName) {
    if (!endsWithDll(windowsName)) {
        return windowsName;
    }
    const std::size_t slash = windowsName.find_last_of('/');
    const std::size_t start = (slash == std::string::npos) ? 0 : slash + 1;
    return windowsName.substr(0, start) + "lib" +
           windowsName.substr(start, windowsName.size() - start - 4) + ".so";
}

void keepModuleLoaded(const void* address) noexcept {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) {
        return;
    }
    // RTLD_NOLOAD | RTLD_NODELETE promotes the loaded object; the reference it
    // takes is given back at once.
    if (void* handle = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE)) {
        dlclose(handle);
    }
}

}  // namespace orvplatform

HMODULE LoadLibraryW(LPCWSTR fileName) {
    if (fileName == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    const std::string name = orvplatform::platformModuleName(toUtf8(fileName));
    // dlopen searches with the run path of the object that calls it, which is
    // the module this layer is linked into: that is what puts the common
    // module beside the analyzer first after LD_LIBRARY_PATH.
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    // The run path comes from dlopen's caller. Where dlopen is interposed
    // (AddressSanitizer, ThreadSanitizer, preloaded hooks) the caller is the
    // interposer and our $ORIGIN is never searched: look beside this module
    // ourselves. For the analyzer, whose run path is $ORIGIN, this adds
    // nothing when dlopen is not interposed.
    if (handle == nullptr && name.find('/') == std::string::npos) {
        const std::string directory = ownDirectory();
        if (!directory.empty()) {
            handle = dlopen((directory + name).c_str(), RTLD_NOW | RTLD_LOCAL);
        }
    }
    if (handle == nullptr && errno == 0) {
        errno = ENOENT;
    }
    return static_cast<HMODULE>(handle);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    if (module == nullptr || procName == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(dlsym(module, procName));
}

BOOL FreeLibrary(HMODULE module) {
    if (module == nullptr) {
        return FALSE;
    }
    return dlclose(module) == 0 ? TRUE : FALSE;
}

DWORD GetLastError() {
    return static_cast<DWORD>(errno);
}

void SetLastError(DWORD error) {
    errno = static_cast<int>(error);
}
