// Notification clients as the field meets them, against the real daemon and
// a scripted firmware peer: sockets and queues share ten slots, TCP clients
// that stop reading must never hold up the worker, and the ten client slots
// must not be kept by connections that closed, queues that were deleted or
// connections that never resumed. The socket client's backlog itself:
// push_client_test.
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DaemonPeerTest.h"
#include "camera_blocks.h"
#include "ztcontrol_remote_ops.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using zttest::Bytes;
using zttest::QueueNotifyReader;
using zttest::TcpNotifyClient;
using zttest::textArg;

constexpr uint32_t kRegisterQueue = 0;
constexpr uint32_t kPushNotifications = 43;
constexpr const char *kAddedLog = "Total PUSH_NOTIFICATION clients connected:";
constexpr const char *kRemovedLog = "Failed to send notifications to client, removing client!";
constexpr const char *kClosedLog = "Notification client closed the connection";

constexpr short kClosed = POLLRDHUP | POLLHUP | POLLERR;

// Index of the first of `clients` whose connection the daemon closes (end
// of stream or reset) within `timeout`; -1 when none. Messages the daemon
// sends meanwhile are left unread.
int firstClosed(const std::vector<const TcpNotifyClient *> &clients,
                std::chrono::milliseconds timeout)
{
    std::vector<pollfd> fds;
    for (const TcpNotifyClient *c : clients)
        fds.push_back({c->fd(), POLLRDHUP, 0});
    if (poll(fds.data(), fds.size(), static_cast<int>(timeout.count())) <= 0)
        return -1;
    for (size_t i = 0; i < fds.size(); ++i)
        if (fds[i].revents & kClosed)
            return static_cast<int>(i);
    return -1;
}

// True while the daemon has not closed `client`'s connection; looks
// without waiting.
bool stillConnected(const TcpNotifyClient &client)
{
    return firstClosed({&client}, 0ms) < 0;
}

class FieldClients : public zttest::DaemonPeerTest {
protected:
    FieldClients()
    {
        m_peer.setCsiItem(123, 0x200);  // extended logging: every added client is logged
        scriptStatus(0);
        m_peer.scriptRemote(kSetupCategory, kAllSettingsGet,
                            PeerAnswer::Bytes(Bytes(CAMERA_SETTINGS_BLOCK_SIZE, 0)));
    }

    void scriptStatus(uint8_t fill)
    {
        m_peer.scriptRemote(kSystemCategory, kAllStatusGet,
                            PeerAnswer::Bytes(Bytes(CAMERA_STATUS_BLOCK_SIZE, fill)));
    }

    // Waits until `text` has been logged `count` times.
    bool waitLogged(const std::string &text, size_t count, std::chrono::seconds within = 10s)
    {
        const auto deadline = Clock::now() + within;
        while (m_daemon.countInLog(text) < count) {
            if (Clock::now() >= deadline)
                return false;
            m_daemon.waitForLog(text, 100ms, m_daemon.logMark());
        }
        return true;
    }
    bool waitAdded(int count) { return waitLogged(kAddedLog + std::to_string(count) + " ", 1); }

    std::vector<std::unique_ptr<TcpNotifyClient>> connectClients(int n, int receiveBuffer = 0)
    {
        std::vector<std::unique_ptr<TcpNotifyClient>> clients;
        for (int i = 0; i < n; ++i) {
            clients.push_back(std::make_unique<TcpNotifyClient>());
            EXPECT_TRUE(clients.back()->connect(5s, zttest::kNotifyPort, receiveBuffer))
                << clients.back()->lastError();
        }
        return clients;
    }
};

// Sockets and queues share ten slots: the eleventh client is refused without
// disturbing the others; an unregistered queue and closed connections free
// their slots at once.
TEST_F(FieldClients, EleventhClientIsRefusedAndFreedSlotsAreTakenAtOnce)
{
    auto clients = connectClients(8);
    ASSERT_TRUE(waitAdded(8)) << m_daemon.log();
    QueueNotifyReader a, b, c, d, e;
    const auto reg = [this](QueueNotifyReader &q, bool on = true) {
        return result(kRegisterQueue, q.registerArg(on));
    };
    EXPECT_EQ(reg(a), 0);
    EXPECT_EQ(reg(a), 0);  // the same queue is no second client
    EXPECT_EQ(reg(b), 0);
    ASSERT_TRUE(waitAdded(10));
    EXPECT_EQ(reg(c), -1);  // (an eleventh socket is refused too: the last test)

    EXPECT_EQ(reg(a, false), 0);
    EXPECT_EQ(reg(c), 0);  // a's slot
    EXPECT_TRUE(waitLogged(kAddedLog + std::string("10 "), 2));
    EXPECT_EQ(reg(a), -1);  // still full

    // One socket resets its connection, one ends it with a FIN; nothing is
    // ever sent to either (they are paused), so only watching the sockets
    // finds them out.
    clients[3]->close();
    ASSERT_EQ(shutdown(clients[6]->fd(), SHUT_WR), 0);
    ASSERT_TRUE(waitLogged(kClosedLog, 2, 5s)) << m_daemon.log();
    EXPECT_EQ(reg(a), 0);
    EXPECT_EQ(reg(d), 0);
    EXPECT_EQ(reg(e), -1);  // full again
    EXPECT_TRUE(clients[6]->waitClosedByPeer(5s));
    for (int i : {0, 1, 2, 4, 5, 7})
        EXPECT_TRUE(stillConnected(*clients[i])) << "client " << i;
}

// Each resume makes every socket client new, so the next pass sends all ten
// the full state; the nine that never read fill their buffers within a few
// dozen rounds. No command may wait for them, and the reader keeps getting
// its messages.
TEST_F(FieldClients, StalledReadersNeverHoldUpCommandsAndTheHealthyClientKeepsReceiving)
{
    TcpNotifyClient healthy;
    ASSERT_TRUE(healthy.connect(5s));
    auto stalled = connectClients(9, 1024);
    ASSERT_TRUE(waitAdded(10)) << m_daemon.log();

    const auto deadline = Clock::now() + 120s;
    int rounds = 0;
    while (m_daemon.countInLog(kRemovedLog) < 9 && Clock::now() < deadline) {
        for (const char *value : {"status=1", "status=0"}) {
            const auto start = Clock::now();
            auto reply =
                m_daemon.requester().call({kPushNotifications, textArg(value), std::nullopt}, 5s);
            const auto took = Clock::now() - start;
            ASSERT_TRUE(reply && reply->hasResult && reply->result == 0)
                << value << " not answered in round " << rounds;
            ASSERT_LT(took, 1s)
                << value << " took "
                << std::chrono::duration_cast<std::chrono::milliseconds>(took).count()
                << " ms in round " << rounds;
        }
        // The pass before "status=0" was taken sent this round's full state.
        auto frame = healthy.readFrame(5s);
        ASSERT_TRUE(frame) << "round " << rounds << ": " << healthy.lastError();
        ASSERT_EQ(frame->body.front(), '{');
        ++rounds;
    }
    ASSERT_GE(m_daemon.countInLog(kRemovedLog), 9u) << "stalled clients never dropped\n"
                                                    << m_daemon.log();
    for (auto &c : stalled)
        EXPECT_TRUE(c->waitClosedByPeer(10s));
    EXPECT_TRUE(stillConnected(healthy)) << "the reader was dropped";
}

TEST_F(FieldClients, QueueClientWhoseQueueWasDeletedLosesItsSlot)
{
    // Delivered to once, so its queue is known to work; then deleted while
    // the camera is idle (nothing to deliver).
    auto deleted = std::make_unique<QueueNotifyReader>();
    ASSERT_EQ(result(kRegisterQueue, deleted->registerArg(true)), 0);
    ASSERT_TRUE(deleted->receive(10s)) << "a registered queue received no notification";
    deleted.reset();
    auto clients = connectClients(9);
    ASSERT_TRUE(waitAdded(10)) << m_daemon.log();

    // A full registry first gives up the clients that are gone.
    auto fresh = std::make_unique<QueueNotifyReader>();
    ASSERT_EQ(result(kRegisterQueue, fresh->registerArg(true)), 0);
    ASSERT_TRUE(fresh->receive(10s));

    // A queue deleted while deliveries go on is dropped at its next one.
    fresh.reset();
    const size_t mark = m_daemon.logMark();
    scriptStatus(1);
    EXPECT_TRUE(m_daemon.waitForLog(kRemovedLog, 10s, mark)) << m_daemon.log();
}

// The oldest connection that never resumed gives its slot to a newcomer once
// it has been idle for the daemon's grace (ten seconds); a client that
// resumed is never pushed out.
TEST_F(FieldClients, FullRegistryAdmitsNewcomersInPlaceOfTheOldestNeverResumedClient)
{
    auto clients = connectClients(10);
    ASSERT_TRUE(waitAdded(10)) << m_daemon.log();

    TcpNotifyClient newcomer;
    bool admitted = false;
    const auto deadline = Clock::now() + 40s;
    while (!admitted && Clock::now() < deadline) {
        ASSERT_TRUE(newcomer.connect(5s)) << newcomer.lastError();
        const int closed = firstClosed({clients[0].get(), &newcomer}, 10s);
        ASSERT_GE(closed, 0) << "neither refused nor admitted\n" << m_daemon.log();
        admitted = closed == 0;
        // Refused while the oldest is still within its grace; ask again
        // once it may have run out.
        if (!admitted)
            firstClosed({clients[0].get()}, 500ms);
    }
    ASSERT_TRUE(admitted) << "no newcomer ever got a slot\n" << m_daemon.log();
    EXPECT_TRUE(stillConnected(newcomer));
    for (size_t i = 1; i < clients.size(); ++i)
        EXPECT_TRUE(stillConnected(*clients[i])) << "client " << i;

    // A queue registration takes the next oldest idle one's slot.
    QueueNotifyReader queue;
    EXPECT_EQ(result(kRegisterQueue, queue.registerArg(true)), 0);
    EXPECT_EQ(firstClosed({clients[1].get()}, 5s), 0);

    // Once resumed, nobody is pushed out: newcomers are refused again.
    ASSERT_EQ(result(kPushNotifications, textArg("status=1")), 0);
    QueueNotifyReader late;
    EXPECT_EQ(result(kRegisterQueue, late.registerArg(true)), -1);
    TcpNotifyClient lateSocket;
    ASSERT_TRUE(lateSocket.connect(5s));
    EXPECT_TRUE(lateSocket.waitClosedByPeer(10s));
    auto frame = clients[2]->readFrame(10s);
    EXPECT_TRUE(frame) << "a resumed client lost its slot: " << clients[2]->lastError();
}

}  // namespace
