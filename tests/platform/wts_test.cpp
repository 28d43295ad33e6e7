// Simulated terminal services: sessions, messages, failures, handle and memory
// accounting.
#include "platform/host/sim_control.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class Wts : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
};

// The selection the plug-in makes (first active session in enumeration order).
DWORD FirstActive(HANDLE server) {
    PWTS_SESSION_INFOW sessions = nullptr;
    DWORD count = 0;
    DWORD id = 0xFFFFFFFF;
    if (!WTSEnumerateSessionsW(server, 0, 1, &sessions, &count)) return id;
    for (DWORD i = 0; i < count; ++i) {
        if (sessions[i].State == WTSActive) {
            id = sessions[i].SessionId;
            break;
        }
    }
    WTSFreeMemory(sessions);
    return id;
}

TEST_F(Wts, DefaultSessionsHaveOneActiveConsole) {
    HANDLE server = WTSOpenServerW(nullptr);
    ASSERT_NE(server, nullptr);
    PWTS_SESSION_INFOW sessions = nullptr;
    DWORD count = 0;
    ASSERT_TRUE(WTSEnumerateSessionsW(server, 0, 1, &sessions, &count));
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(sessions[0].SessionId, 0u);
    EXPECT_EQ(sessions[0].State, WTSDisconnected);
    EXPECT_EQ(std::u16string(sessions[1].pWinStationName), u"Console");
    EXPECT_EQ(sessions[1].State, WTSActive);
    EXPECT_EQ(sim::UnfreedSessionLists(), 1);
    WTSFreeMemory(sessions);
    EXPECT_EQ(sim::UnfreedSessionLists(), 0);
    EXPECT_EQ(sim::OpenServerHandles(), 1);
    WTSCloseServer(server);
    EXPECT_EQ(sim::OpenServerHandles(), 0);
}

TEST_F(Wts, FirstActiveSessionInEnumerationOrder) {
    sim::SetSessions({{0, WTSDisconnected, u"Services"},
                      {5, WTSActive, u"RDP-Tcp#1"},
                      {2, WTSActive, u"Console"},
                      {7, WTSIdle, u""}});
    HANDLE server = WTSOpenServerW(nullptr);
    EXPECT_EQ(FirstActive(server), 5u);
    sim::SetSessions({{0, WTSDisconnected, u"Services"}});
    EXPECT_EQ(FirstActive(server), 0xFFFFFFFFu);
    WTSCloseServer(server);
    EXPECT_EQ(sim::UnfreedSessionLists(), 0);
}

TEST_F(Wts, SendMessageIsRecordedWithLengths) {
    HANDLE server = WTSOpenServerW(nullptr);
    std::u16string title = u"Error";
    std::u16string text = u"The job was canceled.\n\tErrorNo = 0xA1";
    DWORD response = 0;
    sim::SetMessageResponse(IDCANCEL);
    ASSERT_TRUE(WTSSendMessageW(server, 1, &title[0], static_cast<DWORD>(title.size() * 2), &text[0],
                                static_cast<DWORD>(text.size() * 2), MB_OK, 0, &response, TRUE));
    EXPECT_EQ(response, static_cast<DWORD>(IDCANCEL));
    ASSERT_TRUE(WTSSendMessageW(server, 1, &title[0], 10, &text[0], 4, MB_OK, 30, &response, FALSE));
    EXPECT_EQ(response, static_cast<DWORD>(IDASYNC));

    const auto messages = sim::Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].sessionId, 1u);
    EXPECT_EQ(messages[0].title, u"Error");
    EXPECT_EQ(messages[0].titleLength, 10u);
    EXPECT_EQ(messages[0].text, text);
    EXPECT_EQ(messages[0].textLength, text.size() * 2);
    EXPECT_EQ(messages[0].style, static_cast<DWORD>(MB_OK));
    EXPECT_EQ(messages[0].timeout, 0u);
    EXPECT_TRUE(messages[0].wait);
    EXPECT_EQ(messages[1].text, u"Th");  // exactly the bytes passed
    EXPECT_EQ(messages[1].timeout, 30u);
    EXPECT_FALSE(messages[1].wait);
    WTSCloseServer(server);
}

TEST_F(Wts, MessageToUnknownSessionFails) {
    DWORD response = 0;
    std::u16string t = u"x";
    EXPECT_FALSE(WTSSendMessageW(WTS_CURRENT_SERVER_HANDLE, 42, &t[0], 2, &t[0], 2, MB_OK, 0, &response, TRUE));
    EXPECT_TRUE(sim::Messages().empty());
}

TEST_F(Wts, InjectedFailures) {
    sim::FailCalls(sim::Api::WTSOpenServerW, ERROR_ACCESS_DENIED, 0, 1);
    EXPECT_EQ(WTSOpenServerW(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE server = WTSOpenServerW(nullptr);
    ASSERT_NE(server, nullptr);

    sim::FailCalls(sim::Api::WTSEnumerateSessionsW, ERROR_NOT_ENOUGH_MEMORY, 0, 1);
    PWTS_SESSION_INFOW sessions = nullptr;
    DWORD count = 0;
    EXPECT_FALSE(WTSEnumerateSessionsW(server, 0, 1, &sessions, &count));
    EXPECT_EQ(sessions, nullptr);

    sim::FailCalls(sim::Api::WTSSendMessageW, ERROR_BUSY);
    DWORD response = 0;
    std::u16string t = u"x";
    EXPECT_FALSE(WTSSendMessageW(server, 1, &t[0], 2, &t[0], 2, MB_OK, 0, &response, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUSY));
    EXPECT_TRUE(sim::Messages().empty());
    EXPECT_EQ(sim::CallCount(sim::Api::WTSSendMessageW), 1u);
    WTSCloseServer(server);
}

TEST_F(Wts, EnumerateChecksReservedAndVersion) {
    PWTS_SESSION_INFOW sessions = nullptr;
    DWORD count = 0;
    EXPECT_FALSE(WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 1, 1, &sessions, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 2, &sessions, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
