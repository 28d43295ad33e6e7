// The two ends of a job run: the driver's output read from a file or a pipe,
// and the spooler's port, which takes what the plug-in writes the way a spooler
// in the field may (short writes, a failure after so many bytes) and streams it
// to a file. Neither end ever holds more than one buffer of the job.
#pragma once

#include "cli.h"
#include "platform/host/sim_control.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace qm22t {

// A job file or standard input ("-"), read in whole buffers.
class JobInput {
public:
    ~JobInput();
    bool Open(const std::string& path, std::string* error);
    // The first bytes of the job (up to 4096), without consuming them.
    const std::string& Head() const { return head_; }
    // The job's size when it is a regular file, else -1.
    int64_t Size() const { return size_; }
    // Fills `buffer` with up to `capacity` bytes; fewer only at the end of the
    // job. 0 at the end; false on a read error.
    bool Read(char* buffer, size_t capacity, size_t* got);
    const std::string& Name() const { return name_; }

private:
    FILE* file_ = nullptr;
    std::string name_;
    std::string head_;
    size_t headUsed_ = 0;
    int64_t size_ = -1;
};

// What the simulated spooler does with each write.
struct PortOptions {
    std::string outFile = "-";            // "-": standard output
    uint64_t acceptPerCall = UINT64_MAX;  // --spooler-accept
    uint64_t failAfter = UINT64_MAX;      // --spooler-fail-after
    std::string traceFile;                // --trace; empty: none; "-": standard error
};

class SpoolerPort {
public:
    ~SpoolerPort();
    bool Open(const PortOptions& options, std::string* error);
    // The sink the simulated printer hands its writes to.
    sim::WriteOutcome Take(const void* bytes, DWORD count);
    // Who writes the next calls, for the trace: "header" or "filter".
    void SetWriter(const char* writer) { writer_ = writer; }
    // Flushes the output and the trace and, with `keep`, puts them in place
    // together with `alongside` (another output of the run, or null), only
    // when all three were written whole; without it, or when one failed, every
    // existing file stays as it was. False with the reason when any could not
    // be written (then or earlier); a trace on standard error counts too.
    bool Finish(bool keep, OutputFile* alongside, std::string* error);

    uint64_t Taken() const { return taken_; }
    uint64_t Calls() const { return calls_; }
    bool FailedByRequest() const { return failedByRequest_; }
    bool OutputFailed() const { return !outputError_.empty(); }

private:
    void Trace(DWORD offered, DWORD taken, bool failed);

    PortOptions options_;
    OutputFile out_;
    OutputFile trace_;
    FILE* traceStream_ = nullptr;
    const char* writer_ = "filter";
    uint64_t taken_ = 0;
    uint64_t calls_ = 0;
    bool failedByRequest_ = false;
    std::string outputError_;
};

// "12.0 of 1024.0 MiB, 350.1 MiB/s" on standard error, redrawn in place, when it
// is a terminal and the job has run a second; nothing otherwise.
class Progress {
public:
    explicit Progress(int64_t total);
    void Update(uint64_t done);
    void Finish();

private:
    using Clock = std::chrono::steady_clock;
    bool enabled_;
    bool shown_ = false;
    int64_t total_;
    Clock::time_point start_;
    Clock::time_point last_;
};

}  // namespace qm22t
