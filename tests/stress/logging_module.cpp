// A module of the host's whose constructor writes a record through the
// process-wide logger, as any plugin that logs while it is set up. Its
// constructor runs inside dlopen, with the loader's lock held; it tells the
// racing program so (orvRaceInConstructor, exported by that program), then
// holds the lock a little longer before it logs, so that a thread that calls
// the loader while it holds a lock of Boost.Log's is caught in the act.
#include <chrono>
#include <thread>

#include "unitcom/boostloginclude.h"

extern "C" __attribute__((weak)) void orvRaceInConstructor();

namespace {

const struct LogsWhenLoaded {
    LogsWhenLoaded() {
        if (orvRaceInConstructor != nullptr) {
            orvRaceInConstructor();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        BOOST_LOG_SEV(RynCmnLog::glob_logger::get(), RynCmnLog::info) << "module loaded";
    }
} g_logsWhenLoaded;

}  // namespace
