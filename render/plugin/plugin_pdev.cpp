#include "plugin/plugin_pdev.h"

#include "common/spooler_write.h"
#include "settings/private_part.h"

#include <algorithm>
#include <iterator>
#include <utility>

void TakeOverPdevState(PluginPdev& to, PluginPdev& from) noexcept {
    if (&to == &from) return;
    to.driverSendPage = from.driverSendPage;
    to.driverStartDoc = from.driverStartDoc;
    to.driverEndDoc = from.driverEndDoc;
    to.modules = from.modules;
    to.pageCount = from.pageCount;
    std::copy(std::begin(from.documentName), std::end(from.documentName), std::begin(to.documentName));
    to.headerBroken = from.headerBroken;
    to.headerError = from.headerError;
    to.filter = std::move(from.filter);
    from.filter = StreamFilterState{};
}

SettingsSpan SettingsOf(const DEVOBJ* pdevobj) {
    if (pdevobj == nullptr) return SettingsSpan{nullptr, 0};
    return PrivatePartSettings(pdevobj->pOEMDM, kPrivatePartBytes);
}

PluginPdev* PdevOf(const DEVOBJ* pdevobj) {
    if (pdevobj == nullptr) return nullptr;
    return static_cast<PluginPdev*>(pdevobj->pdevOEM);
}

HRESULT WriteToSpooler(PDEVOBJ pdevobj, PVOID pBuf, DWORD cbBuf, PDWORD pcbWritten) {
    if (pdevobj == nullptr) return S_OK;
    if (pdevobj->pdevOEM == nullptr || pdevobj->pOEMDM == nullptr) return E_NOTIMPL;
    DWORD ignored = 0;
    return WriteSpoolerOnce(pdevobj->hPrinter, pBuf, cbBuf, pcbWritten != nullptr ? pcbWritten : &ignored);
}
