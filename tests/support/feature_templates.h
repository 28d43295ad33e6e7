// The two feature-block templates exactly as the plug-in module stores them
// (123 bytes each, no terminator), and a resource table holding them, for tests
// and benchmarks that register a fake module with sim::RegisterModule. Written
// out here rather than read from render/resources/, so that a changed resource
// file shows up as a test failure instead of changing the expectations with it.
#pragma once

#include "platform/host/sim_control.h"
#include "platform/platform.h"

inline constexpr char kFeatureNumericTemplate[] =
    "featurebegin{\r\n%%%%BeginFeature: *%s %d\r\n(%d) /Custom /ProcSet findresource /%s get exec\r\n"
    "%%%%EndFeature\r\n}featurecleanup\r\n";
inline constexpr char kFeatureTextTemplate[] =
    "featurebegin{\r\n%%%%BeginFeature: *%s %s\r\n(%s) /Custom /ProcSet findresource /%s get exec\r\n"
    "%%%%EndFeature\r\n}featurecleanup\r\n";
static_assert(sizeof kFeatureNumericTemplate - 1 == 123 && sizeof kFeatureTextTemplate - 1 == 123,
              "the templates are 123 bytes each");

// Type 20563, names 1 (numeric) and 2 (text), as in the module.
inline const SimResource kFeatureTemplates[2] = {
    {MAKEINTRESOURCEW(20563), MAKEINTRESOURCEW(1), kFeatureNumericTemplate, sizeof kFeatureNumericTemplate - 1},
    {MAKEINTRESOURCEW(20563), MAKEINTRESOURCEW(2), kFeatureTextTemplate, sizeof kFeatureTextTemplate - 1},
};
