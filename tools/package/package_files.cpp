#include "package_files.h"

#include "psfilter/feature_blocks.h"
#include "settings/private_part.h"
#include "core/settings_fields.h"

#include <cstdio>
#include <cstring>

const char kNeutralChoice[] = "FromSettings";

// The family as the plug-in knows it today: one printer. Each further model is
// one more row; the INF lists every row for both architectures.
const PrinterModel kPrinterModels[] = {
    {"Production Inkjet QM22T", "ProductionInkjetQM22T", "ProductionInkjet_PS"},
};
const size_t kPrinterModelCount = sizeof kPrinterModels / sizeof kPrinterModels[0];

namespace {

constexpr char kManufacturer[] = "Production Inkjet";
constexpr char kProvider[] = "Production Inkjet Printing Group";
constexpr char kNickNameSuffix[] = " PS";

PpdChoice Choice(const std::string& name, const std::string& invocation) { return PpdChoice{name, invocation}; }

// The insert rows whose block takes the place of the driver's block of the
// same keyword: a single anchor that is the row's own keyword. Their values
// are numbers of any size (or texts), so the option has the neutral choice.
bool ReplacesItsOwnBlock(const InsertRow& row) { return std::string(row.anchors) == std::string(row.keyword) + " "; }

std::string NumberAt(SettingsView settings, const InsertRow& row) {
    switch (row.kind) {
        case InsertKind::Int16: return std::to_string(ReadSettingS16(settings, row.offset));
        case InsertKind::Int32: return std::to_string(ReadSettingS32(settings, row.offset));
        case InsertKind::Text:
        case InsertKind::PageList: break;
    }
    return std::string();
}

bool KeywordByteAllowed(unsigned char c) { return c > 0x20 && c < 0x7F && c != '/' && c != ':'; }

std::string CheckKeyword(const std::string& keyword, const char* what) {
    if (keyword.empty()) return std::string(what) + " is empty";
    if (keyword.size() > kMaxPpdKeywordBytes) {
        return std::string(what) + " \"" + keyword + "\" has " + std::to_string(keyword.size()) +
               " characters; a printer description allows at most " + std::to_string(kMaxPpdKeywordBytes);
    }
    for (const char c : keyword) {
        if (!KeywordByteAllowed(static_cast<unsigned char>(c))) {
            char code[8];
            std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned char>(c));
            return std::string(what) + " \"" + keyword + "\" holds the byte " + code +
                   ", which a printer description keyword cannot carry (printable ASCII without blank, '/' and ':')";
        }
    }
    return std::string();
}

const char* SectionName(PpdSection section) {
    switch (section) {
        case PpdSection::DocumentSetup: return "DocumentSetup";
        case PpdSection::PageSetup: return "PageSetup";
        case PpdSection::AnySetup: return "AnySetup";
    }
    return "AnySetup";
}

// A paper size in PostScript points, from tenths of a millimetre.
long Points(int32_t tenths) { return (static_cast<long>(tenths) * 72 + 127) / 254; }

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Every option is a pick-one list; one whose choices are exactly True and
// False is offered as a check box.
bool IsBoolean(const PpdOption& option) {
    if (option.choices.size() != 2) return false;
    const std::string& a = option.choices[0].name;
    const std::string& b = option.choices[1].name;
    return (a == "True" && b == "False") || (a == "False" && b == "True");
}

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

namespace {

// "1.0" of "1.0.0.0".
std::string MajorMinor(const std::string& version) {
    const size_t first = version.find('.');
    if (first == std::string::npos) return version + ".0";
    const size_t second = version.find('.', first + 1);
    return version.substr(0, second);
}

}  // namespace

PackageTables PluginTables() {
    return PackageTables{kReplaceGroups,  kReplaceGroupCount, kInsertTable,
                         kInsertRowCount, kPaperTable,        kPaperRowCount};
}

std::string KeywordLabel(const std::string& keyword) {
    const std::string name = keyword.compare(0, 2, "ZT") == 0 ? keyword.substr(2) : keyword;
    std::string label;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (i > 0) {
            const char before = name[i - 1];
            const bool upper = c >= 'A' && c <= 'Z';
            const bool digit = c >= '0' && c <= '9';
            const bool lowerBefore = before >= 'a' && before <= 'z';
            const bool upperBefore = before >= 'A' && before <= 'Z';
            const bool lowerAfter = i + 1 < name.size() && name[i + 1] >= 'a' && name[i + 1] <= 'z';
            // "DuplexMixed", "Select1" and the end of an abbreviation ("GCCyan").
            if ((upper && lowerBefore) || (digit && !(before >= '0' && before <= '9')) ||
                (upper && upperBefore && lowerAfter)) {
                label += ' ';
            }
        }
        label += c;
    }
    return label;
}

std::vector<PpdOption> CollectOptions(const PackageTables& tables, SettingsView defaults) {
    std::vector<PpdOption> options;
    std::string value;
    for (size_t g = 0; g < tables.groupCount; ++g) {
        const ReplaceGroup& group = tables.groups[g];
        for (size_t i = 0; i < group.count; ++i) {
            const ReplaceRow& row = group.rows[i];
            PpdOption option{row.keyword, PpdSection::DocumentSetup, std::string(), {}};
            const bool filled = FillReplaceValue(row, defaults, value);
            for (const std::string& text : ReplaceValueTexts(row)) {
                option.choices.push_back(Choice(text, InvocationValue(row.invocation, text)));
            }
            if (option.choices.empty()) {
                // A text the user types (a font, a form name): the plug-in puts
                // it in, so the driver only needs a block to be there.
                option.choices.push_back(Choice(kNeutralChoice, InvocationValue(row.invocation, filled ? value : "")));
                option.defaultChoice = kNeutralChoice;
            } else {
                option.defaultChoice = value;
            }
            options.push_back(std::move(option));
        }
    }
    for (size_t i = 0; i < tables.insertCount; ++i) {
        const InsertRow& row = tables.inserts[i];
        if (ReplacesItsOwnBlock(row)) {
            options.push_back(PpdOption{row.keyword,
                                        PpdSection::DocumentSetup,
                                        kNeutralChoice,
                                        {Choice(kNeutralChoice, NumberAt(defaults, row))}});
        } else if (row.customSizeStandIn) {
            // The page-size anchor: the driver's block names the paper, and the
            // plug-in puts the page size numbers of its settings behind it.
            const std::string anchor(row.anchors, std::strlen(row.anchors) - 1);
            PpdOption option{anchor, PpdSection::DocumentSetup, std::string(), {}};
            const int32_t paper = ReadFieldValue(defaults, kSettingPaperNumber);
            for (size_t p = 0; p < tables.paperCount; ++p) {
                const PaperRow& size = tables.papers[p];
                option.choices.push_back(Choice(size.keyword, size.keyword));
                if (size.number == paper && option.defaultChoice.empty()) option.defaultChoice = size.keyword;
            }
            if (option.defaultChoice.empty() && !option.choices.empty()) option.defaultChoice = option.choices[0].name;
            options.push_back(std::move(option));
        }
    }
    return options;
}

std::string CheckOptions(const std::vector<PpdOption>& options) {
    for (const PpdOption& option : options) {
        std::string fault = CheckKeyword(option.keyword, "option keyword");
        if (!fault.empty()) return fault;
        if (option.choices.empty()) return "option " + option.keyword + " has no choice";
        bool defaultFound = false;
        for (const PpdChoice& choice : option.choices) {
            fault = CheckKeyword(choice.name, "choice");
            if (!fault.empty()) return "option " + option.keyword + ": " + fault;
            for (const char c : choice.invocationValue) {
                const unsigned char byte = static_cast<unsigned char>(c);
                if (byte < 0x20 || byte >= 0x7F || c == '"') {
                    return "option " + option.keyword + ", choice " + choice.name +
                           ": the invocation value holds a byte a printer description string cannot carry";
                }
            }
            defaultFound = defaultFound || choice.name == option.defaultChoice;
        }
        if (!defaultFound) {
            return "option " + option.keyword + ": the default \"" + option.defaultChoice + "\" is none of its choices";
        }
    }
    return std::string();
}

std::string MakePpd(const PackageTables& tables, const PackageNames& names, std::string& error) {
    error.clear();
    std::vector<BYTE> block(kSettingsBlockBytes, 0);
    SetDefaultSettings(SettingsSpan{block.data(), block.size()});
    const std::vector<PpdOption> options = CollectOptions(tables, SettingsView{block.data(), block.size()});
    error = CheckOptions(options);
    if (!error.empty()) return std::string();
    std::string paperFault;
    for (size_t p = 0; p < tables.paperCount && paperFault.empty(); ++p) {
        paperFault = CheckKeyword(tables.papers[p].keyword, "paper keyword");
    }
    if (tables.paperCount == 0) paperFault = "the paper table is empty";
    if (!paperFault.empty()) {
        error = paperFault;
        return std::string();
    }

    const PrinterModel& model = kPrinterModels[0];
    // Lines end in LF alone: the driver reads any line end, and CUPS's
    // checker asks for LF in a description that is not only for Windows.
    std::string ppd;
    const auto line = [&ppd](const std::string& text) {
        ppd += text;
        ppd += '\n';
    };
    line("*PPD-Adobe: \"4.3\"");
    line("*% Printer description for the PostScript driver with the QM22TRD rendering plug-in.");
    line("*% Made by qm22t-package from the plug-in's own tables: change those, not this file.");
    line("*FormatVersion: \"4.3\"");
    line("*FileVersion: " + Quoted(MajorMinor(names.version)));
    line("*LanguageVersion: English");
    line("*LanguageEncoding: ISOLatin1");
    line("*PCFileName: " + Quoted(kPpdFileName));
    line("*Manufacturer: " + Quoted(kManufacturer));
    line("*Product: " + Quoted(std::string("(") + model.name + ")"));
    line("*ModelName: " + Quoted(model.name));
    line("*ShortNickName: " + Quoted(model.name));
    line("*NickName: " + Quoted(std::string(model.name) + kNickNameSuffix));
    line("*PSVersion: \"(3010.000) 0\"");
    line("*LanguageLevel: \"3\"");
    line("*ColorDevice: True");
    line("*DefaultColorSpace: CMYK");
    line("*TTRasterizer: Type42");
    line("*FileSystem: False");
    line("*Throughput: \"100\"");
    // No *JCLBegin, *JCLToPSInterpreter or *JCLEnd: the plug-in writes the
    // job's PJL header itself, straight to the spooler, and a printer
    // description with a JCL of its own would make the driver write a second
    // header in front of the PostScript, with the driver's values.
    line("*% No JCL keywords: the rendering plug-in writes the job's PJL header.");

    // Paper: the sizes of the plug-in's paper table, under the keywords its
    // paper mapping uses. The default is the settings' default paper.
    const int32_t defaultPaper = ReadFieldValue(SettingsView{block.data(), block.size()}, kSettingPaperNumber);
    std::string defaultSize = tables.papers[0].keyword;
    for (size_t p = 0; p < tables.paperCount; ++p) {
        if (tables.papers[p].number == defaultPaper) {
            defaultSize = tables.papers[p].keyword;
            break;
        }
    }
    for (const char* const main : {"PageSize", "PageRegion"}) {
        const std::string keyword(main);
        line("*OpenUI *" + keyword + "/" + KeywordLabel(keyword) + ": PickOne");
        line("*OrderDependency: 10 AnySetup *" + keyword);
        line("*Default" + keyword + ": " + defaultSize);
        for (size_t p = 0; p < tables.paperCount; ++p) {
            const PaperRow& size = tables.papers[p];
            line("*" + keyword + " " + size.keyword + ": \"<</PageSize [" + std::to_string(Points(size.width)) + " " +
                 std::to_string(Points(size.length)) + "] /ImagingBBox null>> setpagedevice\"");
        }
        line("*CloseUI: *" + keyword);
    }
    line("*DefaultImageableArea: " + defaultSize);
    for (size_t p = 0; p < tables.paperCount; ++p) {
        const PaperRow& size = tables.papers[p];
        line(std::string("*ImageableArea ") + size.keyword + ": \"0 0 " + std::to_string(Points(size.width)) + " " +
             std::to_string(Points(size.length)) + "\"");
    }
    line("*DefaultPaperDimension: " + defaultSize);
    for (size_t p = 0; p < tables.paperCount; ++p) {
        const PaperRow& size = tables.papers[p];
        line(std::string("*PaperDimension ") + size.keyword + ": \"" + std::to_string(Points(size.width)) + " " +
             std::to_string(Points(size.length)) + "\"");
    }

    // The printer's own features. Each choice's code is the block body the
    // plug-in itself writes, so a job the plug-in never touched still invokes
    // the Custom ProcSet the same way. Duplex, trays and output bins have no
    // driver options of their own here: the ZT features carry them, and the
    // printer must not get two answers to one question.
    int order = 20;
    for (const PpdOption& option : options) {
        const std::string ui = IsBoolean(option) ? "Boolean" : "PickOne";
        line("*OpenUI *" + option.keyword + "/" + KeywordLabel(option.keyword) + ": " + ui);
        line("*OrderDependency: " + std::to_string(order++) + " " + SectionName(option.section) + " *" +
             option.keyword);
        line("*Default" + option.keyword + ": " + option.defaultChoice);
        for (const PpdChoice& choice : option.choices) {
            const std::string label = choice.name == kNeutralChoice ? "/Set by the printer settings" : "";
            line("*" + option.keyword + " " + choice.name + label + ": \"(" +
                 PostScriptStringBody(choice.invocationValue) + ") /Custom /ProcSet findresource /" + option.keyword +
                 " get exec\"");
        }
        line("*CloseUI: *" + option.keyword);
    }
    line("*% End of " + std::string(kPpdFileName));

    error = CheckPpdLines(ppd);
    if (!error.empty()) return std::string();
    return ppd;
}

std::string MakePluginIni() {
    const std::string text = std::string("[OEMFiles]\r\nOEMDriverFile1=") + kPluginDllName + "\r\n";
    std::string bytes("\xFF\xFE", 2);
    for (const char c : text) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

std::string MakeInf(const PackageNames& names) {
    std::string inf;
    const auto line = [&inf](const std::string& text) {
        inf += text;
        inf += "\r\n";
    };
    const std::string files[] = {kPpdFileName, kPluginDllName, kPluginIniFileName, kPaperListFileName};
    line(std::string("; ") + kInfFileName + ": the PostScript printer driver with the QM22TRD rendering plug-in,");
    line("; for 32-bit (x86) and 64-bit (amd64) Windows. Made by qm22t-package.");
    line("");
    line("[Version]");
    line("Signature=\"$Windows NT$\"");
    line("Class=Printer");
    line("ClassGUID={4D36E979-E325-11CE-BFC1-08002BE10318}");
    line("Provider=%Provider%");
    line("DriverVer=" + names.driverDate + "," + names.version);
    line(std::string("CatalogFile=") + kCatalogFileName);
    line("");
    line("[Manufacturer]");
    line("%Maker%=Models,NTx86,NTamd64");
    for (const char* const decoration : {"NTx86", "NTamd64"}) {
        line("");
        line(std::string("[Models.") + decoration + "]");
        for (size_t m = 0; m < kPrinterModelCount; ++m) {
            const PrinterModel& model = kPrinterModels[m];
            line(std::string("\"") + model.name + "\" = QM22T_PS, " + model.hardwareId + ", " + model.compatibleId);
        }
    }
    line("");
    // One install section serves both architectures: the decorated
    // [SourceDisksFiles] sections say where each build's plug-in lies.
    line("[QM22T_PS]");
    std::string copy = "CopyFiles=";
    for (size_t i = 0; i < sizeof files / sizeof files[0]; ++i) copy += (i == 0 ? "@" : ",@") + files[i];
    line(copy);
    line(std::string("DataFile=") + kPpdFileName);
    line("DataSection=PSCRIPT_DATA");
    line("Include=NTPRINT.INF");
    line("Needs=PSCRIPT.OEM,PSCRIPT_DATA");
    line("");
    line("[DestinationDirs]");
    line("DefaultDestDir=66000");
    for (const char* const arch : {"x86", "amd64"}) {
        line("");
        line(std::string("[SourceDisksNames.") + arch + "]");
        line("1=%Disk%,,,");
        line("");
        line(std::string("[SourceDisksFiles.") + arch + "]");
        for (const std::string& file : files) {
            line(file + (file == kPluginDllName ? std::string("=1,") + arch : std::string("=1")));
        }
    }
    line("");
    line("[Strings]");
    line(std::string("Provider=\"") + kProvider + "\"");
    line(std::string("Maker=\"") + kManufacturer + "\"");
    line("Disk=\"Production Inkjet PostScript driver package " + names.version + "\"");
    return inf;
}
