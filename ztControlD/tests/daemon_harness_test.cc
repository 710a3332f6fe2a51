// The daemon test kit itself: a harness fault would make daemon tests pass
// or hang for the wrong reason, so its waits and parsers are checked here
// against plain processes and queues.
#include <signal.h>

#include <chrono>

#include <gtest/gtest.h>

#include "DaemonHarness.h"
#include "ztTlv.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(HarnessChildProcess, ReportsExitCodesSignalsAndMissingBinaries)
{
    zttest::ChildProcess exits;
    ASSERT_TRUE(exits.start("/bin/sh", {"-c", "echo out; echo err >&2; exit 3"}));
    auto status = exits.waitExit(10s);
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->exited);
    EXPECT_EQ(status->code, 3);
    EXPECT_TRUE(exits.waitForOutput("err", 1s));  // stderr is captured too
    EXPECT_TRUE(exits.waitForOutputRegex("^out", 1s));

    zttest::ChildProcess killed;
    ASSERT_TRUE(killed.start("/bin/sleep", {"30"}));
    EXPECT_FALSE(killed.waitExit(50ms));  // still running: nothing yet
    ASSERT_TRUE(killed.signal(SIGTERM));
    status = killed.waitExit(10s);
    ASSERT_TRUE(status);
    EXPECT_FALSE(status->exited);
    EXPECT_EQ(status->signal, SIGTERM);

    zttest::ChildProcess missing;
    EXPECT_FALSE(missing.start("/nonexistent/ztControlD"));
    EXPECT_FALSE(missing.error().empty());
}

TEST(HarnessChildProcess, WaitForOutputEndsWhenTheChildsOutputEnds)
{
    zttest::ChildProcess quiet;
    ASSERT_TRUE(quiet.start("/bin/sh", {"-c", "echo nothing useful"}));
    auto start = Clock::now();
    EXPECT_FALSE(quiet.waitForOutput("never printed", 30s));
    EXPECT_LT(Clock::now() - start, 20s);  // not the whole time-out
    size_t mark = quiet.outputMark();
    EXPECT_FALSE(quiet.waitForOutput("nothing", 0ms, mark));  // only text after the mark
    EXPECT_EQ(quiet.countInOutput("nothing"), 1u);
}

TEST(HarnessRequester, NoDaemonMeansNoAnswerWithoutWaiting)
{
    mq_unlink(zttest::kCommandQueue);
    zttest::Requester requester;
    ASSERT_TRUE(requester.ok());
    auto start = Clock::now();
    EXPECT_FALSE(requester.call(1, 30s));
    EXPECT_LT(Clock::now() - start, 20s);
}

TEST(HarnessMessages, RequestLayoutAndReplyFramingChecks)
{
    zttest::ClientRequest r;
    r.command = 0x01020304;
    r.arg = zttest::Bytes{9, 8};
    r.option = 7;
    zttest::Bytes msg = zttest::buildClientRequest(r, "/q");
    ASSERT_FALSE(msg.empty());
    EXPECT_EQ(msg[3], 20);
    const uint8_t *cmd = tlv_find(msg.data(), TLV_CMD);
    ASSERT_TRUE(cmd);
    EXPECT_EQ(zttest::Bytes(cmd + 4, cmd + 8), (zttest::Bytes{4, 3, 2, 1}));  // little-endian
    ASSERT_TRUE(tlv_find(msg.data(), 'W'));
    EXPECT_EQ(msg.back(), 0xEE);

    r.arg = zttest::Bytes(1500, 0);
    EXPECT_TRUE(zttest::buildClientRequest(r, "/q").empty());  // does not fit

    // A request is not an answer, but it is a well-framed message.
    auto parsed = zttest::parseReply(msg.data(), msg.size());
    ASSERT_TRUE(parsed);
    EXPECT_FALSE(parsed->hasResult);
    EXPECT_FALSE(zttest::parseReply(msg.data(), msg.size() - 1));
    zttest::Bytes broken = msg;
    broken[5] = 0x7F;  // first element claims to run past the end
    EXPECT_FALSE(zttest::parseReply(broken.data(), broken.size()));
}

}  // namespace
