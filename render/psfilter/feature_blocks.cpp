#include "psfilter/feature_blocks.h"

TemplateText LoadTemplate(HMODULE module, int number) {
    const TemplateText none;
    if (module == nullptr) return none;
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(number), MAKEINTRESOURCEW(kTemplateResourceType));
    if (info == nullptr) return none;
    HGLOBAL loaded = LoadResource(module, info);
    if (loaded == nullptr) return none;
    const DWORD size = SizeofResource(module, info);
    const void* data = LockResource(loaded);
    if (data == nullptr || size == 0) return none;
    return CheckedTemplate(TemplateText(static_cast<const char*>(data), size), number);
}

FeatureTemplates LoadFeatureTemplates(HMODULE module) {
    return FeatureTemplates{LoadTemplate(module, kNumericTemplate), LoadTemplate(module, kTextTemplate)};
}
