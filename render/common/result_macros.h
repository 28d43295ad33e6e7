// The one vocabulary for failures. Every path on which a function gives up with
// a failure goes through one of these shorthands, so with the debug trace on
// (QM22T_TRACE, see common/debug_trace.h) each failure leaves one line naming
// the file, the line, the expression and the HRESULT where it was first seen,
// and a failure passed up through several functions leaves one line per step.
// With the trace off the failing branch costs one test of the switch; the
// passing branch costs nothing beyond the test of the result itself.
//
// Answers that are part of an interface's protocol rather than failures (a
// QueryInterface for an interface not offered, E_NOTIMPL for a command the
// plug-in does not handle) are returned plainly and leave no line.
#pragma once

#include "common/debug_trace.h"
#include "platform/platform.h"

// TraceFailure (core/core_trace.h) writes "QM22TRD: failure 0x<hr> at
// <file>:<line>: <expression>"; the writer keeps the thread's last error as it
// was, as a caller may still report it. Call through the shorthands, which call
// it only when the trace is on.

// Inside a catch block: E_OUTOFMEMORY for std::bad_alloc, else E_UNEXPECTED.
HRESULT CaughtExceptionResult() noexcept;

// The cause of a Win32 call that just failed: HRESULT_FROM_WIN32 of the thread's
// last error, or E_FAIL when the last error holds nothing that result can carry
// (zero, or a value past 16 bits); the caller's last error then stays as it is.
[[nodiscard]] HRESULT LastErrorResult() noexcept;

// A result in the driver's convention, at a COM edge whose caller reads the
// reason of a failure from the thread's last error: a success as it is, a
// failure as E_FAIL, its Win32 cause (when it has one) set as the last error.
[[nodiscard]] HRESULT DriverConventionResult(HRESULT result) noexcept;

#define RENDER_TRACE_FAILURE(hr, expression)                                  \
    do {                                                                      \
        if (debugTraceOn) TraceFailure(__FILE__, __LINE__, expression, (hr)); \
    } while (false)

// Returns the result of expr from the calling function when it is a failure.
#define RETURN_IF_FAILED(expr)                            \
    do {                                                  \
        const HRESULT returnIfFailed_ = (expr);           \
        if (FAILED(returnIfFailed_)) {                    \
            RENDER_TRACE_FAILURE(returnIfFailed_, #expr); \
            return returnIfFailed_;                       \
        }                                                 \
    } while (false)

// Returns the failure hr from the calling function when condition holds.
#define RETURN_HR_IF(hr, condition)                 \
    do {                                            \
        if (condition) {                            \
            RENDER_TRACE_FAILURE((hr), #condition); \
            return (hr);                            \
        }                                           \
    } while (false)

// The same, setting the thread's last error to `error` first: the caller of a
// method that answers E_FAIL reads the reason there.
#define RETURN_HR_IF_SET_ERROR(hr, error, condition) \
    do {                                             \
        if (condition) {                             \
            SetLastError(error);                     \
            RENDER_TRACE_FAILURE((hr), #condition);  \
            return (hr);                             \
        }                                            \
    } while (false)

// Returns the failure hr unconditionally (the line names hr as the expression).
#define RETURN_HR(hr)                    \
    do {                                 \
        RENDER_TRACE_FAILURE((hr), #hr); \
        return (hr);                     \
    } while (false)

// The same pair for a function that answers BOOL (a DDI hook): FALSE from the
// calling function, the line naming hr as the reason.
#define RETURN_FALSE_IF(hr, condition)              \
    do {                                            \
        if (condition) {                            \
            RENDER_TRACE_FAILURE((hr), #condition); \
            return FALSE;                           \
        }                                           \
    } while (false)

#define RETURN_FALSE_IF_FAILED(expr)                           \
    do {                                                       \
        const HRESULT returnFalseIfFailed_ = (expr);           \
        if (FAILED(returnFalseIfFailed_)) {                    \
            RENDER_TRACE_FAILURE(returnFalseIfFailed_, #expr); \
            return FALSE;                                      \
        }                                                      \
    } while (false)

// E_OUTOFMEMORY from the calling function when a nothrow allocation gave null.
#define RETURN_IF_NULL_ALLOC(pointer) RETURN_HR_IF(E_OUTOFMEMORY, (pointer) == nullptr)

// The first statement of a catch (...) block that recovers in its own way: the
// line names the exception as E_OUTOFMEMORY when it was std::bad_alloc, else
// as E_UNEXPECTED.
#define TRACE_CAUGHT() RENDER_TRACE_FAILURE(CaughtExceptionResult(), "catch (...)")

// Closes a try block where no exception may pass (a COM method, a DDI hook, a
// function whose type says noexcept): whatever was thrown becomes the failure
// `hr`.
#define CATCH_RETURN(hr) \
    catch (...) {        \
        TRACE_CAUGHT();  \
        return (hr);     \
    }

// The same for a function that answers a value rather than a failure: what was
// thrown becomes `value` (a documented fallback such as an empty list or a
// result that lets the caller go on), and the line is written all the same.
#define CATCH_RETURN_VALUE(value) \
    catch (...) {                 \
        TRACE_CAUGHT();           \
        return (value);           \
    }

// Closes a try block of a function that returns nothing and keeps what it had.
#define CATCH_TRACE()   \
    catch (...) {       \
        TRACE_CAUGHT(); \
    }
