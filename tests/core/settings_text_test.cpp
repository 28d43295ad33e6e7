// Values stored by field name from their settings-file spelling.
#include "core/settings_text.h"

#include "core/text_convert.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

TEST(SettingsFields, NamesInOffsetOrderWithTheThreeExtraFields) {
    for (size_t i = 1; i < kSettingsFieldCount; ++i) {
        EXPECT_LT(SettingsFieldAt(i - 1).offset, SettingsFieldAt(i).offset) << i;
    }
    EXPECT_STREQ(SettingsFieldAt(0).name, "Identification");
    for (size_t i = 0; i < kSettingsFieldCount; ++i) {
        const SettingField& field = SettingsFieldAt(i);
        EXPECT_EQ(FindSettingsFieldAt(field.offset), &field) << field.name;
        if (field.bytes > 1) {
            EXPECT_EQ(FindSettingsFieldAt(field.offset + 1u), nullptr) << field.name;
        }
    }
    EXPECT_EQ(FindSettingsFieldAt(kSettingsBlockBytes), nullptr);
    ASSERT_NE(FindSettingsField("UserName"), nullptr);
    EXPECT_EQ(FindSettingsField("UserName")->offset, kSettingUserName.offset);
    EXPECT_EQ(FindSettingsField("ztduplex"), nullptr);
}

TEST(StoreSettingText, BytesOrTheProblem) {
    struct Case {
        const char* name;
        std::string value;
        std::vector<uint8_t> bytes;  // at the field's offset; empty: refused
        const char* problem;
    };
    const Case cases[] = {
        {"ZTDuplex", " 2 ", {2, 0}, ""},
        {"ZTDuplex", "-32768", {0x00, 0x80}, ""},
        {"ZTDuplex", "32768", {}, "32768 does not fit ZTDuplex (2-byte signed, -32768..32767)"},
        {"ZTOutputBox", "255", {255}, ""},
        {"ZTOutputBox", "-1", {}, "-1 does not fit ZTOutputBox (1-byte unsigned, 0..255)"},
        {"ZTMediaType", "4294967295", {0xFF, 0xFF, 0xFF, 0xFF}, ""},
        {"CopyCount", "3x", {}, "\"3x\" is not a number; CopyCount takes a decimal number"},
        {"CopyCount",
         "99999999999999999999",
         {},
         "\"99999999999999999999\" is not a number; CopyCount takes a decimal number"},
        {"ZTSecretNumInfo", "a\xC3\xA9", {'a', 0, 0xE9, 0, 0, 0}, ""},
        {"ZTSecretNumInfo", "12345678", {'1', 0, '2', 0}, ""},
        {"ZTSecretNumInfo", "123456789", {}, "ZTSecretNumInfo holds at most 8 UTF-16 units; the text has 9"},
        {"ZTSecretNumInfo", "\xED\xA0\x80", {}, "the text for ZTSecretNumInfo is not UTF-8"},  // a surrogate
        {"ZTSecretNumInfo", std::string("a\0b", 3), {}, "a text cannot hold a zero character"},
        {"PageTrayStandard", "1,3-5", {0xA1, 0xB3, 0x05, 0}, ""},
        {"PageTrayStandard", "10", {0xF1, 0}, ""},
        {"PageTrayStandard", "1;2", {}, "a page list holds digits, \",\" and \"-\" only, not \";\""},
        {"PageTrayStandard", std::string(1001, '1'), {}, "a page list holds at most 1000 symbols"},
        {"Duplex", "1", {}, "no settings field is named \"Duplex\" (`qm22t settings fields` lists them)"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> block(kSettingsBlockBytes, 0xAA);
        const std::vector<uint8_t> before = block;
        std::string problem;
        const Status stored = StoreSettingText(SettingsSpan{block.data(), block.size()}, c.name, c.value, problem);
        EXPECT_EQ(problem, c.problem) << c.name << "=" << c.value;
        if (c.bytes.empty()) {
            EXPECT_EQ(stored, kStatusInvalidData) << c.name;
            EXPECT_EQ(block, before) << c.name;
            continue;
        }
        ASSERT_EQ(stored, kStatusOk) << c.name;
        const size_t offset = FindSettingsField(c.name)->offset;
        EXPECT_EQ(std::vector<uint8_t>(block.begin() + offset, block.begin() + offset + c.bytes.size()), c.bytes)
            << c.name << "=" << c.value;
    }
    std::vector<uint8_t> small(10, 0);
    std::string problem;
    EXPECT_EQ(StoreSettingText(SettingsSpan{small.data(), small.size()}, "ZTDuplex", "1", problem),
              kStatusInvalidArgument);
}

// Any text the UTF-8 converter writes reads back as the same units.
TEST(Utf8ToText16, RoundTripsGeneratedTextAndRefusesBrokenBytes) {
    std::mt19937 rng(22);
    for (int round = 0; round < 2000; ++round) {
        Text16 text;
        for (size_t n = rng() % 10; n > 0; --n) {
            const uint32_t code = rng() % 4 == 0 ? 0x10000 + rng() % 0x100000 : rng() % 0xD800;
            if (code >= 0x10000) {
                text.push_back(static_cast<Char16>(0xD800 + ((code - 0x10000) >> 10)));
                text.push_back(static_cast<Char16>(0xDC00 + ((code - 0x10000) & 0x3FF)));
            } else {
                text.push_back(static_cast<Char16>(code));
            }
        }
        std::string utf8;
        ASSERT_TRUE(Utf8Converter().Convert(text, utf8).Ok());
        Text16 back;
        ASSERT_EQ(Utf8ToText16(utf8, back), kStatusOk);
        ASSERT_EQ(back, text) << "round " << round;
    }
    for (const char* broken :
         {"\x80", "\xC3", "\xC0\x80", "\xE0\x80\x80", "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80", "a\xE2\x82"}) {
        Text16 out = TEXT16("stale");
        EXPECT_EQ(Utf8ToText16(broken, out), kStatusInvalidData) << broken;
        EXPECT_TRUE(out.empty());
    }
}

}  // namespace
