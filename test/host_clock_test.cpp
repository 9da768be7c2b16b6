// The headless host's key queue, its virtual and real clock, and its pixel lock counters.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "host/clock.h"
#include "host/headless.h"
#include "host/host.h"

namespace {

class Pulse : public ::testing::Test {
protected:
    void SetUp() override { headlessReset(); }
    void TearDown() override { headlessReset(); }
};

TEST_F(Pulse, KeysComeOutInTheOrderPushed) {
    EXPECT_EQ(pollKey(), "");
    const std::vector<std::string> keys = {"A", std::string(kEscapeKey),
                                           std::string(kCloseRequestKey), "Left Shift", "A"};
    for (const auto& key : keys) headlessPushKey(key);
    headlessPushKey("");  // would read as no key: ignored
    for (const auto& key : keys) EXPECT_EQ(pollKey(), key);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(pollKey(), "");
}

TEST_F(Pulse, KeysPushedBetweenPollsJoinTheQueue) {
    headlessPushKey("1");
    headlessPushKey("2");
    EXPECT_EQ(pollKey(), "1");
    headlessPushKey("3");
    EXPECT_EQ(pollKey(), "2");
    EXPECT_EQ(pollKey(), "3");
    EXPECT_EQ(pollKey(), "");
}

TEST_F(Pulse, VirtualClockReadsExactlyWhatWasSet) {
    headlessSetClock(12.5);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(clockSeconds(), 12.5);
    headlessAdvanceClock(0.020);
    EXPECT_EQ(clockSeconds(), 12.5 + 0.020);
    headlessAdvanceClock(0.001);
    EXPECT_EQ(clockSeconds(), 12.5 + 0.020 + 0.001);
    headlessSetClock(0.0205);  // going back is the caller's business
    EXPECT_EQ(clockSeconds(), 0.0205);
    EXPECT_EQ(headlessClockRefreshCount(), 0);
}

// The steady clock may read the processor's counter instead of the system clock; over a
// quarter of a second (the counter's rate is measured again each tenth) it keeps to the
// system clock within a millisecond and never goes back.
TEST(SteadyClock, KeepsToTheSystemClockAndNeverGoesBack) {
    using System = std::chrono::steady_clock;
    auto since = [](System::time_point a, System::time_point b) {
        return std::chrono::duration<double>(b - a).count();
    };
    const System::time_point before0 = System::now();
    const double ours0 = steadySeconds();
    const System::time_point after0 = System::now();
    double last = ours0;
    int readings = 0;
    for (System::time_point before = before0; since(before0, before) < 0.25; ++readings) {
        before = System::now();
        double ours = steadySeconds();
        System::time_point after = System::now();
        ASSERT_GE(ours, last);
        ASSERT_GE(ours - ours0, since(after0, before) - 0.001) << readings;
        ASSERT_LE(ours - ours0, since(before0, after) + 0.001) << readings;
        last = ours;
    }
    EXPECT_GT(readings, 1000);
}

TEST_F(Pulse, RealClockIsReadAtEveryCall) {
    double first = clockSeconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    double second = clockSeconds();
    EXPECT_EQ(headlessClockRefreshCount(), 2);
    EXPECT_GE(second - first, 0.002);
    EXPECT_LT(second - first, 1.0);
}

TEST_F(Pulse, SwitchingBackToTheRealClockReadsItAtOnce) {
    headlessSetClock(1000.0);
    EXPECT_EQ(clockSeconds(), 1000.0);
    headlessUseRealClock();
    double now = clockSeconds();
    EXPECT_EQ(headlessClockRefreshCount(), 1);
    EXPECT_LT(now, 1000.0);  // seconds since the process started
    EXPECT_GE(now, 0.0);
}

TEST_F(Pulse, ResetForgetsKeysAndClock) {
    headlessPushKey("x");
    headlessSetClock(5.0);
    headlessReset();
    EXPECT_EQ(pollKey(), "");
    EXPECT_NE(clockSeconds(), 5.0);
    EXPECT_FALSE(headlessWindowOpened());
    EXPECT_EQ(pixelMemory(), nullptr);
}

TEST_F(Pulse, CountsPixelLocks) {
    openWindow(640, 480, 32, 2, 0, 60);
    EXPECT_TRUE(headlessWindowOpened());
    EXPECT_FALSE(headlessPixelsLocked());
    lockPixels();
    EXPECT_TRUE(headlessPixelsLocked());
    unlockPixels(-1, -1);
    EXPECT_FALSE(headlessPixelsLocked());
    lockPixels();
    unlockPixels(3, 7);
    EXPECT_EQ(headlessLockCount(), 2);
    EXPECT_EQ(headlessUnlockCount(), 2);
    EXPECT_EQ(headlessLastUnlockRows(), std::make_pair(3, 7));
}

TEST(HeadlessEnd, EndProcessExitsWithTheStatus) {
    EXPECT_EXIT(endProcess(0), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(endProcess(3), ::testing::ExitedWithCode(3), "");
}

}  // namespace
