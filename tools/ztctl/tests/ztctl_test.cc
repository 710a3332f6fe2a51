// ztctl and the daemon's messages: which received messages count as answers,
// and the real binary against a stand-in daemon that owns "/to_ztCtlD" in
// this test's IPC namespace: the request it sends, its exit statuses and
// time-outs, and watch over TCP and over a registered queue.
#include <arpa/inet.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "ClientMessages.h"
#include "DaemonHarness.h"
#include "ReplyFormatter.h"
#include "ztErrno.h"
#include "ztTlv.h"
#include "ztcontrol_commands.h"

namespace {

using namespace std::chrono_literals;
using zttest::Bytes;
using zttest::kCommandQueue;

const std::string kZtctl = zttest::DaemonHarness::binDir() + "/ztctl";

// A message of `category` with result element `result` and, when given,
// payload element 'E' holding `payload`.
Bytes daemonMessage(uint8_t category, int32_t result, const Bytes *payload = nullptr)
{
    Bytes m(ZTMSG_MAX);
    sntlv_msg_init(m.data(), ZTMSG_MAX, category);
    sntlv_add_dat(m.data(), ZTMSG_MAX, TLV_RESULT, 4, static_cast<uint32_t>(result));
    if (payload)
        sntlv_add_bin(m.data(), ZTMSG_MAX, TLV_RSPARG, static_cast<uint32_t>(payload->size()),
                      payload->data());
    sntlv_add_bin(m.data(), ZTMSG_MAX, TLV_END, 0, nullptr);
    m.resize(static_cast<size_t>(sntlv_msg_len(m.data())));
    return m;
}

// The reply queue a request names ("" when none).
std::string replyQueue(const Bytes &request)
{
    const uint8_t *src = request.size() > 4 ? tlv_find(request.data(), TLV_SRC) : nullptr;
    return src ? std::string(reinterpret_cast<const char *>(src + 4), src[1] << 8 | src[2]) : "";
}

// The stand-in's queue; serve() takes the next request in the background and
// answers it with `answer` (none: stays silent).
struct FakeDaemon {
    mqd_t queue = (mq_unlink(kCommandQueue), zttest::createQueue(kCommandQueue, 5));
    ~FakeDaemon() { mq_close(queue), mq_unlink(kCommandQueue); }
    std::future<Bytes> serve(std::optional<Bytes> answer = daemonMessage(CAT_CLIENT_RSP, ZT_OK))
    {
        return std::async(std::launch::async, [q = queue, answer] {
            const Bytes r = zttest::receiveMessage(q, 10s).value_or(Bytes());
            if (answer && !replyQueue(r).empty())
                zttest::sendRaw(answer->data(), answer->size(), 1000, replyQueue(r));
            return r;
        });
    }
};

// The request as ztctl should have built it, naming the queue it named.
Bytes expected(const zttest::ClientRequest &request, const Bytes &received)
{
    return zttest::buildClientRequest(request, replyQueue(received));
}

TEST(AnswerParsing, RefusesMessagesThatAreNotWellFramedClientAnswers)
{
    Bytes good = daemonMessage(CAT_CLIENT_RSP, ZT_ERR_NOT_SUPPORTED), noEnd = good, overrun = good;
    EXPECT_TRUE(ztctl::parseAnswer(good.data(), good.size()));
    noEnd.back() = 'X';
    overrun[6] = 0x40;  // the result element claims more bytes than the message has
    Bytes other = daemonMessage(CAT_SYS_RSP, ZT_OK);
    EXPECT_FALSE(ztctl::parseAnswer(good.data(), good.size() - 1));  // length field disagrees
    EXPECT_FALSE(ztctl::parseAnswer(noEnd.data(), noEnd.size()));
    EXPECT_FALSE(ztctl::parseAnswer(overrun.data(), overrun.size()));
    EXPECT_FALSE(ztctl::parseAnswer(other.data(), other.size()));
    EXPECT_FALSE(ztctl::parseAnswer(good.data(), 3));
}

// Exit status 0 for result 0 and help, 1 for a refused command, 2 for a usage
// error, 3 for a daemon that stays silent (after the time-out, not a hang),
// is not there (at once) or an argument that does not fit. The reply queue
// never outlives ztctl.
TEST(ZtctlProcess, SendsTheRequestAndExitStatusTellsTheOutcomesApart)
{
    const Bytes busy{1}, ok = daemonMessage(CAT_CLIENT_RSP, ZT_OK, &busy),
                         refused = daemonMessage(CAT_CLIENT_RSP, ZT_ERR_NOT_SUPPORTED);
    const struct {
        std::vector<std::string> args;
        std::optional<std::optional<Bytes>> answer;  // none: no daemon
        zttest::ClientRequest request;
        int code;
        const char *text;
    } cases[] = {// clang-format off
        {{"get_busy_status", "--option", "0", "--hex", "0a0b"}, ok, {ZTCONTROL_GET_BUSY_STATUS, Bytes{10, 11}, 0}, 0,
         "(ZTCONTROL_GET_BUSY_STATUS)\nresult: 0 (ZT_OK)"},
        {{"1"}, refused, {ZTCONTROL_EVENT_FILTER_IN, {}, {}}, 1, "ZT_ERR_NOT_SUPPORTED"},
        {{"stop", "--timeout", "300", "--queue", "/silent"}, std::optional<Bytes>(), {ZTCONTROL_CMD_LAST, {}, {}},
         3, "no answer within 300 ms"},
        {{"get_busy_status"}, {}, {}, 3, "is ztControlD running?"},
        {{"1", "--hex", std::string(3000, 'a')}, {}, {}, 3, "does not fit"},
        {{"--u8"}, {}, {}, 2, "--u8 needs a number"}, {{"--help"}, {}, {}, 0, "Usage: ztctl"},
        {{"list"}, {}, {}, 0, "101  ZTCONTROL_CMD_LAST\n"}};
    // clang-format on
    for (const auto &c : cases) {
        std::optional<FakeDaemon> daemon;
        std::future<Bytes> request;
        if (c.answer)
            request = daemon.emplace().serve(*c.answer);
        zttest::ChildProcess ztctl;
        ASSERT_TRUE(ztctl.start(kZtctl, c.args));
        auto status = ztctl.waitExit(10s);
        ASSERT_TRUE(status) << c.args[0];
        EXPECT_EQ(status->code, c.code) << c.args[0] << ": " << ztctl.output();
        EXPECT_NE(ztctl.output().find(c.text), std::string::npos) << ztctl.output();
        if (!daemon)
            continue;
        const Bytes r = request.get();
        EXPECT_EQ(r, expected(c.request, r)) << c.args[0];
        EXPECT_EQ(replyQueue(r)[0], '/') << c.args[0];
        EXPECT_FALSE(zttest::queueExists(replyQueue(r))) << replyQueue(r);
    }
}

// watch over TCP: the switch goes to the daemon's queue, then frames (whose
// declared length counts a NUL that is not sent) arrive in pieces. watch on a
// queue: registered with the daemon, prints notifications (22) only, and is
// unregistered and removed on Ctrl-C.
TEST(ZtctlProcess, WatchPrintsEachNotificationOverTcpOrARegisteredQueue)
{
    int listener = socket(AF_INET, SOCK_STREAM, 0), one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{AF_INET, htons(zttest::kNotifyPort), {htonl(INADDR_LOOPBACK)}, {}};
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    FakeDaemon daemon;
    auto request = daemon.serve();
    zttest::ChildProcess tcp, queue;
    ASSERT_TRUE(tcp.start(kZtctl, {"watch", "--raw", "--count", "2", "--timeout", "5000"}));
    int conn = accept(listener, nullptr, nullptr);
    ASSERT_GE(conn, 0);
    Bytes r = request.get();
    EXPECT_EQ(r, expected({ZTCONTROL_PUSH_NOTIFICATIONS, zttest::textArg("status=1"), {}}, r));
    const std::string frames = "LENGTH:3\n\n{}LENGTH:12\n\n{\"a\":\"b c\"}";
    ASSERT_EQ(send(conn, frames.data(), 20, MSG_NOSIGNAL), 20);  // inside the second header
    ASSERT_GT(send(conn, frames.data() + 20, frames.size() - 20, MSG_NOSIGNAL), 0);
    auto status = tcp.waitExit(10s);
    close(conn), close(listener);
    ASSERT_TRUE(status && status->ok()) << tcp.output();
    EXPECT_EQ(tcp.output(), "{}\n{\"a\":\"b c\"}\n");

    const std::string name = zttest::uniqueQueueName("watch");
    request = daemon.serve();
    ASSERT_TRUE(queue.start(kZtctl, {"watch", "--queue", name, "--raw"}));
    r = request.get();
    EXPECT_EQ(
        r,
        expected({ZTCONTROL_EVENT_REGISTER_MQUEUE, zttest::registerQueueArg(true, name), {}}, r));
    const std::string full = "{\"1\":1,\n\"2\":9}", change = "{\"status\":{\"8\":1}}";
    const std::pair<uint8_t, std::string> sent[] = {
        {CAT_CLIENT_EVT, full}, {CAT_CLIENT_RSP, change}, {CAT_CLIENT_EVT, change}};
    for (const auto &[category, text] : sent) {
        const Bytes payload(text.c_str(), text.c_str() + text.size() + 1);
        const Bytes m = daemonMessage(category, 0, &payload);
        ASSERT_TRUE(zttest::sendRaw(m.data(), m.size(), 1000, name));
    }
    ASSERT_TRUE(queue.waitForOutput(change + "\n", 10s)) << queue.output();
    request = daemon.serve();
    ASSERT_TRUE(queue.signal(SIGINT));
    r = request.get();
    EXPECT_EQ(
        r,
        expected({ZTCONTROL_EVENT_REGISTER_MQUEUE, zttest::registerQueueArg(false, name), {}}, r));
    status = queue.waitExit(10s);
    ASSERT_TRUE(status && status->ok()) << queue.output();
    EXPECT_EQ(queue.output(), full + "\n" + change + "\n");
    EXPECT_FALSE(zttest::queueExists(name)) << "the watch queue was left behind";
}

}  // namespace
