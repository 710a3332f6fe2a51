// A test that runs one real daemon against a scripted firmware peer per
// test: the peer starts first, the daemon is ready and its requester drained
// before the test body, and the daemon must stop cleanly (command 101, exit
// status 0) afterwards. Tests using it run NAMESPACED.
#pragma once

#include <gtest/gtest.h>

#include "DaemonHarness.h"
#include "ztFirmwarePeer.h"

namespace zttest {

class DaemonPeerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_peer.ok());
        ASSERT_TRUE(m_daemon.startAndWaitReady()) << m_daemon.log();
        m_daemon.requester().drain();
    }
    void TearDown() override
    {
        auto status = m_daemon.stop();
        ASSERT_TRUE(status) << m_daemon.log();
        EXPECT_TRUE(status->ok()) << status->describe();
    }

    ZtFirmwarePeer m_peer;
    DaemonHarness m_daemon;
};

}  // namespace zttest
