// A failed allocation at every allocation: the job runs once to count the
// allocations the plug-in module makes (loading, object, settings merge and
// the first document); then once for every k with exactly the k-th of them
// failing. No exception may leave the module, nothing may be left behind, a
// job that lost something must have been told so, and the next document on a
// fresh device object must run as if nothing had happened.
#include "fault_allocator.h"
#include "sweep_job.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace faults {
namespace {

TEST(AllocationSweep, EveryAllocationOfTheJobFailsInTurn) {
    long counted = -1;
    const JobOutcome clean = RunSweepJob([] { FailAllocation(-1); }, [&] { counted = PluginAllocations(); });
    ASSERT_FALSE(clean.faulty.reportedFailure) << clean.faulty.firstFailure;
    ASSERT_EQ(clean.livePluginAllocations, 0u);
    // The count is of the module's own allocations; the job makes a good many
    // (settings texts, the header, buffers, rewritten sections).
    ASSERT_GT(counted, 50);

    unsigned hit = 0, runs = 0, exceptions = 0, leaks = 0, silentLosses = 0, nextJobFailures = 0, reported = 0;
    for (long k = 0; k < counted; ++k) {
        const JobOutcome o = RunSweepJob([&] { FailAllocation(k); }, [] { FailAllocation(-1); });
        ++runs;
        if (!FailedAllocationEntry().empty()) ++hit;
        const std::string what = "allocation " + std::to_string(k) + " (in " + FailedAllocationEntry() + ")";
        if (o.exceptionEscaped) {
            ++exceptions;
            ADD_FAILURE() << what << ": an exception left the module at " << o.exceptionAt;
        }
        if (o.livePluginAllocations != 0 || o.openFiles != 0 || o.openServers != 0 || o.unfreedSessionLists != 0 ||
            o.modulesLoaded != 0 || o.coreHelperRefs != 1 || o.driverServicesRefs != 1) {
            ++leaks;
            ADD_FAILURE() << what << ": left behind " << o.livePluginAllocations << " allocations, " << o.openFiles
                          << " files, " << o.modulesLoaded << " module references";
        }
        if (o.cancelled.reached && (o.cancelled.startDoc != FALSE || !o.cancelled.spooled.empty())) {
            ++silentLosses;
            ADD_FAILURE() << what << ": a job without settings went on";
        }
        std::string why;
        if (o.faulty.reportedFailure) {
            ++reported;
        } else if (!WholeJob(o.faulty.spooled, clean.faulty.spooled, &why)) {
            ++silentLosses;
            ADD_FAILURE() << what << ": job reported whole, but " << why;
        }
        // What the spooler took is the job's beginning even when it failed:
        // nothing from behind a gap.
        if (o.faulty.reportedFailure && o.faulty.spooled.size() > 0 &&
            clean.faulty.spooled.compare(0, o.faulty.spooled.size(), o.faulty.spooled) != 0 &&
            !WholeJob(o.faulty.spooled, clean.faulty.spooled, &why)) {
            const size_t switchAt = o.faulty.spooled.find("@PJL ENTER LANGUAGE=POSTSCRIPT\r\n");
            if (switchAt != std::string::npos) {
                ++silentLosses;
                ADD_FAILURE() << what << ": failed job, but the spooler holds more than its beginning";
            }
        }
        if (o.next.reportedFailure || o.next.spooled != clean.next.spooled) {
            ++nextJobFailures;
            ADD_FAILURE() << what << ": the next job did not run normally ("
                          << (o.next.reportedFailure ? o.next.firstFailure : "other bytes") << ")";
        }
    }
    EXPECT_GT(reported, 0u);
    // Every run reached its allocation: the count and the runs agree.
    EXPECT_EQ(hit, runs);
    std::printf(
        "alloc-sweep: allocations=%ld runs=%u exceptions=%u leaks=%u silent_losses=%u "
        "next_job_failures=%u\n",
        counted, runs, exceptions, leaks, silentLosses, nextJobFailures);
}

}  // namespace
}  // namespace faults
