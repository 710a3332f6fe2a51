// Notification clients against the real daemon binary and a scripted
// firmware peer: the limit of ten clients, queue registration and
// unregistration, the push-notification switch, the "LENGTH:" framing on
// port 8081, and a TCP client that stops reading.
#include <poll.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DaemonHarness.h"
#include "camera_blocks.h"
#include "ztFirmwarePeer.h"

namespace {

using namespace std::chrono_literals;
using zttest::Bytes;
using zttest::QueueNotifyReader;
using zttest::TcpNotifyClient;

constexpr uint32_t kRegisterQueue = 0;
constexpr uint32_t kPushNotifications = 43;
constexpr uint32_t kUnsupported = 1;
constexpr uint32_t kCsiLogFlags = 123;
constexpr uint32_t kExtendedLogging = 0x200;
constexpr const char *kAddedLog = "Total PUSH_NOTIFICATION clients connected:";
// The status poll reads these two blocks every pass.
constexpr uint8_t kStatusCategory = 8, kStatusAllGet = 11;
constexpr uint8_t kSettingsCategory = 7, kSettingsAllGet = 30;
constexpr uint8_t kCameraRefuses = 2;  // one-byte answer: the camera is going off

Bytes text(const std::string &s)
{
    return Bytes(s.begin(), s.end());
}

// True while the daemon has not closed `client`'s connection (nothing to
// read, no hang-up); looks without waiting.
bool stillConnected(const TcpNotifyClient &client)
{
    pollfd p{client.fd(), POLLIN | POLLRDHUP, 0};
    return poll(&p, 1, 0) == 0;
}

class NotifyClients : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_peer.ok());
        // Extended logging (level 4) makes the registry log every added client.
        m_peer.setCsiItem(kCsiLogFlags, kExtendedLogging);
        scriptStatus(0);
        m_peer.scriptRemote(kSettingsCategory, kSettingsAllGet,
                            PeerAnswer::Bytes(Bytes(CAMERA_SETTINGS_BLOCK_SIZE, 0)));
        ASSERT_TRUE(m_daemon.startAndWaitReady()) << m_daemon.log();
    }

    void TearDown() override
    {
        // Stopping with clients still registered must release them cleanly; a
        // sanitizer build turns a double free or leak into a non-zero exit.
        auto status = m_daemon.stop(15s);
        ASSERT_TRUE(status) << "daemon did not stop\n" << m_daemon.log();
        EXPECT_TRUE(status->ok()) << status->describe() << "\n" << m_daemon.log();
    }

    // The status block the peer answers from now on, filled with `fill`.
    void scriptStatus(uint8_t fill)
    {
        m_peer.scriptRemote(kStatusCategory, kStatusAllGet,
                            PeerAnswer::Bytes(Bytes(CAMERA_STATUS_BLOCK_SIZE, fill)));
    }

    int32_t result(uint32_t command, const std::optional<Bytes> &arg = {})
    {
        auto reply = m_daemon.requester().call({command, arg, std::nullopt}, 10s);
        EXPECT_TRUE(reply && reply->hasResult) << "no answer to command " << command;
        return reply && reply->hasResult ? reply->result : 0x7FFFFFFF;
    }

    // Waits until the registry logged `count` clients (the n-th time, counting
    // repeats of the same total).
    bool waitAdded(int count, size_t occurrence = 1)
    {
        const std::string line = kAddedLog + std::to_string(count) + " ";
        auto deadline = std::chrono::steady_clock::now() + 10s;
        while (m_daemon.countInLog(line) < occurrence) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            m_daemon.waitForLog(line, 100ms, m_daemon.logMark());
        }
        return true;
    }

    std::vector<std::unique_ptr<TcpNotifyClient>> connectClients(int n)
    {
        std::vector<std::unique_ptr<TcpNotifyClient>> clients;
        for (int i = 0; i < n; ++i) {
            clients.push_back(std::make_unique<TcpNotifyClient>());
            EXPECT_TRUE(clients.back()->connect(5s)) << clients.back()->lastError();
        }
        return clients;
    }

    // Whether the daemon pushes at all: a registered queue receives the full
    // state within a few poll passes. Checked first by the delivery tests, so
    // that a daemon that pushes nothing fails them with a plain reason. The
    // probe queue counts as one added client.
    bool daemonPushes()
    {
        QueueNotifyReader probe;
        if (result(kRegisterQueue, probe.registerArg(true)) != 0)
            return false;
        bool pushed = probe.receive(5s).has_value();
        result(kRegisterQueue, probe.registerArg(false));
        return pushed;
    }

    ZtFirmwarePeer m_peer;
    zttest::DaemonHarness m_daemon;
};

TEST_F(NotifyClients, EleventhConnectionIsClosedAndQueueRegistrationRefused)
{
    auto clients = connectClients(10);
    ASSERT_TRUE(waitAdded(10)) << m_daemon.log();

    TcpNotifyClient eleventh;
    ASSERT_TRUE(eleventh.connect(5s));
    EXPECT_TRUE(eleventh.waitClosedByPeer(10s));
    EXPECT_TRUE(m_daemon.waitForLog("Failed to add notification client", 5s));

    QueueNotifyReader reader;
    EXPECT_EQ(result(kRegisterQueue, reader.registerArg(true)), -1);
    EXPECT_TRUE(m_daemon.waitForLog("Unable to add client", 5s));

    for (auto &c : clients)
        EXPECT_TRUE(stillConnected(*c));
    EXPECT_EQ(result(kUnsupported), -104);  // the daemon goes on serving
}

TEST_F(NotifyClients, SameQueueTwiceIsOneClientAndUnregisteringFreesItsSlot)
{
    auto clients = connectClients(8);
    ASSERT_TRUE(waitAdded(8)) << m_daemon.log();
    QueueNotifyReader a, b, c;

    EXPECT_EQ(result(kRegisterQueue, a.registerArg(true)), 0);
    ASSERT_TRUE(waitAdded(9));
    EXPECT_EQ(result(kRegisterQueue, a.registerArg(true)), 0);  // no second client
    EXPECT_EQ(result(kRegisterQueue, b.registerArg(true)), 0);
    ASSERT_TRUE(waitAdded(10));
    EXPECT_EQ(result(kRegisterQueue, c.registerArg(true)), -1);  // full

    EXPECT_EQ(result(kRegisterQueue, a.registerArg(false)), 0);
    EXPECT_EQ(result(kRegisterQueue, c.registerArg(true)), 0);  // a's slot
    EXPECT_TRUE(waitAdded(10, 2));
    // Unregistering a name never registered is not an error.
    EXPECT_EQ(result(kRegisterQueue, zttest::registerQueueArg(false, "/zt_never_registered")), 0);
    EXPECT_EQ(result(kRegisterQueue, a.registerArg(true)), -1);  // still full
}

// The value parsing itself is covered by the registry's own tests; here the
// argument arrives without a terminating NUL, so "status=" ends the buffer.
TEST_F(NotifyClients, PushSwitchReadsItsUnterminatedArgumentAndRefusesOtherValues)
{
    EXPECT_EQ(result(kPushNotifications, text("status=1")), 0);
    EXPECT_EQ(result(kPushNotifications, text("status=")), 0);  // empty reads as 0
    EXPECT_EQ(result(kPushNotifications, text("status=2")), -3);
    EXPECT_EQ(result(kPushNotifications, text("other=1")), -3);
}

TEST_F(NotifyClients, RegisteredQueueAndPausedSocketClientGetTheSameStateUntilUnregistered)
{
    TcpNotifyClient paused;
    ASSERT_TRUE(paused.connect(5s));
    ASSERT_TRUE(waitAdded(1));
    QueueNotifyReader reader;
    // The queue client keeps the poll running; the paused socket client is
    // then offered the same messages (and, being new, the full state).
    ASSERT_EQ(result(kRegisterQueue, reader.registerArg(true)), 0);
    auto event = reader.receive(10s);
    ASSERT_TRUE(event) << "a registered queue received no notification";
    EXPECT_EQ(event->category, 22);
    EXPECT_EQ(event->result, 0);
    ASSERT_TRUE(event->hasText);
    EXPECT_EQ(event->textLength, event->text.size() + 1);
    EXPECT_EQ(event->text.front(), '{');
    auto frame = paused.readFrame(10s);
    ASSERT_TRUE(frame) << paused.lastError();
    EXPECT_EQ(frame->body, event->text);
    EXPECT_EQ(frame->declaredLength, event->textLength);

    ASSERT_EQ(result(kRegisterQueue, reader.registerArg(false)), 0);
    reader.drain();
    // Registered again, it is a new client and gets the full state again.
    ASSERT_EQ(result(kRegisterQueue, reader.registerArg(true)), 0);
    auto again = reader.receive(10s);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->text.front(), '{');
}

TEST_F(NotifyClients, QueueRegisteredBeforeItExistsIsDroppedAtFirstDelivery)
{
    ASSERT_TRUE(daemonPushes()) << "a registered queue received no notification";
    QueueNotifyReader late("", 10, /*create=*/false);
    ASSERT_EQ(result(kRegisterQueue, late.registerArg(true)), 0);
    ASSERT_TRUE(m_daemon.waitForLog("mq_open() failed for '" + late.name() + "'", 10s));
    // Dropped: creating the queue now brings nothing until it registers again.
    ASSERT_TRUE(late.create());
    ASSERT_EQ(result(kRegisterQueue, late.registerArg(true)), 0);
    EXPECT_TRUE(late.receive(10s));
}

TEST_F(NotifyClients, ResumedSocketClientGetsFramedStateAndShutdownPendingOncePerEpisode)
{
    ASSERT_TRUE(daemonPushes()) << "a registered queue received no notification";
    TcpNotifyClient client;
    ASSERT_TRUE(client.connect(5s));
    ASSERT_TRUE(waitAdded(1, 2));  // the probe queue was the first
    // Socket clients start paused: nothing arrives before the switch.
    EXPECT_EQ(client.readRaw(1, 1500ms), "");
    ASSERT_EQ(result(kPushNotifications, text("status=1")), 0);
    auto full = client.readFrame(10s);
    ASSERT_TRUE(full) << client.lastError();
    // The declared length counts the text's NUL, which is not sent.
    EXPECT_EQ(full->declaredLength, full->body.size() + 1);
    ASSERT_FALSE(full->body.empty());
    EXPECT_EQ(full->body.front(), '{');
    EXPECT_EQ(full->body.find('\0'), std::string::npos);

    m_peer.scriptRemote(kStatusCategory, kStatusAllGet, PeerAnswer::Bytes({kCameraRefuses}));
    auto off = client.readFrame(10s);
    ASSERT_TRUE(off) << client.lastError();
    EXPECT_NE(off->body.find("shutdown_pending"), std::string::npos) << off->body;
    // Every pass (at least two a second) repeats the message; the client
    // must not see it again while the episode lasts.
    const size_t passes = m_peer.requestCount();
    ASSERT_TRUE(m_peer.waitForRequest(
        [](const PeerRequest &r) { return r.isRemote(kStatusCategory, kStatusAllGet); }, 10000,
        passes + 4));
    EXPECT_EQ(client.readRaw(1, 200ms), "");

    // Back on, then off again: a new episode is announced again.
    scriptStatus(1);
    auto back = client.readFrame(10s);
    ASSERT_TRUE(back) << client.lastError();
    EXPECT_EQ(back->body.find("shutdown_pending"), std::string::npos);
    m_peer.scriptRemote(kStatusCategory, kStatusAllGet, PeerAnswer::Bytes({kCameraRefuses}));
    std::optional<zttest::Frame> again;
    // Change messages of the "back on" state may come first.
    for (int i = 0; i < 5 && !(again && again->body.find("shutdown_pending") != std::string::npos);
         ++i)
        again = client.readFrame(10s);
    ASSERT_TRUE(again) << client.lastError();
    EXPECT_NE(again->body.find("shutdown_pending"), std::string::npos);
    scriptStatus(0);
}

TEST_F(NotifyClients, ClientThatStopsReadingDoesNotStallTheDaemonAndIsDropped)
{
    ASSERT_TRUE(daemonPushes()) << "a registered queue received no notification";
    // A tiny receive window fills after a few kilobytes.
    TcpNotifyClient stalled;
    ASSERT_TRUE(stalled.connect(5s, zttest::kNotifyPort, 1024));
    ASSERT_TRUE(waitAdded(1, 2));
    // Nine queue clients fill the list beside it; the slot it holds shows
    // whether the daemon still keeps it.
    std::vector<std::unique_ptr<QueueNotifyReader>> queues;
    for (int i = 0; i < 9; ++i) {
        queues.push_back(std::make_unique<QueueNotifyReader>());
        ASSERT_EQ(result(kRegisterQueue, queues.back()->registerArg(true)), 0);
    }
    QueueNotifyReader probe;

    // Each switch makes socket clients new, so the next pass sends the stalled
    // client the full state again until its buffers are full and a send runs
    // into its bound. Meanwhile every request is answered, and once the send
    // has failed the daemon has dropped the client and freed its slot.
    bool dropped = false;
    auto deadline = std::chrono::steady_clock::now() + 90s;
    for (int i = 0; !dropped && std::chrono::steady_clock::now() < deadline; ++i) {
        ASSERT_EQ(result(kPushNotifications, text(i % 2 ? "status=0" : "status=1")), 0)
            << "switch " << i << " not answered";
        for (auto &q : queues)
            q->drain();
        dropped = result(kRegisterQueue, probe.registerArg(true)) == 0;
    }
    EXPECT_TRUE(dropped) << "the stalled client was never dropped";
    EXPECT_TRUE(stalled.waitClosedByPeer(20s));
}

}  // namespace
