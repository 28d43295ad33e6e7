#include "core/private_part.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kHeader = 12;
constexpr size_t kPart = 12016;

// Test-side byte helpers, independent of the accessor under test. Offsets are
// settings offsets (the header is added).
void Put(std::vector<uint8_t>& part, size_t offset, std::initializer_list<int> bytes) {
    size_t i = kHeader + offset;
    for (int b : bytes) part.at(i++) = static_cast<uint8_t>(b);
}

std::vector<uint8_t> Get(const std::vector<uint8_t>& part, size_t offset, size_t count) {
    return std::vector<uint8_t>(part.begin() + kHeader + offset, part.begin() + kHeader + offset + count);
}

std::vector<uint8_t> B(std::initializer_list<int> bytes) {
    std::vector<uint8_t> v;
    for (int b : bytes) v.push_back(static_cast<uint8_t>(b));
    return v;
}

const std::vector<uint8_t> kOurHeader = B({0xF0, 0x2E, 0x00, 0x00, 0x54, 0x46, 0x53, 0x4D, 0x01, 0x00, 0x00, 0x00});

std::vector<uint8_t> Part(uint8_t fill) { return std::vector<uint8_t>(kPart, fill); }

void PutHeader(std::vector<uint8_t>& part, uint32_t size, uint32_t signature, uint32_t version) {
    const uint32_t words[3] = {size, signature, version};
    std::memcpy(part.data(), words, sizeof(words));
}

SettingsSpan SettingsOf(std::vector<uint8_t>& part) {
    return SettingsSpan{part.data() + kHeader, part.size() - kHeader};
}

// ---------------------------------------------------------------------------

TEST(kSettingTable, LookupByName) {
    ASSERT_NE(FindSettingRow("ZTDuplex"), nullptr);
    EXPECT_EQ(FindSettingRow("ZTDuplex")->offset, 372);
    EXPECT_EQ(FindSettingRow("PaperNumber")->offset, 376);
    EXPECT_EQ(FindSettingRow("OutputPaper")->offset, 390);
    EXPECT_EQ(FindSettingRow("PageTrayExternalFeeder")->offset, 8584);
    EXPECT_EQ(FindSettingRow("ZTStapleMode")->rule, SettingRule::Staple);
    EXPECT_EQ(FindSettingRow("ztduplex"), nullptr);
    EXPECT_EQ(FindSettingRow(nullptr), nullptr);
}

TEST(Defaults, WriteTheTableAndLeaveEverythingElse) {
    std::vector<uint8_t> part = Part(0xAA);
    SetDefaultSettings(SettingsOf(part));
    // Header, identification, unlisted gaps and the user name are untouched.
    EXPECT_EQ(std::vector<uint8_t>(part.begin(), part.begin() + 26), std::vector<uint8_t>(26, 0xAA));
    EXPECT_EQ(Get(part, 380, 2), B({0xAA, 0xAA}));
    EXPECT_EQ(Get(part, 7248, 44), std::vector<uint8_t>(44, 0xAA));
    EXPECT_EQ(Get(part, 9084, 12004 - 9084), std::vector<uint8_t>(12004 - 9084, 0xAA));
    // Duplex 1, mixed 5, paper 9, orientation 1.
    EXPECT_EQ(Get(part, 372, 8), B({1, 0, 5, 0, 9, 0, 1, 0}));
    EXPECT_EQ(Get(part, 382, 5), B({0, 2, 3, 0, 0}));
    EXPECT_EQ(Get(part, 388, 6), B({100, 0, 0, 0, 7, 0}));
    EXPECT_EQ(Get(part, 396, 4), B({0x01, 0x01, 0, 0}));   // 257, unsigned 32-bit
    EXPECT_EQ(Get(part, 1156, 4), B({0x08, 0x52, 0, 0}));  // 21000
    EXPECT_EQ(Get(part, 1160, 4), B({0x04, 0x74, 0, 0}));  // 29700
    EXPECT_EQ(Get(part, 3784, 2), B({0x01, 0x01}));        // 257
    EXPECT_EQ(Get(part, 3231, 1), B({1}));
    EXPECT_EQ(Get(part, 824, 128), std::vector<uint8_t>(128, 0));
    EXPECT_EQ(Get(part, 8584, 500), std::vector<uint8_t>(500, 0));
}

TEST(Defaults, PassTheirOwnRules) {
    std::vector<uint8_t> part = Part(0x55);
    SetDefaultSettings(SettingsOf(part));
    const std::vector<uint8_t> before = part;
    ValidateSettings(SettingsOf(part));
    EXPECT_EQ(part, before);
}

TEST(Defaults, StopAtTheEndOfAShortBlock) {
    std::vector<uint8_t> settings(400, 0xAA);  // exactly sized: no write may pass it
    SetDefaultSettings(SettingsSpan{settings.data(), settings.size()});
    EXPECT_EQ(settings[372], 1);
    EXPECT_EQ(settings[396], 0x01);
    EXPECT_EQ(settings[399], 0x00);
}

// ---------------------------------------------------------------------------

struct RuleCase {
    size_t offset;
    std::vector<uint8_t> stored;
    std::vector<uint8_t> expected;
};

void ExpectRules(const std::vector<RuleCase>& cases) {
    for (const RuleCase& c : cases) {
        std::vector<uint8_t> part = Part(0);
        SetDefaultSettings(SettingsOf(part));
        for (size_t i = 0; i < c.stored.size(); ++i) part[kHeader + c.offset + i] = c.stored[i];
        ValidateSettings(SettingsOf(part));
        EXPECT_EQ(Get(part, c.offset, c.expected.size()), c.expected) << "offset " << c.offset;
    }
}

TEST(Validation, ListedValuesOrTheReplacement) {
    ExpectRules({
        {372, B({3, 0}), B({3, 0})},  // ZTDuplex 1..3
        {372, B({4, 0}), B({1, 0})},
        {372, B({0, 1}), B({1, 0})},  // 256
        {376, B({0, 0}), B({9, 0})},  // paper 0 -> 9
        {376, B({6, 1}), B({6, 1})},  // 262
        {376, B({7, 1}), B({9, 0})},  // 263
        {390, B({0, 0}), B({0, 0})},  // output paper may be 0
        {400, B({42}), B({42})},      // ZTMultiUp 41..44
        {400, B({23}), B({0})},
        {400, B({88}), B({88})},
        {400, B({89}), B({0})},
        {3771, B({0xFF}), B({0xFF})},  // signed byte: -1 is valid
        {3771, B({21}), B({0})},
        {3231, B({100}), B({100})},  // unsigned byte 0..100
        {3231, B({101}), B({1})},
        {3231, B({0}), B({0})},
        {396, B({0x0B, 0x01, 0, 0}), B({0x0B, 0x01, 0, 0})},  // 267
        {396, B({0x09, 0x01, 0, 0}), B({0x01, 0x01, 0, 0})},  // 265
        {396, B({0x01, 0x01, 0, 1}), B({0x01, 0x01, 0, 0})},  // 257 + 2^24
        {392, B({0x04, 0x01}), B({0x04, 0x01})},              // 260
        {392, B({0x05, 0x01}), B({0x07, 0x00})},              // 261
    });
}

TEST(Validation, ClampsToTheNearestBound) {
    ExpectRules({
        {388, B({10, 0}), B({50, 0})},                         // ZTZoomRate 50..200
        {388, B({0xF4, 0x01}), B({200, 0})},                   // 500
        {388, B({0x9C, 0xFF}), B({50, 0})},                    // -100 is below, not above
        {3748, B({0x30, 0x8A}), B({0xC8, 0x9C})},              // -30160 -> -25400
        {3748, B({0x30, 0x75}), B({0x38, 0x63})},              // 30000 -> 25400
        {3750, B({0x18, 0xFC}), B({0x18, 0xFC})},              // -1000 stays
        {1156, B({100, 0, 0, 0}), B({0x28, 0x23, 0, 0})},      // 100 -> 9000
        {1156, B({0x40, 0x9C, 0, 0}), B({0xD0, 0x84, 0, 0})},  // 40000 -> 34000
        {1156, B({0, 0, 0, 0x80}), B({0x28, 0x23, 0, 0})},     // INT32_MIN -> 9000
        {1176, B({0xD8, 0xD6, 0, 0}), B({0xD8, 0xD6, 0, 0})},  // 55000 stays
        {1224, B({0, 0}), B({1, 0})},                          // copies 1..9999
    });
}

TEST(Validation, TextFieldsNeedAZeroUnitWithinTheField) {
    std::vector<uint8_t> unterminated;
    for (int i = 0; i < 64; ++i) unterminated.insert(unterminated.end(), {'a', 0});
    std::vector<uint8_t> lastUnitZero = unterminated;
    lastUnitZero[126] = 0;
    std::vector<uint8_t> oddZeroBytes = unterminated;  // 'a',0 | 0,'a' : zero bytes but no zero unit
    oddZeroBytes[2] = 0;
    oddZeroBytes[3] = 'a';
    ExpectRules({
        {824, unterminated, std::vector<uint8_t>(128, 0)},
        {824, lastUnitZero, lastUnitZero},
        {824, oddZeroBytes, std::vector<uint8_t>(128, 0)},
    });

    std::vector<uint8_t> pageList(500, 0x11);
    std::vector<uint8_t> pageListEnding = pageList;
    pageListEnding[499] = 0;
    ExpectRules({
        {1230, pageList, std::vector<uint8_t>(500, 0)},
        {8584, pageListEnding, pageListEnding},
    });
}

TEST(Validation, StapleModeFollowsTheValidatedBinding) {
    struct Case {
        int binding;
        int staple;
        int expectedBinding;
        int expectedStaple;
    };
    const Case cases[] = {
        {2, 11, 2, 11},
        {2, 12, 2, 12},
        {2, 10, 2, 0},
        {2, 20, 2, 20},
        {0, 11, 0, 0},
        {0, 10, 0, 10},
        {1, 20, 1, 20},
        {1, 12, 1, 0},
        // An invalid binding becomes 0 first, so 10 survives and 11 does not.
        {5, 10, 0, 10},
        {5, 11, 0, 0},
        {0, -1, 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> part = Part(0);
        SetDefaultSettings(SettingsOf(part));
        Put(part, 1144, {c.binding});
        Put(part, 3764, {c.staple});
        ValidateSettings(SettingsOf(part));
        EXPECT_EQ(part[kHeader + 1144], static_cast<uint8_t>(c.expectedBinding)) << c.binding << "/" << c.staple;
        EXPECT_EQ(part[kHeader + 3764], static_cast<uint8_t>(c.expectedStaple)) << c.binding << "/" << c.staple;
    }
}

// ---------------------------------------------------------------------------

TEST(Validation, ListsEveryCorrectionWithItsValues) {
    struct Case {
        const char* name;
        std::vector<uint8_t> stored;
        int64_t before;
        int64_t after;
    };
    const Case cases[] = {
        {"ZTDuplex", B({4, 0}), 4, 1},              // replacement
        {"ZTZoomRate", B({0xF4, 0x01}), 500, 200},  // clamp above
        {"ZTGCCyan", B({0, 0}), 0, 1},              // clamp below
        {"ZTMediaType", B({0x01, 0x01, 0, 1}), 0x01000101, 257},
        {"ZTBookletSplitting", B({21}), 21, 0},                     // signed byte
        {"ZTStampPageFont", std::vector<uint8_t>(128, 'a'), 0, 0},  // text cleared whole
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> part = Part(0);
        SetDefaultSettings(SettingsOf(part));
        const SettingRow* row = FindSettingRow(c.name);
        ASSERT_NE(row, nullptr) << c.name;
        std::copy(c.stored.begin(), c.stored.end(), part.begin() + kHeader + row->offset);
        SettingCorrections corrections;
        ValidateSettings(SettingsOf(part), &corrections);
        ASSERT_EQ(corrections.count, 1u) << c.name;
        EXPECT_EQ(corrections.items[0].row, row) << c.name;
        EXPECT_EQ(corrections.items[0].before, c.before) << c.name;
        EXPECT_EQ(corrections.items[0].after, c.after) << c.name;
    }
}

TEST(Validation, StapleCorrectionFollowsTheBindingCorrection) {
    std::vector<uint8_t> part = Part(0);
    SetDefaultSettings(SettingsOf(part));
    Put(part, kSettingBinding.offset, {5});
    Put(part, FindSettingRow("ZTStapleMode")->offset, {11});
    SettingCorrections corrections;
    ValidateSettings(SettingsOf(part), &corrections);
    ASSERT_EQ(corrections.count, 2u);
    EXPECT_STREQ(corrections.items[0].row->name, "ZTBinding");
    EXPECT_STREQ(corrections.items[1].row->name, "ZTStapleMode");
    EXPECT_EQ(corrections.items[1].before, 11);
    EXPECT_EQ(corrections.items[1].after, 0);
}

TEST(MergePrivatePart, RefusesWithACauseAndWritesNothing) {
    std::vector<uint8_t> out = Part(0xAA);
    EXPECT_EQ(MergePrivatePart(nullptr, nullptr, kPart), kStatusInvalidArgument);
    EXPECT_EQ(MergePrivatePart(nullptr, out.data(), kPart - 1), kStatusInsufficientBuffer);
    EXPECT_EQ(out, Part(0xAA));
    // An input of another signature gives the defaults, which need no correction.
    std::vector<uint8_t> in = Part(0);
    SettingCorrections corrections;
    corrections.count = 99;
    EXPECT_EQ(MergePrivatePart(in.data(), out.data(), kPart, &corrections), kStatusOk);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 12), kOurHeader);
    EXPECT_EQ(corrections.count, 0u);
}

TEST(SettingFields, ReadAndWriteThroughTheDescriptor) {
    std::vector<uint8_t> block(kSettingsBlockBytes, 0);
    const SettingsSpan span{block.data(), block.size()};
    const SettingField splitting = FieldNamed("ZTBookletSplitting");  // 1-byte signed
    const SettingField box = FieldNamed("ZTOutputBox");               // 1-byte unsigned
    EXPECT_TRUE(WriteField(span, splitting, -1));
    EXPECT_TRUE(WriteField(span, box, 200));
    EXPECT_EQ(ReadField(AsView(span), splitting), -1);
    EXPECT_EQ(ReadFieldValue(AsView(span), splitting), 255);  // the header's reading
    EXPECT_EQ(ReadField(AsView(span), box), 200);
    EXPECT_FALSE(WriteField(span, kSettingDateText, 1));  // a text is no number
    EXPECT_TRUE(WriteFieldText(span, kSettingDateText, u"2026/12/07"));
    EXPECT_FALSE(WriteFieldText(span, splitting, u"x"));
    Text16 text;
    EXPECT_TRUE(ReadFieldText(AsView(span), kSettingDateText, text).Ok());
    EXPECT_EQ(text, u"2026/12/07");
    EXPECT_FALSE(WriteField(SettingsSpan{block.data(), splitting.offset}, splitting, 0));  // outside the span
    EXPECT_EQ(NoSettingsFieldNamed().bytes, 0u);  // what a name the table lacks gives at run time
}

TEST(PrivatePartSettings, ViewIsBoundedByTheDeclaredSize) {
    std::vector<uint8_t> part(400, 0);
    PutHeader(part, 400, 0x4D534654, 1);
    const SettingsView v = PrivatePartSettings(static_cast<const void*>(part.data()));
    EXPECT_EQ(v.size, 388u);
    EXPECT_EQ(v.data, part.data() + 12);
    PutHeader(part, 11, 0, 0);
    EXPECT_EQ(PrivatePartSettings(static_cast<const void*>(part.data())).data, nullptr);
    PutHeader(part, 0xFFFFFFFF, 0, 0);
    EXPECT_EQ(PrivatePartSettings(static_cast<void*>(part.data())).size, 12004u);
    EXPECT_EQ(PrivatePartSettings(static_cast<void*>(part.data()), 400).size, 388u);
    EXPECT_EQ(PrivatePartSettings(static_cast<void*>(part.data()), 5).data, nullptr);
}

// ---------------------------------------------------------------------------

Text16 Decoded(const uint8_t* field, size_t size = kPageListBytes) {
    Text16 text;
    EXPECT_TRUE(DecodePageList(field, size, text).Ok());
    return text;
}

Text16 Decoded(SettingsView view, size_t offset) {
    Text16 text;
    EXPECT_TRUE(DecodePageList(view, offset, text).Ok());
    return text;
}

TEST(DecodePageList, DigitsSeparatorsAndEnd) {
    std::vector<uint8_t> field(500, 0);
    field[0] = 0xA1;
    field[1] = 0xB3;
    field[2] = 0x05;
    EXPECT_EQ(Decoded(field.data()), Text16(u"1,3-5"));
    field[0] = 0;
    EXPECT_EQ(Decoded(field.data()), Text16());
    field[0] = 0xF1;  // 15 is the digit 0
    field[1] = 0xD2;  // 13 ends the text after "2"
    field[2] = 0x33;
    EXPECT_EQ(Decoded(field.data()), Text16(u"102"));
    field[1] = 0x2C;  // 12 in the low half ends at once
    EXPECT_EQ(Decoded(field.data()), Text16(u"10"));
    field[1] = 0xE9;  // 14
    EXPECT_EQ(Decoded(field.data()), Text16(u"109"));
    EXPECT_EQ(Decoded(static_cast<const uint8_t*>(nullptr)), Text16());
}

TEST(DecodePageList, RunsToTheLastNibbleAndNoFurther) {
    std::vector<uint8_t> field(500, 0x11);  // exactly sized
    field[499] = 0x92;
    const Text16 text = Decoded(field.data());
    ASSERT_EQ(text.size(), 1000u);
    EXPECT_EQ(text.substr(996), Text16(u"1129"));

    // A view that ends inside the field stops there.
    std::vector<uint8_t> block(1232, 0);
    block[1230] = 0x21;
    block[1231] = 0x43;
    EXPECT_EQ(Decoded(SettingsView{block.data(), block.size()}, 1230), Text16(u"1234"));
    EXPECT_EQ(Decoded(SettingsView{block.data(), block.size()}, 1232), Text16());
}

}  // namespace
