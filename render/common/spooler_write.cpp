#include "common/spooler_write.h"

#include "common/debug_trace.h"

#include <limits>

HRESULT WriteSpoolerOnce(HANDLE printer, const void* bytes, DWORD count, DWORD* taken) {
    DWORD written = 0;
    if (!WritePrinter(printer, const_cast<void*>(bytes), count, &written)) {
        const DWORD error = GetLastError();
        RENDER_TRACE("spooler write of %lu bytes failed, error %lu", static_cast<unsigned long>(count),
                     static_cast<unsigned long>(error));
        SetLastError(error);
        return E_FAIL;
    }
    if (written > count) written = count;  // never more than was offered
    *taken = written;
    if (written == 0 && count > 0) {
        RENDER_TRACE("spooler took nothing of %lu bytes", static_cast<unsigned long>(count));
        SetLastError(ERROR_WRITE_FAULT);
        return E_FAIL;
    }
    return S_OK;
}

HRESULT WriteSpoolerAll(HANDLE printer, const void* bytes, size_t count, size_t chunk, size_t* sent) {
    const BYTE* const start = static_cast<const BYTE*>(bytes);
    size_t done = 0;
    HRESULT hr = S_OK;
    constexpr size_t kMostPerCall = std::numeric_limits<DWORD>::max();
    if (chunk == 0 || chunk > kMostPerCall) chunk = kMostPerCall;
    while (done < count) {
        const size_t rest = count - done;
        DWORD taken = 0;
        hr = WriteSpoolerOnce(printer, start + done, static_cast<DWORD>(rest < chunk ? rest : chunk), &taken);
        if (FAILED(hr)) break;
        done += taken;
    }
    if (sent != nullptr) *sent = done;
    return hr;
}
