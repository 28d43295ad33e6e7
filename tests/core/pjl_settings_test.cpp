// The PJL settings table, its index and the six converters.
#include "core/pjl_steps.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <set>
#include <string>

namespace {

// The core's own conversions, as a host without Windows uses them.
const PjlConverters kConverters{Utf8Converter(), Windows1252Converter()};

std::string LookupSettingLines(int32_t setting, int32_t key, const PjlValue& value) {
    return LookupSettingLines(setting, key, value, kConverters);
}

std::string Repeat(const std::string& piece, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) out += piece;
    return out;
}

Text16 RepeatW(const Text16& piece, size_t times) {
    Text16 out;
    for (size_t i = 0; i < times; ++i) out += piece;
    return out;
}

size_t Occurrences(const char* text, const char* needle) {
    size_t count = 0;
    for (const char* p = std::strstr(text, needle); p != nullptr; p = std::strstr(p + 1, needle)) ++count;
    return count;
}

// Rows present, settings in range, one run per setting and no key twice are
// checked while the table compiles; what is left is its extent.
TEST(kPjlSettingTable, HasItsShape) {
    std::set<int32_t> settings;
    for (const PjlSettingRow& row : kPjlSettingTable) settings.insert(row.setting);
    EXPECT_EQ(settings.size(), 127u);
    EXPECT_EQ(kPjlSettingTable[0].setting, 0);
    EXPECT_EQ(kPjlSettingTable[kPjlSettingRowCount - 1].setting, 805);
}

// Each converter can only fill the placeholder its kind expects.
TEST(kPjlSettingTable, AssignmentsFitTheirConverters) {
    for (const PjlSettingRow& row : kPjlSettingTable) {
        const char* a = row.assignment;
        SCOPED_TRACE(a);
        EXPECT_NE(std::strchr(a, '='), nullptr);
        switch (row.converter) {
            case PjlConverterKind::Fixed:
                EXPECT_EQ(std::strchr(a, '%'), nullptr);
                EXPECT_EQ(std::strchr(a, '|'), nullptr);
                break;
            case PjlConverterKind::Split:
                EXPECT_EQ(std::strchr(a, '%'), nullptr);
                EXPECT_NE(std::strchr(a, '|'), nullptr);
                break;
            case PjlConverterKind::Number:
                EXPECT_EQ(Occurrences(a, "%"), 1u);
                EXPECT_EQ(Occurrences(a, "%d"), 1u);
                break;
            default:
                EXPECT_EQ(Occurrences(a, "%"), 1u);
                EXPECT_EQ(Occurrences(a, "%s"), 1u);
                EXPECT_EQ(row.key, -1);
                break;
        }
    }
}

// Every row is found by its setting and key: the lines begin with the row's own
// variable, whatever the converter makes of the value.
TEST(LookupSettingLines, FindsEveryRowOfTheTable) {
    const Char16 text[] = TEXT16("x");
    for (const PjlSettingRow& row : kPjlSettingTable) {
        const std::string assignment(row.assignment);
        const std::string start = "@PJL SET " + assignment.substr(0, assignment.find('=') + 1);
        EXPECT_EQ(LookupSettingLines(row.setting, row.key, PjlValue{1, text, 1}).compare(0, start.size(), start), 0)
            << row.setting << " key " << row.key;
    }
}

TEST(LookupSettingLines, FixedAndSplitRows) {
    EXPECT_EQ(LookupSettingLines(0, 0, PjlNoValue()), "@PJL SET ZTOUTPUTMODE=AUTO\r\n");
    EXPECT_EQ(LookupSettingLines(201, 13, PjlNoValue()), "@PJL SET ZTPRINTDENSITY=-3\r\n");
    EXPECT_EQ(LookupSettingLines(1, 1, PjlNoValue()), "@PJL SET DUPLEX=OFF\r\n");
    EXPECT_EQ(LookupSettingLines(1, 2, PjlNoValue()), "@PJL SET DUPLEX=ON\r\n@PJL SET BINDING=LONGEDGE\r\n");
    EXPECT_EQ(LookupSettingLines(1, 3, PjlNoValue()), "@PJL SET DUPLEX=ON\r\n@PJL SET BINDING=SHORTEDGE\r\n");
    EXPECT_EQ(LookupSettingLines(18, 7, PjlNoValue()), "@PJL SET AUTOSELECT=ON\r\n");
    EXPECT_EQ(LookupSettingLines(18, 258, PjlNoValue()), "@PJL SET AUTOSELECT=OFF\r\n@PJL SET MEDIASOURCE=TRAY1\r\n");
    EXPECT_EQ(LookupSettingLines(310, 255, PjlNoValue()), "@PJL SET ZTBOOKLETSPLITTING=AUTO\r\n");
    EXPECT_EQ(LookupSettingLines(5, 256, PjlNoValue()), "@PJL SET ZTPAGESIZE=CUSTOMSIZE\r\n");
    EXPECT_EQ(LookupSettingLines(15, 0, PjlNoValue()), "@PJL SET PAPER=AUTO\r\n");
    EXPECT_EQ(LookupSettingLines(24, 267, PjlNoValue()), "@PJL SET MEDIATYPE=PLAINPREMIUM\r\n");
    EXPECT_EQ(LookupSettingLines(416, 11, PjlNoValue()), "@PJL SET ZTPRINTSPEED=LOWSPEED\r\n");
}

TEST(LookupSettingLines, UnknownKeysAndSettingsGiveNothing) {
    EXPECT_EQ(LookupSettingLines(201, 4, PjlNoValue()), "");
    EXPECT_EQ(LookupSettingLines(310, -1, PjlNoValue()), "");  // the signed reading of a stored -1
    EXPECT_EQ(LookupSettingLines(4, 0, PjlNumber(3)), "");
    EXPECT_EQ(LookupSettingLines(14, 0, PjlNumber(100)), "");  // value rows answer only to -1
    EXPECT_EQ(LookupSettingLines(110, -1, PjlNumber(1)), "");
    EXPECT_EQ(LookupSettingLines(-1, 0, PjlNoValue()), "");
    EXPECT_EQ(LookupSettingLines(1000, 0, PjlNoValue()), "");
    EXPECT_EQ(LookupSettingLines(INT_MIN, 0, PjlNoValue()), "");
}

TEST(LookupSettingLines, NumberRows) {
    EXPECT_EQ(LookupSettingLines(14, -1, PjlNumber(100)), "@PJL SET ZTZOOMRATE=100\r\n");
    EXPECT_EQ(LookupSettingLines(151, -1, PjlNumber(-150)), "@PJL SET ZTIMAGESHIFTFRONTV=-150\r\n");
    EXPECT_EQ(LookupSettingLines(4, 1, PjlNumber(3)), "@PJL SET COPIES=3\r\n");
    EXPECT_EQ(LookupSettingLines(4, 2, PjlNumber(3)), "@PJL SET QTY=3\r\n");
    EXPECT_EQ(LookupSettingLines(27, -1, PjlNumber(45)), "@PJL SET ZTOUTPUTBOX=SHAREDBOX45\r\n");
    EXPECT_EQ(LookupSettingLines(6, -1, PjlNumber(INT_MIN)), "@PJL SET ZTPAGESIZEWIDTH=-2147483648\r\n");
    EXPECT_EQ(LookupSettingLines(7, -1, PjlNumber(INT_MAX)), "@PJL SET ZTPAGESIZEHEIGHT=2147483647\r\n");
}

TEST(LookupSettingLines, HexTextRows) {
    EXPECT_EQ(LookupSettingLines(409, -1, PjlText(TEXT16("ABC"))), "@PJL SET USERNAME=414243\r\n");
    EXPECT_EQ(LookupSettingLines(409, -1, PjlText(TEXT16("a\u00E9"))), "@PJL SET USERNAME=61C3A9\r\n");
    // A pair of surrogates is one character of four UTF-8 bytes.
    EXPECT_EQ(LookupSettingLines(411, -1, PjlText(TEXT16("\U0001F600"))), "@PJL SET JOBNAME=F09F9880\r\n");
    EXPECT_EQ(LookupSettingLines(116, -1, PjlText(TEXT16("12/7/2026"))), "@PJL SET ZTDATEINFO=31322F372F32303236\r\n");
    EXPECT_EQ(LookupSettingLines(411, -1, PjlText(TEXT16(""))), "@PJL SET JOBNAME=\r\n");
    EXPECT_EQ(LookupSettingLines(411, -1, PjlText(nullptr)), "@PJL SET JOBNAME=\r\n");
    // The digits of bytes with the high bit set are not sign-extended.
    EXPECT_EQ(LookupSettingLines(415, -1, PjlText(TEXT16("\u00FF"))), "@PJL SET ZTJOBCOMMENT=C3BF\r\n");
}

TEST(LookupSettingLines, AnsiTextRows) {
    EXPECT_EQ(LookupSettingLines(413, -1, PjlText(TEXT16("1234"))), "@PJL SET PASSWORD=1234\r\n");
    EXPECT_EQ(LookupSettingLines(20, -1, PjlText(TEXT16("1,3-5"))), "@PJL SET ZTPAGETRAYSTANDARD=1,3-5\r\n");
    EXPECT_EQ(LookupSettingLines(20, -1, PjlText(TEXT16(""))), "@PJL SET ZTPAGETRAYSTANDARD=\r\n");
    EXPECT_EQ(LookupSettingLines(800, -1, PjlText(TEXT16("2.00"))), "@PJL SET ZTPJLVERSION=2.00\r\n");
    // No "%" in a value is taken for a format.
    EXPECT_EQ(LookupSettingLines(413, -1, PjlText(TEXT16("%s%d%n"))), "@PJL SET PASSWORD=%s%d%n\r\n");
}

// A CR LF stored in the secret number would otherwise end the line and start
// a line of its own in the header; DEL is a control character as well.
TEST(LookupSettingLines, AnsiTextDropsControlCharacters) {
    EXPECT_EQ(LookupSettingLines(413, -1, PjlText(TEXT16("12\r\n@PJL SET X=1"))),
              "@PJL SET PASSWORD=12@PJL SET X=1\r\n");
    EXPECT_EQ(LookupSettingLines(413, -1, PjlText(TEXT16("\t\x1F 9\x7F"))), "@PJL SET PASSWORD= 9\r\n");
    EXPECT_EQ(LookupSettingLines(413, -1, PjlText(TEXT16("\x7F") TEXT16("1\x7F\x7F") TEXT16("2~"))),
              "@PJL SET PASSWORD=12~\r\n");
}

TEST(LookupSettingLines, HostNameKeepsItsFirst255Units) {
    const Text16 name = RepeatW(TEXT16("A"), 300);
    EXPECT_EQ(LookupSettingLines(805, -1, PjlText(name.c_str())), "@PJL SET ZTHOSTNAME=" + Repeat("41", 255) + "\r\n");
    const Text16 exact = RepeatW(TEXT16("B"), 255);
    EXPECT_EQ(LookupSettingLines(805, -1, PjlText(exact.c_str())), "@PJL SET ZTHOSTNAME=" + Repeat("42", 255) + "\r\n");
    EXPECT_EQ(LookupSettingLines(805, -1, PjlText(TEXT16("PC1"))), "@PJL SET ZTHOSTNAME=504331\r\n");
}

// The limit counts units: when the 255th and 256th form one character, the
// 255th alone is kept and converts to the replacement character.
TEST(LookupSettingLines, HostNameLimitCountsUnitsNotCharacters) {
    const Text16 name = RepeatW(TEXT16("A"), 254) + TEXT16("\U0001F600") + TEXT16("Z");
    EXPECT_EQ(LookupSettingLines(805, -1, PjlText(name.c_str())),
              "@PJL SET ZTHOSTNAME=" + Repeat("41", 254) + "EFBFBD\r\n");
    const Text16 pairAtTheEnd = RepeatW(TEXT16("A"), 253) + TEXT16("\U0001F600") + TEXT16("Z");
    EXPECT_EQ(LookupSettingLines(805, -1, PjlText(pairAtTheEnd.c_str())),
              "@PJL SET ZTHOSTNAME=" + Repeat("41", 253) + "F09F9880\r\n");
}

// No line may reach 4096 bytes: the header is written in pieces of at most 4095
// bytes of whole lines. An over-long value is cut by whole characters.
TEST(LookupSettingLines, OverlongValuesAreCutToFitOneLine) {
    const Text16 ascii = RepeatW(TEXT16("A"), 4000);
    const std::string hexLine = LookupSettingLines(411, -1, PjlText(ascii.c_str()));
    EXPECT_EQ(hexLine, "@PJL SET JOBNAME=" + Repeat("41", 2038) + "\r\n");
    EXPECT_EQ(hexLine.size(), 4095u);

    const Text16 accents = RepeatW(TEXT16("\u00E9"), 3000);
    EXPECT_EQ(LookupSettingLines(411, -1, PjlText(accents.c_str())),
              "@PJL SET JOBNAME=" + Repeat("C3A9", 1019) + "\r\n");

    // 3 + 508 * 4 UTF-8 bytes fit, and so would the 3 of a replacement
    // character for half of the 509th pair; the pair is dropped whole.
    const Text16 pairs = TEXT16("AAA") + RepeatW(TEXT16("\U0001F600"), 600);
    EXPECT_EQ(LookupSettingLines(411, -1, PjlText(pairs.c_str())),
              "@PJL SET JOBNAME=414141" + Repeat("F09F9880", 508) + "\r\n");

    const Text16 secret = RepeatW(TEXT16("x"), 5000);
    const std::string ansiLine = LookupSettingLines(413, -1, PjlText(secret.c_str()));
    EXPECT_EQ(ansiLine, "@PJL SET PASSWORD=" + std::string(4075, 'x') + "\r\n");
    EXPECT_EQ(ansiLine.size(), 4095u);
}

TEST(Converters, WorkOnAnyAssignment) {
    std::string lines;
    ConvertSplit("A=1", PjlNoValue(), kConverters, lines);
    ConvertSplit("B=2|C=3|D=4", PjlNoValue(), kConverters, lines);
    ConvertFixed("E=5", PjlNoValue(), kConverters, lines);
    ConvertNumber("N=%dmm", PjlNumber(-7), kConverters, lines);
    ConvertHexUtf8("H=<%s>", PjlText(TEXT16("ABC")), kConverters, lines);
    EXPECT_EQ(lines,
              "@PJL SET A=1\r\n@PJL SET B=2\r\n@PJL SET C=3\r\n@PJL SET D=4\r\n@PJL SET E=5\r\n"
              "@PJL SET N=-7mm\r\n@PJL SET H=<414243>\r\n");
}

// The limit applies only to the variable it names.
TEST(Converters, LimitedHexWithoutTableEntryIsUnlimited) {
    const Text16 text = RepeatW(TEXT16("A"), 300);
    std::string lines;
    ConvertHexUtf8Limited("OTHER=%s", PjlText(text.c_str()), kConverters, lines);
    EXPECT_EQ(lines, "@PJL SET OTHER=" + Repeat("41", 300) + "\r\n");
    ASSERT_EQ(kPjlLengthLimitCount, 1u);
    EXPECT_STREQ(kLengthLimitTable[0].variable, "ZTHOSTNAME");
    EXPECT_EQ(kLengthLimitTable[0].units, 255);
    EXPECT_EQ(kLengthLimitTable[0].bytes, 1024);
}

TEST(AppendSettingLines, AppendsBehindWhatIsThere) {
    std::string lines = "kept\r\n";
    EXPECT_EQ(AppendSettingLines(1, 2, PjlNoValue(), kConverters, lines), kStatusOk);
    EXPECT_EQ(AppendSettingLines(1, 9, PjlNoValue(), kConverters, lines), kStatusOk);  // no such key: nothing
    EXPECT_EQ(lines, "kept\r\n@PJL SET DUPLEX=ON\r\n@PJL SET BINDING=LONGEDGE\r\n");
}

}  // namespace
