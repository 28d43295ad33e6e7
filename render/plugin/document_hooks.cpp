#include "plugin/document_hooks.h"

#include "common/debug_trace.h"
#include "common/wtext.h"
#include "plugin/job_cancel.h"
#include "psfilter/stream_filter.h"

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
    if (FAILED(CheckJobOrCancel(block->modules, pdevobj, dwJobId))) return FALSE;
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
    const HRESULT flushed = StreamFilterFlush(block->filter, pdevobj->hPrinter);
    return SUCCEEDED(flushed) ? ended : FALSE;
}

BOOL APIENTRY SendPageHook(SURFOBJ* pso) {
    PluginPdev* block = PdevOf(DeviceOf(pso));
    if (block == nullptr || block->driverSendPage == nullptr) return FALSE;
    ++block->pageCount;
    RENDER_TRACE("SendPage, page %d", static_cast<int>(block->pageCount));
    return block->driverSendPage(pso);
}
