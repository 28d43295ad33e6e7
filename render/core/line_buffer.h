// Growable byte buffer of the output stream filter, kept per device context,
// and the byte searches the filter and the rewriter share.
#pragma once

#include "core/byte_text.h"
#include "core/core_types.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

// Most bytes a LineBuffer can hold: one byte behind the held ones is kept for
// a terminating zero, and a 32-bit process could not hold more anyway.
constexpr size_t kLineBufferMaxBytes = INT32_MAX - 1;

// Smallest growth of a buffer's block; many small writes cause few reallocations.
constexpr size_t kLineBufferGrowth = 65536;

// Offset of the first occurrence of `text` in `bytes`, or kNpos. Zero bytes
// are data on both sides. An empty text is never found.
size_t FindBytes(std::string_view bytes, std::string_view text) noexcept;

// Offset just past the last CR LF in `bytes`, or 0.
size_t CompleteLengthOf(std::string_view bytes) noexcept;

// Owns its heap block. Moving hands the block over and leaves the source empty
// with all counts 0, so a block passed on by ResetPDEV is never freed twice and
// the old device context cannot write into the new one's data.
//
// The held bytes start some way into the block: taking bytes from the front
// only moves that offset, so forwarding a large buffer piece by piece costs
// nothing per piece; the bytes move to the front only when an append needs the
// room and at most as many bytes move as are freed.
//
// The held bytes are searched by length, never as zero-terminated text: a
// PostScript stream may carry binary data, and a zero byte in it must neither
// hide what follows nor keep it from being forwarded. The zero byte stored
// behind the held bytes is kept for anyone who reads the block as text.
class LineBuffer {
public:
    LineBuffer() = default;
    LineBuffer(LineBuffer&& other) noexcept;
    LineBuffer& operator=(LineBuffer&& other) noexcept;
    LineBuffer(const LineBuffer&) = delete;
    LineBuffer& operator=(const LineBuffer&) = delete;
    ~LineBuffer() = default;

    // The held bytes; Bytes() is null while no block is allocated, else the
    // byte at Bytes()[Length()] is a zero byte.
    std::string_view View() const noexcept { return ByteView(Bytes(), length_); }
    const uint8_t* Bytes() const noexcept { return data_ == nullptr ? nullptr : data_.get() + start_; }
    size_t Length() const noexcept { return length_; }
    bool HasBlock() const noexcept { return data_ != nullptr; }
    // Bytes allocated for data (the terminator's byte included).
    size_t Capacity() const noexcept { return capacity_; }
    // Offset just past the last CR LF, 0 when none.
    size_t CompleteLength() const noexcept { return completeLength_; }

    // Append refuses to hold more than this many bytes, as if memory had run
    // out (at most kLineBufferMaxBytes). Not cleared by Clear; moves with the
    // buffer.
    size_t ByteLimit() const noexcept { return byteLimit_; }
    void SetByteLimit(size_t limit) noexcept { byteLimit_ = limit < kLineBufferMaxBytes ? limit : kLineBufferMaxBytes; }

    // Copies count bytes behind the held ones. A count of 0 does nothing and
    // succeeds. When the block is too small it grows to length + growth + 1
    // bytes, growth being the most of 65536, twice count and the held length
    // (so a long line held across many small writes is copied a bounded
    // number of times), capped at the byte limit + 1. kStatusOutOfMemory, and the
    // buffer unchanged, when the block cannot be had or the bytes would exceed
    // the byte limit. bytes may only be null for count 0 (else kStatusNullPointer).
    Status Append(const void* bytes, size_t count) noexcept;

    // Makes room for count more bytes behind the held ones, growing as Append
    // does; kStatusOutOfMemory, and the buffer unchanged, when it cannot.
    Status Reserve(size_t count) noexcept;

    // Removes the first min(count, Length()) bytes; the block is kept. A line
    // end cut between its CR and LF leaves the LF counted as complete.
    void Consume(size_t count) noexcept;

    // Offset of the first occurrence of `text` that starts at or after `from`,
    // or kNpos. An empty text is never found.
    size_t Find(std::string_view text, size_t from) const noexcept;

    // Offset of the last occurrence of `text`, or kNpos.
    size_t FindLast(std::string_view text) const noexcept;

    // Releases the block; all counts but the byte limit become 0.
    void Clear() noexcept;

    // Where a long setup section may be cut: CompleteLength() when the held
    // text has no "featurebegin{\r\n"; otherwise just past the last
    // "}featurecleanup\r\n", or 0 when there is none (an open feature block is
    // never cut).
    size_t FeatureCutPoint() const noexcept;

private:
    std::unique_ptr<uint8_t[]> data_;  // the block; null while nothing is allocated
    size_t capacity_ = 0;
    size_t start_ = 0;   // offset in data_ of the first held byte
    size_t length_ = 0;  // bytes held
    size_t completeLength_ = 0;
    size_t byteLimit_ = kLineBufferMaxBytes;
};
