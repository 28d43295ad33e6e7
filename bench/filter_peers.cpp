// The stream filter alone on large jobs, for bench/filter-vs-peers.sh.
//
//   filter_peers job text|hex|binary|line|sectionline|lf MIB FILE
//       writes a DSC job of about MIB MiB: a document setup, then pages with
//       their comments, a page setup with two feature blocks and a body of
//       PostScript text, hexadecimal image data or binary image data. "line":
//       one page whose binary body of MIB MiB holds no CR LF, so nearly the
//       whole job is one line; "sectionline": the same line inside the
//       document setup; "lf": the text job with LF-only line ends.
//   filter_peers section open|closed MIB FILE
//       writes a job whose document setup carries a resource of MIB MiB, inside
//       an open feature block or behind closed ones.
//   filter_peers run FILE WRITE_BYTES [hash | MIN_SECONDS]
//       maps FILE and hands it to the filter in writes of WRITE_BYTES (0: the
//       whole job in one call), with a spooler that takes everything and keeps
//       nothing, then ends the document; with MIN_SECONDS, again and again
//       until the passes took that long together. Prints one line:
//       "filter_MBps=<MB/s> seconds=<s> peak_anon_kB=<kB> out_bytes=<n>
//       passes=<n>", the seconds being the CPU time the filter took for one
//       pass (other load on a shared machine does not count).
//       With "hash" the line also gives "out_hash=<FNV-1a of the output>", to
//       compare two builds byte for byte (the hashing then counts in the time).
//       Peak memory is the process's anonymous resident memory, sampled while
//       the filter runs: the job's mapped pages belong to the page cache, as
//       they would to the spooler's file.
//
// MB are 10^6 bytes, as the other programs of the comparison count them.

#include "platform/host/sim_control.h"
#include "platform/platform.h"
#include "psfilter/stream_filter.h"
#include "settings/private_part.h"
#include "feature_templates.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include <ctime>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kMiB = 1024 * 1024;

std::string Block(const std::string& keyword, const std::string& value) {
    return "featurebegin{\r\n%%BeginFeature: *" + keyword + " " + value + "\r\n<</" + keyword +
           " true>> setpagedevice\r\n%%EndFeature\r\n}featurecleanup\r\n";
}

std::string JobStart() {
    return "%!PS-Adobe-3.0\r\n%%Title: bench\r\n%%Pages: (atend)\r\n%%EndComments\r\n%%BeginProlog\r\n"
           "/featurebegin { countdictstack mark } bind def\r\n%%EndProlog\r\n%%BeginSetup\r\n" +
           Block("ZTDuplex", "OFF") + Block("Resolution", "600dpi") + "%%EndSetup\r\n";
}

std::string JobEnd() { return "%%Trailer\r\n%%Pages: 1\r\n%%EOF\r\n\x1b%-12345X@PJL EOJ\r\n\x1b%-12345X"; }

// About 64 KiB of page body: the rewrite of each page setup is then a small
// part of the page's cost, as in real documents.
std::string PageBody(const std::string& kind, std::mt19937& rng) {
    std::string body;
    if (kind == "text") {
        while (body.size() < 64 * 1024) {
            body += "72 " + std::to_string(rng() % 700) + " moveto (The quarterly figures, line " +
                    std::to_string(rng() % 100000) + ") show\r\n";
        }
    } else if (kind == "hex") {
        body = "/picstr 256 string def 512 512 8 [512 0 0 512 0 0] {currentfile picstr readhexstring pop} image\r\n";
        static const char kHex[] = "0123456789ABCDEF";
        while (body.size() < 64 * 1024) {
            for (int i = 0; i < 128; ++i) body += kHex[rng() % 16];
            body += "\r\n";
        }
    } else {
        body = "%%BeginData: 65536 Binary Bytes\r\n";
        for (size_t i = 0; i < 64 * 1024; ++i) body += static_cast<char>(rng() % 256);
        body += "\r\n%%EndData\r\n";
    }
    return body;
}

int WriteJob(const std::string& kind, size_t mib, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    std::mt19937 rng(7);
    out << JobStart();
    // A few hundred distinct pages, repeated: generating stays fast.
    std::vector<std::string> bodies;
    for (int i = 0; i < 16; ++i) bodies.push_back(PageBody(kind, rng));
    const std::string setup =
        "%%BeginPageSetup\r\n" + Block("ZTInputSlot", "Auto") + Block("PageRegion", "A4") + "%%EndPageSetup\r\n";
    size_t written = JobStart().size();
    for (size_t page = 1; written < mib * kMiB; ++page) {
        const std::string number = std::to_string(page);
        const std::string head = "%%Page: " + number + " " + number +
                                 "\r\n%%ViewingOrientation: " + (page % 2 ? "1 0 0 1" : "0 1 -1 0") +
                                 "\r\n%%EndPageComments\r\n";
        const std::string& body = bodies[page % bodies.size()];
        out << head << setup << body << "showpage\r\n%%PageTrailer\r\n";
        written += head.size() + setup.size() + body.size() + 24;
    }
    out << JobEnd();
    return out ? 0 : 2;
}

// A MiB of binary data without a CR LF: every LF that follows a CR is
// changed, and a CR at the end too, so repeated blocks make one line.
std::string LineBlock() {
    std::mt19937 rng(11);
    std::string block(kMiB, '\0');
    for (char& c : block) c = static_cast<char>(rng() % 256);
    for (size_t i = 1; i < block.size(); ++i) {
        if (block[i] == '\n' && block[i - 1] == '\r') block[i] = 'n';
    }
    if (block.back() == '\r') block.back() = 'r';
    return block;
}

// One page whose body is a single line of `mib` MiB of binary data, so no
// line ends before the page's end; or, for `inSection`, that line inside the
// document setup.
int WriteOneLineJob(size_t mib, bool inSection, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    const std::string block = LineBlock();
    const std::string data = "%%BeginData: " + std::to_string(mib * kMiB) + " Binary Bytes\r\n";
    if (inSection) {
        out << "%!PS-Adobe-3.0\r\n%%EndComments\r\n%%BeginSetup\r\n" << Block("ZTDuplex", "OFF") << data;
        for (size_t i = 0; i < mib; ++i) out << block;
        out << "\r\n%%EndData\r\n"
            << Block("ZTInputSlot", "Auto") << "%%EndSetup\r\n%%Page: 1 1\r\nshowpage\r\n"
            << JobEnd();
        return out ? 0 : 2;
    }
    out << JobStart() << "%%Page: 1 1\r\n%%EndPageComments\r\n%%BeginPageSetup\r\n"
        << Block("ZTInputSlot", "Auto") << "%%EndPageSetup\r\n"
        << data;
    for (size_t i = 0; i < mib; ++i) out << block;
    out << "\r\n%%EndData\r\nshowpage\r\n%%PageTrailer\r\n" << JobEnd();
    return out ? 0 : 2;
}

// The text job as a system with LF-only line ends writes it: its markers,
// which end with CR LF, are then never met.
int WriteLfJob(size_t mib, const std::string& path) {
    const std::string crlf = path + ".crlf";
    if (WriteJob("text", mib, crlf) != 0) return 2;
    std::ifstream in(crlf, std::ios::binary);
    std::ofstream out(path, std::ios::binary);
    std::string chunk(kMiB, '\0');
    char held = 0;  // a CR at the end of the previous chunk
    while (in.read(&chunk[0], static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
        std::string text = std::string(held ? 1 : 0, '\r') + chunk.substr(0, static_cast<size_t>(in.gcount()));
        held = 0;
        if (!text.empty() && text.back() == '\r') {
            held = 1;
            text.pop_back();
        }
        std::string lf;
        lf.reserve(text.size());
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
            lf += text[i];
        }
        out << lf;
    }
    if (held) out << '\r';
    std::remove(crlf.c_str());
    return out ? 0 : 2;
}

int WriteSectionJob(const std::string& kind, size_t mib, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << "%!PS-Adobe-3.0\r\n%%EndComments\r\n%%BeginSetup\r\n";
    const std::string line = "<" + std::string(120, 'A') + ">\r\n";
    if (kind == "open") {
        out << "featurebegin{\r\n%%BeginFeature: *Font Large\r\n";
        for (size_t done = 0; done < mib * kMiB; done += line.size()) out << line;
        out << "%%EndFeature\r\n}featurecleanup\r\n";
    } else {
        const std::string block = Block("ZTInputSlot", "Auto");
        for (size_t done = 0; done < mib * kMiB;) {
            out << block;
            for (int i = 0; i < 64; ++i) out << line;
            done += block.size() + 64 * line.size();
        }
    }
    out << Block("ZTDuplex", "OFF") << "%%EndSetup\r\n%%Page: 1 1\r\nshowpage\r\n%%EOF\r\n";
    return out ? 0 : 2;
}

// CPU time of the calling thread: on a shared machine other processes do not
// count against the filter (the sampler thread does not either).
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

long AnonResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == "RssAnon:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
    }
    return -1;
}

int Run(const std::string& path, size_t writeBytes, bool hash, double minSeconds) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        std::perror(path.c_str());
        return 2;
    }
    struct stat info {};
    fstat(fd, &info);
    const size_t size = static_cast<size_t>(info.st_size);
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (mapped == MAP_FAILED) {
        std::perror("mmap");
        return 2;
    }
    madvise(mapped, size, MADV_SEQUENTIAL);
    const BYTE* job = static_cast<const BYTE*>(mapped);

    std::vector<BYTE> part(kPrivatePartBytes, 0);
    WritePrivatePartHeader(part.data());
    const SettingsSpan settings = PrivatePartSettings(part.data(), part.size());
    SetDefaultSettings(settings);
    WriteSettingText(settings, 0, 7, WIDE("VTA/NP"));

    const HANDLE printer = sim::AddPrinter(u"Bench Printer");
    size_t out = 0;
    uint64_t outHash = 14695981039346656037ull;
    sim::SetWriteSink(printer, [&out, &outHash, hash](const void* bytes, DWORD count) {
        out += count;
        for (DWORD i = 0; hash && i < count; ++i) {
            outHash = (outHash ^ static_cast<const BYTE*>(bytes)[i]) * 1099511628211ull;
        }
        return sim::WriteOutcome{TRUE, count, 0};
    });
    const HMODULE module = sim::RegisterModule(u"/opt/bench/QM22TRD.dll", kFeatureTemplates, 2);
    const FilterJob filterJob{printer, module, AsView(settings), u"bench"};

    std::atomic<bool> running{true};
    std::atomic<long> peak{AnonResidentKiB()};
    std::thread sampler([&] {
        while (running) {
            const long now = AnonResidentKiB();
            if (now > peak) peak = now;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });

    const size_t step = writeBytes == 0 ? size : writeBytes;
    HRESULT hr = S_OK;
    double seconds = 0;
    size_t passes = 0;
    do {
        out = 0;
        StreamFilterState state;
        const double start = ThreadSeconds();
        for (size_t at = 0; at < size && SUCCEEDED(hr); at += step) {
            const DWORD count = static_cast<DWORD>(size - at < step ? size - at : step);
            DWORD written = 0;
            hr = StreamFilterWrite(state, filterJob, job + at, count, &written);
        }
        if (SUCCEEDED(hr)) hr = StreamFilterFlush(state, printer);
        seconds += ThreadSeconds() - start;
        ++passes;
    } while (SUCCEEDED(hr) && seconds < minSeconds);
    seconds /= static_cast<double>(passes);
    running = false;
    sampler.join();
    const long now = AnonResidentKiB();
    if (now > peak) peak = now;
    munmap(mapped, size);
    if (FAILED(hr)) {
        std::fprintf(stderr, "filter_peers: the filter failed (0x%08lX)\n", static_cast<unsigned long>(hr));
        return 1;
    }
    std::printf("filter_MBps=%.0f seconds=%.4f peak_anon_kB=%ld out_bytes=%zu passes=%zu", size / seconds / 1e6,
                seconds, peak.load(), out, passes);
    if (hash) std::printf(" out_hash=%016llx", static_cast<unsigned long long>(outHash));
    std::printf("\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "job" && argc == 5 && (std::string(argv[2]) == "line" || std::string(argv[2]) == "sectionline")) {
        return WriteOneLineJob(std::strtoul(argv[3], nullptr, 10), std::string(argv[2]) == "sectionline", argv[4]);
    }
    if (command == "job" && argc == 5 && std::string(argv[2]) == "lf") {
        return WriteLfJob(std::strtoul(argv[3], nullptr, 10), argv[4]);
    }
    if (command == "job" && argc == 5) return WriteJob(argv[2], std::strtoul(argv[3], nullptr, 10), argv[4]);
    if (command == "section" && argc == 5) return WriteSectionJob(argv[2], std::strtoul(argv[3], nullptr, 10), argv[4]);
    if (command == "run" && (argc == 4 || argc == 5)) {
        const bool hash = argc == 5 && std::string(argv[4]) == "hash";
        const double minSeconds = argc == 5 && !hash ? std::strtod(argv[4], nullptr) : 0.0;
        return Run(argv[2], std::strtoul(argv[3], nullptr, 10), hash, minSeconds);
    }
    std::fprintf(stderr,
                 "usage: filter_peers job text|hex|binary|line|sectionline|lf MIB FILE\n"
                 "       filter_peers section open|closed MIB FILE\n"
                 "       filter_peers run FILE WRITE_BYTES [hash | MIN_SECONDS]\n");
    return 2;
}
