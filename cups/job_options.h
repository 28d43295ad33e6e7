// From CUPS's options to the plug-in's settings: which settings fields the
// printer description's defaults and the job's options ask for, in the order
// they apply. The printer description's options are named after the settings
// fields, their choices after the fields' value names, so the filter needs no
// table of its own for them; the standard options translate through
// standard_options.h.
#pragma once

#include "cups_stream.h"

#include <cups/ppd.h>

#include <functional>
#include <string>
#include <vector>

namespace cups {

// One field to set, spelt as a settings file spells it, and the option that
// asked for it (for messages).
struct Assignment {
    std::string field;
    std::string value;
    std::string option;
};

// What the filter learns from the settings registry.
struct Vocabulary {
    std::function<bool(const std::string& name)> isField;
    int customPaperNumber;  // the settings' paper number of a custom size
};

struct JobRequest {
    std::vector<Assignment> assignments;  // the printer description's defaults, then the job's options
    std::vector<std::string> warnings;
};

// ppd is marked by the call (defaults, then the options).
JobRequest ReadJobOptions(ppd_file_t* ppd, const std::string& options, int copies, const Vocabulary& vocabulary);

// The choice of a field's option that stands for a settings value, as a job
// would name it; the value itself when no choice does.
std::string ChoiceOfValue(ppd_file_t* ppd, const std::string& field, const std::string& value);

// The blocks of pstops's that give way (cups_stream.h): a custom value's
// block to the block of the option's choice that keeps the setting (the
// rewriter fills the value in), and the empty blocks of options whose choices
// have no code.
BlockReplacements ReplacedBlocks(ppd_file_t* ppd);

// The printer's code of a paper number as the printer description lists it,
// or -1.
int PaperCodeOf(ppd_file_t* ppd, int paperNumber);

}  // namespace cups
