#include "output.h"

#include <cerrno>
#include <cstring>
#include <iostream>

#include "escape.h"
#include "messages.h"

namespace qlx5100status {

Output::Output(const std::string& path) : path_(path) {
    if (path_ != "-") {
        errno = 0;
        file_.open(path_, std::ios::binary | std::ios::trunc);
        openErrno_ = file_ ? 0 : errno;
    }
}

bool Output::opened() {
    if (path_ == "-" || file_.is_open()) {
        return true;
    }
    fail(shown(path_) + ": cannot write: " +
         (openErrno_ != 0 ? std::strerror(openErrno_) : "cannot open the file"));
    return false;
}

bool Output::finish() {
    errno = 0;
    std::ostream& out = stream();
    out.flush();
    if (path_ != "-" && out) {
        file_.close();
    }
    if (!out || (path_ != "-" && file_.fail())) {
        const int e = errno;
        fail((path_ == "-" ? std::string("standard output") : shown(path_)) +
             ": write error: " + (e != 0 ? std::strerror(e) : "the output could not be written"));
        return false;
    }
    return true;
}

}  // namespace qlx5100status
