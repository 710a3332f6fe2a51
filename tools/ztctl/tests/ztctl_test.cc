// ztctl: command lookup, the generic argument options, and the real binary
// against a stand-in daemon that owns "/to_ztCtlD" in this test's IPC
// namespace (request layout, exit statuses, time-outs, the TCP watch).
#include <arpa/inet.h>
#include <fcntl.h>
#include <mqueue.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "ClientMessages.h"
#include "DaemonHarness.h"
#include "ztctlTestSupport.h"

namespace {

using namespace std::chrono_literals;
using ztctltest::Bytes;
using ztctltest::daemonMessage;
using ztctltest::element;
using ztctltest::parse;
using ztctltest::parseLine;

TEST(CommandLookup, AcceptsEveryNameFormAndAnyNumber)
{
    EXPECT_EQ(ztctl::lookupCommand("ZTCONTROL_GET_BUSY_STATUS"), 100u);
    EXPECT_EQ(ztctl::lookupCommand("GET_BUSY_STATUS"), 100u);
    EXPECT_EQ(ztctl::lookupCommand("get-busy-status"), 100u);
    EXPECT_EQ(ztctl::lookupCommand("ztcontrol_event_register_mqueue"), 0u);
    EXPECT_EQ(ztctl::lookupCommand("stop"), 101u);
    EXPECT_EQ(ztctl::lookupCommand("0x64"), 100u);
    EXPECT_EQ(ztctl::lookupCommand("4000000000"), 4000000000u);  // unknown values are sendable
    EXPECT_FALSE(ztctl::lookupCommand("BUSY"));                  // no partial matches
    EXPECT_FALSE(ztctl::lookupCommand("4294967296"));
    EXPECT_FALSE(ztctl::lookupCommand("12abc"));
}

TEST(ArgumentBuilding, OptionsAppendLittleEndianInTheOrderGiven)
{
    struct Case {
        std::string line;
        uint32_t command;
        std::optional<Bytes> argument;
    } cases[] = {
        {"--u8 7 command_shutter --u16 0x1234 --u32 -2 --hex aa:BB --textz hi", 3,
         Bytes{7, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 0xAA, 0xBB, 'h', 'i', 0}},
        // No argument option means no element; --empty means an empty one.
        {"100", 100, std::nullopt},
        {"100 --empty", 100, Bytes{}},
        // Params are joined into one key=value text.
        {"push_notifications --param status=1 --param x=2", 43,
         Bytes{'s', 't', 'a', 't', 'u', 's', '=', '1', '&', 'x', '=', '2'}},
    };
    for (const Case &c : cases) {
        auto o = parseLine(c.line);
        ASSERT_TRUE(o) << c.line;
        EXPECT_EQ(o->command, c.command) << c.line;
        EXPECT_EQ(o->argument, c.argument) << c.line;
    }
}

TEST(ArgumentBuilding, RefusesValuesThatDoNotFitOrParse)
{
    std::string error;
    EXPECT_FALSE(parseLine("3 --u8 256", &error));
    EXPECT_NE(error.find("8-bit"), std::string::npos);
    EXPECT_FALSE(parse({"3", "--hex", "a bc"}));  // split pair
    for (const char *line : {"3 --u8 -129", "3 --u16 12x", "3 --hex abc" /* odd digit count */,
                             "3 --hex zz", "3 --param novalue", "3 --u32" /* missing value */,
                             "3 4" /* two commands */, "3 --bogus", "", "3 --queue noslash"})
        EXPECT_FALSE(parseLine(line)) << line;
}

// A stand-in daemon: owns "/to_ztCtlD", takes one request and answers it.
class FakeDaemon {
public:
    FakeDaemon()
    {
        mq_unlink(zttest::kCommandQueue);
        m_queue = zttest::createQueue(zttest::kCommandQueue, 5);
    }
    ~FakeDaemon()
    {
        if (m_thread.joinable())
            m_thread.join();
        mq_close(m_queue);
        mq_unlink(zttest::kCommandQueue);
    }
    // Answers the next request with `answer` (or not at all when null).
    void serveOne(std::optional<Bytes> answer)
    {
        m_thread = std::thread([this, answer] {
            auto request = zttest::receiveMessage(m_queue, 10s);
            if (!request)
                return;
            m_request = *request;
            const uint8_t *src = tlv_find(m_request.data(), TLV_SRC);
            if (!answer || !src)
                return;
            std::string name(reinterpret_cast<const char *>(src + 4), (src[1] << 8) | src[2]);
            m_replyQueue = name;
            zttest::sendRaw(answer->data(), answer->size(), 1000, name);
        });
    }
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    Bytes m_request;
    std::string m_replyQueue;

private:
    mqd_t m_queue;
    std::thread m_thread;
};

std::string ztctlPath()
{
    return zttest::DaemonHarness::binDir() + "/ztctl";
}

TEST(ZtctlProcess, SendsTheRequestLayoutAndExitsWithTheResult)
{
    FakeDaemon daemon;
    Bytes payload{1};
    daemon.serveOne(daemonMessage(21, 0, &payload));
    zttest::ChildProcess ztctl;
    ASSERT_TRUE(ztctl.start(ztctlPath(), {"get_busy_status", "--option", "0", "--hex", "0a0b"}));
    auto status = ztctl.waitExit(10s);
    daemon.join();
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->ok()) << status->describe() << ztctl.output();
    EXPECT_NE(ztctl.output().find("busy: 1"), std::string::npos) << ztctl.output();

    const Bytes &r = daemon.m_request;
    ASSERT_GE(r.size(), 4u);
    EXPECT_EQ(r[3], 20);
    EXPECT_EQ(element(r, TLV_CMD), std::string("\x64\0\0\0", 4));
    EXPECT_EQ(element(r, TLV_CMDARG), "\x0a\x0b");
    EXPECT_EQ(element(r, 'W'), std::string(1, '\0'));
    EXPECT_EQ(element(r, TLV_SRC), daemon.m_replyQueue);
    EXPECT_FALSE(zttest::queueExists(daemon.m_replyQueue));  // ztctl cleaned up
}

// Exit status 1 for a refused command, 3 for a daemon that stays silent
// (after the time-out, not a hang) or is not there (at once), 2 for a usage
// error, 0 for help. The reply queue never outlives ztctl.
TEST(ZtctlProcess, ExitStatusTellsRefusalSilenceUsageAndMissingDaemonApart)
{
    enum Daemon { kNone, kRefuses, kSilent };
    struct Case {
        std::vector<std::string> args;
        Daemon daemon;
        int code;
        const char *text;
    } cases[] = {
        {{"1"}, kRefuses, 1, "ZT_ERR_NOT_SUPPORTED"},
        {{"stop", "--timeout", "300", "--queue", "/ztctl_silent"},
         kSilent,
         3,
         "no answer within 300 ms"},
        {{"get_busy_status"}, kNone, 3, "is ztControlD running?"},
        {{"--u8"}, kNone, 2, ""},
        {{"--help"}, kNone, 0, "Usage: ztctl"},
    };
    for (const Case &c : cases) {
        mq_unlink(zttest::kCommandQueue);
        std::optional<FakeDaemon> daemon;
        if (c.daemon != kNone)
            daemon.emplace().serveOne(c.daemon == kRefuses ? std::optional(daemonMessage(21, -104))
                                                           : std::nullopt);
        zttest::ChildProcess ztctl;
        ASSERT_TRUE(ztctl.start(ztctlPath(), c.args));
        auto status = ztctl.waitExit(10s);
        ASSERT_TRUE(status) << c.args[0];
        EXPECT_EQ(status->code, c.code) << c.args[0] << ": " << ztctl.output();
        EXPECT_NE(ztctl.output().find(c.text), std::string::npos) << ztctl.output();
        if (!daemon)
            continue;
        daemon->join();
        const std::string replyQueue = element(daemon->m_request, TLV_SRC);
        EXPECT_EQ(replyQueue[0], '/') << c.args[0];
        EXPECT_FALSE(zttest::queueExists(replyQueue)) << replyQueue;
    }
}

// watch: the switch goes to the daemon's queue, the frames come over TCP.
// The stand-in listens on port 8081 and sends frames (whose declared length
// counts a NUL that is not sent) once the switch has been answered.
TEST(ZtctlProcess, WatchSwitchesNotificationsOnAndPrintsEachFramedText)
{
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(zttest::kNotifyPort);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(listener, 1), 0);

    FakeDaemon daemon;
    daemon.serveOne(daemonMessage(21, 0));
    zttest::ChildProcess ztctl;
    ASSERT_TRUE(ztctl.start(ztctlPath(), {"watch", "--raw", "--count", "2", "--timeout", "5000"}));
    int conn = accept(listener, nullptr, nullptr);
    ASSERT_GE(conn, 0);
    daemon.join();
    EXPECT_EQ(element(daemon.m_request, TLV_CMD), std::string("\x2b\0\0\0", 4));
    EXPECT_EQ(element(daemon.m_request, TLV_CMDARG), "status=1");
    // Two frames in pieces, the second split inside its header.
    const std::string frames = "LENGTH:3\n\n{}LENGTH:12\n\n{\"a\":\"b c\"}";
    ASSERT_EQ(send(conn, frames.data(), 20, MSG_NOSIGNAL), 20);
    ASSERT_EQ(send(conn, frames.data() + 20, frames.size() - 20, MSG_NOSIGNAL),
              static_cast<ssize_t>(frames.size() - 20));
    auto status = ztctl.waitExit(10s);
    close(conn);
    close(listener);
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->ok()) << status->describe() << ztctl.output();
    EXPECT_EQ(ztctl.output(), "{}\n{\"a\":\"b c\"}\n");
}

}  // namespace
