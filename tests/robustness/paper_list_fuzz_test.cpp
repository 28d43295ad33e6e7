// The paper-list file is written by hand at the customer's site: whatever it
// holds, the lookups must stay inside their buffers and answer with a value of
// their documented range.
#include "fuzz_support.h"

#include "common/module_context.h"
#include "common/wtext.h"
#include "pjl/pjl_paper_codes.h"
#include "platform/host/sim_control.h"
#include "settings/paper.h"
#include "settings/paper_list.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Form names of the test printer; the file generator uses them too, so that
// lines for real forms turn up among the random ones.
const std::vector<std::u16string> kFormNames = {u"A4",
                                                u"Letter",
                                                u"MyForm",
                                                u"A4 Extra",
                                                u"Form=Eq",
                                                u"\xFEFF"
                                                u"Bom",
                                                u"[PAPER_LIST_END]",
                                                u"PS_PAPER_LIST=x",
                                                u";Semi",
                                                u"Long"};

const std::vector<std::u16string> kPieces = {u"PS_PAPER_LIST=",
                                             u"PJL_PAPER_LIST=",
                                             u"=",
                                             u"[PAPER_LIST_END]",
                                             u"\r\n",
                                             u"\n",
                                             u"\r",
                                             u";",
                                             u"\xFEFF",
                                             u"==",
                                             u" ",
                                             u"-12",
                                             u"007",
                                             u"2147483648",
                                             u"99999999999",
                                             u"A4",
                                             u"A3W",
                                             u"custom",
                                             u"\xD800",
                                             u"\xDFFF",
                                             u"\xFFFF"};

class PaperListFuzz : public ModuleFolderTest {
protected:
    void SetUp() override {
        ModuleFolderTest::SetUp();
        std::vector<sim::Form> forms;
        // 300 forms, so positions above the table's numbers exist as well.
        for (size_t i = 0; i < 300; ++i) {
            std::u16string name = kFormNames[i % kFormNames.size()];
            if (i >= kFormNames.size()) name += sim::ToUtf16(std::to_string(i));
            forms.push_back(sim::Form{name, FORM_USER, 100000 + static_cast<LONG>(i), 200000});
        }
        sim::SetForms(printer, forms);
        formCount = forms.size();
    }

    static std::u16string Keyword(FuzzRng& rng) {
        return sim::ToUtf16(kPaperTable[rng.Below(static_cast<uint32_t>(kPaperRowCount))].keyword);
    }

    // Random file text: pieces of the format, table keywords, form names,
    // random units (zero included) and now and then a line longer than the
    // format allows.
    static std::u16string RandomText(FuzzRng& rng) {
        std::u16string text;
        const uint32_t parts = rng.Below(60);
        for (uint32_t i = 0; i < parts; ++i) {
            switch (rng.Below(9)) {
                case 0:
                case 1: text += rng.Pick(kPieces); break;
                case 2: text += Keyword(rng); break;
                case 3: text += rng.Pick(kFormNames); break;
                case 4: text += u"PS_PAPER_LIST=" + rng.Pick(kFormNames) + u"=" + Keyword(rng) + u"\r\n"; break;
                case 5:
                    text += u"PJL_PAPER_LIST=" + rng.Pick(kFormNames) + u"=" +
                            sim::ToUtf16(std::to_string(rng.Between(-5, 40))) + u"\n";
                    break;
                case 6:
                    if (rng.OneIn(8)) {
                        // Around the longest line the reader examines.
                        const size_t length = 1015 + rng.Below(20) + (rng.OneIn(4) ? 3000 : 0);
                        text += u"PS_PAPER_LIST=" + rng.Pick(kFormNames) + u"=" +
                                std::u16string(length, rng.OneIn(2) ? u'x' : u'\r');
                    }
                    break;
                case 7:
                    if (rng.OneIn(6)) text.push_back(0);
                    break;
                default:
                    for (uint32_t n = rng.Below(8); n > 0; --n) text.push_back(static_cast<char16_t>(rng.Next()));
                    break;
            }
        }
        return text;
    }

    static std::string RandomFile(FuzzRng& rng, const std::u16string& front = std::u16string()) {
        std::string bytes = Utf16LeBytes(front + RandomText(rng));
        if (rng.OneIn(5)) bytes.push_back(static_cast<char>(rng.Byte()));  // odd length
        return bytes;
    }

    static bool IsTableKeyword(const char* keyword) {
        for (const PaperRow& row : kPaperTable) {
            if (row.keyword == keyword) return true;
        }
        return false;
    }

    size_t formCount = 0;
};

TEST_F(PaperListFuzz, PageSizeKeywordIsATableKeywordOrCustom) {
    FuzzRng rng(0x5EED0001);
    for (int round = 0; round < 150; ++round) {
        WritePaperListBytes(RandomFile(rng));
        for (int q = 0; q < 3; ++q) {
            std::u16string name = rng.OneIn(4) ? RandomText(rng).substr(0, 40) : rng.Pick(kFormNames);
            const char* keyword = FindPageSizeKeyword(modules, reinterpret_cast<const WCHAR*>(name.c_str()));
            ASSERT_NE(keyword, nullptr);
            EXPECT_TRUE(IsTableKeyword(keyword) || std::strcmp(keyword, kCustomKeyword) == 0)
                << "round " << round << ": " << keyword;
        }
    }
}

TEST_F(PaperListFuzz, FirstValidLineDecidesTheKeywordWhateverFollows) {
    FuzzRng rng(0x5EED0002);
    for (int round = 0; round < 100; ++round) {
        const PaperRow& row = kPaperTable[rng.Below(static_cast<uint32_t>(kPaperRowCount))];
        const std::u16string line = u"PS_PAPER_LIST=Wanted=" + sim::ToUtf16(row.keyword) + u"\r\n";
        WritePaperListBytes(RandomFile(rng, line));
        EXPECT_STREQ(FindPageSizeKeyword(modules, WIDE("Wanted")), row.keyword) << "round " << round;
    }
}

TEST_F(PaperListFuzz, CheckedPaperNumberIsTheInputOrCustom) {
    FuzzRng rng(0x5EED0003);
    const std::vector<short> edges = {0, -1, 1, 256, 257, 299, 300, 301, 32767, -32768};
    for (int round = 0; round < 150; ++round) {
        WritePaperListBytes(RandomFile(rng));
        for (int q = 0; q < 3; ++q) {
            const short number = rng.OneIn(3)
                                     ? rng.Pick(edges)
                                     : static_cast<short>(rng.Between(-40, static_cast<int64_t>(formCount) + 40));
            const short checked = CheckPaperNumber(modules, number, printer);
            if (FindPaperRow(number) != nullptr) {
                EXPECT_EQ(checked, number);
            } else if (number < 1 || static_cast<size_t>(number) > formCount) {
                EXPECT_EQ(checked, kSiblingCustomPaper) << number;
            } else {
                EXPECT_TRUE(checked == number || checked == kSiblingCustomPaper) << number << " -> " << checked;
            }
        }
    }
}

TEST_F(PaperListFuzz, ListedFormKeepsItsPositionWhateverFollows) {
    FuzzRng rng(0x5EED0004);
    for (int round = 0; round < 60; ++round) {
        short position = 0;
        do {
            position = static_cast<short>(1 + rng.Below(static_cast<uint32_t>(formCount)));
        } while (FindPaperRow(position) != nullptr);
        const std::u16string name =
            kFormNames[(position - 1) % kFormNames.size()] + (static_cast<size_t>(position - 1) >= kFormNames.size()
                                                                  ? sim::ToUtf16(std::to_string(position - 1))
                                                                  : std::u16string());
        // A name that holds a line end cannot be listed; the test printer has none.
        WritePaperListBytes(RandomFile(rng, u"PS_PAPER_LIST=" + name + u"\n"));
        EXPECT_EQ(CheckPaperNumber(modules, position, printer), position) << sim::ToUtf8(name);
    }
}

TEST_F(PaperListFuzz, PjlPaperCodesAreFoundOnlyForRealQueries) {
    FuzzRng rng(0x5EED0005);
    constexpr int32_t kUntouched = 0x7EADBEEF;
    for (int round = 0; round < 150; ++round) {
        const bool known = rng.OneIn(3);
        const int32_t knownCode = static_cast<int32_t>(rng.Between(-100000, 100000));
        const std::u16string front =
            known ? u"PJL_PAPER_LIST=Wanted=" + sim::ToUtf16(std::to_string(knownCode)) + u"\r\n" : std::u16string();
        WritePaperListBytes(RandomFile(rng, front));

        std::vector<std::u16string> names;
        for (int i = 0; i < 4; ++i)
            names.push_back(rng.OneIn(3) ? RandomText(rng).substr(0, 30) : rng.Pick(kFormNames));
        names.push_back(u"Wanted");
        PjlPaperQuery queries[7] = {};
        for (size_t i = 0; i < names.size(); ++i) {
            queries[i] = PjlPaperQuery{reinterpret_cast<const WCHAR*>(names[i].c_str()), false, kUntouched};
        }
        queries[5] = PjlPaperQuery{nullptr, false, kUntouched};
        queries[6] = PjlPaperQuery{WIDE(""), false, kUntouched};
        const bool preset = rng.OneIn(4);
        if (preset) queries[0] = PjlPaperQuery{queries[0].formName, true, 5};

        LookupPjlPaperCodes(modules.module, queries, 7);
        for (size_t i = 0; i < 7; ++i) {
            if (!queries[i].found) {
                EXPECT_EQ(queries[i].code, kUntouched) << i;
            }
        }
        if (preset) {
            // Found before: skipped, never looked up again.
            EXPECT_TRUE(queries[0].found);
            EXPECT_EQ(queries[0].code, 5);
        }
        EXPECT_FALSE(queries[5].found);
        EXPECT_FALSE(queries[6].found);
        if (known) {
            EXPECT_TRUE(queries[4].found) << "round " << round;
            EXPECT_EQ(queries[4].code, knownCode) << "round " << round;
        }
    }
    // A null query array or no queries at all are no lookups.
    LookupPjlPaperCodes(modules.module, nullptr, 3);
}

}  // namespace
