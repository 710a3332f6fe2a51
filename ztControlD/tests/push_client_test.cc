// Notification clients against real parts: a TCP connection on loopback (an
// ephemeral port, not the daemon's) and real POSIX message queues.
#include <arpa/inet.h>
#include <fcntl.h>
#include <mqueue.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "DaemonHarness.h"
#include "ztPushClient.h"

namespace {

using namespace std::chrono_literals;
using zttest::QueueNotifyReader;

using Type = NotificationClient::eNotificationType_t;
constexpr Type kState = NotificationClient::NOTIFICATION_TYPE_STATE;
constexpr Type kShutdown = NotificationClient::NOTIFICATION_TYPE_SHUTDOWN_PENDING;

// Offers `client` a message as the poll builds them: the JSON text followed
// by one NUL.
bool notify(NotificationClient &client, const std::string &text, Type type = kState)
{
    std::stringstream s;
    s << text << '\0';
    return client.Notify(type, s);
}

// A connected TCP pair on 127.0.0.1: `server` plays the daemon's accepted
// socket (handed to the client under test), `peer` the remote reader.
struct TcpPair {
    int server = -1;
    int peer = -1;

    explicit TcpPair(int peerReceiveBuffer = 0)
    {
        int listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
            listen(listener, 1) != 0 ||
            getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
            close(listener);
            return;
        }
        peer = socket(AF_INET, SOCK_STREAM, 0);
        if (peerReceiveBuffer > 0)
            setsockopt(peer, SOL_SOCKET, SO_RCVBUF, &peerReceiveBuffer, sizeof peerReceiveBuffer);
        if (connect(peer, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0)
            server = accept(listener, nullptr, nullptr);
        close(listener);
    }
    ~TcpPair()
    {
        if (peer >= 0)
            close(peer);
    }

    // Everything the peer receives within `timeout` of quiet, up to `max` bytes.
    std::string read(size_t max, std::chrono::milliseconds timeout = 1000ms)
    {
        std::string out;
        char buf[4096];
        while (out.size() < max) {
            pollfd p{peer, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0)
                break;
            ssize_t n = recv(peer, buf, std::min(sizeof buf, max - out.size()), 0);
            if (n <= 0)
                break;
            out.append(buf, static_cast<size_t>(n));
        }
        return out;
    }
};

TEST(SocketClientFraming, LengthCountsTheNulButOnlyTheTextUpToItIsSent)
{
    TcpPair pair;
    ASSERT_GE(pair.server, 0);
    SocketNotificationClient client(pair.server);
    const std::string text = "{\"status\":{\"10\":12}}";  // 20 bytes
    ASSERT_EQ(text.size(), 20u);
    ASSERT_TRUE(notify(client, text));
    EXPECT_EQ(pair.read(31, 200ms), "LENGTH:21\n\n" + text);
    EXPECT_EQ(client.getBytesSent(), 31u);
    EXPECT_FALSE(client.isNew());

    // The text ends at the stream's first NUL; the length counts the whole stream.
    ASSERT_TRUE(notify(client, std::string("ab\0hidden", 9)));
    EXPECT_EQ(pair.read(100, 200ms), std::string("LENGTH:10\n\nab"));
}

TEST(SocketClientShutdownOnce, RepeatedShutdownPendingIsSentOncePerEpisode)
{
    TcpPair pair;
    ASSERT_GE(pair.server, 0);
    SocketNotificationClient client(pair.server);
    EXPECT_TRUE(notify(client, "OFF", kShutdown));
    EXPECT_TRUE(notify(client, "OFF", kShutdown));  // swallowed
    EXPECT_TRUE(notify(client, "S"));
    EXPECT_TRUE(notify(client, "OFF", kShutdown));  // a new episode
    const std::string expected = "LENGTH:4\n\nOFFLENGTH:2\n\nSLENGTH:4\n\nOFF";
    EXPECT_EQ(pair.read(expected.size() + 10, 200ms), expected);
}

TEST(SocketClientFailure, ClosedPeerFailsWithoutKillingTheProcess)
{
    TcpPair pair;
    ASSERT_GE(pair.server, 0);
    SocketNotificationClient client(pair.server);
    // Reset the connection: the next writes see EPIPE/ECONNRESET, which must
    // be errors, not SIGPIPE.
    linger hard{1, 0};
    setsockopt(pair.peer, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    close(pair.peer);
    pair.peer = -1;
    bool usable = true;
    for (int i = 0; i < 3 && usable; ++i)
        usable = notify(client, "{}");
    EXPECT_FALSE(usable);
}

TEST(SocketClientFailure, ReaderThatStopsReadingFailsWithinTheSendBound)
{
    TcpPair pair(4096);
    ASSERT_GE(pair.server, 0);
    int small = 4096;
    setsockopt(pair.server, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    SocketNotificationClient client(pair.server);
    const std::string big(64 * 1024, 'x');
    auto start = std::chrono::steady_clock::now();
    bool usable = true;
    // The buffers fill after a few messages; then a write waits for the send
    // bound and reports a short write.
    for (int i = 0; i < 50 && usable; ++i)
        usable = notify(client, big);
    EXPECT_FALSE(usable);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);  // generous: one bound is 2 s
}

TEST(ClientPause, PausingADeliveredClientMakesItNewAgain)
{
    MQNotificationClient client("/zt_never_created");
    EXPECT_TRUE(client.IsPaused());
    EXPECT_TRUE(client.isNew());
    client.Pause(false);
    EXPECT_FALSE(client.IsPaused());
    EXPECT_TRUE(client.isNew());  // resuming alone does not count as delivery

    QueueNotifyReader reader;
    ASSERT_TRUE(reader.ok());
    MQNotificationClient delivered(reader.name());
    ASSERT_TRUE(notify(delivered, "{}"));
    EXPECT_FALSE(delivered.isNew());
    delivered.Pause(true);
    EXPECT_TRUE(delivered.isNew());
    delivered.Pause(false);
    EXPECT_TRUE(delivered.isNew());
}

TEST(QueueClientDelivery, EventCarriesResultZeroAndTheTextWithItsNulOrNoTextWhenEmpty)
{
    QueueNotifyReader reader;
    ASSERT_TRUE(reader.ok());
    MQNotificationClient client(reader.name());
    EXPECT_EQ(client.getClientType(), NotificationClient::CLIENT_TYPE_MQUEUE);
    ASSERT_TRUE(notify(client, "{\"settings\":{\"2\":1}}", kShutdown));  // queues ignore the type
    auto event = reader.receive(1s);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->category, 22);
    EXPECT_EQ(event->result, 0);
    ASSERT_TRUE(event->hasText);
    EXPECT_EQ(event->text, "{\"settings\":{\"2\":1}}");
    EXPECT_EQ(event->textLength, event->text.size() + 1);
    EXPECT_EQ(client.getBytesSent(), 0u);

    std::stringstream empty;  // no text: no text element
    ASSERT_TRUE(client.Notify(kState, empty));
    event = reader.receive(1s);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->category, 22);
    EXPECT_FALSE(event->hasText);
}

TEST(QueueClientDelivery, MissingQueueFailsEachTimeUntilItExists)
{
    QueueNotifyReader reader("", 10, /*create=*/false);
    MQNotificationClient client(reader.name());
    EXPECT_FALSE(notify(client, "a"));
    EXPECT_FALSE(notify(client, "b"));
    ASSERT_TRUE(reader.create());
    EXPECT_TRUE(notify(client, "c"));
    auto event = reader.receive(1s);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->text, "c");
}

TEST(QueueClientDelivery, FullQueueDropsTheMessageButKeepsTheClientAndNeverBlocks)
{
    QueueNotifyReader reader("", 1);
    ASSERT_TRUE(reader.ok());
    MQNotificationClient client(reader.name());
    ASSERT_TRUE(notify(client, "one"));
    client.Pause(true);                  // new again; a dropped message must not clear it
    EXPECT_TRUE(notify(client, "two"));  // would block forever if it waited
    EXPECT_TRUE(client.isNew());
    EXPECT_EQ(reader.depth(), 1);
    EXPECT_EQ(reader.receive(1s)->text, "one");
    EXPECT_TRUE(notify(client, "three"));
    EXPECT_EQ(reader.receive(1s)->text, "three");
}

TEST(QueueClientDelivery, ReceiverWithTooSmallMessagesFailsTheClient)
{
    std::string name = zttest::uniqueQueueName("small");
    mq_attr attr{};
    attr.mq_maxmsg = 4;
    attr.mq_msgsize = 16;
    mqd_t q = mq_open(name.c_str(), O_RDONLY | O_CREAT, 0600, &attr);
    ASSERT_NE(q, (mqd_t)-1);
    MQNotificationClient client(name);
    EXPECT_FALSE(notify(client, std::string(100, 'j')));  // EMSGSIZE is not a full queue
    mq_close(q);
    mq_unlink(name.c_str());
}

TEST(QueueClientDelivery, StateLargerThanOneQueueMessageIsDroppedNotCut)
{
    QueueNotifyReader reader;
    ASSERT_TRUE(reader.ok());
    MQNotificationClient client(reader.name());
    EXPECT_TRUE(notify(client, std::string(3000, 'x')));
    EXPECT_EQ(reader.depth(), 0);
    EXPECT_TRUE(notify(client, "ok"));
    EXPECT_EQ(reader.receive(1s)->text, "ok");
}

}  // namespace
