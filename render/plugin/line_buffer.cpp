#include "plugin/line_buffer.h"

#include <utility>

LineBuffer::LineBuffer(LineBuffer&& other) noexcept
    : capacity(other.capacity), data(std::move(other.data)), length(other.length),
      completeLength(other.completeLength) {
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
        other.capacity = 0;
        other.length = 0;
        other.completeLength = 0;
    }
    return *this;
}

void LineBuffer::Clear() noexcept {
    data.reset();
    capacity = 0;
    length = 0;
    completeLength = 0;
}
