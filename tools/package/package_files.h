// The text files of the driver package, made from the plug-in's own tables:
// the printer description (PPD) whose options make the PostScript driver write
// the feature blocks the rewriter finds, the plug-in's configuration file for
// the driver, and the INF an administrator installs.
//
// Everything is built in memory first; a table value a printer description
// cannot carry is an error that names the row, and then no file is written.
#pragma once

#include "ppd_model.h"
#include "ppd_writer.h"

#include <cstddef>
#include <string>

// Names and version of the package.
struct PackageNames {
    std::string version;     // "1.0.0.0", the plug-in's version record
    std::string driverDate;  // "MM/DD/YYYY" for DriverVer
};

constexpr char kPluginIniFileName[] = "QM22TRD.INI";  // the plug-in's [OEMFiles] file
constexpr char kPaperListFileName[] = "QM22T.ini";    // the paper-list file the plug-in reads
constexpr char kPluginDllName[] = "QM22TRD.DLL";
constexpr char kInfFileName[] = "QM22T.INF";
constexpr char kCatalogFileName[] = "qm22t.cat";

// The printer description for the first printer of the family. Empty with a
// message in error when a table value cannot be carried or a line would be
// longer than 255 bytes.
std::string MakePpd(const PackageTables& tables, const PackageNames& names, std::string& error);

// The plug-in's configuration file: UTF-16 LE with a byte-order mark.
std::string MakePluginIni();

// The INF for 32- and 64-bit Windows.
std::string MakeInf(const PackageNames& names);
