// The plug-in's side of the trace (core/core_trace.h): lines go to the
// debugger output through OutputDebugStringW (a debugger or a debug-output
// viewer shows them). Off unless the environment variable QM22T_TRACE of the
// process is set to something other than "0" when the module is loaded.
#pragma once

#include "core/core_trace.h"

// Reads the switch and installs the writer; the module entry calls it at process attach.
void InitDebugTrace() noexcept;
