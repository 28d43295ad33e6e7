#include "package_files.h"

// The family as the plug-in knows it today: one printer. Each further model is
// one more row; the INF lists every row for both architectures.
const PrinterModel kPrinterModels[] = {
    {"Production Inkjet QM22T", "ProductionInkjetQM22T", "ProductionInkjet_PS", 600},
};
const size_t kPrinterModelCount = sizeof kPrinterModels / sizeof kPrinterModels[0];

namespace {

constexpr char kManufacturer[] = "Production Inkjet";
constexpr char kProvider[] = "Production Inkjet Printing Group";
// The PostScript core driver the package builds on, and the sections of it the
// install section takes (the driver's files and its data section).
constexpr char kPostScriptCoreDriver[] = "{D20EA372-DD35-4950-9ED8-A6335AFE79F1}";
constexpr char kCoreSections[] = "PSCRIPT.OEM,PSCRIPT_DATA";

}  // namespace

std::string MakePpd(const PackageTables& tables, const PackageNames& names, std::string& error) {
    const PrinterModel& printer = kPrinterModels[0];
    const PpdModel model = BuildPpdModel(tables, printer.resolutionDpi, error);
    if (!error.empty()) return std::string();
    return WriteWindowsPpd(model, printer, names.version, error);
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
    // Only a catalogue and the INF's own files may change what the install
    // touches, and the plug-in runs in the isolated driver host rather than in
    // the spooler.
    line("PnpLockdown=1");
    line("DriverIsolation=2");
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
    // The PostScript driver comes from its core driver package in the driver
    // store, named by its GUID; NTPRINT.INF is neither included nor needed.
    line(std::string("CoreDriverSections=\"") + kPostScriptCoreDriver + "," + kCoreSections + "\"");
    // Package-aware: Point and Print hands clients the whole signed package.
    for (const char* const arch : {"x86", "amd64"}) {
        line("");
        line(std::string("[PrinterPackageInstallation.") + arch + "]");
        line("PackageAware=TRUE");
        line(std::string("CoreDriverDependencies=") + kPostScriptCoreDriver);
    }
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
