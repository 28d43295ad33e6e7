// The paper-list file parsed from its bytes, as a host without Windows hands them over.
#include "core/paper_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Bytes(const std::u16string& text) {
    std::string bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

ByteRange RangeOf(const std::string& bytes) {
    return ByteRange(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

TEST(ParsePaperList, ExaminedLines) {
    struct Case {
        std::string bytes;
        std::vector<std::u16string> lines;
    };
    const std::u16string overlong(kPaperListLineUnits + 1, u'x');
    const std::u16string longest(kPaperListLineUnits - 1, u'y');
    const Case cases[] = {
        {Bytes(u"a\r\nb\n\r\nc"), {u"a", u"b", u"", u"c"}},  // one CR removed, empty lines examined
        {Bytes(u";comment\n ;kept\nx\r\r\n"), {u" ;kept", u"x\r"}},
        {Bytes(u"a\nb") + "\x41", {u"a", u"b"}},                                // an odd last byte is no unit
        {Bytes(u"a\nb") + std::string(2, '\0') + Bytes(u"\nc"), {u"a", u"b"}},  // the first zero unit ends it
        {Bytes(overlong + u"\n" + longest + u"\r\n"), {longest}},               // too long: passed over whole
        {Bytes(u"\uFEFFa"), {u"\uFEFFa"}},
    };
    for (const Case& c : cases) {
        std::vector<std::u16string> lines;
        const Status parsed = ForEachPaperListLine(RangeOf(c.bytes), [&](const Char16* line, size_t length) {
            lines.emplace_back(line, length);
            return true;
        });
        EXPECT_EQ(parsed, kStatusOk);
        EXPECT_EQ(lines, c.lines);
    }
    EXPECT_EQ(ParsePaperList(
                  RangeOf("P"), [](const Char16*, size_t, void*) { return true; }, nullptr),
              kStatusInvalidData);
    EXPECT_EQ(ParsePaperList(RangeOf(Bytes(u"a")), nullptr, nullptr), kStatusInvalidArgument);
}

TEST(LookupPjlPaperCodes, FromBytesUntilTheEndMarker) {
    const std::string bytes = Bytes(
        u"PJL_PAPER_LIST=A4 Extra=42\r\n"
        u"x PJL_PAPER_LIST=Big= -7junk\n"
        u"[PAPER_LIST_END]\n"
        u"PJL_PAPER_LIST=Late=9\n");
    PjlPaperQuery queries[] = {{u"A4 Extra", false, 0}, {u"Big", false, 0}, {u"Late", false, 0}, {u"", false, 0}};
    EXPECT_EQ(LookupPjlPaperCodes(RangeOf(bytes), queries, 4), kStatusOk);
    EXPECT_TRUE(queries[0].found);
    EXPECT_EQ(queries[0].code, 42);
    EXPECT_TRUE(queries[1].found);
    EXPECT_EQ(queries[1].code, -7);
    EXPECT_FALSE(queries[2].found);  // behind the end marker
    EXPECT_FALSE(queries[3].found);
    EXPECT_FALSE(AnyPjlPaperQueryPending(queries, 2));
    EXPECT_TRUE(AnyPjlPaperQueryPending(queries, 3));
}

}  // namespace
