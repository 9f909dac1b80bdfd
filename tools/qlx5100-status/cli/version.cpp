// --version: the tool's version and the modules the loader really mapped.
#include "commands.h"
#include "escape.h"
#include "exitcodes.h"
#include "output.h"

namespace qlx5100status {

int runVersion(const Mode& mode, const AnalyzerModules& modules) {
    Output output(mode.output);
    if (!output.opened()) {
        return kOutputError;
    }
    output.stream() << "qlx5100-status " << QLX5100_STATUS_VERSION << '\n'
                    << "analyzer module: " << shown(modules.analyzerPath()) << '\n'
                    << "common module:   " << shown(modules.commonPath()) << '\n';
    return output.finish() ? kOk : kOutputError;
}

}  // namespace qlx5100status
