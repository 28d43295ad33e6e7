#include "ppd_model.h"

#include "core/paper_table.h"
#include "core/private_part.h"
#include "core/settings_fields.h"
#include "core/settings_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

const char kNeutralChoice[] = "FromSettings";
const char kNeutralChoiceText[] = "Set by the Printer Settings";

// The group texts say where the values come from: the plug-in writes every
// printer feature from its own settings, so a choice made in the driver's
// advanced options never wins over the printer settings.
const PpdGroupName kPpdGroupTable[] = {
    {PpdGroup::PaperAndTrays, "ZTPaperAndTrays", "Paper and Trays (Printer Settings)"},
    {PpdGroup::Finishing, "ZTFinishing", "Finishing (Printer Settings)"},
    {PpdGroup::Output, "ZTOutput", "Output (Printer Settings)"},
    {PpdGroup::ColorAndQuality, "ZTColorAndQuality", "Color and Quality (Printer Settings)"},
    {PpdGroup::StampsAndOverlays, "ZTStampsAndOverlays", "Stamps and Overlays (Printer Settings)"},
    {PpdGroup::JobAndSecurity, "ZTJobAndSecurity", "Job and Security (Printer Settings)"},
};
const size_t kPpdGroupCount = sizeof kPpdGroupTable / sizeof kPpdGroupTable[0];

namespace {

using G = PpdGroup;

// How each printer feature is presented: its group, its text and the unit of
// its numeric choices. A feature the tables gain without a row here stops the
// generator, so nothing reaches a user unnamed.
struct Presentation {
    const char* keyword;
    PpdGroup group;
    const char* text;
    const char* unit;  // behind a numeric choice, or null
};

constexpr Presentation kPresentationTable[] = {
    {"ZTOrientation", G::PaperAndTrays, "Orientation", nullptr},
    {"ZTPageSize", G::PaperAndTrays, "Printer Paper Size", nullptr},
    {"ZTInputSlot", G::PaperAndTrays, "Paper Source", nullptr},
    {"ZTPageTray", G::PaperAndTrays, "Pages from Other Trays", nullptr},
    {"ZTMediaType", G::PaperAndTrays, "Media Type", nullptr},
    {"ZTMixedPageSize", G::PaperAndTrays, "Mixed Paper Sizes", nullptr},
    {"ZTManualZoom", G::PaperAndTrays, "Manual Zoom", nullptr},
    {"ZTZoomRate", G::PaperAndTrays, "Zoom", " %"},
    {"ZTRotate", G::PaperAndTrays, "Rotation", " degrees"},
    {"ZTRotateBigPages", G::PaperAndTrays, "Rotate Large Pages", nullptr},
    {"ZTImageShift", G::PaperAndTrays, "Image Shift", nullptr},
    {"ZTImageShiftFrontV", G::PaperAndTrays, "Image Shift, Front, Vertical", nullptr},
    {"ZTImageShiftFrontH", G::PaperAndTrays, "Image Shift, Front, Horizontal", nullptr},
    {"ZTImageShiftBackV", G::PaperAndTrays, "Image Shift, Back, Vertical", nullptr},
    {"ZTImageShiftBackH", G::PaperAndTrays, "Image Shift, Back, Horizontal", nullptr},

    {"ZTDuplex", G::Finishing, "Two-Sided Printing", nullptr},
    {"ZTDuplexMixedPage", G::Finishing, "Two-Sided with Mixed Sizes", nullptr},
    {"ZTDuplexSmallPages", G::Finishing, "Two-Sided Edge, Small Pages", nullptr},
    {"ZTDuplexBigPages", G::Finishing, "Two-Sided Edge, Large Pages", nullptr},
    {"ZTMultiUp", G::Finishing, "Pages per Sheet", nullptr},
    {"ZTMultiUpSinglePage", G::Finishing, "One Page Repeated per Sheet", nullptr},
    {"ZTBooklet", G::Finishing, "Booklet", nullptr},
    {"ZTBinding", G::Finishing, "Binding Edge", nullptr},
    {"ZTGutter", G::Finishing, "Binding Margin", nullptr},
    {"ZTGutterDistance", G::Finishing, "Binding Margin Width", nullptr},
    {"ZTGutterAutoReducing", G::Finishing, "Reduce to Fit the Binding Margin", nullptr},
    {"ZTStapleMode", G::Finishing, "Staple", nullptr},
    {"ZTPunchMode", G::Finishing, "Hole Punch", nullptr},
    {"ZTFoldMode", G::Finishing, "Fold", nullptr},
    {"ZTFoldInnerOuter", G::Finishing, "Fold Direction", nullptr},
    {"ZTFoldBinding", G::Finishing, "Fold Binding Edge", nullptr},
    {"ZTBookletBinding", G::Finishing, "Booklet Binding", nullptr},
    {"ZTBookletSplitting", G::Finishing, "Booklet Split", nullptr},
    {"ZTBookletGutter", G::Finishing, "Booklet Binding Margin", nullptr},
    {"ZTBookletGutterDistance", G::Finishing, "Booklet Binding Margin Width", nullptr},
    {"ZTBookletGutterAutoReducing", G::Finishing, "Reduce to Fit the Booklet Margin", nullptr},
    {"ZTBookletCover", G::Finishing, "Booklet Cover", nullptr},
    {"ZTWaitingExceptCover", G::Finishing, "Wait for the Pages Inside the Cover", nullptr},
    {"ZTBookletCoverSheetTray", G::Finishing, "Booklet Cover Paper Source", nullptr},

    {"ZTOutputMethod", G::Output, "Output Method", nullptr},
    {"ZTOutputBox", G::Output, "Storage Box", nullptr},
    {"ZTOutputTray", G::Output, "Output Tray", nullptr},
    {"ZTOutputFace", G::Output, "Output Face", nullptr},
    {"ZTCollate", G::Output, "Collate", nullptr},
    {"ZTWaitAfterProof", G::Output, "Wait after the Proof Copy", nullptr},
    {"ZTJog", G::Output, "Offset Stacking", nullptr},
    {"ZTJobSepSheet", G::Output, "Separator Sheets", nullptr},
    {"ZTJobSepSheetTray", G::Output, "Separator Sheet Paper Source", nullptr},
    {"ZTJobSepSheetText", G::Output, "Separator Sheet Text", nullptr},
    {"ZTCoverSheet", G::Output, "Cover Sheets", nullptr},
    {"ZTFrontCoverSheet", G::Output, "Front Cover Sheet", nullptr},
    {"ZTFrontCoverSheetTray", G::Output, "Front Cover Paper Source", nullptr},
    {"ZTBackCoverSheet", G::Output, "Back Cover Sheet", nullptr},
    {"ZTBackCoverSheetTray", G::Output, "Back Cover Paper Source", nullptr},
    {"ZTContinuousOutput", G::Output, "Continuous Output", nullptr},
    {"ZTReverseOrder", G::Output, "Reverse Order", nullptr},

    {"ZTOutputMode", G::ColorAndQuality, "Color Mode", nullptr},
    {"ZTImageQuality", G::ColorAndQuality, "Print Quality", nullptr},
    {"ZTPrintSpeed", G::ColorAndQuality, "Print Speed", nullptr},
    {"ZTPrintDensity", G::ColorAndQuality, "Print Density", nullptr},
    {"ZTDitherType", G::ColorAndQuality, "Dither Type", nullptr},
    {"ZTScreening", G::ColorAndQuality, "Screening", nullptr},
    {"ZTLineSmoothing", G::ColorAndQuality, "Line Smoothing", nullptr},
    {"ZTMaxDrops", G::ColorAndQuality, "Maximum Ink Drops", nullptr},
    {"ZTGammaAdjustment", G::ColorAndQuality, "Gamma Adjustment", nullptr},
    {"ZTGCBrightness", G::ColorAndQuality, "Gamma Correction, Brightness", nullptr},
    {"ZTGCContrast", G::ColorAndQuality, "Gamma Correction, Contrast", nullptr},
    {"ZTGCCyan", G::ColorAndQuality, "Gamma Correction, Cyan", nullptr},
    {"ZTGCMagenta", G::ColorAndQuality, "Gamma Correction, Magenta", nullptr},
    {"ZTGCYellow", G::ColorAndQuality, "Gamma Correction, Yellow", nullptr},
    {"ZTGCBlack", G::ColorAndQuality, "Gamma Correction, Black", nullptr},
    {"ZTGCRed", G::ColorAndQuality, "Gamma Correction, Red", nullptr},
    {"ZTColorProfile", G::ColorAndQuality, "Color Profile", nullptr},
    {"ZTRenderingIntent", G::ColorAndQuality, "Rendering Intent", nullptr},
    {"ZTEnvelopeImageProcessing", G::ColorAndQuality, "Envelope Image Processing", nullptr},
    {"ZTBarcodeArea", G::ColorAndQuality, "Barcode Area", nullptr},
    {"ZTBarcodeDensity", G::ColorAndQuality, "Barcode Density", nullptr},
    {"ZTBarcodeProof", G::ColorAndQuality, "Barcode Proof", nullptr},

    {"ZTHeaderFooterPrint", G::StampsAndOverlays, "Print Header and Footer", nullptr},
    {"ZTPageNumPrint", G::StampsAndOverlays, "Print Page Numbers", nullptr},
    {"ZTPageNumTransparent", G::StampsAndOverlays, "Transparent Page Numbers", nullptr},
    {"ZTPageNumPosition", G::StampsAndOverlays, "Page Number Position", nullptr},
    {"ZTStampPageFont", G::StampsAndOverlays, "Page Number Font", nullptr},
    {"ZTStampPageSize", G::StampsAndOverlays, "Page Number Size", " points"},
    {"ZTDatePrint", G::StampsAndOverlays, "Print Date", nullptr},
    {"ZTDateTransparent", G::StampsAndOverlays, "Transparent Date", nullptr},
    {"ZTDateTargetPage", G::StampsAndOverlays, "Date On", nullptr},
    {"ZTDateSpecify", G::StampsAndOverlays, "Date Printed", nullptr},
    {"ZTDatePosition", G::StampsAndOverlays, "Date Position", nullptr},
    {"ZTStampDateFont", G::StampsAndOverlays, "Date Font", nullptr},
    {"ZTStampDateSize", G::StampsAndOverlays, "Date Size", " points"},
    {"ZTForm", G::StampsAndOverlays, "Form Overlay", nullptr},
    {"ZTFormPattern", G::StampsAndOverlays, "Form Pattern", nullptr},
    {"ZTFormSurface", G::StampsAndOverlays, "Form Side", nullptr},
    {"ZTFormSeparate", G::StampsAndOverlays, "Separate Forms per Side", nullptr},
    {"ZTFormSelect1", G::StampsAndOverlays, "First Form", nullptr},
    {"ZTFormSelect2", G::StampsAndOverlays, "Second Form", nullptr},
    {"ZTPriorityLayer", G::StampsAndOverlays, "Layer on Top", nullptr},

    {"ZTOwnerName", G::JobAndSecurity, "Owner Name of Its Own", nullptr},
    {"ZTJobName", G::JobAndSecurity, "Job Name of Its Own", nullptr},
    {"ZTSecretNum", G::JobAndSecurity, "Secure Print with a Number", nullptr},
    {"ZTHideJob", G::JobAndSecurity, "Hide the Job", nullptr},
};

// Choice texts the words of a keyword do not give: abbreviations, numbers in
// front, and values whose meaning depends on the option. A null option holds
// for every option; a '#' stands for the digits that end a keyword.
struct ChoiceWords {
    const char* option;
    const char* choice;
    const char* text;
};

constexpr ChoiceWords kChoiceTextTable[] = {
    {nullptr, "True", "On"},
    {nullptr, "False", "Off"},
    {nullptr, "ON", "On"},
    {nullptr, "OFF", "Off"},
    {nullptr, "Auto", "Automatic"},
    {nullptr, "Tray#", "Tray #"},
    {nullptr, "SharedBox#", "Shared Box #"},
    {"ZTDuplex", "OFF", "One-Sided"},
    {"ZTPrintSpeed", "ON", "Low Speed"},
    {"ZTPrintSpeed", "OFF", "Standard Speed"},
    {"ZTOutputMode", "Fullcolor", "Full Color"},
    {"ZTOutputMode", "Dual", "Two Colors"},
    {"ZTMediaType", "HC", "HC Paper"},
    {"ZTMediaType", "HCmatted", "HC Matte Paper"},
    {"ZTMediaType", "PostcardIJ", "Inkjet Postcard"},
    {"ZTMediaType", "PlainPremium", "Premium Plain Paper"},
    {"ZTOutputMethod", "PrintAndBox", "Print and Store in a Box"},
    {"ZTOutputMethod", "Box", "Store in a Box"},
    {"ZTOutputMethod", "Form", "Store as a Form"},
    {"ZTMultiUp", "2PagesLeftRight", "2 Pages, Left to Right"},
    {"ZTMultiUp", "2PagesRightLeft", "2 Pages, Right to Left"},
    {"ZTMultiUp", "4PagesLeftTopRight", "4 Pages, from Top Left Across"},
    {"ZTMultiUp", "4PagesLeftTopBottom", "4 Pages, from Top Left Down"},
    {"ZTMultiUp", "4PagesRightTopLeft", "4 Pages, from Top Right Across"},
    {"ZTMultiUp", "4PagesRightTopBottom", "4 Pages, from Top Right Down"},
    {"ZTMultiUp", "8PagesLeftTopRight", "8 Pages, from Top Left Across"},
    {"ZTMultiUp", "8PagesLeftTopBottom", "8 Pages, from Top Left Down"},
    {"ZTMultiUp", "8PagesRightTopLeft", "8 Pages, from Top Right Across"},
    {"ZTMultiUp", "8PagesRightTopBottom", "8 Pages, from Top Right Down"},
    {"ZTDateTargetPage", "FullPage", "Every Page"},
    {"ZTDateTargetPage", "1stPage", "First Page"},
    {"ZTDateSpecify", "Custom", "Date Entered"},
    {"ZTScreening", "Raster70", "Raster Screen 70"},
    {"ZTScreening", "Raster100", "Raster Screen 100"},
    {"ZTScreening", "ErrorDiff", "Error Diffusion"},
    {"ZTStapleMode", "1Staple", "One Staple"},
    {"ZTStapleMode", "2Staples", "Two Staples"},
    {"ZTStapleMode", "1StapleLeft", "One Staple, Left"},
    {"ZTStapleMode", "1StapleRight", "One Staple, Right"},
    {"ZTPunchMode", "2Holes", "Two Holes"},
    {"ZTPunchMode", "3Holes", "Three Holes"},
    {"ZTPunchMode", "4Holes", "Four Holes"},
    {"ZTFoldMode", "2Fold", "Half Fold"},
    {"ZTFoldMode", "3FoldInner", "Tri-Fold, Inward"},
    {"ZTFoldMode", "3FoldOuter", "Tri-Fold, Outward"},
    {"ZTFoldMode", "ZFold", "Z-Fold"},
    {"ZTFoldInnerOuter", "Inner", "Inward"},
    {"ZTFoldInnerOuter", "Outer", "Outward"},
    {"ZTBookletBinding", "2-fold", "Half Fold"},
    {"ZTBookletBinding", "2-foldAndStaple", "Half Fold and Staple"},
    {"ZTBookletCover", "OnlyCover", "Cover Only"},
    {"ZTBookletCover", "ExceptCover", "All but the Cover"},
    {"ZTJog", "Set", "Each Set"},
    {"ZTJog", "Job", "Each Job"},
    {"ZTJobSepSheetText", "Character", "Characters"},
    {"ZTOutputTray", "FaceDown", "Face-Down Tray"},
    {"ZTOutputTray", "Upper", "Upper Tray"},
    {"ZTFormPattern", "One", "One-Sided"},
    {"ZTFormPattern", "DupLong", "Two-Sided, Long Edge"},
    {"ZTFormPattern", "DupShort", "Two-Sided, Short Edge"},
    {"ZTFormPattern", "OneDupLong", "One-Sided Form, Long Edge"},
    {"ZTFormPattern", "OneDupShort", "One-Sided Form, Short Edge"},
    {"ZTFormSurface", "Front", "Front Side"},
    {"ZTFormSurface", "Back", "Back Side"},
    {"ZTPriorityLayer", "Original", "Document"},
    // Paper keywords, shared by PageSize, PageRegion and ZTPageSize.
    {nullptr, "Postcard", "Postcard (Japan)"},
    {nullptr, "EnvKaku#", "Envelope Kaku No. #"},
    {nullptr, "EnvChou#", "Envelope Chou No. #"},
    {nullptr, "EnvC#", "Envelope C#"},
    {nullptr, "EnvDL", "Envelope DL"},
    {nullptr, "Env#", "Envelope No. #"},
    {nullptr, "PHLegal", "Philippine Legal"},
    {nullptr, "A3W", "A3 Wide"},
    {nullptr, "ARCHA", "Architectural A"},
    {nullptr, "10x13", "10 x 13 Inches"},
    {nullptr, "8K", "Chinese 8K"},
    {nullptr, "16K", "Chinese 16K"},
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "-12", "300": an integer the way the tables spell one.
bool IsInteger(const std::string& text) {
    size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
    if (i >= text.size()) return false;
    for (; i < text.size(); ++i) {
        if (!IsDigit(text[i])) return false;
    }
    return true;
}

const Presentation* PresentationOf(const std::string& keyword) {
    for (const Presentation& row : kPresentationTable) {
        if (keyword == row.keyword) return &row;
    }
    return nullptr;
}

// The vocabulary's text for a choice: the option's own row first, then the
// common one; a '#' row when the keyword ends in digits.
const char* VocabularyText(const std::string& option, const std::string& choice, std::string& digits) {
    size_t stemEnd = choice.size();
    while (stemEnd > 0 && IsDigit(choice[stemEnd - 1])) --stemEnd;
    const std::string pattern = choice.substr(0, stemEnd) + "#";
    digits = choice.substr(stemEnd);
    for (const bool own : {true, false}) {
        for (const ChoiceWords& row : kChoiceTextTable) {
            if (own != (row.option != nullptr) || (own && option != row.option)) continue;
            if (choice == row.choice) {
                digits.clear();
                return row.text;
            }
            if (stemEnd > 0 && stemEnd < choice.size() && pattern == row.choice) return row.text;
        }
    }
    return nullptr;
}

bool KeywordByteAllowed(unsigned char c) { return c > 0x20 && c < 0x7F && c != '/' && c != ':'; }

std::string CheckKeyword(const std::string& keyword, const char* what) {
    if (keyword.empty()) return std::string(what) + " is empty";
    if (keyword.size() > kMaxPpdKeywordBytes) {
        return std::string(what) + " \"" + keyword + "\" has " + std::to_string(keyword.size()) +
               " characters; a printer description allows at most " + std::to_string(kMaxPpdKeywordBytes);
    }
    for (const char c : keyword) {
        if (!KeywordByteAllowed(static_cast<unsigned char>(c))) {
            char code[8];
            std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned char>(c));
            return std::string(what) + " \"" + keyword + "\" holds the byte " + code +
                   ", which a printer description keyword cannot carry (printable ASCII without blank, '/' and ':')";
        }
    }
    return std::string();
}

std::string CheckText(const std::string& text, const std::string& what) {
    if (text.empty()) return what + " has no display text (a feature needs a row in the presentation table)";
    if (text.size() > kMaxPpdTextBytes) {
        return what + ": the display text \"" + text + "\" has more than " + std::to_string(kMaxPpdTextBytes) +
               " characters";
    }
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F || c == '"' || c == ':') {
            return what + ": the display text \"" + text + "\" holds a character a translation string cannot carry";
        }
    }
    return std::string();
}

PpdChoice Choice(const std::string& option, const std::string& name, const std::string& invocation) {
    return PpdChoice{name, invocation, ChoiceText(option, name)};
}

// The insert rows whose block takes the place of the driver's block of the
// same keyword: a single anchor that is the row's own keyword. Their values
// are numbers of any size (or texts), so the option has the neutral choice.
bool ReplacesItsOwnBlock(const InsertRow& row) { return std::string(row.anchors) == std::string(row.keyword) + " "; }

std::string NumberAt(SettingsView settings, const InsertRow& row) {
    const SettingField* field = FindSettingsFieldAt(row.offset);
    switch (row.kind) {
        case InsertKind::Int16:
        case InsertKind::Int32: return field != nullptr ? std::to_string(ReadFieldValue(settings, *field)) : "";
        case InsertKind::Text:
        case InsertKind::PageList: break;
    }
    return std::string();
}

// The most bytes a text rule puts into a value (see ValueRule).
constexpr int32_t kFontValueBytes = 63;
constexpr int32_t kHexValueBytes = 259;

// Named choices keep the tables' order and come first; numbers follow from
// the lowest up, so "-3" to "3" read as a scale.
void SortChoices(std::vector<PpdChoice>& choices) {
    std::stable_sort(choices.begin(), choices.end(), [](const PpdChoice& a, const PpdChoice& b) {
        const bool aNumber = IsInteger(a.name);
        const bool bNumber = IsInteger(b.name);
        if (aNumber != bNumber) return bNumber;
        return aNumber && std::stol(a.name) < std::stol(b.name);
    });
}

// Whole points inside a range of hundredths of a millimetre.
constexpr long PointsAtLeast(int32_t hundredths) { return (static_cast<long>(hundredths) * 72 + 2539) / 2540; }
constexpr long PointsAtMost(int32_t hundredths) { return static_cast<long>(hundredths) * 72 / 2540; }

// The settings rows that bound a custom page size.
constexpr const SettingRow* kPageWidthRow = FindSettingRow("ZTPageSizeWidth");
constexpr const SettingRow* kPageHeightRow = FindSettingRow("ZTPageSizeHeight");
static_assert(kPageWidthRow->rule == SettingRule::Clamp, "the page width is one range");
static_assert(kPageHeightRow->rule == SettingRule::Clamp, "the page height is one range");

static_assert(PointsAtMost(kPageWidthRow->ranges[0].low) >= kCustomPagePoints.minWidth &&
                  PointsAtMost(kPageWidthRow->ranges[0].high) <= kCustomPagePoints.maxWidth &&
                  PointsAtLeast(kPageHeightRow->ranges[0].low) >= kCustomPagePoints.minLength &&
                  PointsAtMost(kPageHeightRow->ranges[0].high) <= kCustomPagePoints.maxLength,
              "every page size the settings allow is one the description offers");

// A paper size in PostScript points, from tenths of a millimetre.
long Points(int32_t tenths) { return (static_cast<long>(tenths) * 72 + 127) / 254; }

}  // namespace

PackageTables PluginTables() {
    return PackageTables{kReplaceGroups,  kReplaceGroupCount, kInsertTable,
                         kInsertRowCount, kPaperTable,        kPaperRowCount};
}

std::string KeywordLabel(const std::string& keyword) {
    const std::string name = keyword.compare(0, 2, "ZT") == 0 ? keyword.substr(2) : keyword;
    std::string label;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (i > 0) {
            const char before = name[i - 1];
            const bool upper = c >= 'A' && c <= 'Z';
            const bool digit = IsDigit(c);
            const bool lowerBefore = before >= 'a' && before <= 'z';
            const bool upperBefore = before >= 'A' && before <= 'Z';
            const bool lowerAfter = i + 1 < name.size() && name[i + 1] >= 'a' && name[i + 1] <= 'z';
            // "DuplexMixed", "Select1" and the end of an abbreviation ("GCCyan");
            // a paper name ("A4") stays whole.
            if ((upper && lowerBefore) || (digit && lowerBefore) || (upper && upperBefore && lowerAfter)) {
                label += ' ';
            }
        }
        label += c;
    }
    return label;
}

std::string ChoiceText(const std::string& option, const std::string& choice) {
    if (choice == kNeutralChoice) return kNeutralChoiceText;
    std::string digits;
    if (const char* text = VocabularyText(option, choice, digits)) {
        std::string result(text);
        const size_t hash = result.find('#');
        if (hash != std::string::npos) result.replace(hash, 1, digits);
        return result;
    }
    if (IsInteger(choice)) {
        const Presentation* row = PresentationOf(option);
        return row != nullptr && row->unit != nullptr ? choice + row->unit : choice;
    }
    return KeywordLabel(choice);
}

std::vector<PpdOption> CollectOptions(const PackageTables& tables, SettingsView defaults) {
    std::vector<PpdOption> options;
    std::string value;
    const auto start = [&options](const std::string& keyword, PpdValueKind kind) {
        const Presentation* row = PresentationOf(keyword);
        options.push_back(PpdOption{keyword,
                                    PpdSection::DocumentSetup,
                                    std::string(),
                                    {},
                                    row != nullptr ? row->text : std::string(),
                                    row != nullptr ? row->group : PpdGroup::PaperAndTrays,
                                    static_cast<int>(options.size()),
                                    kind,
                                    0,
                                    0});
        return &options.back();
    };
    for (size_t g = 0; g < tables.groupCount; ++g) {
        const ReplaceGroup& group = tables.groups[g];
        for (size_t i = 0; i < group.count; ++i) {
            const ReplaceRow& row = group.rows[i];
            const bool filled = FillReplaceValue(row, defaults, value);
            const std::vector<std::string> texts = ReplaceValueTexts(row);
            PpdOption& option = *start(row.keyword, texts.empty() ? PpdValueKind::Text : PpdValueKind::Closed);
            for (const std::string& text : texts) {
                option.choices.push_back(Choice(option.keyword, text, InvocationValue(row.invocation, text)));
            }
            if (option.choices.empty()) {
                // A text the user types (a font, a form name): the plug-in puts
                // it in, so the driver only needs a block to be there.
                option.choices.push_back(
                    Choice(option.keyword, kNeutralChoice, InvocationValue(row.invocation, filled ? value : "")));
                option.defaultChoice = kNeutralChoice;
                option.high = row.rule == ValueRule::Font ? kFontValueBytes : kHexValueBytes;
            } else {
                option.defaultChoice = value;
                SortChoices(option.choices);
            }
        }
    }
    for (size_t i = 0; i < tables.insertCount; ++i) {
        const InsertRow& row = tables.inserts[i];
        if (ReplacesItsOwnBlock(row)) {
            PpdOption& option = *start(row.keyword, PpdValueKind::Number);
            option.defaultChoice = kNeutralChoice;
            option.choices.push_back(Choice(option.keyword, kNeutralChoice, NumberAt(defaults, row)));
            if (const SettingRow* setting = FindSettingRow(row.keyword)) {
                option.low = setting->ranges[0].low;
                option.high = setting->ranges[setting->rangeCount - 1].high;
            }
        } else if (row.customSizeStandIn) {
            // The page-size anchor: the driver's block names the paper, and the
            // plug-in puts the page size numbers of its settings behind it.
            PpdOption& option = *start(std::string(row.anchors, std::strlen(row.anchors) - 1), PpdValueKind::Closed);
            const int32_t paper = ReadFieldValue(defaults, kSettingPaperNumber);
            for (size_t p = 0; p < tables.paperCount; ++p) {
                const PaperRow& size = tables.papers[p];
                option.choices.push_back(Choice(option.keyword, size.keyword, size.keyword));
                if (size.number == paper && option.defaultChoice.empty()) option.defaultChoice = size.keyword;
            }
            if (option.defaultChoice.empty() && !option.choices.empty()) option.defaultChoice = option.choices[0].name;
        }
    }
    return options;
}

std::string CheckOptions(const std::vector<PpdOption>& options) {
    for (const PpdOption& option : options) {
        std::string fault = CheckKeyword(option.keyword, "option keyword");
        if (!fault.empty()) return fault;
        fault = CheckText(option.text, "option " + option.keyword);
        if (!fault.empty()) return fault;
        if (option.choices.empty()) return "option " + option.keyword + " has no choice";
        bool defaultFound = false;
        for (const PpdChoice& choice : option.choices) {
            fault = CheckKeyword(choice.name, "choice");
            if (!fault.empty()) return "option " + option.keyword + ": " + fault;
            fault = CheckText(choice.text, "option " + option.keyword + ", choice " + choice.name);
            if (!fault.empty()) return fault;
            for (const char c : choice.invocationValue) {
                const unsigned char byte = static_cast<unsigned char>(c);
                if (byte < 0x20 || byte >= 0x7F || c == '"') {
                    return "option " + option.keyword + ", choice " + choice.name +
                           ": the invocation value holds a byte a printer description string cannot carry";
                }
            }
            defaultFound = defaultFound || choice.name == option.defaultChoice;
        }
        if (!defaultFound) {
            return "option " + option.keyword + ": the default \"" + option.defaultChoice + "\" is none of its choices";
        }
    }
    return std::string();
}

PpdModel BuildPpdModel(const PackageTables& tables, int resolutionDpi, std::string& error) {
    error.clear();
    PpdModel model{};
    std::vector<uint8_t> block(kSettingsBlockBytes, 0);
    SetDefaultSettings(SettingsSpan{block.data(), block.size()});
    const SettingsView defaults{block.data(), block.size()};
    for (size_t g = 0; g < kPpdGroupCount; ++g) {
        if (std::strlen(kPpdGroupTable[g].text) > kMaxPpdGroupTextBytes) {
            error = std::string("group ") + kPpdGroupTable[g].keyword + ": the display text has more than " +
                    std::to_string(kMaxPpdGroupTextBytes) + " characters";
            return PpdModel{};
        }
    }
    std::vector<PpdOption> options = CollectOptions(tables, defaults);
    error = CheckOptions(options);
    if (error.empty() && tables.paperCount == 0) error = "the paper table is empty";
    const int32_t defaultPaper = ReadFieldValue(defaults, kSettingPaperNumber);
    for (size_t p = 0; p < tables.paperCount && error.empty(); ++p) {
        const PaperRow& row = tables.papers[p];
        error = CheckKeyword(row.keyword, "paper keyword");
        PpdPaper paper{row.keyword, ChoiceText("PageSize", row.keyword), Points(row.width), Points(row.length)};
        if (error.empty()) error = CheckText(paper.text, std::string("paper ") + row.keyword);
        if (row.number == defaultPaper && model.defaultPaper.empty()) model.defaultPaper = row.keyword;
        model.papers.push_back(std::move(paper));
    }
    if (!error.empty()) return PpdModel{};
    if (model.defaultPaper.empty()) model.defaultPaper = model.papers[0].keyword;
    model.options = std::move(options);

    // The range is what the plug-in hands the driver for a custom size, so the
    // driver never refuses a size the plug-in's own settings allow.
    model.customSize = PpdCustomSize{kCustomPagePoints.minWidth, kCustomPagePoints.maxWidth,
                                     kCustomPagePoints.minLength, kCustomPagePoints.maxLength};
    model.resolutionDpi = resolutionDpi;
    return model;
}
