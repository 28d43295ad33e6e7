// Writes a printer description from the model. The pieces are separate so a
// flavour of the description for another system takes the ones it shares
// (header, paper, custom page size, standard features, grouped options) and
// adds its own lines; WriteWindowsPpd is the PostScript driver's flavour.
#pragma once

#include "ppd_model.h"

#include <string>

// The Windows flavour's file name (its *PCFileName).
constexpr char kPpdFileName[] = "QM22TPS.PPD";

// What differs between flavours in the lines every flavour has.
struct PpdFlavour {
    const char* lineEnd;
    const char* pcFileName;
    const char* nickNameSuffix;  // behind the model name in *NickName
};

// The text of a description under way, each line ended as its flavour says.
class PpdText {
public:
    explicit PpdText(const char* lineEnd) : lineEnd_(lineEnd) {}
    void Line(const std::string& text) {
        text_ += text;
        text_ += lineEnd_;
    }
    const std::string& Text() const { return text_; }

private:
    const char* lineEnd_;
    std::string text_;
};

// The attributes every description starts with.
void WritePpdHeader(PpdText& out, const PrinterModel& printer, const std::string& version, const PpdFlavour& flavour);

// PageSize and PageRegion (the default paper of the settings), the imageable
// areas and paper dimensions. With paperFeature, each PageSize choice also
// invokes that printer feature with its choice of the same name (a flavour
// without the feature's own option names the paper this way).
void WritePpdPaper(PpdText& out, const PpdModel& model, const PpdOption* paperFeature = nullptr);

// The custom page size within the model's range, with no margins.
void WritePpdCustomSize(PpdText& out, const PpdModel& model);

// The standard features the PostScript driver requires besides the paper:
// a resolution and an input slot, each with one choice whose code changes
// nothing, so they cannot contradict what the plug-in writes.
void WritePpdStandardFeatures(PpdText& out, const PpdModel& model);

// One printer feature as an *OpenUI option.
void WritePpdOption(PpdText& out, const PpdOption& option);

// The printer features by group, each group in *OpenGroup/*CloseGroup, in
// the order of kPpdGroupTable; within a group, table order. Options for which
// take returns false are left out (a flavour writes them its own way).
void WritePpdGroups(PpdText& out, const PpdModel& model, bool (*take)(const PpdOption&));

// The code of a printer feature's choice: the Custom ProcSet call the plug-in
// writes itself.
std::string PpdFeatureCode(const std::string& keyword, const std::string& invocationValue);

// The finished text, or empty with a message in error when a line is too long.
std::string FinishPpd(PpdText& out, const PpdFlavour& flavour, std::string& error);

// The description the PostScript driver reads. Empty with a message in error
// when the model cannot be written.
std::string WriteWindowsPpd(const PpdModel& model, const PrinterModel& printer, const std::string& version,
                            std::string& error);

// Empty when every line of a printer description (each ended by LF) holds at
// most kMaxPpdLineBytes bytes; else which line is too long.
std::string CheckPpdLines(const std::string& text);

// The longest line a printer description may hold, line end not counted.
constexpr size_t kMaxPpdLineBytes = 255;
