// The plug-in's side of the feature-code rewriter (core/feature_rewrite.h): the
// templates come from the plug-in module, the user name and today's date from
// the system.
#pragma once

#include "core/feature_rewrite.h"
#include "platform/platform.h"

#include <string>
#include <string_view>

// The job's user name and today's date as Windows gives them.
class SystemJobIdentity final : public JobIdentity {
public:
    Text16 UserName(SettingsView settings) const override;
    Text16 TodaysDate() const override;
};

// Rewrites `piece` with the templates of `module` and the settings block
// (RewriteSetupPieceWith). E_POINTER for a missing module or name,
// E_OUTOFMEMORY when memory runs out (out is then unspecified). Never throws.
HRESULT RewriteSetupPiece(HMODULE module, const WCHAR* documentName, SettingsView settings, std::string_view piece,
                          SectionState section, int orientation, std::string& out) noexcept;
