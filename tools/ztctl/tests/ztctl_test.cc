// The real ztctl binary against a stand-in daemon that owns "/to_ztCtlD" in
// this test's IPC namespace: the request it sends, its exit statuses and
// time-outs, and watch over TCP and over a registered queue; then the real
// binaries against the firmware simulator.
#include <arpa/inet.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "ClientMessages.h"
#include "DaemonHarness.h"
#include "SimulatorDaemonTest.h"
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
    const Bytes r = zttest::u32Arg(static_cast<uint32_t>(result));
    return payload ? zttest::tlvMessage(category,
                                        {{TLV_RESULT, r}, {TLV_RSPARG, *payload}, {TLV_END, {}}})
                   : zttest::tlvMessage(category, {{TLV_RESULT, r}, {TLV_END, {}}});
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
    } cases[] = {
        // clang-format off
        {{"get_busy_status", "--option", "0", "--hex", "0a0b", "--raw"}, ok, {ZTCONTROL_GET_BUSY_STATUS, Bytes{10, 11}, 0}, 0,
         "(ZTCONTROL_GET_BUSY_STATUS)\nresult: 0 (ZT_OK)"},
        {{"get_busy_status"}, ok, {ZTCONTROL_GET_BUSY_STATUS, {}, {}}, 0, "busy: 1\n"},
        {{"1"}, refused, {ZTCONTROL_EVENT_FILTER_IN, {}, {}}, 1,
         "refused: ZT_ERR_NOT_SUPPORTED (-104): not supported by the daemon or this camera model"},
        {{"stop", "--timeout", "300", "--queue", "/silent"}, std::optional<Bytes>(), {ZTCONTROL_CMD_LAST, {}, {}},
         3, "no answer within 300 ms"},
        {{"get_busy_status"}, {}, {}, 3, "is ztControlD running?"},
        {{"1", "--hex", std::string(3000, 'a')}, {}, {}, 3, "does not fit"},
        {{"watch", "--timeout", "200"}, {}, {}, 3, "ztctl: no daemon: cannot connect to port 8081"},
        {{"--u8"}, {}, {}, 2, "--u8 needs a number\nztctl --help"}, {{"--help"}, {}, {}, 0, "Usage: ztctl"},
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
// declared length counts a NUL that is not sent) arrive in pieces and are
// printed by name, throttled counters left out; a connection the daemon drops
// is made again, said on stderr. watch on a queue: registered with the
// daemon, prints notifications (22) only, and is unregistered and removed on
// Ctrl-C.
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
    ASSERT_TRUE(tcp.start(kZtctl, {"watch", "--count", "2", "--timeout", "5000"}));
    int conn = accept(listener, nullptr, nullptr);
    ASSERT_GE(conn, 0);
    Bytes r = request.get();
    EXPECT_EQ(r, expected({ZTCONTROL_PUSH_NOTIFICATIONS, zttest::textArg("status=1"), {}}, r));
    const std::string frames =
        "LENGTH:17\n\n{\"1\":1,\n\"167\":2}LENGTH:22\n\n{\"status\":{\"117\":5}}";
    ASSERT_EQ(send(conn, frames.data(), 30, MSG_NOSIGNAL), 30);  // inside the second header
    ASSERT_GT(send(conn, frames.data() + 30, frames.size() - 30, MSG_NOSIGNAL), 0);
    ASSERT_TRUE(tcp.waitForOutput("preroll", 10s)) << tcp.output();
    request = daemon.serve();
    close(conn);  // the daemon drops the watcher
    conn = accept(listener, nullptr, nullptr);
    ASSERT_GE(conn, 0);
    r = request.get();
    EXPECT_EQ(r, expected({ZTCONTROL_PUSH_NOTIFICATIONS, zttest::textArg("status=1"), {}}, r));
    const std::string recording = "LENGTH:20\n\n{\"status\":{\"10\":1}}";
    ASSERT_GT(send(conn, recording.data(), recording.size(), MSG_NOSIGNAL), 0);
    auto status = tcp.waitExit(10s);
    close(conn), close(listener);
    ASSERT_TRUE(status && status->ok()) << tcp.output();
    for (const char *text : {"  full state\nstatus:\n  battery_present                     1\n"
                             "settings:\n  preroll                             2  15 s\n",
                             "reconnecting", "  changes\nstatus:\n  encoding                   "})
        EXPECT_NE(tcp.output().find(text), std::string::npos) << tcp.output();
    EXPECT_EQ(tcp.output().find("uptime"), std::string::npos) << tcp.output();

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

// The real binaries: the view of top, a setting value sent as given with
// --force, and an idle watch that ends. (A value the model does not offer is
// refused before sending in the tour of every model.)
class ZtctlOnSimulator : public zttest::SimulatorDaemonTest {
protected:
    std::pair<int, std::string> run(const std::vector<std::string> &args)
    {
        zttest::ChildProcess ztctl;
        EXPECT_TRUE(ztctl.start(kZtctl, args));
        auto status = ztctl.waitExit(20s);
        EXPECT_TRUE(status) << ztctl.output();
        return {status ? status->code : -1, ztctl.output()};
    }
};

TEST_F(ZtctlOnSimulator, TopShowsTheCameraAndForcedSettingValuesAreSent)
{
    auto [code, out] = run({"top", "--once"});
    EXPECT_EQ(code, 0) << out;
    for (const char *text : {"mode        video\n", "capture     not recording\n",
                             "battery     87 %, 3 bars\n", "temperature 38 °C\n"})
        EXPECT_NE(out.find(text), std::string::npos) << out;
    EXPECT_EQ(out.find('\033'), std::string::npos) << out;
    std::tie(code, out) = run({"setting", "2", "55", "--force"});
    EXPECT_EQ(code, 1) << out;
    EXPECT_NE(out.find("refused: ZT_ERR"), std::string::npos) << out;
    // Only the uptime counter changes on an idle camera; it is not printed,
    // so it must not keep an idle watch going.
    std::tie(code, out) = run({"watch", "--idle", "2500"});
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("full state"), std::string::npos) << out;
    EXPECT_EQ(out.find("changes"), std::string::npos) << out;
}

}  // namespace
