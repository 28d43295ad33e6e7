#include "fault_allocator.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include <dlfcn.h>
#include <link.h>
#include <unwind.h>

namespace faults {
namespace {

thread_local const char* t_entry = nullptr;  // inside a plug-in call when set
thread_local bool t_walking = false;         // the stack walk itself must not count

std::atomic<long> g_counted{0};
std::atomic<long> g_failAt{-1};
const char* g_failedEntry = nullptr;

// Live plug-in allocations: an open-addressed table that needs no allocation.
constexpr size_t kSlots = size_t{1} << 16;
void* const kTombstone = reinterpret_cast<void*>(1);
void* g_live[kSlots];
std::atomic<size_t> g_liveCount{0};

size_t SlotOf(const void* p) { return (reinterpret_cast<uintptr_t>(p) >> 4) * 0x9E3779B97F4A7C15ull >> 48; }

void Remember(void* p) {
    for (size_t i = SlotOf(p), n = 0; n < kSlots; i = (i + 1) % kSlots, ++n) {
        if (g_live[i] == nullptr || g_live[i] == kTombstone) {
            g_live[i] = p;
            ++g_liveCount;
            return;
        }
    }
}

void Forget(void* p) {
    if (g_liveCount == 0) return;
    for (size_t i = SlotOf(p), n = 0; n < kSlots && g_live[i] != nullptr; i = (i + 1) % kSlots, ++n) {
        if (g_live[i] == p) {
            g_live[i] = kTombstone;
            --g_liveCount;
            return;
        }
    }
}

bool EndsWith(const char* text, const char* tail) {
    const size_t a = std::strlen(text);
    const size_t b = std::strlen(tail);
    return a >= b && std::strcmp(text + a - b, tail) == 0;
}

bool InRuntime(const char* file) {
    return std::strstr(file, "libstdc++") != nullptr || std::strstr(file, "libc.so") != nullptr ||
           std::strstr(file, "libgcc_s") != nullptr || std::strstr(file, "libasan") != nullptr ||
           std::strstr(file, "libubsan") != nullptr || std::strstr(file, "ld-linux") != nullptr;
}

struct Walk {
    int frame = 0;
    int verdict = -1;  // -1 undecided, 0 someone else's, 1 the plug-in's
};

// Frames 0 to 2 are FromPlugin, Allocate and the operator itself.
_Unwind_Reason_Code VisitFrame(_Unwind_Context* context, void* arg) {
    Walk& walk = *static_cast<Walk*>(arg);
    if (walk.frame++ < 3) return _URC_NO_REASON;
    if (walk.frame > 40) return _URC_END_OF_STACK;
    // _dl_find_object rather than dladdr: it needs no symbol search, and the
    // sweeps walk the stack at every allocation inside a plug-in call.
    dl_find_object found{};
    const auto ip = reinterpret_cast<void*>(_Unwind_GetIP(context) - 1);
    if (_dl_find_object(ip, &found) != 0 || found.dlfo_link_map == nullptr) return _URC_NO_REASON;
    const char* file = found.dlfo_link_map->l_name;
    if (file == nullptr) return _URC_NO_REASON;
    if (InRuntime(file)) return _URC_NO_REASON;
    walk.verdict = EndsWith(file, "QM22TRD.dll") ? 1 : 0;
    return _URC_END_OF_STACK;
}

__attribute__((noinline)) bool FromPlugin() {
    Walk walk;
    _Unwind_Backtrace(&VisitFrame, &walk);
    return walk.verdict == 1;
}

// Null when the allocation is to fail.
__attribute__((noinline)) void* Allocate(size_t size) {
    if (size == 0) size = 1;
    bool plugin = false;
    if (t_entry != nullptr && !t_walking) {
        t_walking = true;
        plugin = FromPlugin();
        t_walking = false;
        if (plugin) {
            const long index = g_counted++;
            if (index == g_failAt) {
                g_failedEntry = t_entry;
                return nullptr;
            }
        }
    }
    void* p = std::malloc(size);
    if (plugin && p != nullptr) Remember(p);
    return p;
}

void Release(void* p) {
    if (p == nullptr) return;
    Forget(p);
    std::free(p);
}

}  // namespace

PluginCall::PluginCall(const char* entry) { t_entry = entry; }
PluginCall::~PluginCall() { t_entry = nullptr; }

void ResetAllocations() {
    g_counted = 0;
    g_failAt = -1;
    g_failedEntry = nullptr;
    std::memset(g_live, 0, sizeof g_live);
    g_liveCount = 0;
}

void FailAllocation(long index) { g_failAt = index; }
long PluginAllocations() { return g_counted; }
std::string FailedAllocationEntry() { return g_failedEntry != nullptr ? g_failedEntry : ""; }
size_t LivePluginAllocations() { return g_liveCount; }

}  // namespace faults

// The replaced operators. Aligned forms are left to the runtime: nothing in the
// module over-aligns.
void* operator new(size_t size) {
    void* p = faults::Allocate(size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new[](size_t size) {
    void* p = faults::Allocate(size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new(size_t size, const std::nothrow_t&) noexcept { return faults::Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return faults::Allocate(size); }
void operator delete(void* p) noexcept { faults::Release(p); }
void operator delete[](void* p) noexcept { faults::Release(p); }
void operator delete(void* p, size_t) noexcept { faults::Release(p); }
void operator delete[](void* p, size_t) noexcept { faults::Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { faults::Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { faults::Release(p); }
