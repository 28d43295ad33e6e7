// Growable byte buffer of the output stream filter, kept per device context.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// Most bytes a LineBuffer can hold: its counts are 32-bit signed and one byte
// behind the held ones is kept for a terminating zero.
constexpr int32_t kLineBufferMaxBytes = INT32_MAX - 1;

// Smallest growth of a buffer's block; many small writes cause few reallocations.
constexpr int32_t kLineBufferGrowth = 65536;

// Offset of the first occurrence of the zero-terminated `text` (not counting
// its terminator) in the `count` bytes at `bytes`, or -1. Zero bytes in the
// searched bytes are data. An empty text is never found.
int64_t FindBytes(const BYTE* bytes, size_t count, const char* text) noexcept;

// Offset just past the last CR LF in the `count` bytes at `bytes`, or 0.
size_t CompleteLengthOf(const BYTE* bytes, size_t count) noexcept;

// Owns its heap block. Moving hands the block over and leaves the source empty
// with all counts 0, so a block passed on by ResetPDEV is never freed twice and
// the old device context cannot write into the new one's data.
//
// The held bytes start `start` bytes into the block: taking bytes from the
// front only moves that offset, so forwarding a large buffer piece by piece
// costs nothing per piece; the bytes move to the front only when an append
// needs the room and at most as many bytes move as are freed.
//
// The held bytes are searched by length, never as zero-terminated text: a
// PostScript stream may carry binary data, and a zero byte in it must neither
// hide what follows nor keep it from being forwarded. The zero byte stored
// behind the held bytes is kept for anyone who reads the block as text.
struct LineBuffer {
    int32_t capacity = 0;          // bytes allocated for data
    std::unique_ptr<BYTE[]> data;  // the block; null while nothing is allocated
    int32_t start = 0;             // offset in data of the first held byte
    int32_t length = 0;            // bytes held; Bytes()[length] is a zero byte when data is set
    int32_t completeLength = 0;    // offset (from Bytes()) just past the last CR LF, 0 when none
    // Append refuses to hold more than this many bytes, as if memory had run
    // out. Not cleared by Clear; moves with the buffer.
    int32_t byteLimit = kLineBufferMaxBytes;

    LineBuffer() = default;
    LineBuffer(LineBuffer&& other) noexcept;
    LineBuffer& operator=(LineBuffer&& other) noexcept;
    LineBuffer(const LineBuffer&) = delete;
    LineBuffer& operator=(const LineBuffer&) = delete;
    ~LineBuffer() = default;

    // The held bytes (null when no block is allocated).
    const BYTE* Bytes() const noexcept { return data == nullptr ? nullptr : data.get() + start; }

    // Copies count bytes behind the held ones. A count of 0 does nothing and
    // succeeds. When the block is too small it grows to length + growth + 1
    // bytes, growth being the most of 65536, twice count and the held length
    // (so a long line held across many small writes is copied a bounded
    // number of times), capped at byteLimit + 1. E_OUTOFMEMORY, and the
    // buffer unchanged, when the block cannot be had or the bytes would exceed
    // byteLimit. bytes may only be null for count 0.
    HRESULT Append(const void* bytes, size_t count) noexcept;

    // Makes room for count more bytes behind the held ones, growing as Append
    // does; E_OUTOFMEMORY, and the buffer unchanged, when it cannot.
    HRESULT Reserve(size_t count) noexcept;

    // Removes the first min(count, length) bytes; the block is kept. A line end
    // cut between its CR and LF leaves the LF counted as complete.
    void Consume(size_t count) noexcept;

    // Offset of the first occurrence of the zero-terminated `text` (not
    // counting its terminator) that starts at or after `from`, or -1. An empty
    // text is never found.
    int32_t Find(const char* text, int32_t from) const noexcept;

    // Offset of the last occurrence of `text`, or -1.
    int32_t FindLast(const char* text) const noexcept;

    // Releases the block; capacity, start, length and completeLength become 0.
    void Clear() noexcept;

    // Where a long setup section may be cut: completeLength when the held text
    // has no "featurebegin{\r\n"; otherwise just past the last
    // "}featurecleanup\r\n", or 0 when there is none (an open feature block is
    // never cut).
    int32_t FeatureCutPoint() const noexcept;
};
