// Logs from outside the test binary, through the same header and the shared
// Boost.Log library, as the analyzer and the common module do.
#include "logmodule_export.h"
#include "unitcom/boostloginclude.h"

extern "C" {

LOGMODULE_EXPORT bool logFromModule(bool succeed) {
    bool result = false;
    RYNLOG_ENTRY();
    if (succeed) {
        result = true;
    } else {
        RYNLOG_ERROR(std::string("module step failed"));
    }
    BOOST_SCOPE_EXIT_ALL(&) {
        RYNLOG_EXIT(result);
    };
    return result;
}

LOGMODULE_EXPORT const void* moduleLogger() {
    return &RynCmnLog::glob_logger::get();
}

}  // extern "C"
