// Output stream filter: everything the PostScript driver writes for a job passes
// through it on its way to the spooler. It forwards the stream by whole CR LF
// lines, collects each document and page setup section, has it rewritten with
// the printer's feature blocks and sends the rewritten text in its place.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>

// The rewriter of one collected setup piece, with the contract of
// RewriteSetupPiece / FreeRewrittenText (psfilter/feature_rewrite.h). The
// plug-in uses kFeatureRewriter; tests hand in their own.
struct SetupRewriter {
    DWORD (*rewrite)(HMODULE module, const WCHAR* documentName, const BYTE* settings, size_t settingsSize,
                     const char* text, size_t length, int sectionState, int orientation, char** newText,
                     size_t* newLength);
    void (*release)(char* text);
};
extern const SetupRewriter kFeatureRewriter;

// Rewritten text goes to the spooler in chunks of at most this many bytes.
constexpr size_t kRewrittenChunkBytes = 4096;
// A setup section is cut into pieces only once more than this many bytes of it
// (whole lines) are held without its end marker.
constexpr int32_t kSectionCutThreshold = 100000;

// Values of PluginPdev::sectionState.
constexpr int32_t kPassingThrough = 0;
constexpr int32_t kInSectionFirstPiece = 1;
constexpr int32_t kInSectionLaterPiece = 2;

// Orientations handed to the rewriter.
constexpr int kOrientationPortrait = 1;
constexpr int kOrientationLandscape = 2;
constexpr int kOrientationUnknown = -1;

// IPrintOemPS2::WritePrinter for a device object with its per-device block.
//   - No device object, block or private part: the call goes unchanged to
//     WriteToSpooler, whose result is returned.
//   - A settings block without its identification text: *written = 0, E_FAIL,
//     nothing buffered or forwarded.
//   - data null with count > 0: *written = 0, E_POINTER.
//   - The bytes cannot be buffered: *written = 0, E_OUTOFMEMORY, the buffers as
//     they were.
//   - Otherwise *written = count (the bytes are the filter's from now on) and the
//     result is S_OK, or the first failure of WriteToSpooler (what the spooler
//     did not take stays buffered and goes out first on the next call), or
//     E_OUTOFMEMORY when section text could not be collected (it stays pending
//     and the next call tries again).
// written may be null. Never throws.
//   A trailing line without its line end is held until the line is complete
//   or the document ends (StreamFilterFlush).
HRESULT StreamFilterWritePrinter(PDEVOBJ pdevobj, const void* data, DWORD count, DWORD* written) noexcept;
HRESULT StreamFilterWritePrinter(PDEVOBJ pdevobj, const void* data, DWORD count, DWORD* written,
                                 const SetupRewriter& rewriter) noexcept;

// End of a document: forwards everything the filter still holds for the
// device object unchanged (output the spooler has not taken, the collected part
// of an unfinished section, a last line without its line end) and empties its
// buffers; the section and page-comment states return to passing through. On a
// spooler failure the rest is dropped with the buffers and the failure is
// returned. S_OK when the device object has no block. Never throws.
HRESULT StreamFilterFlush(PDEVOBJ pdevobj) noexcept;
