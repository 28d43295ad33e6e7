#include "core/settings_access.h"

#include "core/core_failure.h"

#include <cstring>
#include <string>

bool FieldInside(SettingsView view, size_t offset, size_t width) {
    return view.data != nullptr && offset <= view.size && width <= view.size - offset;
}

int64_t ReadSettingNumber(SettingsView view, size_t offset, size_t width, FieldSign sign) {
    if ((width != 1 && width != 2 && width != 4) || !FieldInside(view, offset, width)) return 0;
    uint8_t bytes[4] = {};
    std::memcpy(bytes, view.data + offset, width);
    uint32_t value = 0;
    for (size_t i = width; i > 0; --i) value = (value << 8) | bytes[i - 1];
    if (sign == FieldSign::Unsigned) return static_cast<int64_t>(value);
    const uint32_t signBit = 1u << (width * 8 - 1);
    const int64_t magnitude = static_cast<int64_t>(value);
    return (value & signBit) != 0 ? magnitude - (static_cast<int64_t>(signBit) << 1) : magnitude;
}

uint8_t ReadSettingU8(SettingsView view, size_t offset) {
    return static_cast<uint8_t>(ReadSettingNumber(view, offset, 1, FieldSign::Unsigned));
}
int8_t ReadSettingS8(SettingsView view, size_t offset) {
    return static_cast<int8_t>(ReadSettingNumber(view, offset, 1, FieldSign::Signed));
}
int16_t ReadSettingS16(SettingsView view, size_t offset) {
    return static_cast<int16_t>(ReadSettingNumber(view, offset, 2, FieldSign::Signed));
}
int32_t ReadSettingS32(SettingsView view, size_t offset) {
    return static_cast<int32_t>(ReadSettingNumber(view, offset, 4, FieldSign::Signed));
}

bool WriteSettingNumber(SettingsSpan span, size_t offset, size_t width, int64_t value) {
    if ((width != 1 && width != 2 && width != 4) || !FieldInside(AsView(span), offset, width)) return false;
    uint64_t bits = static_cast<uint64_t>(value);
    uint8_t bytes[4] = {};
    for (size_t i = 0; i < width; ++i) {
        bytes[i] = static_cast<uint8_t>(bits & 0xFF);
        bits >>= 8;
    }
    std::memcpy(span.data + offset, bytes, width);
    return true;
}

namespace {

// The text's capacity cut to the units that lie inside the view.
size_t UnitsInside(SettingsView view, size_t offset, size_t capacityUnits) {
    if (view.data == nullptr || offset > view.size) return 0;
    const size_t available = (view.size - offset) / 2;
    return capacityUnits < available ? capacityUnits : available;
}

Char16 UnitAt(SettingsView view, size_t offset, size_t index) {
    const uint8_t* p = view.data + offset + index * 2;
    return static_cast<Char16>(p[0] | (p[1] << 8));
}

}  // namespace

size_t SettingTextLength(SettingsView view, size_t offset, size_t capacityUnits) {
    const size_t units = UnitsInside(view, offset, capacityUnits);
    size_t n = 0;
    while (n < units && UnitAt(view, offset, n) != 0) ++n;
    return n;
}

Status ReadSettingText(SettingsView view, size_t offset, size_t capacityUnits, Text16& out) noexcept {
    out.clear();
    const size_t length = SettingTextLength(view, offset, capacityUnits);
    try {
        out.reserve(length);
    }
    CORE_CATCH_RETURN()
    for (size_t i = 0; i < length; ++i) out.push_back(UnitAt(view, offset, i));
    return kStatusOk;
}

bool WriteSettingText(SettingsSpan span, size_t offset, size_t capacityUnits, const Char16* text) {
    if (capacityUnits == 0 || capacityUnits > (SIZE_MAX / 2) || !FieldInside(AsView(span), offset, capacityUnits * 2)) {
        return false;
    }
    const size_t length = text != nullptr ? std::char_traits<Char16>::length(text) : 0;
    const size_t written = length < capacityUnits - 1 ? length : capacityUnits - 1;
    uint8_t* p = span.data + offset;
    for (size_t i = 0; i < written; ++i) {
        const unsigned unit = static_cast<unsigned>(text[i]);
        p[i * 2] = static_cast<uint8_t>(unit & 0xFF);
        p[i * 2 + 1] = static_cast<uint8_t>((unit >> 8) & 0xFF);
    }
    p[written * 2] = 0;
    p[written * 2 + 1] = 0;
    return written == length;
}

bool ReadSettingBytes(SettingsView view, size_t offset, void* out, size_t count) {
    if (out == nullptr || !FieldInside(view, offset, count)) return false;
    if (count != 0) std::memcpy(out, view.data + offset, count);
    return true;
}

bool WriteSettingBytes(SettingsSpan span, size_t offset, const void* bytes, size_t count) {
    if (bytes == nullptr || !FieldInside(AsView(span), offset, count)) return false;
    if (count != 0) std::memcpy(span.data + offset, bytes, count);
    return true;
}

bool HasSettingsIdentification(SettingsView view) {
    static const uint8_t kIdentification[kIdentificationBytes] = {'V', 0, 'T', 0, 'A', 0, '/', 0, 'N', 0, 'P', 0, 0, 0};
    return FieldInside(view, 0, kIdentificationBytes) &&
           std::memcmp(view.data, kIdentification, kIdentificationBytes) == 0;
}
