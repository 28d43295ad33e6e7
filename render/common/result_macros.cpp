#include "common/result_macros.h"

#include "core/core_types.h"

#include <new>

HRESULT CaughtExceptionResult() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HRESULT LastErrorResult() noexcept {
    const DWORD error = GetLastError();
    return error != 0 && error <= 0xFFFF ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

HRESULT DriverConventionResult(HRESULT result) noexcept {
    if (SUCCEEDED(result)) return result;
    const uint32_t error = Status(static_cast<int32_t>(result)).Win32Error();
    if (error != 0) SetLastError(error);
    return E_FAIL;
}
