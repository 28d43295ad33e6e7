// The core's conversions against the system's (the simulated Windows, which
// converts as Windows does, best fit and surrogate pairs included) on generated
// text: UTF-8 and Windows-1252.
#include "core/text_convert.h"

#include "fuzz_support.h"
#include "pjl/pjl_header_parts.h"
#include "platform/host/sim_control.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Units of every kind the header's texts meet.
Char16 AnyUnit(FuzzRng& rng) {
    switch (rng.Below(7)) {
        case 0: return static_cast<Char16>(0x20 + rng.Below(0x5F));
        case 1: return static_cast<Char16>(0x80 + rng.Below(0x80));  // C1 and Latin-1
        case 2: return static_cast<Char16>(0xD800 + rng.Below(0x800));
        case 3: return static_cast<Char16>(0x4E00 + rng.Below(0x5200));
        case 4: return rng.Pick(std::vector<Char16>{0x20AC, 0x2122, 0x0178, 0x201C, 0xFFFD, 0xFFFF, 0});
        case 5: return static_cast<Char16>(rng.Below(0x20));
        default: return static_cast<Char16>(rng.Below(0x10000));
    }
}

TEST(TextConversion, CoreConvertsAsTheSystemOnGeneratedText) {
    sim::Reset();
    const PjlConverters system = SystemPjlConverters();
    FuzzRng rng(2207);
    for (int round = 0; round < 3000; ++round) {
        Text16 text;
        const size_t length = 1 + rng.Below(12);
        for (size_t i = 0; i < length; ++i) text.push_back(AnyUnit(rng));
        std::string core;
        std::string windows;
        ASSERT_TRUE(Utf8Converter().Convert(text, core).Ok());
        ASSERT_TRUE(system.utf8.Convert(text, windows).Ok());
        ASSERT_EQ(core, windows) << "round " << round;
        ASSERT_TRUE(Windows1252Converter().Convert(text, core).Ok());
        ASSERT_TRUE(system.systemCodePage.Convert(text, windows).Ok());
        ASSERT_EQ(core, windows) << "round " << round;
    }
}

// A refusal keeps the system's reason and leaves nothing behind.
TEST(TextConversion, SystemRefusalCarriesItsCause) {
    sim::Reset();
    sim::FailCalls(sim::Api::WideCharToMultiByte, ERROR_INVALID_PARAMETER);
    std::string out = "stale";
    EXPECT_EQ(SystemPjlConverters().utf8.Convert(TEXT16("ABC"), out), Status::FromWin32(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(out.empty());
    sim::Reset();
}

}  // namespace
