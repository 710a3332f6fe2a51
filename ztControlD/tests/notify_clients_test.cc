// Notification clients against the real daemon and a scripted firmware peer:
// the limit of ten clients, queue registration and unregistration, what a
// registered queue and a socket client receive, and a TCP client that stops
// reading.
#include <poll.h>

#include <memory>

#include <gtest/gtest.h>

#include "CommandFixture.h"
#include "camera_blocks.h"
#include "ztErrno.h"
#include "ztcontrol_commands.h"
#include "ztcontrol_remote_ops.h"

namespace {

using namespace std::chrono_literals;
using zttest::Bytes;
using zttest::QueueNotifyReader;
using zttest::TcpNotifyClient;

class NotifyClients : public zttest::DaemonPeerTest {
protected:
    NotifyClients()
    {
        // Extended logging makes the registry log every added client.
        m_peer.setCsiItem(123, 0x200);
        m_peer.scriptRemote(kSystemCategory, kAllStatusGet,
                            PeerAnswer::Bytes(Bytes(CAMERA_STATUS_BLOCK_SIZE, 0)));
        m_peer.scriptRemote(kSetupCategory, kAllSettingsGet,
                            PeerAnswer::Bytes(Bytes(CAMERA_SETTINGS_BLOCK_SIZE, 0)));
    }
    // Stopping with clients still registered must release them cleanly (the
    // fixture's clean stop; a sanitizer build turns a double free into a failure).

    // Waits until the registry logged `count` clients for the n-th time.
    bool waitAdded(int count, size_t occurrence = 1)
    {
        const std::string line =
            "Total PUSH_NOTIFICATION clients connected:" + std::to_string(count) + " ";
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (m_daemon.countInLog(line) < occurrence) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            m_daemon.waitForLog(line, 100ms, m_daemon.logMark());
        }
        return true;
    }
    int32_t registerQueue(const QueueNotifyReader &q, bool reg = true)
    {
        return result(ZTCONTROL_EVENT_REGISTER_MQUEUE, q.registerArg(reg));
    }
    // Whether the daemon pushes at all (checked first by the delivery tests,
    // so a daemon that pushes nothing fails them with a plain reason). The
    // probe queue counts as one added client.
    bool daemonPushes()
    {
        QueueNotifyReader probe;
        const bool pushed = registerQueue(probe) == 0 && probe.receive(5s).has_value();
        return registerQueue(probe, false) == 0 && pushed;
    }
};

TEST_F(NotifyClients, EleventhClientIsRefusedAndAQueueTakesAFreedSlot)
{
    std::vector<std::unique_ptr<TcpNotifyClient>> clients;
    for (int i = 0; i < 8; ++i) {
        clients.push_back(std::make_unique<TcpNotifyClient>());
        ASSERT_TRUE(clients.back()->connect(5s)) << clients.back()->lastError();
    }
    ASSERT_TRUE(waitAdded(8)) << m_daemon.log();
    QueueNotifyReader a, b, c;
    EXPECT_EQ(registerQueue(a), 0);
    ASSERT_TRUE(waitAdded(9));
    EXPECT_EQ(registerQueue(a), 0);  // the same queue again is no second client
    EXPECT_EQ(registerQueue(b), 0);
    ASSERT_TRUE(waitAdded(10));
    EXPECT_EQ(registerQueue(c), ZT_ERR);  // full
    EXPECT_TRUE(m_daemon.waitForLog("Unable to add client", 5s));

    TcpNotifyClient eleventh;
    ASSERT_TRUE(eleventh.connect(5s));
    EXPECT_TRUE(eleventh.waitClosedByPeer(10s));
    EXPECT_TRUE(m_daemon.waitForLog("Failed to add notification client", 5s));
    for (auto &client : clients) {
        pollfd p{client->fd(), POLLRDHUP, 0};
        poll(&p, 1, 0);
        EXPECT_EQ(p.revents, 0) << "a client below the limit was closed";
    }

    EXPECT_EQ(registerQueue(a, false), 0);
    EXPECT_EQ(registerQueue(c), 0);  // a's slot
    EXPECT_TRUE(waitAdded(10, 2));
    // Unregistering a name never registered is not an error.
    EXPECT_EQ(result(ZTCONTROL_EVENT_REGISTER_MQUEUE,
                     zttest::registerQueueArg(false, "/zt_never_registered")),
              0);
    EXPECT_EQ(registerQueue(a), ZT_ERR);  // still full
}

TEST_F(NotifyClients, QueueAndPausedSocketGetTheSameStateAndANewRegistrationTheFullStateAgain)
{
    TcpNotifyClient paused;
    ASSERT_TRUE(paused.connect(5s));
    ASSERT_TRUE(waitAdded(1));
    // The queue client keeps the poll running; the paused socket client is
    // then offered the same messages (and, being new, the full state).
    QueueNotifyReader reader;
    ASSERT_EQ(registerQueue(reader), 0);
    auto event = reader.receive(10s);
    ASSERT_TRUE(event) << "a registered queue received no notification";
    EXPECT_EQ(event->raw, zttest::tlvMessage(CAT_CLIENT_EVT, {{TLV_RESULT, zttest::u32Arg(ZT_OK)},
                                                              {TLV_RSPARG, event->payload},
                                                              {TLV_END, {}}}));
    EXPECT_EQ(event->payload.size(), event->payloadText().size() + 1) << "text and its NUL";
    EXPECT_EQ(event->payloadText().front(), '{');
    auto frame = paused.readFrame(10s);
    ASSERT_TRUE(frame) << paused.lastError();
    EXPECT_EQ(frame->body, event->payloadText());
    EXPECT_EQ(frame->declaredLength, event->payload.size());

    ASSERT_EQ(registerQueue(reader, false), 0);
    reader.drain();
    ASSERT_EQ(registerQueue(reader), 0);
    auto again = reader.receive(10s);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->payloadText(), event->payloadText()) << "not the full state again";

    // A queue registered before it exists is dropped at the first delivery:
    // creating it then brings nothing until it registers again.
    QueueNotifyReader late("", 10, /*create=*/false);
    ASSERT_EQ(registerQueue(late), 0);
    ASSERT_TRUE(m_daemon.waitForLog("mq_open() failed for '" + late.name() + "'", 10s));
    ASSERT_TRUE(late.create());
    ASSERT_EQ(registerQueue(late), 0);
    EXPECT_TRUE(late.receive(10s));
}

TEST_F(NotifyClients, ClientThatStopsReadingDoesNotStallTheDaemonAndIsDropped)
{
    ASSERT_TRUE(daemonPushes()) << "a registered queue received no notification";
    TcpNotifyClient stalled;  // a tiny receive window fills after a few kilobytes
    ASSERT_TRUE(stalled.connect(5s, zttest::kNotifyPort, 1024));
    ASSERT_TRUE(waitAdded(1, 2));
    // Nine queue clients fill the list beside it; the slot it holds shows
    // whether the daemon still keeps it.
    std::vector<std::unique_ptr<QueueNotifyReader>> queues;
    for (int i = 0; i < 9; ++i) {
        queues.push_back(std::make_unique<QueueNotifyReader>());
        ASSERT_EQ(registerQueue(*queues.back()), 0);
    }
    QueueNotifyReader probe;
    // Each switch makes socket clients new, so the next pass sends the stalled
    // client the full state again until a send runs into its bound. Meanwhile
    // every request is answered, and once the send has failed the daemon has
    // dropped the client and freed its slot.
    bool dropped = false;
    const auto deadline = std::chrono::steady_clock::now() + 90s;
    for (int i = 0; !dropped && std::chrono::steady_clock::now() < deadline; ++i) {
        ASSERT_EQ(
            result(ZTCONTROL_PUSH_NOTIFICATIONS, zttest::textArg(i % 2 ? "status=0" : "status=1")),
            0)
            << "switch " << i << " not answered";
        for (auto &q : queues)
            q->drain();
        dropped = registerQueue(probe) == 0;
    }
    EXPECT_TRUE(dropped) << "the stalled client was never dropped";
    EXPECT_TRUE(stalled.waitClosedByPeer(20s));
}

}  // namespace
