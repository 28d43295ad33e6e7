#include "common/debug_trace.h"

#include "platform/platform.h"

#include <cstdarg>
#include <cstdio>

bool debugTraceOn = false;

void InitDebugTrace() noexcept {
    WCHAR value[8] = {};
    const DWORD length = GetEnvironmentVariableW(WIDE("QM22T_TRACE"), value, 8);
    // Unset, empty or "0" leaves it off; any other value (too long included) turns it on.
    debugTraceOn = length > 0 && !(length == 1 && value[0] == '0');
}

void WriteTraceLine(const char* format, ...) noexcept {
    char narrow[kTraceLineCapacity];
    const int prefix = std::snprintf(narrow, sizeof narrow, "QM22TRD: ");
    va_list args;
    va_start(args, format);
    const int body = std::vsnprintf(narrow + prefix, sizeof narrow - static_cast<size_t>(prefix) - 2, format, args);
    va_end(args);
    if (prefix < 0 || body < 0) return;
    size_t length = static_cast<size_t>(prefix) + static_cast<size_t>(body);
    if (length > sizeof narrow - 3) length = sizeof narrow - 3;
    narrow[length++] = '\n';
    narrow[length] = 0;
    // The lines are ASCII (names and numbers): widened unit by unit.
    WCHAR wide[kTraceLineCapacity];
    for (size_t i = 0; i <= length; ++i) wide[i] = static_cast<WCHAR>(static_cast<unsigned char>(narrow[i]));
    OutputDebugStringW(wide);
}
