// The three passes that rewrite a setup piece, one after the other. Each works
// on the piece as a zero-free text and returns 0, 14 when memory runs out, or
// 87 (the replace pass, for an over-long form name). On failure the text may
// be left half rewritten; the caller drops it.
#pragma once

#include "platform/platform.h"
#include "psfilter/feature_tables.h"
#include "settings/settings_access.h"

#include <string>

struct RewriteContext {
    HMODULE module;             // holds the two templates
    const WCHAR* documentName;  // the job's document name, never null
    SettingsView settings;      // the settings block, bounded by what the caller holds
};

// Replaces the driver's blocks of the five replace groups, group after group,
// with blocks whose values come from the settings.
DWORD ReplacePass(const RewriteContext& context, std::string& text);

// Places the 28 blocks of the insert table next to their anchors.
DWORD InsertPass(const RewriteContext& context, std::string& text);

// Puts an orientation block in front of a text that names no orientation.
DWORD OrientationPass(const RewriteContext& context, int orientation, std::string& text);

// The user name the owner-name block falls back to: the stored name when its
// switch is set (at most 20 characters), else the name the thread runs as, cut
// after 20 characters; empty when the system gives none. May throw std::bad_alloc.
WString FeatureUserName(SettingsView settings);

// The date text of the date block: today's local date in the system's short
// date format when the date mode is "today" (empty when that cannot be
// formatted), else the stored date text. May throw std::bad_alloc.
WString FeatureDateText(SettingsView settings);
