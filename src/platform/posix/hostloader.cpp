// POSIX side of the host's loader: dlopen and glibc's link map.
#include "orvplatform/hostloader.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "modulename.h"

namespace orvplatform {

namespace fs = std::filesystem;

namespace {

std::string dlerrorText() {
    const char* e = dlerror();
    return e != nullptr ? e : "unknown error";
}

}  // namespace

std::string moduleFileName(const std::string& windowsName) {
    // Module names are ASCII: each byte is one wide character.
    const std::wstring wide(windowsName.begin(), windowsName.end());
    std::string out(windowsName.size() * 4 + 8, '\0');
    if (!detail::platformModuleName(wide.c_str(), out.data(), out.size())) {
        return windowsName;
    }
    out.resize(std::strlen(out.c_str()));
    return out;
}

fs::path executableDirectory() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

win32::HMODULE loadModuleFile(const fs::path& file, std::string& error) {
    void* handle = dlopen(fs::absolute(file).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        error = dlerrorText();
    }
    return static_cast<win32::HMODULE>(handle);
}

win32::HMODULE loadModuleByName(const std::string& fileName, std::string& error) {
    void* handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        error = dlerrorText();
    }
    return static_cast<win32::HMODULE>(handle);
}

win32::HMODULE moduleAnsweringName(const std::string& fileName) {
    // glibc matches a loaded object's soname here; the reference that
    // RTLD_NOLOAD takes is given back at once.
    void* handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        dlclose(handle);
    }
    return static_cast<win32::HMODULE>(handle);
}

std::string moduleFilePath(win32::HMODULE module) {
    link_map* map = nullptr;
    if (module == nullptr || dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr ||
        map->l_name == nullptr || map->l_name[0] == '\0') {
        return "?";
    }
    std::error_code ec;
    const fs::path canonical = fs::canonical(map->l_name, ec);
    return ec ? map->l_name : canonical.string();
}

fs::path moduleFileContaining(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr || info.dli_fname[0] == '\0') {
        return fs::path();
    }
    std::error_code ec;
    const fs::path canonical = fs::canonical(info.dli_fname, ec);
    return ec ? fs::path(info.dli_fname) : canonical;
}

BareNameRule bareNameRule() {
    return BareNameRule::Soname;
}

std::vector<fs::path> bareNameFolders(const fs::path& caller) {
    std::vector<fs::path> out;
    if (const char* env = std::getenv("LD_LIBRARY_PATH")) {
        // An empty entry is the current folder, as the loader reads it.
        const std::string list = env;
        std::size_t start = 0;
        while (start <= list.size()) {
            const std::size_t colon = std::min(list.find(':', start), list.size());
            const std::string dir = list.substr(start, colon - start);
            out.emplace_back(dir.empty() ? "." : dir);
            start = colon + 1;
        }
    }
    out.push_back(caller.parent_path());
    return out;
}

bool isTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

void setBinaryMode(std::FILE*) {}

}  // namespace orvplatform
