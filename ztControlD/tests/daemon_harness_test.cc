// The daemon test kit itself: a kit fault would make daemon tests pass or
// hang for the wrong reason, so its waits and parsers are checked here
// against plain processes and queues.
#include <signal.h>

#include <gtest/gtest.h>

#include "DaemonHarness.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(HarnessChildProcess, ReportsExitsSignalsOutputAndMissingBinariesWithoutWaitingInVain)
{
    zttest::ChildProcess exits;
    ASSERT_TRUE(exits.start("/bin/sh", {"-c", "echo out; echo err >&2; exit 3"}));
    auto status = exits.waitExit(10s);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->describe(), "exit 3");
    EXPECT_TRUE(exits.waitForOutput("err", 1s));  // stderr is captured too
    EXPECT_TRUE(exits.waitForOutputRegex("^out", 1s));
    EXPECT_FALSE(exits.waitForOutput("out", 0ms, exits.outputMark()));  // only text after the mark
    const auto start = Clock::now();
    EXPECT_FALSE(exits.waitForOutput("never printed", 30s));  // the output has ended
    EXPECT_LT(Clock::now() - start, 20s);
    EXPECT_EQ(exits.countInOutput("out"), 1u);

    zttest::ChildProcess killed;
    ASSERT_TRUE(killed.start("/bin/sleep", {"30"}));
    EXPECT_FALSE(killed.waitExit(50ms));
    ASSERT_TRUE(killed.signal(SIGTERM));
    status = killed.waitExit(10s);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->describe(), "signal 15 (Terminated)");

    zttest::ChildProcess missing;
    EXPECT_FALSE(missing.start("/nonexistent/ztControlD"));
    EXPECT_FALSE(missing.error().empty());
}

TEST(HarnessMessages, RequestLayoutReplyFramingAndNoDaemonMeansNoAnswer)
{
    const zttest::ClientRequest request{0x01020304, zttest::Bytes{9, 8}, 7};
    const zttest::Bytes msg = zttest::buildClientRequest(request, "/q");
    EXPECT_EQ(msg, zttest::tlvMessage(20, {{'A', {4, 3, 2, 1}},
                                           {'B', {9, 8}},
                                           {'W', {7}},
                                           {'D', zttest::textArg("/q")},
                                           {0xEE, {}}}));
    EXPECT_TRUE(zttest::buildClientRequest({1, zttest::Bytes(1500, 0), {}}, "/q").empty());
    auto parsed = zttest::parseReply(msg.data(), msg.size());  // well framed, but no answer
    ASSERT_TRUE(parsed);
    EXPECT_FALSE(parsed->hasResult);
    EXPECT_FALSE(zttest::parseReply(msg.data(), msg.size() - 1));
    zttest::Bytes broken = msg;
    broken[5] = 0x7F;  // the first element runs past the end
    EXPECT_FALSE(zttest::parseReply(broken.data(), broken.size()));

    mq_unlink(zttest::kCommandQueue);
    zttest::Requester requester;
    const auto start = Clock::now();
    EXPECT_FALSE(requester.call(1, 30s));
    EXPECT_LT(Clock::now() - start, 20s);
}

}  // namespace
