// The real daemon drops its notification clients when it is suspended. In a
// binary of its own: the daemon closes the connection first, so port 8081
// stays in TIME_WAIT, and a daemon started later in the same network
// namespace could not bind it (the listener sets no address reuse).
#include <gtest/gtest.h>

#include <chrono>

#include "DaemonHarness.h"
#include "ztFirmwarePeer.h"

using namespace std::chrono_literals;

namespace {

TEST(ServerSuspendClients, SuspendClosesSocketClientsAndResumeAcceptsNewOnes)
{
    ZtFirmwarePeer peer;
    ASSERT_TRUE(peer.ok());
    peer.setCsiItem(123, 0x200);  // debug log level, for the registry lines
    zttest::DaemonHarness daemon;
    ASSERT_TRUE(daemon.startAndWaitReady()) << daemon.log();
    const std::string sysQueue = zttest::uniqueQueueName("sys");

    zttest::TcpNotifyClient first;
    ASSERT_TRUE(first.connect(5s));
    ASSERT_TRUE(daemon.waitForLog("Total PUSH_NOTIFICATION clients connected:1", 5s));

    ASSERT_TRUE(peer.postSuspend(true, sysQueue));
    ASSERT_TRUE(peer.waitForSysAnswer(sysQueue, 5000)) << daemon.log();
    EXPECT_TRUE(first.waitClosedByPeer(3s)) << "suspend kept the client";

    ASSERT_TRUE(peer.postSuspend(false, sysQueue));
    ASSERT_TRUE(peer.waitForSysAnswer(sysQueue, 5000));
    // The registry starts again from empty: the next client is the only one.
    const size_t mark = daemon.logMark();
    zttest::TcpNotifyClient second;
    ASSERT_TRUE(second.connect(5s));
    EXPECT_TRUE(daemon.waitForLog("Total PUSH_NOTIFICATION clients connected:1", 5s, mark));

    auto status = daemon.stop();
    ASSERT_TRUE(status) << daemon.log();
    EXPECT_TRUE(status->ok()) << status->describe();
}

}  // namespace
