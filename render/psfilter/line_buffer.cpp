#include "psfilter/line_buffer.h"

#include "psfilter/feature_blocks.h"

#include <cstring>
#include <new>
#include <utility>

namespace {

// The last `c` in [from, to), or null: eight bytes at a time, from the end
// backwards. (No memrchr: the Windows runtime lacks it.)
const BYTE* LastByteIn(const BYTE* data, size_t from, size_t to, unsigned char c) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHighs = 0x8080808080808080ull;
    const uint64_t pattern = kOnes * c;
    while (to - from >= 8) {
        uint64_t word;
        std::memcpy(&word, data + to - 8, 8);
        const uint64_t x = word ^ pattern;
        if (((x - kOnes) & ~x & kHighs) != 0) break;  // `c` is among these eight
        to -= 8;
    }
    while (to > from) {
        --to;
        if (data[to] == c) return data + to;
    }
    return nullptr;
}

// Offset just past the last CR LF whose CR lies at or after `searchFrom`, or
// `otherwise` when there is none there. Only the bytes that can hold a new line
// end are looked at, so appending stays linear in the appended count.
size_t LastLineEnd(const BYTE* data, size_t length, size_t searchFrom, size_t otherwise) {
    size_t to = length;
    while (to >= searchFrom + 2) {
        const BYTE* lf = LastByteIn(data, searchFrom + 1, to, '\n');
        if (lf == nullptr) break;
        if (lf[-1] == '\r') return static_cast<size_t>(lf - data) + 1;
        to = static_cast<size_t>(lf - data);
    }
    return otherwise;
}

}  // namespace

int64_t FindBytes(const BYTE* bytes, size_t count, const char* text) noexcept {
    if (bytes == nullptr || text == nullptr) return -1;
    const size_t textLength = std::strlen(text);
    if (textLength == 0 || textLength > count) return -1;
    const BYTE* const last = bytes + (count - textLength);
    const BYTE* at = bytes;
    while (at <= last) {
        const void* hit = std::memchr(at, static_cast<unsigned char>(text[0]), static_cast<size_t>(last - at) + 1);
        if (hit == nullptr) return -1;
        at = static_cast<const BYTE*>(hit);
        if (std::memcmp(at, text, textLength) == 0) return at - bytes;
        ++at;
    }
    return -1;
}

size_t CompleteLengthOf(const BYTE* bytes, size_t count) noexcept { return LastLineEnd(bytes, count, 0, 0); }

LineBuffer::LineBuffer(LineBuffer&& other) noexcept
    : capacity(other.capacity), data(std::move(other.data)), start(other.start), length(other.length),
      completeLength(other.completeLength), byteLimit(other.byteLimit) {
    other.capacity = 0;
    other.start = 0;
    other.length = 0;
    other.completeLength = 0;
}

LineBuffer& LineBuffer::operator=(LineBuffer&& other) noexcept {
    if (this != &other) {
        data = std::move(other.data);
        capacity = other.capacity;
        start = other.start;
        length = other.length;
        completeLength = other.completeLength;
        byteLimit = other.byteLimit;
        other.capacity = 0;
        other.start = 0;
        other.length = 0;
        other.completeLength = 0;
    }
    return *this;
}

HRESULT LineBuffer::Reserve(size_t count) noexcept {
    if (count == 0) return S_OK;
    const int32_t limit = byteLimit < 0 ? 0 : (byteLimit > kLineBufferMaxBytes ? kLineBufferMaxBytes : byteLimit);
    if (length > limit || count > static_cast<size_t>(limit - length)) return E_OUTOFMEMORY;
    const int64_t needed = static_cast<int64_t>(length) + static_cast<int64_t>(count) + 1;
    if (data != nullptr && start + needed <= capacity) return S_OK;
    if (data != nullptr && needed <= capacity && start >= length) {
        // Room enough once the held bytes move to the front, and no more bytes
        // move than are freed: the cost stays linear overall.
        std::memmove(data.get(), data.get() + start, static_cast<size_t>(length) + 1);
        start = 0;
        return S_OK;
    }
    int64_t growth = 2 * static_cast<int64_t>(count);
    if (growth < kLineBufferGrowth) growth = kLineBufferGrowth;
    if (growth < length) growth = length;
    int64_t grown = static_cast<int64_t>(length) + growth + 1;
    if (grown > static_cast<int64_t>(limit) + 1) grown = static_cast<int64_t>(limit) + 1;
    std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[static_cast<size_t>(grown)]);
    if (block == nullptr) return E_OUTOFMEMORY;
    if (data != nullptr && length > 0) std::memcpy(block.get(), data.get() + start, static_cast<size_t>(length));
    block[length] = 0;
    data = std::move(block);
    capacity = static_cast<int32_t>(grown);
    start = 0;
    return S_OK;
}

HRESULT LineBuffer::Append(const void* bytes, size_t count) noexcept {
    if (count == 0) return S_OK;
    if (bytes == nullptr) return E_POINTER;
    const HRESULT room = Reserve(count);
    if (FAILED(room)) return room;
    BYTE* const held = data.get() + start;
    const int32_t oldLength = length;
    std::memcpy(held + length, bytes, count);
    length += static_cast<int32_t>(count);
    held[length] = 0;
    // A new line end lies in the appended bytes or straddles the old last byte.
    completeLength = static_cast<int32_t>(LastLineEnd(held, static_cast<size_t>(length),
                                                      oldLength > 0 ? static_cast<size_t>(oldLength - 1) : 0,
                                                      static_cast<size_t>(completeLength)));
    return S_OK;
}

void LineBuffer::Consume(size_t count) noexcept {
    if (data == nullptr || count == 0) return;
    const int32_t removed = count >= static_cast<size_t>(length) ? length : static_cast<int32_t>(count);
    start += removed;
    length -= removed;
    if (length == 0) {
        start = 0;
        data[0] = 0;
    }
    // The last line end stays where it was in the block. When only its LF is
    // left, that LF still ends a line (one whose start has gone out already),
    // so it counts as complete and is never held back waiting for a new line.
    completeLength = completeLength > removed ? completeLength - removed : 0;
}

int32_t LineBuffer::Find(const char* text, int32_t from) const noexcept {
    if (data == nullptr || text == nullptr) return -1;
    if (from < 0) from = 0;
    if (from >= length) return -1;
    const int64_t at = FindBytes(Bytes() + from, static_cast<size_t>(length - from), text);
    return at < 0 ? -1 : static_cast<int32_t>(at + from);
}

int32_t LineBuffer::FindLast(const char* text) const noexcept {
    if (data == nullptr || text == nullptr) return -1;
    const size_t textLength = std::strlen(text);
    if (textLength == 0 || textLength > static_cast<size_t>(length)) return -1;
    const BYTE* const held = Bytes();
    const unsigned char first = static_cast<unsigned char>(text[0]);
    size_t end = static_cast<size_t>(length) - textLength + 1;  // candidates lie before this offset
    while (end > 0) {
        const BYTE* hit = LastByteIn(held, 0, end, first);
        if (hit == nullptr) return -1;
        const size_t at = static_cast<size_t>(hit - held);
        if (std::memcmp(held + at, text, textLength) == 0) return static_cast<int32_t>(at);
        end = at;
    }
    return -1;
}

void LineBuffer::Clear() noexcept {
    data.reset();
    capacity = 0;
    start = 0;
    length = 0;
    completeLength = 0;
}

int32_t LineBuffer::FeatureCutPoint() const noexcept {
    if (Find(kBlockOpenLine, 0) < 0) return completeLength;
    const int32_t close = FindLast(kBlockCleanup);
    if (close < 0) return 0;
    return close + static_cast<int32_t>(sizeof kBlockCleanup - 1);
}
