// The PJL settings table read in reverse: which settings field, and which value
// of it, each "@PJL SET" line of a job header comes from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qm22t {

// A field value a line tells exactly, spelt as settings files spell it.
struct DecodedValue {
    std::string field;
    std::string value;
    bool number = false;
    bool valid = true;  // false: the device-settings validation would not keep it
};

struct DecodedLine {
    enum class Kind { Identification, Setting, Unknown };
    Kind kind = Kind::Unknown;
    size_t firstLine = 0;  // index into the assignments given to DecodeSetLines
    size_t lineCount = 1;  // a row of several "|" pieces makes several lines
    int32_t setting = -1;  // the PJL table's setting number
    std::vector<DecodedValue> values;
    std::vector<std::string> fields;  // the fields the line depends on, values told or not
    std::string note;                 // what else the line says (a paper code, a fallback name)
    std::string flag;                 // why the table cannot have produced the line
};

// Decodes the assignments of consecutive "@PJL SET " lines (the text after
// "@PJL SET ", without the line end), in order.
std::vector<DecodedLine> DecodeSetLines(const std::vector<std::string>& assignments);

// A line every header carries, whatever the settings: one of `variables`
// (the variable before "=", as "DUPLEX" or "COPIES"), made from `field` (empty
// for the identification lines). Read from the tables: an identification
// setting, a job setting whose value is written whatever it is, or one whose
// every valid value has a row of the PJL table.
struct RequiredLine {
    std::vector<std::string> variables;
    std::string field;
};
const std::vector<RequiredLine>& RequiredHeaderLines();

// The variable an "@PJL SET" assignment sets: the text before "=".
std::string VariableOf(const std::string& assignment);

// "ZTCollate=2, CopyCount=3", the fields, the note and the flag in one line.
std::string DescribeDecodedLine(const DecodedLine& line);

}  // namespace qm22t
