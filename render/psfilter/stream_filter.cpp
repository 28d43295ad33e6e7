#include "psfilter/stream_filter.h"

#include "common/spooler_write.h"
#include "settings/private_part.h"

#include <cstring>

namespace {

constexpr char kJobStart[] = "%!PS-";
constexpr size_t kJobStartBytes = sizeof kJobStart - 1;
constexpr char kPageComments[] = "%%Page:";
constexpr char kPageCommentsEnd[] = "%%EndPageComments\r\n";
constexpr char kBeginSetup[] = "%%BeginSetup\r\n";
constexpr char kBeginPageSetup[] = "%%BeginPageSetup\r\n";
constexpr char kEndSetup[] = "%%EndSetup\r\n";
constexpr char kEndPageSetup[] = "%%EndPageSetup\r\n";
constexpr char kPortraitLine[] = "%%ViewingOrientation: 1 0 0 1\r\n";
constexpr char kLandscapeLine[] = "%%ViewingOrientation: 0 1 -1 0\r\n";
constexpr char kLineEnd[] = "\r\n";
constexpr char kFeatureClose[] = "}featurecleanup\r\n";
constexpr int32_t kFeatureCloseLength = sizeof kFeatureClose - 1;
constexpr int32_t kPageCommentsEndLength = sizeof kPageCommentsEnd - 1;

// No chunk limit: pass-through bytes go out as they are held.
constexpr size_t kWholeRun = static_cast<size_t>(-1);

struct FilterCall {
    StreamFilterState& state;
    const FilterJob& job;
    SetupRewriteFunction rewrite;
};

// Forwards the first `count` bytes of `buffer`, in calls of at most `chunk`
// bytes, consuming what the spooler takes. On failure the rest stays at the
// front of the buffer and *left says how much of `count` that is.
HRESULT ForwardFront(HANDLE printer, LineBuffer& buffer, size_t count, size_t chunk, size_t* left = nullptr) {
    if (count > static_cast<size_t>(buffer.length)) count = static_cast<size_t>(buffer.length);
    size_t sent = 0;
    const HRESULT hr = WriteSpoolerAll(printer, buffer.data.get(), count, chunk, &sent);
    buffer.Consume(sent);
    if (left != nullptr) *left = count - sent;
    return hr;
}

// Sends the bytes of `pending` that were examined already and belong to the
// spooler unchanged. Keeping them apart means a spooler failure in the middle
// of a begin-marker line does not hide the marker from the next call.
HRESULT ForwardOwed(const FilterCall& call) {
    size_t left = 0;
    const HRESULT hr = ForwardFront(call.job.printer, call.state.pending,
                                    static_cast<size_t>(call.state.passThroughOwed), kWholeRun, &left);
    call.state.passThroughOwed = static_cast<int32_t>(left);
    return hr;
}

// Sends text that takes a setup piece's place, in chunks of at most 4096 bytes.
// What the spooler does not take is kept in unsentBuffer and goes out first on
// the next call: the piece itself is gone from setupBuffer by then. Only when
// even that cannot be held is the rest lost; the failure is reported either way.
HRESULT SendInPlaceOfPiece(const FilterCall& call, const char* text, size_t count) {
    size_t sent = 0;
    const HRESULT hr = WriteSpoolerAll(call.job.printer, text, count, kRewrittenChunkBytes, &sent);
    if (FAILED(hr)) (void)call.state.unsent.Append(text + sent, count - sent);
    return hr;
}

// The page's viewing orientation from the collected page comments; -1 when no
// complete comment line is collected (the rewriter then takes the settings').
int PageOrientation(const StreamFilterState& state) {
    const PageCommentScan& comments = state.pageComments;
    if (!comments.lineEnd) return kOrientationUnknown;
    if (comments.portrait) return kOrientationPortrait;
    if (comments.landscape) return kOrientationLandscape;
    return state.defaultOrientation;
}

// Evaluated comments belong to the piece they were evaluated for; comments
// without a complete line wait for a later piece.
void DropEvaluatedPageComments(StreamFilterState& state) {
    if (state.pageComments.lineEnd) state.pageComments = PageCommentScan{};
}

// Notes what a run of page-comment bytes tells about the orientation. Each run
// is whole lines, or ends where a marker starts; neither orientation line nor
// a line end can straddle two runs, so looking at each run alone is enough.
void NotePageComments(PageCommentScan& comments, const BYTE* bytes, size_t count) {
    if (count == 0) return;
    comments.lineEnd = comments.lineEnd || FindBytes(bytes, count, kLineEnd) >= 0;
    comments.portrait = comments.portrait || FindBytes(bytes, count, kPortraitLine) >= 0;
    comments.landscape = comments.landscape || FindBytes(bytes, count, kLandscapeLine) >= 0;
}

// Collects the page comments in the first `limit` bytes of pendingBuffer: every
// run from "%%Page:" to "%%EndPageComments\r\n" (or to the limit, the rest then
// following in a later round). All pages' comments are taken, so a page without
// a setup section passes its comments on to the next one however the stream
// was cut.
void CollectPageComments(StreamFilterState& state, int32_t limit) {
    const LineBuffer& pending = state.pending;
    int32_t at = 0;
    while (at < limit) {
        int32_t start = at;
        if (!state.inPageComments) {
            const int32_t page = pending.Find(kPageComments, at);
            if (page < 0 || page >= limit) return;
            state.inPageComments = true;
            start = page;
        }
        int32_t stop = limit;
        const int32_t end = pending.Find(kPageCommentsEnd, start);
        if (end >= 0 && end < limit) {
            stop = end;
            state.inPageComments = false;
            at = end + kPageCommentsEndLength;
        } else {
            at = limit;
        }
        if (stop > start) {
            NotePageComments(state.pageComments, pending.data.get() + start, static_cast<size_t>(stop - start));
        }
    }
}

// The earlier of two markers in the held text, or -1. Which one comes first in
// the stream decides, never which one is looked for first: a document-setup
// marker of an embedded document further on must not outrank the page's own.
int32_t EarlierMarker(const LineBuffer& buffer, const char* first, const char* second) {
    const int32_t a = buffer.Find(first, 0);
    const int32_t b = buffer.Find(second, 0);
    if (a < 0) return b;
    if (b < 0) return a;
    return a < b ? a : b;
}

// Rewrites the first `piece` bytes of setupBuffer and sends the result. A piece
// whose rewrite fails (memory) goes out unchanged at once: the printer then
// gets the driver's own code for it instead of none, and the piece is not
// offered again at every later write of a long section.
HRESULT RewritePiece(const FilterCall& call, size_t piece) {
    StreamFilterState& state = call.state;
    const int orientation = PageOrientation(state);
    const char* const text = reinterpret_cast<const char*>(state.setup.data.get());

    std::string rewritten;
    const HRESULT rewrite =
        call.rewrite(call.job.module, call.job.documentName, call.job.settings, std::string_view(text, piece),
                     state.section, orientation, rewritten);
    DropEvaluatedPageComments(state);
    const HRESULT hr = SUCCEEDED(rewrite) ? SendInPlaceOfPiece(call, rewritten.data(), rewritten.size())
                                          : SendInPlaceOfPiece(call, text, piece);
    state.setup.Consume(piece);
    state.section = SectionState::LaterPiece;
    return hr;
}

// One round in state 0: collect page comments, forward up to the end of a
// setup begin marker line (or all complete lines) and enter the section.
HRESULT PassThrough(const FilterCall& call) {
    StreamFilterState& state = call.state;
    const LineBuffer& pending = state.pending;

    const int32_t marker = EarlierMarker(pending, kBeginSetup, kBeginPageSetup);
    const int32_t upTo = marker >= 0 ? pending.Find(kLineEnd, marker) + 2 : pending.completeLength;

    // Page comments are collected only in front of the section this round
    // enters. Comments behind it belong to a later page and stay pending until
    // that section is over; collected now, they would decide this section's
    // orientation whenever the driver happened to write both pages in one call
    // (and the document setup would take the first page's orientation).
    CollectPageComments(state, marker >= 0 ? marker : pending.completeLength);

    // The section starts when its marker is seen, whatever the spooler then
    // takes of the marker line.
    if (marker >= 0) {
        state.section = SectionState::FirstPiece;
        state.setup.Clear();
        state.inPageComments = false;
    }
    state.passThroughOwed = upTo;
    return ForwardOwed(call);
}

// Moves the first `count` bytes of pendingBuffer into setupBuffer. Section text
// that cannot be collected stays pending rather than being lost; the shortage is
// reported and the next call tries again.
HRESULT MoveToSection(StreamFilterState& state, int32_t count) {
    if (count <= 0) return S_OK;
    const HRESULT hr = state.setup.Append(state.pending.data.get(), static_cast<size_t>(count));
    if (FAILED(hr)) return hr;
    state.pending.Consume(static_cast<size_t>(count));
    return S_OK;
}

// Rewrites pieces of an unfinished section while it is over the cut threshold
// and a cut point exists. Afterwards setupBuffer is either at most the
// threshold or holds an open feature block with no closed one.
HRESULT CutLongSection(const FilterCall& call) {
    LineBuffer& setup = call.state.setup;
    while (setup.completeLength > kSectionCutThreshold) {
        const int32_t cut = setup.FeatureCutPoint();
        if (cut <= 0) break;
        const HRESULT hr = RewritePiece(call, static_cast<size_t>(cut));
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

// How much of the `region` bytes at the front of pendingBuffer to move into the
// section before the cut rule must be looked at again. A long section is cut
// where it would be cut if its lines arrived one at a time: at the first line
// that takes it over the threshold, or, while it holds only an open feature
// block, at the first line that closes one. That keeps the pieces, and so the
// output, the same however the driver cut its writes.
int32_t NextSectionStep(const StreamFilterState& state, int32_t region, bool* lookAgain) {
    const LineBuffer& pending = state.pending;
    const LineBuffer& setup = state.setup;
    *lookAgain = false;
    int32_t step = -1;
    if (setup.completeLength <= kSectionCutThreshold) {
        // setupBuffer holds whole lines only until the end marker is met.
        const int32_t need = kSectionCutThreshold + 1 - setup.length;
        if (need <= region) {
            const int32_t lineEnd = pending.Find(kLineEnd, need > 2 ? need - 2 : 0);
            if (lineEnd >= 0 && lineEnd + 2 <= region) step = lineEnd + 2;
        }
    } else {
        const int32_t close = pending.Find(kFeatureClose, 0);
        if (close >= 0 && close + kFeatureCloseLength <= region) step = close + kFeatureCloseLength;
    }
    if (step < 0) return region;
    *lookAgain = true;
    return step;
}

// One round inside a setup section: collect its text and rewrite what is due.
HRESULT CollectSection(const FilterCall& call) {
    StreamFilterState& state = call.state;
    const LineBuffer& pending = state.pending;

    const int32_t endAt = EarlierMarker(pending, kEndSetup, kEndPageSetup);
    int32_t region = endAt >= 0 ? endAt : pending.completeLength;
    while (region > 0) {
        bool lookAgain = false;
        const int32_t step = NextSectionStep(state, region, &lookAgain);
        HRESULT hr = MoveToSection(state, step);
        if (FAILED(hr)) return hr;
        region -= step;
        if (lookAgain) {
            hr = CutLongSection(call);
            if (FAILED(hr)) return hr;
        }
    }
    if (endAt < 0) return S_OK;

    // At the end marker the whole rest goes, a partial line in front of the
    // marker included (it would otherwise stay behind and be dropped).
    HRESULT hr = S_OK;
    if (state.setup.length > 0) hr = RewritePiece(call, static_cast<size_t>(state.setup.length));
    state.section = SectionState::Passing;
    return hr;
}

}  // namespace

HRESULT StreamFilterWrite(StreamFilterState& state, const FilterJob& job, const void* data, DWORD count,
                          DWORD* written, SetupRewriteFunction rewrite) noexcept {
    if (data == nullptr && count > 0) {
        if (written != nullptr) *written = 0;
        return E_POINTER;
    }

    // A new job drops whatever the previous one left (the end-of-document
    // flush normally leaves nothing) and starts outside any section, so a job
    // cut off inside a section does not make the next job's first lines one.
    if (count >= kJobStartBytes && std::memcmp(data, kJobStart, kJobStartBytes) == 0) {
        const int32_t orientation = ReadSettingS16(job.settings, kOrientationOffset);
        state = StreamFilterState{};
        state.defaultOrientation = orientation;
    }

    HRESULT hr = state.pending.Append(data, count);
    if (written != nullptr) *written = SUCCEEDED(hr) ? count : 0;
    if (FAILED(hr)) return hr;
    if (state.pending.data == nullptr && state.unsent.length == 0) return S_OK;

    const FilterCall call{state, job, rewrite};
    hr = ForwardFront(job.printer, state.unsent, static_cast<size_t>(state.unsent.length), kRewrittenChunkBytes);
    if (SUCCEEDED(hr)) hr = ForwardOwed(call);
    // Only complete lines are examined; a trailing partial line waits for its
    // line end or for the end of the document (StreamFilterFlush).
    while (SUCCEEDED(hr) && state.pending.completeLength != 0) {
        hr = state.section == SectionState::Passing ? PassThrough(call) : CollectSection(call);
    }
    return hr;
}

HRESULT StreamFilterFlush(StreamFilterState& state, HANDLE printer) noexcept {
    // Stream order: rewritten text the spooler has not taken, then the
    // collected part of an unfinished section (as the driver wrote it), then
    // whatever is still pending, a last line without its line end included.
    HRESULT hr = S_OK;
    LineBuffer* const held[] = {&state.unsent, &state.setup, &state.pending};
    for (LineBuffer* buffer : held) {
        if (SUCCEEDED(hr) && buffer->length > 0) {
            hr = ForwardFront(printer, *buffer, static_cast<size_t>(buffer->length), kWholeRun);
        }
    }
    const int32_t orientation = state.defaultOrientation;
    state = StreamFilterState{};
    state.defaultOrientation = orientation;
    return hr;
}
