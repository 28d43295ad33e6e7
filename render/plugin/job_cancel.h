// Cancelling a job that cannot be produced, and telling the user.
#pragma once

#include "common/module_context.h"
#include "platform/platform.h"

#include <cstddef>

// Error number shown to the user for a cancelled job.
constexpr DWORD kCancelledJobError = 161;

// NotifyActiveSession results besides the user's response or a send error.
constexpr DWORD kNoticeNotSent = 1;
constexpr DWORD kNoticeNoSibling = 2;

// Room for the folder the notice looks for the sibling in, terminator included.
constexpr size_t kNoticeDirectoryCapacity = 512;

// S_OK when the device object has both its private part and its per-device
// block. Otherwise cancels job dwJobId in the spooler, tells the first active
// session (error kCancelledJobError) through NotifyActiveSession with the
// plug-in's own module of `modules` and returns E_FAIL. A null device object
// gives E_FAIL without any call: there is no printer handle to cancel a job on.
[[nodiscard]] HRESULT CheckJobOrCancel(const ModuleContext& modules, PDEVOBJ pdevobj, DWORD dwJobId);

// Shows "Error" / "The job was canceled.\n\tErrorNo = 0x<errorNumber>" in the
// first active terminal-services session and waits until the user dismisses it.
// The message goes out only when the sibling library can be loaded from
// module's own folder; a folder whose path does not fit (a directory part
// without room in kNoticeDirectoryCapacity) counts as "not loadable", never a
// search by bare file name.
// Returns kNoticeNoSibling without a message when the sibling cannot be
// loaded, kNoticeNotSent when no message was sent, else the user's response
// or, when sending failed, the last error. Every session failure is silent.
DWORD NotifyActiveSession(HMODULE module, DWORD errorNumber);
