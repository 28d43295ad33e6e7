#include "plugin/header_inputs.h"

#include "common/result_macros.h"
#include "common/wtext.h"
#include "settings/job_identity.h"
#include "settings/private_part.h"
#include "core/settings_access.h"

bool PrepareHeaderInputs(const BYTE* settingsBlock, HeaderInputs& out) {
    const SettingsView block{settingsBlock, kSettingsBlockBytes};
    if (settingsBlock == nullptr || !HasSettingsIdentification(block)) return false;
    // Without memory for the name or the date the job still goes on, with the
    // empty text in their place: a header without a name beats a lost job.
    out.userName[0] = 0;
    try {
        WTextCopy(out.userName, kUserNameUnits, JobUserName(block).c_str());
    }
    CATCH_TRACE()
    ReadSettingBytes(block, 0, out.settings, kPjlHeaderSettingsBytes);
    if (ReadField(block, kSettingDateSwitch) == 0) {
        // The copy's date text is replaced whole: today's date, zero-padded.
        WCHAR date[kSettingDateText.Units()] = {};
        try {
            WTextCopy(date, kSettingDateText.Units(), TodaysShortDate().c_str());
        }
        CATCH_TRACE()
        static_assert(sizeof(date) == kSettingDateText.bytes, "the date fills its field");
        WriteFieldBytes(SettingsSpan{out.settings, kPjlHeaderSettingsBytes}, kSettingDateText, date);
    }
    return true;
}
