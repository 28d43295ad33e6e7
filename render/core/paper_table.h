// The printer's paper table and the paper numbers that stand for a custom size.
//
// Public paper numbers are sibling paper numbers (the table below, plus the
// sibling's own above kSiblingCustomPaper) or 1-based positions in the
// printer's form list; kSiblingCustomPaper is the sibling's custom size (the
// value Windows calls DMPAPER_USER) and kDriverCustomPaper the PostScript
// driver's custom page size.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int16_t kSiblingCustomPaper = 256;
constexpr int16_t kDriverCustomPaper = 32767;

// The custom page size the plug-in hands the PostScript driver, in whole points:
// the size in tenths of a millimetre, rounded down, then clamped to these. They
// hold the settings' page width and height bounds as that rounding gives them
// (90 mm is 255.1 points and becomes 255), so a printer description that offers a
// custom size must accept all of them.
struct CustomPageRange {
    int32_t minWidth;
    int32_t maxWidth;
    int32_t minLength;
    int32_t maxLength;
};
constexpr CustomPageRange kCustomPagePoints{255, 964, 420, 1559};

// The keyword that stands for "no page-size keyword found".
constexpr const char* kCustomKeyword = "custom";

struct PaperRow {
    int32_t number;       // sibling paper number
    const char* keyword;  // the PostScript driver's "PageSize" option
    int32_t width;        // tenths of a millimetre
    int32_t length;       // tenths of a millimetre
    int32_t code;         // the printer's paper code in the PJL header
    int32_t standard;     // 1: may also be found among the built-in forms by its size
};

constexpr size_t kPaperRowCount = 30;
// Searched in order; the first match wins.
extern const PaperRow kPaperTable[kPaperRowCount];

// The first row whose number equals the 16-bit paper number, or null.
const PaperRow* FindPaperRow(int16_t paperNumber) noexcept;
// The row whose keyword equals keyword byte for byte, or null (also for null).
const PaperRow* FindPaperRowByKeyword(const char* keyword) noexcept;

// Sizes in tenths of a millimetre match when both differ by at most 2.
bool PaperSizesMatch(int32_t width, int32_t length, int32_t otherWidth, int32_t otherLength) noexcept;
