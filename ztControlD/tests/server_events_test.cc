// The real daemon: every command value answered once, and events from the
// firmware side: suspend and resume with their in-place answers, the refusal
// of commands and the dropped socket clients while suspended, and preset
// events and what they publish on camera-state item 7.
#include <gtest/gtest.h>

#include <set>

#include "CommandFixture.h"
#include "ztErrno.h"
#include "ztcontrol_commands.h"

using namespace std::chrono_literals;
using zttest::Bytes;
using zttest::textArg;
using zttest::tlvMessage;

namespace {

constexpr ztcontrol_command_t kProbe =
    ZTCONTROL_EVENT_FILTER_IN;  // retired: answered as unsupported
constexpr int32_t kSuspendedRefusal = 1;
constexpr const char *kOneClient = "Total PUSH_NOTIFICATION clients connected:1";

class ServerEvents : public zttest::DaemonPeerTest {
protected:
    void SetUp() override
    {
        m_peer.setCsiItem(123, 0x200);  // debug log level: each added client is logged
        DaemonPeerTest::SetUp();
    }

    std::string m_sys = zttest::uniqueQueueName("sys");
};

bool isPublication(const PeerRequest &r)
{
    return r.kind == "CW" && r.payload.size() >= 4 && r.payload[0] == 7;
}
bool isLensRead(const PeerRequest &r)
{
    return r.isTyped("ztc_system_get_lenses");
}

TEST_F(ServerEvents, PresetEventsPublishTheirChangeWordAndRefreshTheLenses)
{
    const struct {
        uint8_t event;
        uint32_t id;
        uint32_t word;  // published on item 7, 0 for nothing
        bool lenses;
    } cases[] = {
        // Switches publish across group kinds only; the first, with the
        // current preset not known yet, always. Special groups (6) publish
        // but do not become the current preset.
        {6, 0x10001, 0x06010001, true},
        {6, 0x60000, 0x06060000, true},
        {6, 0x20001, 0, true},  // photo to time lapse: both basic groups
        // Removals fold the group (9 into video).
        {4, 9, 1000u | (4u << 24), true},
        {3, 12, 0, true},  // a created preset publishes nothing
        {0, 1, 0, false},  // an edit start changes nothing
    };
    for (const auto &c : cases) {
        const size_t from = m_peer.requestCount();
        ASSERT_TRUE(m_peer.postPresetEvent(c.event, c.id));
        EXPECT_EQ(result(kProbe), ZT_ERR_NOT_SUPPORTED);  // the event has been handled by now
        const Bytes word = zttest::words({7, c.word});
        const bool published =
            m_peer
                .waitForRequest(
                    [&](const PeerRequest &r) { return r.kind == "CW" && r.payload == word; },
                    c.word ? 3000 : 0, from)
                .has_value();
        EXPECT_EQ(published, c.word != 0) << "event " << int(c.event) << " id " << c.id;
        EXPECT_EQ(countRequests(from, isPublication), c.word ? 1u : 0u) << "event " << int(c.event);
        EXPECT_EQ(countRequests(from, isLensRead), c.lenses ? 1u : 0u) << "event " << int(c.event);
    }
}

// Suspending also drops every socket client; after the resume the registry
// starts again from empty.
TEST_F(ServerEvents, SuspendRefusesCommandsWithOneUntilResumeWhichIsAnsweredInPlace)
{
    zttest::TcpNotifyClient first;
    ASSERT_TRUE(first.connect(5s));
    ASSERT_TRUE(m_daemon.waitForLog(kOneClient, 5s));
    ASSERT_TRUE(m_peer.postSuspend(true, m_sys));
    ASSERT_TRUE(m_peer.waitForSysAnswer(m_sys, 5000)) << "no in-place answer to JS";
    EXPECT_TRUE(first.waitClosedByPeer(3s)) << "suspend kept the client";
    EXPECT_EQ(result(kProbe), kSuspendedRefusal);
    EXPECT_FALSE(m_reply->hasPayload);

    // The answer is the request turned round: source and destination swap
    // types where they stand, a one-byte 'E' takes the end element's place.
    const Bytes request = tlvMessage(CAT_SYS_CMD, {{TLV_CMD, textArg("JR")},
                                                   {TLV_CMDARG, {0}},
                                                   {TLV_DST, textArg("/to_ztCtlD")},
                                                   {TLV_SRC, textArg(m_sys)},
                                                   {TLV_END, {}}});
    ASSERT_TRUE(m_peer.postRaw(request));
    auto answer = m_peer.waitForSysAnswer(m_sys, 5000);
    ASSERT_TRUE(answer) << m_daemon.log();
    EXPECT_EQ(*answer, tlvMessage(CAT_SYS_RSP, {{TLV_CMD, textArg("JR")},
                                                {TLV_CMDARG, {0}},
                                                {TLV_SRC, textArg("/to_ztCtlD")},
                                                {TLV_DST, textArg(m_sys)},
                                                {TLV_RSPARG, {0}},
                                                {TLV_END, {}}}));
    EXPECT_EQ(result(kProbe), ZT_ERR_NOT_SUPPORTED);
    const size_t mark = m_daemon.logMark();
    zttest::TcpNotifyClient second;
    ASSERT_TRUE(second.connect(5s));
    EXPECT_TRUE(m_daemon.waitForLog(kOneClient, 5s, mark));
    second.close();

    // A preset reset suspends without an answer; preset events are dropped
    // while suspended (no lens read, no publication).
    ASSERT_TRUE(m_peer.postPresetEvent(7, 0xFFFFFFFFu));
    EXPECT_EQ(result(kProbe), kSuspendedRefusal);
    const size_t from = m_peer.requestCount();
    ASSERT_TRUE(m_peer.postPresetEvent(8, 5));
    EXPECT_EQ(result(kProbe), kSuspendedRefusal);
    EXPECT_EQ(m_peer.requestCount(), from) << "a preset event was handled while suspended";
    ASSERT_TRUE(m_peer.postSuspend(false, m_sys));
    ASSERT_TRUE(m_peer.waitForSysAnswer(m_sys, 5000));
    EXPECT_EQ(result(kProbe), ZT_ERR_NOT_SUPPORTED);
}

// Every command value gets exactly one answer. (The stop command and a
// start-up failure, a port already taken: field_restart_test.cc.)
using ServerLifecycle = zttest::DaemonPeerTest;

TEST_F(ServerLifecycle, EveryCommandValueGetsExactlyOneAnswer)
{
    // Whatever a branch does with a request that carries no argument, it
    // answers exactly once; values without a branch answer as unsupported.
    const std::set<uint32_t> withoutBranch = {ZTCONTROL_EVENT_FILTER_IN, ZTCONTROL_FILTER_OUT,
                                              ZTCONTROL_TRANSCODE_PHOTO_TO_VIDEO,
                                              ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_1X_SET};
    for (uint32_t command = 0; command < ZTCONTROL_CMD_LAST; ++command) {
        const int32_t got = result(command);
        EXPECT_EQ(m_reply->category, CAT_CLIENT_RSP);
        if (command == ZTCONTROL_EVENT_REGISTER_MQUEUE || command == ZTCONTROL_PUSH_NOTIFICATIONS ||
            withoutBranch.count(command)) {
            EXPECT_EQ(got,
                      withoutBranch.count(command) ? ZT_ERR_NOT_SUPPORTED : ZT_ERR_INVALID_PARAM)
                << command;
        }
    }
    for (uint32_t command = ZTCONTROL_CMD_LAST + 1; command <= 110; ++command)
        EXPECT_EQ(result(command), ZT_ERR_NOT_SUPPORTED) << "command " << command;
    EXPECT_FALSE(m_daemon.requester().waitReply(300ms)) << "a command was answered twice";
}

}  // namespace
