// Simulated user and computer names with their buffer rules.
#include "platform/host/sim_control.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class Identity : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
};

TEST_F(Identity, UserNameBufferRules) {
    sim::SetUserName(u"Hanako");
    WCHAR name[21] = {};
    DWORD size = 21;
    ASSERT_TRUE(GetUserNameW(name, &size));
    EXPECT_EQ(std::u16string(name), u"Hanako");
    EXPECT_EQ(size, 7u);  // with the terminator

    size = 6;
    EXPECT_FALSE(GetUserNameW(name, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, 7u);
}

TEST_F(Identity, TooLongUserName) {
    sim::SetUserName(u"ABCDEFGHIJKLMNOPQRSTUVWXY");  // 25 characters
    WCHAR name[21] = {};
    DWORD size = 21;
    EXPECT_FALSE(GetUserNameW(name, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, 26u);
}

TEST_F(Identity, FailingUserName) {
    sim::FailCalls(sim::Api::GetUserNameW, ERROR_ACCESS_DENIED);
    WCHAR name[21] = {u'x'};
    DWORD size = 21;
    EXPECT_FALSE(GetUserNameW(name, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(size, 21u);
    EXPECT_EQ(name[0], u'x');
}

TEST_F(Identity, ComputerNameBufferRules) {
    sim::SetComputerName(u"PRINTSRV01");
    WCHAR name[512] = {};
    DWORD size = 512;
    ASSERT_TRUE(GetComputerNameExW(ComputerNameNetBIOS, name, &size));
    EXPECT_EQ(std::u16string(name), u"PRINTSRV01");
    EXPECT_EQ(size, 10u);  // without the terminator on success

    size = 10;
    EXPECT_FALSE(GetComputerNameExW(ComputerNameNetBIOS, name, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(size, 11u);  // with the terminator when too small
}

TEST_F(Identity, FailingComputerName) {
    sim::FailCalls(sim::Api::GetComputerNameExW, ERROR_NOT_ENOUGH_MEMORY);
    WCHAR name[512] = {};
    DWORD size = 512;
    EXPECT_FALSE(GetComputerNameExW(ComputerNameNetBIOS, name, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(sim::CallCount(sim::Api::GetComputerNameExW), 1u);
}

}  // namespace
