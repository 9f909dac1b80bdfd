// The process-wide logger's home: a small shared library that the analyzer
// depends on and that stays loaded for the rest of the process once loaded.
//
// Boost.Log's global storage keeps the logger's holder, and the logger's
// attributes, for the whole process, and all of them run code of the module
// that created them. Creating them here, not in the analyzer, lets the
// analyzer itself unload (and give back its signal handlers) after it wrote
// the first record of the process.
#include "unitcom/boostloginclude.h"

namespace RynCmnLog {

severity_logger& processLogger() {
    static severity_logger& instance = []() -> severity_logger& {
        // Pinned before the logger can be created here, so that what the
        // global storage then holds never points into unmapped code.
        ::orvplatform::keepModuleLoaded(reinterpret_cast<const void*>(&processLogger));
        return glob_logger::get();
    }();
    return instance;
}

}  // namespace RynCmnLog
