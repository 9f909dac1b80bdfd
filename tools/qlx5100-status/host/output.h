// Where the tool's output goes (standard output, -o FILE, the log file) and
// how a lost write is noticed: a full disk or a closed descriptor is an
// output error, never a success with the data gone.
#pragma once

#include <cstdio>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

#include "orvplatform/hostfiles.h"

namespace qlx5100status {

// A stream buffer over a C stream that keeps the reason (errno) of its first
// failed write. A std::ostream forgets why it went bad, and once bad it does
// not even try to flush, so the reason would be lost by the time the tool
// asks.
class StdioBuf : public std::streambuf {
public:
    explicit StdioBuf(std::FILE* file) : file_(file) {}

    bool failed() const { return failed_; }
    int error() const { return error_; }  // errno of the first failure; may be 0

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    void record();

    std::FILE* file_;
    bool failed_ = false;
    int error_ = 0;
};

// A file opened for writing, as a std::ostream whose failures keep their
// reason.
class FileStream : public std::ostream {
public:
    // mode as for fopen ("wb", "a").
    FileStream(const std::string& path, const char* mode);
    // A stream opened already (a temporary file), which it owns; null is a
    // failure to open for the reason given.
    FileStream(std::FILE* file, int error);
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    bool isOpen() const { return file_ != nullptr; }

    // Flushes and closes; true when every write got through. The file stays
    // closed.
    bool close();

    // The reason of the failure to open, to write or to close.
    int error() const { return error_ != 0 ? error_ : buffer_.error(); }

private:
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_;
    StdioBuf buffer_;
    int error_ = 0;
};

// "the system's reason" for a message; a fixed text when errno said nothing.
std::string reason(int error);

// Makes std::cout write through a StdioBuf over stdout, so that
// finishStandardOutput() can tell whether everything got through. Call once,
// before anything is written.
void checkStandardOutput();

// Flushes standard output; false, with a message, when a write to it failed.
bool finishStandardOutput();

// Where a command's output goes: standard output, or the file -o names.
//
// A file is written whole or not at all: into a temporary file beside it,
// renamed over it by finish() once every write got through, so that a reader
// (node_exporter's textfile collector, a script) never sees half of it and a
// run that fails leaves the old file as it was. A file it replaces keeps its
// permission bits (on Windows its attributes and access control list); a new
// one gets what fopen would give it (0666 less the umask). A path
// that is no regular file (/dev/null, a FIFO, NUL) cannot be renamed over and is
// written in place, and so is a stream's line-at-a-time output, which a
// reader follows as it grows.
class Output {
public:
    enum class Writing { WholeRun, AsItGoes };

    // "-" is standard output. A failure is said when opened() is asked.
    explicit Output(const std::string& path, Writing how = Writing::WholeRun);
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    // Without finish(), the temporary file goes and FILE stays as it was.
    ~Output();

    std::ostream& stream();

    // Whether the file could be opened; says why not on standard error.
    bool opened();

    // Closes the file and puts it in place; false, with the reason said,
    // when any write to it failed. Standard output is checked once, at the
    // end of the program (finishStandardOutput).
    bool finish();

private:
    std::string path_;  // as given, for messages
    // Declared before file_, so that the file is closed before the temporary
    // file goes.
    std::unique_ptr<orvplatform::ReplacementFile> replacement_;
    std::unique_ptr<FileStream> file_;
};

}  // namespace qlx5100status
