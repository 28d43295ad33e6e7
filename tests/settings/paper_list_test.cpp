#include "paper_fixture.h"
#include "pjl/pjl_paper_codes.h"
#include "settings/paper.h"
#include "settings/paper_list.h"

#include <cstring>

namespace {

class PaperListTest : public PaperTest {
protected:
    std::string Keyword(const char16_t* name) { return FindPageSizeKeyword(modules, name); }
};

std::vector<std::u16string> ExaminedLines(HMODULE module) {
    std::vector<std::u16string> lines;
    ForEachPaperListLine(module, [&](const WCHAR* line, size_t length) -> bool {
        EXPECT_EQ(WTextLength(line), length);
        lines.emplace_back(line, length);
        return true;
    });
    return lines;
}

TEST_F(PaperListTest, MissingEmptyOrUnitlessFilesFindNothing) {
    int visits = 0;
    auto count = [&](const WCHAR*, size_t) -> bool { return ++visits, true; };
    EXPECT_FALSE(ForEachPaperListLine(modules.module, count));
    EXPECT_EQ(Keyword(u"Foo"), "custom");
    WriteListBytes("");
    EXPECT_FALSE(ForEachPaperListLine(modules.module, count));
    WriteListBytes("P");
    EXPECT_FALSE(ForEachPaperListLine(modules.module, count));
    EXPECT_EQ(visits, 0);
    EXPECT_FALSE(ReadPaperList(modules.module, nullptr, nullptr));
}

TEST_F(PaperListTest, UnreadableFileFindsNothing) {
    WriteList(u"PS_PAPER_LIST=Foo=A4");
    sim::FailCalls(sim::Api::ReadFile, ERROR_READ_FAULT);
    EXPECT_EQ(Keyword(u"Foo"), "custom");
    sim::StopFailing(sim::Api::ReadFile);
    sim::FailCalls(sim::Api::CreateFileW, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Keyword(u"Foo"), "custom");
    sim::StopFailing(sim::Api::CreateFileW);
    EXPECT_EQ(Keyword(u"Foo"), "A4");
}

TEST_F(PaperListTest, LinesCommentsAndLineEnds) {
    WriteList(u"a\r\n;comment\n\r\nx\r\r\n\xFEFF;not a comment\n;\nlast");
    EXPECT_EQ(ExaminedLines(modules.module),
              (std::vector<std::u16string>{u"a", u"", u"x\r", u"\xFEFF;not a comment", u"last"}));
}

TEST_F(PaperListTest, VisitorStopsTheReading) {
    WriteList(u"one\ntwo\nthree\n");
    std::vector<std::u16string> seen;
    EXPECT_TRUE(ForEachPaperListLine(modules.module, [&](const WCHAR* line, size_t length) -> bool {
        seen.emplace_back(line, length);
        return seen.size() < 2;
    }));
    EXPECT_EQ(seen, (std::vector<std::u16string>{u"one", u"two"}));
}

TEST_F(PaperListTest, OddLastByteIsIgnoredAndZeroUnitEndsTheText) {
    WriteListBytes(
        std::string("P\0S\0_\0P\0A\0P\0E\0R\0_\0L\0I\0S\0T\0=\0F\0o\0o\0=\0A\0"
                    "4\0X",
                    41));
    EXPECT_EQ(Keyword(u"Foo"), "A4");
    WriteList(std::u16string(u"PS_PAPER_LIST=Foo=A5\n", 21) + u'\0' + u"\nPS_PAPER_LIST=Bar=B5");
    EXPECT_EQ(Keyword(u"Foo"), "A5");
    EXPECT_EQ(Keyword(u"Bar"), "custom");
}

TEST_F(PaperListTest, LinesAboveTheLimitArePassedOverWhole) {
    const std::u16string entry = u"PS_PAPER_LIST=Foo=A4";
    const std::u16string fits = std::u16string(1022 - entry.size(), u' ') + entry;        // 1022 units
    const std::u16string fitsWithCr = std::u16string(1021 - entry.size(), u' ') + entry;  // + CR = 1022
    const std::u16string tooLong = std::u16string(1023 - entry.size(), u' ') + entry;
    const std::u16string tooLongWithCr = fits;  // + CR = 1023

    WriteList(fits + u"\n");
    EXPECT_EQ(Keyword(u"Foo"), "A4");
    WriteList(fitsWithCr + u"\r\n");
    EXPECT_EQ(Keyword(u"Foo"), "A4");
    WriteList(tooLong + u"\nPS_PAPER_LIST=Bar=B4\n");
    EXPECT_EQ(Keyword(u"Foo"), "custom");
    EXPECT_EQ(Keyword(u"Bar"), "B4");  // the next line is read
    WriteList(tooLongWithCr + u"\r\n");
    EXPECT_EQ(Keyword(u"Foo"), "custom");
    // The tail of a long line is not taken for a line of its own.
    WriteList(std::u16string(1030, u'x') + u"PS_PAPER_LIST=Baz=A3\n");
    EXPECT_EQ(Keyword(u"Baz"), "custom");
}

TEST_F(PaperListTest, PageSizeKeywordRules) {
    WriteList(
        u"\n"
        u"PS_PAPER_LIST=Kaku No.2=EnvKaku2\n"
        u";PS_PAPER_LIST=Commented=A4\n"
        u"\xFEFF;PS_PAPER_LIST=Marked=A6\n"
        u"PS_PAPER_LIST=Foo=Bar\n"
        u"[PAPER_LIST_END]\n"
        u"PS_PAPER_LIST=After=B6\n"
        u"junk PS_PAPER_LIST=Foo=A5 PS_PAPER_LIST=Foo=B5\r\n"
        u"PS_PAPER_LIST=Empty=\n"
        u"PS_PAPER_LIST=Empty=Letter\n"
        u"PS_PAPER_LIST=Case=a4\n"
        u"PS_PAPER_LIST==A4\n");
    EXPECT_EQ(Keyword(u"Kaku No.2"), "EnvKaku2");
    EXPECT_EQ(Keyword(u"Kaku No."), "custom");  // a prefix: "=" must follow the name
    EXPECT_EQ(Keyword(u"Commented"), "custom");
    EXPECT_EQ(Keyword(u"Marked"), "A6");  // U+FEFF first: not a comment
    EXPECT_EQ(Keyword(u"After"), "B6");   // the end marker is for the PJL readers only
    // Bar is no table keyword; on the next line only the first key counts and
    // the keyword runs to the end of the line ("A5 PS_PAPER_LIST=Foo=B5").
    EXPECT_EQ(Keyword(u"Foo"), "custom");
    EXPECT_EQ(Keyword(u"Empty"), "Letter");
    EXPECT_EQ(Keyword(u"Case"), "custom");  // keywords compare exactly
    EXPECT_EQ(Keyword(u""), "custom");
    EXPECT_EQ(Keyword(nullptr), "custom");
}

TEST_F(PaperListTest, LaterLineAfterANonTableKeyword) {
    WriteList(u"PS_PAPER_LIST=Foo=Bar\nPS_PAPER_LIST=Foo=A5\r\nPS_PAPER_LIST=Foo=B5\n");
    EXPECT_EQ(Keyword(u"Foo"), "A5");
}

TEST_F(PaperListTest, OverlongAnsiKeywordIsPassedOver) {
    WriteList(u"PS_PAPER_LIST=Foo=" + std::u16string(300, u'A') + u"\nPS_PAPER_LIST=Foo=A3\n");
    EXPECT_EQ(Keyword(u"Foo"), "A3");
    const char* k = FindPageSizeKeyword(modules, u"Foo");
    EXPECT_EQ(k, FindPaperRow(8)->keyword);  // the table's own text
}

TEST_F(PaperListTest, ModuleFolderTooLongFindsNothing) {
    WriteList(u"PS_PAPER_LIST=Foo=A4\n");
    sim::OverrideModulePath(modules.module, sim::ToUtf16("/" + std::string(260, 'd') + "/QM22TRD.dll"));
    EXPECT_EQ(Keyword(u"Foo"), "custom");
}

TEST_F(PaperListTest, PjlPaperCodes) {
    WriteList(
        u"PS_PAPER_LIST=MyForm=A4\n"
        u"PJL_PAPER_LIST=MyFormX=3\n"
        u"PJL_PAPER_LIST=MyForm=\n"
        u";PJL_PAPER_LIST=Other=7\n"
        u"PJL_PAPER_LIST=MyForm= -21x\r\n"
        u"PJL_PAPER_LIST=MyForm=22\n"
        u"PJL_PAPER_LIST=Other=7\n"
        u"[PAPER_LIST_END] PJL_PAPER_LIST=Late=5\n"
        u"PJL_PAPER_LIST=Late=6\n");
    PjlPaperQuery queries[] = {{u"MyForm", false, 256},
                               {u"Other", false, 256},
                               {u"Late", false, 256},
                               {u"", false, 256},
                               {nullptr, false, 256}};
    LookupPjlPaperCodes(modules.module, queries, 5);
    EXPECT_TRUE(queries[0].found);
    EXPECT_EQ(queries[0].code, -21);  // the first usable line; read as _wtoi reads
    EXPECT_TRUE(queries[1].found);
    EXPECT_EQ(queries[1].code, 7);
    EXPECT_FALSE(queries[2].found);  // only after the end marker
    EXPECT_EQ(queries[2].code, 256);
    EXPECT_FALSE(queries[3].found);
    EXPECT_FALSE(queries[4].found);

    PjlPaperQuery done[] = {{u"MyForm", true, 99}};
    LookupPjlPaperCodes(modules.module, done, 1);
    EXPECT_EQ(done[0].code, 99);
}

TEST_F(PaperListTest, PjlLookupWithoutAFile) {
    PjlPaperQuery queries[] = {{u"MyForm", false, 256}};
    LookupPjlPaperCodes(modules.module, queries, 1);
    EXPECT_FALSE(queries[0].found);
    EXPECT_EQ(queries[0].code, 256);
}

TEST(PaperListText, KeysAndEntries) {
    EXPECT_EQ(WString(PaperListValue(u"ab PS_PAPER_LIST=x=y", u"PS_PAPER_LIST=")), WString(u"x=y"));
    EXPECT_EQ(PaperListValue(u"PS_PAPER_LIS=x", u"PS_PAPER_LIST="), nullptr);
    EXPECT_EQ(WString(PaperListEntryValue(u"A4 Extra=A4", u"A4 Extra")), WString(u"A4"));
    EXPECT_EQ(PaperListEntryValue(u"A4 Extra=A4", u"A4"), nullptr);
    EXPECT_EQ(PaperListEntryValue(u"=A4", u""), nullptr);
    EXPECT_EQ(PaperListEntryValue(nullptr, u"A4"), nullptr);
    EXPECT_TRUE(IsPaperListEnd(u"[PAPER_LIST_END]tail"));
    EXPECT_FALSE(IsPaperListEnd(u" [PAPER_LIST_END]"));
}

}  // namespace
