// Notification clients against real parts: a connected stream socket pair
// standing in for an accepted connection (its framing and its bounded
// backlog), and real POSIX message queues.
#include <fcntl.h>
#include <mqueue.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ClientMessages.h"
#include "ztErrno.h"
#include "ztPushClient.h"
#include "ztcontrol_commands.h"

namespace {

using namespace std::chrono_literals;
using zttest::QueueNotifyReader;

using Type = NotificationClient::eNotificationType_t;
constexpr Type kState = NotificationClient::NOTIFICATION_TYPE_STATE;
constexpr Type kShutdown = NotificationClient::NOTIFICATION_TYPE_SHUTDOWN_PENDING;

// Offers `client` a message as the poll builds them: the text and one NUL.
bool notify(NotificationClient &client, const std::string &text, Type type = kState)
{
    std::stringstream s;
    s << text << '\0';
    return client.Notify(type, s);
}

// A socket client over a stream pair; reader() is the remote end.
struct SocketClient {
    int fds[2] = {-1, -1};
    std::unique_ptr<SocketNotificationClient> client;
    SocketClient()
    {
        socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
        client = std::make_unique<SocketNotificationClient>(fds[0]);  // owns fds[0]
    }
    ~SocketClient() { close(fds[1]); }
    // Everything that arrives until 200 ms pass without a byte.
    std::string read()
    {
        std::string out;
        char buf[4096];
        for (pollfd p{fds[1], POLLIN, 0}; poll(&p, 1, 200) > 0;) {
            const ssize_t n = recv(fds[1], buf, sizeof buf, 0);
            if (n <= 0)
                break;
            out.append(buf, static_cast<size_t>(n));
        }
        return out;
    }
};

TEST(SocketClient, FrameLengthCountsTheNulButOnlyTheTextUpToItIsSent)
{
    SocketClient s;
    ASSERT_TRUE(notify(*s.client, "{\"status\":{\"10\":12}}"));  // 20 bytes
    EXPECT_EQ(s.read(), "LENGTH:21\n\n{\"status\":{\"10\":12}}");
    EXPECT_EQ(s.client->getBytesSent(), 31u);
    EXPECT_FALSE(s.client->isNew());
    // The text ends at the stream's first NUL; the length counts the whole stream.
    ASSERT_TRUE(notify(*s.client, std::string("ab\0hidden", 9)));
    EXPECT_EQ(s.read(), "LENGTH:10\n\nab");
}

// Writing to a reader that has gone must fail, not raise SIGPIPE.
TEST(SocketClient, ClosedReaderFailsWithoutKillingTheProcess)
{
    SocketClient closed;
    close(closed.fds[1]);
    closed.fds[1] = -1;
    EXPECT_FALSE(notify(*closed.client, "{}"));
}

// A reader too slow for the socket's own buffer gets every frame whole and
// in order once it reads again; one that never does overflows the bounded
// backlog and fails the delivery instead of being waited for.
TEST(SocketClient, SlowReaderGetsEveryFrameWholeStoppedReaderOverflows)
{
    SocketClient s;
    const auto offer = [&s](int n) {
        return notify(*s.client, std::to_string(n) + std::string(4000, 'x'));
    };
    int sent = 0;
    while (!s.client->hasBacklog() && sent < 1000)
        ASSERT_TRUE(offer(sent++));
    ASSERT_TRUE(s.client->hasBacklog()) << "the socket never filled";
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(offer(sent++));

    std::string received;
    char buffer[65536];
    for (int turns = 0; turns < 10000 && s.client->hasBacklog(); ++turns) {
        const ssize_t got = recv(s.fds[1], buffer, sizeof buffer, MSG_DONTWAIT);
        if (got > 0)
            received.append(buffer, static_cast<size_t>(got));
        ASSERT_TRUE(s.client->flush());
    }
    ssize_t got;
    while ((got = recv(s.fds[1], buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
        received.append(buffer, static_cast<size_t>(got));
    for (int n = 0; n < sent; ++n) {
        const std::string body = std::to_string(n) + std::string(4000, 'x');
        const std::string frame = "LENGTH:" + std::to_string(body.size() + 1) + "\n\n" + body;
        ASSERT_EQ(received.compare(0, frame.size(), frame), 0) << "frame " << n;
        received.erase(0, frame.size());
    }
    EXPECT_TRUE(received.empty());

    // Nobody reads now: at most the kernel's buffer plus 64 KiB, then a failure.
    bool usable = true;
    for (int i = 0; usable && i < 5000; ++i)
        usable = offer(i);
    EXPECT_FALSE(usable);
}

TEST(QueueClientDelivery, EventCarriesResultZeroAndTheTextWithItsNulOrNoTextWhenEmpty)
{
    QueueNotifyReader reader;
    MQNotificationClient client(reader.name());
    EXPECT_EQ(client.getClientType(), NotificationClient::CLIENT_TYPE_MQUEUE);
    ASSERT_TRUE(notify(client, "{}", kShutdown));  // queues ignore the type
    auto event = reader.receive(1s);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->raw,
              zttest::tlvMessage(CAT_CLIENT_EVT, {{TLV_RESULT, zttest::u32Arg(ZT_OK)},
                                                  {TLV_RSPARG, zttest::textArg("{}", true)},
                                                  {TLV_END, {}}}));
    EXPECT_EQ(client.getBytesSent(), 0u);
    std::stringstream empty;  // no text: no text element
    ASSERT_TRUE(client.Notify(kState, empty));
    event = reader.receive(1s);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->raw, zttest::tlvMessage(CAT_CLIENT_EVT,
                                             {{TLV_RESULT, zttest::u32Arg(ZT_OK)}, {TLV_END, {}}}));
}

TEST(QueueClientDelivery, MissingFullOrTooSmallQueuesNeverBlockAndOnlyAMissingOneFails)
{
    QueueNotifyReader late("", 10, /*create=*/false);
    MQNotificationClient toLate(late.name());
    EXPECT_FALSE(notify(toLate, "a"));
    EXPECT_FALSE(notify(toLate, "b"));  // each time until it exists
    ASSERT_TRUE(late.create());
    EXPECT_TRUE(notify(toLate, "c"));
    EXPECT_EQ(late.receive(1s)->payloadText(), "c");

    QueueNotifyReader one("", 1);
    MQNotificationClient toOne(one.name());
    ASSERT_TRUE(notify(toOne, "one"));
    toOne.Pause(true);                  // new again; a dropped message must not clear it
    EXPECT_TRUE(notify(toOne, "two"));  // full: dropped, would block forever if it waited
    EXPECT_TRUE(toOne.isNew());
    EXPECT_EQ(one.depth(), 1);
    EXPECT_EQ(one.receive(1s)->payloadText(), "one");
    EXPECT_TRUE(notify(toOne, "three"));
    EXPECT_EQ(one.receive(1s)->payloadText(), "three");
    EXPECT_TRUE(notify(toOne, std::string(3000, 'x')));  // larger than a message: dropped, not cut
    EXPECT_EQ(one.depth(), 0);

    const std::string name = zttest::uniqueQueueName("small");
    mq_attr attr{};
    attr.mq_maxmsg = 4;
    attr.mq_msgsize = 16;
    mqd_t small = mq_open(name.c_str(), O_RDONLY | O_CREAT, 0600, &attr);
    ASSERT_NE(small, (mqd_t)-1);
    MQNotificationClient toSmall(name);
    EXPECT_FALSE(notify(toSmall, std::string(100, 'j')));  // EMSGSIZE is not a full queue
    mq_close(small);
    mq_unlink(name.c_str());
}

}  // namespace
