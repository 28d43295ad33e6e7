// Feature blocks and the rewrite of setup pieces on the core alone: the
// compiled-in templates and a fixed user name and date in place of the system's.
#include "feature_block_texts.h"
#include "core/feature_blocks.h"
#include "core/feature_passes.h"
#include "core/feature_rewrite.h"
#include "core/settings_access.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// What the simulated system gave the plug-in's tests: the account "alice" and
// 7 December 2026 in its short date format.
class FixedIdentity final : public JobIdentity {
public:
    Text16 UserName(SettingsView) const override { return u"alice"; }
    Text16 TodaysDate() const override { return u"12/7/2026"; }
};

const std::string kRegion = Driver("PageRegion", "A4");
const std::string kResolution = Driver("Resolution", "600dpi");

class FeatureEmit : public ::testing::Test {
protected:
    SettingsSpan Span() { return SettingsSpan{settings.data(), settings.size()}; }
    void U8(size_t offset, uint8_t v) { ASSERT_TRUE(WriteSettingNumber(Span(), offset, 1, v)); }
    void S16(size_t offset, int16_t v) { ASSERT_TRUE(WriteSettingNumber(Span(), offset, 2, v)); }
    void S32(size_t offset, int32_t v) { ASSERT_TRUE(WriteSettingNumber(Span(), offset, 4, v)); }
    void Text(size_t offset, const std::u16string& text) {
        const std::u16string units = text + u'\0';
        ASSERT_TRUE(WriteSettingBytes(Span(), offset, units.data(), units.size() * 2));
    }
    void Bytes(size_t offset, const std::vector<uint8_t>& bytes) {
        ASSERT_TRUE(WriteSettingBytes(Span(), offset, bytes.data(), bytes.size()));
    }

    Status Rewrite(const std::string& piece, int state, int orientation, std::string& out, size_t settingsBytes) {
        const RewriteContext context{templates, document.c_str(), SettingsView{settings.data(), settingsBytes},
                                     &identity};
        return RewriteSetupPieceWith(context, piece, static_cast<SectionState>(state), orientation, out);
    }
    Status Rewrite(const std::string& piece, int state, int orientation, std::string& out) {
        return Rewrite(piece, state, orientation, out, settings.size());
    }
    // A later piece: no orientation block.
    std::string Later(const std::string& piece) {
        std::string out;
        EXPECT_EQ(Rewrite(piece, 2, -1, out), kStatusOk);
        return out;
    }

    FeatureTemplates templates = CompiledFeatureTemplates();
    FixedIdentity identity;
    std::u16string document = u"Report";
    std::vector<uint8_t> settings = std::vector<uint8_t>(kSettingsBlockBytes, 0);
};

// ---------------------------------------------------------------------------
// Templates, formatting, splicing, blocks.

TEST_F(FeatureEmit, FormatTextFillsConversionsInOrder) {
    // The format is taken by its size; nothing behind it is read.
    const std::vector<char> format = {'<', '%', 's', '|', '%', 'd', '|', '%', '%', '>'};
    std::string out;
    const std::string_view view(format.data(), format.size());
    ASSERT_TRUE(FormatText(view, {std::string("a%d"), int64_t{-42}}, out));
    EXPECT_EQ(out, "<a%d|-42|%>");

    EXPECT_FALSE(FormatText(view, {std::string("a")}, out));  // argument missing
    EXPECT_EQ(out, "");
    EXPECT_FALSE(FormatText(view, {int64_t{1}, int64_t{2}}, out));  // wrong kind
    EXPECT_FALSE(FormatText("%x", {std::string("a")}, out));
    EXPECT_FALSE(FormatText("ab%", {}, out));
    ASSERT_TRUE(FormatText("%s", {std::string("x"), std::string("unused")}, out));
    EXPECT_EQ(out, "x");
}

TEST_F(FeatureEmit, FormatTextStopsAtTheLargestRoom) {
    // (2 + 260) doubled ten times: the result and its terminator must fit 268288 bytes.
    std::string out;
    EXPECT_TRUE(FormatText("%s", {std::string(268287, 'x')}, out));
    EXPECT_EQ(out.size(), 268287u);
    EXPECT_FALSE(FormatText("%s", {std::string(268288, 'x')}, out));
    EXPECT_TRUE(out.empty());
}

TEST_F(FeatureEmit, BlocksOfBothTemplatesByteExact) {
    std::string block;
    ASSERT_EQ(BuildTextBlock(templates, "ZTCollate", "True", "On", block), BlockResult::Built);
    EXPECT_EQ(block,
              "featurebegin{\r\n"
              "%%BeginFeature: *ZTCollate True\r\n"
              "(On) /Custom /ProcSet findresource /ZTCollate get exec\r\n"
              "%%EndFeature\r\n"
              "}featurecleanup\r\n");
    ASSERT_EQ(BuildNumberBlock(templates, "ZTImageShiftFrontV", -25400, block), BlockResult::Built);
    EXPECT_EQ(block,
              "featurebegin{\r\n"
              "%%BeginFeature: *ZTImageShiftFrontV -25400\r\n"
              "(-25400) /Custom /ProcSet findresource /ZTImageShiftFrontV get exec\r\n"
              "%%EndFeature\r\n"
              "}featurecleanup\r\n");
    ASSERT_EQ(BuildTextBlock(templates, "ZTPageTrayTray2", "", "", block), BlockResult::Built);
    EXPECT_EQ(block,
              "featurebegin{\r\n"
              "%%BeginFeature: *ZTPageTrayTray2 \r\n"
              "() /Custom /ProcSet findresource /ZTPageTrayTray2 get exec\r\n"
              "%%EndFeature\r\n"
              "}featurecleanup\r\n");

    const FeatureTemplates partial{templates.numeric, TemplateText()};
    EXPECT_EQ(BuildTextBlock(partial, "ZTCollate", "True", "On", block), BlockResult::NoTemplate);
    EXPECT_EQ(BuildNumberBlock(partial, "ZTGCRed", 1, block), BlockResult::Built);
}

// ---------------------------------------------------------------------------
// Arguments.

// ---------------------------------------------------------------------------
// Orientation.

TEST_F(FeatureEmit, FirstPieceWithoutFeaturesGetsOnlyTheOrientationBlock) {
    const std::string piece = "%%IncludeResource: font Courier\r\n10 dict begin\r\n";
    std::string out;
    ASSERT_EQ(Rewrite(piece, 1, 2, out), kStatusOk);
    EXPECT_EQ(out,
              "featurebegin{\r\n"
              "%%BeginFeature: *ZTOrientation Landscape\r\n"
              "(Landscape) /Custom /ProcSet findresource /ZTOrientation get exec\r\n"
              "%%EndFeature\r\n"
              "}featurecleanup\r\n"
              "%%IncludeResource: font Courier\r\n10 dict begin\r\n");
    // A later piece comes back unchanged.
    EXPECT_EQ(Later(piece), piece);
    // Other section states are no first piece either.
    ASSERT_EQ(Rewrite(piece, 0, 2, out), kStatusOk);
    EXPECT_EQ(out, piece);
}

TEST_F(FeatureEmit, OrientationComesFromTheGivenValueOrTheSettings) {
    const std::string piece = "x\r\n";
    std::string out;
    ASSERT_EQ(Rewrite(piece, 1, 1, out), kStatusOk);
    EXPECT_EQ(out, Ours("ZTOrientation", "Portrait") + piece);
    S16(378, 2);
    ASSERT_EQ(Rewrite(piece, 1, -1, out), kStatusOk);
    EXPECT_EQ(out, Ours("ZTOrientation", "Landscape") + piece);
    ASSERT_EQ(Rewrite(piece, 1, 1, out), kStatusOk);
    EXPECT_EQ(out, Ours("ZTOrientation", "Portrait") + piece);
    ASSERT_EQ(Rewrite(piece, 1, 7, out), kStatusOk);
    EXPECT_EQ(out, Ours("ZTOrientation", "Portrait") + piece);
}

TEST_F(FeatureEmit, PieceThatNamesAnOrientationGetsNoSecondOne) {
    // The replace pass spells the driver's block from the settings field,
    // whatever orientation the page comments gave, and no second one goes in
    // front; the last block of the piece included.
    S16(378, 2);
    std::string out;
    ASSERT_EQ(Rewrite(Driver("ZTOrientation", "Portrait") + kRegion, 1, 1, out), kStatusOk);
    EXPECT_EQ(out, Ours("ZTOrientation", "Landscape") + kRegion);
    ASSERT_EQ(Rewrite(kRegion + Driver("ZTOrientation", "Portrait"), 1, 1, out), kStatusOk);
    EXPECT_EQ(out, kRegion + Ours("ZTOrientation", "Landscape"));
    // A block of the name that is not the driver's (no closing line) is left
    // alone, and the name still suffices.
    const std::string open = kRegion + "featurebegin{\r\n%%BeginFeature: *ZTOrientation Portrait\r\n";
    ASSERT_EQ(Rewrite(open, 1, 2, out), kStatusOk);
    EXPECT_EQ(out, open);
}

// ---------------------------------------------------------------------------
// Replace pass.

TEST_F(FeatureEmit, DriverBlocksAreReplacedWithTheSettings) {
    S16(372, 2);        // duplex long edge
    U8(1228, 2);        // collate on
    Text(5174, u"Hi");  // job comment
    const std::string piece =
        "featurebegin{\r\n%%BeginFeature: *ZTDuplex None\r\n<</Duplex false>> setpagedevice\r\n"
        "%%EndFeature\r\n}featurecleanup\r\n"
        "featurebegin{\r\n%%BeginFeature: *ZTCollate False\r\n<</Collate false>> setpagedevice\r\n"
        "%%EndFeature\r\n}featurecleanup\r\n"
        "featurebegin{\r\n%%BeginFeature: *PageRegion A4\r\n<</PageSize [595 842]>> setpagedevice\r\n"
        "%%EndFeature\r\n}featurecleanup\r\n";
    EXPECT_EQ(Later(piece),
              "featurebegin{\r\n%%BeginFeature: *ZTDuplex LongEdge\r\n"
              "(LongEdge) /Custom /ProcSet findresource /ZTDuplex get exec\r\n"
              "%%EndFeature\r\n}featurecleanup\r\n"
              "featurebegin{\r\n%%BeginFeature: *ZTCollate True\r\n"
              "(On) /Custom /ProcSet findresource /ZTCollate get exec\r\n"
              "%%EndFeature\r\n}featurecleanup\r\n"
              "featurebegin{\r\n%%BeginFeature: *ZTJobComment 4869\r\n"
              "(4869) /Custom /ProcSet findresource /ZTJobComment get exec\r\n"
              "%%EndFeature\r\n}featurecleanup\r\n"
              "featurebegin{\r\n%%BeginFeature: *PageRegion A4\r\n<</PageSize [595 842]>> setpagedevice\r\n"
              "%%EndFeature\r\n}featurecleanup\r\n");
}

TEST_F(FeatureEmit, LastBlockOfAPieceIsReplacedToo) {
    S16(372, 3);
    const std::string piece = kRegion + Driver("ZTDuplex", "None");
    EXPECT_EQ(Later(piece), kRegion +
                                "featurebegin{\r\n%%BeginFeature: *ZTDuplex ShortEdge\r\n"
                                "(ShortEdge) /Custom /ProcSet findresource /ZTDuplex get exec\r\n"
                                "%%EndFeature\r\n}featurecleanup\r\n");
    EXPECT_EQ(Later(piece + kResolution), kRegion + Ours("ZTDuplex", "ShortEdge") + kResolution);
    // Alone in the piece, and with the driver's code behind its closing line:
    // the code stays, as it does between blocks.
    const std::string tail = "%%EndSetup\r\n";
    EXPECT_EQ(Later(Driver("ZTDuplex", "OFF") + tail), Ours("ZTDuplex", "ShortEdge") + tail);
    // Without its closing line (or with one cut short) the last block is no
    // block of the driver's: left alone.
    const std::string open = kRegion + "featurebegin{\r\n%%BeginFeature: *ZTDuplex None\r\n%%EndFeature\r\n";
    EXPECT_EQ(Later(open), open);
    EXPECT_EQ(Later(open + "}featurecleanup"), open + "}featurecleanup");
    EXPECT_EQ(Later(open + "}featurecleanup\r"), open + "}featurecleanup\r");
}

TEST_F(FeatureEmit, DriverCodeBetweenBlocksIsKept) {
    U8(4923, 11);
    const std::string between = "%%BeginResource: procset Extra\r\n/x 1 def\r\n%%EndResource\r\n";
    const std::string piece = Driver("ZTPrintSpeed", "Standard") + between + kRegion;
    EXPECT_EQ(Later(piece), Ours("ZTPrintSpeed", "ON", "LowSpeed") + between + kRegion);
}

TEST_F(FeatureEmit, KeywordOutsideABlockOpenerIsNotTouched) {
    S16(372, 2);
    // The first "*ZTDuplex " is inside another block; counting 31 bytes back
    // from it would cut into that block.
    const std::string other =
        "featurebegin{\r\n%%BeginFeature: *JobOptions Set\r\n% this also sets *ZTDuplex None\r\n"
        "%%EndFeature\r\n}featurecleanup\r\n";
    const std::string piece = kResolution + other + Driver("ZTDuplex", "None") + kRegion;
    EXPECT_EQ(Later(piece), piece);
    // A block without its closing line before the next block is left alone.
    const std::string open = "featurebegin{\r\n%%BeginFeature: *ZTDuplex None\r\n" + kRegion + kResolution;
    EXPECT_EQ(Later(open), open);
}

TEST_F(FeatureEmit, BlockAtTheVeryStartIsReplaced) {
    U8(1223, 6);
    EXPECT_EQ(Later(Driver("ZTOutputMode", "Auto") + kRegion), Ours("ZTOutputMode", "Red") + kRegion);
}

TEST_F(FeatureEmit, FlagsFontsAndFormNames) {
    U8(382, 1);
    U8(5946, 1);
    Text(824, u"Gothic");
    Text(5952, u"abc");
    const std::string piece = Driver("ZTMixedPageSize", "False") + Driver("ZTForm", "False") +
                              Driver("ZTStampPageFont", "None") + Driver("ZTFormSelect1", "None") + kRegion;
    EXPECT_EQ(Later(piece), Ours("ZTMixedPageSize", "True", "ON") + Ours("ZTForm", "True", "On") +
                                Ours("ZTStampPageFont", "Gothic", "476F74686963") + Ours("ZTFormSelect1", "616263") +
                                kRegion);
}

TEST_F(FeatureEmit, OverlongFormNameKeepsOnlyItsOwnDriverBlock) {
    Text(6464, std::u16string(130, u'\u00e9'));  // 260 UTF-8 bytes: one too many
    S16(372, 2);
    const std::string form = Driver("ZTFormSelect2", "None");
    const std::string piece = Driver("ZTDuplex", "OFF") + form + Driver("ZTFormSelect1", "None") + kRegion;
    EXPECT_EQ(Later(piece), Ours("ZTDuplex", "LongEdge") + form + Ours("ZTFormSelect1", "") + kRegion);
    Text(6464, std::u16string(129, u'\u00e9'));
    std::string hex;
    for (int i = 0; i < 129; ++i) hex += "C3A9";
    EXPECT_EQ(Later(form + kRegion), Ours("ZTFormSelect2", hex) + kRegion);
}

// ---------------------------------------------------------------------------
// Insert pass.

TEST_F(FeatureEmit, PageSizeNumbersFollowThePageSizeBlock) {
    S32(1156, 21000);
    S32(1160, 29700);
    const std::string pageSize = Driver("ZTPageSize", "A4");
    EXPECT_EQ(Later(pageSize + kRegion), pageSize +
                                             "featurebegin{\r\n%%BeginFeature: *ZTPageSizeWidth 21000\r\n"
                                             "(21000) /Custom /ProcSet findresource /ZTPageSizeWidth get exec\r\n"
                                             "%%EndFeature\r\n}featurecleanup\r\n"
                                             "featurebegin{\r\n%%BeginFeature: *ZTPageSizeHeight 29700\r\n"
                                             "(29700) /Custom /ProcSet findresource /ZTPageSizeHeight get exec\r\n"
                                             "%%EndFeature\r\n}featurecleanup\r\n" +
                                             kRegion);
    // The anchor's block is the last one: the numbers go right behind its
    // closing line, which here ends the piece.
    EXPECT_EQ(Later(kRegion + pageSize), kRegion + pageSize +
                                             "featurebegin{\r\n%%BeginFeature: *ZTPageSizeWidth 21000\r\n"
                                             "(21000) /Custom /ProcSet findresource /ZTPageSizeWidth get exec\r\n"
                                             "%%EndFeature\r\n}featurecleanup\r\n"
                                             "featurebegin{\r\n%%BeginFeature: *ZTPageSizeHeight 29700\r\n"
                                             "(29700) /Custom /ProcSet findresource /ZTPageSizeHeight get exec\r\n"
                                             "%%EndFeature\r\n}featurecleanup\r\n");
    // Driver code behind the last block stays behind the inserted ones.
    const std::string tail = "%%EndSetup\r\n";
    EXPECT_EQ(Later(pageSize + tail),
              pageSize + Ours("ZTPageSizeWidth", "21000") + Ours("ZTPageSizeHeight", "29700") + tail);
    // An anchor whose block never closes gets nothing behind it.
    const std::string open = kRegion + "featurebegin{\r\n%%BeginFeature: *ZTPageSize A4\r\n";
    EXPECT_EQ(Later(open), open);
}

TEST_F(FeatureEmit, InsertsBehindTheLastBlockFollowTheirAnchorsInOrder) {
    // The height's anchors are its own keyword, then the target size: behind
    // the driver's last block it lands in front of the width inserted there,
    // just as it does when another block follows.
    S32(1172, 5);
    S32(1176, 6);
    S16(3846, -7);
    const std::string target = Driver("ZTTargetPaperSize", "A3");
    EXPECT_EQ(Later(kResolution + target), kResolution + target +
                                               "featurebegin{\r\n%%BeginFeature: *ZTTargetPaperSizeHeight 6\r\n"
                                               "(6) /Custom /ProcSet findresource /ZTTargetPaperSizeHeight get exec\r\n"
                                               "%%EndFeature\r\n}featurecleanup\r\n"
                                               "featurebegin{\r\n%%BeginFeature: *ZTTargetPaperSizeWidth 5\r\n"
                                               "(5) /Custom /ProcSet findresource /ZTTargetPaperSizeWidth get exec\r\n"
                                               "%%EndFeature\r\n}featurecleanup\r\n");
    EXPECT_EQ(Later(target + kRegion),
              target + Ours("ZTTargetPaperSizeHeight", "6") + Ours("ZTTargetPaperSizeWidth", "5") + kRegion);
    // An insert that replaces the driver's own block does so when it is last.
    EXPECT_EQ(Later(kResolution + Driver("ZTGCCyan", "0")),
              kResolution +
                  "featurebegin{\r\n%%BeginFeature: *ZTGCCyan -7\r\n"
                  "(-7) /Custom /ProcSet findresource /ZTGCCyan get exec\r\n"
                  "%%EndFeature\r\n}featurecleanup\r\n");
    // Owner name last: replaced, and its text block behind it.
    EXPECT_EQ(Later(kResolution + Driver("ZTOwnerName", "True")),
              kResolution + Ours("ZTOwnerName", "False", "Off") + Ours("ZTOwnerNameInfo", "616C696365"));
}

TEST_F(FeatureEmit, EveryNumberAndTextInsertReadsItsOwnField) {
    // Distinct values, and the bytes around each field filled, so that a value
    // read from a wrong offset or with a wrong width shows.
    S32(1156, 100000);
    S32(1160, -70000);
    S16(818, -2);
    S16(820, 3);
    U8(822, 0x7F);
    S16(3748, -1);
    S16(3750, 0x5555);
    S16(3752, 2);
    S16(3754, 0x5555);
    S16(3756, -3);
    S16(3758, 0x5555);
    S16(3760, 4);
    S16(3762, 0x5555);
    S16(3846, -6);
    S16(3848, 7);
    S16(3850, -8);
    S16(3852, 9);
    S16(3854, 0x5555);
    S16(3856, -10);
    U8(4376, 1);
    Text(4380, u"QR");
    Text(3860, u"sRGB");
    const std::string piece = kResolution + Driver("ZTPageSize", "A4") + Driver("ZTPageNumTransparent", "True") +
                              Driver("ZTImageShiftFrontV", "0") + Driver("ZTImageShiftFrontH", "0") +
                              Driver("ZTImageShiftBackV", "0") + Driver("ZTImageShiftBackH", "0") +
                              Driver("ZTGCCyan", "0") + Driver("ZTGCMagenta", "0") + Driver("ZTGCYellow", "0") +
                              Driver("ZTGCBlack", "0") + Driver("ZTGCRed", "0") + Driver("ZTBarcodeArea", "False") +
                              kRegion;
    EXPECT_EQ(Later(piece),
              kResolution + Driver("ZTPageSize", "A4") + Ours("ZTPageSizeWidth", "100000") +
                  Ours("ZTPageSizeHeight", "-70000") + Ours("ZTPageNumTransparent", "False", "Off") +
                  Ours("ZTPageNumStartNum", "-2") + Ours("ZTPageNumStartPage", "3") + Ours("ZTImageShiftFrontV", "-1") +
                  Ours("ZTImageShiftFrontH", "2") + Ours("ZTImageShiftBackV", "-3") + Ours("ZTImageShiftBackH", "4") +
                  Ours("ZTGCCyan", "-6") + Ours("ZTGCMagenta", "7") + Ours("ZTGCYellow", "-8") +
                  Ours("ZTGCBlack", "9") + Ours("ZTGCRed", "-10") + Ours("ZTBarcodeArea", "True", "On") +
                  Ours("ZTBarcodeSelection", "5152") + Ours("ZTOutputProfileSelection", "73524742") + kRegion);
}

TEST_F(FeatureEmit, TargetPaperSizeHeightGoesBehindTheDriversOwnBlock) {
    S32(1172, -1);
    S32(1176, 55000);
    const std::string target = Driver("ZTTargetPaperSize", "A3");
    const std::string height = Driver("ZTTargetPaperSizeHeight", "1");
    EXPECT_EQ(Later(target + height + kRegion), target + Ours("ZTTargetPaperSizeWidth", "-1") + height +
                                                    Ours("ZTTargetPaperSizeHeight", "55000") + kRegion);
}

TEST_F(FeatureEmit, CustomSizeBlockStandsInForAMissingPageSizeBlock) {
    S32(1156, 12345);
    S32(1160, 23456);
    const std::string custom = Driver("CustomPageSize", "False");
    EXPECT_EQ(Later(kResolution + custom),
              kResolution + Ours("ZTPageSizeWidth", "12345") + Ours("ZTPageSizeHeight", "23456") + custom);
    // The driver's "CustomPageSize True" block is not taken.
    const std::string isTrue = Driver("CustomPageSize", "True");
    EXPECT_EQ(Later(kResolution + isTrue + kRegion), kResolution + isTrue + kRegion);
    // One that starts the piece gets them in front all the same.
    EXPECT_EQ(Later(custom + kRegion),
              Ours("ZTPageSizeWidth", "12345") + Ours("ZTPageSizeHeight", "23456") + custom + kRegion);
}

TEST_F(FeatureEmit, PageListsSurroundThePageTrayBlock) {
    U8(1229, 1);
    Bytes(1230, {0xA1, 0xB3, 0x05, 0x00});  // 1,3-5
    Bytes(1730, {0x02});                    // 2
    Bytes(2230, {0x00, 0x21});              // empty: the first byte ends it
    Bytes(8584, {0xA6, 0x07});              // 6,7
    EXPECT_EQ(Later(kResolution + Driver("ZTPageTray", "False") + kRegion),
              kResolution + Ours("ZTPageTrayExternalFeeder", "6,7") +
                  "featurebegin{\r\n%%BeginFeature: *ZTPageTrayTray2 \r\n"
                  "() /Custom /ProcSet findresource /ZTPageTrayTray2 get exec\r\n"
                  "%%EndFeature\r\n}featurecleanup\r\n" +
                  Ours("ZTPageTrayTray1", "2") + Ours("ZTPageTray", "True", "On") +
                  Ours("ZTPageTrayStandard", "1,3-5") + kRegion);
    // A page-tray block that starts the piece is surrounded the same way.
    EXPECT_EQ(Later(Driver("ZTPageTray", "False") + kRegion),
              Ours("ZTPageTrayExternalFeeder", "6,7") +
                  "featurebegin{\r\n%%BeginFeature: *ZTPageTrayTray2 \r\n"
                  "() /Custom /ProcSet findresource /ZTPageTrayTray2 get exec\r\n"
                  "%%EndFeature\r\n}featurecleanup\r\n" +
                  Ours("ZTPageTrayTray1", "2") + Ours("ZTPageTray", "True", "On") +
                  Ours("ZTPageTrayStandard", "1,3-5") + kRegion);
}

TEST_F(FeatureEmit, PageListsWithoutAFollowingBlock) {
    Bytes(1230, {0x01});
    Bytes(1730, {0x02});
    Bytes(2230, {0x03});
    Bytes(8584, {0x04});
    const std::string tray = Driver("ZTPageTray", "True");
    // The page-tray block is last: it is replaced, the standard list goes
    // right behind it at the end of the piece, the others in front.
    const std::string ours = Ours("ZTPageTray", "False", "Off");
    EXPECT_EQ(Later(kRegion + tray), kRegion + Ours("ZTPageTrayExternalFeeder", "4") + Ours("ZTPageTrayTray2", "3") +
                                         Ours("ZTPageTrayTray1", "2") + ours + Ours("ZTPageTrayStandard", "1"));
    // Alone in the piece: the same order.
    EXPECT_EQ(Later(tray), Ours("ZTPageTrayExternalFeeder", "4") + Ours("ZTPageTrayTray2", "3") +
                               Ours("ZTPageTrayTray1", "2") + ours + Ours("ZTPageTrayStandard", "1"));
}

TEST_F(FeatureEmit, OwnBlocksReplaceTheDriversAndAbsentOnesAreNotAdded) {
    S16(3846, 150);
    S16(3748, -300);
    const std::string piece = kResolution + Driver("ZTGCCyan", "1") + kRegion;
    EXPECT_EQ(Later(piece), kResolution + Ours("ZTGCCyan", "150") + kRegion);
    // A block at the very start of the piece is replaced like any other.
    EXPECT_EQ(Later(Driver("ZTGCCyan", "1") + kRegion), Ours("ZTGCCyan", "150") + kRegion);
    EXPECT_EQ(Later(Driver("ZTImageShiftFrontV", "0") + kRegion), Ours("ZTImageShiftFrontV", "-300") + kRegion);
    S16(1146, 7);
    EXPECT_EQ(Later(Driver("ZTGutterDistance", "0") + kRegion), Ours("ZTGutterDistance", "7") + kRegion);
    // The image-shift amounts appear only where the driver wrote their blocks.
    EXPECT_EQ(Later(kResolution + kRegion), kResolution + kRegion);
    EXPECT_EQ(Later(kResolution + Driver("ZTImageShiftFrontV", "0") + kRegion),
              kResolution + Ours("ZTImageShiftFrontV", "-300") + kRegion);
}

TEST_F(FeatureEmit, AnchorOutsideABlockOpenerIsNotTouched) {
    S16(3846, 150);
    S16(1146, 12);
    S16(3776, 34);
    // The first "ZTGCCyan " is inside another block; counting 32 bytes back
    // from it would cut into that block.
    const std::string other =
        "featurebegin{\r\n%%BeginFeature: *ColorOptions Set\r\n% gains follow, ZTGCCyan first\r\n"
        "%%EndFeature\r\n}featurecleanup\r\n";
    const std::string piece = kResolution + other + Driver("ZTGCCyan", "1") + kRegion;
    EXPECT_EQ(Later(piece), piece);
    // Neighbouring keywords are told apart by the blank behind the anchor.
    EXPECT_EQ(Later(kResolution + Driver("ZTGutterDistance", "0") + Driver("ZTBookletGutterDistance", "0") + kRegion),
              kResolution + Ours("ZTGutterDistance", "12") + Ours("ZTBookletGutterDistance", "34") + kRegion);
}

TEST_F(FeatureEmit, NamesDateAndSecretNumber) {
    Text(4904, u"1234");
    const std::string piece = kResolution + Driver("ZTOwnerName", "True") + Driver("ZTJobName", "True") +
                              Driver("ZTSecretNum", "True") + Driver("ZTDateSpecify", "Custom") + kRegion;
    const std::vector<uint8_t> before = settings;
    // Switches off: the system user, the document name, today's date (12/7/2026).
    EXPECT_EQ(Later(piece), kResolution + Ours("ZTOwnerName", "False", "Off") + Ours("ZTOwnerNameInfo", "616C696365") +
                                Ours("ZTJobName", "False", "Off") + Ours("ZTJobNameInfo", "5265706F7274") +
                                Ours("ZTSecretNum", "False", "Off") + Ours("ZTSecretNumInfo", "1234") +
                                Ours("ZTDateSpecify", "Today") + Ours("ZTDateInfo", "31322F372F32303236") + kRegion);
    EXPECT_EQ(settings, before);  // the date is never written into the settings

    // Switches on with texts.
    U8(6977, 1);
    Text(6978, u"Bob");
    U8(5432, 1);
    Text(5434, u"Plan");
    U8(959, 1);
    Text(960, u"2025-01-02");
    U8(4903, 1);
    EXPECT_EQ(Later(piece), kResolution + Ours("ZTOwnerName", "True", "On") + Ours("ZTOwnerNameInfo", "426F62") +
                                Ours("ZTJobName", "True", "On") + Ours("ZTJobNameInfo", "506C616E") +
                                Ours("ZTSecretNum", "True", "On") + Ours("ZTSecretNumInfo", "1234") +
                                Ours("ZTDateSpecify", "Custom") + Ours("ZTDateInfo", "323032352D30312D3032") + kRegion);

    // Switches on, texts empty: the document name.
    Text(6978, u"");
    Text(5434, u"");
    document.assign(1, u'\u00e9');  // (assigning the one-character literal trips a false -Wrestrict at -O3)
    const std::string out = Later(piece);
    EXPECT_NE(out.find(Ours("ZTJobNameInfo", "C3A9")), std::string::npos) << out;
}

TEST_F(FeatureEmit, NameTextsCountOnlyWithTheirSwitchOn) {
    // Stored names with their switches off: the user name and the document
    // name go on instead.
    Text(6978, u"Bob");
    Text(5434, u"Plan");
    const std::string piece = kResolution + Driver("ZTOwnerName", "True") + Driver("ZTJobName", "True") + kRegion;
    EXPECT_EQ(Later(piece), kResolution + Ours("ZTOwnerName", "False", "Off") + Ours("ZTOwnerNameInfo", "616C696365") +
                                Ours("ZTJobName", "False", "Off") + Ours("ZTJobNameInfo", "5265706F7274") + kRegion);
}

TEST_F(FeatureEmit, LongDocumentNameIsReadWithinItsBuffer) {
    // 520 units without a terminator: 519 go on.
    document = std::u16string(520, u'd');
    const std::string piece = kResolution + Driver("ZTJobName", "False") + kRegion;
    const std::string out = Later(piece);
    std::string hex;
    for (int i = 0; i < 519; ++i) hex += "64";
    EXPECT_NE(out.find("(" + hex + ")"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Whole rewrites.

TEST_F(FeatureEmit, MissingTemplatesLeaveThePieceAsWritten) {
    S16(372, 2);
    S16(3846, 9);
    const std::string piece = kResolution + Driver("ZTGCCyan", "1") + Driver("ZTDuplex", "None") + kRegion;
    templates = FeatureTemplates();
    std::string out;
    ASSERT_EQ(Rewrite(piece, 1, 2, out), kStatusOk);
    EXPECT_EQ(out, piece);

    // With the numeric template only, the numbers go on and nothing else.
    templates = FeatureTemplates{CompiledFeatureTemplates().numeric, TemplateText()};
    ASSERT_EQ(Rewrite(piece, 1, 2, out), kStatusOk);
    EXPECT_EQ(out, kResolution + Ours("ZTGCCyan", "9") + Driver("ZTDuplex", "None") + kRegion);
}

TEST_F(FeatureEmit, ZeroBytesAreDataLikeAnyOther) {
    S16(372, 2);
    // A binary resource between two blocks: both sides are still rewritten and
    // the zero bytes come through where they were.
    const std::string binary("(bin\0ary) pop\r\n\0", 17);
    const std::string piece = Driver("ZTDuplex", "OFF") + binary + Driver("ZTGCCyan", "1") + kRegion + binary;
    S16(3846, 150);
    std::string out;
    ASSERT_EQ(Rewrite(piece, 1, 1, out), kStatusOk);
    EXPECT_EQ(out, Ours("ZTOrientation", "Portrait") + Ours("ZTDuplex", "LongEdge") + binary + Ours("ZTGCCyan", "150") +
                       kRegion + binary);
}

TEST_F(FeatureEmit, ShortSettingsReadAsZero) {
    // Only the first 100 bytes are held: every field beyond reads as zero.
    S16(372, 2);
    const std::string piece = Driver("ZTCollate", "False") + kRegion;
    std::string out;
    ASSERT_EQ(Rewrite(piece, 1, -1, out, 100), kStatusOk);
    EXPECT_EQ(out,
              Ours("ZTOrientation", "Portrait") + Ours("ZTCollate", "True", "On") + Ours("ZTJobComment", "") + kRegion);
}

TEST_F(FeatureEmit, AllFeaturesInOnePiece) {
    // Every replace keyword as the printer knows it, in a driver block of its
    // own, then a closing block: each comes back spelled from the settings.
    static const char* const kKeywords[] = {
        "ZTOutputMode",
        "ZTDuplex",
        "ZTDuplexMixedPage",
        "ZTWaitAfterProof",
        "ZTCollate",
        "ZTOrientation",
        "ZTMixedPageSize",
        "ZTDuplexSmallPages",
        "ZTDuplexBigPages",
        "ZTRotateBigPages",
        "ZTManualZoom",
        "ZTZoomRate",
        "ZTInputSlot",
        "ZTPageTray",
        "ZTMediaType",
        "ZTOutputMethod",
        "ZTOutputBox",
        "ZTMultiUp",
        "ZTMultiUpSinglePage",
        "ZTBooklet",
        "ZTHeaderFooterPrint",
        "ZTPageNumPrint",
        "ZTPageNumTransparent",
        "ZTPageNumPosition",
        "ZTStampPageFont",
        "ZTStampPageSize",
        "ZTDatePrint",
        "ZTDateTransparent",
        "ZTDateTargetPage",
        "ZTDateSpecify",
        "ZTDatePosition",
        "ZTStampDateFont",
        "ZTStampDateSize",
        "ZTImageShift",
        "ZTRotate",
        "ZTDitherType",
        "ZTPrintDensity",
        "ZTImageQuality",
        "ZTLineSmoothing",
        "ZTScreening",
        "ZTGammaAdjustment",
        "ZTGCBrightness",
        "ZTGCContrast",
        "ZTBarcodeArea",
        "ZTBarcodeDensity",
        "ZTBarcodeProof",
        "ZTEnvelopeImageProcessing",
        "ZTColorProfile",
        "ZTRenderingIntent",
        "ZTMaxDrops",
        "ZTBinding",
        "ZTGutter",
        "ZTGutterAutoReducing",
        "ZTStapleMode",
        "ZTPunchMode",
        "ZTFoldMode",
        "ZTFoldInnerOuter",
        "ZTFoldBinding",
        "ZTBookletBinding",
        "ZTBookletSplitting",
        "ZTBookletGutter",
        "ZTBookletGutterAutoReducing",
        "ZTBookletCover",
        "ZTWaitingExceptCover",
        "ZTBookletCoverSheetTray",
        "ZTJog",
        "ZTJobSepSheet",
        "ZTJobSepSheetTray",
        "ZTJobSepSheetText",
        "ZTCoverSheet",
        "ZTFrontCoverSheet",
        "ZTFrontCoverSheetTray",
        "ZTBackCoverSheet",
        "ZTBackCoverSheetTray",
        "ZTOutputTray",
        "ZTOutputFace",
        "ZTContinuousOutput",
        "ZTReverseOrder",
        "ZTForm",
        "ZTFormPattern",
        "ZTFormSurface",
        "ZTFormSeparate",
        "ZTFormSelect1",
        "ZTFormSelect2",
        "ZTPriorityLayer",
        "ZTOwnerName",
        "ZTJobName",
        "ZTSecretNum",
        "ZTHideJob",
        "ZTPrintSpeed",
    };
    static_assert(sizeof kKeywords / sizeof kKeywords[0] == 17 + 18 + 15 + 27 + 13, "every replace keyword");
    std::string piece;
    for (const char* keyword : kKeywords) piece += Driver(keyword, "Driver");
    piece += kRegion;
    std::string out = Later(piece);
    EXPECT_EQ(out.find("Driver"), std::string::npos);
    EXPECT_NE(out.find(Ours("ZTInputSlot", "Auto")), std::string::npos);
    EXPECT_NE(out.find(Ours("ZTHideJob", "False", "Off")), std::string::npos);
    EXPECT_NE(out.find(Ours("ZTRotateBigPages", "False", "OFF")), std::string::npos);
    EXPECT_NE(out.find(Ours("ZTPrintSpeed", "OFF", "Standard")), std::string::npos);
    EXPECT_NE(out.find(Ours("ZTStampDateFont", "", "")), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - kRegion.size()), kRegion);
}

}  // namespace

// ---------------------------------------------------------------------------
// Raw settings texts inside the feature code.

TEST_F(FeatureEmit, RawTextsCannotBreakOutOfTheirBlock) {
    const std::string piece = kResolution + Driver("ZTSecretNum", "True") + Driver("ZTStampPageFont", "None") + kRegion;
    // A secret number closing the string early, and a font name with a line end.
    Text(4904, u"1)quit(");
    Text(824, u"Arial\r\nshowpage");
    EXPECT_EQ(Later(piece), kResolution + Ours("ZTSecretNum", "False", "Off") +
                                Ours("ZTSecretNumInfo", "1)quit(", "1\\)quit\\(") +
                                Ours("ZTStampPageFont", "Arial  showpage", "417269616C0D0A73686F7770616765") + kRegion);
    // A trailing backslash would swallow the closing parenthesis; a tab and
    // CR LF go as octal inside the string and as blanks in the comment line.
    Text(4904, u"\t\\\r\n");
    EXPECT_EQ(Later(piece), kResolution + Ours("ZTSecretNum", "False", "Off") +
                                Ours("ZTSecretNumInfo", " \\  ", "\\011\\\\\\015\\012") +
                                Ours("ZTStampPageFont", "Arial  showpage", "417269616C0D0A73686F7770616765") + kRegion);
    // DEL is blanked in the comment line too; in the string it is an ordinary byte.
    Text(4904,
         u"12\x7f"
         u"34");
    Text(824, u"A\x7f");
    EXPECT_EQ(Later(piece), kResolution + Ours("ZTSecretNum", "False", "Off") +
                                Ours("ZTSecretNumInfo", "12 34",
                                     "12\x7f"
                                     "34") +
                                Ours("ZTStampPageFont", "A ", "417F") + kRegion);
}

namespace {

// Reads the body of a PostScript string the way an interpreter does, from just
// behind its "(" up to the ")" that balances it. Returns false when the string
// does not end inside `text`, or ends before its last byte.
bool ReadPostScriptString(const std::string& text, std::string& value) {
    value.clear();
    int depth = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\') {
            if (++i >= text.size()) return false;
            const char e = text[i];
            if (e >= '0' && e <= '7') {
                int code = 0;
                size_t digits = 0;
                while (digits < 3 && i < text.size() && text[i] >= '0' && text[i] <= '7') {
                    code = code * 8 + (text[i] - '0');
                    ++i;
                    ++digits;
                }
                --i;
                value += static_cast<char>(code);
            } else if (e == 'n') {
                value += '\n';
            } else if (e == 'r') {
                value += '\r';
            } else if (e == 't') {
                value += '\t';
            } else if (e == '\r' || e == '\n') {
                // A backslash before a line end continues the string: nothing.
            } else {
                value += e;
            }
        } else if (c == '(') {
            ++depth;
            value += c;
        } else if (c == ')') {
            if (depth == 0) return false;  // the string ended early
            --depth;
            value += c;
        } else if (c == '\r' || c == '\n') {
            return false;  // a raw line end would split the block's line
        } else {
            value += c;
        }
    }
    return depth == 0;
}

}  // namespace

TEST(FeatureText, EveryByteStringComesBackFromThePostScriptString) {
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    const char interesting[] = {'(', ')', '\\', '\r', '\n', '\t', '\0', '%', '7', '0', 'a', ' ', '\x7f'};
    for (int round = 0; round < 2000; ++round) {
        std::string value;
        const size_t length = next() % 40;
        for (size_t i = 0; i < length; ++i) {
            value += next() % 2 ? interesting[next() % sizeof interesting] : static_cast<char>(next() % 256);
        }
        const std::string body = PostScriptStringBody(value);
        std::string read;
        ASSERT_TRUE(ReadPostScriptString(body, read)) << "round " << round;
        ASSERT_EQ(read, value) << "round " << round;
        const std::string comment = CommentLineValue(value);
        ASSERT_EQ(comment.size(), value.size());
        for (size_t i = 0; i < value.size(); ++i) {
            const unsigned char byte = static_cast<unsigned char>(value[i]);
            ASSERT_EQ(comment[i], byte < 0x20 || byte == 0x7F ? ' ' : value[i]) << "round " << round << " byte " << i;
        }
    }
    // Words, numbers and hex digits are unchanged in both places.
    for (const std::string plain : {"LongEdge", "-300", "1,3-5", "C3A9", ""}) {
        EXPECT_EQ(PostScriptStringBody(plain), plain);
        EXPECT_EQ(CommentLineValue(plain), plain);
    }
}
