// Shorthands for the shapes that HRESULT code takes again and again.
#pragma once

#include "platform/platform.h"

// Returns the result of expr from the calling function when it is a failure.
#define RETURN_IF_FAILED(expr)                               \
    do {                                                     \
        const HRESULT returnIfFailed_ = (expr);              \
        if (FAILED(returnIfFailed_)) return returnIfFailed_; \
    } while (false)

// E_OUTOFMEMORY from the calling function when a nothrow allocation gave null.
#define RETURN_IF_NULL_ALLOC(pointer)                   \
    do {                                                \
        if ((pointer) == nullptr) return E_OUTOFMEMORY; \
    } while (false)

// Closes a try block where no exception may pass (a COM method, a DDI hook, a
// function documented never to throw): whatever was thrown becomes `result`.
#define CATCH_RETURN(result) \
    catch (...) {            \
        return (result);     \
    }
