// A GoogleTest fixture for command tests: one real daemon and one scripted
// firmware peer shared by every test of a suite (starting and stopping the
// daemon costs seconds), a call() that sends one command and returns its
// answer, and sent(), the firmware-link requests that call caused. Each test
// starts with an empty script. Used by the test thread only; header-only so
// it needs no GoogleTest in the harness library.
//
//   class Media : public zttest::CommandFixture {};
//   TEST_F(Media, ...) { EXPECT_EQ(call(10).result, 0); ... sent() ... }
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "DaemonHarness.h"
#include "ztFirmwarePeer.h"

namespace zttest {

class CommandFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() { startSuite(nullptr); }
    // For a suite whose peer must be prepared before the daemon starts (for
    // example with a camera model, CSI item 1): call it from the suite's own
    // SetUpTestSuite.
    static void startSuite(const std::function<void(ZtFirmwarePeer &)> &prepare)
    {
        s_peer = std::make_unique<ZtFirmwarePeer>();
        if (prepare)
            prepare(*s_peer);
        s_daemon = std::make_unique<DaemonHarness>();
        s_started = s_peer->ok() && s_daemon->startAndWaitReady();
    }
    static void TearDownTestSuite()
    {
        if (s_started) {
            auto status = s_daemon->stop();
            EXPECT_TRUE(status && status->ok()) << "the daemon did not stop cleanly\n"
                                                << s_daemon->log();
        }
        s_daemon.reset();
        s_peer.reset();
        s_started = false;
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_started) << "daemon or peer did not start\n" << s_daemon->log();
        ASSERT_TRUE(s_daemon->isRunning()) << "the daemon died in an earlier test\n"
                                           << s_daemon->log();
        s_peer->clearScript();
        s_daemon->requester().drain();
    }

    static ZtFirmwarePeer &peer() { return *s_peer; }
    static DaemonHarness &daemon() { return *s_daemon; }

    // Sends one command and waits for its answer (an empty Reply, with a test
    // failure, when none came). Marks where its firmware traffic starts.
    Reply call(uint32_t command, std::optional<Bytes> arg = std::nullopt)
    {
        ClientRequest request;
        request.command = command;
        request.arg = std::move(arg);
        return call(request);
    }
    Reply call(const ClientRequest &request)
    {
        m_mark = s_peer->requestCount();
        auto reply = s_daemon->requester().call(request);
        EXPECT_TRUE(reply && reply->hasResult) << "no answer to command " << request.command << "\n"
                                               << s_daemon->log();
        return reply ? *reply : Reply{};
    }

    // A failed command's "returned" line is logged after its answer is sent,
    // so lines of the suite's earlier commands may still be on their way when
    // a test starts counting. An unhandled command logs its own line before
    // its answer; once that line is read, every earlier line is too.
    void settleLog()
    {
        const size_t mark = s_daemon->logMark();
        call(1);  // ZTCONTROL_EVENT_FILTER_IN: unhandled, touches nothing
        ASSERT_TRUE(s_daemon->waitForLog("Unhandled command 1", std::chrono::seconds(2), mark));
    }

    // Result and payload of one command, to compare a whole answer at once:
    //   EXPECT_EQ(answer(kScan, u8Arg(1)), (Answer{0, {42, 0, 0, 0}}));
    using Answer = std::pair<int32_t, Bytes>;
    Answer answer(uint32_t command, const std::optional<Bytes> &arg = std::nullopt)
    {
        ClientRequest request;
        request.command = command;
        if (arg)
            request.arg = *arg;
        const Reply reply = call(request);
        return {reply.result, reply.payload};
    }

    // Firmware-link requests ("RA", "TC", "AX"; no CSI traffic) recorded since
    // the last call(). The daemon answers only after its library calls have
    // been answered, so after call() returns they are all recorded.
    std::vector<PeerRequest> sent() const
    {
        std::vector<PeerRequest> out;
        auto all = s_peer->requests();
        for (size_t i = m_mark; i < all.size(); ++i)
            if (all[i].kind == "RA" || all[i].kind == "TC" || all[i].kind == "AX")
                out.push_back(all[i]);
        return out;
    }

    // The one request sent since the last call(), or nothing (with a test
    // failure) when there was not exactly one.
    std::optional<PeerRequest> sentOne() const
    {
        auto requests = sent();
        EXPECT_EQ(requests.size(), 1u) << "firmware requests after command";
        if (requests.size() != 1)
            return std::nullopt;
        return requests[0];
    }

    // The inputs of the one request since the last call(), which must be
    // the typed call `function` ("TC") or the module command `name` ("AX");
    // empty, with a test failure, otherwise.
    Bytes sentTyped(const std::string &function) const { return sentOnly("TC", function); }
    Bytes sentModule(const std::string &name) const { return sentOnly("AX", name); }

private:
    Bytes sentOnly(const std::string &kind, const std::string &name) const
    {
        auto request = sentOne();
        if (!request || request->kind != kind || request->name != name) {
            ADD_FAILURE() << "expected only the " << kind << " request " << name;
            return {};
        }
        return request->payload;
    }

    static inline std::unique_ptr<ZtFirmwarePeer> s_peer;
    static inline std::unique_ptr<DaemonHarness> s_daemon;
    static inline bool s_started = false;
    size_t m_mark = 0;
};

}  // namespace zttest
