// The real daemon drops its notification clients when it is suspended. In a
// binary of its own: the daemon closes the connection first, so port 8081
// stays in TIME_WAIT, and a daemon started later in the same network
// namespace could not bind it (the listener sets no address reuse).
#include <gtest/gtest.h>

#include "CommandFixture.h"

using namespace std::chrono_literals;

namespace {

class ServerSuspendClients : public zttest::DaemonPeerTest {
protected:
    ServerSuspendClients() { m_peer.setCsiItem(123, 0x200); }  // debug log level
};

TEST_F(ServerSuspendClients, SuspendClosesSocketClientsAndResumeAcceptsNewOnes)
{
    const std::string sys = zttest::uniqueQueueName("sys");
    zttest::TcpNotifyClient first;
    ASSERT_TRUE(first.connect(5s));
    ASSERT_TRUE(m_daemon.waitForLog("Total PUSH_NOTIFICATION clients connected:1", 5s));
    ASSERT_TRUE(m_peer.postSuspend(true, sys));
    ASSERT_TRUE(m_peer.waitForSysAnswer(sys, 5000)) << m_daemon.log();
    EXPECT_TRUE(first.waitClosedByPeer(3s)) << "suspend kept the client";

    ASSERT_TRUE(m_peer.postSuspend(false, sys));
    ASSERT_TRUE(m_peer.waitForSysAnswer(sys, 5000));
    // The registry starts again from empty: the next client is the only one.
    const size_t mark = m_daemon.logMark();
    zttest::TcpNotifyClient second;
    ASSERT_TRUE(second.connect(5s));
    EXPECT_TRUE(m_daemon.waitForLog("Total PUSH_NOTIFICATION clients connected:1", 5s, mark));
}

}  // namespace
