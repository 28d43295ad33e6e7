// Rewriting of one collected setup section: the driver's feature blocks for the
// printer's own features are replaced by blocks that call the printer's Custom
// ProcSet, the extra value blocks are inserted, and a missing orientation block
// is added in front of the section.
#pragma once

#include "platform/platform.h"
#include "core/settings_access.h"

#include <cstdint>
#include <string>
#include <string_view>

// Where the stream filter stands in a setup section.
enum class SectionState : int32_t {
    Passing = 0,     // outside any section
    FirstPiece = 1,  // inside one, nothing of it rewritten yet
    LaterPiece = 2   // inside one, a piece already rewritten and sent
};

// A page's viewing orientation as the filter hands it to the rewriter.
constexpr int kOrientationPortrait = 1;
constexpr int kOrientationLandscape = 2;
constexpr int kOrientationUnknown = -1;  // the settings' orientation field decides

// Rewrites `piece` (read by length: zero bytes are data and are kept) with the
// settings block. `module` holds the two feature-block templates; `documentName`
// is the job's document name (may be empty). A first piece gets an orientation
// block in front unless it names one. On S_OK `out` is the new text; E_POINTER
// for a missing module or name, E_OUTOFMEMORY when memory runs out (out is then
// unspecified). Never throws.
HRESULT RewriteSetupPiece(HMODULE module, const WCHAR* documentName, SettingsView settings, std::string_view piece,
                          SectionState section, int orientation, std::string& out) noexcept;
