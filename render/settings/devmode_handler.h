// The device-settings handler: every OEMDM_* request the driver sends to the
// plug-in's DevMode method.
//
// It first brings the private part itself into shape (ProcessPrivatePart), then,
// for default, convert and merge requests, runs the sibling library's own
// DrvConvertDevMode over sibling-format copies of the request and carries the
// result back: paper numbers are translated between the sibling, the PostScript
// driver and the spooler's forms, a custom page size is pushed into the driver's
// public settings, and a default request sets the driver's "Duplex" and
// "PageSize" options from the sibling's defaults.
#pragma once

#include "common/module_context.h"
#include "platform/platform.h"

#include <cstddef>

// dwMode is an OEMDM_* mode. coreHelper is the driver's core helper the plug-in
// holds, or null (every step that would call it is then skipped). `modules`
// name the sibling library whose DrvConvertDevMode converts (without one the
// request ends after the private part processing) and the plug-in's own module,
// next to which the paper-list file lies. Returns
// ProcessPrivatePart's failure unchanged, the sibling's last error (as
// LastErrorResult takes it) when the sibling refuses the conversion (the
// request's DEVMODEs and private parts then stay as the private part processing
// left them), else S_OK. A failure keeps its cause and leaves the thread's last
// error alone; the COM method hands it to the driver through
// DriverConventionResult. A request that has an output private
// part in too small a buffer fails in the private part processing, before
// anything is written. Without an input private part the sibling converts the
// output private part as that processing left it. Never throws.
[[nodiscard]] HRESULT HandleDevMode(DWORD dwMode, POEMDMPARAM pOemDMParam, IPrintCoreHelperPS* coreHelper,
                                    const ModuleContext& modules) noexcept;

// The option text of the driver's "%CustomPageSize" feature for a custom paper of
// width x length tenths of a millimetre: both turned into points (x 72 / 254,
// truncated toward zero), the width clamped to 255..964 and the length to
// 420..1559, written as "%d %d 0 0 ShortEdge".
constexpr size_t kCustomPageSizeTextBytes = 256;
void FormatCustomPageSize(short width, short length, char (&text)[kCustomPageSizeTextBytes]);
