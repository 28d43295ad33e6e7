#include "core/stream_filter.h"

#include "core/core_failure.h"
#include "core/core_trace.h"
#include "core/feature_blocks.h"
#include "core/settings_fields.h"

#include <cassert>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view kJobStart = "%!PS-";
constexpr std::string_view kPageComments = "%%Page:";
constexpr std::string_view kPageCommentsEnd = "%%EndPageComments\r\n";
constexpr std::string_view kBeginSetup = "%%BeginSetup\r\n";
constexpr std::string_view kBeginPageSetup = "%%BeginPageSetup\r\n";
constexpr std::string_view kEndSetup = "%%EndSetup\r\n";
constexpr std::string_view kEndPageSetup = "%%EndPageSetup\r\n";
constexpr std::string_view kPortraitLine = "%%ViewingOrientation: 1 0 0 1\r\n";
constexpr std::string_view kLandscapeLine = "%%ViewingOrientation: 0 1 -1 0\r\n";
constexpr std::string_view kLineEnd = "\r\n";

// A long line of a section keeps back only what could still be the start of
// an end marker that ends it.
constexpr size_t kLongLineHeldBytes = kEndPageSetup.size() - 1;
static_assert(kEndSetup.size() < kEndPageSetup.size(), "the page setup's end marker is the longer");

// No chunk limit: pass-through bytes go out as they are held.
constexpr size_t kWholeRun = 0;

// Outside a setup section every text that decides something: the two begin
// markers, the start and end of a page's comments, the two orientation lines
// and the line end a page's comments must hold. Bytes at the end of what has
// arrived that could still become one of them wait for the next call; all
// others are decided and go on at once, however long their line.
constexpr std::string_view kDecidingTexts[] = {kBeginSetup,   kBeginPageSetup, kPageComments, kPageCommentsEnd,
                                               kPortraitLine, kLandscapeLine,  kLineEnd};
constexpr size_t kLongestDecidingText = kLandscapeLine.size();
static_assert(kPortraitLine.size() < kLongestDecidingText && kBeginPageSetup.size() < kLongestDecidingText &&
                  kPageCommentsEnd.size() < kLongestDecidingText,
              "the landscape line is the longest deciding text");
// The most undecided bytes at the end of what has arrived.
constexpr size_t kMostUndecidedBytes = kLongestDecidingText - 1;
// Bytes of a call examined together with an undecided tail held from the
// last one: enough to decide it (twice the longest text), few enough that
// copying them costs nothing next to the call.
constexpr size_t kStitchBytes = 2 * kLongestDecidingText;

// Outside a section, short writes are gathered up to kGatherBytes before they
// are examined, so a driver writing a few bytes at a time does not make a
// spooler call of each write. Examining them later changes no decision: the
// decisions do not depend on how the stream is cut.
static_assert(kGatherBytes > kLongestDecidingText, "gathered bytes bound the undecided ones too");

// Only writes shorter than this are gathered; longer ones go on from the
// driver's buffer.
constexpr size_t kGatherWriteBytes = 512;

// Whether gathered bytes may hold a whole deciding text, and so must be
// examined now rather than at kGatherBytes: every one but the line end starts
// with '%' and all but "%%Page:" end with a line end, so bytes that lack
// either decide nothing, and the end of the document may send them as they
// are. Held bytes with a line end have no '%' (they would have been
// examined), so only the call's bytes are looked through then; otherwise all
// held bytes are, once, when the first line end arrives.
bool MayDecide(const LineBuffer& pending, bool hadLineEnd, const uint8_t* bytes, size_t count) {
    if (pending.CompleteLength() == 0) return false;
    return hadLineEnd ? std::memchr(bytes, '%', count) != nullptr
                      : std::memchr(pending.Bytes(), '%', pending.Length()) != nullptr;
}

// The length of the longest end of the `length` bytes that is the start of a
// deciding text, but not all of it; 0 when there is none. Every deciding
// text that starts in front of that end is then whole in the bytes.
size_t UndecidedTail(const uint8_t* bytes, size_t length) {
    // Every deciding text starts with '%' or CR: only those places can start
    // an undecided end.
    const uint8_t* at = bytes + (length > kMostUndecidedBytes ? length - kMostUndecidedBytes : 0);
    const uint8_t* const end = bytes + length;
    const uint8_t* percent = static_cast<const uint8_t*>(std::memchr(at, '%', static_cast<size_t>(end - at)));
    const uint8_t* cr = static_cast<const uint8_t*>(std::memchr(at, '\r', static_cast<size_t>(end - at)));
    while (percent != nullptr || cr != nullptr) {
        const bool percentFirst = cr == nullptr || (percent != nullptr && percent < cr);
        at = percentFirst ? percent : cr;
        const size_t left = static_cast<size_t>(end - at);
        for (const std::string_view text : kDecidingTexts) {
            if (text.size() > left && text[0] == static_cast<char>(*at) && std::memcmp(at, text.data(), left) == 0) {
                return left;
            }
        }
        const uint8_t* const next = at + 1;
        if (percentFirst) {
            percent = static_cast<const uint8_t*>(std::memchr(next, '%', static_cast<size_t>(end - next)));
        } else {
            cr = static_cast<const uint8_t*>(std::memchr(next, '\r', static_cast<size_t>(end - next)));
        }
    }
    return 0;
}

// What one call examines: the held bytes followed by the call's, or the call's
// bytes alone when nothing is held (the common case: page bodies are then
// forwarded straight from the driver's buffer). Bytes are taken from the front
// by moving `at`; what is left at the end of the call is kept in `pending`.
// Offsets handed around are relative to the front.
class Window {
public:
    // `complete` is the offset just past the last CR LF when the caller knows
    // it (a LineBuffer counts it as bytes are appended), else kNpos.
    Window(const uint8_t* bytes, size_t size, size_t complete = kNpos)
        : bytes_(bytes), size_(size), complete_(complete) {}

    const uint8_t* Front() const { return bytes_ + at_; }
    size_t Length() const { return size_ - at_; }
    // Offset just past the last CR LF. Looked for only when a section needs
    // it and the caller did not know it: outside one, lines do not matter.
    size_t CompleteLength() const {
        if (complete_ == kNpos) complete_ = CompleteLengthOf(ByteView(bytes_, size_));
        return complete_ > at_ ? complete_ - at_ : 0;
    }
    // Whether CompleteLength() costs nothing (the caller knew it, or it was
    // looked for already).
    bool CompleteKnown() const { return complete_ != kNpos; }
    size_t Taken() const { return at_; }
    void Take(size_t count) { at_ += count < Length() ? count : Length(); }

    // The first occurrence of `text` in [from, to), or kNpos.
    size_t Find(std::string_view text, size_t from, size_t to) const {
        if (to > Length()) to = Length();
        if (from >= to) return kNpos;
        const size_t hit = FindBytes(ByteView(Front() + from, to - from), text);
        return hit == kNpos ? kNpos : from + hit;
    }

    // The first place in [from, to) where `first` or `second` starts (whole
    // in it), or kNpos: one pass over the bytes, whichever marker it meets
    // first.
    size_t FindEither(std::string_view first, std::string_view second, size_t from, size_t to) const {
        if (to > Length()) to = Length();
        const size_t firstLength = first.size();
        const size_t secondLength = second.size();
        const uint8_t* const begin = Front();
        const uint8_t* p = begin + (from < to ? from : to);
        const uint8_t* const end = begin + to;
        while (p < end) {
            p = static_cast<const uint8_t*>(std::memchr(p, '%', static_cast<size_t>(end - p)));
            if (p == nullptr) return kNpos;
            const size_t left = static_cast<size_t>(end - p);
            if ((left >= firstLength && std::memcmp(p, first.data(), firstLength) == 0) ||
                (left >= secondLength && std::memcmp(p, second.data(), secondLength) == 0)) {
                return static_cast<size_t>(p - begin);
            }
            ++p;
        }
        return kNpos;
    }

private:
    const uint8_t* bytes_;
    size_t size_;
    mutable size_t complete_;
    size_t at_ = 0;
};

struct FilterCall {
    StreamFilterState& state;
    const StreamJob& job;
    Window& window;
    // The window is held bytes with nothing of the call behind it: a long
    // line may wait there until kGatherBytes of it are held. Bytes in the
    // driver's buffer go on at once (keeping them would copy them).
    bool gather = false;
};

// Forwards the first `count` bytes of `buffer`, in calls of at most `chunk`
// bytes, consuming what the spooler takes. On failure the rest stays at the
// front of the buffer.
Status ForwardFront(ByteSink& sink, LineBuffer& buffer, size_t count, size_t chunk) {
    if (count > buffer.Length()) count = buffer.Length();
    if (count == 0) return kStatusOk;
    size_t sent = 0;
    const Status hr = SinkWriteAll(sink, ByteRange(buffer.Bytes(), count), chunk, &sent);
    buffer.Consume(sent);
    return hr;
}

// Sends the first `count` bytes of the window, examined already and owed to
// the spooler unchanged. On failure the rest stays owed (passThroughOwed), so
// a spooler failure in the middle of a begin-marker line does not hide the
// marker from the next call.
Status ForwardFromWindow(const FilterCall& call, size_t count) {
    size_t sent = 0;
    const Status hr = SinkWriteAll(call.job.sink, ByteRange(call.window.Front(), count), kWholeRun, &sent);
    call.window.Take(sent);
    call.state.passThroughOwed = count - sent;
    return hr;
}

// Sends text that takes a setup piece's place, in chunks of at most 4096 bytes.
// What the spooler does not take is kept in `unsent` and goes out first on the
// next call: the piece itself is gone from `setup` by then. Only when even
// that cannot be held is the rest lost; the failure is reported either way.
Status SendInPlaceOfPiece(const FilterCall& call, const char* text, size_t count) {
    size_t sent = 0;
    const Status hr = SinkWriteAll(call.job.sink, ByteRange(reinterpret_cast<const uint8_t*>(text), count),
                                   kRewrittenChunkBytes, &sent);
    if (hr.Failed()) (void)call.state.unsent.Append(text + sent, count - sent);
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

// Whether `text` starts somewhere in the first `count` of the `visible`
// bytes (it may reach past `count`).
bool StartsWithin(const uint8_t* bytes, size_t count, size_t visible, std::string_view text) {
    const size_t reach = count + text.size() - 1;
    return FindBytes(ByteView(bytes, reach < visible ? reach : visible), text) != kNpos;
}

// Notes what a run of page-comment bytes tells about the orientation: the
// texts that start in the run's `count` bytes, read on into the `visible`
// bytes behind it. A run ends where a marker starts or where the undecided
// bytes start; no text looked for here can hold a marker's start, and each
// that starts in front of the undecided bytes is whole, so looking at each run
// alone finds every text once. What is known already is not looked for again.
void NotePageComments(PageCommentScan& comments, const uint8_t* bytes, size_t count, size_t visible) {
    if (count == 0) return;
    if (!comments.lineEnd) comments.lineEnd = StartsWithin(bytes, count, visible, kLineEnd);
    if (!comments.portrait) comments.portrait = StartsWithin(bytes, count, visible, kPortraitLine);
    if (!comments.portrait && !comments.landscape) {
        comments.landscape = StartsWithin(bytes, count, visible, kLandscapeLine);
    }
}

// Rewrites the first `piece` bytes of `setup` and sends the result. A piece
// whose rewrite fails (memory) goes out unchanged at once: the printer then
// gets the driver's own code for it instead of none, and the piece is not
// offered again at every later write of a long section.
Status RewritePiece(const FilterCall& call, size_t piece) {
    StreamFilterState& state = call.state;
    const int orientation = PageOrientation(state);
    const char* const text = reinterpret_cast<const char*>(state.setup.Bytes());

    std::string rewritten;
    const Status rewrite =
        call.job.rewriter.Rewrite(std::string_view(text, piece), state.section, orientation, rewritten);
    DropEvaluatedPageComments(state);
    if (rewrite.Ok()) {
        RENDER_TRACE("%s setup piece rewritten: %zu bytes in, %zu out, orientation %d",
                     state.section == SectionState::FirstPiece ? "first" : "later", piece, rewritten.size(),
                     orientation);
    } else {
        RENDER_TRACE("setup piece of %zu bytes sent unchanged: rewrite failed (0x%08lX)", piece,
                     static_cast<unsigned long>(static_cast<uint32_t>(rewrite.Code())));
    }
    const Status hr = rewrite.Ok() ? SendInPlaceOfPiece(call, rewritten.data(), rewritten.size())
                                   : SendInPlaceOfPiece(call, text, piece);
    state.setup.Consume(piece);
    state.section = SectionState::LaterPiece;
    return hr;
}

// Does `text` stand at `at` of the window's first `to` bytes?
bool StandsAt(const uint8_t* bytes, size_t at, size_t to, std::string_view text) {
    return to - at >= text.size() && std::memcmp(bytes + at, text.data(), text.size()) == 0;
}

// One round outside a section: collect page comments, forward up to the end of
// a setup begin marker line (or all decided bytes) and enter the section.
//
// One pass over the decided bytes looks at every "%" once: a begin marker
// ends the round (the earlier marker wins, whichever kind: a document-setup
// marker of an embedded document further on must not outrank the page's own);
// "%%Page:" starts a page's comments and "%%EndPageComments\r\n" ends them. All
// pages' comments in front of the marker are taken, so a page without a setup
// section passes its comments on to the next one however the stream was cut.
// Comments behind the marker belong to a later page and wait until that
// section is over; collected now, they would decide this section's orientation
// whenever the driver happened to write both pages in one call.
//
// Lines play no part here: a text is taken where it starts, whole, so the
// decisions are those a line-by-line reading makes (every deciding text but
// "%%Page:" ends with its line, and one that starts before the undecided
// bytes is whole), while a line of any length passes without being held.
Status PassThrough(const FilterCall& call) {
    StreamFilterState& state = call.state;
    const Window& window = call.window;
    const uint8_t* const bytes = window.Front();
    const size_t length = window.Length();
    const size_t decided = length - UndecidedTail(bytes, length);

    size_t marker = kNpos;
    size_t commentsFrom = state.inPageComments ? 0 : kNpos;
    for (size_t at = 0; at < decided; ++at) {
        const void* hit = std::memchr(bytes + at, '%', decided - at);
        if (hit == nullptr) break;
        at = static_cast<size_t>(static_cast<const uint8_t*>(hit) - bytes);
        if (length - at < 2 || bytes[at + 1] != '%') continue;
        if (StandsAt(bytes, at, length, kBeginSetup) || StandsAt(bytes, at, length, kBeginPageSetup)) {
            marker = at;
            break;
        }
        if (!state.inPageComments) {
            if (StandsAt(bytes, at, length, kPageComments)) {
                state.inPageComments = true;
                commentsFrom = at;
            }
        } else if (StandsAt(bytes, at, length, kPageCommentsEnd)) {
            NotePageComments(state.pageComments, bytes + commentsFrom, at - commentsFrom, length - commentsFrom);
            state.inPageComments = false;
            commentsFrom = kNpos;
        }
    }
    const size_t limit = marker != kNpos ? marker : decided;
    if (state.inPageComments && limit > commentsFrom) {
        NotePageComments(state.pageComments, bytes + commentsFrom, limit - commentsFrom, length - commentsFrom);
    }
    const size_t upTo = marker != kNpos ? window.Find(kLineEnd, marker, length) + kLineEnd.size() : decided;

    // The section starts when its marker is seen, whatever the spooler then
    // takes of the marker line.
    if (marker != kNpos) {
        state.section = SectionState::FirstPiece;
        state.setup.Clear();
        state.inPageComments = false;
    }
    return upTo == 0 ? kStatusOk : ForwardFromWindow(call, upTo);
}

// Moves the first `count` bytes of the window into `setup`. Section text that
// cannot be collected stays in the window rather than being lost; the shortage
// is reported and the next call tries again.
Status MoveToSection(const FilterCall& call, size_t count) {
    if (count == 0) return kStatusOk;
    CORE_RETURN_IF_FAILED(call.state.setup.Append(call.window.Front(), count));
    call.window.Take(count);
    return kStatusOk;
}

// Rewrites pieces of an unfinished section while it is over the cut threshold
// and a cut point exists. Afterwards `setup` is either at most the threshold
// or holds an open feature block with no closed one.
Status CutLongSection(const FilterCall& call) {
    LineBuffer& setup = call.state.setup;
    while (setup.CompleteLength() > kSectionCutThreshold) {
        const size_t cut = setup.FeatureCutPoint();
        if (cut == 0) break;
        CORE_RETURN_IF_FAILED(RewritePiece(call, cut));
    }
    return kStatusOk;
}

// How much of the first `region` bytes of the window to move into the section
// before the cut rule must be looked at again. A long section is cut where it
// would be cut if its lines arrived one at a time: at the first line that
// takes it over the threshold, or, while it holds only an open feature block,
// at the first line that closes one. That keeps the pieces, and so the output,
// the same however the driver cut its writes.
size_t NextSectionStep(const FilterCall& call, size_t region, bool* lookAgain) {
    const Window& window = call.window;
    const LineBuffer& setup = call.state.setup;
    *lookAgain = false;
    size_t step = kNpos;
    if (setup.CompleteLength() <= kSectionCutThreshold) {
        // `setup` holds whole lines only until the end marker is met.
        const size_t need = kSectionCutThreshold + 1 - setup.Length();
        if (need <= region) {
            const size_t lineEnd = window.Find(kLineEnd, need > 2 ? need - 2 : 0, region);
            if (lineEnd != kNpos) step = lineEnd + 2;
        }
    } else {
        const size_t close = window.Find(kBlockCleanup, 0, region);
        if (close != kNpos) step = close + kBlockCleanup.size();
    }
    if (step == kNpos) return region;
    *lookAgain = true;
    return step;
}

// Whether the line that starts at `at` of the window is long: no CR LF among
// its first kLongSectionLineBytes + 2 bytes, all of them arrived. Decided by
// the line's bytes alone, so however the driver cuts its writes.
bool IsLongLine(const Window& window, size_t at) {
    constexpr size_t kReach = kLongSectionLineBytes + kLineEnd.size();
    return window.Length() - at >= kReach && window.Find(kLineEnd, at, at + kReach) == kNpos;
}

// Where the section's collected text ends in the window: the first end
// marker (*endAt) or the first long line (*longAt), whichever comes first,
// each kNpos when it is not there. Lines start at the window's front inside a
// section. A window too short to hold a long line is searched for a marker
// at once; a longer one line by line, so the search stops at whichever comes
// first and no byte behind it is looked at.
void FindSectionEnd(const Window& window, size_t* endAt, size_t* longAt) {
    const size_t complete = window.CompleteLength();
    *endAt = kNpos;
    *longAt = kNpos;
    if (window.Length() < kLongSectionLineBytes + kLineEnd.size()) {
        if (complete > 0) *endAt = window.FindEither(kEndSetup, kEndPageSetup, 0, complete);
        return;
    }
    for (size_t at = 0;;) {
        if (IsLongLine(window, at)) {
            *longAt = at;
            return;
        }
        if (at >= complete) return;
        // A marker ends with its line: it lies whole in one line.
        const size_t lineEnd = window.Find(kLineEnd, at, complete) + kLineEnd.size();
        *endAt = window.FindEither(kEndSetup, kEndPageSetup, at, lineEnd);
        if (*endAt != kNpos) return;
        at = lineEnd;
    }
}

// Forwards the long line the window starts in, unchanged, as its bytes
// arrive. Its end is its first CR LF; an end marker can only end there (both
// end with their line), and the bytes held back are enough to see one whole.
// Short writes are gathered up to kGatherBytes first (FilterCall::gather).
// At an end marker the section is over: the line's bytes in front of it go
// out, the marker is passed through by the next round.
Status ForwardLongLine(const FilterCall& call) {
    StreamFilterState& state = call.state;
    const Window& window = call.window;
    // One pass forward to the line's end, unless the window is known to hold none.
    const bool none = window.CompleteKnown() && window.CompleteLength() == 0;
    const size_t lineEnd = none ? kNpos : window.Find(kLineEnd, 0, window.Length());
    if (lineEnd == kNpos) {
        if (window.Length() < kLongLineHeldBytes + (call.gather ? kGatherBytes : 1)) return kStatusOk;
        return ForwardFromWindow(call, window.Length() - kLongLineHeldBytes);
    }
    const size_t end = lineEnd + kLineEnd.size();
    const uint8_t* const bytes = window.Front();
    size_t upTo = end;
    for (const std::string_view marker : {kEndSetup, kEndPageSetup}) {
        if (end >= marker.size() && StandsAt(bytes, end - marker.size(), end, marker)) upTo = end - marker.size();
    }
    state.longLine = false;
    if (upTo != end) state.section = SectionState::Passing;
    return upTo == 0 ? kStatusOk : ForwardFromWindow(call, upTo);
}

// One round inside a setup section: collect its text and rewrite what is due.
// A long line ends the collected text in front of it, which is rewritten as a
// piece of its own, and goes out unchanged in the rounds after.
Status CollectSection(const FilterCall& call) {
    StreamFilterState& state = call.state;
    const Window& window = call.window;
    if (state.longLine) return ForwardLongLine(call);

    size_t endAt = kNpos;
    size_t longAt = kNpos;
    FindSectionEnd(window, &endAt, &longAt);
    size_t region = longAt != kNpos ? longAt : endAt != kNpos ? endAt : window.CompleteLength();
    while (region > 0) {
        bool lookAgain = false;
        const size_t step = NextSectionStep(call, region, &lookAgain);
        CORE_RETURN_IF_FAILED(MoveToSection(call, step));
        region -= step;
        if (lookAgain) CORE_RETURN_IF_FAILED(CutLongSection(call));
    }
    if (longAt != kNpos) {
        state.longLine = true;
        return state.setup.Length() == 0 ? kStatusOk : RewritePiece(call, state.setup.Length());
    }
    if (endAt == kNpos) return kStatusOk;

    // At the end marker the whole rest goes, a partial line in front of the
    // marker included (it would otherwise stay behind and be dropped).
    Status hr = kStatusOk;
    if (state.setup.Length() > 0) hr = RewritePiece(call, state.setup.Length());
    state.section = SectionState::Passing;
    return hr;
}

// Empties the state and returns to passing through, with the orientation the
// rewriter falls back to.
void StartOver(StreamFilterState& state, int32_t defaultOrientation) {
    const FeatureTemplates templates = state.templates;
    const bool haveTemplates = state.haveTemplates;
    state = StreamFilterState{};
    state.defaultOrientation = defaultOrientation;
    state.templates = templates;
    state.haveTemplates = haveTemplates;
}

// Examines the window until a round changes nothing (outside a section only
// undecided bytes are left, inside one only a partial line) or a step fails.
Status Examine(const FilterCall& call) {
    for (;;) {
        const size_t taken = call.window.Taken();
        const SectionState section = call.state.section;
        const bool longLine = call.state.longLine;
        // A partial line too short to be long waits for its end: looked at
        // only once it is complete, whatever is already held of it.
        if (section != SectionState::Passing && !longLine && call.window.CompleteLength() == 0 &&
            call.window.Length() < kLongSectionLineBytes + kLineEnd.size()) {
            return kStatusOk;
        }
        CORE_RETURN_IF_FAILED(section == SectionState::Passing ? PassThrough(call) : CollectSection(call));
        // A round outside a section that found no marker leaves only undecided bytes.
        if (section == SectionState::Passing && call.state.section == SectionState::Passing) return kStatusOk;
        if (call.window.Taken() == taken && call.state.section == section && call.state.longLine == longLine) {
            return kStatusOk;
        }
    }
}

// How many of the call's `count` bytes to examine together with the held ones
// so that the held ones are settled: outside a section enough to decide an
// undecided tail, inside one up to the end of the partial line, or enough to
// tell that it is long; a long line's short writes join it whole, to be
// gathered.
size_t StitchLength(const StreamFilterState& state, const uint8_t* data, size_t count) {
    if (state.longLine && count < kGatherBytes) return count;
    if (state.section == SectionState::Passing || state.longLine) {
        return count < kStitchBytes ? count : kStitchBytes;
    }
    const size_t held = state.pending.Length();
    if (held > 0 && state.pending.Bytes()[held - 1] == '\r' && count > 0 && data[0] == '\n') return 1;
    constexpr size_t kReach = kLongSectionLineBytes + kLineEnd.size();
    const size_t looked = count < kReach ? count : kReach;
    const size_t lineEnd = FindBytes(ByteView(data, looked), kLineEnd);
    return lineEnd == kNpos ? looked : lineEnd + kLineEnd.size();
}

// Examines the held bytes as one window, whose last line end the buffer knows;
// `last` when no byte of the call follows them.
Status ExaminePending(StreamFilterState& state, const StreamJob& job, bool last) {
    LineBuffer& pending = state.pending;
    Window window(pending.Bytes(), pending.Length(), pending.CompleteLength());
    const Status hr = Examine(FilterCall{state, job, window, last});
    pending.Consume(window.Taken());
    return hr;
}

// Examines what `pending` holds followed by the first bytes of the call, and
// gives the offset in the call from which its bytes can be examined where they
// are (`count` when none can: they are all in `pending` then). Only when the
// held bytes stay unsettled (a section's short partial line without its end in
// the call, or a failure) does the rest of the call join them, as one held
// window.
size_t ExamineHeld(StreamFilterState& state, const StreamJob& job, const uint8_t* data, size_t count, Status& hr) {
    LineBuffer& pending = state.pending;
    const size_t stitch = StitchLength(state, data, count);
    hr = pending.Append(data, stitch);
    if (hr.Failed()) return count;
    hr = ExaminePending(state, job, stitch == count);
    const size_t left = pending.Length();
    if (left <= stitch) {
        // What is left came from the call: it is examined where it is.
        pending.Consume(left);
        return stitch - left;
    }
    const Status kept = pending.Append(data + stitch, count - stitch);
    if (kept.Failed()) {
        if (hr.Ok()) hr = kept;
        return count;
    }
    if (hr.Ok() && stitch < count) hr = ExaminePending(state, job, true);
    return count;
}

// Forwards, unchanged, what is owed from earlier calls in stream order:
// rewritten text the spooler did not take, the collected text of an ended
// job's section, then examined bytes.
Status ForwardOwed(StreamFilterState& state, ByteSink& sink) {
    CORE_RETURN_IF_FAILED(ForwardFront(sink, state.unsent, state.unsent.Length(), kRewrittenChunkBytes));
    if (state.section == SectionState::Passing && state.setup.Length() > 0) {
        CORE_RETURN_IF_FAILED(ForwardFront(sink, state.setup, state.setup.Length(), kWholeRun));
    }
    if (state.passThroughOwed == 0) return kStatusOk;
    const size_t before = state.pending.Length();
    const Status hr = ForwardFront(sink, state.pending, state.passThroughOwed, kWholeRun);
    state.passThroughOwed -= before - state.pending.Length();
    return hr;
}

Status Write(StreamFilterState& state, const StreamJob& job, const void* data, size_t count, size_t* written);

// A call that begins a new job: what the previous job still holds is settled
// as an empty call settles it, then forwarded unchanged as the end of a
// document forwards it, and only then does the new job start, outside any
// section, so a job cut off inside one does not make the next job's first
// lines one. Whatever the spooler did not take stays owed to it, in order,
// ahead of the new job's bytes.
Status StartJob(StreamFilterState& state, const StreamJob& job) {
    Status hr = Write(state, job, nullptr, 0, nullptr);
    const int32_t orientation = ReadSettingS16(job.settings, kSettingOrientation.offset);
    state.section = SectionState::Passing;
    state.longLine = false;
    state.inPageComments = false;
    state.pageComments = PageCommentScan{};
    state.defaultOrientation = orientation;
    // Everything held is owed as it is; a section's collected text goes first.
    state.passThroughOwed = state.pending.Length();
    if (hr.Ok()) hr = ForwardOwed(state, job.sink);
    if (hr.Ok()) StartOver(state, orientation);
    return hr;
}

Status Write(StreamFilterState& state, const StreamJob& job, const void* data, size_t count, size_t* written) {
    if (written != nullptr) *written = 0;
    CORE_RETURN_IF(kStatusNullPointer, data == nullptr && count > 0);
    // Whatever of the call is not forwarded at once is kept: refused up front
    // when it could never be held, so a refused call leaves everything as it was.
    CORE_RETURN_IF(kStatusOutOfMemory, state.pending.Length() > state.pending.ByteLimit() ||
                                           count > state.pending.ByteLimit() - state.pending.Length());
    const uint8_t* const bytes = static_cast<const uint8_t*>(data);

    // Something owed means an earlier call failed, and what it left held may
    // not have been examined yet: such a call is not gathered.
    const bool owed = state.unsent.Length() > 0 || state.passThroughOwed > 0 ||
                      (state.section == SectionState::Passing && state.setup.Length() > 0);
    Status hr = kStatusOk;
    if (count >= kJobStart.size() && std::memcmp(data, kJobStart.data(), kJobStart.size()) == 0) {
        hr = StartJob(state, job);
    }
    // First what is owed from earlier calls.
    if (hr.Ok()) hr = ForwardOwed(state, job.sink);
    if (hr.Failed()) {
        // The spooler still fails: the call's bytes wait behind the rest.
        CORE_RETURN_IF_FAILED(state.pending.Append(data, count));
        if (written != nullptr) *written = count;
        return hr;
    }

    if (state.section == SectionState::Passing && count > 0 && count < kGatherWriteBytes && !owed) {
        const bool hadLineEnd = state.pending.CompleteLength() > 0;
        CORE_RETURN_IF_FAILED(state.pending.Append(bytes, count));
        if (written != nullptr) *written = count;
        if (state.pending.Length() < kGatherBytes && !MayDecide(state.pending, hadLineEnd, bytes, count))
            return kStatusOk;
        return ExaminePending(state, job, true);
    }

    // Room for what the call leaves is made before anything is examined, so a
    // call that cannot be kept is refused whole: outside a section at most an
    // undecided tail (and the bytes examined with held ones), inside one the
    // partial line behind the call's last line end (all of the call when a
    // partial line is held already), never more than a long line's start. A
    // section that begins in the call may leave a longer partial line; when
    // even that cannot be kept, the bytes are lost and the failure is what
    // the driver hears.
    size_t room = kMostUndecidedBytes + kStitchBytes;
    if (state.section != SectionState::Passing && !state.longLine) {
        size_t line = state.pending.Length() > 0 ? count : count - CompleteLengthOf(ByteView(bytes, count));
        if (line > kLongSectionLineBytes + kLineEnd.size()) line = kLongSectionLineBytes + kLineEnd.size();
        if (line > room) room = line;
    }
    if (room > count) room = count;
    CORE_RETURN_IF_FAILED(state.pending.Reserve(room));
    if (written != nullptr) *written = count;

    size_t from = 0;
    if (state.pending.Length() > 0) from = ExamineHeld(state, job, bytes, count, hr);
    if (from == count) return hr;

    // Nothing is held: the rest of the call is examined in the driver's
    // buffer, and only what it leaves (undecided bytes, a section's partial
    // line, or what a failure left) is copied.
    Window window(bytes + from, count - from);
    const FilterCall call{state, job, window};
    if (hr.Ok()) hr = Examine(call);
    const Status kept = state.pending.Append(window.Front(), window.Length());
    if (hr.Ok()) hr = kept;
    // Bytes that could not be kept are lost, owed ones among them.
    if (state.passThroughOwed > state.pending.Length()) state.passThroughOwed = state.pending.Length();
    return hr;
}

}  // namespace

bool StreamFilterStateIsSound(const StreamFilterState& state) noexcept {
    const bool passing = state.section == SectionState::Passing;
    return (state.section == SectionState::Passing || state.section == SectionState::FirstPiece ||
            state.section == SectionState::LaterPiece) &&
           (!state.longLine || (!passing && state.setup.Length() == 0)) && (passing || !state.inPageComments) &&
           state.passThroughOwed <= state.pending.Length();
}

Status FilterWrite(StreamFilterState& state, const StreamJob& job, const void* data, size_t count,
                   size_t* taken) noexcept {
    assert(StreamFilterStateIsSound(state));
    const Status hr = Write(state, job, data, count, taken);
    assert(StreamFilterStateIsSound(state));
    // A call that succeeded outside a section leaves at most gathered short
    // writes or undecided bytes, however long the line.
    assert(hr != kStatusOk || state.section != SectionState::Passing || state.pending.Length() < kGatherBytes);
    // Inside one at most a partial line too short to be long.
    assert(hr != kStatusOk || state.section == SectionState::Passing ||
           state.pending.Length() <= kLongSectionLineBytes + kLineEnd.size() - 1);
    return hr;
}

Status FilterFlush(StreamFilterState& state, ByteSink& sink) noexcept {
    // Stream order: rewritten text the spooler has not taken, then the
    // collected part of an unfinished section (as the driver wrote it), then
    // whatever is still pending, a last line without its line end included.
    assert(StreamFilterStateIsSound(state));
    Status hr = kStatusOk;
    const size_t heldBytes = state.unsent.Length() + state.setup.Length() + state.pending.Length();
    LineBuffer* const held[] = {&state.unsent, &state.setup, &state.pending};
    for (LineBuffer* buffer : held) {
        if (hr.Ok() && buffer->Length() > 0) hr = ForwardFront(sink, *buffer, buffer->Length(), kWholeRun);
    }
    RENDER_TRACE("end of document: %zu held bytes sent, result 0x%08lX", heldBytes,
                 static_cast<unsigned long>(static_cast<uint32_t>(hr.Code())));
    StartOver(state, state.defaultOrientation);
    assert(StreamFilterStateIsSound(state));
    return hr;
}
