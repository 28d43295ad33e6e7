// The core's own conversions, byte for byte as Windows converts.
#include "core/text_convert.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Converted(const TextConverter& converter, Text16View text) {
    std::string out = "stale";
    EXPECT_TRUE(converter.Convert(text, out).Ok());
    return out;
}

TEST(Windows1252, BestFitDefaultAndSurrogatesUnitByUnit) {
    struct Case {
        Text16 text;
        std::string bytes;
    };
    const Case cases[] = {
        {TEXT16("A\u20AC\u00E9\u0178"), "A\x80\xE9\x9F"},                    // its own characters
        {TEXT16("\u0081\u008D\u008F\u0090\u009D"), "\x81\x8D\x8F\x90\x9D"},  // the five C1 bytes
        {TEXT16("\u0080\u009F"), "??"},                              // C1 units whose bytes mean other characters
        {TEXT16("\u0100\u0111\u221E\uFF41\u2000\u3000"), "Ad8a  "},  // best fit
        {TEXT16("\u0110\u01C3\u2032\u00A0"), "\xD0!'\xA0"},
        {TEXT16("\u4E00\uFFFD\uFFFF"), "???"},  // nothing near
        {Text16{0xD83D, 0xDE00}, "??"},         // a pair is two units, each without a byte
        {Text16{u'a', 0xDC00, u'b'}, "a?b"},
        {Text16{u'x', 0, u'y'}, std::string("x\0y", 3)},
    };
    for (const Case& c : cases) EXPECT_EQ(Converted(Windows1252Converter(), c.text), c.bytes);
}

// Every byte's own character comes back as that byte.
TEST(Windows1252, EveryByteRoundTrips) {
    const Char16 high[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                             0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                             0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    for (unsigned byte = 0; byte < 256; ++byte) {
        const Char16 unit = byte >= 0x80 && byte < 0xA0 ? high[byte - 0x80] : static_cast<Char16>(byte);
        EXPECT_EQ(Windows1252Byte(unit), byte) << byte;
    }
}

TEST(Utf8, PairsLoneSurrogatesAndLimits) {
    struct Case {
        Text16 text;
        std::string bytes;
    };
    const Case cases[] = {
        {TEXT16("a\u00E9\u20AC"), "a\xC3\xA9\xE2\x82\xAC"},
        {Text16{0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},
        {Text16{0xDBFF, 0xDFFF}, "\xF4\x8F\xBF\xBF"},
        {Text16{0xD800}, "\xEF\xBF\xBD"},                             // lone high at the end
        {Text16{0xDC00, 0xD800}, "\xEF\xBF\xBD\xEF\xBF\xBD"},         // reversed pair
        {Text16{0xD800, u'x', 0xDC00}, "\xEF\xBF\xBDx\xEF\xBF\xBD"},  // split pair
        {Text16{0x7F, 0x80, 0x7FF, 0x800, 0xFFFF}, "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
        {Text16(), ""},
    };
    for (const Case& c : cases) EXPECT_EQ(Converted(Utf8Converter(), c.text), c.bytes);
}

}  // namespace
