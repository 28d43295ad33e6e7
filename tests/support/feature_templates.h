// A resource table holding the two feature-block templates
// (feature_template_texts.h), for tests and benchmarks that register a fake
// module with sim::RegisterModule.
#pragma once

#include "feature_template_texts.h"
#include "platform/host/sim_control.h"
#include "platform/platform.h"

// Type 20563, names 1 (numeric) and 2 (text), as in the module.
inline const SimResource kFeatureTemplates[2] = {
    {MAKEINTRESOURCEW(20563), MAKEINTRESOURCEW(1), kFeatureNumericTemplate, sizeof kFeatureNumericTemplate - 1},
    {MAKEINTRESOURCEW(20563), MAKEINTRESOURCEW(2), kFeatureTextTemplate, sizeof kFeatureTextTemplate - 1},
};
