// Many jobs at once through the one loaded module, as a print server's spooler
// renders them: each job on its own thread with its own printer, plug-in
// object, settings, document name, write sizes and spooler. Every job's spooled
// bytes must equal the same job run alone. Run under ThreadSanitizer by the
// host-tsan preset.
#include "fixed_clock.h"
#include "frame_fakes.h"
#include "harness/core_helper.h"
#include "harness/driver_hooks.h"
#include "harness/driver_session.h"
#include "hex_digits.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using GetClassObjectProc = HRESULT (*)(REFCLSID, REFIID, LPVOID*);
using CanUnloadNowProc = HRESULT (*)();

// Read by main() for the summary line.
std::atomic<unsigned> concurrentJobsRun{0};
std::atomic<unsigned> concurrentMismatches{0};

// What the driver's own DDI functions saw, per thread: the driver renders a
// job on one thread, so each job reads its own record.
struct DriverCalls {
    std::vector<std::u16string> startDocNames;
    int endDocs = 0;
    int sendPages = 0;
};
thread_local DriverCalls driverCalls;

BOOL APIENTRY DriverStartDoc(SURFOBJ*, LPWSTR name, DWORD) {
    driverCalls.startDocNames.push_back(name != nullptr ? std::u16string(name) : u"<null>");
    return TRUE;
}
BOOL APIENTRY DriverEndDoc(SURFOBJ*, FLONG) {
    ++driverCalls.endDocs;
    return TRUE;
}
BOOL APIENTRY DriverSendPage(SURFOBJ*) {
    ++driverCalls.sendPages;
    return TRUE;
}

// All parties wait until the last one arrives; a gate for one lets it through.
class Gate {
public:
    explicit Gate(unsigned parties) : parties_(parties) {}
    void Pass() {
        std::unique_lock<std::mutex> lock(mutex_);
        const unsigned round = round_;
        if (++arrived_ == parties_) {
            arrived_ = 0;
            ++round_;
            all_.notify_all();
            return;
        }
        all_.wait(lock, [&] { return round_ != round; });
    }

private:
    std::mutex mutex_;
    std::condition_variable all_;
    unsigned parties_;
    unsigned arrived_ = 0;
    unsigned round_ = 0;
};

// One whole job as the driver and spooler would run it.
struct JobSpec {
    std::u16string printerName;
    int16_t copies = 1;
    int16_t paper = 9;
    std::u16string comment;
    std::u16string documentName;
    std::u16string laterName;  // a second StartDoc of the same document brings this one
    std::string postscript;
    std::vector<size_t> cuts;            // write boundaries: 0, ..., postscript.size()
    DWORD spoolerTakes = sim::kNoLimit;  // at most this many bytes per WritePrinter call
    bool throughSink = false;            // the spooler hands the bytes to a sink instead of recording
};

struct JobResult {
    std::string spooled;   // everything the job's printer took
    std::string failures;  // empty when every step answered as it should
};

std::string Utf8(const std::u16string& text) { return sim::ToUtf8(text); }

// Jobs differ in every respect the plug-in reads: copies, paper, comment text,
// document name, the PostScript itself, where the driver cuts its writes and how
// much the spooler takes per call.
JobSpec MakeJob(unsigned id) {
    std::mt19937 random(1000u + id);
    JobSpec job;
    job.printerName = u"Printer " + sim::ToUtf16(std::to_string(id));
    job.copies = static_cast<int16_t>(1 + (id * 7) % 40);
    static const int16_t kPapers[] = {1, 5, 8, 9, 11, 13};
    job.paper = kPapers[id % 6];
    job.comment = u"Comment \u00e9\u00df " + sim::ToUtf16(std::to_string(id * 31));
    job.documentName = u"Report \u2116" + sim::ToUtf16(std::to_string(id)) + u" \U0001F5A8";
    job.laterName = u"Not this name " + sim::ToUtf16(std::to_string(id));

    std::string& ps = job.postscript;
    ps = "%!PS-Adobe-3.0\r\n%%Title: " + Utf8(job.documentName) + "\r\n%%EndComments\r\n";
    ps += "%%BeginProlog\r\n/F { findfont } bind def\r\n%%EndProlog\r\n%%BeginSetup\r\n";
    ps +=
        "featurebegin{\r\n%%BeginFeature: *ZTDuplex None\r\n<</Duplex false>> setpagedevice\r\n"
        "%%EndFeature\r\n}featurecleanup\r\n";
    ps +=
        "featurebegin{\r\n%%BeginFeature: *PageRegion A4\r\n<</PageSize [595 842]>> setpagedevice\r\n"
        "%%EndFeature\r\n}featurecleanup\r\n%%EndSetup\r\n";
    const unsigned pages = 1 + id % 4;
    for (unsigned page = 1; page <= pages; ++page) {
        ps += "%%Page: " + std::to_string(page) + " " + std::to_string(page) + "\r\n";
        if (page % 2 == 0) ps += "%%ViewingOrientation: 0 1 -1 0\r\n";
        ps += "%%EndPageComments\r\n%%BeginPageSetup\r\n/pagesave save def\r\n%%EndPageSetup\r\n";
        const unsigned lines = 50 + random() % 400;
        for (unsigned line = 0; line < lines; ++line) {
            ps += std::to_string(random() % 600) + " " + std::to_string(random() % 800) + " moveto (job " +
                  std::to_string(id) + " line " + std::to_string(line) + ") show\r\n";
        }
        // A page body with bytes of every value, and no line end for a while.
        std::string binary(2000 + random() % 6000, '\0');
        for (char& c : binary) c = static_cast<char>(random() & 0xFF);
        ps += "%%BeginBinary: " + std::to_string(binary.size()) + "\r\n" + binary + "\r\n%%EndBinary\r\n";
        ps += "showpage\r\n%%PageTrailer\r\n";
    }
    ps += "%%Trailer\r\n%%EOF\r\n\x1B%-12345X";

    // Writes of 1 byte up to 8 KiB, as drivers make them.
    static const size_t kSizes[] = {1, 2, 7, 64, 333, 1024, 4096, 8192};
    job.cuts.push_back(0);
    while (job.cuts.back() < ps.size()) {
        const size_t size = kSizes[random() % 8] + (random() % 3 == 0 ? 0 : random() % 50);
        job.cuts.push_back(std::min(ps.size(), job.cuts.back() + size));
    }
    static const DWORD kTakes[] = {sim::kNoLimit, 1000, 4096, 333, 65536};
    job.spoolerTakes = kTakes[id % 5];
    job.throughSink = id % 3 == 1;
    return job;
}

class ConcurrentJobs : public ::testing::Test {
protected:
    static HMODULE module;
    static GetClassObjectProc getClassObject;
    static CanUnloadNowProc canUnloadNow;

    // The module is loaded once for every job of the program, as the spooler
    // keeps one copy of it in its process.
    static void SetUpTestSuite() {
        sim::Reset();
        const std::u16string path = sim::ToUtf16(PLUGIN_MODULE_PATH);
        module = LoadLibraryW(path.c_str());
        ASSERT_NE(module, nullptr) << sim::LastLoaderError();
        getClassObject = FunctionAs<HRESULT(REFCLSID, REFIID, LPVOID*)>(GetProcAddress(module, "DllGetClassObject"));
        canUnloadNow = FunctionAs<HRESULT()>(GetProcAddress(module, "DllCanUnloadNow"));
        ASSERT_NE(getClassObject, nullptr);
        ASSERT_NE(canUnloadNow, nullptr);
    }
    static void TearDownTestSuite() {
        if (module != nullptr) FreeLibrary(module);
        module = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(module, nullptr);
        sim::Reset();
        SetFixedLocalTime(2026, 12, 8, 2, 6);
        sim::SetUserName(u"spooler");
    }
    void TearDown() override {
        if (module != nullptr) {
            EXPECT_EQ(canUnloadNow(), S_OK) << "a job left objects or locks behind";
        }
    }

    // Runs `job` on the calling thread. `gate` holds the job at the points
    // where the concurrent run lines all jobs up: before the document starts,
    // between its two StartDoc calls and before it ends.
    static JobResult RunJob(const JobSpec& job, Gate& gate) {
        JobResult result;
        auto fail = [&](const std::string& what) { result.failures += what + "\n"; };
        driverCalls = DriverCalls{};

        const HANDLE printer = sim::AddPrinter(job.printerName);
        std::string sunk;
        if (job.throughSink) {
            const DWORD takes = job.spoolerTakes;
            sim::SetWriteSink(printer, [&sunk, takes](const void* bytes, DWORD count) {
                const DWORD taken = std::min(count, takes);
                sunk.append(static_cast<const char*>(bytes), taken);
                return sim::WriteOutcome{TRUE, taken, 0};
            });
        } else {
            sim::SetWriteLimit(printer, job.spoolerTakes);
        }

        IClassFactory* factory = nullptr;
        if (getClassObject(CLSID_OEMRENDER, IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK) {
            fail("DllGetClassObject");
            return result;
        }
        IPrintOemPS2* plugin = nullptr;
        const HRESULT created = factory->CreateInstance(nullptr, IID_IPrintOemPS2, reinterpret_cast<void**>(&plugin));
        factory->Release();
        if (created != S_OK) {
            fail("CreateInstance");
            return result;
        }
        harness::CoreHelper coreHelper;
        harness::DriverServices driverServices;
        harness::PublishDriverInterfaces(plugin, &coreHelper, &driverServices);
        DRVENABLEDATA hooks{};
        if (plugin->EnableDriver(DDI_DRIVER_VERSION_NT5, sizeof hooks, &hooks) != S_OK) fail("EnableDriver");
        const auto [startDoc, endDoc, sendPage] = harness::PluginHooks::From(hooks);

        // The job's settings: the sibling's defaults, the job's own values, and
        // the merge that validates them, as the driver asks for them.
        DEVMODEW publicDm{};
        publicDm.dmSize = sizeof publicDm;
        publicDm.dmPaperSize = static_cast<short>(job.paper);
        std::vector<BYTE> part(kTestPrivatePartBytes, 0);
        const harness::DeviceSettingsRequests requests{plugin, printer, module};
        DWORD size = 0;
        if (requests.Size(&size) != S_OK || size != part.size()) fail("DevMode(size)");
        DEVMODEW publicOut = publicDm;
        const DWORD bytes = static_cast<DWORD>(part.size());
        if (requests.Defaults(&publicDm, &publicOut, part.data(), bytes) != S_OK) fail("DevMode(default)");
        BYTE* settings = part.data() + kTestSettingsOffset;
        std::memcpy(settings + 1224, &job.copies, 2);                                     // CopyCount
        std::memcpy(settings + 376, &job.paper, 2);                                       // PaperNumber
        std::memcpy(settings + 5174, job.comment.c_str(), (job.comment.size() + 1) * 2);  // ZTJobComment
        if (requests.Merge(&publicDm, &publicOut, part.data(), bytes) != S_OK) fail("DevMode(merge)");

        DEVOBJ device{};
        device.dwSize = sizeof device;
        device.hPrinter = printer;
        device.hOEM = module;
        device.pPublicDM = &publicDm;
        device.pOEMDM = part.data();
        DRVFN driverFunctions[] = {{INDEX_DrvStartDoc, FunctionAs<PFN>(&DriverStartDoc)},
                                   {INDEX_DrvEndDoc, FunctionAs<PFN>(&DriverEndDoc)},
                                   {INDEX_DrvSendPage, FunctionAs<PFN>(&DriverSendPage)}};
        DRVENABLEDATA driver{DDI_DRIVER_VERSION_NT5, 3, driverFunctions};
        PDEVOEM block = nullptr;
        if (plugin->EnablePDEV(&device, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, &driver, &block) != S_OK ||
            block == nullptr || startDoc == nullptr || endDoc == nullptr || sendPage == nullptr) {
            fail("EnablePDEV");
        } else {
            device.pdevOEM = block;
            SURFOBJ surface{};
            surface.dhpdev = reinterpret_cast<DHPDEV>(&device);

            gate.Pass();
            std::u16string name = job.documentName;
            if (!startDoc(&surface, name.data(), 11)) fail("first StartDoc");
            gate.Pass();
            // Every job's first StartDoc has now happened: a later StartDoc of
            // the document must still record this thread's first name.
            std::u16string later = job.laterName;
            if (!startDoc(&surface, later.data(), 11)) fail("second StartDoc");
            DWORD commandResult = 0;
            if (plugin->Command(&device, PSINJECT_BEGINSTREAM, nullptr, 0, &commandResult) != E_NOTIMPL)
                fail("Command(begin stream)");

            const std::string& ps = job.postscript;
            for (size_t i = 0; i + 1 < job.cuts.size(); ++i) {
                size_t at = job.cuts[i];
                // A driver offers what the plug-in did not take again.
                for (int attempt = 0; at < job.cuts[i + 1] && attempt < 1000; ++attempt) {
                    DWORD taken = 0;
                    const auto count = static_cast<DWORD>(job.cuts[i + 1] - at);
                    if (plugin->WritePrinter(&device, const_cast<char*>(ps.data()) + at, count, &taken) != S_OK) {
                        fail("WritePrinter at " + std::to_string(at));
                        break;
                    }
                    at += std::min<DWORD>(taken, count);
                }
                if (at != job.cuts[i + 1]) {
                    fail("the plug-in did not take the write at " + std::to_string(job.cuts[i]));
                    break;
                }
            }
            if (!sendPage(&surface)) fail("SendPage");
            gate.Pass();
            if (!endDoc(&surface, 0)) fail("EndDoc");
            plugin->DisablePDEV(&device);
        }
        if (plugin->DisableDriver() != S_OK) fail("DisableDriver");
        if (plugin->Release() != 0) fail("the plug-in object outlived its last reference");

        const std::vector<std::u16string> expectedNames{job.documentName, job.laterName};
        if (driverCalls.startDocNames != expectedNames) fail("the driver's StartDoc got other names");
        if (driverCalls.endDocs != 1 || driverCalls.sendPages != 1) fail("the driver's EndDoc or SendPage");
        ClosePrinter(printer);
        result.spooled = job.throughSink ? sunk : sim::WrittenBytes(printer);
        sim::SetWriteSink(printer, nullptr);  // `sunk` goes with this frame
        return result;
    }

    // Each job alone, one after the other, each on a thread of its own.
    static std::vector<JobResult> RunAlone(const std::vector<JobSpec>& jobs) {
        std::vector<JobResult> results(jobs.size());
        for (size_t i = 0; i < jobs.size(); ++i) {
            std::thread worker([&, i] {
                Gate alone(1);
                results[i] = RunJob(jobs[i], alone);
            });
            worker.join();
        }
        return results;
    }

    // All jobs at once, one thread each, lined up at the gate's points.
    static std::vector<JobResult> RunTogether(const std::vector<JobSpec>& jobs) {
        std::vector<JobResult> results(jobs.size());
        Gate gate(static_cast<unsigned>(jobs.size()));
        std::vector<std::thread> workers;
        for (size_t i = 0; i < jobs.size(); ++i) workers.emplace_back([&, i] { results[i] = RunJob(jobs[i], gate); });
        for (std::thread& worker : workers) worker.join();
        return results;
    }

    static void CheckConcurrentRunMatchesAlone(unsigned jobCount) {
        std::vector<JobSpec> jobs;
        for (unsigned i = 0; i < jobCount; ++i) jobs.push_back(MakeJob(i));
        const std::vector<JobResult> alone = RunAlone(jobs);
        for (size_t i = 0; i < jobs.size(); ++i) {
            ASSERT_EQ(alone[i].failures, "") << "job " << i << " alone";
            // The job alone is whole: its header names its document, and the
            // PostScript follows it.
            const std::string jobName = "@PJL SET JOBNAME=" + HexDigits(Utf8(jobs[i].documentName)) + "\r\n";
            EXPECT_NE(alone[i].spooled.find(jobName), std::string::npos) << "job " << i;
            EXPECT_NE(alone[i].spooled.find("%!PS-Adobe-3.0\r\n"), std::string::npos) << "job " << i;
            if (i > 0) {
                EXPECT_NE(alone[i].spooled, alone[i - 1].spooled);
            }
        }
        const std::vector<JobResult> together = RunTogether(jobs);
        for (size_t i = 0; i < jobs.size(); ++i) {
            ++concurrentJobsRun;
            EXPECT_EQ(together[i].failures, "") << "job " << i << " of " << jobCount;
            const bool same = together[i].spooled == alone[i].spooled;
            if (!same) ++concurrentMismatches;
            EXPECT_TRUE(same) << "job " << i << " of " << jobCount << ": " << together[i].spooled.size()
                              << " bytes spooled together, " << alone[i].spooled.size() << " alone";
        }
    }
};

HMODULE ConcurrentJobs::module = nullptr;
GetClassObjectProc ConcurrentJobs::getClassObject = nullptr;
CanUnloadNowProc ConcurrentJobs::canUnloadNow = nullptr;

TEST_F(ConcurrentJobs, TwoJobsAtOnceSpoolWhatEachSpoolsAlone) { CheckConcurrentRunMatchesAlone(2); }
TEST_F(ConcurrentJobs, FourJobsAtOnceSpoolWhatEachSpoolsAlone) { CheckConcurrentRunMatchesAlone(4); }
TEST_F(ConcurrentJobs, SixteenJobsAtOnceSpoolWhatEachSpoolsAlone) { CheckConcurrentRunMatchesAlone(16); }

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    // Listing the tests runs none; the summary is for runs.
    if (!::testing::GTEST_FLAG(list_tests)) {
        std::printf("concurrency-summary: jobs=%u mismatches=%u\n", concurrentJobsRun.load(),
                    concurrentMismatches.load());
    }
    return status;
}
