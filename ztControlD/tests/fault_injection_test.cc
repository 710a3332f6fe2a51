// The real daemon against a firmware side that misbehaves: silent or
// answering with garbage, and a command queue flooded by many requesters at
// once. In every case the daemon answers each request exactly once, and its
// worker is held up by at most one firmware time-out (about a second) per
// firmware operation, so other requesters wait no longer than that. Late and
// foreign answers on the firmware link are the library's: firmware_link_test.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "CommandFixture.h"
#include "ztErrno.h"
#include "ztcontrol_commands.h"
#include "ztcontrol_remote_ops.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using zttest::Bytes;
using zttest::ClientRequest;
using zttest::Requester;

namespace {

// Retired: answered as unsupported, no firmware work.
constexpr ztcontrol_command_t kProbeCommand = ZTCONTROL_EVENT_FILTER_IN;
// ZTCONTROL_LOCATE is one firmware operation (kSystemCategory, kLocateStatusSet);
// ZTCONTROL_GET_BUSY_STATUS one answering one byte.
// One firmware time-out plus slack for a loaded machine.
constexpr auto kWorkerBound = 2500ms;

using FaultInjection = zttest::DaemonPeerTest;

// The firmware never answers a locate, and garbage arrives on the daemon's
// firmware reply queue meanwhile: the locate fails, the garbage is never
// taken for its answer, and a second requester waits one time-out at most.
TEST_F(FaultInjection, SilentFirmwareOrGarbageFailsTheRequestAndHoldsOthersUpForOneTimeout)
{
    m_peer.scriptRemoteOnce(kSystemCategory, kLocateStatusSet, PeerAnswer::Withheld());
    Requester slow, other;
    ASSERT_TRUE(slow.send({ZTCONTROL_LOCATE, zttest::u8Arg(1), std::nullopt}));
    ASSERT_TRUE(m_peer.waitForRequest(
        [](const PeerRequest &r) { return r.isRemote(kSystemCategory, kLocateStatusSet); }, 5000));
    // A result with no end element.
    EXPECT_TRUE(
        m_peer.postRaw({0x00, 0x0C, 0x00, 25, 0x00, 0x00, 0x04, 0xEC, 0, 0, 0, 0}, "/to_ztCtlD2"));
    const auto sent = Clock::now();
    auto probe = other.call(kProbeCommand, 10s);
    EXPECT_LT(Clock::now() - sent, kWorkerBound);
    ASSERT_TRUE(probe) << m_daemon.log();
    EXPECT_EQ(probe->result, ZT_ERR_NOT_SUPPORTED);
    auto answer = slow.waitReply(5s);
    ASSERT_TRUE(answer) << "the request to a silent firmware was never answered";
    EXPECT_NE(answer->result, 0) << "garbage was taken for the firmware's answer";
    EXPECT_FALSE(slow.waitReply(300ms)) << "a second answer to one request";
    EXPECT_FALSE(other.waitReply(0ms)) << "a second answer to the probe";
    EXPECT_EQ(result(ZTCONTROL_LOCATE, zttest::u8Arg(0)), 0) << "the firmware answers again";
}

TEST_F(FaultInjection, FloodOfTheCommandQueueLosesAndDuplicatesNoAnswer)
{
    // Eight requesters each keep several requests in flight, far more than
    // the command queue holds, while the firmware answers slowly; each must
    // get exactly one answer per request, in its own queue.
    constexpr int kRequesters = 8;
    constexpr int kPerRequester = 40;
    constexpr int kInFlight = 4;
    m_peer.scriptRemote(kSystemCategory, kLocateStatusSet, PeerAnswer::Status(0).after(2));
    std::atomic<int> wrong{0}, missing{0}, extra{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kRequesters; ++t) {
        threads.emplace_back([&, t] {
            Requester requester("", kInFlight + 2);
            const ClientRequest request =
                t % 2 ? ClientRequest{ZTCONTROL_LOCATE, zttest::u8Arg(1), std::nullopt}
                      : ClientRequest{kProbeCommand, std::nullopt, std::nullopt};
            const int32_t expected = t % 2 ? ZT_OK : ZT_ERR_NOT_SUPPORTED;
            int sent = 0, answered = 0;
            while (answered < kPerRequester) {
                // A send fails when the daemon's queue stayed full for 2 s.
                while (sent < kPerRequester && sent - answered < kInFlight &&
                       requester.send(request))
                    ++sent;
                if (sent == answered) {
                    missing += kPerRequester - answered;
                    return;
                }
                auto reply = requester.waitReply(20s);
                if (!reply) {
                    missing += sent - answered;
                    return;
                }
                if (!reply->hasResult || reply->result != expected)
                    ++wrong;
                ++answered;
            }
            if (requester.waitReply(300ms))
                ++extra;
        });
    }
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(missing.load(), 0) << m_daemon.log();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(extra.load(), 0);
    EXPECT_TRUE(m_daemon.isRunning());
}

}  // namespace
