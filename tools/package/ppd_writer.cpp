#include "ppd_writer.h"

#include "psfilter/feature_blocks.h"

namespace {

constexpr char kManufacturer[] = "Production Inkjet";

// The standard features with their one choice.
constexpr char kInputSlotChoice[] = "FromSettings";
constexpr char kInputSlotText[] = "From Printer Settings";  // the driver shows at most 24 characters
static_assert(sizeof kInputSlotText - 1 <= 24, "input slot names are at most 24 characters");

// The order number of the driver's own features; the printer features follow
// from kFirstFeatureOrder in table order.
constexpr int kStandardOrder = 10;
constexpr int kFirstFeatureOrder = 20;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

const char* SectionName(PpdSection section) {
    switch (section) {
        case PpdSection::DocumentSetup: return "DocumentSetup";
        case PpdSection::PageSetup: return "PageSetup";
        case PpdSection::AnySetup: return "AnySetup";
    }
    return "AnySetup";
}

// "1.0" of "1.0.0.0".
std::string MajorMinor(const std::string& version) {
    const size_t first = version.find('.');
    if (first == std::string::npos) return version + ".0";
    const size_t second = version.find('.', first + 1);
    return version.substr(0, second);
}

// An option whose choices are exactly True and False is offered as a check
// box; every other one is a pick-one list.
bool IsBoolean(const PpdOption& option) {
    if (option.choices.size() != 2) return false;
    const std::string& a = option.choices[0].name;
    const std::string& b = option.choices[1].name;
    return (a == "True" && b == "False") || (a == "False" && b == "True");
}

std::string Size(long width, long length) { return std::to_string(width) + " " + std::to_string(length); }

bool EveryOption(const PpdOption&) { return true; }

}  // namespace

std::string CheckPpdLines(const std::string& text) {
    size_t start = 0;
    size_t number = 1;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end - start > kMaxPpdLineBytes) {
            return "line " + std::to_string(number) + " has " + std::to_string(end - start) +
                   " bytes; a printer description allows at most " + std::to_string(kMaxPpdLineBytes) + ": " +
                   text.substr(start, 60) + "...";
        }
        start = end + 1;
        ++number;
    }
    return std::string();
}

std::string PpdFeatureCode(const std::string& keyword, const std::string& invocationValue) {
    return "(" + PostScriptStringBody(invocationValue) + ") /Custom /ProcSet findresource /" + keyword + " get exec";
}

void WritePpdHeader(PpdText& out, const PrinterModel& printer, const std::string& version, const PpdFlavour& flavour) {
    out.Line("*PPD-Adobe: \"4.3\"");
    out.Line("*% Printer description for the PostScript driver with the QM22TRD rendering plug-in.");
    out.Line("*% Made by qm22t-package from the plug-in's own tables: change those, not this file.");
    out.Line("*FormatVersion: \"4.3\"");
    out.Line("*FileVersion: " + Quoted(MajorMinor(version)));
    out.Line("*LanguageVersion: English");
    out.Line("*LanguageEncoding: ISOLatin1");
    out.Line("*PCFileName: " + Quoted(flavour.pcFileName));
    out.Line("*Manufacturer: " + Quoted(kManufacturer));
    out.Line("*Product: " + Quoted(std::string("(") + printer.name + ")"));
    out.Line("*ModelName: " + Quoted(printer.name));
    out.Line("*ShortNickName: " + Quoted(printer.name));
    out.Line("*NickName: " + Quoted(std::string(printer.name) + flavour.nickNameSuffix));
    out.Line("*PSVersion: \"(3010.000) 0\"");
    out.Line("*LanguageLevel: \"3\"");
    out.Line("*ColorDevice: True");
    out.Line("*DefaultColorSpace: CMYK");
    out.Line("*TTRasterizer: Type42");
    out.Line("*FileSystem: False");
    out.Line("*Throughput: \"100\"");
}

void WritePpdPaper(PpdText& out, const PpdModel& model, const PpdOption* paperFeature) {
    for (const char* const keyword : {"PageSize", "PageRegion"}) {
        out.Line(std::string("*OpenUI *") + keyword + "/" + KeywordLabel(keyword) + ": PickOne");
        out.Line("*OrderDependency: " + std::to_string(kStandardOrder) + " AnySetup *" + keyword);
        out.Line(std::string("*Default") + keyword + ": " + model.defaultPaper);
        for (const PpdPaper& paper : model.papers) {
            std::string feature;
            for (size_t i = 0; paperFeature != nullptr && keyword[4] == 'S' && i < paperFeature->choices.size(); ++i) {
                const PpdChoice& choice = paperFeature->choices[i];
                if (choice.name == paper.keyword)
                    feature = " " + PpdFeatureCode(paperFeature->keyword, choice.invocationValue);
            }
            out.Line(std::string("*") + keyword + " " + paper.keyword + "/" + paper.text + ": \"<</PageSize [" +
                     Size(paper.width, paper.length) + "] /ImagingBBox null>> setpagedevice" + feature + "\"");
        }
        out.Line(std::string("*CloseUI: *") + keyword);
    }
    // The printer prints to the edges of the sheet: the imageable area is the
    // whole paper, as the custom page size's margins say too.
    out.Line("*DefaultImageableArea: " + model.defaultPaper);
    for (const PpdPaper& paper : model.papers) {
        out.Line("*ImageableArea " + paper.keyword + "/" + paper.text + ": \"0 0 " + Size(paper.width, paper.length) +
                 "\"");
    }
    out.Line("*DefaultPaperDimension: " + model.defaultPaper);
    for (const PpdPaper& paper : model.papers) {
        out.Line("*PaperDimension " + paper.keyword + "/" + paper.text + ": \"" + Size(paper.width, paper.length) +
                 "\"");
    }
}

void WritePpdCustomSize(PpdText& out, const PpdModel& model) {
    const PpdCustomSize& range = model.customSize;
    out.Line("*% Custom page size: the page width and height the printer settings accept. The plug-in");
    out.Line("*% writes the size of its settings behind the driver's page-size block.");
    out.Line("*HWMargins: 0 0 0 0");
    out.Line("*MaxMediaWidth: " + Quoted(std::to_string(range.maxWidth)));
    out.Line("*MaxMediaHeight: " + Quoted(std::to_string(range.maxHeight)));
    out.Line("*CustomPageSize True: \"pop pop pop <</PageSize [5 -2 roll] /ImagingBBox null>> setpagedevice\"");
    out.Line("*ParamCustomPageSize Width: 1 points " + Size(range.minWidth, range.maxWidth));
    out.Line("*ParamCustomPageSize Height: 2 points " + Size(range.minHeight, range.maxHeight));
    out.Line("*ParamCustomPageSize WidthOffset: 3 points 0 0");
    out.Line("*ParamCustomPageSize HeightOffset: 4 points 0 0");
    out.Line("*ParamCustomPageSize Orientation: 5 int 0 3");
}

void WritePpdStandardFeatures(PpdText& out, const PpdModel& model) {
    const std::string dpi = std::to_string(model.resolutionDpi) + "dpi";
    out.Line("*OpenUI *Resolution/Resolution: PickOne");
    out.Line("*OrderDependency: " + std::to_string(kStandardOrder) + " AnySetup *Resolution");
    out.Line("*DefaultResolution: " + dpi);
    out.Line("*Resolution " + dpi + "/" + std::to_string(model.resolutionDpi) + " dots per inch: \"\"");
    out.Line("*CloseUI: *Resolution");
    // The tray is a printer feature the plug-in writes from its settings; the
    // one input slot only tells the driver where the paper comes from.
    out.Line("*OpenUI *InputSlot/Paper Source: PickOne");
    out.Line("*OrderDependency: " + std::to_string(kStandardOrder) + " AnySetup *InputSlot");
    out.Line(std::string("*DefaultInputSlot: ") + kInputSlotChoice);
    out.Line(std::string("*InputSlot ") + kInputSlotChoice + "/" + kInputSlotText + ": \"\"");
    out.Line("*CloseUI: *InputSlot");
}

void WritePpdOption(PpdText& out, const PpdOption& option) {
    out.Line("*OpenUI *" + option.keyword + "/" + option.text + ": " + (IsBoolean(option) ? "Boolean" : "PickOne"));
    out.Line("*OrderDependency: " + std::to_string(kFirstFeatureOrder + option.order) + " " +
             SectionName(option.section) + " *" + option.keyword);
    out.Line("*Default" + option.keyword + ": " + option.defaultChoice);
    for (const PpdChoice& choice : option.choices) {
        out.Line("*" + option.keyword + " " + choice.name + "/" + choice.text + ": \"" +
                 PpdFeatureCode(option.keyword, choice.invocationValue) + "\"");
    }
    out.Line("*CloseUI: *" + option.keyword);
}

void WritePpdGroups(PpdText& out, const PpdModel& model, bool (*take)(const PpdOption&)) {
    for (size_t g = 0; g < kPpdGroupCount; ++g) {
        const PpdGroupName& group = kPpdGroupTable[g];
        bool open = false;
        for (const PpdOption& option : model.options) {
            if (option.group != group.group || !take(option)) continue;
            if (!open) out.Line(std::string("*OpenGroup: ") + group.keyword + "/" + group.text);
            open = true;
            WritePpdOption(out, option);
        }
        if (open) out.Line(std::string("*CloseGroup: ") + group.keyword);
    }
}

std::string FinishPpd(PpdText& out, const PpdFlavour& flavour, std::string& error) {
    out.Line(std::string("*% End of ") + flavour.pcFileName);
    error = CheckPpdLines(out.Text());
    return error.empty() ? out.Text() : std::string();
}

std::string WriteWindowsPpd(const PpdModel& model, const PrinterModel& printer, const std::string& version,
                            std::string& error) {
    // Lines end in LF alone: the driver reads any line end, and CUPS's
    // checker asks for LF in a description that is not only for Windows.
    const PpdFlavour flavour{"\n", kPpdFileName, " PS"};
    PpdText out(flavour.lineEnd);
    WritePpdHeader(out, printer, version, flavour);
    // No *JCLBegin, *JCLToPSInterpreter or *JCLEnd: the plug-in writes the
    // job's PJL header itself, straight to the spooler, and a printer
    // description with a JCL of its own would make the driver write a second
    // header in front of the PostScript, with the driver's values.
    out.Line("*% No JCL keywords: the rendering plug-in writes the job's PJL header.");
    out.Line("*% The printer features below are filled in by the rendering plug-in from its printer");
    out.Line("*% settings: a choice made here never wins over those settings.");
    WritePpdPaper(out, model);
    WritePpdCustomSize(out, model);
    WritePpdStandardFeatures(out, model);
    // Duplex and output bins have no driver options of their own here: the ZT
    // features carry them, and the printer must not get two answers to one
    // question.
    WritePpdGroups(out, model, EveryOption);
    return FinishPpd(out, flavour, error);
}
