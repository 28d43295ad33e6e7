// Rewriting of one collected setup section: the driver's feature blocks for the
// printer's own features are replaced by blocks that call the printer's Custom
// ProcSet, the extra value blocks are inserted, and a missing orientation block
// is added in front of the section.
#pragma once

#include <cstddef>

#include "platform/platform.h"

// Rewrites `text` (length bytes, need not be zero-terminated) with the settings
// block `settings` (settingsSize bytes, starting with the identification text).
// `module` holds the two feature-block templates; `documentName` is the job's
// document name (may be empty, not null). `sectionState` is the stream filter's
// section state (1 = document setup), `orientation` the page's viewing
// orientation (1 portrait, 2 landscape, -1 take it from the settings).
// The piece is read by length: zero bytes in it are data and are kept.
// Returns 0 and a zero-terminated heap text in *newText / *newLength (length
// without the terminator, which is what counts: the text may hold zero bytes;
// owned by the caller, freed with FreeRewrittenText);
// 87 for missing arguments, 14 when memory runs out, or the failing pass's code.
// On failure *newText is null and *newLength 0.
DWORD RewriteSetupPiece(HMODULE module, const WCHAR* documentName, const BYTE* settings,
                        size_t settingsSize, const char* text, size_t length, int sectionState,
                        int orientation, char** newText, size_t* newLength);

// Frees a text returned by RewriteSetupPiece; null is allowed.
void FreeRewrittenText(char* text);
