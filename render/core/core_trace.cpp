#include "core/core_trace.h"

#include <cstdarg>
#include <cstdio>

bool debugTraceOn = false;

namespace {

TraceLineWriter lineWriter = nullptr;

// The file's own name: the folders before it say where the build ran, not
// where the failure was.
const char* FileName(const char* path) {
    const char* name = path;
    for (const char* at = path; *at != 0; ++at) {
        if (*at == '/' || *at == '\\') name = at + 1;
    }
    return name;
}

}  // namespace

void SetTraceLineWriter(TraceLineWriter writer) noexcept { lineWriter = writer; }

void WriteTraceLine(const char* format, ...) noexcept {
    if (lineWriter == nullptr) return;
    char line[kTraceLineCapacity];
    const int prefix = std::snprintf(line, sizeof line, "QM22TRD: ");
    va_list args;
    va_start(args, format);
    const int body = std::vsnprintf(line + prefix, sizeof line - static_cast<size_t>(prefix) - 2, format, args);
    va_end(args);
    if (prefix < 0 || body < 0) return;
    size_t length = static_cast<size_t>(prefix) + static_cast<size_t>(body);
    if (length > sizeof line - 3) length = sizeof line - 3;
    line[length++] = '\n';
    line[length] = 0;
    lineWriter(line);
}

void TraceFailure(const char* file, int line, const char* expression, int32_t code) noexcept {
    WriteTraceLine("failure 0x%08lX at %s:%d: %s", static_cast<unsigned long>(static_cast<uint32_t>(code)),
                   FileName(file != nullptr ? file : ""), line, expression != nullptr ? expression : "");
}
