// A test that runs the real firmware simulator and one real daemon against it
// per test: the simulator serves its queues first, the daemon is ready and its
// requester drained before the test body, and both must stop cleanly (the
// daemon by command 101, the simulator on SIGTERM, both with exit status 0)
// afterwards. Tests using it run NAMESPACED. Used by the test thread only.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <optional>

#include "DaemonHarness.h"

namespace zttest {

class SimulatorDaemonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sim.start(DaemonHarness::binDir() + "/ztFirmwareSim", {"--no-console"}))
            << m_sim.error() << " (build the ztFirmwareSim target)";
        ASSERT_TRUE(m_sim.waitForOutput("serving /to_ztnet", std::chrono::seconds(10)))
            << m_sim.output();
        ASSERT_TRUE(m_daemon.startAndWaitReady()) << m_daemon.log();
        m_started = true;
        m_daemon.requester().drain();
    }
    void TearDown() override
    {
        if (m_started) {
            auto status = m_daemon.stop();
            EXPECT_TRUE(status && status->ok()) << m_daemon.log();
        }
        if (!m_sim.signal(SIGTERM))
            return;  // never started
        auto simStatus = m_sim.waitExit(std::chrono::seconds(5));
        ASSERT_TRUE(simStatus) << "the simulator did not stop\n" << m_sim.output();
        EXPECT_TRUE(simStatus->ok()) << simStatus->describe() << "\n" << m_sim.output();
    }

    // Sends one command and waits for its answer (an empty Reply, with a test
    // failure, when none came).
    Reply call(uint32_t command, std::optional<Bytes> arg = std::nullopt)
    {
        ClientRequest request;
        request.command = command;
        request.arg = std::move(arg);
        auto reply = m_daemon.requester().call(request);
        EXPECT_TRUE(reply && reply->hasResult) << "no answer to command " << command << "\n"
                                               << m_daemon.log();
        return reply ? *reply : Reply{};
    }

    ChildProcess m_sim;
    DaemonHarness m_daemon;

private:
    bool m_started = false;
};

}  // namespace zttest
