// A module that carries its own copy of the platform layer and installs the
// fault translator from its load hook, as the analyzer does.
#include "orvplatform/win32.h"
#include "unitcmnexceptions/unitcmnexceptions.h"

namespace {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        _set_se_translator(&translateStructuredException);
    }
    return TRUE;
}

}  // namespace

ORV_PLATFORM_DLLMAIN(DllMain)
