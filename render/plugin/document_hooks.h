// The three DDI functions the plug-in hooks in place of the driver's own:
// they record the document name, count pages, check the job before any output
// and then chain to the driver with the arguments as received.
#pragma once

#include "platform/platform.h"
#include "plugin/plugin_pdev.h"

#include <cstdint>

// Below 0: no document open; 0 or more: a document is open.
//
// Both variables are per thread rather than per process. The driver renders a
// document on one thread, and a document's second StartDoc (after a settings
// change) comes on that same thread, so a single document behaves exactly as
// with one process-wide pair; two documents that one process renders at the
// same time on different threads no longer see each other's name or nesting.
extern thread_local int32_t documentDepth;

// Name passed to the first StartDoc of the open document; empty otherwise.
extern thread_local WCHAR savedDocumentName[kDocumentNameCapacity];

// A hook whose driver function is missing (the driver's table had no entry for
// its DDI index) returns FALSE instead of calling through a null pointer: the
// driver's work for that event has not been done, so the job must not carry on
// as if it had. StartDoc still records the name and checks the job first;
// SendPage counts no page, as none was sent.
//
// A null pwszDocName is recorded as the empty name. A name of 520 or more
// characters is recorded cut to its first 519 (518 when the 519th is the first
// half of a surrogate pair), and the driver still gets it whole.
BOOL APIENTRY StartDocHook(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId) noexcept;

// Always closes the process's document (depth lowered, saved name emptied),
// also when pso leads to no block; FALSE then, as there is no driver function
// to chain to. After the driver's EndDoc has returned, whatever the stream
// filter still holds for the device object goes to the spooler
// (StreamFilterFlush); FALSE when that fails, else the driver's answer.
BOOL APIENTRY EndDocHook(SURFOBJ* pso, FLONG fl) noexcept;

BOOL APIENTRY SendPageHook(SURFOBJ* pso) noexcept;

// Ends the device object's stream: complete lines still held are examined as a
// write would (a setup section among them is still rewritten), then the rest
// goes out unchanged. On a spooler failure, or after a job header that did not
// reach the spooler whole, nothing more is sent and the state is emptied, so
// the spooler holds the stream's beginning. EndDoc calls it, and DisablePDEV
// for a document the driver never ended, so what the filter took is not lost.
// After a broken header the result carries the header's Win32 cause
// (HRESULT_FROM_WIN32); a spooler failure here answers as the filter does.
[[nodiscard]] HRESULT EndStream(PDEVOBJ pdevobj, PluginPdev& block);
