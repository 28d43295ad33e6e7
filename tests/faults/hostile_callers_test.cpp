// Callers that break the interfaces' rules: each row is one hostile call (or
// sequence) through the loaded module with the answer it must get. None may
// crash (the suite runs under AddressSanitizer: a buffer the sizes lie about is
// exactly as long as it really is), hang, or lose bytes the plug-in took.
#include "fault_allocator.h"
#include "sweep_job.h"

#include "common/function_cast.h"
#include "harness/core_helper.h"
#include "harness/driver_hooks.h"
#include "platform/host/sim_control.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace faults {
namespace {

// The driver's functions touch nothing: a hostile case may hand the hooks any
// surface, which the harness's recording functions would write through.
BOOL APIENTRY DriverStartDoc(SURFOBJ*, LPWSTR, DWORD) { return TRUE; }
BOOL APIENTRY DriverEndDoc(SURFOBJ*, FLONG) { return TRUE; }

// A loaded module, an enabled plug-in object, one printer, and a device
// object whose private part came from the plug-in's own defaults.
struct Session {
    HMODULE module = nullptr;
    IPrintOemPS2* plugin = nullptr;
    harness::CoreHelper helper;
    harness::DriverServices services;
    DRVENABLEDATA hooks{};
    HANDLE printer = nullptr;
    DEVMODEW publicDm{};
    std::vector<BYTE> part = std::vector<BYTE>(12016, 0);
    DRVFN driverFunctions[2] = {{INDEX_DrvStartDoc, FunctionAs<PFN>(&DriverStartDoc)},
                                {INDEX_DrvEndDoc, FunctionAs<PFN>(&DriverEndDoc)}};
    DRVENABLEDATA driverTable{DDI_DRIVER_VERSION_NT5, 2, driverFunctions};
    DEVOBJ device{};
    SURFOBJ surface{};
    std::u16string name = u"Hostile";

    Session() {
        sim::Reset();
        printer = sim::AddPrinter(u"Hostile Printer");
        module = LoadLibraryW(sim::ToUtf16(PLUGIN_FOLDER "/QM22TRD.dll").c_str());
        auto getClassObject =
            FunctionAs<HRESULT (*)(REFCLSID, REFIID, LPVOID*)>(GetProcAddress(module, "DllGetClassObject"));
        IClassFactory* factory = nullptr;
        getClassObject(CLSID_OEMRENDER, IID_IClassFactory, reinterpret_cast<void**>(&factory));
        factory->CreateInstance(nullptr, IID_IPrintOemPS2, reinterpret_cast<void**>(&plugin));
        factory->Release();
        harness::Publisher publisher(&helper, &services);
        plugin->PublishDriverInterface(&publisher);
        plugin->PublishDriverInterface(&publisher);
        plugin->EnableDriver(PRINTER_OEMINTF_VERSION, sizeof hooks, &hooks);
        publicDm.dmSize = sizeof publicDm;
        publicDm.dmSpecVersion = DM_SPECVERSION;
        OEMDMPARAM param = Param();
        param.pPublicDMIn = &publicDm;
        param.pOEMDMOut = part.data();
        param.cbBufSize = 12016;
        plugin->DevMode(OEMDM_DEFAULT, &param);
        device.dwSize = sizeof device;
        device.hPrinter = printer;
        device.hOEM = module;
        device.pPublicDM = &publicDm;
        device.pOEMDM = part.data();
        surface.dhpdev = reinterpret_cast<DHPDEV>(&device);
    }
    ~Session() {
        if (device.pdevOEM != nullptr) plugin->DisablePDEV(&device);
        plugin->DisableDriver();
        plugin->Release();
        FreeLibrary(module);
    }
    OEMDMPARAM Param() {
        OEMDMPARAM param{};
        param.cbSize = sizeof param;
        param.hPrinter = printer;
        param.hModule = module;
        return param;
    }
    HRESULT Enable() {
        PDEVOEM block = nullptr;
        const HRESULT hr =
            plugin->EnablePDEV(&device, name.data(), 0, nullptr, 0, nullptr, 0, nullptr, &driverTable, &block);
        device.pdevOEM = block;
        return hr;
    }
    harness::PluginHooks Hooks() const { return harness::PluginHooks::From(hooks); }
    BOOL StartDoc(SURFOBJ* pso, LPWSTR docName) { return Hooks().startDoc(pso, docName, 3); }
    BOOL EndDoc(SURFOBJ* pso) { return Hooks().endDoc(pso, 0); }
    BOOL SendPage(SURFOBJ* pso) { return Hooks().sendPage(pso); }
    HRESULT Command() {
        DWORD result = 0;
        return plugin->Command(&device, PSINJECT_BEGINSTREAM, nullptr, 0, &result);
    }
    // The whole job's PostScript in writes of 512 bytes; the first failure ends it.
    HRESULT WriteJob(size_t upTo = std::string::npos) {
        const std::string& job = SweepJobStream();
        const size_t end = std::min(upTo, job.size());
        for (size_t at = 0; at < end; at += 512) {
            DWORD taken = 0;
            const DWORD count = static_cast<DWORD>(std::min<size_t>(512, end - at));
            const HRESULT hr = plugin->WritePrinter(&device, const_cast<char*>(job.data()) + at, count, &taken);
            if (FAILED(hr)) return hr;
        }
        return S_OK;
    }
    // A whole document as the driver runs it, for the cases that only change
    // the machine around it.
    bool Document() {
        if (FAILED(Enable()) || !StartDoc(&surface, name.data())) return false;
        Command();
        const bool written = SUCCEEDED(WriteJob());
        return EndDoc(&surface) != FALSE && written;
    }
};

struct Case {
    const char* name;
    // Runs the hostile call on a fresh session; true when the answer is the one expected.
    std::function<bool(Session&)> run;
};

// What a clean document leaves on the spooler, for the cases that must lose nothing.
const std::string& CleanDocument() {
    static const std::string bytes = [] {
        std::string out;
        std::thread([&] {
            Session s;
            if (s.Document()) out = sim::WrittenBytes(s.printer);
        }).join();
        return out;
    }();
    return bytes;
}

const Case kCases[] = {
    {"GetInfo without a place for the size",
     [](Session& s) {
         DWORD value = 0;
         return s.plugin->GetInfo(OEMGI_GETSIGNATURE, &value, sizeof value, nullptr) == E_FAIL &&
                GetLastError() == ERROR_INVALID_PARAMETER && value == 0;
     }},
    {"GetInfo into a zero-size buffer",
     [](Session& s) {
         DWORD needed = 0;
         return s.plugin->GetInfo(OEMGI_GETSIGNATURE, nullptr, 0, &needed) == E_FAIL && needed == 4;
     }},
    {"DevMode without parameters", [](Session& s) { return FAILED(s.plugin->DevMode(OEMDM_MERGE, nullptr)); }},
    {"DevMode defaults into a zero-size buffer",
     [](Session& s) {
         std::vector<BYTE> out(16, 0xAB);
         OEMDMPARAM param = s.Param();
         param.pPublicDMIn = &s.publicDm;
         param.pOEMDMOut = out.data();
         param.cbBufSize = 0;
         return FAILED(s.plugin->DevMode(OEMDM_DEFAULT, &param)) && out == std::vector<BYTE>(16, 0xAB);
     }},
    {"DevMode merge of a private part whose header claims 60000 bytes",
     [](Session& s) {
         auto in = std::make_unique<BYTE[]>(12016);
         std::memcpy(in.get(), s.part.data(), 12016);
         const DWORD lie = 60000;
         std::memcpy(in.get(), &lie, sizeof lie);
         OEMDMPARAM param = s.Param();
         param.pPublicDMIn = &s.publicDm;
         param.pOEMDMIn = in.get();
         param.pOEMDMOut = s.part.data();
         param.cbBufSize = 12016;
         // Merged into a part that names its true size; nothing read past the 12016 bytes.
         const HRESULT hr = s.plugin->DevMode(OEMDM_MERGE, &param);
         DWORD size = 0;
         std::memcpy(&size, s.part.data(), sizeof size);
         return hr == S_OK && size == 12016;
     }},
    {"DevMode merge with a public DEVMODE whose sizes lie",
     [](Session& s) {
         auto lying = std::make_unique<DEVMODEW>();
         *lying = s.publicDm;
         lying->dmSize = 0xFFFF;
         lying->dmDriverExtra = 0xFFFF;
         DEVMODEW out = s.publicDm;
         OEMDMPARAM param = s.Param();
         param.pPublicDMIn = lying.get();
         param.pPublicDMOut = &out;
         param.pOEMDMIn = s.part.data();
         param.pOEMDMOut = s.part.data();
         param.cbBufSize = 12016;
         // Read as far as a DEVMODEW goes and no further.
         const HRESULT hr = s.plugin->DevMode(OEMDM_MERGE, &param);
         return hr == S_OK;
     }},
    {"EnablePDEV without a place for the block",
     [](Session& s) {
         return s.plugin->EnablePDEV(&s.device, s.name.data(), 0, nullptr, 0, nullptr, 0, nullptr, &s.driverTable,
                                     nullptr) == E_FAIL;
     }},
    {"EnableDriver without a table",
     [](Session& s) { return s.plugin->EnableDriver(PRINTER_OEMINTF_VERSION, 0, nullptr) == E_POINTER; }},
    {"PublishDriverInterface of nothing",
     [](Session& s) { return s.plugin->PublishDriverInterface(nullptr) == E_POINTER; }},
    {"hooks without a surface",
     [](Session& s) {
         return s.StartDoc(nullptr, s.name.data()) == FALSE && s.EndDoc(nullptr) == FALSE &&
                s.SendPage(nullptr) == FALSE;
     }},
    {"StartDoc without a document name",
     [](Session& s) {
         return SUCCEEDED(s.Enable()) && s.StartDoc(&s.surface, nullptr) != FALSE && s.EndDoc(&s.surface) != FALSE;
     }},
    {"Command without a device object or result",
     [](Session& s) {
         return s.plugin->Command(nullptr, PSINJECT_BEGINSTREAM, nullptr, 0, nullptr) == E_FAIL &&
                sim::WrittenBytes(s.printer).empty();
     }},
    {"WritePrinter of null bytes",
     [](Session& s) {
         DWORD taken = 7;
         return SUCCEEDED(s.Enable()) && s.plugin->WritePrinter(&s.device, nullptr, 10, &taken) == E_POINTER &&
                taken == 0;
     }},
    {"WritePrinter of zero bytes, no place for the count",
     [](Session& s) {
         char byte = 'x';
         return SUCCEEDED(s.Enable()) && s.plugin->WritePrinter(&s.device, &byte, 0, nullptr) == S_OK &&
                sim::WrittenBytes(s.printer).empty();
     }},
    {"a spooler that reports taking more than it was offered",
     [](Session& s) {
         std::string spooled;
         sim::SetWriteSink(s.printer, [&](const void* bytes, DWORD count) {
             spooled.append(static_cast<const char*>(bytes), count);
             return sim::WriteOutcome{TRUE, count + 1000, 0};
         });
         const bool whole = s.Document();
         sim::SetWriteSink(s.printer, nullptr);
         return whole && spooled == CleanDocument();
     }},
    {"a spooler that takes 0 bytes forever",
     [](Session& s) {
         sim::SetWriteLimit(0);
         const bool whole = s.Document();
         return !whole && GetLastError() == ERROR_WRITE_FAULT && sim::WrittenBytes(s.printer).empty();
     }},
    {"EndDoc before StartDoc, then the document",
     [](Session& s) {
         if (FAILED(s.Enable())) return false;
         s.EndDoc(&s.surface);
         const bool started = s.StartDoc(&s.surface, s.name.data()) != FALSE;
         s.Command();
         return started && SUCCEEDED(s.WriteJob()) && s.EndDoc(&s.surface) != FALSE &&
                sim::WrittenBytes(s.printer) == CleanDocument();
     }},
    {"EndDoc twice",
     [](Session& s) {
         if (!s.Document()) return false;
         s.EndDoc(&s.surface);
         return sim::WrittenBytes(s.printer) == CleanDocument();
     }},
    {"StartDoc twice",
     [](Session& s) {
         if (FAILED(s.Enable()) || !s.StartDoc(&s.surface, s.name.data())) return false;
         std::u16string other = u"Other";
         const bool again = s.StartDoc(&s.surface, other.data()) != FALSE;
         s.Command();
         return again && SUCCEEDED(s.WriteJob()) && s.EndDoc(&s.surface) != FALSE && s.EndDoc(&s.surface) != FALSE &&
                sim::WrittenBytes(s.printer) == CleanDocument();
     }},
    {"DisablePDEV with a document open",
     [](Session& s) {
         if (FAILED(s.Enable()) || !s.StartDoc(&s.surface, s.name.data())) return false;
         s.Command();
         // The driver stops 6 bytes short of the job's end, after "%%E": the
         // filter holds those bytes, which could still become a marker.
         if (FAILED(s.WriteJob(SweepJobStream().size() - 6))) return false;
         const HRESULT hr = s.plugin->DisablePDEV(&s.device);
         const bool freed = s.device.pdevOEM == nullptr;
         // What the plug-in took went out, the held partial line included.
         const std::string& clean = CleanDocument();
         return hr == S_OK && freed && sim::WrittenBytes(s.printer) == clean.substr(0, clean.size() - 6);
     }},
    {"ResetPDEV and DisablePDEV without device objects",
     [](Session& s) {
         return s.plugin->ResetPDEV(nullptr, nullptr) == S_OK && s.plugin->DisablePDEV(nullptr) == S_OK;
     }},
};

TEST(HostileCallers, EveryCaseGetsItsAnswer) {
    ASSERT_FALSE(CleanDocument().empty());
    unsigned failures = 0;
    for (const Case& c : kCases) {
        bool answered = false;
        size_t left = 0;
        // Its own thread: the document hooks keep their state per thread.
        std::thread([&] {
            ResetAllocations();
            {
                Session s;
                PluginCall scope(c.name);
                answered = c.run(s);
            }
            left = LivePluginAllocations();
        }).join();
        if (!answered || left != 0) {
            ++failures;
            ADD_FAILURE() << c.name << ": " << (answered ? "" : "wrong answer; ") << left
                          << " plug-in allocations left";
        }
    }
    std::printf("hostile-callers: cases=%zu failures=%u\n", sizeof kCases / sizeof kCases[0], failures);
}

// The two faults the call sweep found, one case each with the spooler's bytes
// written out: a header the spooler stops taking part-way ends the job there
// (before, the next chunks and the whole body followed behind the gap), and a
// stream whose last write met a spooler failure is finished by EndDoc with its
// setup sections rewritten (before, they went out as the driver wrote them).
TEST(SpoolerFaults, HeaderCutShortFailsTheRestOfTheDocument) {
    const std::string clean = CleanDocument();
    ASSERT_GT(clean.size(), 1000u);
    std::thread([&] {
        Session s;
        std::string spooled;
        sim::SetWriteSink(s.printer, [&](const void* bytes, DWORD count) {
            if (spooled.size() >= 1000) return sim::WriteOutcome{FALSE, 0, kInjectedError};
            const DWORD take = std::min<DWORD>(count, static_cast<DWORD>(1000 - spooled.size()));
            spooled.append(static_cast<const char*>(bytes), take);
            return sim::WriteOutcome{TRUE, take, 0};
        });
        ASSERT_EQ(s.Enable(), S_OK);
        ASSERT_NE(s.StartDoc(&s.surface, s.name.data()), FALSE);
        SetLastError(0);
        EXPECT_EQ(s.Command(), E_NOTIMPL);  // the driver still injects nothing
        EXPECT_EQ(GetLastError(), kInjectedError);
        EXPECT_EQ(spooled, clean.substr(0, 1000));
        EXPECT_EQ(spooled.substr(0, 15), "\x1B%-12345X@PJL\r\n");
        char line[] = "%!PS-Adobe-3.0\r\n";
        DWORD taken = 99;
        SetLastError(0);
        EXPECT_EQ(s.plugin->WritePrinter(&s.device, line, sizeof line - 1, &taken), E_FAIL);
        EXPECT_EQ(taken, 0u);
        EXPECT_EQ(GetLastError(), kInjectedError);
        SetLastError(0);
        EXPECT_EQ(s.EndDoc(&s.surface), FALSE);
        EXPECT_EQ(GetLastError(), kInjectedError);
        EXPECT_EQ(spooled.size(), 1000u);
        sim::SetWriteSink(s.printer, nullptr);
    }).join();
}

TEST(SpoolerFaults, FailureInTheLastWriteIsMadeGoodAtEndDoc) {
    const std::string clean = CleanDocument();
    std::thread([&] {
        Session s;
        ASSERT_EQ(s.Enable(), S_OK);
        ASSERT_NE(s.StartDoc(&s.surface, s.name.data()), FALSE);
        s.Command();
        // The spooler's writes: the header, the lines up to "%%BeginSetup", then
        // the rewritten document setup, which fails once.
        sim::FailCalls(sim::Api::WritePrinter, kInjectedError, 2, 1);
        const std::string& job = SweepJobStream();
        DWORD taken = 0;
        EXPECT_EQ(
            s.plugin->WritePrinter(&s.device, const_cast<char*>(job.data()), static_cast<DWORD>(job.size()), &taken),
            E_FAIL);
        EXPECT_EQ(taken, job.size());
        EXPECT_NE(s.EndDoc(&s.surface), FALSE);
        EXPECT_EQ(sim::WrittenBytes(s.printer), clean);
        const std::string body = clean.substr(clean.find("%!PS-"));
        EXPECT_EQ(body.substr(body.size() - 8), "%%EOF\r\n\x04");
        EXPECT_NE(body.find("%%BeginFeature: *ZTStapleMode"), std::string::npos);
    }).join();
}

}  // namespace
}  // namespace faults
