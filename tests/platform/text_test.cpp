// Simulated code pages (CP_UTF8, CP_ACP = Windows-1252) and GetDateFormatW.
#include "platform/host/sim_control.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class Text : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
};

std::string Convert(UINT cp, const std::u16string& text, BOOL* usedDefault = nullptr, const char* defaultChar = nullptr,
                    DWORD flags = 0) {
    const int n = WideCharToMultiByte(cp, flags, text.c_str(), static_cast<int>(text.size()), nullptr, 0, defaultChar,
                                      usedDefault);
    std::string out(static_cast<size_t>(n), '\0');
    if (n > 0) {
        const int m = WideCharToMultiByte(cp, flags, text.c_str(), static_cast<int>(text.size()), &out[0], n,
                                          defaultChar, usedDefault);
        EXPECT_EQ(m, n);
    }
    return out;
}

TEST_F(Text, Utf8OfAccentAndSurrogatePair) {
    EXPECT_EQ(Convert(CP_UTF8, u"caf\u00e9"), "caf\xc3\xa9");
    EXPECT_EQ(Convert(CP_UTF8, u"\U0001F600"), "\xf0\x9f\x98\x80");
    EXPECT_EQ(Convert(CP_UTF8, u"\u20ac"), "\xe2\x82\xac");
}

TEST_F(Text, Utf8WithTerminatorCountsIt) {
    char out[16] = {};
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00e9", -1, nullptr, 0, nullptr, nullptr), 3);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00e9", -1, out, sizeof out, nullptr, nullptr), 3);
    EXPECT_EQ(std::string(out, 3), std::string("\xc3\xa9\0", 3));
}

TEST_F(Text, Utf8BufferTooSmall) {
    char out[2] = {'x', 'x'};
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00e9\u00e9", 2, out, 2, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST_F(Text, Utf8RejectsDefaultCharArguments) {
    BOOL used = TRUE;
    char out[8];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, out, 8, nullptr, &used), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(Text, Utf8UnpairedSurrogate) {
    const char16_t lone[] = {u'a', 0xD800, u'b'};
    char out[8] = {};
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, 3, out, 8, nullptr, nullptr), 5);
    EXPECT_EQ(std::string(out, 5),
              "a\xef\xbf\xbd"
              "b");
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, 3, out, 8, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST_F(Text, AnsiIsWindows1252WithQuestionMarkDefault) {
    BOOL used = TRUE;
    EXPECT_EQ(Convert(CP_ACP, u"A\u20ac\u00e9", &used), "A\x80\xe9");
    EXPECT_FALSE(used);
    EXPECT_EQ(Convert(CP_ACP, u"x\u4e00y", &used), "x?y");
    EXPECT_TRUE(used);
    EXPECT_EQ(Convert(CP_ACP, u"\u4e00", &used, "#"), "#");
    EXPECT_TRUE(used);
    EXPECT_EQ(Convert(CP_ACP, u"\u201c\u2122\u0178"), "\x93\x99\x9f");
    // Each unit of a pair is a character without a byte, as on Windows.
    EXPECT_EQ(Convert(CP_ACP, u"\U0001F600", &used), "??");
    EXPECT_TRUE(used);
    EXPECT_EQ(Convert(CP_ACP, u"\U0001F600", nullptr, "#"), "##");
}

TEST_F(Text, AnsiBestFitUnlessRefused) {
    BOOL used = TRUE;
    EXPECT_EQ(Convert(CP_ACP, u"\u0100\u2500\uff5e\u0110\u2248", &used), "A-~\xd0\x98");  // a best fit is no default
    EXPECT_FALSE(used);
    EXPECT_EQ(Convert(CP_ACP, u"\u0100\uff5f", &used), "A?");  // just past the last best fit
    EXPECT_TRUE(used);
    EXPECT_EQ(Convert(CP_ACP, u"\u0100\u20ac", &used, nullptr, WC_NO_BEST_FIT_CHARS), "?\x80");
    EXPECT_TRUE(used);
}

TEST_F(Text, AnsiSizeQueryAndUnsupportedCodePage) {
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, nullptr, 0, nullptr, nullptr), 4);
    char out[4];
    EXPECT_EQ(WideCharToMultiByte(932, 0, u"abc", 3, out, 4, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", 0, out, 4, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(Text, MultiByteToWideCharRoundTrips) {
    WCHAR out[8] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xc3\xa9\xf0\x9f\x98\x80", 6, out, 8), 3);
    EXPECT_EQ(std::u16string(out, 3), u"\u00e9\U0001F600");
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\x80\xe9", 2, out, 8), 2);
    EXPECT_EQ(std::u16string(out, 2), u"\u20ac\u00e9");
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xff", 1, out, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST_F(Text, TestHelpersConvert) {
    EXPECT_EQ(sim::ToUtf16("caf\xc3\xa9"), u"caf\u00e9");
    EXPECT_EQ(sim::ToUtf8(u"\U0001F600"), "\xf0\x9f\x98\x80");
    EXPECT_EQ(sim::ToUtf8(static_cast<const WCHAR*>(nullptr)), "");
}

SYSTEMTIME Day(WORD y, WORD m, WORD d) {
    SYSTEMTIME t{};
    t.wYear = y;
    t.wMonth = m;
    t.wDay = d;
    return t;
}

TEST_F(Text, ShortDateDefaultPatternAndBufferRules) {
    const SYSTEMTIME t = Day(2026, 12, 7);
    EXPECT_EQ(GetDateFormatW(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &t, nullptr, nullptr, 0), 10);
    WCHAR out[24] = {};
    EXPECT_EQ(GetDateFormatW(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &t, nullptr, out, 24), 10);
    EXPECT_EQ(std::u16string(out), u"12/7/2026");
    SetLastError(0);
    EXPECT_EQ(GetDateFormatW(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &t, nullptr, out, 9), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(GetDateFormatW(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &t, nullptr, out, 10), 10);
}

TEST_F(Text, DatePatternsAndPictures) {
    const SYSTEMTIME t = Day(2026, 3, 5);
    WCHAR out[64] = {};
    sim::SetShortDatePattern(u"dd.MM.yyyy");
    EXPECT_EQ(GetDateFormatW(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &t, nullptr, out, 64), 11);
    EXPECT_EQ(std::u16string(out), u"05.03.2026");
    EXPECT_GT(GetDateFormatW(LOCALE_SYSTEM_DEFAULT, DATE_LONGDATE, &t, nullptr, out, 64), 0);
    EXPECT_EQ(std::u16string(out), u"Thursday, March 5, 2026");
    EXPECT_GT(GetDateFormatW(LOCALE_SYSTEM_DEFAULT, 0, &t, u"ddd MMM yy 'd''s' g", out, 64), 0);
    EXPECT_EQ(std::u16string(out), u"Thu Mar 26 d's A.D.");
}

TEST_F(Text, DateFormatRejectsBadInput) {
    SYSTEMTIME bad = Day(2026, 2, 29);
    WCHAR out[24];
    EXPECT_EQ(GetDateFormatW(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &bad, nullptr, out, 24), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    const SYSTEMTIME t = Day(2024, 2, 29);
    EXPECT_EQ(GetDateFormatW(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &t, u"d", out, 24), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
}

TEST_F(Text, DateOfNullIsTheSimulatedClock) {
    SYSTEMTIME now = Day(2031, 1, 2);
    now.wHour = 13;
    sim::SetLocalTime(now);
    SYSTEMTIME read{};
    GetLocalTime(&read);
    EXPECT_EQ(read.wYear, 2031);
    EXPECT_EQ(read.wHour, 13);
    WCHAR out[24] = {};
    EXPECT_EQ(GetDateFormatW(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, out, 24), 9);
    EXPECT_EQ(std::u16string(out), u"1/2/2031");
    sim::UseHostClock();
    GetLocalTime(&read);
    EXPECT_GE(read.wYear, 2024);
}

}  // namespace
