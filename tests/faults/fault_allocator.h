// A counting allocator for the fault sweeps: the test program replaces the
// global operator new and new[] (every variant the module can reach), counts
// the allocations the plug-in module itself makes while a plug-in call is in
// progress, can make the k-th of them fail, and keeps the ones still live so a
// job can be checked for leaks after the module is gone.
//
// An allocation counts as the plug-in's when the first frame above the
// allocator that lies outside the C++ and C runtimes belongs to QM22TRD.dll:
// the simulated Windows, the test's doubles of the driver and the sibling
// library (which stands in for a library of another vendor) allocate freely.
#pragma once

#include <cstddef>
#include <string>

namespace faults {

// Marks the calling thread as being inside a call into the plug-in, naming the
// entry point for reports. Scopes do not nest.
class PluginCall {
public:
    explicit PluginCall(const char* entry);
    ~PluginCall();
    PluginCall(const PluginCall&) = delete;
    PluginCall& operator=(const PluginCall&) = delete;
};

// Forgets the counts, the armed failure and the live set.
void ResetAllocations();
// The next plug-in allocation with this 0-based index fails (std::bad_alloc or
// null for the nothrow forms); negative: none fails.
void FailAllocation(long index);
// Plug-in allocations counted since ResetAllocations.
long PluginAllocations();
// The entry point the failed allocation was made in, empty when none failed.
std::string FailedAllocationEntry();
// Plug-in allocations made since ResetAllocations and not freed yet.
size_t LivePluginAllocations();

}  // namespace faults
