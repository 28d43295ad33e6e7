#include "settings/private_part.h"

#include <cstring>
#include <initializer_list>

namespace {

constexpr SettingRow Values(const char* name, uint16_t offset, uint16_t bytes, SettingKind kind, int32_t defaultValue,
                            int32_t invalidValue, std::initializer_list<ValueRange> ranges) {
    SettingRow row{name, offset, bytes, kind, SettingRule::Values, defaultValue, invalidValue, 0, {}};
    for (const ValueRange& range : ranges) row.ranges[row.rangeCount++] = range;
    return row;
}

constexpr SettingRow Clamp(const char* name, uint16_t offset, uint16_t bytes, int32_t defaultValue, int32_t low,
                           int32_t high) {
    return SettingRow{name, offset, bytes, SettingKind::Signed, SettingRule::Clamp, defaultValue, 0, 1, {{low, high}}};
}

constexpr SettingRow Text16(const char* name, uint16_t offset, uint16_t bytes) {
    return SettingRow{name, offset, bytes, SettingKind::Text16, SettingRule::Text, 0, 0, 0, {}};
}

constexpr SettingRow Text8(const char* name, uint16_t offset, uint16_t bytes) {
    return SettingRow{name, offset, bytes, SettingKind::Text8, SettingRule::Text, 0, 0, 0, {}};
}

// The staple mode's valid values depend on the binding; see SettingValueValid.
constexpr SettingRow Staple(const char* name, uint16_t offset) {
    return SettingRow{name, offset, 1, SettingKind::Signed, SettingRule::Staple, 0, 0, 0, {}};
}

}  // namespace

// Fields without a printer feature of their own carry descriptive names. The
// "...Inch" fields follow a metric distance; their ranges are those of the same
// distance in hundredths of an inch. constexpr: the table is complete before
// any code runs, and a row with too many ranges does not compile.
constexpr SettingRow SettingTable[kSettingRowCount] = {
    Values("ZTDuplex", 372, 2, SettingKind::Signed, 1, 1, {{1, 3}}),
    Values("ZTDuplexMixedPage", 374, 2, SettingKind::Signed, 5, 5, {{4, 5}}),
    Values("PaperNumber", 376, 2, SettingKind::Signed, 9, 9, {{1, 262}}),
    Values("ZTOrientation", 378, 2, SettingKind::Signed, 1, 1, {{1, 2}}),
    Values("ZTMixedPageSize", 382, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTDuplexSmallPages", 383, 1, SettingKind::Signed, 2, 2, {{2, 3}}),
    Values("ZTDuplexBigPages", 384, 1, SettingKind::Signed, 3, 3, {{2, 3}}),
    Values("ZTRotateBigPages", 385, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTManualZoom", 386, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Clamp("ZTZoomRate", 388, 2, 100, 50, 200),
    Values("OutputPaper", 390, 2, SettingKind::Signed, 0, 0, {{0, 262}}),
    Values("ZTInputSlot", 392, 2, SettingKind::Signed, 7, 7, {{7, 7}, {257, 260}}),
    Values("ZTMediaType", 396, 4, SettingKind::Unsigned, 257, 257, {{257, 264}, {267, 267}}),
    Values("ZTMultiUp", 400, 1, SettingKind::Signed, 0, 0, {{0, 0}, {21, 22}, {41, 44}, {81, 83}, {88, 88}}),
    Values("ZTMultiUpSinglePage", 401, 1, SettingKind::Signed, 0, 0, {{0, 0}, {2, 2}, {4, 4}, {8, 8}}),
    Values("ZTBooklet", 402, 1, SettingKind::Signed, 0, 0, {{0, 3}}),
    Values("ZTHeaderFooterPrint", 814, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTPageNumPrint", 815, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTPageNumTransparent", 816, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Clamp("ZTPageNumStartNum", 818, 2, 1, 1, 9999),
    Clamp("ZTPageNumStartPage", 820, 2, 1, 1, 9999),
    Values("ZTPageNumPosition", 822, 1, SettingKind::Signed, 6, 6, {{1, 3}, {5, 7}}),
    Text16("ZTStampPageFont", 824, 128),
    Clamp("ZTStampPageSize", 954, 2, 8, 8, 32),
    Values("ZTDatePrint", 956, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTDateTransparent", 957, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTDateTargetPage", 958, 1, SettingKind::Signed, 1, 1, {{0, 1}}),
    Values("ZTDateSpecify", 959, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Text16("ZTDateInfo", 960, 48),
    Values("ZTDatePosition", 1008, 1, SettingKind::Signed, 3, 3, {{1, 3}, {5, 7}}),
    Text16("ZTStampDateFont", 1010, 128),
    Clamp("ZTStampDateSize", 1140, 2, 8, 8, 32),
    Values("ZTRotate", 1142, 1, SettingKind::Signed, 0, 0, {{0, 0}, {2, 2}, {4, 4}, {6, 6}, {8, 8}}),
    Values("ZTBinding", 1144, 1, SettingKind::Signed, 0, 0, {{0, 2}}),
    Values("ZTGutter", 1145, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Clamp("ZTGutterDistance", 1146, 2, 0, 0, 5000),
    Clamp("GutterDistanceInch", 1148, 2, 0, 0, 200),
    Values("ZTGutterAutoReducing", 1150, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTReverseOrder", 1151, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Clamp("ZTPageSizeWidth", 1156, 4, 21000, 9000, 34000),
    Clamp("ZTPageSizeHeight", 1160, 4, 29700, 14800, 55000),
    Clamp("ZTTargetPaperSizeWidth", 1172, 4, 21000, 9000, 34000),
    Clamp("ZTTargetPaperSizeHeight", 1176, 4, 29700, 14800, 55000),
    Values("ZTOutputMode", 1223, 1, SettingKind::Signed, 0, 0, {{0, 6}}),
    Clamp("CopyCount", 1224, 2, 1, 1, 9999),
    Values("ZTWaitAfterProof", 1226, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTPrintDensity", 1227, 1, SettingKind::Signed, 0, 0, {{0, 3}, {11, 13}}),
    Values("ZTCollate", 1228, 1, SettingKind::Signed, 2, 2, {{1, 2}}),
    Values("ZTPageTray", 1229, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Text8("PageTrayStandard", 1230, 500),
    Text8("PageTrayTray1", 1730, 500),
    Text8("PageTrayTray2", 2230, 500),
    Values("ZTOutputMethod", 3230, 1, SettingKind::Signed, 0, 0, {{0, 2}, {5, 5}}),
    Values("ZTOutputBox", 3231, 1, SettingKind::Unsigned, 1, 1, {{0, 100}}),
    Values("ZTImageShift", 3746, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Clamp("ZTImageShiftFrontV", 3748, 2, 0, -25400, 25400),
    Clamp("ImageShiftFrontVInch", 3750, 2, 0, -1000, 1000),
    Clamp("ZTImageShiftFrontH", 3752, 2, 0, -25400, 25400),
    Clamp("ImageShiftFrontHInch", 3754, 2, 0, -1000, 1000),
    Clamp("ZTImageShiftBackV", 3756, 2, 0, -25400, 25400),
    Clamp("ImageShiftBackVInch", 3758, 2, 0, -1000, 1000),
    Clamp("ZTImageShiftBackH", 3760, 2, 0, -25400, 25400),
    Clamp("ImageShiftBackHInch", 3762, 2, 0, -1000, 1000),
    Staple("ZTStapleMode", 3764),
    Values("ZTPunchMode", 3766, 1, SettingKind::Signed, 0, 0, {{0, 3}}),
    Values("ZTFoldMode", 3767, 1, SettingKind::Signed, 0, 0, {{0, 4}}),
    Values("ZTFoldInnerOuter", 3768, 1, SettingKind::Signed, 1, 1, {{1, 2}}),
    Values("ZTFoldBinding", 3769, 1, SettingKind::Signed, 1, 1, {{1, 2}}),
    Values("ZTBookletBinding", 3770, 1, SettingKind::Signed, 0, 0, {{0, 2}}),
    Values("ZTBookletSplitting", 3771, 1, SettingKind::Signed, 0, 0, {{-1, 20}}),
    Values("ZTBookletGutter", 3774, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Clamp("ZTBookletGutterDistance", 3776, 2, 0, 0, 5000),
    Clamp("BookletGutterDistanceInch", 3778, 2, 0, 0, 200),
    Values("ZTBookletGutterAutoReducing", 3780, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTBookletCover", 3781, 1, SettingKind::Signed, 0, 0, {{0, 2}}),
    Values("ZTWaitingExceptCover", 3782, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTBookletCoverSheetTray", 3784, 2, SettingKind::Signed, 257, 257, {{257, 260}}),
    Values("ZTJog", 3786, 1, SettingKind::Signed, 0, 0, {{0, 2}}),
    Values("ZTJobSepSheet", 3787, 1, SettingKind::Signed, 0, 0, {{0, 2}}),
    Values("ZTJobSepSheetTray", 3788, 2, SettingKind::Signed, 257, 257, {{257, 260}}),
    Values("ZTJobSepSheetText", 3790, 1, SettingKind::Signed, 0, 0, {{0, 2}}),
    Values("ZTCoverSheet", 3791, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTFrontCoverSheet", 3792, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTFrontCoverSheetTray", 3794, 2, SettingKind::Signed, 257, 257, {{257, 260}}),
    Values("ZTBackCoverSheet", 3796, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTBackCoverSheetTray", 3798, 2, SettingKind::Signed, 257, 257, {{257, 260}}),
    Values("ZTOutputTray", 3800, 1, SettingKind::Signed, 0, 0, {{0, 3}, {6, 7}}),
    Values("ZTOutputFace", 3801, 1, SettingKind::Signed, 2, 2, {{1, 2}}),
    Values("ZTContinuousOutput", 3802, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTDitherType", 3824, 1, SettingKind::Signed, 1, 1, {{1, 2}}),
    Values("ZTImageQuality", 3825, 1, SettingKind::Signed, 1, 1, {{1, 4}}),
    Values("ZTLineSmoothing", 3826, 1, SettingKind::Signed, 0, 0, {{0, 2}}),
    Values("ZTScreening", 3827, 1, SettingKind::Signed, 1, 1, {{1, 3}}),
    Values("ZTGammaAdjustment", 3828, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTGCBrightness", 3842, 2, SettingKind::Signed, 0, 0, {{0, 2}, {11, 12}}),
    Values("ZTGCContrast", 3844, 2, SettingKind::Signed, 0, 0, {{0, 2}, {11, 12}}),
    Clamp("ZTGCCyan", 3846, 2, 1, 1, 300),
    Clamp("ZTGCMagenta", 3848, 2, 1, 1, 300),
    Clamp("ZTGCYellow", 3850, 2, 1, 1, 300),
    Clamp("ZTGCBlack", 3852, 2, 1, 1, 300),
    Clamp("ZTGCRed", 3856, 2, 1, 1, 300),
    Values("ZTColorProfile", 3858, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Text16("ZTOutputProfileSelection", 3860, 512),
    Values("ZTRenderingIntent", 4372, 1, SettingKind::Signed, 3, 3, {{1, 4}}),
    Values("ZTMaxDrops", 4374, 2, SettingKind::Signed, 0, 0, {{0, 11}}),
    Values("ZTBarcodeArea", 4376, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Text16("ZTBarcodeSelection", 4380, 512),
    Values("ZTBarcodeProof", 4892, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTBarcodeDensity", 4894, 2, SettingKind::Signed, 0, 0, {{0, 3}, {11, 13}}),
    Values("ZTEnvelopeImageProcessing", 4902, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTSecretNum", 4903, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Text16("ZTSecretNumInfo", 4904, 18),
    Values("ZTHideJob", 4922, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTPrintSpeed", 4923, 1, SettingKind::Signed, 0, 0, {{0, 0}, {11, 11}}),
    Text16("ZTJobComment", 5174, 258),
    Values("ZTJobName", 5432, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Text16("ZTJobNameInfo", 5434, 512),
    Values("ZTForm", 5946, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Values("ZTFormPattern", 5947, 1, SettingKind::Signed, 1, 1, {{1, 5}}),
    Values("ZTFormSurface", 5948, 1, SettingKind::Signed, 2, 2, {{1, 2}}),
    Values("ZTFormSeparate", 5949, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Text16("ZTFormSelect1", 5952, 512),
    Text16("ZTFormSelect2", 6464, 512),
    Values("ZTPriorityLayer", 6976, 1, SettingKind::Signed, 1, 1, {{1, 3}}),
    Values("ZTOwnerName", 6977, 1, SettingKind::Signed, 0, 0, {{0, 1}}),
    Text16("ZTOwnerNameInfo", 6978, 42),
    Text8("PageTrayExternalFeeder", 8584, 500),
};

const SettingRow* FindSettingRow(const char* name) {
    if (name == nullptr) return nullptr;
    for (const SettingRow& row : SettingTable) {
        if (std::strcmp(row.name, name) == 0) return &row;
    }
    return nullptr;
}

const SettingRow* FindSettingRowAt(size_t offset) {
    for (const SettingRow& row : SettingTable) {
        if (row.offset == offset) return &row;
    }
    return nullptr;
}

namespace {

FieldSign SignOf(const SettingRow& row) {
    return row.kind == SettingKind::Unsigned ? FieldSign::Unsigned : FieldSign::Signed;
}

bool InRanges(const SettingRow& row, int64_t value) {
    for (uint8_t i = 0; i < row.rangeCount && i < kMaxValueRanges; ++i) {
        if (value >= row.ranges[i].low && value <= row.ranges[i].high) return true;
    }
    return false;
}

bool IsText(const SettingRow& row) { return row.kind == SettingKind::Text16 || row.kind == SettingKind::Text8; }

// A text field is valid when a zero unit (two zero bytes on a unit boundary, or
// one zero byte for an 8-bit text) lies within its capacity.
bool TextTerminated(SettingsView view, const SettingRow& row) {
    const BYTE* field = view.data + row.offset;
    if (row.kind == SettingKind::Text8) return std::memchr(field, 0, row.bytes) != nullptr;
    for (size_t i = 0; i + 1 < row.bytes; i += 2) {
        if (field[i] == 0 && field[i + 1] == 0) return true;
    }
    return false;
}

void ApplyRule(SettingsSpan settings, const SettingRow& row, int64_t binding) {
    if (!FieldInside(AsView(settings), row.offset, row.bytes)) return;
    if (IsText(row)) {
        if (!TextTerminated(AsView(settings), row)) std::memset(settings.data + row.offset, 0, row.bytes);
        return;
    }
    const int64_t value = ReadSettingNumber(AsView(settings), row.offset, row.bytes, SignOf(row));
    if (row.rule == SettingRule::Clamp) {
        const ValueRange& range = row.ranges[0];
        if (value < range.low) WriteSettingNumber(settings, row.offset, row.bytes, range.low);
        if (value > range.high) WriteSettingNumber(settings, row.offset, row.bytes, range.high);
        return;
    }
    if (!SettingValueValid(row, value, binding)) WriteSettingNumber(settings, row.offset, row.bytes, row.invalidValue);
}

}  // namespace

bool SettingValueValid(const SettingRow& row, int64_t value, int64_t binding) {
    switch (row.rule) {
        case SettingRule::Values:
        case SettingRule::Clamp:
            return InRanges(row, value);
        case SettingRule::Staple:
            if (value == 0) return true;
            if (binding == 0 || binding == 1) return value == 10 || value == 20;
            if (binding == 2) return value == 11 || value == 12 || value == 20;
            return false;
        case SettingRule::Text:
            break;
    }
    return false;
}

void SetDefaultSettings(SettingsSpan settings) {
    for (const SettingRow& row : SettingTable) {
        if (!FieldInside(AsView(settings), row.offset, row.bytes)) continue;
        if (IsText(row)) {
            std::memset(settings.data + row.offset, 0, row.bytes);
        } else {
            WriteSettingNumber(settings, row.offset, row.bytes, row.defaultValue);
        }
    }
}

void ValidateSettings(SettingsSpan settings) {
    for (const SettingRow& row : SettingTable) {
        if (row.rule != SettingRule::Staple) ApplyRule(settings, row, 0);
    }
    // The staple mode depends on the binding, so it is judged against the
    // binding as validated above.
    const int64_t binding = ReadSettingS8(AsView(settings), kBindingOffset);
    for (const SettingRow& row : SettingTable) {
        if (row.rule == SettingRule::Staple) ApplyRule(settings, row, binding);
    }
}

// ---------------------------------------------------------------------------

PrivatePartHeader ReadPrivatePartHeader(const void* part) {
    PrivatePartHeader header{};
    if (part != nullptr) std::memcpy(&header, part, sizeof(header));
    return header;
}

void WritePrivatePartHeader(void* part) {
    if (part == nullptr) return;
    const PrivatePartHeader header{kPrivatePartBytes, kPrivatePartSignature, kPrivatePartVersion};
    std::memcpy(part, &header, sizeof(header));
}

size_t DeclaredPrivatePartBytes(const void* part) {
    if (part == nullptr) return 0;
    DWORD size = 0;
    std::memcpy(&size, part, sizeof(size));
    if (size < kPrivatePartHeaderBytes) return 0;
    return size < kPrivatePartBytes ? size : kPrivatePartBytes;
}

SettingsView PrivatePartSettings(const void* part) {
    const size_t declared = DeclaredPrivatePartBytes(part);
    if (declared == 0) return SettingsView{nullptr, 0};
    return SettingsView{static_cast<const BYTE*>(part) + kPrivatePartHeaderBytes, declared - kPrivatePartHeaderBytes};
}

SettingsSpan PrivatePartSettings(void* part) {
    const size_t declared = DeclaredPrivatePartBytes(part);
    if (declared == 0) return SettingsSpan{nullptr, 0};
    return SettingsSpan{static_cast<BYTE*>(part) + kPrivatePartHeaderBytes, declared - kPrivatePartHeaderBytes};
}

SettingsSpan PrivatePartSettings(void* part, size_t capacity) {
    if (part == nullptr || capacity < kPrivatePartHeaderBytes) return SettingsSpan{nullptr, 0};
    if (capacity > kPrivatePartBytes) capacity = kPrivatePartBytes;
    return SettingsSpan{static_cast<BYTE*>(part) + kPrivatePartHeaderBytes, capacity - kPrivatePartHeaderBytes};
}

bool ConvertPrivatePart(const void* in, void* out, size_t outCapacity) {
    if (in == nullptr || out == nullptr || outCapacity < kPrivatePartBytes) return false;
    const SettingsSpan outSettings = PrivatePartSettings(out, kPrivatePartBytes);

    // An input that declares less than its own header is forged or broken: its
    // signature is not read, and it counts as a part of another plug-in.
    const size_t inBytes = DeclaredPrivatePartBytes(in);
    const PrivatePartHeader outHeader = ReadPrivatePartHeader(out);
    const bool sameSignature = inBytes != 0 && ReadPrivatePartHeader(in).dwSignature == outHeader.dwSignature;
    if (!sameSignature) {
        WritePrivatePartHeader(out);
        SetDefaultSettings(outSettings);
        return true;
    }

    // min(in dwSize, out dwSize), both at most 12016. The bytes are taken aside
    // first so that an input that is the output (or overlaps it) is not
    // overwritten by the defaults before it is copied.
    size_t count = inBytes;
    if (outHeader.dwSize < count) count = outHeader.dwSize;
    BYTE saved[kPrivatePartBytes];
    std::memcpy(saved, in, count);
    SetDefaultSettings(outSettings);
    std::memcpy(out, saved, count);
    PrivatePartHeader header = ReadPrivatePartHeader(out);
    header.dwSize = kPrivatePartBytes;
    header.dwVersion = kPrivatePartVersion;
    std::memcpy(out, &header, sizeof(header));
    return true;
}

bool ValidatePrivatePart(void* out, size_t outCapacity) {
    if (out == nullptr || outCapacity < kPrivatePartBytes) return false;
    WritePrivatePartHeader(out);
    ValidateSettings(PrivatePartSettings(out, kPrivatePartBytes));
    return true;
}

namespace {

HRESULT Refuse(DWORD error) {
    SetLastError(error);
    return E_FAIL;
}

// The header and the defaults, into an output the caller has checked.
void WriteDefaultPrivatePart(void* out) {
    WritePrivatePartHeader(out);
    SetDefaultSettings(PrivatePartSettings(out, kPrivatePartBytes));
}

}  // namespace

HRESULT ProcessPrivatePart(DWORD dwMode, POEMDMPARAM pOemDMParam) {
    if (pOemDMParam == nullptr) return Refuse(ERROR_INVALID_PARAMETER);
    switch (dwMode) {
        case OEMDM_SIZE:
            pOemDMParam->cbBufSize = kPrivatePartBytes;
            return S_OK;
        case OEMDM_DEFAULT:
            // Defaults cannot be handed back without somewhere to put them; the
            // caller then skips everything that would read them.
            if (pOemDMParam->pOEMDMOut == nullptr) return Refuse(ERROR_INVALID_PARAMETER);
            if (pOemDMParam->cbBufSize < kPrivatePartBytes) return Refuse(ERROR_INSUFFICIENT_BUFFER);
            WriteDefaultPrivatePart(pOemDMParam->pOEMDMOut);
            return S_OK;
        case OEMDM_CONVERT:
        case OEMDM_MERGE: {
            // Without an output there is nothing to write and no error. With one
            // the output is always written (and later the sibling's conversion
            // lands in it), so too small a buffer is an error whatever the input.
            void* const out = pOemDMParam->pOEMDMOut;
            const void* const in = pOemDMParam->pOEMDMIn;
            if (out == nullptr) return S_OK;
            if (pOemDMParam->cbBufSize < kPrivatePartBytes) return Refuse(ERROR_INSUFFICIENT_BUFFER);
            if (in != nullptr) {
                ConvertPrivatePart(in, out, pOemDMParam->cbBufSize);
            } else if (dwMode == OEMDM_CONVERT) {
                // Nothing to convert from: the defaults, as for an input of
                // another plug-in, never whatever the buffer held before.
                WriteDefaultPrivatePart(out);
            }
            // A merge without an input still brings the output it was given into shape.
            if (dwMode == OEMDM_MERGE) ValidatePrivatePart(out, pOemDMParam->cbBufSize);
            return S_OK;
        }
        default:
            return Refuse(ERROR_INVALID_PARAMETER);
    }
}

// ---------------------------------------------------------------------------

WString DecodePageList(const BYTE* field, size_t size) {
    WString text;
    if (field == nullptr) return text;
    if (size > kPageListBytes) size = kPageListBytes;
    static const char kSymbols[16] = {0, '1', '2', '3', '4', '5', '6', '7', '8', '9', ',', '-', 0, 0, 0, '0'};
    for (size_t i = 0; i < size * 2; ++i) {
        const BYTE byte = field[i / 2];
        const unsigned code = (i % 2 == 0) ? (byte & 0x0F) : (byte >> 4);
        if (kSymbols[code] == 0) break;
        text.push_back(static_cast<WCHAR>(kSymbols[code]));
    }
    return text;
}

WString DecodePageList(SettingsView view, size_t offset) {
    if (view.data == nullptr || offset >= view.size) return WString();
    return DecodePageList(view.data + offset, view.size - offset);
}
