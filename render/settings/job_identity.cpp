#include "settings/job_identity.h"

#include <new>
#include <vector>

namespace {

// Longest account name the system hands out, terminator included.
constexpr DWORD kSystemUserNameCapacity = 257;

}  // namespace

WString JobUserName(SettingsView block) {
    if (ReadField(block, kSettingUserNameSwitch) != 0) {
        WString stored;
        if (ReadFieldText(block, kSettingUserName, stored).Failed()) throw std::bad_alloc();
        if (stored.size() > kJobUserNameMaxChars) stored.resize(kJobUserNameMaxChars);
        return stored;
    }
    WCHAR name[kUserNameUnits] = {};
    DWORD size = kUserNameUnits;
    if (GetUserNameW(name, &size)) {
        return WString(name, WTextLengthBounded(name, kJobUserNameMaxChars));
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return WString();
    // A longer account name goes on as its first 20 characters.
    std::vector<WCHAR> longName(kSystemUserNameCapacity, 0);
    size = kSystemUserNameCapacity;
    if (!GetUserNameW(longName.data(), &size)) return WString();
    return WString(longName.data(), WTextLengthBounded(longName.data(), kJobUserNameMaxChars));
}

WString TodaysShortDate() {
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    constexpr size_t units = kSettingDateText.Units();
    WCHAR date[units] = {};
    if (GetDateFormatW(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, static_cast<int>(units)) == 0) {
        return WString();
    }
    return WString(date, WTextLengthBounded(date, units - 1));
}
