#include "core/line_buffer.h"

#include "core/core_failure.h"
#include "core/feature_blocks.h"

#include <cstring>
#include <new>
#include <utility>

namespace {

// The last `c` in [from, to), or null: eight bytes at a time, from the end
// backwards. (No memrchr: the Windows runtime lacks it.)
const uint8_t* LastByteIn(const uint8_t* data, size_t from, size_t to, unsigned char c) {
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
size_t LastLineEnd(const uint8_t* data, size_t length, size_t searchFrom, size_t otherwise) {
    size_t to = length;
    while (to >= searchFrom + 2) {
        const uint8_t* lf = LastByteIn(data, searchFrom + 1, to, '\n');
        if (lf == nullptr) break;
        if (lf[-1] == '\r') return static_cast<size_t>(lf - data) + 1;
        to = static_cast<size_t>(lf - data);
    }
    return otherwise;
}

}  // namespace

size_t FindBytes(std::string_view bytes, std::string_view text) noexcept {
    if (text.empty() || text.size() > bytes.size()) return kNpos;
    const char* const begin = bytes.data();
    const char* const last = begin + (bytes.size() - text.size());
    const char* at = begin;
    while (at <= last) {
        const void* hit = std::memchr(at, static_cast<unsigned char>(text[0]), static_cast<size_t>(last - at) + 1);
        if (hit == nullptr) return kNpos;
        at = static_cast<const char*>(hit);
        if (std::memcmp(at, text.data(), text.size()) == 0) return static_cast<size_t>(at - begin);
        ++at;
    }
    return kNpos;
}

size_t CompleteLengthOf(std::string_view bytes) noexcept {
    return LastLineEnd(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 0, 0);
}

LineBuffer::LineBuffer(LineBuffer&& other) noexcept
    : data_(std::move(other.data_)),
      capacity_(other.capacity_),
      start_(other.start_),
      length_(other.length_),
      completeLength_(other.completeLength_),
      byteLimit_(other.byteLimit_) {
    other.capacity_ = 0;
    other.start_ = 0;
    other.length_ = 0;
    other.completeLength_ = 0;
}

LineBuffer& LineBuffer::operator=(LineBuffer&& other) noexcept {
    if (this != &other) {
        data_ = std::move(other.data_);
        capacity_ = other.capacity_;
        start_ = other.start_;
        length_ = other.length_;
        completeLength_ = other.completeLength_;
        byteLimit_ = other.byteLimit_;
        other.capacity_ = 0;
        other.start_ = 0;
        other.length_ = 0;
        other.completeLength_ = 0;
    }
    return *this;
}

Status LineBuffer::Reserve(size_t count) noexcept {
    if (count == 0) return kStatusOk;
    CORE_RETURN_IF(kStatusOutOfMemory, length_ > byteLimit_ || count > byteLimit_ - length_);
    const size_t needed = length_ + count + 1;
    if (data_ != nullptr && start_ + needed <= capacity_) return kStatusOk;
    if (data_ != nullptr && needed <= capacity_ && start_ >= length_) {
        // Room enough once the held bytes move to the front, and no more bytes
        // move than are freed: the cost stays linear overall.
        std::memmove(data_.get(), data_.get() + start_, length_ + 1);
        start_ = 0;
        return kStatusOk;
    }
    // Both terms stay far below SIZE_MAX: count and length_ are at most the
    // byte limit, itself below 2^31.
    size_t growth = 2 * count;
    if (growth < kLineBufferGrowth) growth = kLineBufferGrowth;
    if (growth < length_) growth = length_;
    size_t grown = length_ + growth + 1;
    if (grown > byteLimit_ + 1) grown = byteLimit_ + 1;
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[grown]);
    CORE_RETURN_IF(kStatusOutOfMemory, block == nullptr);
    if (data_ != nullptr && length_ > 0) std::memcpy(block.get(), data_.get() + start_, length_);
    block[length_] = 0;
    data_ = std::move(block);
    capacity_ = grown;
    start_ = 0;
    return kStatusOk;
}

Status LineBuffer::Append(const void* bytes, size_t count) noexcept {
    if (count == 0) return kStatusOk;
    CORE_RETURN_IF(kStatusNullPointer, bytes == nullptr);
    CORE_RETURN_IF_FAILED(Reserve(count));
    uint8_t* const held = data_.get() + start_;
    const size_t oldLength = length_;
    std::memcpy(held + length_, bytes, count);
    length_ += count;
    held[length_] = 0;
    // A new line end lies in the appended bytes or straddles the old last byte.
    completeLength_ = LastLineEnd(held, length_, oldLength > 0 ? oldLength - 1 : 0, completeLength_);
    return kStatusOk;
}

void LineBuffer::Consume(size_t count) noexcept {
    if (data_ == nullptr || count == 0) return;
    const size_t removed = count < length_ ? count : length_;
    start_ += removed;
    length_ -= removed;
    if (length_ == 0) {
        start_ = 0;
        data_[0] = 0;
    }
    // The last line end stays where it was in the block. When only its LF is
    // left, that LF still ends a line (one whose start has gone out already),
    // so it counts as complete and is never held back waiting for a new line.
    completeLength_ = completeLength_ > removed ? completeLength_ - removed : 0;
}

size_t LineBuffer::Find(std::string_view text, size_t from) const noexcept {
    if (from >= length_) return kNpos;
    const size_t at = FindBytes(View().substr(from), text);
    return at == kNpos ? kNpos : at + from;
}

size_t LineBuffer::FindLast(std::string_view text) const noexcept {
    if (text.empty() || text.size() > length_) return kNpos;
    const uint8_t* const held = Bytes();
    const unsigned char first = static_cast<unsigned char>(text[0]);
    size_t end = length_ - text.size() + 1;  // candidates lie before this offset
    while (end > 0) {
        const uint8_t* hit = LastByteIn(held, 0, end, first);
        if (hit == nullptr) return kNpos;
        const size_t at = static_cast<size_t>(hit - held);
        if (std::memcmp(held + at, text.data(), text.size()) == 0) return at;
        end = at;
    }
    return kNpos;
}

void LineBuffer::Clear() noexcept {
    data_.reset();
    capacity_ = 0;
    start_ = 0;
    length_ = 0;
    completeLength_ = 0;
}

size_t LineBuffer::FeatureCutPoint() const noexcept {
    if (Find(kBlockOpenLine, 0) == kNpos) return completeLength_;
    const size_t close = FindLast(kBlockCleanup);
    if (close == kNpos) return 0;
    return close + kBlockCleanup.size();
}
