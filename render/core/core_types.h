// The core's own vocabulary: fixed-width integers, views of bytes and of UTF-16
// text, and the outcome of a call that can fail. Everything under core/ is
// written against this header and the standard library alone, so it builds with
// any C++17 compiler on any host and knows nothing of Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

// One UTF-16 code unit. The Windows builds' WCHAR is wchar_t (16 bits there),
// every other build's is char16_t: using the same type lets the plug-in hand
// its text to the core without a copy or a cast.
#if defined(_WIN32)
using Char16 = wchar_t;
#else
using Char16 = char16_t;
#endif
static_assert(sizeof(Char16) == 2, "a UTF-16 unit is two bytes");

// A UTF-16 literal of the type above: TEXT16("A4").
#if defined(_WIN32)
#define TEXT16(text) L##text
#else
#define TEXT16(text) u##text
#endif

using Text16View = std::basic_string_view<Char16>;
using Text16 = std::basic_string<Char16>;

// A run of bytes owned by someone else.
struct ByteRange {
    const uint8_t* data = nullptr;
    size_t size = 0;

    constexpr ByteRange() = default;
    constexpr ByteRange(const uint8_t* bytes, size_t count) : data(bytes), size(count) {}

    constexpr bool empty() const { return size == 0; }
    constexpr const uint8_t* begin() const { return data; }
    constexpr const uint8_t* end() const { return data + size; }
    constexpr uint8_t operator[](size_t index) const { return data[index]; }
    // The part from offset on, at most count bytes; empty past the end.
    constexpr ByteRange Sub(size_t offset, size_t count = SIZE_MAX) const {
        if (offset >= size) return ByteRange(data + size, 0);
        const size_t rest = size - offset;
        return ByteRange(data + offset, count < rest ? count : rest);
    }
};

// The same for bytes the callee may write.
struct MutableByteRange {
    uint8_t* data = nullptr;
    size_t size = 0;

    constexpr MutableByteRange() = default;
    constexpr MutableByteRange(uint8_t* bytes, size_t count) : data(bytes), size(count) {}
    constexpr operator ByteRange() const { return ByteRange(data, size); }
};

// What a failure was. The codes have the layout of a Windows HRESULT (negative
// is a failure, and a Win32 error sits in facility 7), so the Windows adapter
// passes them on unchanged and a failed system call keeps its own error code
// rather than leaving it in the thread's last error.
class [[nodiscard]] Status {
public:
    constexpr Status() = default;
    constexpr explicit Status(int32_t code) : code_(code) {}

    constexpr bool Ok() const { return code_ >= 0; }
    constexpr bool Failed() const { return code_ < 0; }
    constexpr int32_t Code() const { return code_; }
    // The Win32 error a status made by FromWin32 carries; zero for any other.
    constexpr uint32_t Win32Error() const {
        const uint32_t bits = static_cast<uint32_t>(code_);
        return (bits & 0xFFFF0000u) == kWin32Facility ? bits & 0xFFFFu : 0u;
    }

    // The status of a Win32 error code, as HRESULT_FROM_WIN32 makes it: zero
    // stays success, every other error keeps its low 16 bits.
    static constexpr Status FromWin32(uint32_t error) {
        return Status(error == 0 ? 0 : static_cast<int32_t>((error & 0xFFFFu) | kWin32Facility));
    }

    friend constexpr bool operator==(Status a, Status b) { return a.code_ == b.code_; }
    friend constexpr bool operator!=(Status a, Status b) { return a.code_ != b.code_; }

private:
    static constexpr uint32_t kWin32Facility = 0x80070000u;
    int32_t code_ = 0;
};

// The failures the core itself gives; each is the Windows HRESULT of the same name.
inline constexpr Status kStatusOk{};
inline constexpr Status kStatusFail{static_cast<int32_t>(0x80004005u)};             // E_FAIL
inline constexpr Status kStatusUnexpected{static_cast<int32_t>(0x8000FFFFu)};       // E_UNEXPECTED
inline constexpr Status kStatusOutOfMemory{static_cast<int32_t>(0x8007000Eu)};      // E_OUTOFMEMORY
inline constexpr Status kStatusInvalidArgument{static_cast<int32_t>(0x80070057u)};  // E_INVALIDARG
inline constexpr Status kStatusInsufficientBuffer = Status::FromWin32(122);         // ERROR_INSUFFICIENT_BUFFER
inline constexpr Status kStatusInvalidData = Status::FromWin32(13);                 // ERROR_INVALID_DATA
inline constexpr Status kStatusNullPointer{static_cast<int32_t>(0x80004003u)};      // E_POINTER

// A value, or the failure that kept the call from making one. T must be
// default-constructible and movable without throwing.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) noexcept : value_(std::move(value)) {}
    // A failure. A success status here would be a caller's mistake: it is
    // turned into kStatusUnexpected rather than passing for a value.
    Result(Status failure) noexcept : status_(failure.Failed() ? failure : kStatusUnexpected) {}

    bool Ok() const { return status_.Ok(); }
    Status status() const { return status_; }
    const T& Value() const& { return value_; }
    T& Value() & { return value_; }
    T&& Value() && { return std::move(value_); }

private:
    Status status_;
    T value_{};
};
