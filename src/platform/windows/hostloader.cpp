// Windows side of the host's loader: the system's loader and C runtime.
#include "orvplatform/hostloader.h"

#include <fcntl.h>
#include <io.h>

#include <cwctype>
#include <system_error>

namespace orvplatform {

namespace fs = std::filesystem;

namespace {

// Narrow text the way the rest of the program spells paths.
std::string narrow(const std::wstring& text) {
    return fs::path(text).string();
}

// The system's words for code, then its number: "Access is denied (error 5)".
std::string systemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::wstring text = length != 0 ? std::wstring(buffer, length) : std::wstring();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'.' || std::iswspace(text.back()) != 0)) {
        text.pop_back();
    }
    const std::string number = "error " + std::to_string(code);
    return text.empty() ? number : narrow(text) + " (" + number + ")";
}

std::wstring modulePath(win32::HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::wstring();
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// A module that cannot be loaded (a missing dependency, a file that is no
// DLL) must end as an error text for the user, never as a message box that
// nobody is there to close.
template <typename Load>
win32::HMODULE loadQuietly(Load load, std::string& error) {
    DWORD previousMode = 0;
    const bool modeSet =
        SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode) != 0;
    const win32::HMODULE module = load();
    const DWORD code = GetLastError();
    if (modeSet) {
        SetThreadErrorMode(previousMode, nullptr);
    }
    if (module == nullptr) {
        error = systemMessage(code);
    }
    return module;
}

}  // namespace

std::string moduleFileName(const std::string& windowsName) {
    return windowsName;
}

fs::path executableDirectory() {
    const std::wstring exe = modulePath(nullptr);
    return exe.empty() ? fs::path() : fs::path(exe).parent_path();
}

win32::HMODULE loadModuleFile(const fs::path& file, std::string& error) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(file, ec);
    // With an absolute path, the altered search order looks for the module's
    // own DLLs (Boost, the C++ runtime) in its folder first.
    return loadQuietly(
        [&] {
            return LoadLibraryExW((ec ? file : absolute).c_str(), nullptr,
                                  LOAD_WITH_ALTERED_SEARCH_PATH);
        },
        error);
}

win32::HMODULE loadModuleByName(const std::string& fileName, std::string& error) {
    const std::wstring name = fs::path(fileName).wstring();
    return loadQuietly([&] { return LoadLibraryW(name.c_str()); }, error);
}

win32::HMODULE moduleAnsweringName(const std::string& fileName) {
    return GetModuleHandleW(fs::path(fileName).wstring().c_str());
}

std::string moduleFilePath(win32::HMODULE module) {
    if (module == nullptr) {
        return "?";
    }
    const std::wstring path = modulePath(module);
    return path.empty() ? "?" : narrow(path);
}

fs::path moduleFileContaining(const void* address) {
    HMODULE module = nullptr;
    if (GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCWSTR>(address), &module) == 0) {
        return fs::path();
    }
    const std::wstring path = modulePath(module);
    return path.empty() ? fs::path() : fs::path(path);
}

BareNameRule bareNameRule() {
    return BareNameRule::FileName;
}

std::vector<fs::path> bareNameFolders(const fs::path&) {
    // LoadLibraryW with a bare name searches the program's folder, not the
    // folder of the module that calls it.
    const fs::path program = executableDirectory();
    return program.empty() ? std::vector<fs::path>() : std::vector<fs::path>{program};
}

bool isTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

void setBinaryMode(std::FILE* stream) {
    _setmode(_fileno(stream), _O_BINARY);
}

}  // namespace orvplatform
