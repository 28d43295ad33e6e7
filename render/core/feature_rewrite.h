// Rewriting of one collected setup section: the driver's feature blocks for the
// printer's own features are replaced by blocks that call the printer's Custom
// ProcSet, the extra value blocks are inserted, and a missing orientation block
// is added in front of the section.
#pragma once

#include "core/core_types.h"
#include "core/feature_blocks.h"
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

// The per-device buffer of the job's document name holds this many units; a
// name is never read past it.
constexpr size_t kDocumentNameUnits = 520;

// What a rewrite asks of the system it runs on, and only when a block needs
// it. Either may throw std::bad_alloc.
class JobIdentity {
public:
    // The user name the job's owner block carries when the settings name none.
    virtual Text16 UserName(SettingsView settings) const = 0;
    // Today's date in the system's short date format (empty when it cannot
    // be formatted).
    virtual Text16 TodaysDate() const = 0;

protected:
    ~JobIdentity() = default;
};

// What a rewrite works with, the same for every piece of a job.
struct RewriteContext {
    FeatureTemplates templates;   // checked once for the job
    const Char16* documentName;   // the job's document name (may be empty, never null)
    SettingsView settings;        // the settings block, bounded by what the caller holds
    const JobIdentity* identity;  // null: no user name and no date of today
};

// Rewrites `piece` (read by length: zero bytes are data and are kept) with the
// context. A first piece gets an orientation block in front unless it names
// one. On success `out` is the new text; kStatusNullPointer for a missing
// name, kStatusOutOfMemory when memory runs out (out is then unspecified).
Status RewriteSetupPieceWith(const RewriteContext& context, std::string_view piece, SectionState section,
                             int orientation, std::string& out) noexcept;

// A collected piece's rewrite, as the stream filter asks for it.
class PieceRewriter {
public:
    virtual Status Rewrite(std::string_view piece, SectionState section, int orientation,
                           std::string& out) noexcept = 0;

protected:
    ~PieceRewriter() = default;
};

// The feature-code rewriter of one job.
class FeatureRewriter final : public PieceRewriter {
public:
    explicit FeatureRewriter(const RewriteContext& context) : context_(context) {}
    Status Rewrite(std::string_view piece, SectionState section, int orientation, std::string& out) noexcept override {
        return RewriteSetupPieceWith(context_, piece, section, orientation, out);
    }

private:
    RewriteContext context_;
};
