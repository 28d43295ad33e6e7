// The CUPS flavour of the printer description: the same model as the Windows
// one, for a CUPS queue whose filter qm22t-cups writes the PJL header and
// rewrites the feature code. It differs from the Windows flavour where CUPS
// asks for it:
//   - *cupsFilter2 names the filter; no JCL keywords, or CUPS would write a
//     PJL header of its own in front of ours;
//   - the standard options IPP clients reach (PageSize, Duplex, InputSlot,
//     OutputBin, MediaType, Collate), each driving its ZT setting;
//   - the settings value of every named choice (*QM22TValue KEYWORD.CHOICE),
//     which the filter sets;
//   - every text and number setting a user can change on Windows is an option,
//     with a custom value (*CustomZT... and *ParamCustomZT..., after the
//     option's *CloseUI, the only place CUPS reads them).
#pragma once

#include "ppd_writer.h"

#include <string>

constexpr char kCupsPpdFileName[] = "qm22t-cups.ppd";
constexpr char kCupsPcFileName[] = "QM22TCUP.PPD";

// The description of the family's first printer for a CUPS queue, from the
// tables. Empty with a message in error when they cannot be written.
std::string MakeCupsPpd(const PackageTables& tables, const std::string& version, std::string& error);

// Empty with a message in error when the model cannot be written.
std::string WriteCupsPpd(const PackageTables& tables, const PpdModel& model, const PrinterModel& printer,
                         const std::string& version, std::string& error);
