#include "common/unique_handle.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace {

// Handles are the numbers 1, 2, ...; closing one counts it.
std::map<int, int> closes;
void CountClose(int handle) { ++closes[handle]; }
using Counted = UniqueHandle<int, &CountClose>;

TEST(UniqueHandle, ClosesOnceWhateverHandsItOn) {
    closes.clear();
    {
        Counted a{1};
        Counted b{std::move(a)};
        EXPECT_FALSE(a);
        EXPECT_EQ(b.Get(), 1);
        b = std::move(b);  // self-move keeps it
        EXPECT_EQ(b.Get(), 1);
        Counted c{2};
        c = std::move(b);  // 2 closed, 1 moves on
        EXPECT_EQ(closes, (std::map<int, int>{{2, 1}}));
        *c.Receive() = 3;  // 1 closed before the call writes
        EXPECT_EQ(closes, (std::map<int, int>{{1, 1}, {2, 1}}));
        EXPECT_EQ(c.Release(), 3);
        EXPECT_FALSE(c);
        Counted empty;
        empty.Reset();
    }
    EXPECT_EQ(closes, (std::map<int, int>{{1, 1}, {2, 1}}));  // 3 was released, nothing empty closed
}

// Random moves, resets and releases among a few owners: every handle is closed
// exactly once unless released, and never while an owner still holds it.
TEST(UniqueHandle, RandomHandOversCloseEachHandleExactlyOnce) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 200; ++round) {
        closes.clear();
        std::set<int> released;
        int next = 1;
        {
            std::vector<Counted> owners(4);
            for (int step = 0; step < 40; ++step) {
                Counted& a = owners[random() % owners.size()];
                Counted& b = owners[random() % owners.size()];
                switch (random() % 5) {
                    case 0: a.Reset(next++); break;
                    case 1: a = std::move(b); break;
                    case 2: *a.Receive() = next++; break;
                    case 3:
                        if (a) released.insert(a.Release());
                        break;
                    default: a.Reset(); break;
                }
                for (const Counted& owner : owners) {
                    EXPECT_TRUE(!owner || closes.count(owner.Get()) == 0) << "closed while held";
                }
            }
        }
        for (int handle = 1; handle < next; ++handle) {
            EXPECT_EQ(closes[handle], released.count(handle) ? 0 : 1) << "handle " << handle;
        }
    }
}

struct CountedInterface {
    int releases = 0;
    void Release() { ++releases; }
};

TEST(ComPtr, ReleasesItsReferenceOnce) {
    CountedInterface first;
    CountedInterface second;
    {
        ComPtr<CountedInterface> held{&first};
        ComPtr<CountedInterface> other{std::move(held)};
        other.Reset(&second);
        EXPECT_EQ(first.releases, 1);
    }
    EXPECT_EQ(first.releases, 1);
    EXPECT_EQ(second.releases, 1);
}

}  // namespace
