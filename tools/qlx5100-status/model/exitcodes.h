// The tool's exit codes, shared by every command: one table, expanded into
// the enumeration here and into --help, the man page and the docs check.
#pragma once

#include <cstddef>

namespace qlx5100status {

// X(enumerator, code, name, help line)
#define QLX5100_STATUS_EXIT_CODES(X)                                                         \
    X(kOk, 0, "ok", "success (diff: the blocks decode to the same values)")                  \
    X(kDifferent, 1, "different", "diff: the blocks differ")                                 \
    X(kUsage, 2, "usage",                                                                    \
      "usage error: an unknown option, command or choice, or a combination the tool "        \
      "refuses")                                                                             \
    X(kInputError, 3, "input",                                                               \
      "input error: unreadable file or log file, bad hex dump or JSON, block under 1024 "    \
      "bytes, input over 64 MiB; with --strict, a block with expert warnings")               \
    X(kAnalysisFailed, 4, "analysis", "the analyzer's analysis or XML conversion failed")    \
    X(kModuleError, 5, "module", "a module could not be loaded")                             \
    X(kOutputError, 6, "output",                                                             \
      "output error: standard output, -o FILE or the log file could not be written (a full " \
      "disk, a file that cannot be created)")

enum ExitCode : int {
#define QLX5100_STATUS_ENUM(id, code, name, help) id = code,
    QLX5100_STATUS_EXIT_CODES(QLX5100_STATUS_ENUM)
#undef QLX5100_STATUS_ENUM
};

struct ExitCodeInfo {
    int code;
    const char* name;
    const char* help;
};

inline constexpr ExitCodeInfo kExitCodes[] = {
#define QLX5100_STATUS_ROW(id, code, name, help) {code, name, help},
    QLX5100_STATUS_EXIT_CODES(QLX5100_STATUS_ROW)
#undef QLX5100_STATUS_ROW
};

}  // namespace qlx5100status
