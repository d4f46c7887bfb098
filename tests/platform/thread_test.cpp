#include "engine/platform/manual_reset_event.h"
#include "engine/platform/thread_priority.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace tavrin::platform;

TEST(ManualResetEvent, StaysSetForEveryWaiterUntilReset) {
    ManualResetEvent event;
    EXPECT_FALSE(event.wait(0));
    int seen = 0;
    std::thread waiter([&] {
        event.wait();
        seen = 1;
    });
    event.set();
    waiter.join();
    EXPECT_EQ(seen, 1);
    EXPECT_TRUE(event.wait(0));
    EXPECT_TRUE(event.isSet());

    event.reset();
    EXPECT_FALSE(event.isSet());
    EXPECT_FALSE(event.wait(10));  // nobody sets it: the wait ends with false
}

TEST(ManualResetEvent, CanStartSet) {
    const ManualResetEvent event(true);
    EXPECT_TRUE(event.wait(0));
}

class Priorities : public ::testing::TestWithParam<ThreadPriority> {};

// Each level is tried on a fresh thread, because an unprivileged thread cannot take
// back a nice value it gave up.
TEST_P(Priorities, ChangeOnlyTheCallingThread) {
    const int before = CurrentThreadNice();
    int after = 0;
    std::thread worker([&] {
        SetCurrentThreadPriority(GetParam());
        after = CurrentThreadNice();
    });
    worker.join();
    EXPECT_EQ(CurrentThreadNice(), before);

    const int wanted = NiceValueOf(GetParam());
    if (wanted >= before) {
        EXPECT_EQ(after, wanted);
    } else {
        // Raising a priority needs a privilege: it happens, or it is silently left.
        EXPECT_LE(after, before);
        EXPECT_GE(after, wanted);
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, Priorities, ::testing::Values(
    ThreadPriority::Idle, ThreadPriority::Lowest, ThreadPriority::BelowNormal,
    ThreadPriority::Normal, ThreadPriority::AboveNormal, ThreadPriority::Highest,
    ThreadPriority::TimeCritical));

TEST(Priorities, LevelsAreOrdered) {
    EXPECT_EQ(NiceValueOf(ThreadPriority::Idle), 19);
    EXPECT_EQ(NiceValueOf(ThreadPriority::Normal), 0);
    EXPECT_EQ(NiceValueOf(ThreadPriority::TimeCritical), -20);
    for (int level = 1; level <= 6; ++level) {
        EXPECT_LT(NiceValueOf(static_cast<ThreadPriority>(level)),
                  NiceValueOf(static_cast<ThreadPriority>(level - 1)));
    }
}

TEST(Priorities, FailingToRaiseIsIgnored) {
    std::thread worker([] {
        SetCurrentThreadPriority(ThreadPriority::Idle);
        SetCurrentThreadPriority(ThreadPriority::TimeCritical);  // may be refused: no error
        EXPECT_LE(CurrentThreadNice(), 19);
    });
    worker.join();
}

}  // namespace
