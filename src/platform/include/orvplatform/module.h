// What a module of this project (the analyzer, the common module), as
// opposed to a host, needs besides win32.h: ORV_MODULE_EXPORT for its
// exports, ORV_PLATFORM_DLLMAIN for its load-time hook, and TRUE, FALSE and
// APIENTRY for its DllMain. Not installed.
#pragma once

#include "orvplatform/win32.h"

#if !defined(_WIN32)
#include "orvplatform/posix/module_posix.h"
#endif
