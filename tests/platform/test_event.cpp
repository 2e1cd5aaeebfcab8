// The manual-reset event: state changes and waking waiters on other threads. Timeouts here only
// keep a broken build from hanging; no assertion depends on how long anything takes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/event.h"

namespace pixhaven::platform {
namespace {

using namespace std::chrono_literals;

TEST(ManualResetEvent, StaysSetUntilReset) {
    ManualResetEvent event;
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.WaitFor(0ms));
    event.Set();
    EXPECT_TRUE(event.IsSet());
    EXPECT_TRUE(event.WaitFor(0ms));
    event.Wait();
    EXPECT_TRUE(event.IsSet()) << "waiting must not consume the signal";
    event.Reset();
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.WaitFor(1ms));
    EXPECT_TRUE(ManualResetEvent(true).IsSet());
}

TEST(ManualResetEvent, SetReleasesEveryWaiter) {
    ManualResetEvent event;
    std::atomic<int> released{0};
    std::vector<std::jthread> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back([&] {
            event.Wait();
            ++released;
        });
    }
    event.Set();
    waiters.clear();  // joins
    EXPECT_EQ(released.load(), 4);
}

TEST(ManualResetEvent, WaitForSeesASetFromAnotherThread) {
    ManualResetEvent event;
    ManualResetEvent waiting;
    std::atomic<bool> woke{false};
    std::jthread waiter([&] {
        waiting.Set();
        woke = event.WaitFor(60s);
    });
    ASSERT_TRUE(waiting.WaitFor(60s));
    event.Set();
    waiter.join();
    EXPECT_TRUE(woke.load());
}

}  // namespace
}  // namespace pixhaven::platform
