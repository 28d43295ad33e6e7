#include "plugin/carry_settings.h"

#include "plugin/plugin_pdev.h"

#include <cstring>

const PublicCarryRow publicCarryTable[] = {
    {84, 2, false},   // dmScale
    {86, 2, true},    // dmCopies: after one page the application's new count applies
    {90, 2, false},   // dmPrintQuality
    {92, 2, false},   // dmColor
    {94, 2, false},   // dmDuplex
    {96, 2, false},   // dmYResolution
    {98, 2, false},   // dmTTOption
    {100, 2, false},  // dmCollate
    {180, 4, false},  // dmNup
};

const PrivateCarryRow privateCarryTable[] = {
    {372, 375, false},   {382, 386, false},   {388, 391, false},   {400, 402, false},   {814, 816, false},
    {818, 822, false},   {824, 951, false},   {954, 1008, false},  {1010, 1137, false}, {1140, 1142, false},
    {1144, 1152, false}, {1223, 1223, false}, {1224, 1225, true},  {1226, 2729, false}, {3230, 3231, false},
    {3746, 3746, false}, {3748, 3764, false}, {3766, 3771, false}, {3774, 3774, false}, {3776, 3782, false},
    {3784, 3792, false}, {3794, 3796, false}, {3798, 3802, false}, {3824, 3828, false}, {3842, 3853, false},
    {3856, 3858, false}, {3860, 4372, false}, {4374, 4376, false}, {4380, 4892, false}, {4894, 4895, false},
    {4902, 4923, false}, {5174, 5432, false}, {5434, 5949, false}, {5952, 7019, false}, {8584, 9083, false},
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
    for (const PublicCarryRow& row : publicCarryTable) {
        if (onePage && row.skipAfterOnePage) continue;
        if (row.offset + row.width > oldSize || row.offset + row.width > newSize) continue;
        std::memcpy(reinterpret_cast<BYTE*>(newPublic) + row.offset,
                    reinterpret_cast<const BYTE*>(oldPublic) + row.offset, row.width);
    }
    for (const PrivateCarryRow& row : privateCarryTable) {
        if (onePage && row.skipAfterOnePage) continue;
        const size_t count = row.last - row.first + 1;
        if (!FieldInside(oldBlock, row.first, count)) continue;
        WriteSettingBytes(newBlock, row.first, oldBlock.data + row.first, count);
    }
}
