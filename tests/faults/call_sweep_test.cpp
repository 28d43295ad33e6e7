// A failure at every call: the job runs once to count, per simulated Windows
// function, the calls the plug-in makes; then again for every function and
// every call index k, once with exactly call k failing and once with every call
// from k on failing. Each run must leave nothing behind, report the failure
// wherever the job is no longer whole, keep what the spooler took in order, and
// leave the module able to run the next job as if nothing had happened.
#include "sweep_job.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace faults {
namespace {

struct Tally {
    unsigned functions = 0;
    unsigned countedOnly = 0;
    unsigned calls = 0;
    unsigned runs = 0;
    unsigned exceptions = 0;
    unsigned leaks = 0;
    unsigned silentLosses = 0;
    unsigned disorder = 0;    // spooled bytes not a prefix of the job's
    unsigned lostErrors = 0;  // a spooler failure reported without the spooler's error
    unsigned nextJobFailures = 0;
};

bool Leaked(const JobOutcome& o) {
    return o.livePluginAllocations != 0 || o.openFiles != 0 || o.openServers != 0 || o.unfreedSessionLists != 0 ||
           o.modulesLoaded != 0 || o.coreHelperRefs != 1 || o.driverServicesRefs != 1;
}

std::string Describe(sim::Api api, unsigned k, bool once) {
    return std::string(sim::ApiName(api)) + (once ? " call " : " calls from ") + std::to_string(k);
}

TEST(CallSweep, EveryCallOfEveryFunctionFailsInTurn) {
    const JobOutcome clean = RunSweepJob([] {}, [] {});
    ASSERT_FALSE(clean.exceptionEscaped);
    ASSERT_FALSE(clean.faulty.reportedFailure) << clean.faulty.firstFailure;
    ASSERT_FALSE(clean.next.reportedFailure) << clean.next.firstFailure;
    // The clean job is the job the sweep compares with: its header carries the
    // chosen settings, its body the rewritten setup and the job's last byte.
    ASSERT_NE(clean.faulty.spooled.find("@PJL SET QTY=3\r\n"), std::string::npos);
    ASSERT_NE(clean.faulty.spooled.find("@PJL SET ZTPAGESIZE=A3W\r\n"), std::string::npos);  // the paper list's
    ASSERT_NE(clean.faulty.spooled.find("@PJL SET JOBNAME=517561727465726C79207265706F7274\r\n"), std::string::npos);
    ASSERT_EQ(clean.faulty.spooled.back(), '\x04');
    ASSERT_EQ(clean.faulty.spooled, clean.next.spooled);
    ASSERT_FALSE(Leaked(clean));
    // The document without settings is cancelled and the user told.
    ASSERT_TRUE(clean.cancelled.reached);
    ASSERT_EQ(clean.cancelled.startDoc, FALSE);

    // Counted apart from the runs: the clean job once more, calls only.
    unsigned counts[static_cast<size_t>(sim::Api::Count_)] = {};
    RunSweepJob([] {},
                [&] {
                    for (size_t i = 0; i < static_cast<size_t>(sim::Api::Count_); ++i) {
                        counts[i] = sim::CallCount(static_cast<sim::Api>(i));
                    }
                });

    Tally tally;
    unsigned reported = 0;
    for (size_t i = 0; i < static_cast<size_t>(sim::Api::Count_); ++i) {
        const auto api = static_cast<sim::Api>(i);
        if (counts[i] == 0) {
            std::printf("call-sweep: not called by the job: %s\n", sim::ApiName(api));
            continue;
        }
        if (!sim::CanFail(api)) {
            ++tally.countedOnly;
            continue;
        }
        ++tally.functions;
        tally.calls += counts[i];
        for (unsigned k = 0; k < counts[i]; ++k) {
            for (const bool once : {true, false}) {
                const std::string what = Describe(api, k, once);
                const JobOutcome o =
                    RunSweepJob([&] { sim::FailCalls(api, kInjectedError, k, once ? 1 : sim::kEveryCall); },
                                [&] { sim::StopFailing(api); });
                ++tally.runs;
                if (o.exceptionEscaped) {
                    ++tally.exceptions;
                    ADD_FAILURE() << what << ": an exception left the module at " << o.exceptionAt;
                }
                if (Leaked(o)) {
                    ++tally.leaks;
                    ADD_FAILURE() << what << ": left behind " << o.livePluginAllocations << " allocations, "
                                  << o.openFiles << " files, " << o.openServers << " servers, " << o.unfreedSessionLists
                                  << " session lists, " << o.modulesLoaded << " module references, helper references "
                                  << o.coreHelperRefs << "/" << o.driverServicesRefs;
                }
                const DocumentOutcome& doc = o.faulty;
                const std::string& expected = clean.faulty.spooled;
                if (doc.reportedFailure) ++reported;
                if (o.cancelled.reached && (o.cancelled.startDoc != FALSE || !o.cancelled.spooled.empty())) {
                    ++tally.silentLosses;
                    ADD_FAILURE() << what << ": a job without settings went on";
                }
                std::string why;
                if (api == sim::Api::WritePrinter) {
                    // Only the spooler failed: what it took is the job's beginning,
                    // all of it unless a failure was reported.
                    if (expected.compare(0, doc.spooled.size(), doc.spooled) != 0) {
                        ++tally.disorder;
                        size_t at = 0;
                        while (at < doc.spooled.size() && doc.spooled[at] == expected[at]) ++at;
                        ADD_FAILURE() << what << ": the spooler holds bytes out of order or twice, from byte " << at
                                      << ": \"" << doc.spooled.substr(at, 60) << "\" where the job has \""
                                      << expected.substr(at, 60) << "\"";
                    } else if (!doc.reportedFailure && doc.spooled != expected) {
                        ++tally.silentLosses;
                        ADD_FAILURE() << what << ": " << expected.size() - doc.spooled.size()
                                      << " bytes lost, no failure reported";
                    }
                    // The stream's failure was answered to a write, the driver went
                    // on, and the plug-in sent what it still owed: the job is whole.
                    const bool streamRetried = once && doc.firstFailure == "WritePrinter" &&
                                               doc.header == clean.faulty.header && doc.refusedWrites == 0;
                    if (streamRetried && doc.spooled != expected) {
                        ++tally.silentLosses;
                        ADD_FAILURE() << what << ": retried, but the spooler holds " << doc.spooled.size()
                                      << " bytes, not the job's " << expected.size();
                    }
                    if (doc.reportedFailure && doc.lastErrorAtFailure != kInjectedError) {
                        ++tally.lostErrors;
                        ADD_FAILURE() << what << ": " << doc.firstFailure << " failed with last error "
                                      << doc.lastErrorAtFailure << ", not the spooler's";
                    }
                    // The header's bytes went missing: the caller hears it at Command.
                    if (doc.header.size() < clean.faulty.header.size() && !doc.header.empty() &&
                        doc.lastErrorAfterCommand != kInjectedError) {
                        ++tally.lostErrors;
                        ADD_FAILURE() << what << ": the header was cut short and Command left last error "
                                      << doc.lastErrorAfterCommand;
                    }
                } else if (!doc.reportedFailure && !WholeJob(doc.spooled, expected, &why)) {
                    ++tally.silentLosses;
                    ADD_FAILURE() << what << ": job reported whole, but " << why;
                }
                // A module whose entry routine could not load its sibling stays
                // without it until it is loaded again; only later failures must
                // leave no trace.
                const bool whileLoading = k < o.callsWhileLoading.at(i);
                if (!whileLoading && (o.next.reportedFailure || o.next.spooled != clean.next.spooled)) {
                    ++tally.nextJobFailures;
                    ADD_FAILURE() << what << ": the next job did not run normally ("
                                  << (o.next.reportedFailure ? o.next.firstFailure : "other bytes") << ")";
                }
            }
        }
    }
    // A sweep that injected nothing would see no failure reported.
    EXPECT_GT(reported, 0u);
    EXPECT_GE(tally.functions, 10u);
    std::printf(
        "call-sweep: functions=%u counted_only=%u calls=%u runs=%u exceptions=%u leaks=%u "
        "silent_losses=%u disorder=%u lost_errors=%u next_job_failures=%u\n",
        tally.functions, tally.countedOnly, tally.calls, tally.runs, tally.exceptions, tally.leaks, tally.silentLosses,
        tally.disorder, tally.lostErrors, tally.nextJobFailures);
}

}  // namespace
}  // namespace faults
