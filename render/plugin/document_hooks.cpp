#include "plugin/document_hooks.h"

#include "common/debug_trace.h"
#include "common/wtext.h"
#include "plugin/job_cancel.h"
#include "psfilter/stream_filter.h"
#include "settings/settings_access.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

thread_local int32_t documentDepth = -1;
thread_local WCHAR savedDocumentName[kDocumentNameCapacity] = {};

namespace {

PDEVOBJ DeviceOf(SURFOBJ* pso) {
    if (pso == nullptr) return nullptr;
    return reinterpret_cast<PDEVOBJ>(pso->dhpdev);
}

// Ends the document's stream. Complete lines still held (the spooler failed
// while the driver's last writes were examined) are first examined as a write
// would, so a setup section among them is still rewritten; only what is left
// then, a last line without its line end, goes out unchanged. Should the
// spooler fail again, nothing more is sent: what it holds stays the stream's
// beginning rather than one with the sections behind the gap left unrewritten.
HRESULT EndStream(PDEVOBJ pdevobj, PluginPdev& block) {
    const SettingsView settings = AsView(SettingsOf(pdevobj));
    HRESULT hr = S_OK;
    if (HasSettingsIdentification(settings)) {
        const FilterJob job{pdevobj->hPrinter, static_cast<HMODULE>(pdevobj->hOEM), settings, block.documentName};
        hr = StreamFilterWrite(block.filter, job, nullptr, 0, nullptr);
    }
    if (SUCCEEDED(hr)) return StreamFilterFlush(block.filter, pdevobj->hPrinter);
    const DWORD error = GetLastError();
    const int32_t orientation = block.filter.defaultOrientation;
    block.filter = StreamFilterState{};
    block.filter.defaultOrientation = orientation;
    SetLastError(error);
    return hr;
}

}  // namespace

BOOL APIENTRY StartDocHook(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId) {
    PDEVOBJ pdevobj = DeviceOf(pso);
    PluginPdev* block = PdevOf(pdevobj);
    if (block == nullptr) return FALSE;

    bool copied;
    if (documentDepth < 0) {
        ++documentDepth;
        // A document without a name is recorded with the empty name rather than
        // failed: the job itself is sound, and the driver still gets the null.
        const WCHAR* name = pwszDocName != nullptr ? pwszDocName : WIDE("");
        if (!WTextCopy(block->documentName, kDocumentNameCapacity, name)) return FALSE;
        copied = WTextCopy(savedDocumentName, kDocumentNameCapacity, name);
    } else {
        // A further StartDoc of the open document (a new device context after a
        // settings change) keeps the name the document started with.
        copied = WTextCopy(block->documentName, kDocumentNameCapacity, savedDocumentName);
    }
    if (!copied) return FALSE;

    RENDER_TRACE("StartDoc, job %lu", static_cast<unsigned long>(dwJobId));
    if (FAILED(CheckJobOrCancel(pdevobj, dwJobId))) return FALSE;
    if (block->driverStartDoc == nullptr) return FALSE;
    return block->driverStartDoc(pso, pwszDocName, dwJobId);
}

BOOL APIENTRY EndDocHook(SURFOBJ* pso, FLONG fl) {
    if (documentDepth > INT32_MIN) --documentDepth;  // keeps "every EndDoc lowers it" free of overflow
    std::fill(std::begin(savedDocumentName), std::end(savedDocumentName), WCHAR(0));
    const PDEVOBJ pdevobj = DeviceOf(pso);
    PluginPdev* block = PdevOf(pdevobj);
    if (block == nullptr) return FALSE;
    RENDER_TRACE("EndDoc, flags 0x%lX", static_cast<unsigned long>(fl));
    const BOOL ended = block->driverEndDoc != nullptr ? block->driverEndDoc(pso, fl) : FALSE;
    // The driver's EndDoc writes the document's last bytes, often a job-end
    // sequence without a line end; whatever the filter still holds goes out
    // now, or the printer would never see the job end. Bytes that could not be
    // sent make the document fail rather than end quietly short.
    const HRESULT flushed = EndStream(pdevobj, *block);
    if (FAILED(flushed)) return FALSE;
    if (block->headerBroken) {
        SetLastError(block->headerError);
        return FALSE;
    }
    return ended;
}

BOOL APIENTRY SendPageHook(SURFOBJ* pso) {
    PluginPdev* block = PdevOf(DeviceOf(pso));
    if (block == nullptr || block->driverSendPage == nullptr) return FALSE;
    ++block->pageCount;
    RENDER_TRACE("SendPage, page %d", static_cast<int>(block->pageCount));
    return block->driverSendPage(pso);
}
