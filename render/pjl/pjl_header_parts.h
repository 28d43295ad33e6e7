// The steps of BuildPjlHeader, open to the tests and the benchmark.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <string>

// A write to the spooler holds at most this many bytes of header.
constexpr size_t kHeaderChunkBytes = 4095;

// The header bytes not yet handed to the spooler: always whole lines, never
// more than kHeaderChunkBytes.
struct HeaderAccumulator {
    HANDLE printer;
    std::string bytes;
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
// nothing.
void FlushHeader(HeaderAccumulator& accumulator);

// The printer's codes for the job's paper (ZTPAGESIZE) and output paper (PAPER).
struct PrinterPaperCodes {
    int32_t pageSize;
    int32_t outputPaper;
};

// Finds the codes for paper number P and output paper number T (both as stored,
// 16-bit signed) from the printer's form list, PaperTable and the paper-list
// file next to moduleHandle. A code not found is 256. Never throws.
PrinterPaperCodes FindPrinterPaperCodes(HANDLE hPrinter, int16_t paperNumber, int16_t outputPaperNumber);
