// --describe: the field dictionary; needs no module.
#include "commands.h"
#include "exitcodes.h"
#include "output.h"
#include "render.h"

namespace qlx5100status {

int runDescribe(const Mode& mode) {
    Output output(mode.output);
    if (!output.opened()) {
        return kOutputError;
    }
    writeDescription(output.stream(), mode.format);
    return output.finish() ? kOk : kOutputError;
}

}  // namespace qlx5100status
