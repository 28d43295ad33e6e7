// Properties of the job tools over generated settings blocks: a dumped block
// comes back byte for byte, and every line of a job header decodes to the
// field value it was made from.
#include "common/wtext.h"
#include "fuzz_support.h"
#include "pjl/pjl_header.h"
#include "pjl/pjl_header_parts.h"
#include "pjl_decode.h"
#include "settings_text.h"
#include "cli.h"
#include "harness/driver_session.h"
#include "settings_source.h"
#include "spool_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

using qm22t::Field;
using qm22t::FieldType;
using qm22t::SettingsBlock;

SettingsBlock DefaultBlock() {
    SettingsBlock block{};
    SetDefaultSettings(SettingsSpan{block.data(), block.size()});
    WriteSettingText(SettingsSpan{block.data(), block.size()}, 0, 7, WIDE("VTA/NP"));
    return block;
}

// Text units of every kind a settings file must carry: ASCII, blanks at the
// ends, "=" and "#", Latin and CJK letters, pairs of surrogates.
std::u16string RandomText(FuzzRng& rng, size_t maxUnits, bool asciiOnly) {
    static const std::vector<char16_t> kUnits = {u'a', u'Z', u'0',  u' ',      u'=',      u'#',
                                                 u'*', u'@', u'\t', u'\u00E9', u'\u4E2D', u'\u00A0'};
    std::u16string text;
    const size_t length = rng.Below(static_cast<uint32_t>(maxUnits + 1));
    while (text.size() < length) {
        if (asciiOnly) {
            text.push_back(static_cast<char16_t>(rng.Between(0x20, 0x7E)));
        } else if (rng.OneIn(8) && text.size() + 2 <= length) {
            text.push_back(static_cast<char16_t>(rng.Between(0xD800, 0xDBFF)));
            text.push_back(static_cast<char16_t>(rng.Between(0xDC00, 0xDFFF)));
        } else {
            text.push_back(rng.Pick(kUnits));
        }
    }
    return text;
}

void StoreText(SettingsBlock* block, const Field& field, const std::u16string& text) {
    std::memset(block->data() + field.offset, 0, field.bytes);
    const WString wide(text.begin(), text.end());
    WriteSettingText(SettingsSpan{block->data(), block->size()}, field.offset, field.bytes / 2, wide.c_str());
}

void StorePageList(SettingsBlock* block, const Field& field, FuzzRng& rng) {
    std::memset(block->data() + field.offset, 0, field.bytes);
    const size_t codes = rng.Below(40);
    for (size_t i = 0; i < codes; ++i) {
        static const uint8_t kCodes[] = {1, 2, 3, 9, 10, 11, 15};
        const uint8_t code = kCodes[rng.Below(sizeof kCodes)];
        BYTE& byte = (*block)[field.offset + i / 2];
        byte = static_cast<BYTE>(i % 2 == 0 ? code : byte | (code << 4));
    }
}

// Anything a field may hold, including bytes no spelling gives back.
void Scramble(SettingsBlock* block, FuzzRng& rng) {
    for (const Field& field : qm22t::Fields()) {
        switch (rng.Below(4)) {
            case 0: break;  // the default
            case 1:
                for (size_t i = 0; i < field.bytes; ++i) (*block)[field.offset + i] = rng.Byte();
                break;
            default:
                if (field.type == FieldType::Text) StoreText(block, field, RandomText(rng, field.bytes / 2 - 1, false));
                else if (field.type == FieldType::PageList) StorePageList(block, field, rng);
                else
                    WriteSettingNumber(SettingsSpan{block->data(), block->size()}, field.offset, field.bytes,
                                       rng.Next());
                break;
        }
    }
    const size_t strays = rng.Below(6);
    for (size_t i = 0; i < strays; ++i) (*block)[rng.Below(static_cast<uint32_t>(block->size()))] = rng.Byte();
}

TEST(SettingsText, DumpAppliedToTheDefaultsGivesTheBlockBackByteForByte) {
    FuzzRng rng(20261207);
    const SettingsBlock defaults = DefaultBlock();
    for (int round = 0; round < 300; ++round) {
        SettingsBlock block = defaults;
        Scramble(&block, rng);
        const std::string dump = qm22t::DumpSettings(block, defaults, "round " + std::to_string(round), "the defaults");
        SettingsBlock back = defaults;
        std::string problem;
        ASSERT_TRUE(qm22t::ApplySettingsText(dump, &back, &problem)) << problem << "\n" << dump;
        ASSERT_TRUE(back == block) << "round " << round << "\n" << dump;
        // The comparison finds a difference exactly when there is one.
        ASSERT_EQ(qm22t::CompareBlocks(defaults, block).empty(), defaults == block);
        ASSERT_TRUE(qm22t::CompareBlocks(block, back).empty());
    }
}

// The names people type are the ones the feature code writes for that value,
// including the switch that decides whether other values are written at all.
TEST(SettingsText, ValueNamesAreTheFeatureCodesSpelling) {
    struct Case {
        const char* field;
        std::vector<std::pair<int64_t, std::string>> names;
    };
    const Case kCases[] = {
        {"ZTManualZoom", {{0, "OFF"}, {1, "ON"}}},
        {"ZTDuplex", {{1, "OFF"}, {2, "LongEdge"}, {3, "ShortEdge"}}},
    };
    for (const Case& c : kCases) {
        const Field* field = qm22t::FindField(c.field);
        ASSERT_NE(field, nullptr) << c.field;
        std::vector<std::pair<int64_t, std::string>> names;
        for (const qm22t::NamedValue& named : qm22t::DescribeField(*field).names)
            names.emplace_back(named.value, named.name);
        EXPECT_EQ(names, c.names) << c.field;
    }
}

// The settings commands compute the plug-in's answers without loading it; the
// plug-in on the simulated Windows, with and without the library beside it,
// must give the same bytes for its defaults and for the merge of any part:
// damaged fields, another size or signature in the header, stray bytes.
TEST(SettingsSource, DefaultsAndMergeAreThePluginsByteForByte) {
    const std::string withLibrary = harness::DefaultPluginFolder();
    const std::string withoutLibrary = testing::TempDir() + "qm22t-no-library";
    std::filesystem::create_directories(withoutLibrary);
    std::filesystem::copy_file(withLibrary + "/QM22TRD.dll", withoutLibrary + "/QM22TRD.dll",
                               std::filesystem::copy_options::overwrite_existing);
    FuzzRng rng(20261208);
    for (const std::string& folder : {withLibrary, withoutLibrary}) {
        harness::DriverSession session;
        harness::SessionOptions options;
        options.pluginDir = folder;
        std::string error;
        ASSERT_EQ(session.Open(options, &error), harness::OpenResult::kOpened) << error;
        const qm22t::SettingsLibrary library = qm22t::FindSettingsLibrary(folder);
        ASSERT_EQ(library.present, session.SiblingLoaded()) << folder;
        qm22t::PrivatePart defaults{};
        ASSERT_TRUE(session.Defaults(&defaults, &error)) << error;
        ASSERT_TRUE(qm22t::LibraryDefaults(library) == defaults) << folder;
        for (int round = 0; round < 200; ++round) {
            qm22t::PrivatePart part = defaults;
            SettingsBlock block = qm22t::BlockOfPart(part.data());
            Scramble(&block, rng);
            qm22t::StoreBlockInPart(block, part.data());
            const uint32_t sizes[] = {kPrivatePartBytes, 8000, 12, 4, 20000};
            const uint32_t signatures[] = {kPrivatePartSignature, 0x12345678};
            const uint32_t header[] = {rng.Pick(std::vector<uint32_t>(std::begin(sizes), std::end(sizes))),
                                       rng.OneIn(4) ? signatures[1] : signatures[0], rng.Below(3)};
            if (rng.OneIn(2)) std::memcpy(part.data(), header, sizeof header);
            qm22t::PrivatePart byPlugin = part;
            ASSERT_TRUE(session.Merge(&byPlugin, &error)) << error;
            qm22t::PrivatePart byCore = part;
            std::vector<qm22t::FieldChange> changes;
            ASSERT_TRUE(qm22t::MergeLikeThePlugin(library, &byCore, &changes, &error)) << error;
            ASSERT_TRUE(byCore == byPlugin) << folder << ", round " << round;
            ASSERT_EQ(changes.size(), qm22t::ComparePrivateParts(part, byPlugin).size());
        }
    }
}

// A block the device-settings validation would keep, with texts the header
// converters carry unchanged.
SettingsBlock RandomValidBlock(FuzzRng& rng) {
    SettingsBlock block = DefaultBlock();
    const SettingsSpan span{block.data(), block.size()};
    for (const SettingRow& row : kSettingTable) {
        const Field* field = qm22t::FindField(row.name);
        if (row.kind == SettingKind::Text16) {
            // The secret number goes out in the ANSI code page, the rest as UTF-8.
            const bool ansi = std::strcmp(row.name, "ZTSecretNumInfo") == 0;
            StoreText(&block, *field, RandomText(rng, row.bytes / 2 - 1, ansi));
        } else if (row.kind == SettingKind::Text8) {
            StorePageList(&block, *field, rng);
        } else if (row.rule == SettingRule::Staple) {
            WriteSettingNumber(span, row.offset, row.bytes, rng.Pick(std::vector<int64_t>{0, 10, 11, 12, 20}));
        } else {
            const ValueRange& range = row.ranges[rng.Below(row.rangeCount)];
            WriteSettingNumber(span, row.offset, row.bytes, rng.Between(range.low, range.high));
        }
    }
    ValidateSettings(span);
    return block;
}

std::vector<std::string> SetLines(const std::string& header) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < header.size();) {
        const size_t end = header.find("\r\n", start);
        const std::string line = header.substr(start, end - start);
        if (line.compare(0, 9, "@PJL SET ") == 0) lines.push_back(line.substr(9));
        start = end + 2;
    }
    return lines;
}

TEST(PjlDecode, EveryHeaderLineDecodesToTheValueItWasMadeFrom) {
    FuzzRng rng(4095);
    for (int round = 0; round < 150; ++round) {
        sim::Reset();
        const HANDLE printer = sim::AddPrinter(u"Example Printer");
        const SettingsBlock block = RandomValidBlock(rng);
        const WString document = round % 2 == 0 ? WString(WIDE("Quarterly report")) : WString();
        ASSERT_EQ(BuildPjlHeader(ModuleContext{}, printer, block.data(), document.c_str(), WIDE("operator")), S_OK);
        const std::vector<std::string> lines = SetLines(sim::WrittenBytes(printer));
        const std::vector<qm22t::DecodedLine> decoded = qm22t::DecodeSetLines(lines);

        size_t settings = 0;
        for (const qm22t::DecodedLine& line : decoded) {
            ASSERT_TRUE(line.flag.empty()) << lines[line.firstLine] << ": " << line.flag;
            if (line.kind != qm22t::DecodedLine::Kind::Setting) continue;
            ++settings;
            for (const qm22t::DecodedValue& value : line.values) {
                const Field* field = qm22t::FindField(value.field);
                ASSERT_NE(field, nullptr) << value.field;
                std::string stored;
                ASSERT_TRUE(qm22t::SpellField(*field, block, &stored)) << value.field;
                EXPECT_EQ(value.value, stored) << "round " << round << ": " << lines[line.firstLine];
                EXPECT_TRUE(value.valid) << lines[line.firstLine];
            }
        }
        // Every job setting of a valid block has a line.
        EXPECT_EQ(settings, kJobSettingCount) << "round " << round;
    }
}

TEST(PjlDecode, LinesTheTableCannotMakeAreFlagged) {
    const std::vector<std::string> lines = {
        "DUPLEX=ON", "BINDING=LONGEDGE",        "ZTZOOMRATE=7",           "ZTJOBCOMMENT=4G", "ZTNOSUCH=1",
        "QTY=x",     "ZTBOOKLETSPLITTING=AUTO", "ZTOUTPUTBOX=SHAREDBOX45"};
    const std::vector<qm22t::DecodedLine> decoded = qm22t::DecodeSetLines(lines);
    ASSERT_EQ(decoded.size(), 7u);
    EXPECT_EQ(qm22t::DescribeDecodedLine(decoded[0]), "ZTDuplex=2");
    EXPECT_EQ(decoded[0].lineCount, 2u);
    EXPECT_EQ(qm22t::DescribeDecodedLine(decoded[1]), "ZTZoomRate=7 (not a valid value)");
    EXPECT_EQ(qm22t::DescribeDecodedLine(decoded[2]),
              "ZTJobComment=\"4G\"; ! the value is not upper-case hexadecimal of UTF-8 text, as the table writes it");
    EXPECT_EQ(qm22t::DescribeDecodedLine(decoded[3]), "! no row of the PJL table makes this line");
    EXPECT_EQ(qm22t::DescribeDecodedLine(decoded[4]), "! no row of the PJL table makes this line");
    EXPECT_EQ(qm22t::DescribeDecodedLine(decoded[5]), "ZTBookletSplitting=-1");
    EXPECT_EQ(qm22t::DescribeDecodedLine(decoded[6]), "ZTOutputBox=45");
}

// Lines of every length (some far over what is kept of a line), ending in
// CR LF, LF, nothing, or with CRs inside, cut into the reader's buffers at
// random places: the reader gives each line, its end and its offset.
TEST(SpoolReader, LinesComeBackWithTheirEndsWhateverTheirLength) {
    FuzzRng rng(65536);
    for (int round = 0; round < 20; ++round) {
        std::string file;
        struct Expected {
            std::string text;
            bool crlf;
            bool lf;
        };
        std::vector<Expected> lines;
        const size_t count = 1 + rng.Below(40);
        for (size_t i = 0; i < count; ++i) {
            size_t length = rng.OneIn(10) ? qm22t::kKeptLineBytes - 2 + rng.Below(70000) : rng.Below(200);
            // The reader's buffer holds 65536 bytes: this line's CR ends the
            // first buffer and its LF begins the next.
            if (round == 0 && i == 0) length = 65535;
            std::string text;
            for (size_t k = 0; k < length; ++k) {
                text.push_back(rng.OneIn(50) && length != 65535 ? '\r' : static_cast<char>('a' + rng.Below(26)));
            }
            const uint32_t end = round == 0 && i == 0 ? 0 : i + 1 == count ? rng.Below(3) : rng.Below(2);
            file += text + (end == 0 ? "\r\n" : end == 1 ? "\n" : "");
            if (!text.empty() && text.back() == '\r' && end == 1) {
                text.pop_back();  // the CR belongs to the line end then
                lines.push_back({text.substr(0, qm22t::kKeptLineBytes), true, true});
            } else {
                lines.push_back({text.substr(0, qm22t::kKeptLineBytes), end == 0, end != 2});
            }
            if (end == 2 && text.empty()) lines.pop_back();  // nothing after the last line end
        }
        FILE* stream = std::tmpfile();
        ASSERT_NE(stream, nullptr);
        std::fwrite(file.data(), 1, file.size(), stream);
        std::rewind(stream);
        qm22t::LineReader reader(stream);
        qm22t::Line line;
        size_t index = 0;
        while (reader.Next(&line)) {
            ASSERT_LT(index, lines.size());
            EXPECT_EQ(line.text, lines[index].text) << "round " << round << ", line " << index;
            EXPECT_EQ(line.crlf, lines[index].crlf) << "round " << round << ", line " << index;
            EXPECT_EQ(line.lf, lines[index].lf) << "round " << round << ", line " << index;
            EXPECT_EQ(line.number, index + 1);
            ++index;
        }
        EXPECT_EQ(index, lines.size());
        EXPECT_EQ(reader.Offset(), file.size());
        std::fclose(stream);
    }
}

// Lines of the same bytes have the same length and digest wherever the
// reader's buffers cut them; a line with one byte changed does not.
TEST(SpoolReader, EqualLinesAreSameBytesAndOneChangedByteIsNot) {
    FuzzRng rng(0xF1);
    for (int round = 0; round < 12; ++round) {
        std::string line;
        const size_t length = rng.OneIn(3) ? qm22t::kKeptLineBytes + rng.Below(3 * 65536) : rng.Below(300);
        for (size_t k = 0; k < length; ++k) line.push_back(static_cast<char>('A' + rng.Below(26)));
        line += rng.OneIn(2) ? "\r\n" : "\n";
        std::string changed = line;
        const size_t at = rng.Below(static_cast<uint32_t>(line.size() - 1));
        changed[at] = static_cast<char>(changed[at] == 'a' ? 'b' : 'a');
        // The same line behind lines of other lengths, and the changed one.
        auto read = [&](const std::string& target, size_t before) {
            std::string file = std::string(before, 'x') + "\n" + target;
            FILE* stream = std::tmpfile();
            std::fwrite(file.data(), 1, file.size(), stream);
            std::rewind(stream);
            qm22t::LineReader reader(stream, true);
            qm22t::Line first, second;
            EXPECT_TRUE(reader.Next(&first));
            EXPECT_TRUE(reader.Next(&second));
            std::fclose(stream);
            return second;
        };
        const qm22t::Line a = read(line, rng.Below(70000));
        const qm22t::Line b = read(line, rng.Below(70000));
        const qm22t::Line c = read(changed, rng.Below(70000));
        EXPECT_EQ(a.bytes, line.size()) << round;
        EXPECT_TRUE(qm22t::SameBytes(a, b)) << round;
        EXPECT_FALSE(qm22t::SameBytes(a, c)) << round << ", byte " << at << " of " << line.size();
    }
}

// A job cut anywhere before the end of its %%Trailer line does not end; the
// whole job, and the job with the job-end sequence behind it, do.
TEST(SpoolReader, AJobCutAnywhereInItsLastPageDoesNotEnd) {
    const std::string job =
        "%!PS-Adobe-3.0\r\n%%Pages: 2\r\n%%EndComments\r\n%%Page: 1 1\r\n%%BeginPageSetup\r\n%%EndPageSetup\r\n"
        "0 0 moveto (one) show\r\nshowpage\r\n%%Page: 2 2\r\n%%BeginPageSetup\r\n%%EndPageSetup\r\n"
        "0 0 moveto (two) show\r\nshowpage\r\n%%Trailer\r\n%%EOF\r\n";
    auto ends = [](const std::string& bytes) {
        FILE* stream = std::tmpfile();
        std::fwrite(bytes.data(), 1, bytes.size(), stream);
        std::rewind(stream);
        qm22t::LineReader reader(stream);
        qm22t::PostScriptScanner scanner;
        qm22t::Line line;
        while (reader.Next(&line)) scanner.Feed(line);
        scanner.Finish();
        std::fclose(stream);
        return scanner.ended && scanner.tailProblem.empty() && scanner.lastLineEnded;
    };
    const size_t lastPage = job.find("%%Page: 2 2");
    const size_t trailerEnd = job.find("%%Trailer\r\n") + 11;
    for (size_t cut = lastPage; cut < job.size(); ++cut) {
        // Right after the trailer line the job has ended: its pages are whole.
        EXPECT_EQ(ends(job.substr(0, cut)), cut == trailerEnd) << "cut after " << cut << " bytes";
    }
    EXPECT_TRUE(ends(job));
    EXPECT_TRUE(ends(job + "\x1B%-12345X"));
    EXPECT_TRUE(ends(job + "\x1B%-12345X@PJL EOJ\r\n\x1B%-12345X"));
    EXPECT_FALSE(ends(job + "showpage\r\n"));
    EXPECT_FALSE(ends(job + "\x1B%-123"));
}

// A file made large in the parts the reader keeps (the header, a section's
// blocks, one block's lines) is read whole, and only the bounded part is kept.
TEST(SpoolReader, KeepsABoundedPartOfHeaderSectionsAndBlocks) {
    std::string file = "\x1B%-12345X@PJL\r\n";
    for (size_t i = 0; i < qm22t::kKeptHeaderLines + 10; ++i) file += "@PJL SET ZTFORM=OFF\r\n";
    file += "@PJL ENTER LANGUAGE=POSTSCRIPT\r\n%!PS-Adobe-3.0\r\n%%BeginSetup\r\n";
    const std::string block =
        "featurebegin{\r\n%%BeginFeature: *ZTJog Off\r\n(Off) /Custom /ProcSet findresource "
        "/ZTJog get exec\r\n%%EndFeature\r\n}featurecleanup\r\n";
    for (size_t i = 0; i < qm22t::kKeptBlocks + 7; ++i) file += block;
    file += "featurebegin{\r\n%%BeginFeature: *Big x\r\n";
    for (size_t i = 0; i < 5000; ++i) file += "0123456789 0123456789 0123456789\r\n";
    file += "}featurecleanup\r\n%%EndSetup\r\n%%EOF\r\n";
    const std::string path = ::testing::TempDir() + "/bounded.prn";
    FILE* stream = std::fopen(path.c_str(), "wb");
    ASSERT_NE(stream, nullptr);
    std::fwrite(file.data(), 1, file.size(), stream);
    std::fclose(stream);

    qm22t::SpoolReader spool;
    qm22t::PostScriptScanner scanner;
    std::string error;
    size_t keptBlocks = 0;
    size_t biggestText = 0;
    scanner.OnSection([&](qm22t::SetupSection& section) {
        keptBlocks += section.blocks.size();
        for (const qm22t::FeatureBlock& kept : section.blocks) {
            biggestText = std::max(biggestText, kept.text.size() + kept.invocation.size());
        }
    });
    ASSERT_TRUE(spool.Open(path, false, &error)) << error;
    ASSERT_TRUE(spool.ReadHeader(&error)) << error;
    ASSERT_TRUE(spool.ReadRest(&scanner, &error)) << error;
    EXPECT_EQ(spool.header.size(), qm22t::kKeptHeaderLines);
    EXPECT_FALSE(spool.headerEnded);
    EXPECT_EQ(spool.bytes, file.size());
    EXPECT_EQ(keptBlocks, qm22t::kKeptBlocks);
    EXPECT_EQ(scanner.blockCount, qm22t::kKeptBlocks + 8);
    EXPECT_LE(biggestText, 2 * qm22t::kKeptBlockBytes + 100);
    std::remove(path.c_str());
}

TEST(TextCodecs, Utf16GoesToUtf8AndBackUnlessASurrogateIsAlone) {
    FuzzRng rng(0xD800);
    for (int round = 0; round < 2000; ++round) {
        std::u16string units;
        bool lone = false;
        const size_t length = rng.Below(12);
        for (size_t i = 0; i < length; ++i) {
            const uint32_t kind = rng.Below(5);
            if (kind == 0) {
                units.push_back(static_cast<char16_t>(rng.Between(0xD800, 0xDBFF)));
                units.push_back(static_cast<char16_t>(rng.Between(0xDC00, 0xDFFF)));
            } else if (kind == 1 && rng.OneIn(4)) {
                // Between plain letters, so it cannot pair with a neighbour.
                units.push_back(u'A');
                units.push_back(static_cast<char16_t>(rng.Between(0xD800, 0xDFFF)));
                units.push_back(u'A');
                lone = true;
            } else {
                static const std::vector<int64_t> kPlain = {0x41, 0x7F, 0x80, 0x7FF, 0x800, 0xFFFF};
                units.push_back(static_cast<char16_t>(rng.Pick(kPlain)));
            }
        }
        std::string utf8;
        ASSERT_EQ(qm22t::Utf16ToUtf8(units, &utf8), !lone) << round;
        if (lone) continue;
        std::u16string back;
        ASSERT_TRUE(qm22t::Utf8ToUtf16(utf8, &back)) << round;
        ASSERT_EQ(back, units) << round;
    }
    // Overlong forms, encoded surrogates, code points past U+10FFFF, cut sequences.
    for (const char* bad :
         {"\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE4\xB8", "\x80", "\xFF"}) {
        std::u16string units;
        EXPECT_FALSE(qm22t::Utf8ToUtf16(bad, &units)) << Escaped(bad);
    }
}

}  // namespace
