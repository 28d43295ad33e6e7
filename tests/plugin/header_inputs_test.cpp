#include "plugin/header_inputs.h"

#include "frame_fakes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct HeaderInputsTest : ::testing::Test {
    TestDevice device;
    HeaderInputs inputs{};

    void SetUp() override {
        sim::Reset();
        sim::SetLocalTime(SYSTEMTIME{2026, 12, 1, 7, 9, 30, 0, 0});
    }
    std::u16string UserName() const { return std::u16string(inputs.userName); }
    std::vector<BYTE> CopyBytes(size_t offset, size_t count) const {
        return std::vector<BYTE>(inputs.settings + offset, inputs.settings + offset + count);
    }
    static std::vector<BYTE> Utf16Field(const std::u16string& text, size_t units) {
        std::vector<BYTE> bytes(units * 2, 0);
        std::memcpy(bytes.data(), text.data(), text.size() * 2);
        return bytes;
    }
};

TEST_F(HeaderInputsTest, RefusesABlockWithoutTheIdentification) {
    EXPECT_FALSE(PrepareHeaderInputs(nullptr, inputs));
    device.PutText(0, u"VTA/NQ");
    EXPECT_FALSE(PrepareHeaderInputs(device.Settings(), inputs));
    device.PutText(0, u"VTA/NPX");  // the terminator is part of the identification
    EXPECT_FALSE(PrepareHeaderInputs(device.Settings(), inputs));
    device.PutText(0, u"VTA/NP");
    EXPECT_TRUE(PrepareHeaderInputs(device.Settings(), inputs));
}

TEST_F(HeaderInputsTest, TodaysDateGoesIntoTheCopyOnlyAndTheRestIsCopiedAsIs) {
    for (size_t i = 14; i < 12004; ++i) device.Settings()[i] = static_cast<BYTE>(i * 7);
    device.Settings()[959] = 0;
    device.Settings()[7248] = 0;
    device.PutText(960, u"1999-01-01");
    const std::vector<BYTE> before = device.privatePart;

    ASSERT_TRUE(PrepareHeaderInputs(device.Settings(), inputs));
    EXPECT_EQ(CopyBytes(960, 48), Utf16Field(u"12/7/2026", 24));
    EXPECT_EQ(device.privatePart, before);  // the driver's settings are as they were
    EXPECT_EQ(CopyBytes(0, 960), std::vector<BYTE>(device.Settings(), device.Settings() + 960));
    EXPECT_EQ(CopyBytes(1008, 12000 - 1008), std::vector<BYTE>(device.Settings() + 1008, device.Settings() + 12000));
}

TEST_F(HeaderInputsTest, StoredDateIsKeptWhenTheSwitchAsksForIt) {
    device.Settings()[959] = 1;
    device.PutText(960, u"2025/01/02");
    ASSERT_TRUE(PrepareHeaderInputs(device.Settings(), inputs));
    EXPECT_EQ(CopyBytes(960, 48), Utf16Field(u"2025/01/02", 24));
    EXPECT_EQ(sim::CallCount(sim::Api::GetDateFormatW), 0u);
}

TEST_F(HeaderInputsTest, DateThatCannotBeFormattedLeavesTheCopysDateEmpty) {
    device.PutText(960, u"1999-01-01");
    sim::FailCalls(sim::Api::GetDateFormatW, ERROR_INVALID_PARAMETER);
    ASSERT_TRUE(PrepareHeaderInputs(device.Settings(), inputs));
    EXPECT_EQ(CopyBytes(960, 48), std::vector<BYTE>(48, 0));
}

TEST_F(HeaderInputsTest, StoredUserNameIsCutAfterTwentyCharacters) {
    device.Settings()[7248] = 1;
    device.PutText(7250, u"ABCDEFGHIJKLMNOPQRSTUVWXY");  // 25 characters, past the field's 21 units
    ASSERT_TRUE(PrepareHeaderInputs(device.Settings(), inputs));
    EXPECT_EQ(UserName(), u"ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(sim::CallCount(sim::Api::GetUserNameW), 0u);

    device.PutText(7250, u"Alice");
    ASSERT_TRUE(PrepareHeaderInputs(device.Settings(), inputs));
    EXPECT_EQ(UserName(), u"Alice");
}

TEST_F(HeaderInputsTest, SystemUserNameIsCutOrEmptyWhenItCannotBeHad) {
    sim::SetUserName(u"abcdefghijklmnopqrst");  // exactly 20
    ASSERT_TRUE(PrepareHeaderInputs(device.Settings(), inputs));
    EXPECT_EQ(UserName(), u"abcdefghijklmnopqrst");

    sim::SetUserName(u"abcdefghijklmnopqrstu_vw");  // 24: its first 20 go on
    ASSERT_TRUE(PrepareHeaderInputs(device.Settings(), inputs));
    EXPECT_EQ(UserName(), u"abcdefghijklmnopqrst");

    sim::FailCalls(sim::Api::GetUserNameW, ERROR_ACCESS_DENIED);
    ASSERT_TRUE(PrepareHeaderInputs(device.Settings(), inputs));
    EXPECT_EQ(UserName(), u"");
}

}  // namespace
