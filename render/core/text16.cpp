#include "core/text16.h"

#include <climits>

size_t WTextLength(const Char16* s) {
    if (s == nullptr) return 0;
    size_t n = 0;
    while (s[n] != 0) ++n;
    return n;
}

size_t WTextLengthBounded(const Char16* s, size_t capacity) {
    if (s == nullptr) return 0;
    size_t n = 0;
    while (n < capacity && s[n] != 0) ++n;
    return n;
}

int WTextCompare(const Char16* a, const Char16* b) {
    static const Char16 empty[1] = {0};
    if (a == nullptr) a = empty;
    if (b == nullptr) b = empty;
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    const unsigned ua = static_cast<unsigned>(*a);
    const unsigned ub = static_cast<unsigned>(*b);
    return ua < ub ? -1 : (ua > ub ? 1 : 0);
}

bool WTextEqual(const Char16* a, const Char16* b) { return WTextCompare(a, b) == 0; }

bool WTextStartsWith(const Char16* s, const Char16* prefix) {
    if (prefix == nullptr) return true;
    if (s == nullptr) return *prefix == 0;
    while (*prefix != 0) {
        if (*s != *prefix) return false;
        ++s;
        ++prefix;
    }
    return true;
}

const Char16* WTextFind(const Char16* haystack, const Char16* needle) {
    if (haystack == nullptr || needle == nullptr) return nullptr;
    if (*needle == 0) return haystack;
    for (const Char16* p = haystack; *p != 0; ++p) {
        if (*p == *needle && WTextStartsWith(p, needle)) return p;
    }
    return nullptr;
}

namespace {

// Appends src at dst[*used]; false when it did not fit whole.
bool AppendBounded(Char16* dst, size_t capacity, size_t* used, const Char16* src) {
    if (src == nullptr) return false;
    while (*src != 0) {
        if (*used + 1 >= capacity) return false;
        dst[(*used)++] = *src++;
    }
    return true;
}

}  // namespace

bool WTextCopy(Char16* dst, size_t capacity, const Char16* src) {
    if (dst == nullptr || capacity == 0) return false;
    size_t used = 0;
    const bool whole = AppendBounded(dst, capacity, &used, src);
    dst[used] = 0;
    return whole;
}

bool WTextJoin3(Char16* dst, size_t capacity, const Char16* a, const Char16* b, const Char16* c) {
    if (dst == nullptr || capacity == 0) return false;
    size_t used = 0;
    const bool whole = AppendBounded(dst, capacity, &used, a) && AppendBounded(dst, capacity, &used, b) &&
                       AppendBounded(dst, capacity, &used, c);
    dst[used] = 0;
    return whole;
}

bool WSplitDriveDirectory(const Char16* path, Char16* drive, size_t driveCapacity, Char16* directory,
                          size_t directoryCapacity) {
    if (drive != nullptr && driveCapacity > 0) drive[0] = 0;
    if (directory != nullptr && directoryCapacity > 0) directory[0] = 0;
    if (path == nullptr || drive == nullptr || directory == nullptr || driveCapacity == 0 || directoryCapacity == 0) {
        return false;
    }
    size_t start = 0;
    if (path[0] != 0 && path[1] == u':') start = 2;
    size_t lastSeparator = SIZE_MAX;
    for (size_t i = start; path[i] != 0; ++i) {
        if (path[i] == u'\\' || path[i] == u'/') lastSeparator = i;
    }
    const size_t directoryLength = lastSeparator == SIZE_MAX ? 0 : lastSeparator + 1 - start;
    if (start + 1 > driveCapacity || directoryLength + 1 > directoryCapacity) return false;
    for (size_t i = 0; i < start; ++i) drive[i] = path[i];
    drive[start] = 0;
    for (size_t i = 0; i < directoryLength; ++i) directory[i] = path[start + i];
    directory[directoryLength] = 0;
    return true;
}

int WTextToInt(const Char16* s) {
    if (s == nullptr) return 0;
    while (*s == u' ' || *s == u'\t' || *s == u'\r' || *s == u'\n' || *s == u'\v' || *s == u'\f') ++s;
    bool negative = false;
    if (*s == u'+' || *s == u'-') {
        negative = *s == u'-';
        ++s;
    }
    long long value = 0;
    while (*s >= u'0' && *s <= u'9') {
        value = value * 10 + (*s - u'0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
        ++s;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

bool WTextFromAscii(Char16* dst, size_t capacity, const char* src) {
    if (dst == nullptr || capacity == 0) return false;
    if (src == nullptr) {
        dst[0] = 0;
        return false;
    }
    size_t used = 0;
    while (src[used] != 0) {
        if (used + 1 >= capacity) {
            dst[used] = 0;
            return false;
        }
        dst[used] = static_cast<Char16>(static_cast<unsigned char>(src[used]));
        ++used;
    }
    dst[used] = 0;
    return true;
}
