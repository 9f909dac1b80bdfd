// Windows side of the host's files: a temporary file in the target's folder,
// put in place by ReplaceFileW (or MoveFileExW where there is nothing to
// replace), and a file's identity as its volume serial number and file index.
#include "orvplatform/hostfiles.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "orvplatform/win32.h"

namespace orvplatform {

namespace {

// The program's narrow paths are in the code page that the C runtime's fopen
// reads them in (the tool opens its inputs with fopen), so a path names the
// same file here as there.
std::wstring widePath(const std::string& path) {
    if (path.empty()) {
        return std::wstring();
    }
    const UINT codePage = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
    const int size = static_cast<int>(path.size());
    const int length = MultiByteToWideChar(codePage, 0, path.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, path.data(), size, wide.data(), length);
    return wide;
}

// The path with its drive and folder: wine's ReplaceFileW fails with
// ERROR_DIRECTORY on a relative path or one without a drive (\tmp\x).
std::wstring fullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) {
        return path;
    }
    full.resize(length);
    return full;
}

// The tool says why with strerror(), which knows errno values only.
int errnoFor(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_UNABLE_TO_REMOVE_REPLACED:
        case ERROR_UNABLE_TO_MOVE_REPLACEMENT:
        case ERROR_UNABLE_TO_MOVE_REPLACEMENT_2:
            return EACCES;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_INVALID_NAME:
            return EINVAL;
        default:
            return EIO;
    }
}

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (valid()) {
            CloseHandle(handle_);
        }
    }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// Opened for its metadata only, and shared every way, so that neither a
// reader nor a writer of the file is in its way.
Handle openForQuery(const std::string& path) {
    return Handle(CreateFileW(widePath(path).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The identity of the regular file open in handle. FileIdInfo first: it has
// the whole file id, and wine answers it for a standard handle inherited from
// a Unix descriptor, where GetFileInformationByHandle fails; the older call
// where a file system has no FileIdInfo (FAT).
std::optional<FileIdentity> regularIdentity(HANDLE handle) {
    FILE_BASIC_INFO basic{};
    if (GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) ||
        (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return std::nullopt;
    }
    FILE_ID_INFO id{};
    if (GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id)) {
        std::uint64_t half[2];
        static_assert(sizeof half == sizeof id.FileId.Identifier, "a file id is 128 bits");
        std::memcpy(half, id.FileId.Identifier, sizeof half);
        return FileIdentity{id.VolumeSerialNumber, half[0] ^ half[1]};
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        return std::nullopt;
    }
    return FileIdentity{
        info.dwVolumeSerialNumber,
        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

// The temporary file being written, for the console's control handler: an
// interrupted run (Ctrl-C, the console closed) leaves no stray temporary
// file. The file is opened with FILE_SHARE_DELETE, so that deleting it while
// the program still holds it open removes it as the program ends.
wchar_t pendingTemporary[32768];

BOOL WINAPI removePending(DWORD) {
    if (pendingTemporary[0] != L'\0') {
        DeleteFileW(pendingTemporary);
    }
    return FALSE;  // the next handler (the system's) ends the program
}

void setPending(const std::wstring& path) {
    static const bool handled = SetConsoleCtrlHandler(removePending, TRUE) != 0;
    (void)handled;
    // The first character last: the handler sees a whole path or none.
    pendingTemporary[0] = L'\0';
    if (path.empty() || path.size() >= sizeof pendingTemporary / sizeof pendingTemporary[0]) {
        return;
    }
    std::memcpy(pendingTemporary + 1, path.data() + 1, (path.size() - 1) * sizeof(wchar_t));
    pendingTemporary[path.size()] = L'\0';
    pendingTemporary[0] = path[0];
}

}  // namespace

std::optional<FileIdentity> regularFileIdentity(const std::string& path) {
    if (path == "-") {
        const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        return input == INVALID_HANDLE_VALUE || input == nullptr ? std::nullopt
                                                                 : regularIdentity(input);
    }
    const Handle file = openForQuery(path);
    return file.valid() ? regularIdentity(file.get()) : std::nullopt;
}

bool isSpecialFile(const std::string& path) {
    const Handle file = openForQuery(path);
    return file.valid() && !regularIdentity(file.get());
}

ReplacementFile::ReplacementFile(const std::string& target) : target_(target) {
    // Cut as text: a round trip through std::filesystem::path could change
    // characters outside the code page.
    const std::size_t cut = target_.find_last_of("/\\:") + 1;  // 0 without a folder
    const std::string stem = target_.substr(0, cut) + "." + target_.substr(cut) + ".";
    // A name nobody else picks: the process's id and a count, tried afresh
    // while one is taken.
    static unsigned count = 0;
    HANDLE file = INVALID_HANDLE_VALUE;
    std::string name;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        name = stem + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count);
        file = CreateFileW(widePath(name).c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        error_ = errnoFor(GetLastError());
        return;
    }
    path_ = name;
    setPending(widePath(path_));
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_BINARY | _O_WRONLY);
    if (descriptor < 0) {
        error_ = errno;
        CloseHandle(file);
        return;
    }
    errno = 0;
    stream_ = _fdopen(descriptor, "wb");
    if (stream_ == nullptr) {
        error_ = errno;
        _close(descriptor);
    }
}

ReplacementFile::~ReplacementFile() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
    }
    if (!path_.empty()) {
        DeleteFileW(widePath(path_).c_str());
        setPending(std::wstring());
    }
}

std::FILE* ReplacementFile::takeStream() {
    std::FILE* stream = stream_;
    stream_ = nullptr;
    return stream;
}

bool ReplacementFile::replace() {
    const std::wstring from = fullPath(widePath(path_));
    const std::wstring to = fullPath(widePath(target_));
    // ReplaceFileW gives the new file the old one's attributes and access
    // control list (what the POSIX side keeps with the mode bits); with
    // nothing to replace, a plain move.
    bool done = ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                             nullptr, nullptr) != 0;
    if (!done && GetLastError() == ERROR_FILE_NOT_FOUND) {
        done = MoveFileExW(from.c_str(), to.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }
    if (!done) {
        error_ = errnoFor(GetLastError());
        return false;  // the destructor removes the temporary file
    }
    path_.clear();
    setPending(std::wstring());
    return true;
}

}  // namespace orvplatform
