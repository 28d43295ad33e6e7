#include "job_io.h"

#include "cli.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace qm22t {
namespace {

constexpr size_t kHeadBytes = 4096;

// What a failed spooler write reports as the last error.
constexpr DWORD kSpoolerWriteError = ERROR_WRITE_FAULT;

}  // namespace

JobInput::~JobInput() {
    if (file_ != nullptr && file_ != stdin) std::fclose(file_);
}

bool JobInput::Open(const std::string& path, std::string* error) {
    name_ = DisplayName(path, false);
    file_ = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) {
        *error = "cannot read the job " + path + ": " + SystemError();
        return false;
    }
    struct stat info {};
    if (fstat(fileno(file_), &info) == 0 && S_ISREG(info.st_mode)) size_ = info.st_size;
    head_.resize(kHeadBytes);
    size_t got = 0;
    while (got < kHeadBytes) {
        const size_t n = std::fread(&head_[got], 1, kHeadBytes - got, file_);
        if (n == 0) break;
        got += n;
    }
    head_.resize(got);
    if (std::ferror(file_)) {
        *error = "cannot read the job " + name_ + ": " + SystemError();
        return false;
    }
    return true;
}

bool JobInput::Read(char* buffer, size_t capacity, size_t* got) {
    size_t filled = std::min(capacity, head_.size() - headUsed_);
    std::memcpy(buffer, head_.data() + headUsed_, filled);
    headUsed_ += filled;
    while (filled < capacity) {
        const size_t n = std::fread(buffer + filled, 1, capacity - filled, file_);
        if (n == 0) break;
        filled += n;
    }
    *got = filled;
    return !std::ferror(file_);
}

SpoolerPort::~SpoolerPort() = default;

bool SpoolerPort::Open(const PortOptions& options, std::string* error) {
    options_ = options;
    if (!out_.Open(options.outFile, error)) return false;
    if (options.traceFile == "-") {
        traceStream_ = stderr;
    } else if (!options.traceFile.empty()) {
        if (!trace_.Open(options.traceFile, error)) {
            *error = "the trace: " + *error;
            return false;
        }
        traceStream_ = trace_.Stream();
    }
    if (traceStream_ != nullptr) std::fputs("# offset offered taken writer\n", traceStream_);
    return true;
}

void SpoolerPort::Trace(DWORD offered, DWORD taken, bool failed) {
    if (traceStream_ == nullptr) return;
    std::fprintf(traceStream_, "%" PRIu64 " %u %u %s%s\n", taken_, static_cast<unsigned>(offered),
                 static_cast<unsigned>(taken), writer_, failed ? " failed" : "");
}

sim::WriteOutcome SpoolerPort::Take(const void* bytes, DWORD count) {
    ++calls_;
    if (!outputError_.empty() || taken_ >= options_.failAfter) {
        failedByRequest_ = failedByRequest_ || outputError_.empty();
        Trace(count, 0, true);
        return sim::WriteOutcome{FALSE, 0, kSpoolerWriteError};
    }
    // The call that crosses the failure point still takes what fits: exactly
    // failAfter bytes reach the output.
    const uint64_t room = options_.failAfter - taken_;
    const DWORD take = static_cast<DWORD>(std::min<uint64_t>({count, options_.acceptPerCall, room}));
    if (take > 0 && !out_.Write(bytes, take)) {
        outputError_ = "cannot write " + DisplayName(options_.outFile, true) + ": " + SystemError();
        Trace(count, 0, true);
        return sim::WriteOutcome{FALSE, 0, kSpoolerWriteError};
    }
    Trace(count, take, false);
    taken_ += take;
    return sim::WriteOutcome{TRUE, take, 0};
}

bool SpoolerPort::Finish(bool keep, OutputFile* alongside, std::string* error) {
    if (traceStream_ == stderr && (std::fflush(stderr) != 0 || std::ferror(stderr)) && outputError_.empty()) {
        outputError_ = "cannot write the trace to standard error (--trace -): " + SystemError();
    }
    if (!keep || !outputError_.empty()) {
        out_.Discard();
        trace_.Discard();
        if (alongside != nullptr) alongside->Discard();
        *error = outputError_;
        return outputError_.empty();
    }
    std::string reason;
    if (!CommitAll({&out_, &trace_, alongside}, &reason)) outputError_ = reason;
    *error = outputError_;
    return outputError_.empty();
}

Progress::Progress(int64_t total)
    : enabled_(isatty(STDERR_FILENO) == 1), total_(total), start_(Clock::now()), last_(start_) {}

void Progress::Update(uint64_t done) {
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    // Small jobs finish before anything is shown; then a few redraws a second.
    if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(250)) return;
    last_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double megabytes = static_cast<double>(done) / 1048576.0;
    char line[120];
    if (total_ >= 0) {
        std::snprintf(line, sizeof line, "\rqm22t run: %.1f of %.1f MiB, %.1f MiB/s   ", megabytes,
                      static_cast<double>(total_) / 1048576.0, megabytes / seconds);
    } else {
        std::snprintf(line, sizeof line, "\rqm22t run: %.1f MiB, %.1f MiB/s   ", megabytes, megabytes / seconds);
    }
    std::fputs(line, stderr);
    shown_ = true;
}

void Progress::Finish() {
    if (shown_) std::fputs("\r\x1b[K", stderr);
    shown_ = false;
}

}  // namespace qm22t
