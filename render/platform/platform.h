// The one header the plug-in, the sibling stand-in and the tools include for
// everything Windows: #include "platform/platform.h" (include root render/).
//
// Windows builds (mingw-w64): the real SDK headers, then driver_decls.h, our own
// declarations of the printer-driver interfaces mingw-w64 lacks. winddi.h needs
// the stub ddrawint.h and d3dnthal.h in platform/win/stubs/, which the `platform`
// CMake target puts on the include path of Windows builds only.
//
// Host build: host/winsim.h, a simulated Windows implemented by the shared library
// `winsim` (control surface for tests and tools: platform/host/sim_control.h), then
// the same driver_decls.h.
//
// WIDE("text") is a 16-bit string literal of the target's WCHAR: L"text" on
// Windows (wchar_t), u"text" on the host (char16_t).
#pragma once

#if defined(_WIN32)

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif

#include <windows.h>
#include <objbase.h>
#include <unknwn.h>
#include <winspool.h>
#include <winddi.h>
#include <wtsapi32.h>
#include <commctrl.h>
#include <lmcons.h>

#define WIDE_IMPL_(s) L##s
#define WIDE(s) WIDE_IMPL_(s)

#else

#include "platform/host/winsim.h"

#define WIDE_IMPL_(s) u##s
#define WIDE(s) WIDE_IMPL_(s)

#endif

#include "platform/driver_decls.h"
