// Output stream filter: everything the PostScript driver writes for a job passes
// through it on its way to the spooler (a ByteSink). It forwards the stream as it arrives,
// holding back only the last few bytes that could still become a marker,
// collects each document and page setup section by whole CR LF lines, has it
// rewritten with the printer's feature blocks and sends the rewritten text in
// its place. Its memory is bounded whatever the length of a line or the kind
// of its line ends, inside a section too, and its time is linear in the bytes
// however the driver cuts its writes.
#pragma once

#include "core/byte_sink.h"
#include "core/feature_blocks.h"
#include "core/feature_rewrite.h"
#include "core/line_buffer.h"
#include "core/settings_access.h"

#include <cstddef>
#include <cstdint>

// Rewritten text goes to the sink in chunks of at most this many bytes.
constexpr size_t kRewrittenChunkBytes = 4096;
// A setup section is cut into pieces only once more than this many bytes of it
// (whole lines) are held without its end marker.
constexpr size_t kSectionCutThreshold = 100000;
// Outside a section a call that succeeded leaves fewer than this many bytes
// held: short writes without a line end gathered to be examined together, or
// the few bytes at the end that could still become a marker.
constexpr size_t kGatherBytes = 4096;
// Inside a section a line with no CR LF among its first this many bytes + 2
// is long: the collected text in front of it is rewritten as a piece of its
// own, and the line goes out unchanged as its bytes arrive, so one line costs
// no memory however long it is. Any such line would take a section over the
// cut threshold on its own.
constexpr size_t kLongSectionLineBytes = kSectionCutThreshold;

// What choosing a page's orientation needs of its comments, so a page whose
// comments never end costs no memory.
struct PageCommentScan {
    bool lineEnd = false;    // a whole comment line was collected
    bool portrait = false;   // "%%ViewingOrientation: 1 0 0 1\r\n" was among them
    bool landscape = false;  // "%%ViewingOrientation: 0 1 -1 0\r\n" was among them
};

// What the filter keeps for one device object between calls. Moving it hands
// the buffers over (a settings change in mid-document does that).
//
// Between calls (StreamFilterStateIsSound, checked by debug assertions
// whenever the filter is entered and left):
//   - `section` is one of its three values;
//   - outside a section `setup` holds nothing but what a section of an
//     ended job left for the spooler (it goes out ahead of everything else
//     pending), and inside one no page's comments are open (`inPageComments`
//     is false);
//   - while a long line is forwarded (`longLine`) the filter is inside a
//     section and `setup` is empty;
//   - what the spooler still owes of examined bytes is held, at the front of
//     `pending` (passThroughOwed <= pending.Length()).
// And after a call that succeeded outside a section, `pending` holds fewer
// than kGatherBytes bytes (not after a failure: the spooler's debt and what
// followed it are kept whole); inside one it holds at most a partial line of
// kLongSectionLineBytes + 1 bytes.
struct StreamFilterState {
    SectionState section = SectionState::Passing;
    bool inPageComments = false;  // between "%%Page:" and "%%EndPageComments"
    bool longLine = false;        // inside a section, a long line is going out as it arrives
    // Until a job's PostScript starts: no orientation known, so the rewriter
    // falls back to the settings block's orientation field.
    int32_t defaultOrientation = kOrientationUnknown;
    // Received, not yet forwarded or collected: outside a section gathered
    // short writes or the few bytes that could still become a marker, inside
    // one a partial line (of a long line at most kGatherBytes and the few
    // bytes that could still start an end marker), after a
    // spooler failure also what the spooler still owes.
    LineBuffer pending;
    // The first bytes of `pending` that were examined already and are owed to
    // the spooler unchanged (it failed part-way through them).
    size_t passThroughOwed = 0;
    LineBuffer setup;  // the collected part of the current section
    PageCommentScan pageComments;
    // Text that took a setup piece's place and the spooler has not taken yet;
    // it goes out ahead of everything still pending.
    LineBuffer unsent;
    // The feature templates of the device's jobs as the host checked them
    // once (views into the host's own data, which outlive the state), kept
    // across jobs.
    FeatureTemplates templates;
    bool haveTemplates = false;
};

// The job a call belongs to: where its output goes, what rewrites a collected
// piece (FeatureRewriter, or a test's own) and the device's settings block,
// identification checked.
struct StreamJob {
    ByteSink& sink;
    PieceRewriter& rewriter;
    SettingsView settings;
};

// The driver's write of `count` bytes at `data`. *taken (may be null) is count
// once the bytes are the filter's, else 0.
//   - data null with count > 0: kStatusNullPointer.
//   - the bytes cannot be buffered: kStatusOutOfMemory, the state as it was.
//   - otherwise success, or the first failure of the sink (what it did not
//     take stays and goes out first on the next call), or kStatusOutOfMemory
//     when section text could not be collected (it stays pending for the next
//     call) or, in a call that begins a section, its last partial line cannot
//     be kept (those bytes are lost).
// Outside a section a call that succeeded leaves fewer than kGatherBytes bytes
// held: short writes gathered to be examined together, or an end that could
// still become a marker; inside one a trailing line without its line end is
// held until the line is complete, is long, or the document ends
// (FilterFlush). A call that begins with "%!PS-" starts a new job: what the
// filter still holds goes out unchanged first, as at the end of a document,
// and a failure in doing so is the call's. Which bytes reach the sink does not
// depend on how the driver cuts its writes, but for where a new job starts.
Status FilterWrite(StreamFilterState& state, const StreamJob& job, const void* data, size_t count,
                   size_t* taken) noexcept;

// Whether the state keeps the invariants written on StreamFilterState.
bool StreamFilterStateIsSound(const StreamFilterState& state) noexcept;

// End of a document: forwards everything the state still holds unchanged (text
// the sink has not taken, the collected part of an unfinished section, a last
// line without its line end), empties the buffers and returns to passing
// through. On a sink failure the rest is dropped all the same and the failure
// returned.
Status FilterFlush(StreamFilterState& state, ByteSink& sink) noexcept;
