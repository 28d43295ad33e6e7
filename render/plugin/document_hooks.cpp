#include "plugin/document_hooks.h"

#include "common/debug_trace.h"
#include "common/result_macros.h"
#include "common/wtext.h"
#include "plugin/job_cancel.h"
#include "psfilter/stream_filter.h"
#include "core/settings_access.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

// Per thread, not per process: a print server renders many jobs at once, each
// on its own thread through this one module, and a process-wide pair would give
// one job's name to another job's header and let one job's EndDoc end another's
// document. The driver calls a document's hooks on the thread that renders it,
// so one document behaves exactly as with a process-wide pair. The price: a
// document whose EndDoc came on another thread than its StartDoc stays open on
// the first thread, whose next StartDoc then counts as a later StartDoc of it;
// the driver does not do that.
thread_local int32_t documentDepth = -1;
thread_local WCHAR savedDocumentName[kDocumentNameCapacity] = {};

namespace {

PDEVOBJ DeviceOf(SURFOBJ* pso) {
    if (pso == nullptr) return nullptr;
    return reinterpret_cast<PDEVOBJ>(pso->dhpdev);
}

// A document name longer than its field is cut to the field, never failed: the
// job is sound and a title (a web page's address, say) is no reason to lose it.
// The cut keeps whole characters: when it would fall between the two halves of
// a surrogate pair, the pair goes too, so the name stays valid UTF-16 for the
// job header and the feature code. Unpaired surrogates are kept as they came.
void CopyDocumentName(WCHAR (&field)[kDocumentNameCapacity], const WCHAR* name) {
    size_t length = WTextLengthBounded(name, kDocumentNameCapacity);
    if (length == kDocumentNameCapacity) {
        length = kDocumentNameCapacity - 1;
        const WCHAR last = name[length - 1];
        const WCHAR next = name[length];
        if (last >= 0xD800 && last <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) --length;
    }
    std::copy(name, name + length, field);
    std::fill(field + length, field + kDocumentNameCapacity, WCHAR(0));
}

}  // namespace

// Ends the document's stream. Complete lines still held (the spooler failed
// while the driver's last writes were examined) are first examined as a write
// would, so a setup section among them is still rewritten; only what is left
// then, a last line without its line end, goes out unchanged. Should the
// spooler fail again, nothing more is sent: what it holds stays the stream's
// beginning rather than one with the sections behind the gap left unrewritten.
HRESULT EndStream(PDEVOBJ pdevobj, PluginPdev& block) {
    const SettingsView settings = AsView(SettingsOf(pdevobj));
    HRESULT hr = S_OK;
    if (block.headerBroken) {
        // Nothing may follow a header with a gap; the writes were refused, for
        // the header's own cause.
        hr = block.headerError != ERROR_SUCCESS ? HRESULT_FROM_WIN32(block.headerError) : E_FAIL;
    } else if (HasSettingsIdentification(settings)) {
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

BOOL APIENTRY StartDocHook(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId) noexcept try {
    PDEVOBJ pdevobj = DeviceOf(pso);
    PluginPdev* block = PdevOf(pdevobj);
    RETURN_FALSE_IF(E_POINTER, block == nullptr);

    if (documentDepth < 0) {
        ++documentDepth;
        // A document without a name is recorded with the empty name rather than
        // failed: the job itself is sound, and the driver still gets the null.
        const WCHAR* name = pwszDocName != nullptr ? pwszDocName : WIDE("");
        CopyDocumentName(block->documentName, name);
        CopyDocumentName(savedDocumentName, name);
    } else {
        // A further StartDoc of the open document (a new device context after a
        // settings change) keeps the name the document started with.
        CopyDocumentName(block->documentName, savedDocumentName);
    }

    RENDER_TRACE("StartDoc, job %lu", static_cast<unsigned long>(dwJobId));
    RETURN_FALSE_IF_FAILED(CheckJobOrCancel(block->modules, pdevobj, dwJobId));
    RETURN_FALSE_IF(E_NOTIMPL, block->driverStartDoc == nullptr);
    return block->driverStartDoc(pso, pwszDocName, dwJobId);
}
CATCH_RETURN(FALSE)

BOOL APIENTRY EndDocHook(SURFOBJ* pso, FLONG fl) noexcept try {
    if (documentDepth > INT32_MIN) --documentDepth;  // keeps "every EndDoc lowers it" free of overflow
    std::fill(std::begin(savedDocumentName), std::end(savedDocumentName), WCHAR(0));
    const PDEVOBJ pdevobj = DeviceOf(pso);
    PluginPdev* block = PdevOf(pdevobj);
    RETURN_FALSE_IF(E_POINTER, block == nullptr);
    RENDER_TRACE("EndDoc, flags 0x%lX", static_cast<unsigned long>(fl));
    const BOOL ended = block->driverEndDoc != nullptr ? block->driverEndDoc(pso, fl) : FALSE;
    // The driver's EndDoc writes the document's last bytes, often a job-end
    // sequence without a line end; whatever the filter still holds goes out
    // now, or the printer would never see the job end. Bytes that could not be
    // sent make the document fail rather than end quietly short.
    const HRESULT streamEnded = EndStream(pdevobj, *block);
    // The driver's convention from here: FALSE, and a broken header's cause as
    // the last error.
    if (block->headerBroken) SetLastError(block->headerError);
    RETURN_FALSE_IF_FAILED(streamEnded);
    RETURN_FALSE_IF(HRESULT_FROM_WIN32(block->headerError), block->headerBroken);
    return ended;
}
CATCH_RETURN(FALSE)

BOOL APIENTRY SendPageHook(SURFOBJ* pso) noexcept try {
    PluginPdev* block = PdevOf(DeviceOf(pso));
    RETURN_FALSE_IF(E_POINTER, block == nullptr);
    RETURN_FALSE_IF(E_NOTIMPL, block->driverSendPage == nullptr);
    ++block->pageCount;
    RENDER_TRACE("SendPage, page %d", static_cast<int>(block->pageCount));
    return block->driverSendPage(pso);
}
CATCH_RETURN(FALSE)
