#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/Event.h"

TEST(EventTest, TimedWaitOnUnsetEventReturnsFalse)
{
    CEvent event;
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.Wait(20));
    EXPECT_FALSE(event.Wait(0));
}

TEST(EventTest, StaysSetForEveryWaitUntilReset)
{
    CEvent event;
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.Wait(CEvent::kInfinite));
    EXPECT_TRUE(event.IsSet());
    event.Reset();
    EXPECT_FALSE(event.Wait(0));
}

TEST(EventTest, CanStartSet)
{
    CEvent event(true);
    EXPECT_TRUE(event.Wait(0));
}

TEST(EventTest, WaiterSeesWritesMadeBeforeSet)
{
    CEvent ready;
    std::vector<int> result;  // deliberately unsynchronised: the event must publish it
    std::thread writer([&] {
        for (int i = 0; i < 1000; ++i)
            result.push_back(i);
        ready.Set();
    });
    ASSERT_TRUE(ready.Wait(CEvent::kInfinite));
    ASSERT_EQ(result.size(), 1000u);
    EXPECT_EQ(result.back(), 999);
    writer.join();
}

TEST(EventTest, SetFromAnotherThreadReleasesEveryWaiter)
{
    CEvent gate;
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.emplace_back([&] {
            if (gate.Wait(CEvent::kInfinite))
                ++released;
        });
    gate.Set();
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(released.load(), 4);
}
