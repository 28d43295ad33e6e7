// What a printer description of this family says, before any file format:
// the options with their groups, display texts and choices, the paper sizes,
// the custom page size range and the standard features. Every flavour of the
// description (the Windows driver's, a CUPS queue's) is written from one
// model, so they cannot disagree on a keyword, a choice or a default.
#pragma once

#include "core/feature_tables.h"
#include "core/paper_table.h"
#include "core/settings_access.h"

#include <cstddef>
#include <cstdint>
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
// "%%BeginFeature:" line), the invocation value that goes into its code, and
// the text a user sees.
struct PpdChoice {
    std::string name;
    std::string invocationValue;
    std::string text;
};

enum class PpdSection { DocumentSetup, PageSetup, AnySetup };

// The subjects the printer's features are grouped by. Their order is the
// order of the groups in a description.
enum class PpdGroup : uint8_t { PaperAndTrays, Finishing, Output, ColorAndQuality, StampsAndOverlays, JobAndSecurity };
struct PpdGroupName {
    PpdGroup group;
    const char* keyword;  // the *OpenGroup keyword
    const char* text;     // its translation string
};
extern const PpdGroupName kPpdGroupTable[];
extern const size_t kPpdGroupCount;

// What the value of an option is: one of a closed list, or something the
// plug-in fills in from its settings whatever the driver chose (a text, or a
// number of any size), for which the option offers the one neutral choice.
enum class PpdValueKind : uint8_t { Closed, Text, Number };

struct PpdOption {
    std::string keyword;  // without the '*'
    PpdSection section;
    std::string defaultChoice;
    std::vector<PpdChoice> choices;
    std::string text;  // the option's translation string
    PpdGroup group;
    int order;  // the *OrderDependency number: the order of the tables
    PpdValueKind kind;
    // Text: the most bytes of its UTF-8 form. Number: the range the settings
    // accept. Closed: 0 and 0.
    int32_t low;
    int32_t high;
};

// The choice keyword of a feature whose value the plug-in fills in itself
// (texts, and numbers of any size): the one neutral choice such an option has.
extern const char kNeutralChoice[];
extern const char kNeutralChoiceText[];

// A paper size of the description, in PostScript points.
struct PpdPaper {
    std::string keyword;
    std::string text;
    long width;
    long length;
};

// The custom page size range, in whole points inside the page width and
// height bounds of the settings, so every size a user enters is one the
// settings keep as it is.
struct PpdCustomSize {
    long minWidth;
    long maxWidth;
    long minHeight;
    long maxHeight;
};

// One printer of the family: the name an administrator picks, the IDs Plug
// and Play matches it by, and the resolution it prints at.
struct PrinterModel {
    const char* name;
    const char* hardwareId;
    const char* compatibleId;
    int resolutionDpi;
};
extern const PrinterModel kPrinterModels[];
extern const size_t kPrinterModelCount;

struct PpdModel {
    std::vector<PpdOption> options;  // the printer's features, in table order
    std::vector<PpdPaper> papers;
    std::string defaultPaper;
    PpdCustomSize customSize;
    int resolutionDpi;
};

// The options for every feature keyword the rewriter replaces (the replace
// groups, and the insert rows whose block takes the place of the driver's own),
// plus the page-size anchor the insert pass puts the page size numbers behind.
// Defaults are what the settings block's defaults give; choices hold their
// display texts, numbers in numeric order behind the named choices. May throw
// std::bad_alloc.
std::vector<PpdOption> CollectOptions(const PackageTables& tables, SettingsView defaults);

// Checks what a printer description can carry: option and choice keywords of
// 1 to 40 characters from printable ASCII without blank, '/' and ':', an
// invocation value of printable ASCII without '"', display texts of printable
// ASCII without '"' and ':' of at most kMaxPpdTextBytes, every default one of
// its option's choices. Empty when all is well, else the first fault, naming
// the option and choice.
std::string CheckOptions(const std::vector<PpdOption>& options);

// The whole model from the tables and the default settings. Empty options with
// a message in error when a table value cannot be carried (a feature without a
// row in the presentation table has no text: that is a fault too). May throw
// std::bad_alloc.
PpdModel BuildPpdModel(const PackageTables& tables, int resolutionDpi, std::string& error);

// A PPD translation string for a keyword: "ZTDuplexMixedPage" reads "Duplex
// Mixed Page".
std::string KeywordLabel(const std::string& keyword);

// The display text of a choice of an option: from the vocabulary, else a
// number with the option's unit, else the keyword split into words.
std::string ChoiceText(const std::string& option, const std::string& choice);

constexpr size_t kMaxPpdKeywordBytes = 40;
// Translation strings: the Windows driver shows at most this many.
constexpr size_t kMaxPpdTextBytes = 80;
// A group's translation string: CUPS keeps at most this many.
constexpr size_t kMaxPpdGroupTextBytes = 39;
