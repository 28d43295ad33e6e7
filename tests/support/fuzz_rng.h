// Deterministic random draws and printable bytes for the robustness tests,
// with nothing of the platform, so tests that run on the core alone use them
// too. The draws use the raw output of std::mt19937 (whose sequence the
// language fixes) rather than the standard distributions (whose results differ
// between libraries), so a failing seed reproduces everywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

class FuzzRng {
public:
    explicit FuzzRng(uint32_t seed) : engine_(seed) {}

    uint32_t Next() { return static_cast<uint32_t>(engine_()); }
    // 0 .. n-1; n must not be 0.
    uint32_t Below(uint32_t n) { return Next() % n; }
    // low .. high, both included.
    int64_t Between(int64_t low, int64_t high) {
        const uint64_t span = static_cast<uint64_t>(high - low) + 1;
        const uint64_t draw = (static_cast<uint64_t>(Next()) << 32) | Next();
        return low + static_cast<int64_t>(span == 0 ? draw : draw % span);
    }
    bool OneIn(uint32_t n) { return Below(n) == 0; }
    uint8_t Byte() { return static_cast<uint8_t>(Next()); }

    template <typename T>
    const T& Pick(const std::vector<T>& items) {
        return items[Below(static_cast<uint32_t>(items.size()))];
    }

    std::vector<uint8_t> Bytes(size_t count) {
        std::vector<uint8_t> bytes(count);
        for (uint8_t& b : bytes) b = Byte();
        return bytes;
    }

private:
    std::mt19937 engine_;
};

// Printable form of a byte string for failure messages (first 400 bytes).
inline std::string Escaped(const std::string& bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < bytes.size() && i < 400; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    if (bytes.size() > 400) out += "...";
    return out;
}
