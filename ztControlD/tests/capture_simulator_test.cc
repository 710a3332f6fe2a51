// The capture and mode commands through the real daemon against the real
// firmware simulator: every branch is answered as a client expects by a
// camera that keeps state, and the preset edits the daemon opens are stored
// (the simulator reports each edit event it sends back).
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

#include "DaemonHarness.h"

using namespace std::chrono_literals;
using zttest::Bytes;
using zttest::words;
using zttest::u16Arg;
using zttest::u32Arg;

namespace {

class CaptureOnSimulator : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sim.start(zttest::DaemonHarness::binDir() + "/ztFirmwareSim", {"--no-console"}))
            << m_sim.error();
        ASSERT_TRUE(m_sim.waitForOutput("serving /to_ztnet", 5s)) << m_sim.output();
        ASSERT_TRUE(m_daemon.startAndWaitReady()) << m_daemon.log();
        m_daemon.requester().drain();
    }
    void TearDown() override
    {
        auto status = m_daemon.stop();
        ASSERT_TRUE(status) << m_daemon.log();
        EXPECT_TRUE(status->ok()) << status->describe();
        m_sim.signal(SIGTERM);
        auto simStatus = m_sim.waitExit(5s);
        ASSERT_TRUE(simStatus);
        EXPECT_TRUE(simStatus->ok()) << simStatus->describe() << m_sim.output();
    }

    int32_t run(uint32_t command, const std::optional<Bytes> &arg = std::nullopt)
    {
        m_reply = arg ? m_daemon.requester().call(command, *arg) : m_daemon.requester().call(command);
        EXPECT_TRUE(m_reply && m_reply->hasResult) << m_daemon.log();
        return m_reply && m_reply->hasResult ? m_reply->result : 0x7FFFFFFF;
    }

    zttest::ChildProcess m_sim;
    zttest::DaemonHarness m_daemon;
    std::optional<zttest::Reply> m_reply;
};

TEST_F(CaptureOnSimulator, CaptureAndModeCommandsAreAnsweredAsTheCameraAllows)
{
    EXPECT_EQ(run(3, Bytes{1}), 0);
    EXPECT_TRUE(m_sim.waitForOutput("capture started", 2s)) << m_sim.output();
    EXPECT_EQ(run(100), 0);
    ASSERT_TRUE(m_reply->hasPayload);
    EXPECT_EQ(m_reply->payload.size(), 1u);
    EXPECT_EQ(run(3, Bytes{0}), 0);

    EXPECT_EQ(run(4, u32Arg(1)), 0);
    EXPECT_EQ(run(4, u32Arg(0)), 0);
    EXPECT_EQ(run(5, words({0, 4})), 0);
    EXPECT_EQ(run(67, u16Arg(16)), 0);
    EXPECT_EQ(run(67, u16Arg(1000)), 0);
    EXPECT_EQ(run(67, u16Arg(1006)), -1);

    EXPECT_EQ(run(51, words({1, 30, 40, 0})), 0);
    EXPECT_EQ(run(51, words({0, 0, 0, 0})), 0);
    EXPECT_EQ(run(51, words({2, 101, 40, 0})), -1);
    EXPECT_EQ(run(99, Bytes{1}), 0);
}

TEST_F(CaptureOnSimulator, DelayAndZoomEditsAreStored)
{
    size_t mark = m_sim.outputMark();
    EXPECT_EQ(run(66, u32Arg(3)), 0);
    EXPECT_TRUE(m_sim.waitForOutputRegex("event: preset update 1 ", 2s, mark)) << m_sim.output();

    mark = m_sim.outputMark();
    EXPECT_EQ(run(61, u32Arg(10)), 0);
    EXPECT_EQ(run(61, u32Arg(20)), 0);
    EXPECT_TRUE(m_sim.waitForOutputRegex("event: preset update 1 ", 3s, mark)) << m_sim.output();

    mark = m_sim.outputMark();
    EXPECT_EQ(run(61, u32Arg(30)), 0);
    EXPECT_EQ(run(4, u32Arg(0)), 0);
    EXPECT_TRUE(m_sim.waitForOutputRegex("event: preset update 1 ", 2s, mark)) << m_sim.output();
    EXPECT_TRUE(m_daemon.waitForLog("ZTCONTROL_MODE change wile zoomin", 2s));
}

}  // namespace
