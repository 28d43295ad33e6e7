// The PJL job header: identification, one group of "@PJL SET" lines per job
// setting, and the switch to PostScript, built from an inputs structure and
// handed out in pieces of whole lines. What the inputs hold (settings, names,
// the printer's paper codes, the text conversions) is gathered by the host:
// the Windows plug-in from the system, the spooler's forms and the paper-list
// file (pjl/pjl_header.h), another host from its own sources.
#pragma once

#include "core/core_types.h"
#include "core/pjl_settings.h"
#include "core/settings_fields.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The bytes of the settings block the builder is given: every field a job
// setting reads lies within them.
constexpr size_t kPjlHeaderSettingsBytes = 12000;
static_assert(kPjlHeaderSettingsBytes <= kSettingsBlockBytes, "the header's settings are part of the block");

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

// The job settings in the order the printer expects them.
constexpr size_t kJobSettingCount = 120;
extern const JobSettingRow kJobSettingTable[kJobSettingCount];

// A write of the header holds at most this many bytes.
constexpr size_t kHeaderChunkBytes = 4095;
static_assert(kPjlMaxLineBytes <= kHeaderChunkBytes, "a header line always fits one write");

// The printer's code for a custom size (also the sibling's paper number for
// it) and for automatic paper selection.
constexpr int32_t kCustomPaperCode = 256;
constexpr int32_t kAutoPaperCode = 0;

// The printer's codes for the job's paper (ZTPAGESIZE) and output paper (PAPER).
struct PrinterPaperCodes {
    int32_t pageSize;
    int32_t outputPaper;
};

// Takes the header's pieces in order: each one or more whole CR LF lines, at
// most kHeaderChunkBytes. A piece must be taken whole; a failure ends the
// header there, and nothing more is offered.
class HeaderPieceSink {
public:
    virtual Status TakePiece(ByteRange piece) noexcept = 0;

protected:
    ~HeaderPieceSink() = default;
};

struct PjlHeaderInputs {
    // The first kPjlHeaderSettingsBytes of the settings block; null: there is
    // nothing to say about the job, and no header is built.
    const uint8_t* settings;
    // Texts up to their first zero unit or their end, whichever comes first.
    Text16View documentName;  // the job name unless ZTJobName asks for the stored one
    Text16View userName;      // the owner name unless ZTOwnerName asks for the stored one
    Text16View hostName;      // the computer's name (ZTHOSTNAME), at most its first 255 units
    // Today's date in the short format, for a block whose date switch asks for
    // today's date; null data: the block's own date text stands (the Windows
    // plug-in settles the date in its copy of the block beforehand).
    Text16View dateText;
    PrinterPaperCodes paperCodes;  // for PaperNumber and OutputPaper of the settings
    PjlConverters converters;
};

// Builds the header and hands its pieces to `sink`. kStatusOk when every piece
// was taken (or there were no settings); the sink's failure when one was
// refused, later pieces then dropped, so what the sink holds is the header's
// beginning, never lines with a gap between them; kStatusOutOfMemory when
// memory ran out part-way (the pieces taken until then are the beginning).
Status BuildPjlHeaderPieces(const PjlHeaderInputs& inputs, HeaderPieceSink& sink) noexcept;

// The same into one string, for a host that writes the header as one: `out`
// holds the whole header (pieces one after the other) or, on failure, nothing.
Status BuildPjlHeaderBytes(const PjlHeaderInputs& inputs, std::string& out) noexcept;
