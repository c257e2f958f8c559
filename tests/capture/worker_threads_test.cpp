#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

#include "capture/worker_threads.h"

namespace vorlanx {
namespace {

using namespace std::chrono_literals;

TEST(WorkerThreads, WaitsJoinsAndCountsEveryThreadItStarted) {
    WorkerThreads workers;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> ran{0};
    workers.spawn("held", 0, [&, released] {
        released.wait();
        // A worker may start another; the registry owns it as well.
        workers.spawn("child", 0, [&] { ran.fetch_add(1); });
        ran.fetch_add(1);
    });
    EXPECT_FALSE(workers.waitUntilAllDone(20ms));
    EXPECT_EQ(workers.size(), 1u);

    release.set_value();
    EXPECT_TRUE(workers.waitUntilAllDone(5s));
    EXPECT_EQ(ran.load(), 2);
    EXPECT_EQ(workers.size(), 0u);
}

TEST(WorkerThreads, SpawnJoinsTheThreadsThatHaveEnded) {
    WorkerThreads workers;
    for (int i = 0; i < 50; ++i) {
        workers.spawn("short", 0, [] {});
        ASSERT_TRUE(workers.waitUntilAllDone(5s));
    }
    workers.spawn("short", 0, [] {});
    EXPECT_LE(workers.size(), 1u);
}

// joinAll nudges a thread that only ends when told again, as a capture opened after the
// first stop request must be stopped once more.
TEST(WorkerThreads, JoinAllNudgesUntilEveryThreadEnds) {
    std::atomic<int> nudges{0};
    std::atomic<bool> stop{false};
    {
        WorkerThreads workers;
        workers.spawn("stubborn", -1, [&] {
            while (!stop.load())
                std::this_thread::sleep_for(1ms);
        });
        workers.joinAll([&] {
            if (nudges.fetch_add(1) == 3)
                stop.store(true);
        });
        EXPECT_EQ(workers.size(), 0u);
    }
    EXPECT_GE(nudges.load(), 4);
}

}  // namespace
}  // namespace vorlanx
