// Bytes as upper-case hexadecimal digits, two per byte: the test side's own
// spelling of the hex values the plug-in writes, independent of its code.
#pragma once

#include <string>

inline std::string HexDigits(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}
