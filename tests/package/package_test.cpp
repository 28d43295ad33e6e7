// The driver package: the printer description the build generated, read back
// as the driver reads it and held against the rewriter, a real PostScript
// interpreter and the limits of the format; the generator's failure paths.
#include "package_args.h"
#include "package_files.h"

#include "psfilter/feature_blocks.h"
#include "psfilter/feature_rewrite.h"
#include "core/feature_tables.h"
#include "settings/private_part.h"
#include "core/settings_fields.h"

#include "feature_templates.h"
#include "platform/host/sim_control.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <cctype>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// An option as the driver reads it from the printer description.
struct ReadChoice {
    std::string name;
    std::string code;  // the quoted invocation code
};
struct ReadOption {
    std::string keyword;
    std::string defaultChoice;
    std::string orderLine;
    std::vector<ReadChoice> choices;
};

// The *OpenUI options of a printer description, in their order.
std::vector<ReadOption> ReadOptions(const std::string& ppd) {
    std::vector<ReadOption> options;
    std::istringstream lines(ppd);
    std::string line;
    ReadOption* open = nullptr;
    while (std::getline(lines, line)) {
        if (line.compare(0, 9, "*OpenUI *") == 0) {
            options.push_back(ReadOption{line.substr(9, line.find_first_of("/:") - 9), "", "", {}});
            open = &options.back();
        } else if (open == nullptr) {
            continue;
        } else if (line.compare(0, 9, "*CloseUI:") == 0) {
            EXPECT_EQ(line, "*CloseUI: *" + open->keyword);
            open = nullptr;
        } else if (line.compare(0, 17, "*OrderDependency:") == 0) {
            open->orderLine = line;
        } else if (line.compare(0, 8 + open->keyword.size(), "*Default" + open->keyword) == 0) {
            open->defaultChoice = line.substr(line.find(": ") + 2);
        } else if (line.compare(0, open->keyword.size() + 2, "*" + open->keyword + " ") == 0) {
            const size_t nameStart = open->keyword.size() + 2;
            const size_t nameEnd = line.find_first_of("/:", nameStart);
            const size_t quote = line.find(": \"");
            EXPECT_NE(quote, std::string::npos) << line;
            EXPECT_EQ(line.back(), '"') << line;
            open->choices.push_back(ReadChoice{line.substr(nameStart, nameEnd - nameStart),
                                               line.substr(quote + 3, line.size() - quote - 4)});
        } else {
            ADD_FAILURE() << "unexpected line inside " << open->keyword << ": " << line;
        }
    }
    return options;
}

const std::string& GeneratedPpd() {
    static const std::string ppd = ReadFile(PACKAGE_FILES_DIR "/QM22TPS.PPD");
    return ppd;
}

// The row of a replace keyword, or null.
const ReplaceRow* ReplaceRowOf(const std::string& keyword) {
    for (const ReplaceGroup& group : kReplaceGroups) {
        for (size_t i = 0; i < group.count; ++i) {
            if (keyword == group.rows[i].keyword) return &group.rows[i];
        }
    }
    return nullptr;
}
const InsertRow* InsertRowOf(const std::string& keyword) {
    for (const InsertRow& row : kInsertTable) {
        if (keyword == row.keyword) return &row;
    }
    return nullptr;
}

// Reads a PostScript string body back: backslash escapes as an interpreter
// takes them (the generator writes only "\\", "\(", "\)" and octal).
std::string StringBody(const std::string& body) {
    std::string value;
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '\\') {
            value += body[i];
        } else if (++i < body.size()) {
            value += body[i];
        }
    }
    return value;
}

// "(VALUE) /Custom /ProcSet findresource /KEYWORD get exec": the value, or
// a failure when the code has another form.
std::string InvocationOf(const std::string& keyword, const std::string& code) {
    const std::string tail = ") /Custom /ProcSet findresource /" + keyword + " get exec";
    if (code.empty() || code[0] != '(' || code.size() < tail.size() + 1 ||
        code.compare(code.size() - tail.size(), tail.size(), tail) != 0) {
        ADD_FAILURE() << keyword << ": the code is not the plug-in's form: " << code;
        return std::string();
    }
    return StringBody(code.substr(1, code.size() - tail.size() - 1));
}

std::string DriverBlock(const std::string& keyword, const std::string& choice, const std::string& code) {
    return "featurebegin{\r\n%%BeginFeature: *" + keyword + " " + choice + "\r\n" + code +
           "\r\n%%EndFeature\r\n}featurecleanup\r\n";
}

// ---------------------------------------------------------------------------
// The printer description against the rewriter.

class PackagePpd : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        sim::SetUserName(u"alice");
        module = sim::RegisterModule(u"/opt/render/QM22TRD.dll", kFeatureTemplates, 2);
        defaults.assign(kSettingsBlockBytes, 0);
        SetDefaultSettings(SettingsSpan{defaults.data(), defaults.size()});
        options = ReadOptions(GeneratedPpd());
    }

    std::string Rewrite(const std::string& piece, const std::vector<BYTE>& settings) {
        std::string out;
        EXPECT_EQ(RewriteSetupPiece(module, u"Report", SettingsView{settings.data(), settings.size()}, piece,
                                    SectionState::LaterPiece, kOrientationUnknown, out),
                  S_OK);
        return out;
    }

    HMODULE module = nullptr;
    std::vector<BYTE> defaults;
    std::vector<ReadOption> options;
};

TEST_F(PackagePpd, EveryReplacedKeywordHasAnOptionAndEveryOptionIsKnown) {
    ASSERT_FALSE(GeneratedPpd().empty()) << "the build writes " PACKAGE_FILES_DIR "/QM22TPS.PPD";
    std::set<std::string> offered;
    for (const ReadOption& option : options) {
        EXPECT_TRUE(offered.insert(option.keyword).second) << "twice: " << option.keyword;
    }
    // Replace keywords: every one.
    size_t replaceCount = 0;
    for (const ReplaceGroup& group : kReplaceGroups) {
        for (size_t i = 0; i < group.count; ++i, ++replaceCount) {
            EXPECT_EQ(offered.count(group.rows[i].keyword), 1u) << group.rows[i].keyword;
        }
    }
    EXPECT_EQ(replaceCount, 90u);
    // Insert keywords whose driver block the rewriter takes over, found by
    // asking the rewriter rather than the generator's own rule.
    std::set<std::string> known;
    for (const InsertRow& row : kInsertTable) {
        known.insert(row.keyword);
        for (std::string anchors = row.anchors; !anchors.empty();) {
            const size_t blank = anchors.find(' ');
            known.insert(anchors.substr(0, blank));
            anchors.erase(0, anchors.find('/') == std::string::npos ? anchors.size() : anchors.find('/') + 1);
        }
        const std::string driver = DriverBlock(row.keyword, "X", "(X) pop");
        const bool replaced = Rewrite(driver, defaults).find(driver) == std::string::npos;
        EXPECT_EQ(offered.count(row.keyword), replaced ? 1u : 0u) << row.keyword;
    }
    for (const std::string& keyword : offered) {
        if (keyword.compare(0, 2, "ZT") != 0) continue;
        EXPECT_TRUE(ReplaceRowOf(keyword) != nullptr || known.count(keyword) == 1)
            << keyword << " is no keyword the plug-in knows";
    }
    // The paper options, the resolution and the input slot, and 90 + 11 + 1
    // printer features.
    EXPECT_EQ(options.size(), 4u + 90u + 11u + 1u);
    EXPECT_EQ(offered.count("PageSize") + offered.count("PageRegion"), 2u);
    for (const char* const absent : {"Duplex", "OutputBin", "JCLBegin"}) {
        EXPECT_EQ(offered.count(absent), 0u) << absent;
    }
    EXPECT_EQ(GeneratedPpd().find("*JCL"), std::string::npos);
}

// For every option and every choice: the block the driver writes from the
// choice's code, among the other options' default blocks, comes back with the
// value of settings that give another value.
TEST_F(PackagePpd, EveryChoiceOfEveryOptionIsRewrittenFromTheSettings) {
    ASSERT_FALSE(options.empty());
    std::mt19937 random(20261208);
    size_t checked = 0;
    for (size_t o = 0; o < options.size(); ++o) {
        const ReadOption& option = options[o];
        if (option.keyword.compare(0, 2, "ZT") != 0) continue;
        const ReplaceRow* replace = ReplaceRowOf(option.keyword);
        const InsertRow* insert = InsertRowOf(option.keyword);
        for (const ReadChoice& choice : option.choices) {
            std::string piece;
            for (size_t i = 0; i < options.size(); ++i) {
                const ReadOption& other = options[i];
                if (other.keyword.compare(0, 2, "ZT") != 0) continue;
                const ReadChoice* chosen = &choice;
                if (i != o) {
                    for (const ReadChoice& c : other.choices) {
                        if (c.name == other.defaultChoice) chosen = &c;
                    }
                }
                piece += DriverBlock(other.keyword, chosen->name, chosen->code);
            }
            // Settings whose value for this option is not the chosen one.
            std::vector<BYTE> settings = defaults;
            std::string value;
            std::string invocation;
            for (int attempt = 0; attempt < 1000; ++attempt) {
                const SettingsSpan span{settings.data(), settings.size()};
                if (replace != nullptr && !replace->field.IsText()) {
                    // Small values every other time: a field of two values
                    // must meet the other one soon, whatever the order.
                    const int64_t number = attempt % 2 == 0 ? static_cast<int64_t>(random() % 600) - 50
                                                            : static_cast<int64_t>(random() % 16) - 3;
                    ASSERT_TRUE(WriteSettingNumber(span, replace->field.offset, replace->field.bytes, number));
                    ASSERT_TRUE(WriteSettingNumber(span, kSettingBinding.offset, 1, random() % 4));
                    ASSERT_TRUE(WriteSettingNumber(span, kSettingManualZoom.offset, 1, random() % 2));
                } else if (replace != nullptr) {
                    const std::u16string text =
                        u"Font(" + std::u16string(1, static_cast<char16_t>(u'a' + attempt % 26)) + u")";
                    ASSERT_TRUE(WriteSettingBytes(span, replace->field.offset, text.c_str(), (text.size() + 1) * 2));
                } else if (insert != nullptr) {
                    ASSERT_TRUE(WriteSettingNumber(span, insert->offset, insert->capacity,
                                                   static_cast<int64_t>(random() % 2000) - 1000));
                }
                if (replace != nullptr) {
                    ASSERT_TRUE(FillReplaceValue(*replace, SettingsView{settings.data(), settings.size()}, value));
                    invocation = InvocationValue(replace->invocation, value);
                } else if (insert != nullptr) {
                    const SettingsView view{settings.data(), settings.size()};
                    value = std::to_string(insert->kind == InsertKind::Int16 ? ReadSettingS16(view, insert->offset)
                                                                             : ReadSettingS32(view, insert->offset));
                    invocation = value;
                }
                if (value != choice.name) break;
            }
            const std::string out = Rewrite(piece, settings);
            const std::string driverLine = "%%BeginFeature: *" + option.keyword + " " + choice.name + "\r\n";
            if (replace == nullptr && insert == nullptr) {
                // The page-size anchor stays the driver's; the numbers follow it.
                EXPECT_NE(out.find(DriverBlock(option.keyword, choice.name, choice.code) +
                                   "featurebegin{\r\n%%BeginFeature: *ZTPageSizeWidth "),
                          std::string::npos)
                    << option.keyword << " " << choice.name;
                ++checked;
                continue;
            }
            ASSERT_NE(value, choice.name) << option.keyword;
            const std::string ours = "featurebegin{\r\n%%BeginFeature: *" + option.keyword + " " + value + "\r\n(" +
                                     PostScriptStringBody(invocation) + ") /Custom /ProcSet findresource /" +
                                     option.keyword + " get exec\r\n%%EndFeature\r\n}featurecleanup\r\n";
            EXPECT_NE(out.find(ours), std::string::npos) << option.keyword << " " << choice.name << " -> " << value;
            EXPECT_EQ(out.find(driverLine), std::string::npos) << option.keyword << " " << choice.name;
            ++checked;
        }
    }
    EXPECT_GT(checked, 500u);
}

TEST_F(PackagePpd, DefaultsAreTheDefaultSettingsAndOrderIsDocumentSetup) {
    const std::map<std::string, std::string> expected = {
        {"PageSize", "A4"},           {"PageRegion", "A4"},    {"ZTDuplex", "OFF"},
        {"ZTCollate", "True"},        {"ZTZoomRate", "100"},   {"ZTOutputBox", "SharedBox1"},
        {"ZTMediaType", "Auto"},      {"ZTStapleMode", "Off"}, {"ZTStampPageFont", "FromSettings"},
        {"ZTGCCyan", "FromSettings"}, {"ZTPageSize", "A4"},    {"ZTRenderingIntent", "Perceptual"},
    };
    size_t found = 0;
    for (const ReadOption& option : options) {
        const auto it = expected.find(option.keyword);
        if (it != expected.end()) {
            EXPECT_EQ(option.defaultChoice, it->second) << option.keyword;
            ++found;
        }
        if (option.keyword.compare(0, 2, "ZT") == 0) {
            EXPECT_NE(option.orderLine.find(" DocumentSetup *" + option.keyword), std::string::npos)
                << option.orderLine;
        }
    }
    EXPECT_EQ(found, expected.size());
    // Spelled out where the form matters.
    const std::string& ppd = GeneratedPpd();
    for (const char* const line : {
             "*OpenUI *ZTCollate/Collate: Boolean\n*OrderDependency: 24 DocumentSetup *ZTCollate\n"
             "*DefaultZTCollate: True\n"
             "*ZTCollate False/Off: \"(Off) /Custom /ProcSet findresource /ZTCollate get exec\"\n"
             "*ZTCollate True/On: \"(On) /Custom /ProcSet findresource /ZTCollate get exec\"\n*CloseUI: *ZTCollate\n",
             "*ZTPrintSpeed ON/Low Speed: \"(LowSpeed) /Custom /ProcSet findresource /ZTPrintSpeed get exec\"\n",
             "*ZTStampDateFont FromSettings/Set by the Printer Settings: "
             "\"() /Custom /ProcSet findresource /ZTStampDateFont get exec\"\n",
             "*ZTGCCyan FromSettings/Set by the Printer Settings: "
             "\"(1) /Custom /ProcSet findresource /ZTGCCyan get exec\"\n",
             "*OpenUI *ZTGCCyan/Gamma Correction, Cyan: PickOne\n",
             "*PageSize A4/A4: \"<</PageSize [595 842] /ImagingBBox null>> setpagedevice\"\n",
             "*ImageableArea Letter/Letter: \"0 0 612 792\"\n",
             "*PaperDimension 10x13/10 x 13 Inches: \"720 936\"\n",
             "*ZTOutputBox SharedBox100/Shared Box 100: "
             "\"(SharedBox100) /Custom /ProcSet findresource /ZTOutputBox get exec\"\n",
         }) {
        EXPECT_NE(ppd.find(line), std::string::npos) << line;
    }
}

// Read as CUPS reads groups: every printer feature lies in exactly one group
// of the table, the driver's own features in none; every choice of every
// option has a display text without an abbreviation left in it, and numbers
// come in numeric order.
TEST_F(PackagePpd, FeaturesAreGroupedAndEveryChoiceIsSpelledOut) {
    std::map<std::string, std::string> groupOf;
    std::set<std::string> groupsSeen;
    std::string group;
    size_t texts = 0;
    std::istringstream lines(GeneratedPpd());
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, 12, "*OpenGroup: ") == 0) {
            EXPECT_EQ(group, "") << "nested: " << line;
            group = line.substr(12, line.find('/') - 12);
            EXPECT_TRUE(groupsSeen.insert(group).second) << "twice: " << group;
            EXPECT_LE(line.size() - line.find('/') - 1, kMaxPpdGroupTextBytes) << line;
            EXPECT_NE(line.find("(Printer Settings)"), std::string::npos) << line;
        } else if (line.compare(0, 13, "*CloseGroup: ") == 0) {
            EXPECT_EQ(line.substr(13), group);
            group.clear();
        } else if (line.compare(0, 9, "*OpenUI *") == 0) {
            groupOf[line.substr(9, line.find('/') - 9)] = group;
        }
    }
    EXPECT_EQ(groupsSeen.size(), kPpdGroupCount);
    for (const ReadOption& option : options) {
        const bool feature = option.keyword.compare(0, 2, "ZT") == 0;
        EXPECT_EQ(groupOf[option.keyword].empty(), !feature) << option.keyword;
        long previous = std::numeric_limits<long>::min();
        for (const ReadChoice& choice : option.choices) {
            const std::string line = "*" + option.keyword + " " + choice.name + "/";
            const size_t at = GeneratedPpd().find("\n" + line);
            ASSERT_NE(at, std::string::npos) << line << " has no display text";
            const size_t start = at + 1 + line.size();
            const std::string text = GeneratedPpd().substr(start, GeneratedPpd().find(':', start) - start);
            ++texts;
            // Two capitals in a row are an abbreviation, except the paper
            // names that are spelled so ("Envelope DL") and the printer's
            // own paper name.
            for (size_t i = 0; i + 1 < text.size(); ++i) {
                const bool pair = std::isupper(static_cast<unsigned char>(text[i])) &&
                                  std::isupper(static_cast<unsigned char>(text[i + 1]));
                EXPECT_TRUE(!pair || text.compare(i, 2, "DL") == 0 || text.compare(i, 2, "HC") == 0)
                    << option.keyword << " " << choice.name << ": " << text;
            }
            char* end = nullptr;
            const long number = std::strtol(choice.name.c_str(), &end, 10);
            if (!choice.name.empty() && *end == '\0') {
                EXPECT_GT(number, previous) << option.keyword << " " << choice.name;
                previous = number;
            }
        }
    }
    EXPECT_EQ(texts, 697u);
}

TEST(PackageText, ChoiceTexts) {
    const struct {
        const char* option;
        const char* choice;
        const char* text;
    } cases[] = {
        {"ZTDuplex", "OFF", "One-Sided"},
        {"ZTManualZoom", "OFF", "Off"},
        {"ZTOutputBox", "SharedBox12", "Shared Box 12"},
        {"ZTZoomRate", "150", "150 %"},
        {"ZTPrintDensity", "-3", "-3"},
        {"PageSize", "EnvKaku2", "Envelope Kaku No. 2"},
        {"PageSize", "EnvC4", "Envelope C4"},
        {"PageSize", "Env10", "Envelope No. 10"},
        {"ZTInputSlot", "ExternalFeeder", "External Feeder"},
        {"ZTInputSlot", "Tray", "Tray"},
        {"ZTGCCyan", "FromSettings", "Set by the Printer Settings"},
        {"PageSize", "A3", "A3"},
    };
    for (const auto& c : cases) EXPECT_EQ(ChoiceText(c.option, c.choice), c.text) << c.option << " " << c.choice;
}

// ---------------------------------------------------------------------------
// Every choice's code through Ghostscript with the test prolog, which records
// each /Custom ProcSet call.

TEST_F(PackagePpd, GhostscriptRecordsEveryChoicesKeywordAndValue) {
    std::string job = "%!PS\n";
    std::vector<std::string> expected;
    for (const ReadOption& option : options) {
        if (option.keyword.compare(0, 2, "ZT") != 0) continue;
        const ReplaceRow* row = ReplaceRowOf(option.keyword);
        for (const ReadChoice& choice : option.choices) {
            job += "featurebegin{\n" + choice.code + "\n}featurecleanup\n";
            std::string value = InvocationOf(option.keyword, choice.code);
            if (row != nullptr && choice.name != kNeutralChoice) {
                EXPECT_EQ(value, InvocationValue(row->invocation, choice.name)) << option.keyword;
            }
            std::string hex;
            for (const char c : value) {
                char pair[3];
                std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(c));
                hex += pair;
            }
            expected.push_back(option.keyword + "=" + hex);
        }
    }
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("package_choices_" + std::to_string(::getpid()) + ".ps");
    {
        std::ofstream out(file, std::ios::binary);
        out << job;
    }
    const std::string command = std::string("gs -q -dNODISPLAY -dBATCH -dNOPAUSE -dSAFER ") + POSTSCRIPT_PROLOG + " " +
                                file.string() + " -c '(JOB-END) = flush' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    const int status = pclose(pipe);
    std::filesystem::remove(file);
    ASSERT_EQ(status, 0) << "Ghostscript (Debian package ghostscript, scripts/install-deps.sh): " << output;
    std::vector<std::string> recorded;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) recorded.push_back(line);
    ASSERT_FALSE(recorded.empty());
    EXPECT_EQ(recorded.back(), "JOB-END");
    recorded.pop_back();
    EXPECT_EQ(recorded, expected);
    EXPECT_GT(expected.size(), 500u);
}

// ---------------------------------------------------------------------------
// What a printer description cannot carry stops the generator.

constexpr ValueName kGoodNames[] = {{1, "LongEdge"}};
constexpr ValueName kBlankNames[] = {{1, "Long Edge"}};
constexpr ValueName kSlashNames[] = {{1, "Long/Edge"}};
constexpr ValueName kLongNames[] = {{1, "Choice-of-forty-one-characters-0123456789"}};
const Spelling kGood{kGoodNames, 1, "OFF"};
const Spelling kBlank{kBlankNames, 1, "OFF"};
const Spelling kSlash{kSlashNames, 1, "OFF"};
const Spelling kLong{kLongNames, 1, "OFF"};

ReplaceRow SpelledRow(const char* keyword, const Spelling& spelling) {
    return ReplaceRow{2, keyword, kSettingDuplex, ValueRule::Spelled, &spelling, 0, 0, nullptr, Invocation::Same};
}

std::string PpdError(const ReplaceRow& row, const PaperRow* papers = kPaperTable, size_t paperCount = kPaperRowCount) {
    const ReplaceGroup group{&row, 1};
    const PackageTables tables{&group, 1, nullptr, 0, papers, paperCount};
    std::string error;
    const std::string ppd = MakePpd(tables, PackageNames{"1.0.0.0", "12/08/2026"}, error);
    EXPECT_EQ(ppd.empty(), !error.empty());
    return error;
}

TEST(PackageLimits, TableValuesAPpdCannotCarryStopTheGenerator) {
    EXPECT_EQ(PpdError(SpelledRow("ZTDuplex", kGood)), "");
    // Option keywords: 40 characters pass, 41 do not.
    EXPECT_EQ(PpdError(SpelledRow("ZTKeyword-of-forty-characters-0123456789", kGood)),
              "option ZTKeyword-of-forty-characters-0123456789 has no display text (a feature needs a row in the "
              "presentation table)");
    EXPECT_EQ(PpdError(SpelledRow("ZTKeyword-of-forty-one-characters-0123456", kGood)),
              "option keyword \"ZTKeyword-of-forty-one-characters-0123456\" has 41 characters; a printer description "
              "allows at most 40");
    EXPECT_EQ(PpdError(SpelledRow("ZTDuplex", kBlank)),
              "option ZTDuplex: choice \"Long Edge\" holds the byte 0x20, which a printer description keyword cannot "
              "carry (printable ASCII without blank, '/' and ':')");
    EXPECT_EQ(PpdError(SpelledRow("ZTDuplex", kSlash)),
              "option ZTDuplex: choice \"Long/Edge\" holds the byte 0x2F, which a printer description keyword cannot "
              "carry (printable ASCII without blank, '/' and ':')");
    EXPECT_EQ(PpdError(SpelledRow("ZTDuplex", kLong)),
              "option ZTDuplex: choice \"Choice-of-forty-one-characters-0123456789\" has 41 characters; a printer "
              "description allows at most 40");
    EXPECT_EQ(PpdError(SpelledRow("ZT:Duplex", kGood)),
              "option keyword \"ZT:Duplex\" holds the byte 0x3A, which a printer description keyword cannot carry "
              "(printable ASCII without blank, '/' and ':')");
    const PaperRow badPaper[] = {{9, "A4:Wide", 2100, 2970, 2, 1}};
    EXPECT_EQ(PpdError(SpelledRow("ZTDuplex", kGood), badPaper, 1),
              "paper keyword \"A4:Wide\" holds the byte 0x3A, which a printer description keyword cannot carry "
              "(printable ASCII without blank, '/' and ':')");
    EXPECT_EQ(PpdError(SpelledRow("ZTDuplex", kGood), badPaper, 0), "the paper table is empty");

    // A default the choices lack, and a value string cannot carry.
    PpdOption option{
        "ZTX", PpdSection::DocumentSetup, "B", {{"A", "A", "A"}}, "X", PpdGroup::Output, 0, PpdValueKind::Closed, 0, 0};
    EXPECT_EQ(CheckOptions({option}), "option ZTX: the default \"B\" is none of its choices");
    option.defaultChoice = "A";
    option.choices[0].invocationValue = "say \"A\"";
    EXPECT_EQ(CheckOptions({option}),
              "option ZTX, choice A: the invocation value holds a byte a printer description string cannot carry");
    option.choices[0].invocationValue = "A\x80";
    EXPECT_NE(CheckOptions({option}), "");
    option.choices.clear();
    EXPECT_EQ(CheckOptions({option}), "option ZTX has no choice");
}

TEST(PackageLimits, LinesOfAtMost255Bytes) {
    const std::string fits(255, 'a');
    EXPECT_EQ(CheckPpdLines("*A: x\n" + fits + "\n*B: y\n"), "");
    EXPECT_EQ(CheckPpdLines(fits), "");
    EXPECT_EQ(CheckPpdLines("*A: x\n" + fits + "b\n"),
              "line 2 has 256 bytes; a printer description allows at most 255: " + std::string(60, 'a') + "...");
    EXPECT_EQ(CheckPpdLines(""), "");
    // The generated description keeps to it.
    EXPECT_EQ(CheckPpdLines(GeneratedPpd()), "");
}

TEST(PackageLimits, FailedWriteLeavesNoFiles) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("package_out_" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder / "QM22T.INF");  // the last file cannot take its name
    const std::string command =
        std::string(PACKAGE_TOOL) + " --out " + folder.string() + " --version 1.0.0.0 --date 12/08/2026 2>/dev/null";
    EXPECT_NE(std::system(command.c_str()), 0);
    std::vector<std::string> left;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) left.push_back(entry.path().filename());
    EXPECT_EQ(left, std::vector<std::string>{"QM22T.INF"});
    fs::remove_all(folder / "QM22T.INF");
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadFile((folder / "QM22TPS.PPD").string()), GeneratedPpd());
    EXPECT_TRUE(fs::exists(folder / "QM22TRD.INI"));
    fs::remove_all(folder);
}

// ---------------------------------------------------------------------------
// The plug-in's configuration file and the INF.

TEST(PackageFiles, PluginIniIsUtf16WithItsOneEntry) {
    const std::string expected(
        "\xFF\xFE[\0O\0E\0M\0F\0i\0l\0e\0s\0]\0\r\0\n\0"
        "O\0E\0M\0D\0r\0i\0v\0e\0r\0F\0i\0l\0e\0001\0=\0Q\0M\0002\0002\0T\0R\0D\0.\0D\0L\0L\0\r\0\n\0",
        2 + 2 * 40);
    EXPECT_EQ(MakePluginIni(), expected);
    EXPECT_EQ(ReadFile(PACKAGE_FILES_DIR "/QM22TRD.INI"), expected);
}

TEST(PackageFiles, InfInstallsThePluginOnBothArchitectures) {
    const std::string inf = MakeInf(PackageNames{"2.3.4.5", "01/02/2027"});
    for (const char* const part : {
             "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Printer\r\n"
             "ClassGUID={4D36E979-E325-11CE-BFC1-08002BE10318}\r\nProvider=%Provider%\r\n"
             "DriverVer=01/02/2027,2.3.4.5\r\nCatalogFile=qm22t.cat\r\nPnpLockdown=1\r\nDriverIsolation=2\r\n",
             "[Manufacturer]\r\n%Maker%=Models,NTx86,NTamd64\r\n",
             "[Models.NTx86]\r\n\"Production Inkjet QM22T\" = QM22T_PS, ProductionInkjetQM22T, ProductionInkjet_PS\r\n",
             "[Models.NTamd64]\r\n\"Production Inkjet QM22T\" = QM22T_PS, ProductionInkjetQM22T, "
             "ProductionInkjet_PS\r\n",
             "[QM22T_PS]\r\nCopyFiles=@QM22TPS.PPD,@QM22TRD.DLL,@QM22TRD.INI,@QM22T.ini\r\nDataFile=QM22TPS.PPD\r\n"
             "CoreDriverSections=\"{D20EA372-DD35-4950-9ED8-A6335AFE79F1},PSCRIPT.OEM,PSCRIPT_DATA\"\r\n",
             "[PrinterPackageInstallation.x86]\r\nPackageAware=TRUE\r\n"
             "CoreDriverDependencies={D20EA372-DD35-4950-9ED8-A6335AFE79F1}\r\n",
             "[PrinterPackageInstallation.amd64]\r\nPackageAware=TRUE\r\n"
             "CoreDriverDependencies={D20EA372-DD35-4950-9ED8-A6335AFE79F1}\r\n",
             "[DestinationDirs]\r\nDefaultDestDir=66000\r\n",
             "[SourceDisksFiles.x86]\r\nQM22TPS.PPD=1\r\nQM22TRD.DLL=1,x86\r\nQM22TRD.INI=1\r\nQM22T.ini=1\r\n",
             "[SourceDisksFiles.amd64]\r\nQM22TPS.PPD=1\r\nQM22TRD.DLL=1,amd64\r\nQM22TRD.INI=1\r\nQM22T.ini=1\r\n",
         }) {
        EXPECT_NE(inf.find(part), std::string::npos) << part;
    }
    // The stand-in settings library is never part of the package, and the core
    // driver replaces the old way of pulling the PostScript driver in.
    for (const char* const absent : {"QM22TIE", "NTPRINT.INF", "Needs=", "DataSection="}) {
        EXPECT_EQ(inf.find(absent), std::string::npos) << absent;
    }
}

TEST(PackageFiles, KeywordLabels) {
    EXPECT_EQ(KeywordLabel("ZTDuplexMixedPage"), "Duplex Mixed Page");
    EXPECT_EQ(KeywordLabel("ZTGCCyan"), "GC Cyan");
    EXPECT_EQ(KeywordLabel("ZTFormSelect1"), "Form Select 1");
    EXPECT_EQ(KeywordLabel("PageSize"), "Page Size");
    EXPECT_EQ(KeywordLabel("ZTGCRed"), "GC Red");
}

// ---------------------------------------------------------------------------
// The custom page size: the range is what the plug-in hands the driver for a
// custom size (90 mm rounds down to 255 points, and the plug-in clamps to 964;
// 420 and 1559 for 148 and 550 mm), so the smallest size the settings allow is
// not refused, and a driver's custom-size job still gets the plug-in's page
// size behind the page-size block.

TEST_F(PackagePpd, CustomPageSizeWithinTheSettingsBounds) {
    EXPECT_NE(GeneratedPpd().find("*HWMargins: 0 0 0 0\n*MaxMediaWidth: \"964\"\n*MaxMediaHeight: \"1559\"\n"
                                  "*CustomPageSize True: \"pop pop pop <</PageSize [5 -2 roll] /ImagingBBox null>> "
                                  "setpagedevice\"\n*ParamCustomPageSize Width: 1 points 255 964\n"
                                  "*ParamCustomPageSize Height: 2 points 420 1559\n"
                                  "*ParamCustomPageSize WidthOffset: 3 points 0 0\n"
                                  "*ParamCustomPageSize HeightOffset: 4 points 0 0\n"
                                  "*ParamCustomPageSize Orientation: 5 int 0 3\n"),
              std::string::npos);
    for (const char* const line : {"*OpenUI *Resolution/Resolution: PickOne\n*OrderDependency: 10 AnySetup "
                                   "*Resolution\n*DefaultResolution: 600dpi\n*Resolution 600dpi/600 dots per inch: "
                                   "\"\"\n*CloseUI: *Resolution\n",
                                   "*DefaultInputSlot: FromSettings\n*InputSlot FromSettings/From Printer Settings: "
                                   "\"\"\n*CloseUI: *InputSlot\n"}) {
        EXPECT_NE(GeneratedPpd().find(line), std::string::npos) << line;
    }
}

TEST_F(PackagePpd, CustomSizeJobGetsThePageSizeBehindThePageSizeBlock) {
    std::vector<BYTE> settings = defaults;
    const SettingsSpan span{settings.data(), settings.size()};
    ASSERT_TRUE(WriteSettingNumber(span, FieldNamed("ZTPageSizeWidth").offset, 4, 12345));
    ASSERT_TRUE(WriteSettingNumber(span, FieldNamed("ZTPageSizeHeight").offset, 4, 23456));
    // What the driver writes for a custom size from the description's code,
    // with its five numbers in front, and the printer features' defaults.
    const std::string ppd = GeneratedPpd();
    const size_t code = ppd.find("*CustomPageSize True: \"") + 23;
    const std::string custom = "featurebegin{\r\n%%BeginFeature: *CustomPageSize True\r\n700 1000 0 0 1\r\n" +
                               ppd.substr(code, ppd.find('"', code) - code) + "\r\n%%EndFeature\r\n}featurecleanup\r\n";
    std::string pageSize;
    std::string next;
    for (const ReadOption& option : options) {
        for (const ReadChoice& choice : option.choices) {
            if (choice.name != option.defaultChoice) continue;
            if (option.keyword == "ZTPageSize") pageSize = DriverBlock(option.keyword, choice.name, choice.code);
            if (option.keyword == "ZTImageShiftFrontV") next = DriverBlock(option.keyword, choice.name, choice.code);
        }
    }
    ASSERT_FALSE(pageSize.empty());
    const std::string ours =
        "featurebegin{\r\n%%BeginFeature: *ZTPageSizeWidth 12345\r\n(12345) /Custom /ProcSet "
        "findresource /ZTPageSizeWidth get exec\r\n%%EndFeature\r\n}featurecleanup\r\n"
        "featurebegin{\r\n%%BeginFeature: *ZTPageSizeHeight 23456\r\n(23456) /Custom /ProcSet "
        "findresource /ZTPageSizeHeight get exec\r\n%%EndFeature\r\n}featurecleanup\r\n";
    const std::string out = Rewrite(custom + pageSize + next, settings);
    EXPECT_EQ(out.substr(0, custom.size() + pageSize.size() + ours.size()), custom + pageSize + ours);
    // Without the page-size block the driver's "CustomPageSize True" block
    // takes nothing in front of it: the page size needs its block.
    EXPECT_EQ(Rewrite(custom + next, settings).find("ZTPageSizeWidth"), std::string::npos);
}

// ---------------------------------------------------------------------------
// The generator's command line.

std::string Refusal(std::vector<const char*> args) {
    args.insert(args.begin(), "qm22t-package");
    PackageArguments parsed;
    return ParsePackageArguments(static_cast<int>(args.size()), args.data(), parsed);
}

TEST(PackageArgs, BadValuesAreRefusedWithTheirCause) {
    const struct {
        std::vector<const char*> args;
        const char* fault;
    } cases[] = {
        {{"--out", "o", "--version", "65535.0.0.1", "--date", "02/29/2024"}, ""},
        {{"--out", "o", "--version", "65536.0.0.1", "--date", "02/29/2024"},
         "--version \"65536.0.0.1\" is not four numbers of 0 to 65535 (like 1.0.0.0)"},
        {{"--out", "o", "--version", "7 beta", "--date", "01/01/2026"},
         "--version \"7 beta\" is not four numbers of 0 to 65535 (like 1.0.0.0)"},
        {{"--out", "o", "--version", "1.0.0", "--date", "01/01/2026"},
         "--version \"1.0.0\" is not four numbers of 0 to 65535 (like 1.0.0.0)"},
        {{"--out", "o", "--version", "1.0.0.0.0", "--date", "01/01/2026"},
         "--version \"1.0.0.0.0\" is not four numbers of 0 to 65535 (like 1.0.0.0)"},
        {{"--out", "o", "--version", "1..0.0", "--date", "01/01/2026"},
         "--version \"1..0.0\" is not four numbers of 0 to 65535 (like 1.0.0.0)"},
        {{"--out", "o", "--version", "1.0.0.0", "--date", "02/29/2025"},
         "--date \"02/29/2025\" is not a calendar date MM/DD/YYYY from 1980 on"},
        {{"--out", "o", "--version", "1.0.0.0", "--date", "02/29/1900"},
         "--date \"02/29/1900\" is not a calendar date MM/DD/YYYY from 1980 on"},
        {{"--out", "o", "--version", "1.0.0.0", "--date", "04/31/2026"},
         "--date \"04/31/2026\" is not a calendar date MM/DD/YYYY from 1980 on"},
        {{"--out", "o", "--version", "1.0.0.0", "--date", "2026-01-01"},
         "--date \"2026-01-01\" is not a calendar date MM/DD/YYYY from 1980 on"},
        {{"--out", "o", "--version", "1.0.0.0\n", "--date", "01/01/2026"},
         "argument 4 holds the control character 0x0A, which no package file can carry"},
        {{"--out", "o\x7F", "--version", "1.0.0.0", "--date", "01/01/2026"},
         "argument 2 holds the control character 0x7F, which no package file can carry"},
        {{"--out", "o", "--version", "1.0.0.0", "--date", "01/01/2026", "--force"}, "unknown option \"--force\""},
        {{"--out", "o", "--version", "1.0.0.0", "--date"}, "--date needs a value"},
        {{"--out", "o", "--out", "p", "--version", "1.0.0.0", "--date", "01/01/2026"}, "--out is given twice"},
        {{"--version", "1.0.0.0", "--date", "01/01/2026"}, "--out, --version and --date are needed"},
        {{"--help"}, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(Refusal(c.args), c.fault) << c.args.size();
}

struct CommandRun {
    int status;
    std::string output;
};
CommandRun RunCommand(const std::string& command) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    CommandRun run{-1, ""};
    if (pipe == nullptr) return run;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(PackageArgs, ExitCodesUsageAndWriteErrors) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("package_args_" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder / "QM22TPS.PPD");
    const std::string tool = PACKAGE_TOOL;
    const std::string good = " --version 1.0.0.0 --date 12/08/2026";
    const struct {
        std::string args;
        int status;
        std::string start;
    } cases[] = {
        {"--help", 0, "usage: qm22t-package --out DIR"},
        {"--out " + folder.string() + good + " --copies 2", 2,
         "qm22t-package: unknown option \"--copies\"\nusage: qm22t-package --out DIR"},
        {"--out " + (folder / "none").string() + good, 2,
         "qm22t-package: --out " + (folder / "none").string() + ": No such file or directory\nusage:"},
        {"--out " + folder.string() + good, 1,
         "qm22t-package: cannot write " + (folder / "QM22TPS.PPD").string() + ": Is a directory\n"},
    };
    for (const auto& c : cases) {
        const CommandRun run = RunCommand(tool + " " + c.args);
        EXPECT_EQ(run.status, c.status) << c.args;
        EXPECT_EQ(run.output.substr(0, c.start.size()), c.start) << c.args;
    }
    EXPECT_NE(RunCommand(tool + " --help").output.find("\nExit codes:\n  0  "), std::string::npos);
    fs::remove_all(folder);
}

// Two generations of one source at clocks years apart write the same bytes as
// the build did (in the build's environment: SOURCE_DATE_EPOCH stays as it
// was); SOURCE_DATE_EPOCH, when set, is the driver date.
TEST(PackageReproducible, GenerationsAtOtherClocksAreByteEqual) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("package_again_" + std::to_string(::getpid()));
    fs::remove_all(folder);
    const auto generate = [](const fs::path& out) {
        return std::string(" cmake -DTOOL=") + PACKAGE_TOOL +
               " -DVERSION=" PACKAGE_VERSION " -DSOURCE_DIR=" PACKAGE_SOURCE_DIR " -DOUT=" + out.string() +
               " -P " PACKAGE_SCRIPT;
    };
    for (const char* const clock : {"1999-12-31 23:59:59", "2041-06-15 12:00:00"}) {
        const fs::path out = folder / std::string(clock, 4);
        // faketime preloads its library ahead of everything; a sanitizer build
        // of the generator must be told that this order is meant.
        const CommandRun run = RunCommand(
            std::string("ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0\" faketime '") + clock +
            "'" + generate(out));
        ASSERT_EQ(run.status, 0) << "faketime (Debian package faketime, scripts/install-deps.sh): " << run.output;
        for (const char* const name : {"QM22TPS.PPD", "QM22T.INF", "QM22TRD.INI", "qm22t-cups.ppd"}) {
            EXPECT_EQ(ReadFile((out / name).string()), ReadFile(std::string(PACKAGE_FILES_DIR "/") + name))
                << clock << " " << name;
        }
    }
    const fs::path pinned = folder / "pinned";
    ASSERT_EQ(RunCommand("SOURCE_DATE_EPOCH=1700000000" + generate(pinned)).status, 0);
    const std::string inf = ReadFile((pinned / "QM22T.INF").string());
    EXPECT_NE(inf.find("\r\nDriverVer=11/14/2023," PACKAGE_VERSION "\r\n"), std::string::npos);
    fs::remove_all(folder);
}

}  // namespace
