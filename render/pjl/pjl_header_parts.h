// The steps of BuildPjlHeader, open to the tests and the benchmark.
#pragma once

#include "common/module_context.h"
#include "platform/platform.h"
#include "pjl/pjl_settings.h"
#include "settings/paper.h"
#include "core/settings_fields.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Where the value of each job setting comes from. The table is read by the
// header builder and, in reverse, by the tools that decode a job header.
enum class JobSource : uint8_t {
    Key,              // the stored option is the key: 1 byte unsigned, 2 bytes signed, 4 bytes as stored
    Value,            // the stored number (2 bytes signed, 4 bytes as stored) is the value of key -1
    Text,             // the UTF-16 text is the value of key -1
    PageList,         // the decoded page list is the value of key -1
    Copies,           // key: the copy mode byte; value: CopyCount
    PageSizeCode,     // key: the printer's code for the paper number in the field
    OutputPaperCode,  // key: the printer's code for the output paper number in the field
    OwnerName,        // the owner name when ZTOwnerName asks for it, or the user name input
    JobName,          // the job name when ZTJobName asks for it, or the document name input
    OutputBox         // box 0: personal box; any other: the shared box of that number
};

struct JobSettingRow {
    int32_t setting;
    SettingField field;  // named in the table, placed by the settings table
    JobSource source;
};

// The setting whose lines name a shared output box (OutputBox rows of another number).
constexpr int32_t kSharedBoxSetting = 27;

// The job settings in the order the printer expects them.
constexpr size_t kJobSettingCount = 120;
extern const JobSettingRow kJobSettingTable[kJobSettingCount];

// A write to the spooler holds at most this many bytes of header.
constexpr size_t kHeaderChunkBytes = 4095;
static_assert(kPjlMaxLineBytes <= kHeaderChunkBytes, "a header line always fits one write");

// The header bytes not yet handed to the spooler: always whole lines, never
// more than kHeaderChunkBytes.
struct HeaderAccumulator {
    HANDLE printer;
    std::string bytes;
    // The first failed write; once set nothing more is written, so what the
    // spooler holds is always the header's beginning.
    HRESULT result = S_OK;
};

// Appends piece (one or more whole lines) to the accumulator, first writing the
// accumulator out (as FlushHeader does) when both together would exceed
// kHeaderChunkBytes. An empty accumulator is never written. A piece longer than
// kHeaderChunkBytes cannot come from the settings table (its lines are bounded);
// should one arrive it is left out rather than split, because a line cut in two
// writes is what the chunking exists to prevent. May throw std::bad_alloc.
void AppendOrFlush(HeaderAccumulator& accumulator, const std::string& piece);

// Writes whatever the accumulator holds (nothing when it is empty) as one chunk
// and empties it. A chunk the spooler takes in part is offered again from the
// first byte it did not take, until all is taken, a write fails or a write takes
// nothing; such a failure is kept in `result` and ends the header: later chunks
// are dropped, not offered behind the gap.
void FlushHeader(HeaderAccumulator& accumulator);

// The printer's code for a custom size, which is also the sibling's number for
// it, and for automatic paper selection.
constexpr int32_t kCustomPaperCode = kSiblingCustomPaper;
constexpr int32_t kAutoPaperCode = 0;

// The printer's codes for the job's paper (ZTPAGESIZE) and output paper (PAPER).
struct PrinterPaperCodes {
    int32_t pageSize;
    int32_t outputPaper;
};

// Finds the codes for paper number P and output paper number T (both as stored,
// 16-bit signed) from the printer's form list, kPaperTable and the paper-list
// file next to the plug-in's module of `modules`. A code not found is
// kCustomPaperCode.
// Never throws.
PrinterPaperCodes FindPrinterPaperCodes(const ModuleContext& modules, HANDLE hPrinter, int16_t paperNumber,
                                        int16_t outputPaperNumber) noexcept;
