#include "psfilter/stream_filter.h"

#include "plugin/job_cancel.h"
#include "plugin/line_buffer.h"
#include "plugin/plugin_pdev.h"
#include "plugin/settings_view.h"
#include "psfilter/feature_rewrite.h"
#include "settings/settings_access.h"

#include <cstring>

const SetupRewriter kFeatureRewriter = {&RewriteSetupPiece, &FreeRewrittenText};

namespace {

constexpr char kJobStart[] = "%!PS-";
constexpr size_t kJobStartBytes = sizeof kJobStart - 1;
constexpr char kJobEnd[] = "%%EOF\r\n";
constexpr char kPageComments[] = "%%Page:";
constexpr char kPageCommentsEnd[] = "%%EndPageComments\r\n";
constexpr char kBeginSetup[] = "%%BeginSetup\r\n";
constexpr char kBeginPageSetup[] = "%%BeginPageSetup\r\n";
constexpr char kEndSetup[] = "%%EndSetup\r\n";
constexpr char kEndPageSetup[] = "%%EndPageSetup\r\n";
constexpr char kPortraitLine[] = "%%ViewingOrientation: 1 0 0 1\r\n";
constexpr char kLandscapeLine[] = "%%ViewingOrientation: 0 1 -1 0\r\n";
constexpr char kLineEnd[] = "\r\n";

// No chunk limit: pass-through bytes go out as they are held.
constexpr size_t kWholeRun = static_cast<size_t>(-1);

struct FilterCall {
    PDEVOBJ device;
    PluginPdev& pdev;
    SettingsSpan settings;
    const SetupRewriter& rewriter;
};

// One WriteToSpooler call. WriteToSpooler already turns "success with 0 bytes
// taken" into E_FAIL (ERROR_WRITE_FAULT), so every loop that forwards bytes sees
// progress or a failure. A success that still reports nothing taken is treated
// the same way here, so no loop can spin on it whatever the spooler does.
HRESULT WriteSome(PDEVOBJ device, const BYTE* bytes, size_t count, size_t* taken) {
    DWORD reported = 0;
    const HRESULT hr = WriteToSpooler(device, const_cast<BYTE*>(bytes), static_cast<DWORD>(count), &reported);
    if (FAILED(hr)) return hr;
    if (reported == 0) return E_FAIL;
    *taken = reported < count ? reported : count;
    return S_OK;
}

// Forwards the first `count` bytes of `buffer`, in runs of at most `chunk`
// bytes, consuming what the spooler takes. On failure the rest stays at the
// front of the buffer.
HRESULT ForwardFront(PDEVOBJ device, LineBuffer& buffer, size_t count, size_t chunk) {
    if (count > static_cast<size_t>(buffer.length)) count = static_cast<size_t>(buffer.length);
    while (count > 0) {
        size_t taken = 0;
        const HRESULT hr = WriteSome(device, buffer.data.get(), count < chunk ? count : chunk, &taken);
        if (FAILED(hr)) return hr;
        buffer.Consume(taken);
        count -= taken;
    }
    return S_OK;
}

// Sends text that takes a setup piece's place, in chunks of at most 4096 bytes.
// What the spooler does not take is kept in unsentBuffer and goes out first on
// the next call: the piece itself is gone from setupBuffer by then. Only when
// even that cannot be held is the rest lost; the failure is reported either way.
HRESULT SendInPlaceOfPiece(const FilterCall& call, const BYTE* text, size_t count) {
    size_t sent = 0;
    while (sent < count) {
        const size_t rest = count - sent;
        const size_t chunk = rest < kRewrittenChunkBytes ? rest : kRewrittenChunkBytes;
        size_t taken = 0;
        const HRESULT hr = WriteSome(call.device, text + sent, chunk, &taken);
        if (FAILED(hr)) {
            (void)call.pdev.unsentBuffer.Append(text + sent, count - sent);
            return hr;
        }
        sent += taken;
    }
    return S_OK;
}

// The page's viewing orientation from the collected page comments; -1 when no
// complete comment line is collected (the rewriter then takes the settings').
int PageOrientation(const PluginPdev& pdev) {
    const LineBuffer& comments = pdev.pageCommentBuffer;
    if (comments.completeLength <= 0) return kOrientationUnknown;
    if (comments.Find(kPortraitLine, 0) >= 0) return kOrientationPortrait;
    if (comments.Find(kLandscapeLine, 0) >= 0) return kOrientationLandscape;
    return pdev.defaultOrientation;
}

// Evaluated comments belong to the piece they were evaluated for; a buffer
// without a complete line waits for a later piece.
void DropEvaluatedPageComments(PluginPdev& pdev) {
    if (pdev.pageCommentBuffer.completeLength > 0) pdev.pageCommentBuffer.Clear();
}

// Rewrites the first `piece` bytes of setupBuffer and sends the result.
HRESULT RewritePiece(const FilterCall& call, size_t piece, bool sectionEnded) {
    PluginPdev& pdev = call.pdev;
    LineBuffer& setup = pdev.setupBuffer;
    const int orientation = PageOrientation(pdev);
    const BYTE* const text = setup.data.get();

    // The rewriter works on zero-terminated text; a piece with a zero byte
    // (binary data in the section) would come back cut short. Such a piece is
    // sent as the driver wrote it.
    const bool binary = std::memchr(text, 0, piece) != nullptr;
    char* newText = nullptr;
    size_t newLength = 0;
    DWORD rc = ERROR_INVALID_DATA;
    if (!binary && call.rewriter.rewrite != nullptr) {
        rc = call.rewriter.rewrite(static_cast<HMODULE>(call.device->hOEM), pdev.documentName, call.settings.data,
                                   call.settings.size, reinterpret_cast<const char*>(text), piece, pdev.sectionState,
                                   orientation, &newText, &newLength);
    }
    if (rc == 0 && newText != nullptr) {
        DropEvaluatedPageComments(pdev);
        setup.Consume(piece);
        const HRESULT hr = SendInPlaceOfPiece(call, reinterpret_cast<const BYTE*>(newText), newLength);
        if (call.rewriter.release != nullptr) call.rewriter.release(newText);
        pdev.sectionState = kInSectionLaterPiece;
        return hr;
    }
    if (newText != nullptr && call.rewriter.release != nullptr) call.rewriter.release(newText);

    // A piece of an open section whose rewrite failed stays at the front of
    // setupBuffer and is offered again with the next piece; the section state
    // stays too, so a first piece is still rewritten as one. Once its section is
    // over, or when it can never be rewritten, it goes out unchanged: the
    // printer then gets the driver's own code instead of none. A piece offered
    // again keeps its page comments, so its retry gets the page's orientation.
    if (!sectionEnded && !binary) return S_OK;
    DropEvaluatedPageComments(pdev);
    const HRESULT hr = SendInPlaceOfPiece(call, text, piece);
    setup.Consume(piece);
    pdev.sectionState = kInSectionLaterPiece;
    return hr;
}

// One round in state 0: collect page comments, forward up to the end of a
// setup begin marker line (or all complete lines) and enter the section.
HRESULT PassThrough(const FilterCall& call) {
    PluginPdev& pdev = call.pdev;
    LineBuffer& pending = pdev.pendingBuffer;

    int32_t marker = pending.Find(kBeginSetup, 0);
    if (marker < 0) marker = pending.Find(kBeginPageSetup, 0);
    const int32_t upTo = marker >= 0 ? pending.Find(kLineEnd, marker) + 2 : pending.completeLength;

    // Page comments are collected only in front of the section this round
    // enters. Comments behind it belong to a later page and stay pending until
    // that section is over; collected now, they would decide this section's
    // orientation whenever the driver happened to write both pages in one call
    // (and the document setup would take the first page's orientation).
    const int32_t commentsLimit = marker >= 0 ? marker : pending.completeLength;
    int32_t start = 0;
    if (pdev.pageCommentState != 1) {
        const int32_t page = pending.Find(kPageComments, 0);
        if (page >= 0 && page < commentsLimit) {
            pdev.pageCommentState = 1;
            start = page;
        }
    }
    if (pdev.pageCommentState == 1) {
        int32_t stop = commentsLimit;
        const int32_t end = pending.Find(kPageCommentsEnd, start);
        if (end >= 0 && end < commentsLimit) {
            stop = end;
            pdev.pageCommentState = 0;
        }
        // The comments only decide the orientation: lines that cannot be
        // collected cost the orientation at most, never any output.
        if (stop > start) {
            (void)pdev.pageCommentBuffer.Append(pending.data.get() + start, static_cast<size_t>(stop - start));
        }
    }

    const HRESULT hr = ForwardFront(call.device, pending, static_cast<size_t>(upTo), kWholeRun);
    if (FAILED(hr)) return hr;
    if (marker >= 0) {
        pdev.sectionState = kInSectionFirstPiece;
        pdev.setupBuffer.Clear();
        pdev.pageCommentState = 0;
    }
    return S_OK;
}

// One round inside a setup section: collect its text and rewrite what is due.
HRESULT CollectSection(const FilterCall& call) {
    PluginPdev& pdev = call.pdev;
    LineBuffer& pending = pdev.pendingBuffer;
    LineBuffer& setup = pdev.setupBuffer;

    int32_t endAt = pending.Find(kEndSetup, 0);
    if (endAt < 0) endAt = pending.Find(kEndPageSetup, 0);
    const int32_t move = endAt >= 0 ? endAt : pending.completeLength;
    if (move > 0) {
        // Section text that cannot be collected stays pending rather than being
        // lost; the shortage is reported and the next call tries again.
        const HRESULT hr = setup.Append(pending.data.get(), static_cast<size_t>(move));
        if (FAILED(hr)) return hr;
        pending.Consume(static_cast<size_t>(move));
    }

    // At the end marker the whole rest goes, a partial line in front of the
    // marker included (it would otherwise stay behind and be dropped).
    int32_t piece = 0;
    if (endAt >= 0) {
        piece = setup.length;
    } else if (setup.completeLength > kSectionCutThreshold) {
        piece = setup.FeatureCutPoint();
    }
    HRESULT hr = S_OK;
    if (piece > 0) hr = RewritePiece(call, static_cast<size_t>(piece), endAt >= 0);
    if (endAt >= 0) pdev.sectionState = kPassingThrough;
    return hr;
}

}  // namespace

HRESULT StreamFilterWritePrinter(PDEVOBJ pdevobj, const void* data, DWORD count, DWORD* written) noexcept {
    return StreamFilterWritePrinter(pdevobj, data, count, written, kFeatureRewriter);
}

HRESULT StreamFilterWritePrinter(PDEVOBJ pdevobj, const void* data, DWORD count, DWORD* written,
                                 const SetupRewriter& rewriter) noexcept {
    PluginPdev* const pdev = PdevOf(pdevobj);
    if (pdev == nullptr || pdevobj->pOEMDM == nullptr) {
        return WriteToSpooler(pdevobj, const_cast<void*>(data), count, written);
    }
    const SettingsSpan settings = SettingsBlockOf(pdevobj);
    if (!HasSettingsIdentification(AsView(settings))) {
        if (written != nullptr) *written = 0;
        return E_FAIL;
    }
    if (data == nullptr && count > 0) {
        if (written != nullptr) *written = 0;
        return E_POINTER;
    }

    // A new job drops whatever the previous one left: a partial last line, an
    // unfinished section, output the spooler never took.
    if (count >= kJobStartBytes && std::memcmp(data, kJobStart, kJobStartBytes) == 0) {
        pdev->pendingBuffer.Clear();
        pdev->setupBuffer.Clear();
        pdev->pageCommentBuffer.Clear();
        pdev->unsentBuffer.Clear();
        pdev->defaultOrientation = ReadSettingS16(AsView(settings), kOrientationOffset);
    }

    HRESULT hr = pdev->pendingBuffer.Append(data, count);
    if (written != nullptr) *written = SUCCEEDED(hr) ? count : 0;
    if (FAILED(hr)) return hr;
    if (pdev->pendingBuffer.data == nullptr && pdev->unsentBuffer.length == 0) return S_OK;

    LineBuffer& pending = pdev->pendingBuffer;
    const bool sawEnd = pending.Find(kJobEnd, 0) >= 0;
    const FilterCall call{pdevobj, *pdev, settings, rewriter};

    hr = ForwardFront(pdevobj, pdev->unsentBuffer, static_cast<size_t>(pdev->unsentBuffer.length),
                      kRewrittenChunkBytes);
    // Only complete lines are examined; a trailing partial line waits.
    while (SUCCEEDED(hr) && pending.completeLength != 0) {
        hr = pdev->sectionState == kPassingThrough ? PassThrough(call) : CollectSection(call);
    }

    // End of the job: its last bytes go out even without a line end. Inside a
    // setup section "%%EOF" belongs to an embedded resource, not to the job, so
    // the section's collected text is kept and no bytes overtake it.
    if (SUCCEEDED(hr) && sawEnd && pending.completeLength == 0 && pdev->sectionState == kPassingThrough) {
        hr = ForwardFront(pdevobj, pending, static_cast<size_t>(pending.length), kWholeRun);
        if (SUCCEEDED(hr)) {
            pending.Clear();
            pdev->setupBuffer.Clear();
        }
    }
    return hr;
}
