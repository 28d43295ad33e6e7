#include "core/private_part.h"

#include "core/core_failure.h"

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
    const uint8_t* field = view.data + row.offset;
    if (row.kind == SettingKind::Text8) return std::memchr(field, 0, row.bytes) != nullptr;
    for (size_t i = 0; i + 1 < row.bytes; i += 2) {
        if (field[i] == 0 && field[i + 1] == 0) return true;
    }
    return false;
}

void Note(SettingCorrections* corrections, const SettingRow& row, int64_t before, int64_t after) {
    if (corrections != nullptr && corrections->count < kSettingRowCount) {
        corrections->items[corrections->count++] = SettingCorrection{&row, before, after};
    }
}

void Correct(SettingsSpan settings, const SettingRow& row, int64_t before, int64_t after,
             SettingCorrections* corrections) {
    WriteSettingNumber(settings, row.offset, row.bytes, after);
    // What the field holds now: a replacement wider than the field reads back cut.
    Note(corrections, row, before, ReadSettingNumber(AsView(settings), row.offset, row.bytes, SignOf(row)));
}

void ApplyRule(SettingsSpan settings, const SettingRow& row, int64_t binding, SettingCorrections* corrections) {
    if (!FieldInside(AsView(settings), row.offset, row.bytes)) return;
    if (row.IsText()) {
        if (!TextTerminated(AsView(settings), row)) {
            std::memset(settings.data + row.offset, 0, row.bytes);
            Note(corrections, row, 0, 0);
        }
        return;
    }
    const int64_t value = ReadSettingNumber(AsView(settings), row.offset, row.bytes, SignOf(row));
    if (row.rule == SettingRule::Clamp) {
        const ValueRange& range = row.ranges[0];
        if (value < range.low) Correct(settings, row, value, range.low, corrections);
        if (value > range.high) Correct(settings, row, value, range.high, corrections);
        return;
    }
    if (!SettingValueValid(row, value, binding)) Correct(settings, row, value, row.invalidValue, corrections);
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

void ValidateSettings(SettingsSpan settings, SettingCorrections* corrections) {
    if (corrections != nullptr) corrections->count = 0;
    for (const SettingRow& row : kSettingTable) {
        if (row.rule != SettingRule::Staple) ApplyRule(settings, row, 0, corrections);
    }
    // The staple mode depends on the binding, so it is judged against the
    // binding as validated above.
    const int64_t binding = ReadField(AsView(settings), kSettingBinding);
    for (const SettingRow& row : kSettingTable) {
        if (row.rule == SettingRule::Staple) ApplyRule(settings, row, binding, corrections);
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
    uint32_t size = 0;
    std::memcpy(&size, part, sizeof(size));
    if (size < kPrivatePartHeaderBytes) return 0;
    return size < kPrivatePartBytes ? size : kPrivatePartBytes;
}

SettingsView PrivatePartSettings(const void* part) {
    const size_t declared = DeclaredPrivatePartBytes(part);
    if (declared == 0) return SettingsView{nullptr, 0};
    return SettingsView{static_cast<const uint8_t*>(part) + kPrivatePartHeaderBytes,
                        declared - kPrivatePartHeaderBytes};
}

SettingsSpan PrivatePartSettings(void* part) {
    const size_t declared = DeclaredPrivatePartBytes(part);
    if (declared == 0) return SettingsSpan{nullptr, 0};
    return SettingsSpan{static_cast<uint8_t*>(part) + kPrivatePartHeaderBytes, declared - kPrivatePartHeaderBytes};
}

SettingsSpan PrivatePartSettings(void* part, size_t capacity) {
    if (part == nullptr || capacity < kPrivatePartHeaderBytes) return SettingsSpan{nullptr, 0};
    if (capacity > kPrivatePartBytes) capacity = kPrivatePartBytes;
    return SettingsSpan{static_cast<uint8_t*>(part) + kPrivatePartHeaderBytes, capacity - kPrivatePartHeaderBytes};
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
    uint8_t saved[kPrivatePartBytes];
    std::memcpy(saved, in, count);
    SetDefaultSettings(outSettings);
    std::memcpy(out, saved, count);
    PrivatePartHeader header = ReadPrivatePartHeader(out);
    header.dwSize = kPrivatePartBytes;
    header.dwVersion = kPrivatePartVersion;
    std::memcpy(out, &header, sizeof(header));
    return true;
}

bool ValidatePrivatePart(void* out, size_t outCapacity, SettingCorrections* corrections) {
    if (out == nullptr || outCapacity < kPrivatePartBytes) return false;
    WritePrivatePartHeader(out);
    ValidateSettings(PrivatePartSettings(out, kPrivatePartBytes), corrections);
    return true;
}

bool WriteDefaultPrivatePart(void* out, size_t outCapacity) {
    if (out == nullptr || outCapacity < kPrivatePartBytes) return false;
    WritePrivatePartHeader(out);
    SetDefaultSettings(PrivatePartSettings(out, kPrivatePartBytes));
    return true;
}

Status MergePrivatePart(const void* in, void* out, size_t outCapacity, SettingCorrections* corrections) {
    if (corrections != nullptr) corrections->count = 0;
    CORE_RETURN_IF(kStatusInvalidArgument, out == nullptr);
    CORE_RETURN_IF(kStatusInsufficientBuffer, outCapacity < kPrivatePartBytes);
    if (in != nullptr) ConvertPrivatePart(in, out, outCapacity);
    // Whatever the input held (values out of range, a header that is not the
    // plug-in's but matches the output's), the output leaves with the plug-in's
    // header and valid values.
    ValidatePrivatePart(out, outCapacity, corrections);
    return kStatusOk;
}

// ---------------------------------------------------------------------------

Status DecodePageList(const uint8_t* field, size_t size, Text16& out) noexcept {
    out.clear();
    if (field == nullptr) return kStatusOk;
    if (size > kPageListBytes) size = kPageListBytes;
    static const char kSymbols[16] = {0, '1', '2', '3', '4', '5', '6', '7', '8', '9', ',', '-', 0, 0, 0, '0'};
    try {
        for (size_t i = 0; i < size * 2; ++i) {
            const uint8_t byte = field[i / 2];
            const unsigned code = (i % 2 == 0) ? (byte & 0x0F) : (byte >> 4);
            if (kSymbols[code] == 0) break;
            out.push_back(static_cast<Char16>(kSymbols[code]));
        }
    }
    CORE_CATCH_CLEAR_RETURN(out)
    return kStatusOk;
}

Status DecodePageList(SettingsView view, size_t offset, Text16& out) noexcept {
    if (view.data == nullptr || offset >= view.size) {
        out.clear();
        return kStatusOk;
    }
    return DecodePageList(view.data + offset, view.size - offset, out);
}
