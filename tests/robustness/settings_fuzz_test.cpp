// Private parts and settings blocks come from documents and registry entries
// of any age or origin: random headers, sizes and field values must never make
// the plug-in read or write outside the buffers it is handed, and validation
// must leave every field inside its rule.
#include "fuzz_support.h"

#include "common/result_macros.h"
#include "settings/private_part.h"
#include "core/settings_access.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

int64_t ReadRowValue(SettingsView view, const SettingRow& row) {
    return ReadSettingNumber(view, row.offset, row.bytes,
                             row.kind == SettingKind::Signed ? FieldSign::Signed : FieldSign::Unsigned);
}

// The rule of every row holds for the block; failures name the row.
void ExpectEveryRowHolds(SettingsView view, const std::string& context) {
    const SettingRow* bindingRow = FindSettingRow("ZTBinding");
    ASSERT_NE(bindingRow, nullptr);
    const int64_t binding = ReadRowValue(view, *bindingRow);
    for (const SettingRow& row : kSettingTable) {
        ASSERT_TRUE(FieldInside(view, row.offset, row.bytes)) << row.name;
        const BYTE* field = view.data + row.offset;
        if (row.rule == SettingRule::Text) {
            bool terminated = false;
            if (row.kind == SettingKind::Text8) {
                terminated = std::memchr(field, 0, row.bytes) != nullptr;
            } else {
                for (size_t i = 0; i + 1 < row.bytes && !terminated; i += 2) {
                    terminated = field[i] == 0 && field[i + 1] == 0;
                }
            }
            EXPECT_TRUE(terminated) << context << ": text " << row.name << " has no terminator";
        } else {
            const int64_t value = ReadRowValue(view, row);
            EXPECT_TRUE(SettingValueValid(row, value, binding))
                << context << ": " << row.name << " = " << value << " (binding " << binding << ")";
        }
    }
}

// Bytes that belong to some row of the table.
std::vector<bool> CoveredBytes() {
    std::vector<bool> covered(kSettingsBlockBytes, false);
    for (const SettingRow& row : kSettingTable) {
        for (size_t i = 0; i < row.bytes && row.offset + i < covered.size(); ++i) covered[row.offset + i] = true;
    }
    return covered;
}

// Defaults with some fields set to values at and around their limits, or to
// anything at all; texts filled without a terminator.
void MutateFields(FuzzRng& rng, std::vector<BYTE>& block) {
    const SettingsSpan span{block.data(), block.size()};
    const uint32_t changes = 1 + rng.Below(40);
    for (uint32_t i = 0; i < changes; ++i) {
        const SettingRow& row = kSettingTable[rng.Below(static_cast<uint32_t>(kSettingRowCount))];
        if (row.rule == SettingRule::Text) {
            for (size_t b = 0; b < row.bytes; ++b) block[row.offset + b] = static_cast<BYTE>(1 + rng.Below(255));
            if (rng.OneIn(3)) block[row.offset + rng.Below(row.bytes)] = 0;  // maybe a lone zero byte
            continue;
        }
        int64_t value = 0;
        if (row.rangeCount > 0 && rng.OneIn(2)) {
            const ValueRange& range = row.ranges[rng.Below(row.rangeCount)];
            value = (rng.OneIn(2) ? range.low : range.high) + rng.Between(-1, 1);
        } else {
            const std::vector<int64_t> edges = {
                0, -1, 1, 127, 128, 255, 256, 32767, -32768, 65535, 0x7FFFFFFF, -0x7FFFFFFF - 1, 10, 20, 30, 40};
            value = rng.OneIn(2) ? rng.Pick(edges) : static_cast<int64_t>(rng.Next());
        }
        WriteSettingNumber(span, row.offset, row.bytes, value);
    }
}

std::vector<BYTE> RandomBlock(FuzzRng& rng, size_t bytes) {
    std::vector<BYTE> block(bytes, 0);
    if (rng.OneIn(2)) {
        block = rng.Bytes(bytes);
    } else {
        SetDefaultSettings(SettingsSpan{block.data(), block.size()});
        MutateFields(rng, block);
    }
    return block;
}

TEST(SettingsFuzz, ValidationLeavesEveryFieldInsideItsRuleAndIsIdempotent) {
    FuzzRng rng(0x5EED0101);
    const std::vector<bool> covered = CoveredBytes();
    for (int round = 0; round < 300; ++round) {
        // Exactly the block's size, so a rule that reaches past it is caught.
        std::vector<BYTE> block = RandomBlock(rng, kSettingsBlockBytes);
        const std::vector<BYTE> before = block;
        ValidateSettings(SettingsSpan{block.data(), block.size()});
        ExpectEveryRowHolds(SettingsView{block.data(), block.size()}, "round " + std::to_string(round));
        for (size_t i = 0; i < block.size(); ++i) {
            if (!covered[i]) {
                ASSERT_EQ(block[i], before[i]) << "round " << round << ": byte " << i << " outside any field";
            }
        }
        const std::vector<BYTE> once = block;
        ValidateSettings(SettingsSpan{block.data(), block.size()});
        ASSERT_EQ(block, once) << "round " << round << ": a second validation changed the block";
        if (HasFailure()) return;
    }
}

TEST(SettingsFuzz, ValidationOfAShortBlockStaysInsideIt) {
    FuzzRng rng(0x5EED0102);
    for (int round = 0; round < 200; ++round) {
        const size_t size = rng.OneIn(4) ? rng.Below(20) : rng.Below(static_cast<uint32_t>(kSettingsBlockBytes));
        std::vector<BYTE> block = rng.Bytes(size);
        // An empty vector may have no storage: give the rules a real, empty block.
        std::vector<BYTE> storage(block.empty() ? 1 : 0);
        BYTE* data = block.empty() ? storage.data() : block.data();
        ValidateSettings(SettingsSpan{data, size});
        SetDefaultSettings(SettingsSpan{data, size});
    }
}

// ---------------------------------------------------------------------------
// Whole private parts through the OEMDM_* requests.

void PutHeader(std::vector<BYTE>& part, DWORD size, DWORD signature, DWORD version) {
    const DWORD words[3] = {size, signature, version};
    std::memcpy(part.data(), words, std::min(sizeof words, part.size()));
}

DWORD RandomDeclaredSize(FuzzRng& rng) {
    const std::vector<DWORD> sizes = {0, 1, 11, 12, 13, 100, 1157, 8000, 12003, 12015, 12016, 12017, 20000, 0xFFFFFFFF};
    return rng.OneIn(4) ? rng.Next() : rng.Pick(sizes);
}

DWORD RandomSignature(FuzzRng& rng) {
    if (rng.Below(10) < 7) return kPrivatePartSignature;
    const std::vector<DWORD> others = {0, 0xFFFFFFFF, 0x544D5346, kPrivatePartSignature + 1};
    return rng.OneIn(2) ? rng.Pick(others) : rng.Next();
}

// A part of the size its dwSize declares (at least its header, at most the
// full part), with random or mutated-default settings behind the header.
std::vector<BYTE> RandomPart(FuzzRng& rng) {
    const DWORD declared = RandomDeclaredSize(rng);
    const size_t bytes = std::max<size_t>(kPrivatePartHeaderBytes, std::min<size_t>(declared, kPrivatePartBytes));
    std::vector<BYTE> part(bytes, 0);
    const std::vector<BYTE> settings = RandomBlock(rng, kSettingsBlockBytes);
    std::memcpy(part.data() + kPrivatePartHeaderBytes, settings.data(), bytes - kPrivatePartHeaderBytes);
    PutHeader(part, declared, RandomSignature(rng), rng.OneIn(3) ? rng.Next() : kPrivatePartVersion);
    return part;
}

DWORD RandomBufferSize(FuzzRng& rng) {
    const std::vector<DWORD> sizes = {0, 1, 11, 12, 100, 12004, 12015, 12016, 12016, 12016, 12017, 12100, 13000};
    return rng.OneIn(5) ? rng.Below(13001) : rng.Pick(sizes);
}

void ExpectFullHeader(const BYTE* part, const std::string& context) {
    const PrivatePartHeader header = ReadPrivatePartHeader(part);
    EXPECT_EQ(header.dwSize, kPrivatePartBytes) << context;
    EXPECT_EQ(header.dwSignature, kPrivatePartSignature) << context;
    EXPECT_EQ(header.dwVersion, kPrivatePartVersion) << context;
}

TEST(PrivatePartFuzz, RequestsStayInsideTheirBuffersAndLeaveValidParts) {
    FuzzRng rng(0x5EED0201);
    const std::vector<DWORD> modes = {
        OEMDM_SIZE, OEMDM_DEFAULT, OEMDM_CONVERT, OEMDM_MERGE, OEMDM_CONVERT, OEMDM_MERGE, 0, 5, 0xFFFFFFFF};
    for (int round = 0; round < 400; ++round) {
        const std::string context = "round " + std::to_string(round);
        const DWORD mode = rng.Pick(modes);
        const bool hasIn = !rng.OneIn(6);
        const bool hasOut = !rng.OneIn(6);
        const DWORD bufSize = RandomBufferSize(rng);

        std::vector<BYTE> in = hasIn ? RandomPart(rng) : std::vector<BYTE>();
        // The output holds exactly cbBufSize bytes (one for a stated 0, so it
        // still has an address); what is in it is random, header included.
        std::vector<BYTE> out = rng.Bytes(std::max<DWORD>(bufSize, 1));
        if (out.size() >= kPrivatePartHeaderBytes && rng.OneIn(2)) {
            PutHeader(out, RandomDeclaredSize(rng), RandomSignature(rng), kPrivatePartVersion);
        }
        const std::vector<BYTE> inBefore = in;
        const std::vector<BYTE> outBefore = out;

        OEMDMPARAM param{};
        param.cbSize = sizeof param;
        param.pOEMDMIn = hasIn ? in.data() : nullptr;
        param.pOEMDMOut = hasOut ? out.data() : nullptr;
        param.cbBufSize = bufSize;
        const HRESULT hr = DriverConventionResult(ProcessPrivatePart(mode, &param));

        EXPECT_EQ(in, inBefore) << context << ": the input was written";
        // A request with an output writes it, with or without an input.
        const bool writes = hasOut && (mode == OEMDM_DEFAULT || mode == OEMDM_CONVERT || mode == OEMDM_MERGE);
        if (mode == OEMDM_SIZE) {
            EXPECT_EQ(hr, S_OK) << context;
            EXPECT_EQ(param.cbBufSize, kPrivatePartBytes) << context;
            EXPECT_EQ(out, outBefore) << context;
            continue;
        }
        EXPECT_EQ(param.cbBufSize, bufSize) << context;
        if (mode < OEMDM_SIZE || mode > OEMDM_MERGE || (mode == OEMDM_DEFAULT && !hasOut) ||
            (writes && bufSize < kPrivatePartBytes)) {
            EXPECT_EQ(hr, E_FAIL) << context << " mode " << mode;
            EXPECT_EQ(out, outBefore) << context << ": a refused request wrote";
            continue;
        }
        EXPECT_EQ(hr, S_OK) << context << " mode " << mode;
        if (!writes) {
            EXPECT_EQ(out, outBefore) << context << ": nothing to do, yet the output changed";
            continue;
        }
        if (mode == OEMDM_CONVERT && hasIn && DeclaredPrivatePartBytes(inBefore.data()) != 0 &&
            ReadPrivatePartHeader(inBefore.data()).dwSignature == ReadPrivatePartHeader(outBefore.data()).dwSignature) {
            // Parts of equal signatures are copied as they are, signature included.
            const PrivatePartHeader header = ReadPrivatePartHeader(out.data());
            EXPECT_EQ(header.dwSize, kPrivatePartBytes) << context;
            EXPECT_EQ(header.dwSignature, ReadPrivatePartHeader(inBefore.data()).dwSignature) << context;
            EXPECT_EQ(header.dwVersion, kPrivatePartVersion) << context;
        } else {
            ExpectFullHeader(out.data(), context);
        }
        // Room beyond the part is the caller's.
        for (size_t i = kPrivatePartBytes; i < out.size(); ++i) {
            ASSERT_EQ(out[i], outBefore[i]) << context << ": byte " << i << " behind the part was written";
        }
        if (mode == OEMDM_DEFAULT || mode == OEMDM_MERGE || !hasIn) {
            ExpectEveryRowHolds(SettingsView{out.data() + kPrivatePartHeaderBytes, kSettingsBlockBytes}, context);
            // Validating a validated part changes nothing.
            std::vector<BYTE> again(out.begin(), out.begin() + kPrivatePartBytes);
            const std::vector<BYTE> validated = again;
            OEMDMPARAM merge{};
            merge.cbSize = sizeof merge;
            merge.pOEMDMOut = again.data();
            merge.cbBufSize = kPrivatePartBytes;
            EXPECT_EQ(ProcessPrivatePart(OEMDM_MERGE, &merge), S_OK);
            EXPECT_EQ(again, validated) << context << ": validation is not idempotent";
        }
        if (HasFailure()) return;
    }
}

TEST(PrivatePartFuzz, ConvertedPartsReadBackTheSameAfterAValidation) {
    // Convert then merge is what the driver does with an old document's part;
    // the merged result must itself be a fixed point of merging.
    FuzzRng rng(0x5EED0202);
    for (int round = 0; round < 150; ++round) {
        std::vector<BYTE> in = RandomPart(rng);
        // The output as the driver hands it over: a part of this plug-in.
        std::vector<BYTE> out(kPrivatePartBytes, 0);
        WritePrivatePartHeader(out.data());
        ASSERT_TRUE(ConvertPrivatePart(in.data(), out.data(), out.size()));
        ExpectFullHeader(out.data(), "convert");
        ASSERT_TRUE(ValidatePrivatePart(out.data(), out.size()));
        const std::vector<BYTE> once = out;
        ASSERT_TRUE(ValidatePrivatePart(out.data(), out.size()));
        ASSERT_EQ(out, once) << "round " << round;
        ExpectEveryRowHolds(SettingsView{out.data() + kPrivatePartHeaderBytes, kSettingsBlockBytes},
                            "round " + std::to_string(round));
        // Views of the forged input never reach past what it declares.
        const SettingsView view = PrivatePartSettings(static_cast<const void*>(in.data()));
        EXPECT_LE(view.size + (view.size > 0 ? kPrivatePartHeaderBytes : 0), in.size()) << "round " << round;
        if (HasFailure()) return;
    }
}

// ---------------------------------------------------------------------------

TEST(PageListFuzz, DecodesOnlyDigitsCommasAndDashesWithinItsField) {
    FuzzRng rng(0x5EED0301);
    for (int round = 0; round < 600; ++round) {
        // Mostly the full 500-byte field; sometimes a shorter or longer buffer,
        // always exactly as long as the size passed.
        size_t size = kPageListBytes;
        if (rng.OneIn(4)) size = rng.Below(700);
        std::vector<BYTE> field(size);
        for (BYTE& b : field) {
            // Mostly codes that decode, so long texts are common.
            auto nibble = [&]() -> BYTE {
                return static_cast<BYTE>(rng.Below(20) == 0 ? rng.Below(16) : 1 + rng.Below(11));
            };
            b = rng.OneIn(50) ? rng.Byte() : static_cast<BYTE>(nibble() | (nibble() << 4));
        }
        Text16 text;
        ASSERT_TRUE(DecodePageList(field.empty() ? nullptr : field.data(), size, text).Ok());
        ASSERT_LE(text.size(), 2 * kPageListBytes) << "round " << round;
        ASSERT_LE(text.size(), 2 * size) << "round " << round;
        for (WCHAR unit : text) {
            ASSERT_TRUE((unit >= u'0' && unit <= u'9') || unit == u',' || unit == u'-')
                << "round " << round << ": unit " << static_cast<unsigned>(unit);
        }
        // Through a view that ends inside the field.
        const size_t viewSize = rng.Below(static_cast<uint32_t>(size + 1));
        Text16 viewed;
        ASSERT_TRUE(DecodePageList(SettingsView{field.empty() ? nullptr : field.data(), viewSize}, 0, viewed).Ok());
        ASSERT_LE(viewed.size(), 2 * viewSize) << "round " << round;
        ASSERT_EQ(viewed, text.substr(0, viewed.size())) << "round " << round;
    }
}

}  // namespace
