// Stopping and starting the real daemon the way the camera does it: a
// restart right after a stop while a notification client was connected
// (the stopped daemon's closed connection stays in TIME_WAIT on port 8081)
// while a port another listener holds stays refused, and a stop command that
// arrives while the daemon is still starting.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>

#include "DaemonHarness.h"
#include "ztFirmwarePeer.h"

using namespace std::chrono_literals;
using zttest::DaemonHarness;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint32_t kCsiLogFlags = 123;
constexpr uint32_t kExtendedLogging = 0x200;  // level 4: the registry logs each client
constexpr const char *kClientAdded = "Total PUSH_NOTIFICATION clients connected:1 ";

// True when a connection with local port `port` is in TIME_WAIT.
bool timeWaitOn(uint16_t port)
{
    std::ifstream tcp("/proc/net/tcp");
    char wanted[16];
    snprintf(wanted, sizeof wanted, ":%04X", port);
    std::string line;
    std::getline(tcp, line);
    while (std::getline(tcp, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        if ((fields >> slot >> local >> remote >> state) && state == "06" && local.size() > 5 &&
            local.compare(local.size() - 5, 5, wanted) == 0)
            return true;
    }
    return false;
}

template <typename Pred>
bool waitUntil(Pred pred, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (!pred()) {
        if (Clock::now() >= deadline)
            return false;
        poll(nullptr, 0, 5);
    }
    return true;
}

// A plain TCP client that closes with a FIN after the daemon has closed its
// end, as a phone app does; the daemon's side is then left in TIME_WAIT.
class PlainClient {
public:
    ~PlainClient()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    bool connect()
    {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        struct sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(zttest::kNotifyPort);
        return m_fd >= 0 &&
               ::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0;
    }
    // Waits for the daemon's end of stream, then closes normally.
    bool closeAfterPeer(std::chrono::milliseconds timeout)
    {
        const auto deadline = Clock::now() + timeout;
        char buf[256];
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            struct pollfd pfd = {m_fd, POLLIN, 0};
            if (left.count() <= 0 || poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
                return false;
            const ssize_t n = read(m_fd, buf, sizeof buf);
            if (n == 0)
                break;
            if (n < 0)
                return false;
        }
        close(m_fd);
        m_fd = -1;
        return true;
    }

private:
    int m_fd = -1;
};

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
    EXPECT_EQ(daemon.countInLog("bind() failed on socket, Exiting daemon"), 1u) << daemon.log();
    EXPECT_EQ(daemon.countInLog("bind() to port 8081: Address already in use @"), 1u)
        << daemon.log();
    // The server had started: its shutdown removes its queues.
    EXPECT_FALSE(zttest::queueExists(zttest::kCommandQueue) || zttest::queueExists("/to_ztCtlD2"));
}

TEST(FieldRestart, RestartRightAfterStopWithAConnectedClientBindsThePort)
{
    ZtFirmwarePeer peer;
    ASSERT_TRUE(peer.ok());
    peer.setCsiItem(kCsiLogFlags, kExtendedLogging);

    DaemonHarness first;
    ASSERT_TRUE(first.startAndWaitReady()) << first.log();
    PlainClient client;
    ASSERT_TRUE(client.connect());
    ASSERT_TRUE(first.waitForLog(kClientAdded, 5s)) << first.log();
    auto stopped = first.stop();
    ASSERT_TRUE(stopped && stopped->ok()) << first.log();
    ASSERT_TRUE(client.closeAfterPeer(5s));
    // What made the field's restarts fail: the old connection holds the port.
    ASSERT_TRUE(waitUntil([] { return timeWaitOn(zttest::kNotifyPort); }, 2s));

    DaemonHarness second;
    ASSERT_TRUE(second.startAndWaitReady()) << second.log();
    EXPECT_EQ(second.countInLog("bind() failed on socket"), 0u) << second.log();
    PlainClient again;
    EXPECT_TRUE(again.connect());
    EXPECT_TRUE(second.waitForLog(kClientAdded, 5s)) << second.log();
    stopped = second.stop();
    ASSERT_TRUE(stopped && stopped->ok()) << second.log();
}

TEST(FieldRestart, StopWhileStartingExitsZeroAtOnce)
{
    ZtFirmwarePeer peer;
    ASSERT_TRUE(peer.ok());
    DaemonHarness daemon;
    ASSERT_TRUE(daemon.start());
    ASSERT_TRUE(waitUntil([] { return zttest::queueExists(zttest::kCommandQueue); }, 10s))
        << daemon.log();

    const auto sentAt = Clock::now();
    auto status = daemon.stop(5s);  // answer and exit
    ASSERT_TRUE(status) << "no answer or no exit\n" << daemon.log();
    EXPECT_TRUE(status->ok()) << status->describe() << "\n" << daemon.log();
    EXPECT_LT(Clock::now() - sentAt, 2s);
    EXPECT_FALSE(zttest::queueExists(zttest::kCommandQueue));
    EXPECT_FALSE(zttest::queueExists("/to_ztCtlD2"));
}

}  // namespace
