// Sole owners of a Win32 handle or a COM interface pointer.
#pragma once

#include <utility>

// Owns one handle of type T and passes it to Close exactly once: when the owner
// is destroyed, reset or assigned another. T{} (null) is "nothing held" and is
// never closed; a type with a second invalid value closes through a function
// that ignores it. Moving hands the handle over and leaves the source empty.
template <typename T, auto Close>
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(T handle) noexcept : held(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : held(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        Reset(other.Release());  // also right for a move to itself
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { Reset(); }

    T Get() const noexcept { return held; }
    T operator->() const noexcept { return held; }
    explicit operator bool() const noexcept { return held != T{}; }

    // For a call that writes a new handle: whatever was held is closed first.
    T* Receive() noexcept {
        Reset();
        return &held;
    }
    // Gives up ownership without closing.
    T Release() noexcept { return std::exchange(held, T{}); }
    // Empties the owner before closing, so a close that calls back finds it empty.
    void Reset(T handle = T{}) noexcept {
        const T old = std::exchange(held, handle);
        if (old != T{}) Close(old);
    }

private:
    T held = T{};
};

template <typename I>
void ReleaseInterface(I* pointer) noexcept {
    pointer->Release();
}

// One reference to a COM interface, released once by its owner.
template <typename I>
using ComPtr = UniqueHandle<I*, &ReleaseInterface<I>>;
