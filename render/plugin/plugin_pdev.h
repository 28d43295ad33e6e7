// Per-device-context state of the plug-in: created by EnablePDEV, kept by the
// driver in DEVOBJ::pdevOEM, handed on by ResetPDEV and freed by DisablePDEV.
#pragma once

#include "common/companion_path.h"
#include "platform/platform.h"
#include "plugin/line_buffer.h"

#include <cstddef>
#include <cstdint>

// The driver's own DDI functions that the hooks chain to.
using DriverSendPageFunction = BOOL(APIENTRY*)(SURFOBJ* pso);
using DriverStartDocFunction = BOOL(APIENTRY*)(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId);
using DriverEndDocFunction = BOOL(APIENTRY*)(SURFOBJ* pso, FLONG fl);

// Room for a document name, terminator included.
constexpr size_t kDocumentNameCapacity = kPathCapacity;

// What the stream filter keeps of a page's comments: only what choosing the
// page's orientation needs, so a page whose comments never end costs no memory.
struct PageCommentScan {
    bool lineEnd = false;    // a whole comment line was collected
    bool portrait = false;   // "%%ViewingOrientation: 1 0 0 1\r\n" was among them
    bool landscape = false;  // "%%ViewingOrientation: 0 1 -1 0\r\n" was among them
};

struct PluginPdev {
    DriverSendPageFunction driverSendPage = nullptr;
    DriverStartDocFunction driverStartDoc = nullptr;
    DriverEndDocFunction driverEndDoc = nullptr;
    int32_t pageCount = 0;
    // Empty until the first StartDoc, so a Command that comes without one
    // hands the header builder an empty name rather than garbage.
    WCHAR documentName[kDocumentNameCapacity] = {};
    int32_t sectionState = 0;
    // Not inside page comments: the filter reads this before it first sets it.
    int32_t pageCommentState = 0;
    // -1 until a job's PostScript starts: "no orientation known", which makes
    // the feature emitter fall back to the settings block's orientation field.
    int32_t defaultOrientation = -1;
    LineBuffer pendingBuffer;
    // The first bytes of pendingBuffer that were already examined and are owed
    // to the spooler unchanged (it failed part-way through them); they go out
    // before anything else of pendingBuffer is looked at.
    int32_t passThroughOwed = 0;
    LineBuffer setupBuffer;
    PageCommentScan pageComments;
    // Rewritten setup text that the spooler has not taken yet. It was already
    // cut out of the stream, so it goes out ahead of everything still pending.
    LineBuffer unsentBuffer;
};

// Moves the whole state of `from` into `to`: the driver's functions, counters,
// name, filter states and the filter's buffers with their blocks. `from` keeps the
// plain fields but no buffer contents, so freeing it later leaves `to` intact.
void TakeOverPdevState(PluginPdev& to, PluginPdev& from) noexcept;

// The block a device object leads to, or null.
PluginPdev* PdevOf(const DEVOBJ* pdevobj);
