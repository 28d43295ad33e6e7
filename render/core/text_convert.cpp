#include "core/text_convert.h"

#include "core/core_failure.h"
#include "core/windows1252_table.h"

namespace {

constexpr uint8_t kDefaultByte = '?';

class Utf8 final : public TextConverter {
public:
    Status Convert(Text16View text, std::string& out) const noexcept override {
        out.clear();
        try {
            for (size_t i = 0; i < text.size(); ++i) {
                uint32_t c = static_cast<uint16_t>(text[i]);
                const bool high = c >= 0xD800 && c <= 0xDBFF;
                const uint32_t next = i + 1 < text.size() ? static_cast<uint16_t>(text[i + 1]) : 0;
                if (high && next >= 0xDC00 && next <= 0xDFFF) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
                    ++i;
                } else if (c >= 0xD800 && c <= 0xDFFF) {
                    c = 0xFFFD;
                }
                Append(c, out);
            }
        }
        CORE_CATCH_CLEAR_RETURN(out)
        return kStatusOk;
    }

private:
    static void Append(uint32_t c, std::string& out) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
};

class Windows1252 final : public TextConverter {
public:
    Status Convert(Text16View text, std::string& out) const noexcept override {
        out.clear();
        try {
            out.resize(text.size());
        }
        CORE_CATCH_RETURN()
        for (size_t i = 0; i < text.size(); ++i) out[i] = static_cast<char>(Windows1252Byte(text[i]));
        return kStatusOk;
    }
};

const Utf8 utf8Converter;
const Windows1252 windows1252Converter;

}  // namespace

const TextConverter& Utf8Converter() noexcept { return utf8Converter; }
const TextConverter& Windows1252Converter() noexcept { return windows1252Converter; }

uint8_t Windows1252Byte(Char16 unit) noexcept {
    const uint16_t u = static_cast<uint16_t>(unit);
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<uint8_t>(u);
    if (u < 0xA0) return kWindows1252HighHalf[u - 0x80] == 0 ? static_cast<uint8_t>(u) : kDefaultByte;
    for (size_t i = 0; i < 32; ++i) {
        if (kWindows1252HighHalf[i] == u) return static_cast<uint8_t>(0x80 + i);
    }
    size_t low = 0;
    size_t high = kWindows1252BestFitCount;
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (kWindows1252BestFit[middle].unit < u) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    const bool found = low < kWindows1252BestFitCount && kWindows1252BestFit[low].unit == u;
    return found ? kWindows1252BestFit[low].byte : kDefaultByte;
}
