#include "plugin/settings_view.h"

SettingsSpan SettingsBlockOf(const DEVOBJ* pdevobj) {
    if (pdevobj == nullptr || pdevobj->pOEMDM == nullptr) return SettingsSpan{nullptr, 0};
    return SettingsSpan{static_cast<BYTE*>(pdevobj->pOEMDM) + kPrivatePartHeaderBytes, kSettingsBlockBytes};
}
