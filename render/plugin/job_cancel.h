// The plug-in's direct dealings with the spooler and the interactive user:
// cancelling a job that cannot be produced, telling the user, and the
// pass-through write of output bytes.
#pragma once

#include "platform/platform.h"

// Error number shown to the user for a cancelled job.
constexpr DWORD kCancelledJobError = 161;

// NotifyActiveSession results besides the user's response or a send error.
constexpr DWORD kNoticeNotSent = 1;
constexpr DWORD kNoticeNoSibling = 2;

// S_OK when the device object has both its private part and its per-device
// block. Otherwise cancels job dwJobId in the spooler, tells the first active
// session (error 161) and returns E_FAIL. A null device object gives E_FAIL
// without any call: there is no printer handle to cancel a job on.
HRESULT CheckJobOrCancel(PDEVOBJ pdevobj, DWORD dwJobId);

// Shows "Error" / "The job was canceled.\n\tErrorNo = 0x<errorNumber>" in the
// first active terminal-services session and waits until the user dismisses it.
// The message goes out only when the sibling library can be loaded from
// module's own folder; a folder whose path does not fit (directory part over
// 511 characters) counts as "not loadable", never a search by bare file name.
// Returns kNoticeNoSibling (2) without a message when the sibling cannot be
// loaded, kNoticeNotSent (1) when no message was sent, else the user's response
// or, when sending failed, the last error. Every session failure is silent.
DWORD NotifyActiveSession(HMODULE module, DWORD errorNumber);

// Pass-through write of bytes to the spooler on the device object's printer
// handle.
//   - null device object: S_OK, nothing written, *pcbWritten untouched (this
//     also answers the driver's probe WritePrinter(NULL, NULL, 0)).
//   - no per-device block or no private part: E_NOTIMPL, nothing written.
//   - the spooler fails: E_FAIL, *pcbWritten untouched, the thread's last error
//     is the spooler's reason.
//   - the spooler succeeds: *pcbWritten = the count it took (maybe less than
//     cbBuf, never more: a larger report is cut to cbBuf so a caller's
//     remaining count cannot wrap) and S_OK, with one exception:
//   - the spooler succeeds but takes 0 of cbBuf > 0 bytes: *pcbWritten = 0,
//     E_FAIL and last error ERROR_WRITE_FAULT. A caller that loops until all
//     bytes are gone therefore always sees progress or a failure and never
//     spins on a spooler that accepts nothing.
// pcbWritten may be null; the count is then not reported.
HRESULT WriteToSpooler(PDEVOBJ pdevobj, PVOID pBuf, DWORD cbBuf, PDWORD pcbWritten);
