// Per-device-context state of the plug-in: created by EnablePDEV, kept by the
// driver in DEVOBJ::pdevOEM, handed on by ResetPDEV and freed by DisablePDEV.
#pragma once

#include "common/companion_path.h"
#include "common/module_context.h"
#include "platform/platform.h"
#include "psfilter/stream_filter.h"
#include "core/settings_access.h"

#include <cstddef>
#include <cstdint>

// The driver's own DDI functions that the hooks chain to.
using DriverSendPageFunction = BOOL(APIENTRY*)(SURFOBJ* pso);
using DriverStartDocFunction = BOOL(APIENTRY*)(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId);
using DriverEndDocFunction = BOOL(APIENTRY*)(SURFOBJ* pso, FLONG fl);

// Room for a document name, terminator included.
constexpr size_t kDocumentNameCapacity = kPathCapacity;

struct PluginPdev {
    // The modules of the plug-in object that enabled the device object.
    ModuleContext modules;
    DriverSendPageFunction driverSendPage = nullptr;
    DriverStartDocFunction driverStartDoc = nullptr;
    DriverEndDocFunction driverEndDoc = nullptr;
    int32_t pageCount = 0;
    // Empty until the first StartDoc, so a Command that comes without one
    // hands the header builder an empty name rather than garbage.
    WCHAR documentName[kDocumentNameCapacity] = {};
    // The stream filter's state for this device object.
    StreamFilterState filter;
    // Set when the job header did not reach the spooler whole: the stream
    // behind it would print with the wrong settings or as PJL garbage, so the
    // driver's writes are refused and the document ends in failure, with the
    // error the header met as the last error.
    bool headerBroken = false;
    DWORD headerError = 0;
};

// Moves the whole state of `from` into `to`: the driver's functions, counters,
// name, the header's outcome and the filter's state with its buffers. `from` keeps no buffer
// contents, so freeing it later leaves `to` intact.
void TakeOverPdevState(PluginPdev& to, PluginPdev& from) noexcept;

// The block a device object leads to, or null.
PluginPdev* PdevOf(const DEVOBJ* pdevobj);

// The plug-in's pass-through write on the device object's printer handle.
//   - null device object: S_OK, nothing written, *pcbWritten untouched (this
//     also answers the driver's probe WritePrinter(NULL, NULL, 0)).
//   - no per-device block or no private part: E_NOTIMPL, nothing written.
//   - otherwise WriteSpoolerOnce: *pcbWritten (may be null) is what the
//     spooler took when it succeeded, and 0 when it took nothing of cbBuf > 0.
[[nodiscard]] HRESULT WriteToSpooler(PDEVOBJ pdevobj, PVOID pBuf, DWORD cbBuf, PDWORD pcbWritten);

// The settings block of a device object's private part; data is null when the
// device object or its part is missing. The driver sized the part by the
// plug-in's own size answer, so the whole block is there.
SettingsSpan SettingsOf(const DEVOBJ* pdevobj);
