#include "common/debug_trace.h"

#include "platform/platform.h"

namespace {

void WriteToDebugger(const char* line) noexcept {
    // A failing caller may still report the thread's last error.
    const DWORD lastError = GetLastError();
    // The lines are ASCII (names and numbers): widened unit by unit.
    WCHAR wide[kTraceLineCapacity];
    size_t length = 0;
    for (; length + 1 < kTraceLineCapacity && line[length] != 0; ++length) {
        wide[length] = static_cast<WCHAR>(static_cast<unsigned char>(line[length]));
    }
    wide[length] = 0;
    OutputDebugStringW(wide);
    SetLastError(lastError);
}

}  // namespace

void InitDebugTrace() noexcept {
    WCHAR value[8] = {};
    const DWORD length = GetEnvironmentVariableW(WIDE("QM22T_TRACE"), value, 8);
    // Unset, empty or "0" leaves it off; any other value (too long included) turns it on.
    debugTraceOn = length > 0 && !(length == 1 && value[0] == '0');
    SetTraceLineWriter(&WriteToDebugger);
}
