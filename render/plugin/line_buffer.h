// Byte buffer of the output stream filter, kept per device context.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <memory>

// Owns its heap block. Moving hands the block over and leaves the source empty
// with all counts 0, so a block passed on by ResetPDEV is never freed twice and
// the old device context cannot write into the new one's data. The filter's
// operations on it (append, consume, search) belong to the stream filter.
struct LineBuffer {
    int32_t capacity = 0;          // bytes allocated for data
    std::unique_ptr<BYTE[]> data;  // null while nothing is allocated
    int32_t length = 0;            // bytes held; data[length] is a zero byte when data is set
    int32_t completeLength = 0;    // offset just past the last CR LF, 0 when none

    LineBuffer() = default;
    LineBuffer(LineBuffer&& other) noexcept;
    LineBuffer& operator=(LineBuffer&& other) noexcept;
    LineBuffer(const LineBuffer&) = delete;
    LineBuffer& operator=(const LineBuffer&) = delete;
    ~LineBuffer() = default;

    // Releases the block; all four fields become 0.
    void Clear() noexcept;
};
