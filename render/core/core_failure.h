// The failure shorthand of the core, the same vocabulary as the plug-in's
// (common/result_macros.h) over Status instead of HRESULT: every path on which a
// core function gives up goes through one of these, so with the trace on each
// failure leaves one line naming file, line, expression and code.
#pragma once

#include "core/core_trace.h"
#include "core/core_types.h"

// Inside a catch block: kStatusOutOfMemory for std::bad_alloc, else kStatusUnexpected.
Status CaughtExceptionStatus() noexcept;

#define CORE_TRACE_FAILURE(status, expression)                                           \
    do {                                                                                 \
        if (debugTraceOn) TraceFailure(__FILE__, __LINE__, expression, (status).Code()); \
    } while (false)

// Returns the status of expr (a Status) from the calling function when it is a failure.
#define CORE_RETURN_IF_FAILED(expr)                         \
    do {                                                    \
        const Status coreReturnIfFailed_ = (expr);          \
        if (coreReturnIfFailed_.Failed()) {                 \
            CORE_TRACE_FAILURE(coreReturnIfFailed_, #expr); \
            return coreReturnIfFailed_;                     \
        }                                                   \
    } while (false)

// Returns the failure status from the calling function when condition holds.
#define CORE_RETURN_IF(status, condition)             \
    do {                                              \
        if (condition) {                              \
            CORE_TRACE_FAILURE((status), #condition); \
            return (status);                          \
        }                                             \
    } while (false)

// Returns the failure status unconditionally (the line names it as the expression).
#define CORE_RETURN(status)                    \
    do {                                       \
        CORE_TRACE_FAILURE((status), #status); \
        return (status);                       \
    } while (false)

// Closes a try block of a core function: whatever was thrown becomes its status.
#define CORE_CATCH_RETURN()                                 \
    catch (...) {                                           \
        const Status coreCaught_ = CaughtExceptionStatus(); \
        CORE_TRACE_FAILURE(coreCaught_, "catch (...)");     \
        return coreCaught_;                                 \
    }

// The same for a function that fills `out`: what it held is dropped, so a
// caller never sees half a result beside a failure.
#define CORE_CATCH_CLEAR_RETURN(out)                        \
    catch (...) {                                           \
        (out).clear();                                      \
        const Status coreCaught_ = CaughtExceptionStatus(); \
        CORE_TRACE_FAILURE(coreCaught_, "catch (...)");     \
        return coreCaught_;                                 \
    }
