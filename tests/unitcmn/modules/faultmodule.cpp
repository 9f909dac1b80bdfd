// Foreign code that faults on request, built without -fnon-call-exceptions
// and without anything of ours, like a common module whose build we do not
// choose. The faults happen here, out of sight of the test's compiler.
#include "faultmodule_export.h"

extern "C" {

FAULTMODULE_EXPORT int readAt(const volatile int* p) {
    return *p;
}

FAULTMODULE_EXPORT void writeAt(volatile int* p, int value) {
    *p = value;
}

FAULTMODULE_EXPORT int divideBy(int a, int b) {
    return a / b;
}

FAULTMODULE_EXPORT void illegalInstruction() {
    __builtin_trap();
}

// For the look-up tests: data is an export like a function, and a function
// the module keeps to itself is none.
FAULTMODULE_EXPORT extern const int exportedAnswer;
const int exportedAnswer = 42;

FAULTMODULE_NO_EXPORT int hiddenHelper() {
    return exportedAnswer;
}

}  // extern "C"
