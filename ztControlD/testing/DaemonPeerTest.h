// A test that runs one real daemon against a scripted firmware peer per
// test: the peer starts first, the daemon is ready and its requester drained
// before the test body, and the daemon must stop cleanly (command 101, exit
// status 0) afterwards. Tests using it run NAMESPACED. Used by the test
// thread only.
//
// A fixture's constructor may script the peer before the daemon starts; a
// fixture that must prepare it per test (camera model, blocks read at start)
// passes kStartInBody and calls startDaemon() from the test body.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <optional>

#include "DaemonHarness.h"
#include "ztFirmwarePeer.h"

namespace zttest {

class DaemonPeerTest : public ::testing::Test {
protected:
    enum StartIn { kStartInSetUp, kStartInBody };
    explicit DaemonPeerTest(StartIn start = kStartInSetUp) : m_startInSetUp(start == kStartInSetUp)
    {
    }

    void SetUp() override
    {
        ASSERT_TRUE(m_peer.ok());
        if (m_startInSetUp)
            startDaemon();
    }
    void TearDown() override
    {
        if (!m_started)
            return;
        auto status = m_daemon.stop(std::chrono::seconds(15));
        ASSERT_TRUE(status) << m_daemon.log();
        EXPECT_TRUE(status->ok()) << status->describe() << "\n" << m_daemon.log();
    }

    // Starts the daemon, waits until it answers and drains the requester.
    void startDaemon()
    {
        ASSERT_TRUE(m_daemon.startAndWaitReady()) << m_daemon.log();
        m_started = true;
        m_daemon.requester().drain();
    }

    // Sends one command and returns its result (0x7FFFFFFF, with a test
    // failure, when no answer came); the whole answer is kept in m_reply.
    int32_t result(uint32_t command, const std::optional<Bytes> &arg = std::nullopt,
                   std::optional<uint8_t> option = std::nullopt,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        ClientRequest request;
        request.command = command;
        request.arg = arg;
        request.option = option;
        m_reply = m_daemon.requester().call(request, timeout);
        EXPECT_TRUE(m_reply && m_reply->hasResult) << "no answer to command " << command << "\n"
                                                   << m_daemon.log();
        return m_reply && m_reply->hasResult ? m_reply->result : 0x7FFFFFFF;
    }

    ZtFirmwarePeer m_peer;
    DaemonHarness m_daemon;
    std::optional<Reply> m_reply;

private:
    bool m_startInSetUp;
    bool m_started = false;
};

}  // namespace zttest
