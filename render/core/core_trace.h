// The trace an engineer can switch on, shared by the core and the plug-in: one
// line per traced step and per failure, each "QM22TRD: " + text + line end.
// The core decides what a line says; where it goes is the host's business. The
// Windows plug-in installs a writer to the debugger output at process attach,
// another program one of its own; without a writer lines go nowhere. Off, a
// trace point costs one branch.
#pragma once

#include <cstddef>
#include <cstdint>

// Room for one line, terminator included.
constexpr size_t kTraceLineCapacity = 512;

// Receives one whole line (ending in '\n', zero-terminated). It must keep
// whatever per-thread error state its host has, as a failing caller may still
// report it.
using TraceLineWriter = void (*)(const char* line) noexcept;

// The switch. Like the writer it is set once, before any job starts.
extern bool debugTraceOn;

void SetTraceLineWriter(TraceLineWriter writer) noexcept;

// Formats one line (the printf-style text after the prefix, cut to fit
// kTraceLineCapacity) and hands it to the writer. Call through RENDER_TRACE.
void WriteTraceLine(const char* format, ...) noexcept
#if defined(__GNUC__) && !defined(__clang__)
    __attribute__((format(gnu_printf, 1, 2)))
#elif defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Writes "failure 0x<code> at <file>:<line>: <expression>" (the code as eight
// upper-case hex digits, the file without its folders). Call through the
// failure shorthands, which call it only when the trace is on.
void TraceFailure(const char* file, int line, const char* expression, int32_t code) noexcept;

#define RENDER_TRACE(...)                              \
    do {                                               \
        if (debugTraceOn) WriteTraceLine(__VA_ARGS__); \
    } while (0)
