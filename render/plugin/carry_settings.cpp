#include "plugin/carry_settings.h"

#include "plugin/plugin_pdev.h"
#include "core/settings_fields.h"

#include <cstddef>
#include <cstring>

constexpr PublicCarryRow kPublicCarryTable[kPublicCarryRows] = {
    {offsetof(DEVMODEW, dmScale), sizeof(DEVMODEW::dmScale), false},
    {offsetof(DEVMODEW, dmCopies), sizeof(DEVMODEW::dmCopies), true},  // after one page the new count applies
    {offsetof(DEVMODEW, dmPrintQuality), sizeof(DEVMODEW::dmPrintQuality), false},
    {offsetof(DEVMODEW, dmColor), sizeof(DEVMODEW::dmColor), false},
    {offsetof(DEVMODEW, dmDuplex), sizeof(DEVMODEW::dmDuplex), false},
    {offsetof(DEVMODEW, dmYResolution), sizeof(DEVMODEW::dmYResolution), false},
    {offsetof(DEVMODEW, dmTTOption), sizeof(DEVMODEW::dmTTOption), false},
    {offsetof(DEVMODEW, dmCollate), sizeof(DEVMODEW::dmCollate), false},
    {offsetof(DEVMODEW, dmNup), sizeof(DEVMODEW::dmNup), false},
};

namespace {

// From the first byte of field `first` to the last byte of field `last` (or of
// `first` alone), and `beyond` bytes further.
constexpr PrivateCarryRow Carry(const char* first, const char* last = nullptr, size_t beyond = 0) {
    const SettingField end = FieldNamed(last != nullptr ? last : first);
    return PrivateCarryRow{FieldNamed(first).offset, size_t{end.offset} + end.bytes - 1 + beyond, false};
}

constexpr PrivateCarryRow NotAfterOnePage(PrivateCarryRow row) { return PrivateCarryRow{row.first, row.last, true}; }

}  // namespace

// The binding group runs one byte past ZTReverseOrder, into a byte no field names.
constexpr PrivateCarryRow kPrivateCarryTable[kPrivateCarryRows] = {
    Carry("ZTDuplex", "ZTDuplexMixedPage"),
    Carry("ZTMixedPageSize", "ZTManualZoom"),
    Carry("ZTZoomRate", "OutputPaper"),
    Carry("ZTMultiUp", "ZTBooklet"),
    Carry("ZTHeaderFooterPrint", "ZTPageNumTransparent"),
    Carry("ZTPageNumStartNum", "ZTPageNumPosition"),
    Carry("ZTStampPageFont"),
    Carry("ZTStampPageSize", "ZTDatePosition"),
    Carry("ZTStampDateFont"),
    Carry("ZTStampDateSize", "ZTRotate"),
    Carry("ZTBinding", "ZTReverseOrder", 1),
    Carry("ZTOutputMode"),
    NotAfterOnePage(Carry("CopyCount")),
    Carry("ZTWaitAfterProof", "PageTrayTray2"),
    Carry("ZTOutputMethod", "ZTOutputBox"),
    Carry("ZTImageShift"),
    Carry("ZTImageShiftFrontV", "ZTStapleMode"),
    Carry("ZTPunchMode", "ZTBookletSplitting"),
    Carry("ZTBookletGutter"),
    Carry("ZTBookletGutterDistance", "ZTWaitingExceptCover"),
    Carry("ZTBookletCoverSheetTray", "ZTFrontCoverSheet"),
    Carry("ZTFrontCoverSheetTray", "ZTBackCoverSheet"),
    Carry("ZTBackCoverSheetTray", "ZTContinuousOutput"),
    Carry("ZTDitherType", "ZTGammaAdjustment"),
    Carry("ZTGCBrightness", "ZTGCBlack"),
    Carry("ZTGCRed", "ZTColorProfile"),
    Carry("ZTOutputProfileSelection", "ZTRenderingIntent"),
    Carry("ZTMaxDrops", "ZTBarcodeArea"),
    Carry("ZTBarcodeSelection", "ZTBarcodeProof"),
    Carry("ZTBarcodeDensity"),
    Carry("ZTEnvelopeImageProcessing", "ZTPrintSpeed"),
    Carry("ZTJobComment", "ZTJobName"),
    Carry("ZTJobNameInfo", "ZTFormSeparate"),
    Carry("ZTFormSelect1", "ZTOwnerNameInfo"),
    Carry("PageTrayExternalFeeder"),
};

void CarryJobSettings(const DEVOBJ* oldDevice, DEVOBJ* newDevice, int32_t pageCount) {
    if (pageCount <= 0) return;
    if (oldDevice == nullptr || newDevice == nullptr) return;
    const DEVMODEW* oldPublic = oldDevice->pPublicDM;
    DEVMODEW* newPublic = newDevice->pPublicDM;
    const SettingsView oldBlock = AsView(SettingsOf(oldDevice));
    const SettingsSpan newBlock = SettingsOf(newDevice);
    if (oldPublic == nullptr || newPublic == nullptr || oldBlock.data == nullptr || newBlock.data == nullptr) return;

    const bool onePage = pageCount == 1;
    const size_t oldSize = oldPublic->dmSize;
    const size_t newSize = newPublic->dmSize;
    for (const PublicCarryRow& row : kPublicCarryTable) {
        if (onePage && row.skipAfterOnePage) continue;
        if (row.offset + row.width > oldSize || row.offset + row.width > newSize) continue;
        std::memcpy(reinterpret_cast<BYTE*>(newPublic) + row.offset,
                    reinterpret_cast<const BYTE*>(oldPublic) + row.offset, row.width);
    }
    for (const PrivateCarryRow& row : kPrivateCarryTable) {
        if (onePage && row.skipAfterOnePage) continue;
        const size_t count = row.last - row.first + 1;
        if (!FieldInside(oldBlock, row.first, count)) continue;
        WriteSettingBytes(newBlock, row.first, oldBlock.data + row.first, count);
    }
}
