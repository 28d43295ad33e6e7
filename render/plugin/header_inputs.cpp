#include "plugin/header_inputs.h"

#include "common/wtext.h"

#include <cstring>

namespace {

// Longest account name the system hands out, terminator included.
constexpr DWORD kSystemUserNameCapacity = 257;

void SettleUserName(SettingsView block, WCHAR (&userName)[kUserNameCapacity]) {
    userName[0] = 0;
    if (ReadSettingU8(block, kUserNameSwitchOffset) != 0) {
        // Read within the field's 21 units; the copy keeps at most 20 of them.
        CopySettingText(block, kUserNameOffset, kUserNameUnits, userName, kUserNameCapacity);
        return;
    }
    DWORD size = kUserNameCapacity;
    if (GetUserNameW(userName, &size)) return;
    userName[0] = 0;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return;
    WCHAR longName[kSystemUserNameCapacity] = {};
    size = kSystemUserNameCapacity;
    if (!GetUserNameW(longName, &size)) return;
    longName[kSystemUserNameCapacity - 1] = 0;
    WTextCopy(userName, kUserNameCapacity, longName);  // keeps the first 20 characters
}

}  // namespace

bool PrepareHeaderInputs(const BYTE* settingsBlock, HeaderInputs& out) {
    const SettingsView block{settingsBlock, kSettingsBlockBytes};
    if (settingsBlock == nullptr || !HasSettingsIdentification(block)) return false;
    SettleUserName(block, out.userName);
    ReadSettingBytes(block, 0, out.settings, kHeaderSettingsSize);
    if (ReadSettingU8(block, kDateSwitchOffset) == 0) {
        SYSTEMTIME now = {};
        GetLocalTime(&now);
        WCHAR date[kDateTextUnits] = {};
        if (GetDateFormatW(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &now, nullptr, date,
                           static_cast<int>(kDateTextUnits)) == 0) {
            std::memset(date, 0, sizeof(date));
        }
        WriteSettingBytes(SettingsSpan{out.settings, kHeaderSettingsSize}, kDateTextOffset, date, sizeof(date));
    }
    return true;
}
