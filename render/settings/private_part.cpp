#include "settings/private_part.h"

#include "common/result_macros.h"

#include <cstring>

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
    if (row.IsText()) {
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
        case SettingRule::Clamp: return InRanges(row, value);
        case SettingRule::Staple:
            if (value == 0) return true;
            if (binding == 0 || binding == 1) return value == 10 || value == 20;
            if (binding == 2) return value == 11 || value == 12 || value == 20;
            return false;
        case SettingRule::Text: break;
    }
    return false;
}

void SetDefaultSettings(SettingsSpan settings) {
    for (const SettingRow& row : kSettingTable) {
        if (!FieldInside(AsView(settings), row.offset, row.bytes)) continue;
        if (row.IsText()) {
            std::memset(settings.data + row.offset, 0, row.bytes);
        } else {
            WriteSettingNumber(settings, row.offset, row.bytes, row.defaultValue);
        }
    }
}

void ValidateSettings(SettingsSpan settings) {
    for (const SettingRow& row : kSettingTable) {
        if (row.rule != SettingRule::Staple) ApplyRule(settings, row, 0);
    }
    // The staple mode depends on the binding, so it is judged against the
    // binding as validated above.
    const int64_t binding = ReadSettingS8(AsView(settings), kSettingBinding.offset);
    for (const SettingRow& row : kSettingTable) {
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

// The header and the defaults, into an output the caller has checked.
void WriteDefaultPrivatePart(void* out) {
    WritePrivatePartHeader(out);
    SetDefaultSettings(PrivatePartSettings(out, kPrivatePartBytes));
}

}  // namespace

HRESULT ProcessPrivatePart(DWORD dwMode, POEMDMPARAM pOemDMParam) noexcept {
    RETURN_HR_IF_SET_ERROR(E_FAIL, ERROR_INVALID_PARAMETER, pOemDMParam == nullptr);
    switch (dwMode) {
        case OEMDM_SIZE: pOemDMParam->cbBufSize = kPrivatePartBytes; return S_OK;
        case OEMDM_DEFAULT:
            // Defaults cannot be handed back without somewhere to put them; the
            // caller then skips everything that would read them.
            RETURN_HR_IF_SET_ERROR(E_FAIL, ERROR_INVALID_PARAMETER, pOemDMParam->pOEMDMOut == nullptr);
            RETURN_HR_IF_SET_ERROR(E_FAIL, ERROR_INSUFFICIENT_BUFFER, pOemDMParam->cbBufSize < kPrivatePartBytes);
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
            RETURN_HR_IF_SET_ERROR(E_FAIL, ERROR_INSUFFICIENT_BUFFER, pOemDMParam->cbBufSize < kPrivatePartBytes);
            if (in != nullptr) {
                ConvertPrivatePart(in, out, pOemDMParam->cbBufSize);
            } else if (dwMode == OEMDM_CONVERT) {
                // Nothing to convert from: the defaults, as for an input of
                // another plug-in, never whatever the buffer held before.
                WriteDefaultPrivatePart(out);
            }
            // Whatever the input held (values out of range, a header that is
            // not the plug-in's but matches the output's), the output leaves
            // with the plug-in's header and valid values; a merge without an
            // input still brings the output it was given into shape.
            ValidatePrivatePart(out, pOemDMParam->cbBufSize);
            return S_OK;
        }
        default: break;
    }
    SetLastError(ERROR_INVALID_PARAMETER);  // a mode the driver does not send
    RETURN_HR(E_FAIL);
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
