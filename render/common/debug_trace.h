// A trace a driver engineer can switch on: one line per driver call into the
// plug-in and per job step, through OutputDebugStringW (a debugger or a
// debug-output viewer shows it). Off unless the environment variable
// QM22T_TRACE of the process is set to something other than "0" when the
// module is loaded. Off, a trace point costs one branch.
#pragma once

#include <cstddef>

// Room for one line, terminator included.
constexpr size_t kTraceLineCapacity = 512;

// Reads the switch; the module entry calls it at process attach.
void InitDebugTrace() noexcept;

// Formats one line ("QM22TRD: " + the printf-style text + line end), cut to
// fit kTraceLineCapacity, and writes it. Call through RENDER_TRACE.
void WriteTraceLine(const char* format, ...) noexcept
#if defined(__GNUC__)
    __attribute__((format(gnu_printf, 1, 2)))
#endif
    ;

extern bool debugTraceOn;

#define RENDER_TRACE(...)                              \
    do {                                               \
        if (debugTraceOn) WriteTraceLine(__VA_ARGS__); \
    } while (0)
