#include "psfilter/line_buffer.h"

#include "psfilter/feature_blocks.h"

#include <cstring>
#include <new>
#include <utility>

namespace {

// Offset just past the last CR LF that ends at or after `searchFrom` + 2, or
// `otherwise` when there is none there. Only the bytes that can hold a new line
// end are looked at, so appending stays linear in the appended count.
int32_t LastLineEnd(const BYTE* data, int32_t length, int32_t searchFrom, int32_t otherwise) {
    for (int32_t at = length - 2; at >= searchFrom; --at) {
        if (data[at] == '\r' && data[at + 1] == '\n') return at + 2;
    }
    return otherwise;
}

}  // namespace

LineBuffer::LineBuffer(LineBuffer&& other) noexcept
    : capacity(other.capacity), data(std::move(other.data)), length(other.length),
      completeLength(other.completeLength), byteLimit(other.byteLimit) {
    other.capacity = 0;
    other.length = 0;
    other.completeLength = 0;
}

LineBuffer& LineBuffer::operator=(LineBuffer&& other) noexcept {
    if (this != &other) {
        data = std::move(other.data);
        capacity = other.capacity;
        length = other.length;
        completeLength = other.completeLength;
        byteLimit = other.byteLimit;
        other.capacity = 0;
        other.length = 0;
        other.completeLength = 0;
    }
    return *this;
}

HRESULT LineBuffer::Append(const void* bytes, size_t count) noexcept {
    if (count == 0) return S_OK;
    if (bytes == nullptr) return E_POINTER;
    const int32_t limit = byteLimit < 0 ? 0 : (byteLimit > kLineBufferMaxBytes ? kLineBufferMaxBytes : byteLimit);
    if (length >= limit || count > static_cast<size_t>(limit - length)) return E_OUTOFMEMORY;
    const int64_t needed = static_cast<int64_t>(length) + static_cast<int64_t>(count) + 1;
    if (data == nullptr || needed > capacity) {
        const int64_t doubled = 2 * static_cast<int64_t>(count);
        const int64_t growth = doubled < kLineBufferGrowth ? kLineBufferGrowth : doubled;
        int64_t grown = static_cast<int64_t>(length) + growth + 1;
        if (grown > static_cast<int64_t>(limit) + 1) grown = static_cast<int64_t>(limit) + 1;
        std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[static_cast<size_t>(grown)]);
        if (block == nullptr) return E_OUTOFMEMORY;
        if (data != nullptr && length > 0) std::memcpy(block.get(), data.get(), static_cast<size_t>(length));
        data = std::move(block);
        capacity = static_cast<int32_t>(grown);
    }
    const int32_t oldLength = length;
    std::memcpy(data.get() + length, bytes, count);
    length += static_cast<int32_t>(count);
    data[length] = 0;
    // A new line end lies in the appended bytes or straddles the old last byte.
    completeLength = LastLineEnd(data.get(), length, oldLength > 0 ? oldLength - 1 : 0, completeLength);
    return S_OK;
}

void LineBuffer::Consume(size_t count) noexcept {
    if (data == nullptr || count == 0) return;
    const int32_t removed = count >= static_cast<size_t>(length) ? length : static_cast<int32_t>(count);
    std::memmove(data.get(), data.get() + removed, static_cast<size_t>(length - removed) + 1);
    length -= removed;
    // The last line end moves to the front with the rest. When only its LF is
    // left, that LF still ends a line (one whose start has gone out already),
    // so it counts as complete and is never held back waiting for a new line.
    completeLength = completeLength > removed ? completeLength - removed : 0;
}

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

int32_t LineBuffer::Find(const char* text, int32_t from) const noexcept {
    if (data == nullptr || text == nullptr) return -1;
    if (from < 0) from = 0;
    if (from >= length) return -1;
    const int64_t at = FindBytes(data.get() + from, static_cast<size_t>(length - from), text);
    return at < 0 ? -1 : static_cast<int32_t>(at + from);
}

int32_t LineBuffer::FindLast(const char* text) const noexcept {
    if (data == nullptr || text == nullptr) return -1;
    const size_t textLength = std::strlen(text);
    if (textLength == 0 || textLength > static_cast<size_t>(length)) return -1;
    for (int32_t at = length - static_cast<int32_t>(textLength); at >= 0; --at) {
        if (std::memcmp(data.get() + at, text, textLength) == 0) return at;
    }
    return -1;
}

void LineBuffer::Clear() noexcept {
    data.reset();
    capacity = 0;
    length = 0;
    completeLength = 0;
}

int32_t LineBuffer::FeatureCutPoint() const noexcept {
    if (Find(kBlockOpenLine, 0) < 0) return completeLength;
    const int32_t close = FindLast(kBlockCleanup);
    if (close < 0) return 0;
    return close + static_cast<int32_t>(sizeof kBlockCleanup - 1);
}
