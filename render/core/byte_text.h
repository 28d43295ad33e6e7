// The one "not found" of the filter and the rewriter, and byte runs as views.
#pragma once

#include "core/core_types.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// "Not found" of every search in the filter and the rewriter. It is the value
// of std::string::npos, so an answer of std::string's own searches compares
// equal to it.
inline constexpr size_t kNpos = std::string_view::npos;

// The `count` bytes at `bytes` as a view; `bytes` may be null only for count 0.
inline std::string_view ByteView(const uint8_t* bytes, size_t count) noexcept {
    return count == 0 ? std::string_view() : std::string_view(reinterpret_cast<const char*>(bytes), count);
}
