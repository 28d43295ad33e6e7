#include "psfilter/feature_rewrite.h"

#include "common/companion_path.h"
#include "common/result_macros.h"
#include "psfilter/feature_blocks.h"
#include "settings/job_identity.h"

static_assert(kDocumentNameUnits == kPathCapacity, "the document name's buffer is a path's");

Text16 SystemJobIdentity::UserName(SettingsView settings) const { return JobUserName(settings); }

Text16 SystemJobIdentity::TodaysDate() const { return TodaysShortDate(); }

HRESULT RewriteSetupPiece(HMODULE module, const WCHAR* documentName, SettingsView settings, std::string_view piece,
                          SectionState section, int orientation, std::string& out) noexcept {
    RETURN_HR_IF(E_POINTER, module == nullptr || documentName == nullptr);
    const SystemJobIdentity identity;
    const RewriteContext context{LoadFeatureTemplates(module), documentName, settings, &identity};
    return RewriteSetupPieceWith(context, piece, section, orientation, out).Code();
}
