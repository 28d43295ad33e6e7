// The job header is built from settings and names the plug-in does not
// control. Whatever they hold, the printer must get well-formed PJL: the
// header's frame, whole CR LF lines, chunks the spooler accepts, and no control
// byte that would end a line early or start a command of its own.
#include "fuzz_support.h"

#include "common/module_context.h"
#include "common/wtext.h"
#include "pjl/pjl_header.h"
#include "platform/host/sim_control.h"
#include "settings/private_part.h"
#include "core/settings_access.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

const char kHeaderStart[] = "\x1B%-12345X@PJL\r\n";
const char kHeaderEnd[] = "@PJL ENTER LANGUAGE=POSTSCRIPT\r\n";
constexpr size_t kDocumentNameUnits = 520;
constexpr size_t kUserNameUnits = 21;

class PjlHeaderFuzz : public ModuleFolderTest {
protected:
    void WritePaperList(FuzzRng& rng) {
        const std::vector<std::u16string> lines = {u"PJL_PAPER_LIST=Letter=21\r\n",
                                                   u"PJL_PAPER_LIST=A4=\r\n",
                                                   u"PJL_PAPER_LIST=Legal=-2147483648\n",
                                                   u"PS_PAPER_LIST=Letter=A4\n",
                                                   u"[PAPER_LIST_END]\n",
                                                   u"PJL_PAPER_LIST=A4=99999999999\n",
                                                   u"\r\n\r\n",
                                                   u"PJL_PAPER_LIST=A4==\n"};
        std::u16string text;
        for (uint32_t i = rng.Below(6); i > 0; --i) text += rng.Pick(lines);
        WritePaperListBytes(Utf16LeBytes(text));
    }
};

// Random units: control characters (line ends and ESC among them), ASCII,
// "@PJL" pieces, quotes, lone surrogates and other non-ASCII text.
WCHAR RandomUnit(FuzzRng& rng) {
    switch (rng.Below(6)) {
        case 0: return static_cast<WCHAR>(rng.Below(0x20));
        case 1:
        case 2: return static_cast<WCHAR>(0x20 + rng.Below(0x5F));
        case 3: {
            static const char16_t kSpecial[] = u"\r\n\x1B\"=@%;\x7F\x85\xFEFF\xD800\xDC00\xFFFF\x2028";
            return static_cast<WCHAR>(kSpecial[rng.Below(sizeof kSpecial / sizeof kSpecial[0] - 1)]);
        }
        default: return static_cast<WCHAR>(rng.Next());
    }
}

// A name buffer of exactly `units` units: terminated somewhere inside, or not
// at all (the builder must stop at the buffer's end).
std::vector<WCHAR> RandomName(FuzzRng& rng, size_t units) {
    std::vector<WCHAR> name(units);
    for (WCHAR& unit : name) {
        unit = RandomUnit(rng);
        if (unit == 0) unit = u'?';
    }
    if (!rng.OneIn(3)) name[rng.Below(static_cast<uint32_t>(units))] = 0;
    return name;
}

// The first 12000 bytes of a settings block with the identification: defaults
// with random fields, or random bytes throughout.
std::vector<BYTE> RandomSettings(FuzzRng& rng) {
    const bool noise = rng.OneIn(3);
    std::vector<BYTE> block = noise ? rng.Bytes(kSettingsBlockBytes) : std::vector<BYTE>(kSettingsBlockBytes, 0);
    const SettingsSpan span{block.data(), block.size()};
    if (!noise) {
        SetDefaultSettings(span);
        const uint32_t changes = rng.Below(60);
        for (uint32_t i = 0; i < changes; ++i) {
            const SettingRow& row = kSettingTable[rng.Below(static_cast<uint32_t>(kSettingRowCount))];
            if (row.rule == SettingRule::Text) {
                for (size_t b = 0; b + 1 < row.bytes; b += 2) {
                    const WCHAR unit = RandomUnit(rng);
                    std::memcpy(block.data() + row.offset + b, &unit, sizeof unit);
                }
            } else {
                WriteSettingNumber(span, row.offset, row.bytes,
                                   rng.OneIn(2) ? static_cast<int64_t>(rng.Next()) : rng.Between(-3, 300));
            }
        }
        // Random bytes anywhere, fields without a row included.
        for (uint32_t i = rng.Below(30); i > 0; --i) block[rng.Below(static_cast<uint32_t>(block.size()))] = rng.Byte();
    }
    if (!rng.OneIn(4)) ValidateSettings(span);  // what the plug-in usually hands over
    WriteSettingText(span, 0, kIdentificationBytes / 2, WIDE("VTA/NP"));
    return std::vector<BYTE>(block.begin(), block.begin() + kPjlHeaderSettingsBytes);
}

void ExpectWellFormed(const std::vector<std::string>& chunks, const std::string& context) {
    std::string header;
    for (size_t i = 0; i < chunks.size(); ++i) {
        const std::string& chunk = chunks[i];
        EXPECT_LE(chunk.size(), 4095u) << context << ": chunk " << i;
        EXPECT_GE(chunk.size(), 2u) << context << ": chunk " << i;
        if (chunk.size() >= 2) {
            EXPECT_EQ(chunk.substr(chunk.size() - 2), "\r\n") << context << ": chunk " << i;
        }
        header += chunk;
    }
    ASSERT_GE(header.size(), sizeof kHeaderStart - 1 + sizeof kHeaderEnd - 1) << context;
    EXPECT_EQ(header.compare(0, sizeof kHeaderStart - 1, kHeaderStart), 0) << context;
    EXPECT_EQ(header.compare(header.size() - (sizeof kHeaderEnd - 1), std::string::npos, kHeaderEnd), 0)
        << context << ": " << Escaped(header.substr(header.size() > 200 ? header.size() - 200 : 0));

    // Line by line: every line ends with CR LF, and behind the first one (the
    // exit sequence begins with ESC) no line holds a control byte, DEL included.
    size_t start = 0;
    size_t lineNumber = 0;
    while (start < header.size()) {
        const size_t end = header.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << context << ": last line without CR LF";
        const std::string line = header.substr(start, end - start);
        if (lineNumber > 0) {
            for (unsigned char c : line) {
                if (c < 0x20 || c == 0x7F) {
                    ADD_FAILURE() << context << ": control byte " << static_cast<unsigned>(c) << " in line "
                                  << lineNumber << ": " << Escaped(line);
                    break;
                }
            }
        }
        start = end + 2;
        ++lineNumber;
    }
}

TEST_F(PjlHeaderFuzz, RandomSettingsAndNamesGiveAWellFormedHeader) {
    FuzzRng rng(0x5EED0401);
    for (int round = 0; round < 120; ++round) {
        NewPrinter();
        WritePaperList(rng);
        const std::vector<BYTE> settings = RandomSettings(rng);
        const std::vector<WCHAR> documentName = RandomName(rng, kDocumentNameUnits);
        const std::vector<WCHAR> userName = RandomName(rng, kUserNameUnits);
        if (rng.OneIn(4)) {
            std::u16string user;
            for (uint32_t i = rng.Below(40); i > 0; --i) user.push_back(static_cast<char16_t>(RandomUnit(rng) | 1));
            sim::SetUserName(user);
        }
        if (rng.OneIn(4)) {
            std::u16string computer;
            for (uint32_t i = rng.Below(20); i > 0; --i) computer.push_back(static_cast<char16_t>(RandomUnit(rng) | 1));
            sim::SetComputerName(computer);
        }
        const WCHAR* document = rng.OneIn(10) ? nullptr : documentName.data();
        const WCHAR* user = rng.OneIn(10) ? nullptr : userName.data();

        ASSERT_EQ(BuildPjlHeader(modules, printer, settings.data(), document, user), S_OK) << "round " << round;
        ExpectWellFormed(sim::WrittenChunks(printer), "round " + std::to_string(round));
        if (HasFailure()) return;
    }
}

}  // namespace
