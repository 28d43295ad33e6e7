#include "settings/private_part.h"

#include "common/result_macros.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The request's result as the plug-in's DevMode method hands it to the driver.
HRESULT AsTheDriverSees(DWORD mode, POEMDMPARAM param) {
    return DriverConventionResult(ProcessPrivatePart(mode, param));
}

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
    EXPECT_EQ(AsTheDriverSees(OEMDM_SIZE, &p), S_OK);
    EXPECT_EQ(p.cbBufSize, 12016u);
}

TEST(ProcessPrivatePart, RefusesMissingBlockAndUnknownModes) {
    SetLastError(0);
    EXPECT_EQ(AsTheDriverSees(OEMDM_SIZE, nullptr), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    OEMDMPARAM p = Param(nullptr, nullptr, 0);
    SetLastError(0);
    EXPECT_EQ(AsTheDriverSees(5, &p), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_EQ(AsTheDriverSees(0, &p), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(ProcessPrivatePart, DefaultWritesHeaderAndDefaults) {
    std::vector<BYTE> out = Part(0xAA);
    OEMDMPARAM p = Param(nullptr, out.data(), kPart);
    EXPECT_EQ(AsTheDriverSees(OEMDM_DEFAULT, &p), S_OK);
    EXPECT_EQ(std::vector<BYTE>(out.begin(), out.begin() + 12), kOurHeader);
    EXPECT_EQ(Get(out, 0, 14), std::vector<BYTE>(14, 0xAA));  // identification is the sibling's
    EXPECT_EQ(Get(out, 372, 2), B({1, 0}));
}

TEST(ProcessPrivatePart, DefaultRefusesAMissingOrShortOutput) {
    OEMDMPARAM p = Param(nullptr, nullptr, kPart);
    SetLastError(0);
    EXPECT_EQ(AsTheDriverSees(OEMDM_DEFAULT, &p), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    std::vector<BYTE> out(kPart - 1, 0xAA);
    p = Param(nullptr, out.data(), kPart - 1);
    SetLastError(0);
    EXPECT_EQ(AsTheDriverSees(OEMDM_DEFAULT, &p), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(out, std::vector<BYTE>(kPart - 1, 0xAA));
}

TEST(ProcessPrivatePart, ConvertFromAnotherSignatureGivesDefaults) {
    std::vector<BYTE> in = Part(0x33);
    PutHeader(in, kPart, 0x12345678, 1);
    std::vector<BYTE> out = Part(0xAA);
    PutHeader(out, kPart, 0x4D534654, 1);
    OEMDMPARAM p = Param(in.data(), out.data(), kPart);
    EXPECT_EQ(AsTheDriverSees(OEMDM_CONVERT, &p), S_OK);
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
    EXPECT_EQ(AsTheDriverSees(OEMDM_CONVERT, &p), S_OK);
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
    EXPECT_EQ(AsTheDriverSees(OEMDM_CONVERT, &p), S_OK);
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
    EXPECT_EQ(AsTheDriverSees(OEMDM_CONVERT, &p), S_OK);
    EXPECT_EQ(std::vector<BYTE>(out.begin(), out.begin() + 12), kOurHeader);
    EXPECT_EQ(Get(out, 0, 14), std::vector<BYTE>(14, 0xAA));

    // Declares far more than there is: capped at the private part's size.
    std::vector<BYTE> huge = Part(0x33);
    PutHeader(huge, 0xFFFFFFFF, 0x4D534654, 1);
    out = Part(0xAA);
    PutHeader(out, 0xFFFFFFFF, 0x4D534654, 1);
    p = Param(huge.data(), out.data(), kPart);
    EXPECT_EQ(AsTheDriverSees(OEMDM_CONVERT, &p), S_OK);
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
    EXPECT_EQ(AsTheDriverSees(OEMDM_CONVERT, &p), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(out, before);
    EXPECT_FALSE(ConvertPrivatePart(in.data(), out.data(), 8000));
    EXPECT_FALSE(ValidatePrivatePart(out.data(), 8000));
    EXPECT_EQ(out, before);
}

TEST(ProcessPrivatePart, ConvertWithoutInputGivesTheDefaultsAndWithoutOutputNothing) {
    std::vector<BYTE> out = Part(0xAA);
    OEMDMPARAM p = Param(nullptr, out.data(), kPart);
    EXPECT_EQ(AsTheDriverSees(OEMDM_CONVERT, &p), S_OK);
    std::vector<BYTE> defaults = Part(0xAA);
    p = Param(nullptr, defaults.data(), kPart);
    ASSERT_EQ(AsTheDriverSees(OEMDM_DEFAULT, &p), S_OK);
    EXPECT_EQ(out, defaults);

    std::vector<BYTE> shortOut(kPart - 1, 0xAA);
    p = Param(nullptr, shortOut.data(), kPart - 1);
    SetLastError(0);
    EXPECT_EQ(AsTheDriverSees(OEMDM_CONVERT, &p), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(shortOut, std::vector<BYTE>(kPart - 1, 0xAA));

    std::vector<BYTE> in = Part(0x33);
    const std::vector<BYTE> inBefore = in;
    p = Param(in.data(), nullptr, 0);
    EXPECT_EQ(AsTheDriverSees(OEMDM_CONVERT, &p), S_OK);
    EXPECT_EQ(AsTheDriverSees(OEMDM_MERGE, &p), S_OK);
    EXPECT_EQ(in, inBefore);
    EXPECT_FALSE(ConvertPrivatePart(nullptr, out.data(), kPart));
    EXPECT_FALSE(ValidatePrivatePart(nullptr, kPart));
}

TEST(ProcessPrivatePart, MergeWithoutInputStillValidatesTheOutput) {
    std::vector<BYTE> out = Part(0xAA);
    OEMDMPARAM p = Param(nullptr, out.data(), kPart);
    EXPECT_EQ(AsTheDriverSees(OEMDM_MERGE, &p), S_OK);
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
    EXPECT_EQ(AsTheDriverSees(OEMDM_MERGE, &p), E_FAIL);
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
    EXPECT_EQ(AsTheDriverSees(OEMDM_MERGE, &p), S_OK);
    EXPECT_EQ(std::vector<BYTE>(out.begin(), out.begin() + 12), kOurHeader);
    EXPECT_EQ(Get(out, 1156, 4), B({0x28, 0x23, 0, 0}));  // 9000
    EXPECT_EQ(Get(out, 376, 2), B({9, 0}));
}

}  // namespace
