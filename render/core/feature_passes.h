// The three passes that rewrite a setup piece, one after the other. Each works
// on the piece by length (a zero byte is data) and returns success, or
// kStatusOutOfMemory when memory runs out. On failure the text may be left half
// rewritten; the caller drops it.
#pragma once

#include "core/feature_blocks.h"
#include "core/feature_rewrite.h"
#include "core/feature_tables.h"
#include "core/settings_access.h"

#include <string>

// Replaces the driver's blocks of the five replace groups, group after group,
// with blocks whose values come from the settings. An entry whose value cannot
// be formed (an over-long form name) keeps the driver's block.
Status ReplacePass(const RewriteContext& context, std::string& text);

// Places the 28 blocks of the insert table next to their anchors.
// Blocks are built only where a placement can happen: a block's text does not
// depend on the working text, so building it at its placement gives the same
// bytes as building every block ahead, without formatting the many entries
// whose key or anchor a piece does not hold. (With a template that passed
// LoadTemplate's check, formatting fails only when memory runs out.)
Status InsertPass(const RewriteContext& context, std::string& text);

// Puts an orientation block in front of a text that names no orientation.
Status OrientationPass(const RewriteContext& context, int orientation, std::string& text);

// The date text of the date block: today's local date in the system's short
// date format when the date mode is "today" (empty when that cannot be
// formatted or the context has no identity), else the stored date text. May
// throw std::bad_alloc.
Text16 FeatureDateText(const RewriteContext& context);
