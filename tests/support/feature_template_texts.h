// The two feature-block templates exactly as the plug-in module stores them
// (123 bytes each, no terminator), for tests, fuzz targets and benchmarks.
// Written out here rather than read from render/resources/, so that a changed
// resource file shows up as a test failure instead of changing the expectations
// with it.
#pragma once

#include <string_view>

inline constexpr char kFeatureNumericTemplate[] =
    "featurebegin{\r\n%%%%BeginFeature: *%s %d\r\n(%d) /Custom /ProcSet findresource /%s get exec\r\n"
    "%%%%EndFeature\r\n}featurecleanup\r\n";
inline constexpr char kFeatureTextTemplate[] =
    "featurebegin{\r\n%%%%BeginFeature: *%s %s\r\n(%s) /Custom /ProcSet findresource /%s get exec\r\n"
    "%%%%EndFeature\r\n}featurecleanup\r\n";
static_assert(sizeof kFeatureNumericTemplate - 1 == 123 && sizeof kFeatureTextTemplate - 1 == 123,
              "the templates are 123 bytes each");

// The same as views, as the core takes them.
inline constexpr std::string_view kFeatureNumericText(kFeatureNumericTemplate, sizeof kFeatureNumericTemplate - 1);
inline constexpr std::string_view kFeatureTextText(kFeatureTextTemplate, sizeof kFeatureTextTemplate - 1);
