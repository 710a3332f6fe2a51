// ztctl: command-line parsing, answer printing, and the real binary against a
// stand-in daemon that owns "/to_ztCtlD" in this test's IPC namespace.
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
#include "CommandLine.h"
#include "DaemonHarness.h"
#include "ReplyFormatter.h"
#include "ztTlv.h"

namespace {

using namespace std::chrono_literals;
using ztctl::Bytes;

std::optional<ztctl::Options> parse(std::vector<const char*> args, std::string* error = nullptr) {
  args.insert(args.begin(), "ztctl");
  std::string e;
  auto o = ztctl::parseCommandLine(static_cast<int>(args.size()), args.data(), e);
  if (error) *error = e;
  return o;
}

TEST(CommandLookup, AcceptsEveryNameFormAndAnyNumber) {
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

TEST(ArgumentBuilding, OptionsAppendLittleEndianInTheOrderGiven) {
  auto o = parse({"--u8", "7", "command_shutter", "--u16", "0x1234", "--u32", "-2", "--hex", "aa:BB",
                  "--textz", "hi"});
  ASSERT_TRUE(o);
  EXPECT_EQ(o->command, 3u);
  EXPECT_EQ(*o->argument, (Bytes{7, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 0xAA, 0xBB, 'h', 'i', 0}));
}

TEST(ArgumentBuilding, NoArgumentOptionMeansNoElementButEmptyMeansAnEmptyOne) {
  auto none = parse({"100"});
  ASSERT_TRUE(none);
  EXPECT_FALSE(none->argument);
  auto empty = parse({"100", "--empty"});
  ASSERT_TRUE(empty && empty->argument);
  EXPECT_TRUE(empty->argument->empty());
}

TEST(ArgumentBuilding, ParamsAreJoinedIntoOneKeyValueText) {
  auto o = parse({"push_notifications", "--param", "status=1", "--param", "x=2"});
  ASSERT_TRUE(o);
  EXPECT_EQ(std::string(o->argument->begin(), o->argument->end()), "status=1&x=2");
}

TEST(ArgumentBuilding, RefusesValuesThatDoNotFitOrParse) {
  std::string error;
  EXPECT_FALSE(parse({"3", "--u8", "256"}, &error));
  EXPECT_NE(error.find("8-bit"), std::string::npos);
  EXPECT_FALSE(parse({"3", "--u8", "-129"}));
  EXPECT_FALSE(parse({"3", "--u16", "12x"}));
  EXPECT_FALSE(parse({"3", "--hex", "abc"}));    // odd digit count
  EXPECT_FALSE(parse({"3", "--hex", "a bc"}));   // split pair
  EXPECT_FALSE(parse({"3", "--hex", "zz"}));
  EXPECT_FALSE(parse({"3", "--param", "novalue"}));
  EXPECT_FALSE(parse({"3", "--u32"}));           // missing value
  EXPECT_FALSE(parse({"3", "4"}));               // two commands
  EXPECT_FALSE(parse({"3", "--bogus"}));
  EXPECT_FALSE(parse({}));
  EXPECT_FALSE(parse({"3", "--queue", "noslash"}));
}

Bytes answerBytes(int32_t result, const Bytes* payload, uint8_t category = 21) {
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

TEST(AnswerParsing, RefusesMessagesThatAreNotWellFramedClientAnswers) {
  Bytes good = answerBytes(-104, nullptr);
  ASSERT_TRUE(ztctl::parseAnswer(good.data(), good.size()));
  EXPECT_FALSE(ztctl::parseAnswer(good.data(), good.size() - 1));  // length field disagrees
  Bytes noEnd = good;
  noEnd[noEnd.size() - 1] = 'X';
  EXPECT_FALSE(ztctl::parseAnswer(noEnd.data(), noEnd.size()));
  Bytes overrun = good;
  overrun[6] = 0x40;  // result element claims more bytes than the message has
  EXPECT_FALSE(ztctl::parseAnswer(overrun.data(), overrun.size()));
  Bytes other = answerBytes(0, nullptr, 17);
  EXPECT_FALSE(ztctl::parseAnswer(other.data(), other.size()));
  EXPECT_FALSE(ztctl::parseAnswer(good.data(), 3));
}

TEST(AnswerPrinting, ShowsResultNameHexAndKnownShapes) {
  Bytes busy{1};
  Bytes m = answerBytes(0, &busy);
  auto a = ztctl::parseAnswer(m.data(), m.size());
  ASSERT_TRUE(a);
  std::string text = ztctl::formatAnswer(100, *a, false);
  EXPECT_NE(text.find("result: 0 (ZT_OK)"), std::string::npos);
  EXPECT_NE(text.find(" 01 "), std::string::npos);
  EXPECT_NE(text.find("busy: 1"), std::string::npos);
  EXPECT_EQ(ztctl::formatAnswer(100, *a, true).find("busy:"), std::string::npos);

  ztctl::Answer refused;
  refused.hasResult = true;
  refused.result = -104;
  EXPECT_NE(ztctl::formatAnswer(1, refused, false).find("-104 (ZT_ERR_NOT_SUPPORTED)"),
            std::string::npos);
  EXPECT_EQ(ztctl::decodePayload(39, Bytes{'a', '.', 'b', 0}), "text: \"a.b\"");
  EXPECT_EQ(ztctl::decodePayload(39, Bytes{0x01, 0x02}), "");
}

// A stand-in daemon: owns "/to_ztCtlD", takes one request and answers it.
class FakeDaemon {
 public:
  FakeDaemon() {
    mq_unlink(zttest::kCommandQueue);
    m_queue = zttest::createQueue(zttest::kCommandQueue, 5);
  }
  ~FakeDaemon() {
    if (m_thread.joinable()) m_thread.join();
    mq_close(m_queue);
    mq_unlink(zttest::kCommandQueue);
  }
  // Answers the next request with `answer` (or not at all when null).
  void serveOne(std::optional<Bytes> answer) {
    m_thread = std::thread([this, answer] {
      auto request = zttest::receiveMessage(m_queue, 10s);
      if (!request) return;
      m_request = *request;
      const uint8_t* src = tlv_find(m_request.data(), TLV_SRC);
      if (!answer || !src) return;
      std::string name(reinterpret_cast<const char*>(src + 4), (src[1] << 8) | src[2]);
      m_replyQueue = name;
      zttest::sendRaw(answer->data(), answer->size(), 1000, name);
    });
  }
  void join() {
    if (m_thread.joinable()) m_thread.join();
  }
  Bytes m_request;
  std::string m_replyQueue;

 private:
  mqd_t m_queue;
  std::thread m_thread;
};

std::string element(const Bytes& msg, int type) {
  if (msg.size() < 4) return "<no message>";
  const uint8_t* e = tlv_find(msg.data(), type);
  if (!e) return "<none>";
  return std::string(reinterpret_cast<const char*>(e + 4), (e[1] << 8) | e[2]);
}

std::string ztctlPath() { return zttest::DaemonHarness::binDir() + "/ztctl"; }

TEST(ZtctlProcess, SendsTheRequestLayoutAndExitsWithTheResult) {
  FakeDaemon daemon;
  Bytes payload{1};
  daemon.serveOne(answerBytes(0, &payload));
  zttest::ChildProcess ztctl;
  ASSERT_TRUE(ztctl.start(ztctlPath(), {"get_busy_status", "--option", "0", "--hex", "0a0b"}));
  auto status = ztctl.waitExit(10s);
  daemon.join();
  ASSERT_TRUE(status);
  EXPECT_TRUE(status->ok()) << status->describe() << ztctl.output();
  EXPECT_NE(ztctl.output().find("busy: 1"), std::string::npos) << ztctl.output();

  const Bytes& r = daemon.m_request;
  ASSERT_GE(r.size(), 4u);
  EXPECT_EQ(r[3], 20);
  EXPECT_EQ(element(r, TLV_CMD), std::string("\x64\0\0\0", 4));
  EXPECT_EQ(element(r, TLV_CMDARG), "\x0a\x0b");
  EXPECT_EQ(element(r, 'W'), std::string(1, '\0'));
  EXPECT_EQ(element(r, TLV_SRC), daemon.m_replyQueue);
  EXPECT_FALSE(zttest::queueExists(daemon.m_replyQueue));  // ztctl cleaned up
}

TEST(ZtctlProcess, NonZeroResultGivesExitStatusOne) {
  FakeDaemon daemon;
  daemon.serveOne(answerBytes(-104, nullptr));
  zttest::ChildProcess ztctl;
  ASSERT_TRUE(ztctl.start(ztctlPath(), {"1"}));
  auto status = ztctl.waitExit(10s);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->code, 1);
  EXPECT_NE(ztctl.output().find("ZT_ERR_NOT_SUPPORTED"), std::string::npos);
}

TEST(ZtctlProcess, SilentDaemonEndsInTheTimeOutNotAHang) {
  FakeDaemon daemon;
  daemon.serveOne(std::nullopt);
  zttest::ChildProcess ztctl;
  ASSERT_TRUE(ztctl.start(ztctlPath(), {"stop", "--timeout", "300", "--queue", "/ztctl_silent"}));
  auto status = ztctl.waitExit(10s);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->code, 3);
  EXPECT_NE(ztctl.output().find("no answer within 300 ms"), std::string::npos);
  daemon.join();
  EXPECT_EQ(element(daemon.m_request, TLV_CMD), std::string("\x65\0\0\0", 4));
  EXPECT_FALSE(zttest::queueExists("/ztctl_silent"));
}

TEST(ZtctlProcess, MissingDaemonFailsAtOnce) {
  mq_unlink(zttest::kCommandQueue);
  zttest::ChildProcess ztctl;
  ASSERT_TRUE(ztctl.start(ztctlPath(), {"get_busy_status"}));
  auto status = ztctl.waitExit(10s);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->code, 3);
  EXPECT_NE(ztctl.output().find("is ztControlD running?"), std::string::npos);
}

TEST(ZtctlProcess, UsageErrorsExitTwoAndHelpZero) {
  zttest::ChildProcess bad;
  ASSERT_TRUE(bad.start(ztctlPath(), {"--u8"}));
  auto s = bad.waitExit(10s);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->code, 2);
  zttest::ChildProcess help;
  ASSERT_TRUE(help.start(ztctlPath(), {"--help"}));
  s = help.waitExit(10s);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->code, 0);
  EXPECT_NE(help.output().find("Usage: ztctl"), std::string::npos);
}

// watch: the switch goes to the daemon's queue, the frames come over TCP.
// The stand-in listens on port 8081 and sends frames (whose declared length
// counts a NUL that is not sent) once the switch has been answered.
TEST(ZtctlProcess, WatchSwitchesNotificationsOnAndPrintsEachFramedText) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(zttest::kNotifyPort);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(listener, 1), 0);

  FakeDaemon daemon;
  daemon.serveOne(answerBytes(0, nullptr));
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
