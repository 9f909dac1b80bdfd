// --describe: the field dictionary; needs no module.
#include <iostream>

#include "commands.h"
#include "exitcodes.h"
#include "render.h"

namespace qlx5100status {

int runDescribe(const Options& options) {
    if (options.format == "json") {
        std::cout << dumpJson(describeJson()) << '\n';
    } else {
        writeDescription(std::cout);
    }
    return kOk;
}

}  // namespace qlx5100status
