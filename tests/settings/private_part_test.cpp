#include "settings/private_part.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kHeader = 12;
constexpr size_t kPart = 12016;

// Test-side byte helpers, independent of the accessor under test. Offsets are
// settings offsets (the header is added).
void Put(std::vector<BYTE>& part, size_t offset, std::initializer_list<int> bytes) {
    size_t i = kHeader + offset;
    for (int b : bytes) part.at(i++) = static_cast<BYTE>(b);
}

std::vector<BYTE> Get(const std::vector<BYTE>& part, size_t offset, size_t count) {
    return std::vector<BYTE>(part.begin() + kHeader + offset, part.begin() + kHeader + offset + count);
}

std::vector<BYTE> B(std::initializer_list<int> bytes) {
    std::vector<BYTE> v;
    for (int b : bytes) v.push_back(static_cast<BYTE>(b));
    return v;
}

const std::vector<BYTE> kOurHeader = B({0xF0, 0x2E, 0x00, 0x00, 0x54, 0x46, 0x53, 0x4D, 0x01, 0x00, 0x00, 0x00});

std::vector<BYTE> Part(BYTE fill) { return std::vector<BYTE>(kPart, fill); }

void PutHeader(std::vector<BYTE>& part, DWORD size, DWORD signature, DWORD version) {
    const DWORD words[3] = {size, signature, version};
    std::memcpy(part.data(), words, sizeof(words));
}

SettingsSpan SettingsOf(std::vector<BYTE>& part) { return SettingsSpan{part.data() + kHeader, part.size() - kHeader}; }

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
    std::vector<BYTE> part = Part(0xAA);
    SetDefaultSettings(SettingsOf(part));
    // Header, identification, unlisted gaps and the user name are untouched.
    EXPECT_EQ(std::vector<BYTE>(part.begin(), part.begin() + 26), std::vector<BYTE>(26, 0xAA));
    EXPECT_EQ(Get(part, 380, 2), B({0xAA, 0xAA}));
    EXPECT_EQ(Get(part, 7248, 44), std::vector<BYTE>(44, 0xAA));
    EXPECT_EQ(Get(part, 9084, 12004 - 9084), std::vector<BYTE>(12004 - 9084, 0xAA));
    // Duplex 1, mixed 5, paper 9, orientation 1.
    EXPECT_EQ(Get(part, 372, 8), B({1, 0, 5, 0, 9, 0, 1, 0}));
    EXPECT_EQ(Get(part, 382, 5), B({0, 2, 3, 0, 0}));
    EXPECT_EQ(Get(part, 388, 6), B({100, 0, 0, 0, 7, 0}));
    EXPECT_EQ(Get(part, 396, 4), B({0x01, 0x01, 0, 0}));   // 257, unsigned 32-bit
    EXPECT_EQ(Get(part, 1156, 4), B({0x08, 0x52, 0, 0}));  // 21000
    EXPECT_EQ(Get(part, 1160, 4), B({0x04, 0x74, 0, 0}));  // 29700
    EXPECT_EQ(Get(part, 3784, 2), B({0x01, 0x01}));        // 257
    EXPECT_EQ(Get(part, 3231, 1), B({1}));
    EXPECT_EQ(Get(part, 824, 128), std::vector<BYTE>(128, 0));
    EXPECT_EQ(Get(part, 8584, 500), std::vector<BYTE>(500, 0));
}

TEST(Defaults, PassTheirOwnRules) {
    std::vector<BYTE> part = Part(0x55);
    SetDefaultSettings(SettingsOf(part));
    const std::vector<BYTE> before = part;
    ValidateSettings(SettingsOf(part));
    EXPECT_EQ(part, before);
}

TEST(Defaults, StopAtTheEndOfAShortBlock) {
    std::vector<BYTE> settings(400, 0xAA);  // exactly sized: no write may pass it
    SetDefaultSettings(SettingsSpan{settings.data(), settings.size()});
    EXPECT_EQ(settings[372], 1);
    EXPECT_EQ(settings[396], 0x01);
    EXPECT_EQ(settings[399], 0x00);
}

// ---------------------------------------------------------------------------

struct RuleCase {
    size_t offset;
    std::vector<BYTE> stored;
    std::vector<BYTE> expected;
};

void ExpectRules(const std::vector<RuleCase>& cases) {
    for (const RuleCase& c : cases) {
        std::vector<BYTE> part = Part(0);
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
    std::vector<BYTE> unterminated;
    for (int i = 0; i < 64; ++i) unterminated.insert(unterminated.end(), {'a', 0});
    std::vector<BYTE> lastUnitZero = unterminated;
    lastUnitZero[126] = 0;
    std::vector<BYTE> oddZeroBytes = unterminated;  // 'a',0 | 0,'a' : zero bytes but no zero unit
    oddZeroBytes[2] = 0;
    oddZeroBytes[3] = 'a';
    ExpectRules({
        {824, unterminated, std::vector<BYTE>(128, 0)},
        {824, lastUnitZero, lastUnitZero},
        {824, oddZeroBytes, std::vector<BYTE>(128, 0)},
    });

    std::vector<BYTE> pageList(500, 0x11);
    std::vector<BYTE> pageListEnding = pageList;
    pageListEnding[499] = 0;
    ExpectRules({
        {1230, pageList, std::vector<BYTE>(500, 0)},
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
        std::vector<BYTE> part = Part(0);
        SetDefaultSettings(SettingsOf(part));
        Put(part, 1144, {c.binding});
        Put(part, 3764, {c.staple});
        ValidateSettings(SettingsOf(part));
        EXPECT_EQ(part[kHeader + 1144], static_cast<BYTE>(c.expectedBinding)) << c.binding << "/" << c.staple;
        EXPECT_EQ(part[kHeader + 3764], static_cast<BYTE>(c.expectedStaple)) << c.binding << "/" << c.staple;
    }
}

// ---------------------------------------------------------------------------

OEMDMPARAM Param(void* in, void* out, DWORD bufSize) {
    OEMDMPARAM p{};
    p.cbSize = sizeof(p);
    p.pOEMDMIn = in;
    p.pOEMDMOut = out;
    p.cbBufSize = bufSize;
    return p;
}

TEST(ProcessPrivatePart, SizeRequest) {
    OEMDMPARAM p = Param(nullptr, nullptr, 0);
    EXPECT_EQ(ProcessPrivatePart(OEMDM_SIZE, &p), S_OK);
    EXPECT_EQ(p.cbBufSize, 12016u);
}

TEST(ProcessPrivatePart, RefusesMissingBlockAndUnknownModes) {
    SetLastError(0);
    EXPECT_EQ(ProcessPrivatePart(OEMDM_SIZE, nullptr), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    OEMDMPARAM p = Param(nullptr, nullptr, 0);
    SetLastError(0);
    EXPECT_EQ(ProcessPrivatePart(5, &p), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_EQ(ProcessPrivatePart(0, &p), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(ProcessPrivatePart, DefaultWritesHeaderAndDefaults) {
    std::vector<BYTE> out = Part(0xAA);
    OEMDMPARAM p = Param(nullptr, out.data(), kPart);
    EXPECT_EQ(ProcessPrivatePart(OEMDM_DEFAULT, &p), S_OK);
    EXPECT_EQ(std::vector<BYTE>(out.begin(), out.begin() + 12), kOurHeader);
    EXPECT_EQ(Get(out, 0, 14), std::vector<BYTE>(14, 0xAA));  // identification is the sibling's
    EXPECT_EQ(Get(out, 372, 2), B({1, 0}));
}

TEST(ProcessPrivatePart, DefaultRefusesAMissingOrShortOutput) {
    OEMDMPARAM p = Param(nullptr, nullptr, kPart);
    SetLastError(0);
    EXPECT_EQ(ProcessPrivatePart(OEMDM_DEFAULT, &p), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    std::vector<BYTE> out(kPart - 1, 0xAA);
    p = Param(nullptr, out.data(), kPart - 1);
    SetLastError(0);
    EXPECT_EQ(ProcessPrivatePart(OEMDM_DEFAULT, &p), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(out, std::vector<BYTE>(kPart - 1, 0xAA));
}

TEST(ProcessPrivatePart, ConvertFromAnotherSignatureGivesDefaults) {
    std::vector<BYTE> in = Part(0x33);
    PutHeader(in, kPart, 0x12345678, 1);
    std::vector<BYTE> out = Part(0xAA);
    PutHeader(out, kPart, 0x4D534654, 1);
    OEMDMPARAM p = Param(in.data(), out.data(), kPart);
    EXPECT_EQ(ProcessPrivatePart(OEMDM_CONVERT, &p), S_OK);
    EXPECT_EQ(std::vector<BYTE>(out.begin(), out.begin() + 12), kOurHeader);
    EXPECT_EQ(Get(out, 372, 2), B({1, 0}));
    EXPECT_EQ(Get(out, 0, 14), std::vector<BYTE>(14, 0xAA));  // nothing of the input
}

TEST(ProcessPrivatePart, ConvertCopiesAShortInputOverTheDefaults) {
    std::vector<BYTE> in(8000, 0x33);  // an older driver's part: exactly 8000 bytes
    PutHeader(in, 8000, 0x4D534654, 7);
    Put(in, 372, {2, 0});
    std::vector<BYTE> out = Part(0xAA);
    PutHeader(out, kPart, 0x4D534654, 1);
    OEMDMPARAM p = Param(in.data(), out.data(), kPart);
    EXPECT_EQ(ProcessPrivatePart(OEMDM_CONVERT, &p), S_OK);
    EXPECT_EQ(std::vector<BYTE>(out.begin(), out.begin() + 12), kOurHeader);
    EXPECT_EQ(Get(out, 372, 2), B({2, 0}));
    // The input's bytes where no rule applies; where one does, the output
    // holds a valid value (0x33 bytes are out of range for most fields).
    EXPECT_EQ(Get(out, 100, 8), std::vector<BYTE>(8, 0x33));
    std::vector<BYTE> again = out;
    ValidateSettings(PrivatePartSettings(again.data(), again.size()));
    EXPECT_EQ(again, out) << "the converted part fails its own validation";
    // Beyond the input: the defaults, and the output's own unlisted bytes.
    EXPECT_EQ(Get(out, 8584, 500), std::vector<BYTE>(500, 0));
    EXPECT_EQ(Get(out, 9084, 100), std::vector<BYTE>(100, 0xAA));
}

TEST(ProcessPrivatePart, ConvertIsBoundedByTheOutputsDeclaredSize) {
    std::vector<BYTE> in = Part(0x33);
    PutHeader(in, kPart, 0x4D534654, 1);
    std::vector<BYTE> out = Part(0xAA);
    PutHeader(out, 100, 0x4D534654, 1);
    OEMDMPARAM p = Param(in.data(), out.data(), kPart);
    EXPECT_EQ(ProcessPrivatePart(OEMDM_CONVERT, &p), S_OK);
    EXPECT_EQ(std::vector<BYTE>(out.begin(), out.begin() + 12), kOurHeader);
    EXPECT_EQ(Get(out, 0, 88), std::vector<BYTE>(88, 0x33));
    EXPECT_EQ(Get(out, 88, 4), B({0xAA, 0xAA, 0xAA, 0xAA}));
    EXPECT_EQ(Get(out, 372, 2), B({1, 0}));
}

TEST(ProcessPrivatePart, ForgedInputSizesNeverReadPastTheInput) {
    // Declares less than its own header: taken for another plug-in's part.
    std::vector<BYTE> tiny = B({5, 0, 0, 0, 0x54});
    std::vector<BYTE> out = Part(0xAA);
    PutHeader(out, kPart, 0x4D534654, 1);
    OEMDMPARAM p = Param(tiny.data(), out.data(), kPart);
    EXPECT_EQ(ProcessPrivatePart(OEMDM_CONVERT, &p), S_OK);
    EXPECT_EQ(std::vector<BYTE>(out.begin(), out.begin() + 12), kOurHeader);
    EXPECT_EQ(Get(out, 0, 14), std::vector<BYTE>(14, 0xAA));

    // Declares far more than there is: capped at the private part's size.
    std::vector<BYTE> huge = Part(0x33);
    PutHeader(huge, 0xFFFFFFFF, 0x4D534654, 1);
    out = Part(0xAA);
    PutHeader(out, 0xFFFFFFFF, 0x4D534654, 1);
    p = Param(huge.data(), out.data(), kPart);
    EXPECT_EQ(ProcessPrivatePart(OEMDM_CONVERT, &p), S_OK);
    EXPECT_EQ(std::vector<BYTE>(out.begin(), out.begin() + 12), kOurHeader);
    EXPECT_EQ(Get(out, 12000, 4), B({0x33, 0x33, 0x33, 0x33}));
}

TEST(ProcessPrivatePart, ConvertWithAShortOutputBufferFails) {
    std::vector<BYTE> in = Part(0x33);
    PutHeader(in, kPart, 0x4D534654, 1);
    std::vector<BYTE> out(8000, 0xAA);
    PutHeader(out, 8000, 0x4D534654, 1);
    const std::vector<BYTE> before = out;
    OEMDMPARAM p = Param(in.data(), out.data(), 8000);
    SetLastError(0);
    EXPECT_EQ(ProcessPrivatePart(OEMDM_CONVERT, &p), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(out, before);
    EXPECT_FALSE(ConvertPrivatePart(in.data(), out.data(), 8000));
    EXPECT_FALSE(ValidatePrivatePart(out.data(), 8000));
    EXPECT_EQ(out, before);
}

TEST(ProcessPrivatePart, ConvertWithoutInputGivesTheDefaultsAndWithoutOutputNothing) {
    std::vector<BYTE> out = Part(0xAA);
    OEMDMPARAM p = Param(nullptr, out.data(), kPart);
    EXPECT_EQ(ProcessPrivatePart(OEMDM_CONVERT, &p), S_OK);
    std::vector<BYTE> defaults = Part(0xAA);
    p = Param(nullptr, defaults.data(), kPart);
    ASSERT_EQ(ProcessPrivatePart(OEMDM_DEFAULT, &p), S_OK);
    EXPECT_EQ(out, defaults);

    std::vector<BYTE> shortOut(kPart - 1, 0xAA);
    p = Param(nullptr, shortOut.data(), kPart - 1);
    SetLastError(0);
    EXPECT_EQ(ProcessPrivatePart(OEMDM_CONVERT, &p), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(shortOut, std::vector<BYTE>(kPart - 1, 0xAA));

    std::vector<BYTE> in = Part(0x33);
    const std::vector<BYTE> inBefore = in;
    p = Param(in.data(), nullptr, 0);
    EXPECT_EQ(ProcessPrivatePart(OEMDM_CONVERT, &p), S_OK);
    EXPECT_EQ(ProcessPrivatePart(OEMDM_MERGE, &p), S_OK);
    EXPECT_EQ(in, inBefore);
    EXPECT_FALSE(ConvertPrivatePart(nullptr, out.data(), kPart));
    EXPECT_FALSE(ValidatePrivatePart(nullptr, kPart));
}

TEST(ProcessPrivatePart, MergeWithoutInputStillValidatesTheOutput) {
    std::vector<BYTE> out = Part(0xAA);
    OEMDMPARAM p = Param(nullptr, out.data(), kPart);
    EXPECT_EQ(ProcessPrivatePart(OEMDM_MERGE, &p), S_OK);
    EXPECT_EQ(std::vector<BYTE>(out.begin(), out.begin() + 12), kOurHeader);
    EXPECT_EQ(Get(out, 0, 14), std::vector<BYTE>(14, 0xAA));   // not a rule's field
    EXPECT_EQ(Get(out, 372, 2), B({1, 0}));                    // -21846 is no duplex
    EXPECT_EQ(Get(out, 380, 2), B({0xAA, 0xAA}));              // unlisted
    EXPECT_EQ(Get(out, 388, 2), B({50, 0}));                   // -21846 clamped up
    EXPECT_EQ(Get(out, 3231, 1), B({1}));                      // 170 is no output box
    EXPECT_EQ(Get(out, 824, 128), std::vector<BYTE>(128, 0));  // no zero unit

    // The output would be written: a short buffer is refused untouched.
    std::vector<BYTE> shortOut(kPart - 1, 0xAA);
    p = Param(nullptr, shortOut.data(), kPart - 1);
    SetLastError(0);
    EXPECT_EQ(ProcessPrivatePart(OEMDM_MERGE, &p), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(shortOut, std::vector<BYTE>(kPart - 1, 0xAA));
}

TEST(ProcessPrivatePart, ConvertInPlaceKeepsTheSettings) {
    std::vector<BYTE> part = Part(0x33);
    PutHeader(part, kPart, 0x4D534654, 3);
    Put(part, 372, {2, 0});
    EXPECT_TRUE(ConvertPrivatePart(part.data(), part.data(), kPart));
    EXPECT_EQ(std::vector<BYTE>(part.begin(), part.begin() + 12), kOurHeader);
    EXPECT_EQ(Get(part, 372, 2), B({2, 0}));
    EXPECT_EQ(Get(part, 824, 2), B({0x33, 0x33}));
}

TEST(ProcessPrivatePart, MergeClampsWidthAndPaper) {
    std::vector<BYTE> in = Part(0);
    PutHeader(in, kPart, 0x4D534654, 1);
    SetDefaultSettings(SettingsOf(in));
    Put(in, 1156, {100, 0, 0, 0});
    Put(in, 376, {0, 0});
    std::vector<BYTE> out = Part(0);
    PutHeader(out, kPart, 0x4D534654, 1);
    OEMDMPARAM p = Param(in.data(), out.data(), kPart);
    EXPECT_EQ(ProcessPrivatePart(OEMDM_MERGE, &p), S_OK);
    EXPECT_EQ(std::vector<BYTE>(out.begin(), out.begin() + 12), kOurHeader);
    EXPECT_EQ(Get(out, 1156, 4), B({0x28, 0x23, 0, 0}));  // 9000
    EXPECT_EQ(Get(out, 376, 2), B({9, 0}));
}

TEST(PrivatePartSettings, ViewIsBoundedByTheDeclaredSize) {
    std::vector<BYTE> part(400, 0);
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

TEST(DecodePageList, DigitsSeparatorsAndEnd) {
    std::vector<BYTE> field(500, 0);
    field[0] = 0xA1;
    field[1] = 0xB3;
    field[2] = 0x05;
    EXPECT_EQ(DecodePageList(field.data()), WString(WIDE("1,3-5")));
    field[0] = 0;
    EXPECT_EQ(DecodePageList(field.data()), WString());
    field[0] = 0xF1;  // 15 is the digit 0
    field[1] = 0xD2;  // 13 ends the text after "2"
    field[2] = 0x33;
    EXPECT_EQ(DecodePageList(field.data()), WString(WIDE("102")));
    field[1] = 0x2C;  // 12 in the low half ends at once
    EXPECT_EQ(DecodePageList(field.data()), WString(WIDE("10")));
    field[1] = 0xE9;  // 14
    EXPECT_EQ(DecodePageList(field.data()), WString(WIDE("109")));
    EXPECT_EQ(DecodePageList(static_cast<const BYTE*>(nullptr)), WString());
}

TEST(DecodePageList, RunsToTheLastNibbleAndNoFurther) {
    std::vector<BYTE> field(500, 0x11);  // exactly sized
    field[499] = 0x92;
    const WString text = DecodePageList(field.data());
    ASSERT_EQ(text.size(), 1000u);
    EXPECT_EQ(text.substr(996), WString(WIDE("1129")));

    // A view that ends inside the field stops there.
    std::vector<BYTE> block(1232, 0);
    block[1230] = 0x21;
    block[1231] = 0x43;
    EXPECT_EQ(DecodePageList(SettingsView{block.data(), block.size()}, 1230), WString(WIDE("1234")));
    EXPECT_EQ(DecodePageList(SettingsView{block.data(), block.size()}, 1232), WString());
}

}  // namespace
