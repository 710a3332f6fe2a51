// The GoogleTest fixture of every test that runs the real daemon: one daemon
// against a scripted firmware peer (or the real simulator), call() and
// result() that send one command and return its answer, and sent(), the
// firmware-link requests that call caused. Test thread only; header-only so
// the harness library needs no GoogleTest.
//
// Where the daemon runs:
//  - CommandFixture: one daemon and peer for the whole suite (starting a
//    daemon costs seconds); each test starts with an empty script. A suite
//    whose peer must be prepared first calls startSuite() from its own
//    SetUpTestSuite.
//  - DaemonPeerTest: a daemon and peer per test, ready before the body (a
//    constructor may script m_peer first), or, with kStartInBody, started by
//    the body with startDaemon().
//  - SimulatorDaemonTest: the real simulator (m_sim) and a daemon per test.
// Per-test daemons, and the simulator, must stop cleanly after the test.
// Tests using them run NAMESPACED.
//
//   class Media : public zttest::CommandFixture {};
//   TEST_F(Media, ...) { EXPECT_EQ(call(ZTCONTROL_DELETE_LAST).result, 0); ... sent() ... }
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "DaemonHarness.h"
#include "ztFirmwarePeer.h"
#include "ztcontrol_commands.h"

namespace zttest {

// One daemon with its firmware side: the scripted peer, or the simulator.
struct DaemonRig {
    std::unique_ptr<ZtFirmwarePeer> peer;
    ChildProcess sim;
    DaemonHarness daemon;
    bool started = false;
};

class CommandFixture : public ::testing::Test {
protected:
    enum StartIn { kStartInSuite, kStartInSetUp, kStartInBody, kStartOnSimulator };

    explicit CommandFixture(StartIn start = kStartInSuite) : m_startIn(start)
    {
        if (start == kStartInSuite)
            return;
        m_own = std::make_unique<DaemonRig>();
        if (start != kStartOnSimulator)
            m_own->peer = std::make_unique<ZtFirmwarePeer>();
        s_rig = m_own.get();
    }
    ~CommandFixture() override
    {
        if (m_own)
            s_rig = s_suite.get();
    }

    static void SetUpTestSuite() { startSuite(nullptr); }
    static void startSuite(const std::function<void(ZtFirmwarePeer &)> &prepare)
    {
        s_suite = std::make_unique<DaemonRig>();
        s_suite->peer = std::make_unique<ZtFirmwarePeer>();
        s_rig = s_suite.get();
        if (prepare)
            prepare(peer());
        s_rig->started = peer().ok() && daemon().startAndWaitReady();
    }
    static void TearDownTestSuite()
    {
        if (s_suite && s_suite->started) {
            auto status = daemon().stop();
            EXPECT_TRUE(status && status->ok()) << "the daemon did not stop cleanly\n"
                                                << daemon().log();
        }
        s_suite.reset();
        s_rig = nullptr;
    }

    void SetUp() override
    {
        if (m_startIn == kStartInSuite) {
            ASSERT_TRUE(s_rig && s_rig->started) << "daemon or peer did not start\n"
                                                 << daemon().log();
            ASSERT_TRUE(daemon().isRunning()) << "the daemon died in an earlier test\n"
                                              << daemon().log();
            peer().clearScript();
            daemon().requester().drain();
            return;
        }
        if (m_startIn == kStartOnSimulator) {
            ASSERT_TRUE(startSimulator()) << sim().error() << " (build the ztFirmwareSim target)";
            ASSERT_TRUE(sim().waitForOutput("serving /to_ztnet", std::chrono::seconds(10)))
                << sim().output();
        } else {
            ASSERT_TRUE(peer().ok());
        }
        if (m_startIn != kStartInBody)
            startDaemon();
    }
    void TearDown() override
    {
        if (m_own && m_own->started) {
            auto status = daemon().stop(std::chrono::seconds(15));
            ASSERT_TRUE(status) << "the daemon did not stop\n" << daemon().log();
            EXPECT_TRUE(status->ok()) << status->describe() << "\n" << daemon().log();
        }
        if (m_startIn == kStartOnSimulator && sim().signal(SIGTERM)) {
            auto status = sim().waitExit(std::chrono::seconds(5));
            ASSERT_TRUE(status) << "the simulator did not stop\n" << sim().output();
            EXPECT_TRUE(status->ok()) << status->describe() << "\n" << sim().output();
        }
    }

    // Starts sim() (SimulatorDaemonTest); a test that drives its console starts it otherwise.
    virtual bool startSimulator()
    {
        return sim().start(DaemonHarness::binDir() + "/ztFirmwareSim", {"--no-console"});
    }
    // Starts the daemon of this test, waits until it answers and drains the requester.
    void startDaemon()
    {
        ASSERT_TRUE(daemon().startAndWaitReady()) << daemon().log();
        s_rig->started = true;
        daemon().requester().drain();
    }

    static ZtFirmwarePeer &peer() { return *s_rig->peer; }
    static DaemonHarness &daemon() { return s_rig->daemon; }
    static ChildProcess &sim() { return s_rig->sim; }

    // Sends one command and waits for its answer (an empty Reply, with a test
    // failure, when none came). Marks where its firmware traffic starts.
    Reply call(uint32_t command, std::optional<Bytes> arg = std::nullopt)
    {
        return call(ClientRequest{command, std::move(arg), std::nullopt});
    }
    Reply call(const ClientRequest &request,
               std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        m_mark = s_rig->peer ? peer().requestCount() : 0;
        auto reply = daemon().requester().call(request, timeout);
        EXPECT_TRUE(reply && reply->hasResult) << "no answer to command " << request.command << "\n"
                                               << daemon().log();
        return reply ? *reply : Reply{};
    }

    // The result of one command (0x7FFFFFFF, with a test failure, when no
    // answer came); the whole answer is kept in m_reply.
    int32_t result(uint32_t command, const std::optional<Bytes> &arg = std::nullopt,
                   std::optional<uint8_t> option = std::nullopt,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        m_reply = call(ClientRequest{command, arg, option}, timeout);
        return m_reply->hasResult ? m_reply->result : 0x7FFFFFFF;
    }

    // Firmware-link requests ("RA", "TC", "AX"; no CSI traffic) recorded since
    // the last call(). The daemon answers only after its library calls have
    // been answered, so after call() returns they are all recorded.
    std::vector<PeerRequest> sent() const
    {
        std::vector<PeerRequest> out;
        const auto all = s_rig->peer ? peer().requests() : std::vector<PeerRequest>{};
        for (size_t i = m_mark; i < all.size(); ++i)
            if (all[i].kind == "RA" || all[i].kind == "TC" || all[i].kind == "AX")
                out.push_back(all[i]);
        return out;
    }
    // How many firmware-side requests (any kind) from number `from` on match.
    static size_t countRequests(size_t from, const std::function<bool(const PeerRequest &)> &match)
    {
        const auto all = peer().requests();
        return from >= all.size() ? 0 : std::count_if(all.begin() + from, all.end(), match);
    }
    std::optional<Reply> m_reply;

private:
    static inline std::unique_ptr<DaemonRig> s_suite;
    static inline DaemonRig *s_rig = nullptr;
    StartIn m_startIn;
    std::unique_ptr<DaemonRig> m_own;
    size_t m_mark = 0;
};

// A daemon and peer per test (see above).
class DaemonPeerTest : public CommandFixture {
protected:
    explicit DaemonPeerTest(StartIn start = kStartInSetUp) : CommandFixture(start) {}
    static void SetUpTestSuite() {}
    static void TearDownTestSuite() {}

    ZtFirmwarePeer &m_peer = peer();
    DaemonHarness &m_daemon = daemon();
};

// The real simulator and a daemon per test (see above).
class SimulatorDaemonTest : public CommandFixture {
protected:
    SimulatorDaemonTest() : CommandFixture(kStartOnSimulator) {}
    static void SetUpTestSuite() {}
    static void TearDownTestSuite() {}

    ChildProcess &m_sim = sim();
    DaemonHarness &m_daemon = daemon();
};

}  // namespace zttest
