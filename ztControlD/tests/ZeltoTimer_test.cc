// The worker timer: fires once, stays quiet after a cancel, survives a
// throwing callback, and its destructor ends the thread at once (re-arming
// within the interval: the zoom run of daemon_commands_test). Waits are
// bounded and timing checks leave generous margins for loaded and sanitized
// runs.
#include "ZeltoTimer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Records each firing; the callback argument is the recorder.
struct Recorder {
    static void fire(void *self)
    {
        auto *r = static_cast<Recorder *>(self);
        std::lock_guard<std::mutex> lock(r->m);
        r->fired.push_back(Clock::now());
        r->cv.notify_all();
    }
    static void fireAndThrow(void *self)
    {
        fire(self);
        throw 1;
    }
    // Waits until the count reaches n or `timeout` passes; returns the count.
    size_t waitFor(size_t n, std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(m);
        cv.wait_for(lock, timeout, [&] { return fired.size() >= n; });
        return fired.size();
    }
    std::mutex m;
    std::condition_variable cv;
    std::vector<Clock::time_point> fired;
};

// After a throwing callback the timer still works; a cancelled arming never
// fires, and the cancel does not stick to the next one.
TEST(ZeltoTimer, FiresOnceAfterTheIntervalUnlessCancelledAndSurvivesACallbackException)
{
    Recorder rec;
    ZeltoTimer timer;
    const auto armed = Clock::now();
    timer.arm(200, Recorder::fireAndThrow, &rec);
    ASSERT_EQ(1u, rec.waitFor(1, 5s));
    EXPECT_GE(rec.fired[0] - armed, 195ms);
    EXPECT_LT(rec.fired[0] - armed, 2s);
    EXPECT_EQ(1u, rec.waitFor(2, 600ms)) << "fired a second time";

    timer.arm(200, Recorder::fire, &rec);
    // A cancel that meets the busy mutex is skipped by design; try again.
    bool cancelled = false;
    for (auto until = Clock::now() + 150ms; !cancelled && Clock::now() < until;)
        cancelled = timer.cancel();
    ASSERT_TRUE(cancelled);
    EXPECT_EQ(1u, rec.waitFor(2, 600ms)) << "a cancelled arming fired";
    timer.arm(10, Recorder::fire, &rec);
    EXPECT_EQ(2u, rec.waitFor(2, 5s)) << "the exception or the cancel ended the timer";
}

TEST(ZeltoTimer, DestroyingEndsTheThreadAtOnce)
{
    for (bool armed : {false, true}) {
        Recorder rec;
        const auto start = Clock::now();
        {
            ZeltoTimer timer;
            if (armed)
                timer.arm(2000, Recorder::fire, &rec);
        }
        EXPECT_LT(Clock::now() - start, 500ms) << (armed ? "armed" : "idle");
        EXPECT_EQ(0u, rec.waitFor(1, 0ms));
    }
}

}  // namespace
