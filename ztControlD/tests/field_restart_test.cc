// Stopping and starting the real daemon the way the camera does it: a
// restart right after a stop while a notification client was connected
// (the stopped daemon's closed connection stays in TIME_WAIT on port 8081)
// while a port another listener holds stays refused, and a stop command that
// arrives while the daemon is still starting.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "DaemonHarness.h"
#include "ztFirmwarePeer.h"

using namespace std::chrono_literals;
using zttest::DaemonHarness;
using zttest::queueExists;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint32_t kCsiLogFlags = 123;
constexpr uint32_t kExtendedLogging = 0x200;  // level 4: the registry logs each client
constexpr const char *kClientAdded = "Total PUSH_NOTIFICATION clients connected:1 ";

TEST(FieldRestart, PortInUseByAListenerIsStillRefusedAndTheReasonLogged)
{
    ZtFirmwarePeer peer;
    ASSERT_TRUE(peer.ok());
    const int blocker = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(blocker, 0);
    // Address reuse lets the blocker past connections of other tests still in
    // TIME_WAIT; a listener holds the port against the daemon's reuse all the same.
    const int reuse = 1;
    ASSERT_EQ(setsockopt(blocker, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse)), 0);
    struct sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(zttest::kNotifyPort);
    ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    ASSERT_EQ(listen(blocker, 1), 0);

    DaemonHarness daemon;
    ASSERT_TRUE(daemon.start());
    auto status = daemon.waitExit(15s);
    close(blocker);
    ASSERT_TRUE(status) << daemon.log();
    EXPECT_TRUE(status->exited && status->code == 255) << status->describe();
    EXPECT_EQ(daemon.countInLog("bind() to port 8081: Address already in use @"), 1u)
        << daemon.log();
    // The server had started: its shutdown removes its queues.
    EXPECT_FALSE(queueExists(zttest::kCommandQueue) || queueExists("/to_ztCtlD2"));
}

// The stop command is answered and leaves no queue of the daemon's behind,
// and never the firmware's queue.
TEST(FieldRestart, RestartRightAfterStopWithAConnectedClientBindsThePort)
{
    ZtFirmwarePeer peer;
    ASSERT_TRUE(peer.ok());
    peer.setCsiItem(kCsiLogFlags, kExtendedLogging);

    DaemonHarness first;
    ASSERT_TRUE(first.startAndWaitReady()) << first.log();
    zttest::TcpNotifyClient client;
    ASSERT_TRUE(client.connect(5s));
    ASSERT_TRUE(first.waitForLog(kClientAdded, 5s)) << first.log();
    auto stopped = first.stop();
    ASSERT_TRUE(stopped && stopped->ok()) << first.log();
    EXPECT_FALSE(queueExists(zttest::kCommandQueue) || queueExists("/to_ztCtlD2"));
    EXPECT_TRUE(queueExists("/to_ztnet"));
    // A client closing normally after the daemon's end of stream leaves the
    // daemon's side in TIME_WAIT: what made the field's restarts fail.
    ASSERT_TRUE(client.waitClosedByPeer(5s));
    client.close(false);
    ASSERT_TRUE(
        zttest::waitUntil([] { return zttest::tcpPortInState(zttest::kNotifyPort, "06"); }, 2s));

    DaemonHarness second;
    ASSERT_TRUE(second.startAndWaitReady()) << second.log();
    zttest::TcpNotifyClient again;
    EXPECT_TRUE(again.connect(1s));
    EXPECT_TRUE(second.waitForLog(kClientAdded, 5s)) << second.log();
    again.close();
    stopped = second.stop();
    ASSERT_TRUE(stopped && stopped->ok()) << second.log();
}

TEST(FieldRestart, StopWhileStartingExitsZeroAtOnce)
{
    ZtFirmwarePeer peer;
    ASSERT_TRUE(peer.ok());
    DaemonHarness daemon;
    ASSERT_TRUE(daemon.start());
    ASSERT_TRUE(zttest::waitUntil([] { return queueExists(zttest::kCommandQueue); }, 10s))
        << daemon.log();

    const auto sentAt = Clock::now();
    auto status = daemon.stop(5s);  // answer and exit
    ASSERT_TRUE(status) << "no answer or no exit\n" << daemon.log();
    EXPECT_TRUE(status->ok()) << status->describe() << "\n" << daemon.log();
    EXPECT_LT(Clock::now() - sentAt, 2s);
    EXPECT_FALSE(queueExists(zttest::kCommandQueue) || queueExists("/to_ztCtlD2"));
}

}  // namespace
