#include "plugin/plugin_pdev.h"

#include <algorithm>
#include <iterator>
#include <utility>

void TakeOverPdevState(PluginPdev& to, PluginPdev& from) noexcept {
    if (&to == &from) return;
    to.driverSendPage = from.driverSendPage;
    to.driverStartDoc = from.driverStartDoc;
    to.driverEndDoc = from.driverEndDoc;
    to.pageCount = from.pageCount;
    std::copy(std::begin(from.documentName), std::end(from.documentName), std::begin(to.documentName));
    to.sectionState = from.sectionState;
    to.pageCommentState = from.pageCommentState;
    to.defaultOrientation = from.defaultOrientation;
    to.pendingBuffer = std::move(from.pendingBuffer);
    to.passThroughOwed = from.passThroughOwed;
    from.passThroughOwed = 0;
    to.setupBuffer = std::move(from.setupBuffer);
    to.pageComments = from.pageComments;
    from.pageComments = PageCommentScan{};
    to.unsentBuffer = std::move(from.unsentBuffer);
}

PluginPdev* PdevOf(const DEVOBJ* pdevobj) {
    if (pdevobj == nullptr) return nullptr;
    return static_cast<PluginPdev*>(pdevobj->pdevOEM);
}
