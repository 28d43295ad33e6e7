// The text files of the driver package, made from the plug-in's own tables:
// the printer description (PPD) whose options make the PostScript driver write
// the feature blocks the rewriter finds, the plug-in's configuration file for
// the driver, and the INF an administrator installs.
//
// Everything is built in memory first; a table value a printer description
// cannot carry is an error that names the row, and then no file is written.
#pragma once

#include "psfilter/feature_tables.h"
#include "settings/paper.h"
#include "core/settings_access.h"

#include <cstddef>
#include <string>
#include <vector>

// The tables a package is made from. The real ones are PluginTables(); a test
// hands in rows of its own.
struct PackageTables {
    const ReplaceGroup* groups;
    size_t groupCount;
    const InsertRow* inserts;
    size_t insertCount;
    const PaperRow* papers;
    size_t paperCount;
};
PackageTables PluginTables();

// One choice of an option: its keyword (the value the driver writes into the
// "%%BeginFeature:" line) and the invocation value that goes into its code.
struct PpdChoice {
    std::string name;
    std::string invocationValue;
};

enum class PpdSection { DocumentSetup, PageSetup, AnySetup };

struct PpdOption {
    std::string keyword;  // without the '*'
    PpdSection section;
    std::string defaultChoice;
    std::vector<PpdChoice> choices;
};

// The options for every feature keyword the rewriter replaces (the replace
// groups, and the insert rows whose block takes the place of the driver's own),
// plus the page-size anchor the insert pass puts the page size numbers behind.
// Defaults are what the settings block's defaults give. May throw
// std::bad_alloc.
std::vector<PpdOption> CollectOptions(const PackageTables& tables, SettingsView defaults);

// Checks what a printer description can carry: option and choice keywords of
// 1 to 40 characters from printable ASCII without blank, '/' and ':', an
// invocation value of printable ASCII without '"', every default one of its
// option's choices. Empty when all is well, else the first fault, naming the
// option and choice.
std::string CheckOptions(const std::vector<PpdOption>& options);

// The choice keyword of a feature whose value the plug-in fills in itself
// (texts, and numbers of any size): the one neutral choice such an option has.
extern const char kNeutralChoice[];

// Names and version of the package.
struct PackageNames {
    std::string version;     // "1.0.0.0", the plug-in's version record
    std::string driverDate;  // "MM/DD/YYYY" for DriverVer
};

constexpr char kPpdFileName[] = "QM22TPS.PPD";
constexpr char kPluginIniFileName[] = "QM22TRD.INI";  // the plug-in's [OEMFiles] file
constexpr char kPaperListFileName[] = "QM22T.ini";    // the paper-list file the plug-in reads
constexpr char kPluginDllName[] = "QM22TRD.DLL";
constexpr char kInfFileName[] = "QM22T.INF";
constexpr char kCatalogFileName[] = "qm22t.cat";

// One printer of the family: the name an administrator picks, and the IDs
// Plug and Play matches it by.
struct PrinterModel {
    const char* name;
    const char* hardwareId;
    const char* compatibleId;
};
extern const PrinterModel kPrinterModels[];
extern const size_t kPrinterModelCount;

// The printer description. Empty with a message in error when a table value
// cannot be carried or a line would be longer than 255 bytes.
std::string MakePpd(const PackageTables& tables, const PackageNames& names, std::string& error);

// The plug-in's configuration file: UTF-16 LE with a byte-order mark.
std::string MakePluginIni();

// The INF for 32- and 64-bit Windows.
std::string MakeInf(const PackageNames& names);

// A PPD translation string for a keyword: "ZTDuplexMixedPage" reads "Duplex
// Mixed Page".
std::string KeywordLabel(const std::string& keyword);

// Empty when every line of a printer description (each ended by LF) holds at
// most kMaxPpdLineBytes bytes; else which line is too long.
std::string CheckPpdLines(const std::string& text);

// The longest line a printer description may hold, line end not counted.
constexpr size_t kMaxPpdLineBytes = 255;
constexpr size_t kMaxPpdKeywordBytes = 40;
