// What a host program needs from the file system to write a file whole or
// not at all and to tell that two paths name one file: a temporary file
// beside the file it is to become, put in its place in one step, and a
// file's identity as the file system knows it (hard links and symbolic links
// included), which no comparison of path texts can give.
//
// Paths are the program's narrow strings, as it hands them to fopen.
//
// Implemented in posix/hostfiles.cpp and windows/hostfiles.cpp.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace orvplatform {

// Who a file is: equal for every path that leads to the same file.
struct FileIdentity {
    std::uint64_t volume = 0;  // 0: the system did not say
    std::uint64_t index = 0;

    // A volume the system did not say (wine's standard input, handed on from
    // a Unix descriptor) leaves the index alone to decide: refusing a rare
    // pair of files that only look alike loses nothing, writing over an input
    // would.
    friend bool operator==(const FileIdentity& a, const FileIdentity& b) {
        return a.index == b.index && (a.volume == b.volume || a.volume == 0 || b.volume == 0);
    }
};

// The identity of the regular file that path leads to, or, for "-", of what
// standard input was opened on. None for a device, a FIFO, a folder or a path
// that does not exist.
std::optional<FileIdentity> regularFileIdentity(const std::string& path);

// Whether path leads to something that exists and is no regular file (a
// device, a FIFO): such a path cannot be replaced, only written in place.
bool isSpecialFile(const std::string& path);

// A temporary file beside target, to be written and then put in target's
// place at once, so that a reader sees the old file or the new one and never
// a part. It takes target's permissions when target exists (on Windows its
// attributes and access control list) and those a new file would get
// otherwise. Until replaced, it is removed by the destructor and when the
// program is interrupted (Ctrl-C, a termination request).
class ReplacementFile {
public:
    // Creates the file; on failure error() is the system's reason.
    explicit ReplacementFile(const std::string& target);
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;
    ~ReplacementFile();

    // The file opened for writing in binary, or null when it could not be;
    // the caller closes it (fclose) before replace(). Given once.
    std::FILE* takeStream();

    // Puts the written, closed file in target's place; false, with error()
    // set, when the system refused, and target stays as it was.
    bool replace();

    // errno's value for what failed (the C library's strerror names it).
    int error() const { return error_; }

private:
    std::string target_;
    std::string path_;  // of the temporary file; empty once it is gone
    std::FILE* stream_ = nullptr;
    int error_ = 0;
};

}  // namespace orvplatform
