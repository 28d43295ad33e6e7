// Whole jobs through the one loaded plug-in module, 1, 2 and 4 at a time, each
// on its own thread with its own printer and plug-in object, as a print
// server's spooler runs them; and the memory an open device object holds.
//
//   BM_JobsAtOnce/threads:N   each thread runs whole jobs (EnablePDEV, StartDoc,
//                             job header, an 8 MiB job in 64 KiB writes, EndDoc,
//                             DisablePDEV) one after the other, N threads at
//                             once. MBps_all is all jobs together and
//                             MBps_per_job one job's share, by wall time.
//   BM_JobCpuAtOnce/threads:N the same; MBps_per_job_cpu is one job's bytes
//                             over its own thread's CPU time: what a job costs
//                             while the others run, which a shared machine
//                             does not blur.
//   BM_OpenDeviceObjects      64 device objects enabled, each with a document
//                             started, its header written and a setup section
//                             held open: bytes_enabled and bytes_in_document are
//                             the heap bytes each holds after EnablePDEV and
//                             after those writes.
//
// The spooler takes every byte and keeps none (a sink per printer), so the
// figures are the plug-in's own. Run with the host-release preset:
//   build/host-release/bin/concurrent_jobs_bench
#include "platform/host/sim_control.h"
#include "platform/platform.h"

#include "harness/driver_session.h"
#include "common/function_cast.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <atomic>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr size_t kJobBytes = 8u << 20;
constexpr size_t kWriteBytes = 64u << 10;
constexpr double kMB = 1e6;

using GetClassObjectProc = HRESULT (*)(REFCLSID, REFIID, LPVOID*);

// The module, loaded once for the program as the spooler loads it once.
struct Module {
    HMODULE handle = nullptr;
    GetClassObjectProc getClassObject = nullptr;

    Module() {
        sim::Reset();
        SYSTEMTIME now{};
        now.wYear = 2026;
        now.wMonth = 12;
        now.wDay = 8;
        sim::SetLocalTime(now);
        const std::u16string path = sim::ToUtf16(PLUGIN_MODULE_PATH);
        handle = LoadLibraryW(path.c_str());
        if (handle != nullptr) {
            getClassObject =
                FunctionAs<HRESULT(REFCLSID, REFIID, LPVOID*)>(GetProcAddress(handle, "DllGetClassObject"));
        }
    }
};

Module& TheModule() {
    static Module module;
    return module;
}

// A DSC job: a document setup with printer features, then pages of text with
// a binary body each, to kJobBytes.
const std::string& JobText() {
    static const std::string job = [] {
        std::mt19937 random(7);
        std::string ps = "%!PS-Adobe-3.0\r\n%%Title: bench\r\n%%EndComments\r\n%%BeginProlog\r\n%%EndProlog\r\n";
        ps += "%%BeginSetup\r\n";
        for (const char* feature : {"ZTDuplex None", "PageRegion A4", "ZTMediaType Plain", "Resolution 600dpi"}) {
            ps += "featurebegin{\r\n%%BeginFeature: *" + std::string(feature) + "\r\n<< >> setpagedevice\r\n" +
                  "%%EndFeature\r\n}featurecleanup\r\n";
        }
        ps += "%%EndSetup\r\n";
        for (int page = 1; ps.size() < kJobBytes; ++page) {
            ps += "%%Page: " + std::to_string(page) + " " + std::to_string(page) + "\r\n%%BeginPageSetup\r\n";
            ps += "/pagesave save def\r\n%%EndPageSetup\r\n";
            for (int line = 0; line < 400; ++line) ps += "100 200 moveto (a line of page text) show\r\n";
            std::string binary(64u << 10, '\0');
            for (char& c : binary) c = static_cast<char>(random() & 0xFF);
            ps += "%%BeginBinary: 65536\r\n" + binary + "\r\n%%EndBinary\r\nshowpage\r\n";
        }
        ps += "%%EOF\r\n";
        return ps;
    }();
    return job;
}

std::atomic<unsigned> printerNumber{0};

// One thread's driver: a printer of its own, a plug-in object with the
// driver's interfaces, and settings from the sibling's defaults.
struct Driver {
    HANDLE printer = nullptr;
    IPrintOemPS2* plugin = nullptr;
    harness::CoreHelper coreHelper;
    harness::DriverServices driverServices;
    harness::PluginHooks hooks;
    DEVMODEW publicDm{};
    std::vector<BYTE> part;
    bool ready = false;

    Driver() {
        Module& module = TheModule();
        if (module.getClassObject == nullptr) return;
        printer = sim::AddPrinter(u"Bench " + sim::ToUtf16(std::to_string(printerNumber++)));
        sim::SetWriteSink(printer, [](const void*, DWORD count) { return sim::WriteOutcome{TRUE, count, 0}; });
        IClassFactory* factory = nullptr;
        if (module.getClassObject(CLSID_OEMRENDER, IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK) {
            return;
        }
        factory->CreateInstance(nullptr, IID_IPrintOemPS2, reinterpret_cast<void**>(&plugin));
        factory->Release();
        if (plugin == nullptr) return;
        harness::PublishDriverInterfaces(plugin, &coreHelper, &driverServices);
        DRVENABLEDATA table{};
        plugin->EnableDriver(DDI_DRIVER_VERSION_NT5, sizeof table, &table);
        hooks = harness::PluginHooks::From(table);
        publicDm.dmSize = sizeof publicDm;
        const harness::DeviceSettingsRequests requests{plugin, printer, module.handle};
        DWORD size = 0;
        if (requests.Size(&size) != S_OK) return;
        part.assign(size, 0);
        DEVMODEW publicOut = publicDm;
        ready = requests.Defaults(&publicDm, &publicOut, part.data(), size) == S_OK && hooks.Complete();
    }
    ~Driver() {
        if (plugin != nullptr) {
            plugin->DisableDriver();
            plugin->Release();
        }
        if (printer != nullptr) ClosePrinter(printer);
    }
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;
};

// A device object of one job, with the driver's DDI functions under the hooks.
struct Device {
    harness::Job job;
    bool enabled = false;

    Device(Driver& driver, std::vector<BYTE>& part)
        : job(driver.plugin, driver.hooks, driver.printer, TheModule().handle, &driver.publicDm, part.data()) {
        enabled = job.Enable(nullptr) == S_OK;
    }
    bool Start() {
        DWORD result = 0;
        return job.Start(u"bench", 1) && job.BeginStream(&result) == E_NOTIMPL;
    }
    bool Write(const char* bytes, size_t count) {
        DWORD taken = 0;
        return job.Write(bytes, static_cast<DWORD>(count), &taken) == S_OK && taken == count;
    }
};

void RunJobs(benchmark::State& state, bool wallTime) {
    const std::string& job = JobText();
    Driver driver;
    if (!driver.ready) {
        state.SkipWithError("the plug-in did not load or answer");
        return;
    }
    for (auto _ : state) {
        Device device(driver, driver.part);
        bool ok = device.enabled && device.Start();
        for (size_t at = 0; ok && at < job.size(); at += kWriteBytes) {
            ok = device.Write(job.data() + at, std::min(kWriteBytes, job.size() - at));
        }
        ok = device.job.End(!ok) && ok;
        if (!ok) {
            state.SkipWithError("a job step failed");
            break;
        }
    }
    const double bytes = static_cast<double>(state.iterations()) * static_cast<double>(job.size());
    // Google Benchmark adds up the threads' bytes; it divides by the wall time
    // of the run, or by the threads' CPU times added up.
    if (wallTime) {
        state.counters["MBps_all"] = benchmark::Counter(bytes / kMB, benchmark::Counter::kIsRate);
        state.counters["MBps_per_job"] =
            benchmark::Counter(bytes / kMB, benchmark::Counter::kIsRate | benchmark::Counter::kAvgThreads);
    } else {
        state.counters["MBps_per_job_cpu"] = benchmark::Counter(bytes / kMB, benchmark::Counter::kIsRate);
    }
}

void BM_JobsAtOnce(benchmark::State& state) { RunJobs(state, true); }
void BM_JobCpuAtOnce(benchmark::State& state) { RunJobs(state, false); }
BENCHMARK(BM_JobsAtOnce)->Threads(1)->Threads(2)->Threads(4)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JobCpuAtOnce)->Threads(1)->Threads(2)->Threads(4)->Unit(benchmark::kMillisecond);

size_t HeapInUse() { return mallinfo2().uordblks; }

void BM_OpenDeviceObjects(benchmark::State& state) {
    constexpr size_t kDevices = 64;
    const std::string& job = JobText();
    // The setup section stays open: the filter holds it until its end marker.
    const size_t setupEnd = job.find("%%EndSetup");
    Driver driver;
    if (!driver.ready) {
        state.SkipWithError("the plug-in did not load or answer");
        return;
    }
    std::vector<std::vector<BYTE>> parts(kDevices, driver.part);
    double enabledBytes = 0;
    double documentBytes = 0;
    for (auto _ : state) {
        std::vector<std::unique_ptr<Device>> devices;
        devices.reserve(kDevices);
        const size_t before = HeapInUse();
        for (size_t i = 0; i < kDevices; ++i) devices.push_back(std::make_unique<Device>(driver, parts[i]));
        const size_t enabled = HeapInUse();
        bool ok = true;
        for (auto& device : devices) {
            ok = ok && device->enabled && device->Start() && device->Write(job.data(), setupEnd);
        }
        const size_t inDocument = HeapInUse();
        for (auto& device : devices) device->job.End(false);
        if (!ok) {
            state.SkipWithError("a job step failed");
            break;
        }
        // The Device records themselves are the test's, not the plug-in's.
        const double own = static_cast<double>(sizeof(Device));
        enabledBytes = static_cast<double>(enabled - before) / kDevices - own;
        documentBytes = static_cast<double>(inDocument - before) / kDevices - own;
    }
    state.counters["bytes_enabled"] = enabledBytes;
    state.counters["bytes_in_document"] = documentBytes;
}
BENCHMARK(BM_OpenDeviceObjects)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
