// Notification clients against real parts: a connected stream socket pair
// standing in for an accepted connection (its bounded backlog), and real
// POSIX message queues. Frames and texts as clients read them: polling_test.
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

// A socket client over a stream pair; fds[1] is the reader's end.
struct SocketClient {
    int fds[2] = {-1, -1};
    std::unique_ptr<SocketNotificationClient> client;
    SocketClient()
    {
        socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
        client = std::make_unique<SocketNotificationClient>(fds[0]);  // owns fds[0]
    }
    ~SocketClient() { close(fds[1]); }
};

// Writing to a reader that has gone must fail, not raise SIGPIPE.
TEST(SocketClient, ClosedReaderFailsWithoutKillingTheProcess)
{
    SocketClient closed;
    close(closed.fds[1]);
    closed.fds[1] = -1;
    EXPECT_FALSE(notify(*closed.client, "{}"));
}

// A reader too slow for the socket's own buffer gets every frame whole and
// in order once it reads again. (A reader that never does overflows the
// bounded backlog: field_clients_test.)
TEST(SocketClient, SlowReaderGetsEveryFrameWholeAndInOrder)
{
    SocketClient s;
    const auto body = [](int n) { return std::to_string(n) + std::string(4000, 'x'); };
    int sent = 0;
    while (!s.client->hasBacklog() && sent < 1000)
        ASSERT_TRUE(notify(*s.client, body(sent++)));
    ASSERT_TRUE(s.client->hasBacklog()) << "the socket never filled";

    std::string received;
    char buffer[65536];
    ssize_t got;
    for (int turns = 0; turns < 10000 && s.client->hasBacklog(); ++turns) {
        if ((got = recv(s.fds[1], buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
            received.append(buffer, static_cast<size_t>(got));
        ASSERT_TRUE(s.client->flush());
    }
    while ((got = recv(s.fds[1], buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
        received.append(buffer, static_cast<size_t>(got));
    std::string expected;
    for (int n = 0; n < sent; ++n)
        expected += "LENGTH:" + std::to_string(body(n).size() + 1) + "\n\n" + body(n);
    EXPECT_EQ(received, expected);
}

TEST(QueueClientDelivery, EventCarriesResultZeroAndTheTextWithItsNul)
{
    QueueNotifyReader reader;
    MQNotificationClient client(reader.name());
    ASSERT_TRUE(notify(client, "{}", kShutdown));  // queues ignore the type
    auto event = reader.receive(1s);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->raw,
              zttest::tlvMessage(CAT_CLIENT_EVT, {{TLV_RESULT, zttest::u32Arg(ZT_OK)},
                                                  {TLV_RSPARG, zttest::textArg("{}", true)},
                                                  {TLV_END, {}}}));
}

// A missing queue fails the delivery (field_clients_test); a full one
// drops the message and never blocks.
TEST(QueueClientDelivery, FullQueueDropsTheMessageWithoutBlocking)
{
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
}

}  // namespace
