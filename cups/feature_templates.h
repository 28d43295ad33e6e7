// The two feature-block templates, compiled in from the files the plug-in's
// module resources are made of (render/resources/feature_numeric.txt and
// feature_text.txt), byte for byte: the filter writes the same blocks.
#pragma once

#include <string_view>

namespace cups {

std::string_view NumericTemplate();
std::string_view TextTemplate();

}  // namespace cups
