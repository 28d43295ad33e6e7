#include "common/result_macros.h"

#include <cstdint>
#include <new>

namespace {

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

void TraceFailure(const char* file, int line, const char* expression, HRESULT hr) noexcept {
    const DWORD lastError = GetLastError();
    WriteTraceLine("failure 0x%08lX at %s:%d: %s", static_cast<unsigned long>(static_cast<uint32_t>(hr)),
                   FileName(file != nullptr ? file : ""), line, expression != nullptr ? expression : "");
    SetLastError(lastError);
}

HRESULT CaughtExceptionResult() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}
