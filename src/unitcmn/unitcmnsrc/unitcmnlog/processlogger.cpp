// The process-wide logger's home: a small shared library that the analyzer
// depends on and that stays loaded for the rest of the process once loaded.
//
// Boost.Log's global storage keeps the logger's holder, and the logger's
// attributes, for the whole process, and all of them run code of the module
// that created them. Creating them here, not in the analyzer, lets the
// analyzer itself unload (and give back its signal handlers) after it wrote
// the first record of the process.
#include "unitcom/boostloginclude.h"

namespace {

// Pinned while it is being loaded, by the thread that already holds the
// loader's lock for that: no record ever waits on the loader, and no loader
// call is ever made while Boost.Log holds a lock of its own.
const struct PinnedAtLoad {
    PinnedAtLoad() noexcept {
        ::orvplatform::keepModuleLoaded(reinterpret_cast<const void*>(&RynCmnLog::processLogger));
    }
} g_pinned;

}  // namespace

namespace RynCmnLog {

severity_logger& processLogger() {
    // Boost.Log's fast path reads its once-block flag without an atomic; the
    // static's own initialisation orders the first call before every other.
    static severity_logger& instance = glob_logger::get();
    return instance;
}

}  // namespace RynCmnLog
