#include "core/settings_access.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Exactly sized heap buffers, so that AddressSanitizer reports any read or
// write one byte past the view.
std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> bytes;
    for (int v : values) bytes.push_back(static_cast<uint8_t>(v));
    return bytes;
}

SettingsView ViewOf(const std::vector<uint8_t>& bytes) { return SettingsView{bytes.data(), bytes.size()}; }
SettingsSpan SpanOf(std::vector<uint8_t>& bytes) { return SettingsSpan{bytes.data(), bytes.size()}; }

Text16 TextAt(SettingsView view, size_t offset, size_t units) {
    Text16 text;
    EXPECT_TRUE(ReadSettingText(view, offset, units, text).Ok());
    return text;
}

TEST(SettingsAccess, ReadsLittleEndianNumbersAtUnalignedOffsets) {
    const std::vector<uint8_t> b = Bytes({0x00, 0xFE, 0xFF, 0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF, 0x80});
    const SettingsView v = ViewOf(b);
    EXPECT_EQ(ReadSettingS16(v, 1), -2);
    EXPECT_EQ(ReadSettingS32(v, 3), 0x12345678);
    EXPECT_EQ(ReadSettingS32(v, 7), -1);
    EXPECT_EQ(ReadSettingS8(v, 11), -128);
    EXPECT_EQ(ReadSettingU8(v, 11), 0x80);
    EXPECT_EQ(ReadSettingNumber(v, 7, 4, FieldSign::Unsigned), 4294967295LL);
    EXPECT_EQ(ReadSettingNumber(v, 1, 2, FieldSign::Signed), -2);
}

TEST(SettingsAccess, FieldsOutsideTheViewReadAsZero) {
    const std::vector<uint8_t> b = Bytes({0x11, 0x22, 0x33, 0x44});
    const SettingsView v = ViewOf(b);
    EXPECT_EQ(ReadSettingS16(v, 2), 0x4433);  // ends exactly at the view's end
    EXPECT_EQ(ReadSettingS16(v, 3), 0);       // one byte past it
    EXPECT_EQ(ReadSettingS32(v, 1), 0);
    EXPECT_EQ(ReadSettingU8(v, 4), 0);
    EXPECT_EQ(ReadSettingU8(v, SIZE_MAX), 0);
    EXPECT_EQ(ReadSettingNumber(v, 0, 3, FieldSign::Unsigned), 0);  // no such width
    EXPECT_EQ(ReadSettingU8(SettingsView{nullptr, 100}, 0), 0);
    EXPECT_TRUE(FieldInside(v, 0, 4));
    EXPECT_FALSE(FieldInside(v, 1, 4));
    EXPECT_FALSE(FieldInside(v, SIZE_MAX, 2));
}

TEST(SettingsAccess, WritesLittleEndianAndRefusesFieldsOutside) {
    std::vector<uint8_t> b(7, 0xAA);
    const SettingsSpan s = SpanOf(b);
    EXPECT_TRUE(WriteSettingNumber(s, 1, 2, 0x1234));
    EXPECT_TRUE(WriteSettingNumber(s, 3, 4, -2));
    EXPECT_EQ(b, Bytes({0xAA, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_FALSE(WriteSettingNumber(s, 4, 4, 0));
    EXPECT_FALSE(WriteSettingNumber(s, 7, 1, 0));
    EXPECT_FALSE(WriteSettingNumber(s, 0, 8, 0));
    EXPECT_EQ(b, Bytes({0xAA, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_TRUE(WriteSettingNumber(s, 0, 1, 0x1FF));  // only the low byte is stored
    EXPECT_EQ(b[0], 0xFF);
}

TEST(SettingsAccess, TextStopsAtZeroCapacityOrViewEnd) {
    // "AB" then zero, then "CD" without a terminator.
    const std::vector<uint8_t> b = Bytes({'A', 0, 'B', 0, 0, 0, 'C', 0, 'D', 0, 'E', 0});
    const SettingsView v = ViewOf(b);
    EXPECT_EQ(TextAt(v, 0, 6), Text16(u"AB"));
    EXPECT_EQ(SettingTextLength(v, 6, 2), 2u);  // capacity reached, no terminator
    EXPECT_EQ(TextAt(v, 6, 2), Text16(u"CD"));
    EXPECT_EQ(TextAt(v, 6, 100), Text16(u"CDE"));  // the view ends first
    EXPECT_EQ(TextAt(v, 11, 4), Text16());         // half a unit left
    EXPECT_EQ(TextAt(v, 40, 4), Text16());
}

TEST(SettingsAccess, WritingTextCutsAtCapacityAndKeepsTheRest) {
    std::vector<uint8_t> b(10, 0xAA);
    const SettingsSpan s = SpanOf(b);
    EXPECT_FALSE(WriteSettingText(s, 0, 3, u"XYZ"));
    EXPECT_EQ(b, Bytes({'X', 0, 'Y', 0, 0, 0, 0xAA, 0xAA, 0xAA, 0xAA}));
    EXPECT_TRUE(WriteSettingText(s, 2, 4, u"Q"));  // what follows the terminator stays
    EXPECT_EQ(b, Bytes({'X', 0, 'Q', 0, 0, 0, 0xAA, 0xAA, 0xAA, 0xAA}));
    EXPECT_FALSE(WriteSettingText(s, 4, 4, u"Q"));  // 8 bytes do not fit from offset 4
    EXPECT_EQ(b, Bytes({'X', 0, 'Q', 0, 0, 0, 0xAA, 0xAA, 0xAA, 0xAA}));
    EXPECT_TRUE(WriteSettingText(s, 8, 1, nullptr));
    EXPECT_EQ(b[8], 0);
    EXPECT_EQ(b[9], 0);
}

TEST(SettingsAccess, ByteRangesAreBounded) {
    std::vector<uint8_t> b = Bytes({1, 2, 3, 4});
    uint8_t out[3] = {};
    EXPECT_TRUE(ReadSettingBytes(ViewOf(b), 1, out, 3));
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[2], 4);
    EXPECT_FALSE(ReadSettingBytes(ViewOf(b), 2, out, 3));
    const uint8_t in[2] = {9, 9};
    EXPECT_FALSE(WriteSettingBytes(SpanOf(b), 3, in, 2));
    EXPECT_TRUE(WriteSettingBytes(SpanOf(b), 2, in, 2));
    EXPECT_EQ(b, Bytes({1, 2, 9, 9}));
}

TEST(SettingsAccess, IdentificationNeedsAllSevenUnits) {
    std::vector<uint8_t> b = Bytes({'V', 0, 'T', 0, 'A', 0, '/', 0, 'N', 0, 'P', 0, 0, 0, 'x'});
    EXPECT_TRUE(HasSettingsIdentification(ViewOf(b)));
    EXPECT_FALSE(HasSettingsIdentification(SettingsView{b.data(), 13}));
    b[12] = 'X';  // no terminator
    EXPECT_FALSE(HasSettingsIdentification(ViewOf(b)));
    b[12] = 0;
    b[1] = 1;  // 'V' with a high byte is another unit
    EXPECT_FALSE(HasSettingsIdentification(ViewOf(b)));
    EXPECT_FALSE(HasSettingsIdentification(SettingsView{nullptr, 14}));
}

}  // namespace
