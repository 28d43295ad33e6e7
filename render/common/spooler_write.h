// Bytes to the spooler: every byte the plug-in prints leaves through here.
#pragma once

#include "platform/platform.h"

// One WritePrinter call on printer. S_OK and *taken (at most count) when the
// spooler took something. E_FAIL when it failed (last error: its reason) and
// also when it took nothing of count > 0 bytes (last error ERROR_WRITE_FAULT),
// so a caller that loops until all is taken never spins; *taken is then 0. When
// the spooler call itself fails, *taken is left as it was. A count of 0 is
// S_OK with *taken 0.
[[nodiscard]] HRESULT WriteSpoolerOnce(HANDLE printer, const void* bytes, DWORD count, DWORD* taken);

// Sends count bytes in calls of at most `chunk` bytes, each call starting where
// the spooler's takings end, until all is taken or a call fails. *sent (may be
// null) is how many bytes were taken in all; on failure the first failure.
[[nodiscard]] HRESULT WriteSpoolerAll(HANDLE printer, const void* bytes, size_t count, size_t chunk, size_t* sent);
