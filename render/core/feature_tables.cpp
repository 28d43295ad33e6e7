#include "core/feature_tables.h"

#include "core/byte_text.h"
#include "core/hex_text.h"
#include "core/text_convert.h"

#include <climits>
#include <cstring>
#include <new>
#include <string_view>

namespace {

template <size_t N>
constexpr Spelling MakeSpelling(const ValueName (&names)[N], const char* other) {
    static_assert(N < 256, "spelling too long");
    return Spelling{names, static_cast<uint8_t>(N), other};
}

// ---------------------------------------------------------------------------
// Shared spellings.

constexpr ValueName kFlagNames[] = {{1, "True"}};
constexpr ValueName kPositionNames[] = {
    {2, "TopCenter"}, {3, "TopRight"}, {5, "BottomRight"}, {6, "BottomCenter"}, {7, "BottomLeft"}};
constexpr ValueName kTrayNames[] = {{258, "Tray1"}, {259, "Tray2"}, {260, "ExternalFeeder"}};
constexpr ValueName kLevel3Names[] = {{1, "1"}, {2, "2"}, {3, "3"}, {11, "-1"}, {12, "-2"}, {13, "-3"}};
constexpr ValueName kLevel2Names[] = {{1, "1"}, {2, "2"}, {11, "-1"}, {12, "-2"}};

// ---------------------------------------------------------------------------
// Spellings of one feature each.

constexpr ValueName kOutputModeNames[] = {{1, "Fullcolor"}, {2, "Grayscale"}, {3, "Cyan"},
                                          {4, "Magenta"},   {5, "Dual"},      {6, "Red"}};
constexpr Spelling kOutputMode = MakeSpelling(kOutputModeNames, "Auto");
constexpr ValueName kDuplexNames[] = {{2, "LongEdge"}, {3, "ShortEdge"}};
constexpr Spelling kDuplex = MakeSpelling(kDuplexNames, "OFF");
constexpr ValueName kDuplexMixedPageNames[] = {{4, "ON"}};
constexpr Spelling kDuplexMixedPage = MakeSpelling(kDuplexMixedPageNames, "OFF");
constexpr ValueName kCollateNames[] = {{1, "False"}};
constexpr Spelling kCollate = MakeSpelling(kCollateNames, "True");
constexpr ValueName kOrientationNames[] = {{2, "Landscape"}};
constexpr Spelling kOrientation = MakeSpelling(kOrientationNames, "Portrait");
constexpr ValueName kDuplexSmallPagesNames[] = {{3, "ShortEdge"}};
constexpr Spelling kDuplexSmallPages = MakeSpelling(kDuplexSmallPagesNames, "LongEdge");
constexpr ValueName kDuplexBigPagesNames[] = {{2, "LongEdge"}};
constexpr Spelling kDuplexBigPages = MakeSpelling(kDuplexBigPagesNames, "ShortEdge");
constexpr ValueName kManualZoomNames[] = {{1, "ON"}};
constexpr Spelling kManualZoom = MakeSpelling(kManualZoomNames, "OFF");
constexpr ValueName kInputSlotNames[] = {{257, "Standard"}, {258, "Tray1"}, {259, "Tray2"}, {260, "ExternalFeeder"}};
constexpr Spelling kInputSlot = MakeSpelling(kInputSlotNames, "Auto");
constexpr ValueName kMediaTypeNames[] = {{258, "Standard"},   {259, "HC"},    {260, "HCmatted"}, {261, "HighQuality2"},
                                         {262, "PostcardIJ"}, {263, "Light"}, {264, "Rough"},    {267, "PlainPremium"}};
constexpr Spelling kMediaType = MakeSpelling(kMediaTypeNames, "Auto");
constexpr ValueName kOutputMethodNames[] = {{1, "PrintAndBox"}, {2, "Box"}, {5, "Form"}};
constexpr Spelling kOutputMethod = MakeSpelling(kOutputMethodNames, "Print");
constexpr ValueName kOutputBoxNames[] = {{0, "PersonalBox"}};
constexpr Spelling kOutputBox = MakeSpelling(kOutputBoxNames, "SharedBox1");

constexpr ValueName kMultiUpNames[] = {
    {21, "2PagesLeftRight"},    {22, "2PagesRightLeft"},      {41, "4PagesLeftTopRight"}, {42, "4PagesLeftTopBottom"},
    {43, "4PagesRightTopLeft"}, {44, "4PagesRightTopBottom"}, {81, "8PagesLeftTopRight"}, {82, "8PagesLeftTopBottom"},
    {83, "8PagesRightTopLeft"}, {88, "8PagesRightTopBottom"}};
constexpr Spelling kMultiUp = MakeSpelling(kMultiUpNames, "Off");
constexpr ValueName kMultiUpSinglePageNames[] = {{2, "2"}, {4, "4"}, {8, "8"}};
constexpr Spelling kMultiUpSinglePage = MakeSpelling(kMultiUpSinglePageNames, "Off");
constexpr ValueName kBookletNames[] = {{1, "LeftBinding"}, {2, "RightBinding"}, {3, "TopBinding"}};
constexpr Spelling kBooklet = MakeSpelling(kBookletNames, "Off");
constexpr ValueName kDateTargetPageNames[] = {{0, "FullPage"}};
constexpr Spelling kDateTargetPage = MakeSpelling(kDateTargetPageNames, "1stPage");
constexpr ValueName kDateSpecifyNames[] = {{1, "Custom"}};
constexpr Spelling kDateSpecify = MakeSpelling(kDateSpecifyNames, "Today");
constexpr ValueName kRotateNames[] = {{2, "0"}, {4, "90"}, {6, "180"}, {8, "270"}};
constexpr Spelling kRotate = MakeSpelling(kRotateNames, "Auto");

constexpr ValueName kDitherTypeNames[] = {{2, "Text"}};
constexpr Spelling kDitherType = MakeSpelling(kDitherTypeNames, "Photo");
constexpr ValueName kImageQualityNames[] = {{2, "Fine"}, {3, "Draft"}, {4, "Data"}};
constexpr Spelling kImageQuality = MakeSpelling(kImageQualityNames, "Standard");
constexpr ValueName kLineSmoothingNames[] = {{1, "Low"}, {2, "High"}};
constexpr Spelling kLineSmoothing = MakeSpelling(kLineSmoothingNames, "Off");
constexpr ValueName kScreeningNames[] = {{2, "Raster70"}, {3, "Raster100"}};
constexpr Spelling kScreening = MakeSpelling(kScreeningNames, "ErrorDiff");
constexpr ValueName kRenderingIntentNames[] = {
    {1, "RelativeColorimetric"}, {2, "AbsoluteColorimetric"}, {4, "Saturation"}};
constexpr Spelling kRenderingIntent = MakeSpelling(kRenderingIntentNames, "Perceptual");
constexpr Spelling kMaxDrops{nullptr, 0, "Auto"};

constexpr ValueName kBindingNames[] = {{1, "RightBinding"}, {2, "TopBinding"}};
constexpr Spelling kBinding = MakeSpelling(kBindingNames, "LeftBinding");
constexpr ValueName kPunchModeNames[] = {{1, "2Holes"}, {2, "3Holes"}, {3, "4Holes"}};
constexpr Spelling kPunchMode = MakeSpelling(kPunchModeNames, "Off");
constexpr ValueName kFoldModeNames[] = {{1, "2Fold"}, {2, "3FoldInner"}, {3, "3FoldOuter"}, {4, "ZFold"}};
constexpr Spelling kFoldMode = MakeSpelling(kFoldModeNames, "Off");
constexpr ValueName kFoldInnerOuterNames[] = {{2, "Outer"}};
constexpr Spelling kFoldInnerOuter = MakeSpelling(kFoldInnerOuterNames, "Inner");
constexpr ValueName kFoldBindingNames[] = {{2, "RightAndBottom"}};
constexpr Spelling kFoldBinding = MakeSpelling(kFoldBindingNames, "LeftAndTop");
constexpr ValueName kBookletBindingNames[] = {{1, "2-fold"}, {2, "2-foldAndStaple"}};
constexpr Spelling kBookletBinding = MakeSpelling(kBookletBindingNames, "Off");
constexpr ValueName kBookletSplittingNames[] = {{255, "Auto"}};
constexpr Spelling kBookletSplitting = MakeSpelling(kBookletSplittingNames, "Off");
constexpr ValueName kBookletCoverNames[] = {{1, "OnlyCover"}, {2, "ExceptCover"}};
constexpr Spelling kBookletCover = MakeSpelling(kBookletCoverNames, "Off");
constexpr ValueName kJogNames[] = {{1, "Set"}, {2, "Job"}};
constexpr Spelling kJog = MakeSpelling(kJogNames, "Off");
constexpr ValueName kJobSepSheetNames[] = {{1, "BetweenSets"}, {2, "BetweenJobs"}};
constexpr Spelling kJobSepSheet = MakeSpelling(kJobSepSheetNames, "Off");
constexpr ValueName kJobSepSheetTextNames[] = {{1, "Number"}, {2, "Character"}};
constexpr Spelling kJobSepSheetText = MakeSpelling(kJobSepSheetTextNames, "Off");
constexpr ValueName kOutputTrayNames[] = {
    {1, "FaceDown"}, {2, "Upper"}, {3, "Stacker"}, {6, "WideStacker"}, {7, "AutoStacker"}};
constexpr Spelling kOutputTray = MakeSpelling(kOutputTrayNames, "Auto");
constexpr ValueName kOutputFaceNames[] = {{1, "FaceUp"}};
constexpr Spelling kOutputFace = MakeSpelling(kOutputFaceNames, "FaceDown");

constexpr ValueName kFormPatternNames[] = {{2, "DupLong"}, {3, "DupShort"}, {4, "OneDupLong"}, {5, "OneDupShort"}};
constexpr Spelling kFormPattern = MakeSpelling(kFormPatternNames, "One");
constexpr ValueName kFormSurfaceNames[] = {{1, "Front"}};
constexpr Spelling kFormSurface = MakeSpelling(kFormSurfaceNames, "Back");
constexpr ValueName kPriorityLayerNames[] = {{2, "Original"}, {3, "Form"}};
constexpr Spelling kPriorityLayer = MakeSpelling(kPriorityLayerNames, "Overlay");
constexpr ValueName kPrintSpeedNames[] = {{11, "ON"}};
constexpr Spelling kPrintSpeed = MakeSpelling(kPrintSpeedNames, "OFF");

// Staple mode: its valid values follow the binding.
constexpr ValueName kStapleSideNames[] = {{10, "1Staple"}, {20, "2Staples"}};
constexpr Spelling kStapleSide = MakeSpelling(kStapleSideNames, "Off");
constexpr ValueName kStapleTopNames[] = {{11, "1StapleLeft"}, {12, "1StapleRight"}, {20, "2Staples"}};
constexpr Spelling kStapleTop = MakeSpelling(kStapleTopNames, "Off");

// Zoom rate: only meaningful with manual zoom on.
constexpr int32_t kDefaultZoomRate = 100;

// Fonts and form names: the room their UTF-8 forms may take, terminator included.
constexpr size_t kFontBytes = 64;
constexpr size_t kFormNameBytes = 260;

// ---------------------------------------------------------------------------
// Invocation values by keyword.

struct InvocationRow {
    const char* keyword;
    Invocation rule;
};

constexpr InvocationRow kInvocationRows[] = {
    {"ZTCollate", Invocation::OnOff},
    {"ZTPageTray", Invocation::OnOff},
    {"ZTWaitAfterProof", Invocation::OnOff},
    {"ZTBookletGutter", Invocation::OnOff},
    {"ZTHeaderFooterPrint", Invocation::OnOff},
    {"ZTPageNumPrint", Invocation::OnOff},
    {"ZTPageNumTransparent", Invocation::OnOff},
    {"ZTDatePrint", Invocation::OnOff},
    {"ZTDateTransparent", Invocation::OnOff},
    {"ZTGammaAdjustment", Invocation::OnOff},
    {"ZTBarcodeArea", Invocation::OnOff},
    {"ZTBarcodeProof", Invocation::OnOff},
    {"ZTEnvelopeImageProcessing", Invocation::OnOff},
    {"ZTColorProfile", Invocation::OnOff},
    {"ZTGutter", Invocation::OnOff},
    {"ZTGutterAutoReducing", Invocation::OnOff},
    {"ZTBookletGutterAutoReducing", Invocation::OnOff},
    {"ZTWaitingExceptCover", Invocation::OnOff},
    {"ZTCoverSheet", Invocation::OnOff},
    {"ZTFrontCoverSheet", Invocation::OnOff},
    {"ZTBackCoverSheet", Invocation::OnOff},
    {"ZTContinuousOutput", Invocation::OnOff},
    {"ZTReverseOrder", Invocation::OnOff},
    {"ZTFormSeparate", Invocation::OnOff},
    {"ZTOwnerName", Invocation::OnOff},
    {"ZTJobName", Invocation::OnOff},
    {"ZTSecretNum", Invocation::OnOff},
    {"ZTHideJob", Invocation::OnOff},
    {"ZTForm", Invocation::OnOff},
    {"ZTMixedPageSize", Invocation::UpperOnOff},
    {"ZTRotateBigPages", Invocation::UpperOnOff},
    {"ZTImageShift", Invocation::UpperOnOff},
    {"ZTStampPageFont", Invocation::Hex},
    {"ZTStampDateFont", Invocation::Hex},
    {"ZTPrintSpeed", Invocation::PrintSpeed},
};

constexpr Invocation RuleOf(const char* keyword) {
    for (const InvocationRow& row : kInvocationRows) {
        if (std::string_view(row.keyword) == keyword) return row.rule;
    }
    return Invocation::Same;
}

// ---------------------------------------------------------------------------
// Row makers, so each row reads as the feature it describes. A rule that cannot
// read the field its keyword names (a text rule on a number, a number rule on a
// text or page list) stops the build.

constexpr ReplaceRow Row(int32_t code, const char* keyword, ValueRule rule, const Spelling* spelling = nullptr,
                         int32_t low = 0, int32_t high = 0, const char* prefix = nullptr) {
    const SettingField field = FieldNamed(keyword);
    const bool textRule = rule == ValueRule::Font || rule == ValueRule::Hex;
    if (textRule ? field.kind != SettingKind::Text16 : field.IsText()) throw "the rule cannot read the field";
    return ReplaceRow{code, keyword, field, rule, spelling, low, high, prefix, RuleOf(keyword)};
}
constexpr ReplaceRow Spelled(int32_t code, const char* keyword, const Spelling& spelling) {
    return Row(code, keyword, ValueRule::Spelled, &spelling);
}
constexpr ReplaceRow Flag(int32_t code, const char* keyword) { return Spelled(code, keyword, kFlagSpelling); }
constexpr ReplaceRow Numbered(int32_t code, const char* keyword, int32_t low, int32_t high, const char* prefix,
                              const Spelling& spelling) {
    return Row(code, keyword, ValueRule::Numbered, &spelling, low, high, prefix);
}

constexpr ReplaceRow kGroup1[] = {
    Spelled(1, "ZTOutputMode", kOutputMode),
    Spelled(2, "ZTDuplex", kDuplex),
    Spelled(3, "ZTDuplexMixedPage", kDuplexMixedPage),
    Flag(4, "ZTWaitAfterProof"),
    Spelled(5, "ZTCollate", kCollate),
    Spelled(7, "ZTOrientation", kOrientation),
    Flag(8, "ZTMixedPageSize"),
    Spelled(9, "ZTDuplexSmallPages", kDuplexSmallPages),
    Spelled(10, "ZTDuplexBigPages", kDuplexBigPages),
    Flag(11, "ZTRotateBigPages"),
    Spelled(12, "ZTManualZoom", kManualZoom),
    Row(13, "ZTZoomRate", ValueRule::ZoomRate, nullptr, 50, 200),
    Spelled(15, "ZTInputSlot", kInputSlot),
    Flag(16, "ZTPageTray"),
    Spelled(17, "ZTMediaType", kMediaType),
    Spelled(18, "ZTOutputMethod", kOutputMethod),
    Numbered(19, "ZTOutputBox", 1, 100, "SharedBox", kOutputBox),
};

constexpr ReplaceRow kGroup2[] = {
    Spelled(21, "ZTMultiUp", kMultiUp),
    Spelled(22, "ZTMultiUpSinglePage", kMultiUpSinglePage),
    Spelled(23, "ZTBooklet", kBooklet),
    Flag(24, "ZTHeaderFooterPrint"),
    Flag(25, "ZTPageNumPrint"),
    Flag(26, "ZTPageNumTransparent"),
    Spelled(29, "ZTPageNumPosition", kPositionSpelling),
    Row(31, "ZTStampPageFont", ValueRule::Font),
    Row(32, "ZTStampPageSize", ValueRule::Clamped, nullptr, 8, 32),
    Flag(33, "ZTDatePrint"),
    Flag(34, "ZTDateTransparent"),
    Spelled(35, "ZTDateTargetPage", kDateTargetPage),
    Spelled(36, "ZTDateSpecify", kDateSpecify),
    Spelled(38, "ZTDatePosition", kPositionSpelling),
    Row(40, "ZTStampDateFont", ValueRule::Font),
    Row(41, "ZTStampDateSize", ValueRule::Clamped, nullptr, 8, 32),
    Flag(55, "ZTImageShift"),
    Spelled(57, "ZTRotate", kRotate),
};

constexpr ReplaceRow kGroup3[] = {
    Spelled(61, "ZTDitherType", kDitherType),
    Spelled(62, "ZTPrintDensity", kLevel3Spelling),
    Spelled(63, "ZTImageQuality", kImageQuality),
    Spelled(64, "ZTLineSmoothing", kLineSmoothing),
    Spelled(65, "ZTScreening", kScreening),
    Flag(66, "ZTGammaAdjustment"),
    Spelled(67, "ZTGCBrightness", kLevel2Spelling),
    Spelled(68, "ZTGCContrast", kLevel2Spelling),
    Flag(73, "ZTBarcodeArea"),
    Spelled(74, "ZTBarcodeDensity", kLevel3Spelling),
    Flag(75, "ZTBarcodeProof"),
    Flag(76, "ZTEnvelopeImageProcessing"),
    Flag(77, "ZTColorProfile"),
    Spelled(79, "ZTRenderingIntent", kRenderingIntent),
    Numbered(80, "ZTMaxDrops", 1, 11, "", kMaxDrops),
};

constexpr ReplaceRow kGroup4[] = {
    Spelled(101, "ZTBinding", kBinding),
    Flag(102, "ZTGutter"),
    Flag(104, "ZTGutterAutoReducing"),
    Row(105, "ZTStapleMode", ValueRule::StapleMode),
    Spelled(106, "ZTPunchMode", kPunchMode),
    Spelled(107, "ZTFoldMode", kFoldMode),
    Spelled(108, "ZTFoldInnerOuter", kFoldInnerOuter),
    Spelled(109, "ZTFoldBinding", kFoldBinding),
    Spelled(110, "ZTBookletBinding", kBookletBinding),
    Numbered(111, "ZTBookletSplitting", 1, 20, "", kBookletSplitting),
    Flag(112, "ZTBookletGutter"),
    Flag(114, "ZTBookletGutterAutoReducing"),
    Spelled(115, "ZTBookletCover", kBookletCover),
    Flag(116, "ZTWaitingExceptCover"),
    Spelled(117, "ZTBookletCoverSheetTray", kTraySpelling),
    Spelled(118, "ZTJog", kJog),
    Spelled(119, "ZTJobSepSheet", kJobSepSheet),
    Spelled(120, "ZTJobSepSheetTray", kTraySpelling),
    Spelled(121, "ZTJobSepSheetText", kJobSepSheetText),
    Flag(122, "ZTCoverSheet"),
    Flag(123, "ZTFrontCoverSheet"),
    Spelled(124, "ZTFrontCoverSheetTray", kTraySpelling),
    Flag(125, "ZTBackCoverSheet"),
    Spelled(126, "ZTBackCoverSheetTray", kTraySpelling),
    Spelled(127, "ZTOutputTray", kOutputTray),
    Spelled(128, "ZTOutputFace", kOutputFace),
    Flag(129, "ZTContinuousOutput"),
};

constexpr ReplaceRow kGroup5[] = {
    Flag(151, "ZTReverseOrder"),
    Flag(152, "ZTForm"),
    Spelled(153, "ZTFormPattern", kFormPattern),
    Spelled(154, "ZTFormSurface", kFormSurface),
    Flag(155, "ZTFormSeparate"),
    Row(156, "ZTFormSelect1", ValueRule::Hex),
    Row(157, "ZTFormSelect2", ValueRule::Hex),
    Spelled(158, "ZTPriorityLayer", kPriorityLayer),
    Flag(159, "ZTOwnerName"),
    Flag(160, "ZTJobName"),
    Flag(162, "ZTSecretNum"),
    Flag(164, "ZTHideJob"),
    Spelled(166, "ZTPrintSpeed", kPrintSpeed),
};

// The one of two words that matches value, or value itself.
std::string Translate(const std::string& value, const char* from1, const char* to1, const char* from2,
                      const char* to2) {
    if (value == from1) return to1;
    if (value == from2) return to2;
    return value;
}

int64_t Clamp(int64_t value, int64_t low, int64_t high) { return value < low ? low : (value > high ? high : value); }

}  // namespace

// ---------------------------------------------------------------------------

const Spelling kFlagSpelling = MakeSpelling(kFlagNames, "False");
const Spelling kPositionSpelling = MakeSpelling(kPositionNames, "TopLeft");
const Spelling kTraySpelling = MakeSpelling(kTrayNames, "Standard");
const Spelling kLevel3Spelling = MakeSpelling(kLevel3Names, "0");
const Spelling kLevel2Spelling = MakeSpelling(kLevel2Names, "0");

const ReplaceGroup kReplaceGroups[kReplaceGroupCount] = {
    {kGroup1, sizeof kGroup1 / sizeof kGroup1[0]}, {kGroup2, sizeof kGroup2 / sizeof kGroup2[0]},
    {kGroup3, sizeof kGroup3 / sizeof kGroup3[0]}, {kGroup4, sizeof kGroup4 / sizeof kGroup4[0]},
    {kGroup5, sizeof kGroup5 / sizeof kGroup5[0]},
};

const OrientationEntry kOrientationEntry = {7, "ZTOrientation"};

namespace {

// The one keyword whose text value goes on as its UTF-8 text instead of hex
// digits, and the anchor a custom-size block may stand in for.
constexpr char kPlainTextKeyword[] = "ZTSecretNumInfo";
constexpr char kPageSizeAnchor[] = "ZTPageSize ";

constexpr InsertKind InsertAs(const SettingField& field) {
    if (field.kind == SettingKind::Text16) return InsertKind::Text;
    if (field.kind == SettingKind::Text8) return InsertKind::PageList;
    if (field.bytes == 1) throw "an insert row cannot read a one-byte field";
    return field.bytes == 2 ? InsertKind::Int16 : InsertKind::Int32;
}

// Where a row's block goes, from its anchors alone: a single anchor that is
// the row's own keyword (and its blank) names the driver's block the row
// replaces; several anchors of a page list name the list it goes in front of;
// any other anchors name blocks it goes behind.
constexpr InsertPlacement PlacementOf(std::string_view anchors, std::string_view keyword, InsertKind kind) {
    if (anchors.find('/') != kNpos) {
        return kind == InsertKind::PageList ? InsertPlacement::InFrontOfList : InsertPlacement::BehindAnchor;
    }
    const bool own = anchors.size() == keyword.size() + 1 && anchors.substr(0, keyword.size()) == keyword;
    return own ? InsertPlacement::OwnBlock : InsertPlacement::BehindAnchor;
}

// An insert row reads the settings field its keyword names, or the one named
// apart (the page lists' fields carry names of their own).
constexpr InsertRow Insert(int32_t code, const char* anchors, const char* keyword,
                           InsertSource source = InsertSource::Field, const char* fieldName = nullptr) {
    const SettingField field = FieldNamed(fieldName != nullptr ? fieldName : keyword);
    const bool plainText = std::string_view(keyword) == kPlainTextKeyword;
    const bool customSizeStandIn = std::string_view(anchors) == kPageSizeAnchor;
    const InsertKind kind = InsertAs(field);
    return InsertRow{code,
                     anchors,
                     keyword,
                     kind,
                     field.offset,
                     static_cast<uint16_t>(field.Units()),
                     source,
                     plainText,
                     customSizeStandIn,
                     PlacementOf(anchors, keyword, kind)};
}
constexpr InsertRow PageList(int32_t code, const char* anchors, const char* keyword, const char* fieldName) {
    return Insert(code, anchors, keyword, InsertSource::Field, fieldName);
}

}  // namespace

constexpr InsertRow kInsertTable[kInsertRowCount] = {
    Insert(1, "ZTPageSize ", "ZTPageSizeWidth"),
    Insert(2, "ZTPageSizeWidth /ZTPageSize ", "ZTPageSizeHeight"),
    Insert(3, "ZTTargetPaperSize ", "ZTTargetPaperSizeWidth"),
    Insert(4, "ZTTargetPaperSizeHeight /ZTTargetPaperSize ", "ZTTargetPaperSizeHeight"),
    PageList(5, "ZTPageTray ", "ZTPageTrayStandard", "PageTrayStandard"),
    PageList(6, "ZTPageTrayStandard /ZTPageTray ", "ZTPageTrayTray1", "PageTrayTray1"),
    PageList(7, "ZTPageTrayTray1 /ZTPageTrayStandard /ZTPageTray ", "ZTPageTrayTray2", "PageTrayTray2"),
    PageList(8, "ZTPageTrayTray2 /ZTPageTrayTray1 /ZTPageTrayStandard /ZTPageTray ", "ZTPageTrayExternalFeeder",
             "PageTrayExternalFeeder"),
    Insert(20, "ZTPageNumTransparent ", "ZTPageNumStartNum"),
    Insert(21, "ZTPageNumStartNum /ZTPageNumTransparent ", "ZTPageNumStartPage"),
    Insert(25, "ZTDateSpecify ", "ZTDateInfo", InsertSource::Date),
    Insert(30, "ZTImageShiftFrontV ", "ZTImageShiftFrontV"),
    Insert(31, "ZTImageShiftFrontH ", "ZTImageShiftFrontH"),
    Insert(32, "ZTImageShiftBackV ", "ZTImageShiftBackV"),
    Insert(33, "ZTImageShiftBackH ", "ZTImageShiftBackH"),
    Insert(41, "ZTGCCyan ", "ZTGCCyan"),
    Insert(42, "ZTGCMagenta ", "ZTGCMagenta"),
    Insert(43, "ZTGCYellow ", "ZTGCYellow"),
    Insert(44, "ZTGCBlack ", "ZTGCBlack"),
    Insert(47, "ZTGCRed ", "ZTGCRed"),
    Insert(45, "ZTBarcodeArea ", "ZTBarcodeSelection"),
    Insert(46, "ZTBarcodeSelection /ZTBarcodeArea ", "ZTOutputProfileSelection"),
    Insert(61, "ZTGutterDistance ", "ZTGutterDistance"),
    Insert(60, "ZTBookletGutterDistance ", "ZTBookletGutterDistance"),
    Insert(85, "ZTOwnerName ", "ZTOwnerNameInfo", InsertSource::OwnerName),
    Insert(86, "ZTJobName ", "ZTJobNameInfo", InsertSource::JobName),
    Insert(87, "ZTSecretNum ", "ZTSecretNumInfo"),
    Insert(88, "ZTCollate ", "ZTJobComment"),
};

// ---------------------------------------------------------------------------

const char* SpellValue(const Spelling& spelling, int64_t value) {
    for (uint8_t i = 0; i < spelling.count; ++i) {
        if (spelling.names[i].value == value) return spelling.names[i].text;
    }
    return spelling.other;
}

bool FillReplaceValue(const ReplaceRow& row, SettingsView settings, std::string& value) {
    value.clear();
    switch (row.rule) {
        case ValueRule::Spelled: value = SpellValue(*row.spelling, ReadFieldValue(settings, row.field)); return true;
        case ValueRule::Numbered: {
            const int64_t number = ReadFieldValue(settings, row.field);
            if (number >= row.low && number <= row.high) {
                value = row.prefix;
                value += std::to_string(number);
            } else {
                value = SpellValue(*row.spelling, number);
            }
            return true;
        }
        case ValueRule::Clamped:
            value = std::to_string(Clamp(ReadFieldValue(settings, row.field), row.low, row.high));
            return true;
        case ValueRule::ZoomRate: {
            const int64_t rate = ReadSettingU8(settings, kSettingManualZoom.offset) != 0
                                     ? Clamp(ReadFieldValue(settings, row.field), row.low, row.high)
                                     : kDefaultZoomRate;
            value = std::to_string(rate);
            return true;
        }
        case ValueRule::StapleMode: {
            const uint8_t binding = ReadSettingU8(settings, kSettingBinding.offset);
            const int64_t staple = ReadFieldValue(settings, row.field);
            if (binding == 0 || binding == 1) {
                value = SpellValue(kStapleSide, staple);
            } else if (binding == 2) {
                value = SpellValue(kStapleTop, staple);
            } else {
                value = "Off";
            }
            return true;
        }
        case ValueRule::Font:
            // A font name whose UTF-8 form does not fit its 64 bytes goes on cut
            // after its last whole character that fits: the printer still gets the
            // start of the name rather than nothing, and the block stays well formed.
            value = Utf8Text(ReadFieldText(settings, row.field.offset, row.field.Units()));
            CutUtf8(value, kFontBytes - 1);
            return true;
        case ValueRule::Hex: {
            const std::string bytes = Utf8Text(ReadFieldText(settings, row.field.offset, row.field.Units()));
            if (bytes.size() > kFormNameBytes - 1) return false;
            value = UpperHex(bytes);
            return true;
        }
    }
    return true;
}

namespace {

void AddText(std::vector<std::string>& texts, const std::string& text) {
    for (const std::string& known : texts) {
        if (known == text) return;
    }
    texts.push_back(text);
}

// The spelled texts whose values lie outside low..high (a value inside is
// written as a number instead), then the text of every other value.
void AddSpelling(std::vector<std::string>& texts, const Spelling& spelling, int64_t low = 1, int64_t high = 0) {
    for (uint8_t i = 0; i < spelling.count; ++i) {
        const int64_t value = spelling.names[i].value;
        if (value < low || value > high) AddText(texts, spelling.names[i].text);
    }
    AddText(texts, spelling.other);
}

void AddRange(std::vector<std::string>& texts, const char* prefix, int32_t low, int32_t high) {
    for (int64_t n = low; n <= high; ++n)
        AddText(texts, std::string(prefix != nullptr ? prefix : "") + std::to_string(n));
}

}  // namespace

std::vector<std::string> ReplaceValueTexts(const ReplaceRow& row) {
    std::vector<std::string> texts;
    switch (row.rule) {
        case ValueRule::Spelled: AddSpelling(texts, *row.spelling); break;
        case ValueRule::Numbered:
            AddRange(texts, row.prefix, row.low, row.high);
            AddSpelling(texts, *row.spelling, row.low, row.high);
            break;
        case ValueRule::Clamped: AddRange(texts, nullptr, row.low, row.high); break;
        case ValueRule::ZoomRate:
            AddRange(texts, nullptr, row.low, row.high);
            AddText(texts, std::to_string(kDefaultZoomRate));
            break;
        case ValueRule::StapleMode:
            AddSpelling(texts, kStapleSide);
            AddSpelling(texts, kStapleTop);
            break;
        case ValueRule::Font:
        case ValueRule::Hex: break;
    }
    return texts;
}

std::string InvocationValue(Invocation rule, const std::string& commentValue) {
    switch (rule) {
        case Invocation::Same: break;
        case Invocation::OnOff: return Translate(commentValue, "True", "On", "False", "Off");
        case Invocation::UpperOnOff: return Translate(commentValue, "True", "ON", "False", "OFF");
        case Invocation::Hex: return UpperHex(commentValue);
        case Invocation::PrintSpeed: return Translate(commentValue, "ON", "LowSpeed", "OFF", "Standard");
    }
    return commentValue;
}

const char* OrientationValue(int orientation, SettingsView settings) {
    switch (orientation) {
        case 1: return "Portrait";
        case 2: return "Landscape";
        case -1: return SpellValue(kOrientation, ReadField(settings, kSettingOrientation));
        default: return "Portrait";
    }
}

Text16 ReadFieldText(SettingsView settings, size_t offset, size_t units) {
    Text16 text;
    if (units == 0) return text;
    if (ReadSettingText(settings, offset, units - 1, text).Failed()) throw std::bad_alloc();
    return text;
}

std::string Utf8Text(const Text16& text) {
    std::string out;
    if (Utf8Converter().Convert(text, out).Failed()) throw std::bad_alloc();
    return out;
}

void CutUtf8(std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) return;
    size_t cut = maxBytes;
    // Back off to the first byte of the character that would be split.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
}
