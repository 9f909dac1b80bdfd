// The fault module's POSIX part: a signal sent, not raised by the hardware,
// from foreign code inside a guard.
#include <signal.h>

#include "faultmodule_export.h"

extern "C" {

FAULTMODULE_EXPORT void raiseSignal(int sig) {
    raise(sig);
}

}  // extern "C"
