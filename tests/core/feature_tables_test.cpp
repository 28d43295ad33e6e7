// The feature value tables: their shape, every value spelling and the
// invocation values derived from them.
#include "core/hex_text.h"
#include "core/feature_tables.h"

#include "core/settings_access.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

struct Settings {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kSettingsBlockBytes, 0);
    SettingsView View() const { return SettingsView{bytes.data(), bytes.size()}; }
    SettingsSpan Span() { return SettingsSpan{bytes.data(), bytes.size()}; }
    void U8(size_t offset, uint8_t v) { ASSERT_TRUE(WriteSettingNumber(Span(), offset, 1, v)); }
    void S16(size_t offset, int16_t v) { ASSERT_TRUE(WriteSettingNumber(Span(), offset, 2, v)); }
    void S32(size_t offset, int32_t v) { ASSERT_TRUE(WriteSettingNumber(Span(), offset, 4, v)); }
    // The units as given, no terminator added.
    void Raw(size_t offset, const std::u16string& units) {
        ASSERT_TRUE(WriteSettingBytes(Span(), offset, units.data(), units.size() * 2));
    }
    void Text(size_t offset, const std::u16string& text) { Raw(offset, text + u'\0'); }
};

const ReplaceRow* Row(const char* keyword) {
    for (const ReplaceGroup& group : kReplaceGroups) {
        for (size_t i = 0; i < group.count; ++i) {
            if (std::strcmp(group.rows[i].keyword, keyword) == 0) return &group.rows[i];
        }
    }
    return nullptr;
}

std::string Value(const char* keyword, const Settings& settings) {
    const ReplaceRow* row = Row(keyword);
    EXPECT_NE(row, nullptr) << keyword;
    if (row == nullptr) return "<no row>";
    std::string value = "<untouched>";
    EXPECT_TRUE(FillReplaceValue(*row, settings.View(), value)) << keyword;
    return value;
}

std::vector<int32_t> Codes(const ReplaceGroup& group) {
    std::vector<int32_t> codes;
    for (size_t i = 0; i < group.count; ++i) codes.push_back(group.rows[i].code);
    return codes;
}

class FeatureTables : public ::testing::Test {
protected:
    Settings settings;
};

// ---------------------------------------------------------------------------

TEST_F(FeatureTables, GroupsHoldTheirCodesInProcessingOrder) {
    EXPECT_EQ(Codes(kReplaceGroups[0]),
              (std::vector<int32_t>{1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 13, 15, 16, 17, 18, 19}));
    EXPECT_EQ(Codes(kReplaceGroups[1]),
              (std::vector<int32_t>{21, 22, 23, 24, 25, 26, 29, 31, 32, 33, 34, 35, 36, 38, 40, 41, 55, 57}));
    EXPECT_EQ(Codes(kReplaceGroups[2]),
              (std::vector<int32_t>{61, 62, 63, 64, 65, 66, 67, 68, 73, 74, 75, 76, 77, 79, 80}));
    EXPECT_EQ(Codes(kReplaceGroups[3]),
              (std::vector<int32_t>{101, 102, 104, 105, 106, 107, 108, 109, 110, 111, 112, 114, 115, 116,
                                    117, 118, 119, 120, 121, 122, 123, 124, 125, 126, 127, 128, 129}));
    EXPECT_EQ(Codes(kReplaceGroups[4]),
              (std::vector<int32_t>{151, 152, 153, 154, 155, 156, 157, 158, 159, 160, 162, 164, 166}));

    for (const ReplaceGroup& group : kReplaceGroups) {
        for (size_t i = 0; i < group.count; ++i) {
            EXPECT_EQ(std::strncmp(group.rows[i].keyword, "ZT", 2), 0) << group.rows[i].keyword;
        }
    }
    EXPECT_EQ(kOrientationEntry.code, 7);
    EXPECT_STREQ(kOrientationEntry.keyword, "ZTOrientation");
}

TEST_F(FeatureTables, InsertTableRowsAnchorsAndSources) {
    const int32_t codes[kInsertRowCount] = {1,  2,  3,  4,  5,  6,  7,  8,  20, 21, 25, 30, 31, 32,
                                            33, 41, 42, 43, 44, 47, 45, 46, 61, 60, 85, 86, 87, 88};
    for (size_t i = 0; i < kInsertRowCount; ++i) {
        EXPECT_EQ(kInsertTable[i].code, codes[i]) << i;
        const std::string anchors = kInsertTable[i].anchors;
        ASSERT_FALSE(anchors.empty());
        EXPECT_EQ(anchors.back(), ' ') << anchors;
        EXPECT_EQ(anchors.find(" /") == std::string::npos, anchors.find('/') == std::string::npos) << anchors;
    }
    EXPECT_STREQ(kInsertTable[3].anchors, "ZTTargetPaperSizeHeight /ZTTargetPaperSize ");
    EXPECT_STREQ(kInsertTable[7].anchors, "ZTPageTrayTray2 /ZTPageTrayTray1 /ZTPageTrayStandard /ZTPageTray ");
    EXPECT_STREQ(kInsertTable[7].keyword, "ZTPageTrayExternalFeeder");
    EXPECT_EQ(kInsertTable[7].offset, 8584);
    EXPECT_STREQ(kInsertTable[21].keyword, "ZTOutputProfileSelection");
    EXPECT_EQ(kInsertTable[21].offset, 3860);
    EXPECT_EQ(kInsertTable[24].source, InsertSource::OwnerName);
    EXPECT_EQ(kInsertTable[25].source, InsertSource::JobName);
    EXPECT_EQ(kInsertTable[10].source, InsertSource::Date);
    EXPECT_STREQ(kInsertTable[27].keyword, "ZTJobComment");
    EXPECT_EQ(kInsertTable[27].capacity, 129);
}

// Each row's placement, in table order: O replaces the driver's block of its
// own keyword, B goes behind an anchor's block, L in front of the page list.
TEST_F(FeatureTables, InsertPlacementsFollowTheAnchors) {
    const char expected[] = "BBBBBLLLBBBOOOOOOOOOBBOOBBBB";
    static_assert(sizeof expected - 1 == kInsertRowCount, "one letter a row");
    std::string placements;
    for (const InsertRow& row : kInsertTable) {
        placements += row.placement == InsertPlacement::OwnBlock        ? 'O'
                      : row.placement == InsertPlacement::InFrontOfList ? 'L'
                                                                        : 'B';
    }
    EXPECT_EQ(placements, expected);
}

// ---------------------------------------------------------------------------

TEST_F(FeatureTables, SharedSpellings) {
    EXPECT_STREQ(SpellValue(kFlagSpelling, 1), "True");
    EXPECT_STREQ(SpellValue(kFlagSpelling, 2), "False");
    EXPECT_STREQ(SpellValue(kPositionSpelling, 1), "TopLeft");
    EXPECT_STREQ(SpellValue(kPositionSpelling, 4), "TopLeft");
    EXPECT_STREQ(SpellValue(kPositionSpelling, 7), "BottomLeft");
    EXPECT_STREQ(SpellValue(kTraySpelling, 257), "Standard");
    EXPECT_STREQ(SpellValue(kTraySpelling, 260), "ExternalFeeder");
    EXPECT_STREQ(SpellValue(kTraySpelling, 261), "Standard");
    EXPECT_STREQ(SpellValue(kLevel3Spelling, 13), "-3");
    EXPECT_STREQ(SpellValue(kLevel3Spelling, 4), "0");
    EXPECT_STREQ(SpellValue(kLevel2Spelling, 3), "0");
    EXPECT_STREQ(SpellValue(kLevel2Spelling, 13), "0");
    EXPECT_STREQ(SpellValue(kLevel2Spelling, 12), "-2");
}

TEST_F(FeatureTables, DefaultsOfAnEmptyBlock) {
    // All-zero settings: every feature shows its value for "other".
    EXPECT_EQ(Value("ZTOutputMode", settings), "Auto");
    EXPECT_EQ(Value("ZTDuplex", settings), "OFF");
    EXPECT_EQ(Value("ZTCollate", settings), "True");
    EXPECT_EQ(Value("ZTOrientation", settings), "Portrait");
    EXPECT_EQ(Value("ZTZoomRate", settings), "100");
    EXPECT_EQ(Value("ZTOutputBox", settings), "PersonalBox");
    EXPECT_EQ(Value("ZTDateTargetPage", settings), "FullPage");
    EXPECT_EQ(Value("ZTStampPageSize", settings), "8");
    EXPECT_EQ(Value("ZTStampPageFont", settings), "");
    EXPECT_EQ(Value("ZTFormSelect1", settings), "");
    EXPECT_EQ(Value("ZTMaxDrops", settings), "Auto");
    EXPECT_EQ(Value("ZTBookletSplitting", settings), "Off");
    EXPECT_EQ(Value("ZTStapleMode", settings), "Off");
    EXPECT_EQ(Value("ZTRotate", settings), "Auto");
    EXPECT_EQ(Value("ZTBookletCoverSheetTray", settings), "Standard");
    EXPECT_EQ(Value("ZTPrintSpeed", settings), "OFF");
}

TEST_F(FeatureTables, CollateIsTrueForEveryByteButOne) {
    for (int b = 0; b < 256; ++b) {
        settings.U8(1228, static_cast<uint8_t>(b));
        EXPECT_EQ(Value("ZTCollate", settings), b == 1 ? "False" : "True") << b;
    }
}

TEST_F(FeatureTables, ZoomRateFollowsManualZoom) {
    settings.S16(388, 30);
    EXPECT_EQ(Value("ZTZoomRate", settings), "100");
    settings.S16(388, 150);
    EXPECT_EQ(Value("ZTZoomRate", settings), "100");
    settings.U8(386, 1);
    EXPECT_EQ(Value("ZTManualZoom", settings), "ON");
    EXPECT_EQ(Value("ZTZoomRate", settings), "150");
    settings.S16(388, 30);
    EXPECT_EQ(Value("ZTZoomRate", settings), "50");
    settings.S16(388, 250);
    EXPECT_EQ(Value("ZTZoomRate", settings), "200");
    settings.S16(388, -5);
    EXPECT_EQ(Value("ZTZoomRate", settings), "50");
    settings.U8(386, 7);  // any non-zero switch
    settings.S16(388, 199);
    EXPECT_EQ(Value("ZTZoomRate", settings), "199");
}

TEST_F(FeatureTables, NumberedValues) {
    const struct {
        const char* keyword;
        size_t offset;
        int value;
        const char* expected;
    } cases[] = {
        {"ZTOutputBox", 3231, 0, "PersonalBox"},  {"ZTOutputBox", 3231, 1, "SharedBox1"},
        {"ZTOutputBox", 3231, 31, "SharedBox31"}, {"ZTOutputBox", 3231, 100, "SharedBox100"},
        {"ZTOutputBox", 3231, 101, "SharedBox1"}, {"ZTOutputBox", 3231, 255, "SharedBox1"},
        {"ZTBookletSplitting", 3771, 0, "Off"},   {"ZTBookletSplitting", 3771, 1, "1"},
        {"ZTBookletSplitting", 3771, 20, "20"},   {"ZTBookletSplitting", 3771, 21, "Off"},
        {"ZTBookletSplitting", 3771, 254, "Off"}, {"ZTBookletSplitting", 3771, 255, "Auto"},
        {"ZTMaxDrops", 4374, 0, "Auto"},          {"ZTMaxDrops", 4374, 1, "1"},
        {"ZTMaxDrops", 4374, 11, "11"},           {"ZTMaxDrops", 4374, 12, "Auto"},
        {"ZTMaxDrops", 4374, -1, "Auto"},         {"ZTMaxDrops", 4374, -32768, "Auto"},
        {"ZTStampPageSize", 954, 7, "8"},         {"ZTStampPageSize", 954, 8, "8"},
        {"ZTStampPageSize", 954, 32, "32"},       {"ZTStampPageSize", 954, 33, "32"},
        {"ZTStampDateSize", 1140, -100, "8"},     {"ZTStampDateSize", 1140, 17, "17"},
    };
    for (const auto& c : cases) {
        Settings s;
        if (std::strcmp(c.keyword, "ZTMaxDrops") == 0 || std::strncmp(c.keyword, "ZTStamp", 7) == 0) {
            s.S16(c.offset, static_cast<int16_t>(c.value));
        } else {
            s.U8(c.offset, static_cast<uint8_t>(c.value));
        }
        EXPECT_EQ(Value(c.keyword, s), c.expected) << c.keyword << " " << c.value;
    }
}

TEST_F(FeatureTables, StapleModeFollowsBinding) {
    const struct {
        int binding;
        int staple;
        const char* expected;
    } cases[] = {
        {0, 10, "1Staple"}, {1, 10, "1Staple"},     {0, 20, "2Staples"},     {1, 11, "Off"},
        {2, 10, "Off"},     {2, 11, "1StapleLeft"}, {2, 12, "1StapleRight"}, {2, 20, "2Staples"},
        {3, 10, "Off"},     {3, 20, "Off"},         {255, 11, "Off"},
    };
    for (const auto& c : cases) {
        Settings s;
        s.U8(1144, static_cast<uint8_t>(c.binding));
        s.U8(3764, static_cast<uint8_t>(c.staple));
        EXPECT_EQ(Value("ZTStapleMode", s), c.expected) << c.binding << "/" << c.staple;
    }
}

TEST_F(FeatureTables, SpelledValuesReadTheirOwnFieldWidth) {
    settings.S32(396, 267);
    EXPECT_EQ(Value("ZTMediaType", settings), "PlainPremium");
    settings.S32(396, 267 + 0x10000);  // the whole 32 bits count
    EXPECT_EQ(Value("ZTMediaType", settings), "Auto");
    settings.S16(392, 260);
    EXPECT_EQ(Value("ZTInputSlot", settings), "ExternalFeeder");
    settings.S16(392, 7);
    EXPECT_EQ(Value("ZTInputSlot", settings), "Auto");
    settings.S16(372, 3);
    EXPECT_EQ(Value("ZTDuplex", settings), "ShortEdge");
    settings.S16(374, 4);
    EXPECT_EQ(Value("ZTDuplexMixedPage", settings), "ON");
    settings.S16(4894, 12);
    EXPECT_EQ(Value("ZTBarcodeDensity", settings), "-2");
    settings.U8(1227, 11);
    EXPECT_EQ(Value("ZTPrintDensity", settings), "-1");
    settings.S16(3844, 2);
    EXPECT_EQ(Value("ZTGCContrast", settings), "2");
    settings.U8(400, 88);
    EXPECT_EQ(Value("ZTMultiUp", settings), "8PagesRightTopBottom");
    settings.U8(400, 84);
    EXPECT_EQ(Value("ZTMultiUp", settings), "Off");
    settings.U8(1142, 6);
    EXPECT_EQ(Value("ZTRotate", settings), "180");
    settings.U8(822, 5);
    EXPECT_EQ(Value("ZTPageNumPosition", settings), "BottomRight");
    settings.U8(1008, 0);
    EXPECT_EQ(Value("ZTDatePosition", settings), "TopLeft");
    settings.S16(3798, 259);
    EXPECT_EQ(Value("ZTBackCoverSheetTray", settings), "Tray2");
    settings.U8(3770, 2);
    EXPECT_EQ(Value("ZTBookletBinding", settings), "2-foldAndStaple");
    settings.U8(3800, 7);
    EXPECT_EQ(Value("ZTOutputTray", settings), "AutoStacker");
    settings.U8(5947, 5);
    EXPECT_EQ(Value("ZTFormPattern", settings), "OneDupShort");
    settings.U8(4923, 11);
    EXPECT_EQ(Value("ZTPrintSpeed", settings), "ON");
    settings.U8(4923, 1);
    EXPECT_EQ(Value("ZTPrintSpeed", settings), "OFF");
    settings.U8(3746, 1);
    EXPECT_EQ(Value("ZTImageShift", settings), "True");
}

TEST_F(FeatureTables, FieldsOutsideTheHeldBytesReadAsZero) {
    settings.U8(1228, 1);
    settings.S16(378, 2);
    const SettingsView shortView{settings.bytes.data(), 379};  // ends inside the orientation field
    std::string value;
    EXPECT_TRUE(FillReplaceValue(*Row("ZTOrientation"), shortView, value));
    EXPECT_EQ(value, "Portrait");
    EXPECT_TRUE(FillReplaceValue(*Row("ZTCollate"), shortView, value));
    EXPECT_EQ(value, "True");
    EXPECT_TRUE(FillReplaceValue(*Row("ZTFormSelect2"), shortView, value));
    EXPECT_EQ(value, "");
}

// ---------------------------------------------------------------------------

TEST_F(FeatureTables, FontIsItsUtf8TextCutAtAWholeCharacter) {
    settings.Text(824, u"Mincho \u00e9");
    EXPECT_EQ(Value("ZTStampPageFont", settings), "Mincho \xC3\xA9");

    // 63 bytes fit with the terminator.
    settings.Text(1010, std::u16string(63, u'a'));
    EXPECT_EQ(Value("ZTStampDateFont", settings), std::string(63, 'a'));

    // 62 + 2 bytes do not: the two-byte character goes whole.
    settings.Text(1010, std::u16string(62, u'a') + u"\u00e9");
    EXPECT_EQ(Value("ZTStampDateFont", settings), std::string(62, 'a'));

    // A field without any terminator is read up to its 63rd unit only.
    settings.Raw(1010, std::u16string(64, u'b'));
    settings.Raw(1010 + 128, u"zz");  // what follows the field must not show
    EXPECT_EQ(Value("ZTStampDateFont", settings), std::string(63, 'b'));
}

TEST_F(FeatureTables, FormNameIsHexUpToItsLimit) {
    settings.Text(5952, u"abc");
    EXPECT_EQ(Value("ZTFormSelect1", settings), "616263");

    // 129 two-byte characters and one ASCII: 259 bytes, the most that fits.
    std::u16string fits(129, u'\u00e9');
    fits += u"a";
    settings.Text(6464, fits);
    std::string expected;
    for (int i = 0; i < 129; ++i) expected += "C3A9";
    expected += "61";
    EXPECT_EQ(Value("ZTFormSelect2", settings), expected);

    // 130 of them: 260 bytes, a failure of the group.
    settings.Text(6464, std::u16string(130, u'\u00e9'));
    std::string value = "x";
    EXPECT_FALSE(FillReplaceValue(*Row("ZTFormSelect2"), settings.View(), value));
    EXPECT_EQ(value, "");

    // An unterminated field reads 255 units.
    settings.Raw(5952, std::u16string(256, u'A'));
    EXPECT_EQ(Value("ZTFormSelect1", settings).size(), 255u * 2);
}

// The values are converted by the core, not by the system: the same UTF-8
// bytes on every host, a lone surrogate as U+FFFD.
TEST_F(FeatureTables, ConversionIsTheCoresOwn) {
    settings.Text(824, u"Arial");
    EXPECT_EQ(Value("ZTStampPageFont", settings), "Arial");
    settings.Text(824, u"\u00C9t\xD800");
    EXPECT_EQ(Value("ZTStampPageFont", settings), "\xC3\x89t\xEF\xBF\xBD");
}

// ---------------------------------------------------------------------------

TEST_F(FeatureTables, OrientationValue) {
    EXPECT_STREQ(OrientationValue(1, settings.View()), "Portrait");
    EXPECT_STREQ(OrientationValue(2, settings.View()), "Landscape");
    EXPECT_STREQ(OrientationValue(-1, settings.View()), "Portrait");
    settings.S16(378, 2);
    EXPECT_STREQ(OrientationValue(-1, settings.View()), "Landscape");
    EXPECT_STREQ(OrientationValue(1, settings.View()), "Portrait");
    EXPECT_STREQ(OrientationValue(0, settings.View()), "Portrait");
    EXPECT_STREQ(OrientationValue(3, settings.View()), "Portrait");
    EXPECT_STREQ(OrientationValue(-2, settings.View()), "Portrait");
    settings.S16(378, 3);
    EXPECT_STREQ(OrientationValue(-1, settings.View()), "Portrait");
}

TEST_F(FeatureTables, TextHelpers) {
    EXPECT_EQ(UpperHex(std::string("\x00\x7F\x80\xFF", 4)), "007F80FF");
    EXPECT_EQ(Utf8Text(u"\U0001F600"), "\xF0\x9F\x98\x80");

    std::string text = "ab\xF0\x9F\x98\x80";
    CutUtf8(text, 5);
    EXPECT_EQ(text, "ab");
    text = "ab\xF0\x9F\x98\x80";
    CutUtf8(text, 6);
    EXPECT_EQ(text, "ab\xF0\x9F\x98\x80");

    settings.Text(5174, u"note");
    EXPECT_EQ(ReadFieldText(settings.View(), 5174, 129), u"note");
    settings.Raw(4904, u"123456789");  // nine units, no terminator
    EXPECT_EQ(ReadFieldText(settings.View(), 4904, 9), u"12345678");
}

}  // namespace

// The rewriter skips a piece without "*ZT" (replace) or "ZT" (insert) at once;
// that is only right while every key and anchor starts that way.
TEST(FeatureTablesShape, EveryKeyAndAnchorStartsWithZT) {
    for (const ReplaceGroup& group : kReplaceGroups) {
        for (size_t i = 0; i < group.count; ++i) {
            EXPECT_EQ(std::string(group.rows[i].keyword).rfind("ZT", 0), 0u) << group.rows[i].keyword;
        }
    }
    for (const InsertRow& row : kInsertTable) {
        std::string anchors = row.anchors;
        for (size_t at = 0; at != std::string::npos;) {
            EXPECT_EQ(anchors.compare(at, 2, "ZT"), 0) << row.anchors;
            const size_t slash = anchors.find('/', at);
            at = slash == std::string::npos ? slash : slash + 1;
        }
    }
}

// The value texts a row offers (the printer description's choices) are exactly
// the texts its rule gives over every value of its field, and of the field it
// reads with it: none missing, none that cannot occur, none twice.
TEST(FeatureChoices, ValueTextsAreExactlyWhatTheRuleGives) {
    Settings settings;
    std::string value;
    size_t rows = 0;
    for (const ReplaceGroup& group : kReplaceGroups) {
        for (size_t r = 0; r < group.count; ++r) {
            const ReplaceRow& row = group.rows[r];
            const std::vector<std::string> offered = ReplaceValueTexts(row);
            const std::set<std::string> unique(offered.begin(), offered.end());
            EXPECT_EQ(unique.size(), offered.size()) << row.keyword;
            if (row.rule == ValueRule::Font || row.rule == ValueRule::Hex) {
                EXPECT_TRUE(offered.empty()) << row.keyword;
                continue;
            }
            ++rows;
            // Every raw value of a one- or two-byte field; 32-bit fields from
            // -2^16 to 2^16 and both ends.
            std::vector<int64_t> values;
            if (row.field.bytes == 4) {
                for (int64_t v = -(1 << 16); v <= (1 << 16); ++v) values.push_back(v);
                values.push_back(INT32_MIN);
                values.push_back(INT32_MAX);
            } else {
                for (int64_t v = 0; v < (int64_t{1} << (8 * row.field.bytes)); ++v) values.push_back(v);
            }
            // The staple mode reads the binding, the zoom rate manual zoom.
            const bool staple = row.rule == ValueRule::StapleMode;
            const bool zoom = row.rule == ValueRule::ZoomRate;
            const int companions = staple ? 256 : (zoom ? 4 : 1);
            std::set<std::string> given;
            for (int companion = 0; companion < companions; ++companion) {
                if (staple) settings.U8(kSettingBinding.offset, static_cast<uint8_t>(companion));
                if (zoom) settings.U8(kSettingManualZoom.offset, static_cast<uint8_t>(companion));
                for (const int64_t v : values) {
                    ASSERT_TRUE(WriteSettingNumber(settings.Span(), row.field.offset, row.field.bytes, v));
                    ASSERT_TRUE(FillReplaceValue(row, settings.View(), value));
                    given.insert(value);
                }
            }
            EXPECT_EQ(given, unique) << row.keyword;
            settings.bytes.assign(kSettingsBlockBytes, 0);
        }
    }
    EXPECT_EQ(rows, 90u - 4u);
}
