// The PJL converters over the system's own conversions.
#include "core/pjl_steps.h"

#include "common/wtext.h"
#include "pjl/pjl_header_parts.h"
#include "platform/host/sim_control.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string LookupSettingLines(int32_t setting, int32_t key, const PjlValue& value) {
    return LookupSettingLines(setting, key, value, SystemPjlConverters());
}

// The system's ANSI code page (1252 on the simulated machine) with its default
// replacement character.
TEST(LookupSettingLines, AnsiTextUsesTheAnsiCodePage) {
    sim::Reset();
    EXPECT_EQ(LookupSettingLines(413, -1, PjlText(WIDE("\u00E9\u3042"))), "@PJL SET PASSWORD=\xE9?\r\n");
}

// A conversion the system refuses leaves the value empty, not the line.
TEST(LookupSettingLines, FailedConversionsGiveEmptyValues) {
    sim::Reset();
    sim::FailCalls(sim::Api::WideCharToMultiByte, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(LookupSettingLines(409, -1, PjlText(WIDE("ABC"))), "@PJL SET USERNAME=\r\n");
    EXPECT_EQ(LookupSettingLines(413, -1, PjlText(WIDE("1234"))), "@PJL SET PASSWORD=\r\n");
    sim::Reset();
}

}  // namespace
