// What qm22t-cups takes from the core library: the settings block built from
// the defaults and a job's assignments and merged as on Windows, the PJL
// header, and the rewriter of setup sections. Nothing here knows CUPS.
#pragma once

#include "cups_stream.h"
#include "job_options.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace cups {

// A value the merge changed: "ZTZoomRate", "300", "200".
struct Correction {
    std::string field;
    std::string before;
    std::string after;
};

// The header's facts the host supplies.
struct HeaderFacts {
    std::string documentName;  // UTF-8
    std::string userName;      // UTF-8
    std::string hostName;
    std::string dateText;  // today, as the date stamp shows it
    // The printer's code of a paper number, -1 for none.
    std::function<int(int paperNumber)> paperCode;
};

class JobCore {
public:
    virtual ~JobCore() = default;

    virtual const Vocabulary& Words() const = 0;
    // Sets one field from its settings-file spelling; false with the reason
    // (unknown field, value out of the field's type, text over its room).
    virtual bool Set(const Assignment& assignment, std::string* problem) = 0;
    // Validates and merges the block as the Windows driver does; what changed.
    virtual std::vector<Correction> Merge() = 0;
    virtual int Orientation() const = 0;
    // The PJL header's bytes; false with the reason when it cannot be built.
    virtual bool Header(const HeaderFacts& facts, std::string* header, std::string* problem) = 0;
    // Rewrites setup pieces from the merged settings.
    virtual PieceRewriter Rewriter(const HeaderFacts& facts) = 0;
};

// The defaults of the settings block; null with the reason when they cannot
// be had.
std::unique_ptr<JobCore> MakeJobCore(std::string* problem);

}  // namespace cups
