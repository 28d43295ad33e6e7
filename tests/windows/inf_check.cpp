// windows_inf_check: reads the driver package's INF with the system's own INF
// parser (setupapi) on Windows or Wine, for the architecture it is built for,
// and checks what an installation relies on: the models section decorated for
// this architecture, its install section, a source entry and a file in the
// package folder for every file every CopyFiles list names (the plug-in built
// for this architecture among them), DataFile naming the printer description
// that is copied, and what makes the package one a print server hands out:
// package-aware for this architecture, built on the PostScript core driver
// (the install section's CoreDriverSections naming a core driver the package
// section depends on), PnP lockdown and driver isolation.
//
//   windows_inf_check.exe PACKAGE-FOLDER
//
// It prints one line per check ("ok: ...", "FAIL: ...") and exits with 0 when
// no check failed, 1 otherwise, 2 for bad usage.

#include <windows.h>
#include <setupapi.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

#ifdef _WIN64
const wchar_t kDecoration[] = L"NTamd64";
const wchar_t kSourceFiles[] = L"SourceDisksFiles.amd64";
const wchar_t kPackageSection[] = L"PrinterPackageInstallation.amd64";
const WORD kMachine = IMAGE_FILE_MACHINE_AMD64;
#else
const wchar_t kDecoration[] = L"NTx86";
const wchar_t kSourceFiles[] = L"SourceDisksFiles.x86";
const wchar_t kPackageSection[] = L"PrinterPackageInstallation.x86";
const WORD kMachine = IMAGE_FILE_MACHINE_I386;
#endif

// The PostScript core driver's package, as Microsoft's documentation of core
// drivers lists it.
const wchar_t kPostScriptCore[] = L"{D20EA372-DD35-4950-9ED8-A6335AFE79F1}";

int failures = 0;

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (const wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

bool Check(bool passed, const std::string& what) {
    std::printf("%s: %s\n", passed ? "ok" : "FAIL", what.c_str());
    if (!passed) ++failures;
    return passed;
}

struct InfHandle {
    HINF inf;
    explicit InfHandle(HINF h) : inf(h) {}
    ~InfHandle() {
        if (inf != INVALID_HANDLE_VALUE) SetupCloseInfFile(inf);
    }
    InfHandle(const InfHandle&) = delete;
    InfHandle& operator=(const InfHandle&) = delete;
};

std::wstring Field(INFCONTEXT* context, DWORD index) {
    wchar_t buffer[512];
    DWORD needed = 0;
    if (!SetupGetStringFieldW(context, index, buffer, sizeof buffer / sizeof buffer[0], &needed)) return L"";
    return buffer;
}

bool SameText(const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()) == 0; }

bool EndsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() && SameText(text.substr(text.size() - end.size()), end);
}

// The machine field of a PE file's header, or 0.
WORD MachineOf(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    BYTE header[1024] = {};
    DWORD read = 0;
    const BOOL ok = ReadFile(file, header, sizeof header, &read, nullptr);
    CloseHandle(file);
    if (!ok || read < 64) return 0;
    const DWORD pe = header[60] | (header[61] << 8) | (header[62] << 16) | (static_cast<DWORD>(header[63]) << 24);
    if (pe + 6 > read || header[pe] != 'P' || header[pe + 1] != 'E') return 0;
    return static_cast<WORD>(header[pe + 4] | (header[pe + 5] << 8));
}

// The files a CopyFiles value names: "@FILE" is one file, anything else a
// section whose lines name the files.
std::vector<std::wstring> CopiedFiles(HINF inf, const std::wstring& install) {
    std::vector<std::wstring> files;
    INFCONTEXT line;
    if (!SetupFindFirstLineW(inf, install.c_str(), L"CopyFiles", &line)) return files;
    do {
        const DWORD count = SetupGetFieldCount(&line);
        for (DWORD i = 1; i <= count; ++i) {
            const std::wstring entry = Field(&line, i);
            if (entry.empty()) continue;
            if (entry[0] == L'@') {
                files.push_back(entry.substr(1));
                continue;
            }
            INFCONTEXT fileLine;
            if (!SetupFindFirstLineW(inf, entry.c_str(), nullptr, &fileLine)) {
                Check(false, "the CopyFiles section " + Narrow(entry) + " exists");
                continue;
            }
            do {
                files.push_back(Field(&fileLine, 1));
            } while (SetupFindNextLine(&fileLine, &fileLine));
        }
    } while (SetupFindNextMatchLineW(&line, L"CopyFiles", &line));
    return files;
}

// "{GUID}, A ,B" as its items without the blanks around them.
std::vector<std::wstring> SplitList(const std::wstring& list) {
    std::vector<std::wstring> items;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(L',', start);
        if (end == std::wstring::npos) end = list.size();
        std::wstring item = list.substr(start, end - start);
        while (!item.empty() && item.front() == L' ') item.erase(0, 1);
        while (!item.empty() && item.back() == L' ') item.pop_back();
        items.push_back(item);
        start = end + 1;
    }
    return items;
}

using GuidSet = std::set<std::wstring, bool (*)(const std::wstring&, const std::wstring&)>;

bool LessNoCase(const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()) < 0; }

// [Version]'s number of key, or -1.
int VersionNumber(HINF inf, const wchar_t* key) {
    INFCONTEXT line;
    INT value = -1;
    if (!SetupFindFirstLineW(inf, L"Version", key, &line) || !SetupGetIntField(&line, 1, &value)) return -1;
    return value;
}

// The package section of this architecture: package-aware, and the core
// drivers it depends on.
GuidSet CheckPackageSection(HINF inf) {
    GuidSet dependencies(LessNoCase);
    const std::string section = "[" + Narrow(kPackageSection) + "]";
    INFCONTEXT line;
    Check(SetupFindFirstLineW(inf, kPackageSection, L"PackageAware", &line) != FALSE &&
              SameText(Field(&line, 1), L"TRUE"),
          section + " PackageAware=TRUE");
    if (SetupFindFirstLineW(inf, kPackageSection, L"CoreDriverDependencies", &line)) {
        for (DWORD i = 1; i <= SetupGetFieldCount(&line); ++i) dependencies.insert(Field(&line, i));
    }
    Check(dependencies.count(kPostScriptCore) == 1,
          section + " CoreDriverDependencies names the PostScript core driver " + Narrow(kPostScriptCore));
    return dependencies;
}

void CheckInstallSection(HINF inf, const std::wstring& folder, const std::wstring& install,
                         const GuidSet& coreDependencies) {
    const std::string name = Narrow(install);
    if (!Check(SetupGetLineCountW(inf, install.c_str()) > 0, "install section [" + name + "] exists")) return;

    const std::vector<std::wstring> files = CopiedFiles(inf, install);
    Check(!files.empty(), "[" + name + "] copies files");
    bool pluginCopied = false;
    for (const std::wstring& file : files) {
        const std::string fileName = Narrow(file);
        INFCONTEXT entry;
        if (!Check(SetupFindFirstLineW(inf, kSourceFiles, file.c_str(), &entry) != FALSE,
                   fileName + " has an entry in [" + Narrow(kSourceFiles) + "]")) {
            continue;
        }
        UINT source = 0;
        wchar_t located[MAX_PATH] = {};
        DWORD needed = 0;
        Check(SetupGetSourceFileLocationW(inf, nullptr, file.c_str(), &source, located, MAX_PATH, &needed) != FALSE &&
                  std::to_wstring(source) == Field(&entry, 1),
              "setupapi finds the source disk of " + fileName);
        // The file lies in the disk's path, then the subfolder of its entry.
        // (What SetupGetSourceFileLocationW puts in its buffer differs: Wine
        // gives the disk's path alone.)
        wchar_t diskPath[MAX_PATH] = {};
        SetupGetSourceInfoW(inf, source, SRCINFO_PATH, diskPath, MAX_PATH, &needed);
        const std::wstring disk = diskPath;
        const std::wstring subfolder = Field(&entry, 2);
        std::wstring path = folder;
        for (const std::wstring* const part : {&disk, &subfolder}) {
            if (!part->empty()) path += L"\\" + *part;
        }
        path += L"\\" + file;
        const DWORD attributes = GetFileAttributesW(path.c_str());
        Check(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0,
              fileName + " is in the package as " + Narrow(path));
        if (EndsWith(file, L".DLL")) {
            Check(MachineOf(path) == kMachine, fileName + " is built for this architecture");
            Check(!SameText(file, L"QM22TIE.DLL"), fileName + " is no stand-in settings library");
            pluginCopied = pluginCopied || SameText(file, L"QM22TRD.DLL");
        }
    }
    Check(pluginCopied, "[" + name + "] copies the plug-in QM22TRD.DLL");

    INFCONTEXT line;
    std::wstring dataFile;
    if (SetupFindFirstLineW(inf, install.c_str(), L"DataFile", &line)) dataFile = Field(&line, 1);
    bool copied = false;
    for (const std::wstring& file : files) copied = copied || SameText(file, dataFile);
    Check(EndsWith(dataFile, L".PPD") && copied,
          "DataFile names the copied printer description (" + Narrow(dataFile) + ")");
    // The core driver's sections: each field is one quoted list "{GUID},SECTION,...".
    bool coreSections = false;
    if (Check(SetupFindFirstLineW(inf, install.c_str(), L"CoreDriverSections", &line) != FALSE,
              "[" + name + "] has CoreDriverSections")) {
        for (DWORD i = 1; i <= SetupGetFieldCount(&line); ++i) {
            const std::vector<std::wstring> items = SplitList(Field(&line, i));
            if (items.empty() || !SameText(items[0], kPostScriptCore)) continue;
            bool oem = false;
            bool data = false;
            for (const std::wstring& item : items) {
                oem = oem || SameText(item, L"PSCRIPT.OEM");
                data = data || SameText(item, L"PSCRIPT_DATA");
            }
            coreSections = oem && data;
        }
        Check(coreSections, "CoreDriverSections takes PSCRIPT.OEM and PSCRIPT_DATA of the PostScript core driver");
        Check(coreDependencies.count(kPostScriptCore) == 1,
              "the core driver of CoreDriverSections is one [" + Narrow(kPackageSection) + "] depends on");
    }
    // A driver on the core driver neither includes NTPRINT.INF nor names its
    // data section apart.
    for (const wchar_t* const key : {L"Include", L"Needs", L"DataSection"}) {
        Check(SetupFindFirstLineW(inf, install.c_str(), key, &line) == FALSE,
              "[" + name + "] has no " + Narrow(key) + " line");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::printf("usage: windows_inf_check PACKAGE-FOLDER\n");
        return 2;
    }
    wchar_t folderBuffer[MAX_PATH] = {};
    if (MultiByteToWideChar(CP_ACP, 0, argv[1], -1, folderBuffer, MAX_PATH) == 0) return 2;
    std::wstring folder = folderBuffer;
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    const std::wstring infPath = folder + L"\\QM22T.INF";

    UINT errorLine = 0;
    InfHandle inf(SetupOpenInfFileW(infPath.c_str(), nullptr, INF_STYLE_WIN4, &errorLine));
    if (!Check(inf.inf != INVALID_HANDLE_VALUE,
               "SetupOpenInfFileW opens " + Narrow(infPath) + " (error line " + std::to_string(errorLine) + ")")) {
        return 1;
    }

    INFCONTEXT line;
    Check(SetupFindFirstLineW(inf.inf, L"Version", L"Class", &line) != FALSE && SameText(Field(&line, 1), L"Printer"),
          "[Version] Class=Printer");
    Check(VersionNumber(inf.inf, L"PnpLockdown") == 1, "[Version] PnpLockdown=1");
    Check(VersionNumber(inf.inf, L"DriverIsolation") == 2, "[Version] DriverIsolation=2 (the driver runs isolated)");
    const GuidSet coreDependencies = CheckPackageSection(inf.inf);
    if (!Check(SetupFindFirstLineW(inf.inf, L"Manufacturer", nullptr, &line) != FALSE, "[Manufacturer] has a line")) {
        return 1;
    }
    const std::wstring models = Field(&line, 1);
    bool decorated = false;
    for (DWORD i = 2; i <= SetupGetFieldCount(&line); ++i)
        decorated = decorated || SameText(Field(&line, i), kDecoration);
    Check(decorated, "[Manufacturer] names the decoration " + Narrow(kDecoration));
    const std::wstring section = models + L"." + kDecoration;
    INFCONTEXT model;
    if (Check(SetupFindFirstLineW(inf.inf, section.c_str(), nullptr, &model) != FALSE,
              "the models section [" + Narrow(section) + "] exists")) {
        do {
            const std::wstring name = Field(&model, 0);
            Check(!name.empty() && name.find(L'%') == std::wstring::npos, "model \"" + Narrow(name) + "\"");
            Check(!Field(&model, 2).empty(),
                  "model \"" + Narrow(name) + "\" has a hardware ID " + Narrow(Field(&model, 2)));
            CheckInstallSection(inf.inf, folder, Field(&model, 1), coreDependencies);
        } while (SetupFindNextLine(&model, &model));
    }
    std::printf("%s: %d failure(s)\n", failures == 0 ? "passed" : "FAILED", failures);
    return failures == 0 ? 0 : 1;
}
