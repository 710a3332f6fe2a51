// The capture and mode commands through the real daemon against the real
// firmware simulator: every branch is answered as a client expects by a
// camera that keeps state, and the preset edits the daemon opens are stored
// (the simulator reports each edit event it sends back).
#include <gtest/gtest.h>

#include <chrono>

#include "SimulatorDaemonTest.h"

using namespace std::chrono_literals;
using zttest::Bytes;
using zttest::u16Arg;
using zttest::u32Arg;
using zttest::words;

namespace {

class CaptureOnSimulator : public zttest::SimulatorDaemonTest {};

TEST_F(CaptureOnSimulator, CaptureAndModeCommandsAreAnsweredAsTheCameraAllows)
{
    EXPECT_EQ(call(3, Bytes{1}).result, 0);
    EXPECT_TRUE(m_sim.waitForOutput("capture started", 2s)) << m_sim.output();
    const auto busy = call(100);
    EXPECT_EQ(busy.result, 0);
    EXPECT_EQ(busy.payload.size(), 1u);
    EXPECT_EQ(call(3, Bytes{0}).result, 0);

    EXPECT_EQ(call(4, u32Arg(1)).result, 0);
    EXPECT_EQ(call(4, u32Arg(0)).result, 0);
    EXPECT_EQ(call(5, words({0, 4})).result, 0);
    EXPECT_EQ(call(67, u16Arg(16)).result, 0);
    EXPECT_EQ(call(67, u16Arg(1000)).result, 0);
    EXPECT_EQ(call(67, u16Arg(1006)).result, -1);

    EXPECT_EQ(call(51, words({1, 30, 40, 0})).result, 0);
    EXPECT_EQ(call(51, words({0, 0, 0, 0})).result, 0);
    EXPECT_EQ(call(51, words({2, 101, 40, 0})).result, -1);
    EXPECT_EQ(call(99, Bytes{1}).result, 0);
}

TEST_F(CaptureOnSimulator, DelayAndZoomEditsAreStored)
{
    size_t mark = m_sim.outputMark();
    EXPECT_EQ(call(66, u32Arg(3)).result, 0);
    EXPECT_TRUE(m_sim.waitForOutputRegex("event: preset update 1 ", 2s, mark)) << m_sim.output();

    mark = m_sim.outputMark();
    EXPECT_EQ(call(61, u32Arg(10)).result, 0);
    EXPECT_EQ(call(61, u32Arg(20)).result, 0);
    EXPECT_TRUE(m_sim.waitForOutputRegex("event: preset update 1 ", 3s, mark)) << m_sim.output();

    mark = m_sim.outputMark();
    EXPECT_EQ(call(61, u32Arg(30)).result, 0);
    EXPECT_EQ(call(4, u32Arg(0)).result, 0);
    EXPECT_TRUE(m_sim.waitForOutputRegex("event: preset update 1 ", 2s, mark)) << m_sim.output();
    EXPECT_TRUE(m_daemon.waitForLog("ZTCONTROL_MODE change wile zoomin", 2s));
}

}  // namespace
