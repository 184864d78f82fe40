#include "data/CallDeadline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace tarvel {
namespace {

// Every query of every scan is watched: a watchdog woken at each of them costs the scan two thread
// switches. Under a limit of seconds, calls of a millisecond must leave it asleep.
TEST(CallDeadline, ShortCallsUnderALongLimitLeaveTheWatchdogAsleepAndALimitStillExpiresOnTime)
{
    CallDeadline deadline;
    std::atomic<int> expired = 0;
    for (int call = 0; call < 1000; ++call) {
        deadline.arm(5s, [&] { ++expired; });
        std::this_thread::sleep_for(200us); // the call waits for the server
        EXPECT_FALSE(deadline.disarm());
    }
    EXPECT_EQ(expired, 0);
    EXPECT_LE(deadline.wakeups(), 2) << "1,000 watched calls woke the watchdog this often";

    // A shorter limit than the one the watchdog sleeps for wakes it: it expires at its own time, long
    // before the 5 s the watchdog would otherwise sleep, however busy the machine.
    const Clock::time_point began = Clock::now();
    deadline.arm(50ms, [&] { ++expired; });
    while (expired == 0 && Clock::now() - began < 4s)
        std::this_thread::sleep_for(1ms);
    const auto took = Clock::now() - began;
    EXPECT_TRUE(deadline.disarm());
    EXPECT_EQ(expired, 1);
    EXPECT_GE(took, 50ms);

    // A call that ends in time after a long idle wait: not expired, and the action never runs later.
    deadline.arm(100ms, [&] { ++expired; });
    EXPECT_FALSE(deadline.disarm());
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(expired, 1);
}

} // namespace
} // namespace tarvel
