// The driver's requests on the plug-in's private part (OEMDM_*), answered over
// the core's private part (core/private_part.h).
#pragma once

#include "core/private_part.h"
#include "platform/platform.h"

// The OEMDM_* request on the private part itself: size, default, convert or
// merge. S_OK, or the failure with its cause (the thread's last error is left
// alone; DriverConventionResult makes it the driver's E_FAIL and last error):
// HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER) for a missing parameter block, an
// unknown mode or a default request without an output,
// HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER) (nothing written) when there is
// an output and cbBufSize is below kPrivatePartBytes. A convert or merge request without an output
// does nothing and answers S_OK. A convert request without an input writes the
// header and the defaults into its output; a merge request without an input
// writes the header of its output and validates it. Never throws.
[[nodiscard]] HRESULT ProcessPrivatePart(DWORD dwMode, POEMDMPARAM pOemDMParam) noexcept;
