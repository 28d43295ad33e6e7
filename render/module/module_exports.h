// The module's entry points. On Windows the .def file names the exports; on
// the host the simulated loader finds them by name, so they carry C linkage and
// default visibility (DllGetClassObject and DllCanUnloadNow are declared so by
// the platform headers already).
#pragma once

#include "platform/platform.h"

#if defined(_WIN32)
#define MODULE_EXPORT
#else
#define MODULE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" MODULE_EXPORT BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID lpvReserved);
