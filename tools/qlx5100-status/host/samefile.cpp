#include "samefile.h"

#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>
#include <optional>

#include "escape.h"
#include "input.h"

namespace qlx5100status {

namespace {

#ifndef _WIN32
std::optional<std::pair<dev_t, ino_t>> regularFile(const std::string& path) {
    struct stat st {};
    const int got = path == "-" ? ::fstat(STDIN_FILENO, &st) : ::stat(path.c_str(), &st);
    if (got != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return std::make_pair(st.st_dev, st.st_ino);
}
#endif

}  // namespace

bool sameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) {
        return false;
    }
#ifdef _WIN32
    // No inode in stat() there; the file system's own identity instead.
    std::error_code ec;
    return a != "-" && b != "-" && std::filesystem::is_regular_file(a, ec) &&
           std::filesystem::equivalent(a, b, ec);
#else
    const auto first = regularFile(a);
    return first && first == regularFile(b);
#endif
}

std::string outputOverInput(const std::vector<std::pair<std::string, std::string>>& outputs,
                            const std::vector<std::string>& inputs) {
    for (const auto& [option, path] : outputs) {
        if (path == "-") {
            continue;
        }
        for (const std::string& input : inputs) {
            if (sameFile(path, input)) {
                return option + " " + shown(path) + " and the input " + displayName(input) +
                       " are the same file; writing it would lose the input (write elsewhere)";
            }
        }
    }
    return "";
}

}  // namespace qlx5100status
