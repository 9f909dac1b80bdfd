// The analyzer and the common module, loaded by the first call that needs
// them and held until the library itself is unloaded, as the tool holds them
// for its run: the analyzer's own load of the common module on every call
// then finds it in the process.
#pragma once

#include "modules.h"

namespace qlx5100capi {

// The analyzer module the environment variable QLX5100_MODULE names, else
// the installed one (the modules' folder seen from this library's folder),
// else the one in the build tree the library was built in. Throws qlx5100status::ModuleError when
// neither loads; the next call tries again. Safe from any number of threads.
const qlx5100status::AnalyzerModules& heldModules();

}  // namespace qlx5100capi
