#include "core/paper_table.h"

#include "core/pjl_header.h"

#include <cstring>

static_assert(kCustomPaperCode == kSiblingCustomPaper, "the printer's custom size is the sibling's");

const PaperRow kPaperTable[kPaperRowCount] = {
    {8, "A3", 2970, 4200, 1, 1},          {9, "A4", 2100, 2970, 2, 1},         {11, "A5", 1480, 2100, 3, 1},
    {70, "A6", 1050, 1480, 4, 1},         {12, "B4", 2570, 3640, 5, 1},        {13, "B5", 1820, 2570, 6, 1},
    {88, "B6", 1280, 1820, 7, 1},         {43, "Postcard", 1000, 1478, 8, 1},  {259, "EnvKaku0", 2870, 3820, 9, 0},
    {260, "EnvKaku1", 2700, 3820, 10, 0}, {71, "EnvKaku2", 2400, 3320, 11, 1}, {72, "EnvKaku3", 2160, 2770, 12, 1},
    {73, "EnvChou3", 1200, 2350, 13, 1},  {74, "EnvChou4", 900, 2050, 14, 1},  {258, "Foolscap", 2160, 3400, 15, 0},
    {3, "Tabloid", 2794, 4318, 16, 1},    {5, "Legal", 2159, 3556, 17, 1},     {263, "PHLegal", 2159, 3302, 18, 0},
    {1, "Letter", 2159, 2794, 19, 1},     {6, "Statement", 1397, 2159, 20, 1}, {257, "A3W", 3160, 4600, 21, 0},
    {30, "EnvC4", 2289, 3238, 22, 1},     {28, "EnvC5", 1619, 2289, 23, 1},    {31, "EnvC6", 1139, 1619, 24, 1},
    {27, "EnvDL", 1100, 2200, 25, 1},     {261, "ARCHA", 2286, 3048, 26, 0},   {262, "10x13", 2540, 3302, 27, 0},
    {20, "Env10", 1048, 2413, 28, 1},     {264, "8K", 2700, 3900, 29, 0},      {265, "16K", 1950, 2700, 30, 0},
};

const PaperRow* FindPaperRow(int16_t paperNumber) noexcept {
    for (const PaperRow& row : kPaperTable) {
        if (row.number == paperNumber) return &row;
    }
    return nullptr;
}

const PaperRow* FindPaperRowByKeyword(const char* keyword) noexcept {
    if (keyword == nullptr) return nullptr;
    for (const PaperRow& row : kPaperTable) {
        if (std::strcmp(row.keyword, keyword) == 0) return &row;
    }
    return nullptr;
}

namespace {

// In 64 bits: sizes at the ends of the 32-bit range must not overflow.
bool Within2(int64_t a, int64_t b) { return a - b <= 2 && b - a <= 2; }

}  // namespace

bool PaperSizesMatch(int32_t width, int32_t length, int32_t otherWidth, int32_t otherLength) noexcept {
    return Within2(width, otherWidth) && Within2(length, otherLength);
}
