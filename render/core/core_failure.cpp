#include "core/core_failure.h"

#include <new>

Status CaughtExceptionStatus() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    } catch (...) {
        return kStatusUnexpected;
    }
}
