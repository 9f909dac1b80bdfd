// The tool's exit codes, shared by every command.
#pragma once

namespace qlx5100status {

enum ExitCode : int {
    kOk = 0,
    kDifferent = 1,
    kUsage = 2,
    kInputError = 3,
    kAnalysisFailed = 4,
    kModuleError = 5,
    kOutputError = 6,  // a write to standard output, -o FILE or the log file failed
};

}  // namespace qlx5100status
