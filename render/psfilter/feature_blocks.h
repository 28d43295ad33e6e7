// The feature-block templates as the plug-in module carries them: two resources
// of its own type, found, loaded and checked (the blocks themselves are built
// in the core, core/feature_blocks.h).
#pragma once

#include "core/feature_blocks.h"
#include "platform/platform.h"

constexpr WORD kTemplateResourceType = 20563;  // 0x5053

// The template resource `number` of module: found, loaded, locked and checked
// (CheckedTemplate). No text (empty) when a step fails.
TemplateText LoadTemplate(HMODULE module, int number);

// Both templates of module.
FeatureTemplates LoadFeatureTemplates(HMODULE module);
