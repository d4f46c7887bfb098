#include "engine/platform/request_event.h"

#include <gtest/gtest.h>

#include <thread>

using tavrin::platform::RequestEvent;

TEST(RequestEvent, SignalledFromAnotherThreadStaysSignalledUntilReset) {
    RequestEvent event;
    ASSERT_TRUE(event.valid());
    EXPECT_GT(event.fd(), 0);
    EXPECT_FALSE(event.wait(0));

    std::thread completer([fd = event.fd()] { RequestEvent::signal(fd); });
    EXPECT_TRUE(event.wait(10000));
    completer.join();
    EXPECT_TRUE(event.wait(0));  // manual reset: a second wait still sees it

    event.reset();
    EXPECT_FALSE(event.wait(0));
}

TEST(RequestEvent, WaitTimesOutWhenNobodyCompletes) {
    RequestEvent event;
    EXPECT_FALSE(event.wait(20));
}
