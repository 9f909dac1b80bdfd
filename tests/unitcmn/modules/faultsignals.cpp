// The fault module's POSIX part: signals sent, not raised by the hardware,
// from foreign code inside a guard.
#include <signal.h>
#include <unistd.h>

#include "faultmodule_export.h"

extern "C" {

FAULTMODULE_EXPORT void raiseSignal(int sig) {
    raise(sig);
}

FAULTMODULE_EXPORT void killSelf(int sig) {
    kill(getpid(), sig);
}

}  // extern "C"
