#include "settings/private_part.h"

#include "common/result_macros.h"

HRESULT ProcessPrivatePart(DWORD dwMode, POEMDMPARAM pOemDMParam) noexcept {
    RETURN_HR_IF(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), pOemDMParam == nullptr);
    switch (dwMode) {
        case OEMDM_SIZE: pOemDMParam->cbBufSize = kPrivatePartBytes; return S_OK;
        case OEMDM_DEFAULT:
            // Defaults cannot be handed back without somewhere to put them; the
            // caller then skips everything that would read them.
            RETURN_HR_IF(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), pOemDMParam->pOEMDMOut == nullptr);
            RETURN_HR_IF(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), pOemDMParam->cbBufSize < kPrivatePartBytes);
            WriteDefaultPrivatePart(pOemDMParam->pOEMDMOut, pOemDMParam->cbBufSize);
            return S_OK;
        case OEMDM_CONVERT:
        case OEMDM_MERGE: {
            // Without an output there is nothing to write and no error. With one
            // the output is always written (and later the sibling's conversion
            // lands in it), so too small a buffer is an error whatever the input.
            void* const out = pOemDMParam->pOEMDMOut;
            const void* const in = pOemDMParam->pOEMDMIn;
            if (out == nullptr) return S_OK;
            RETURN_HR_IF(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), pOemDMParam->cbBufSize < kPrivatePartBytes);
            // Nothing to convert from: the defaults, as for an input of another
            // plug-in, never whatever the buffer held before. A merge without an
            // input still brings the output it was given into shape.
            if (in == nullptr && dwMode == OEMDM_CONVERT) WriteDefaultPrivatePart(out, pOemDMParam->cbBufSize);
            const Status merged = MergePrivatePart(in, out, pOemDMParam->cbBufSize);
            RETURN_HR_IF(static_cast<HRESULT>(merged.Code()), merged.Failed());
            return S_OK;
        }
        default: break;
    }
    RETURN_HR(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER));  // a mode the driver does not send
}
