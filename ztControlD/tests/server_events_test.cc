// The real daemon and events from the firmware side: suspend and resume with
// their in-place answers, the refusal of commands while suspended, preset
// events and what they publish on camera-state item 7, and camera-state
// traffic routed to the listener.
#include <gtest/gtest.h>

#include <chrono>

#include "DaemonPeerTest.h"
#include "ztTlv.h"

using namespace std::chrono_literals;
using zttest::Bytes;

namespace {

constexpr uint32_t kProbeCommand = 1;  // answered as unsupported
constexpr int32_t kNotSupported = -104;
constexpr int32_t kSuspendedRefusal = 1;
constexpr uint32_t kPresetItem = 7;

// Offset of the first element of `type` in a TLV message, -1 when absent.
long offsetOf(const Bytes &msg, int type)
{
    const uint8_t *element = tlv_find(msg.data(), type);
    return element ? element - msg.data() : -1;
}

// The value of the first element of `type` as text.
std::string textOf(const Bytes &msg, int type)
{
    const uint8_t *element = tlv_find(msg.data(), type);
    return element ? std::string(element + 4, element + 4 + ((element[1] << 8) | element[2])) : "";
}

class ServerEvents : public zttest::DaemonPeerTest {
protected:
    void SetUp() override
    {
        m_peer.setCsiItem(123, 0x200);  // debug log level, for the event lines
        DaemonPeerTest::SetUp();
    }

    int32_t probe()
    {
        auto reply = m_daemon.requester().call(kProbeCommand);
        EXPECT_TRUE(reply) << m_daemon.log();
        return reply ? reply->result : 0;
    }

    // Sends "JS" or "JR" and returns the daemon's answer.
    std::optional<Bytes> suspendResume(bool suspend)
    {
        const std::string queue = m_sysQueue;
        if (!m_peer.postSuspend(suspend, queue))
            return std::nullopt;
        return m_peer.waitForSysAnswer(queue, 5000);
    }

    bool waitForPresetPublication(uint32_t word, size_t from)
    {
        const Bytes expected = {7,
                                0,
                                0,
                                0,
                                static_cast<uint8_t>(word),
                                static_cast<uint8_t>(word >> 8),
                                static_cast<uint8_t>(word >> 16),
                                static_cast<uint8_t>(word >> 24)};
        return m_peer
            .waitForRequest(
                [&](const PeerRequest &r) { return r.kind == "CW" && r.payload == expected; }, 3000,
                from)
            .has_value();
    }

    size_t countPublications(size_t from)
    {
        size_t count = 0;
        auto all = m_peer.requests();
        for (size_t i = from; i < all.size(); ++i)
            if (all[i].kind == "CW" && all[i].payload.size() >= 4 &&
                all[i].payload[0] == kPresetItem)
                ++count;
        return count;
    }

    std::string m_sysQueue = zttest::uniqueQueueName("sys");
};

TEST_F(ServerEvents, SuspendRefusesCommandsWithOneAndResumeRestoresThem)
{
    // A suspend request without a source cannot be answered in place: it
    // changes nothing.
    Bytes sourceless = {0,   0,   0,   16,  0,   0,   2,   'A', 'J', 'S', 0, 0, 10, 'C',
                        '/', 't', 'o', '_', 'z', 't', 'C', 't', 'l', 'D', 0, 0, 0,  0xEE};
    sourceless[1] = static_cast<uint8_t>(sourceless.size());
    ASSERT_TRUE(m_peer.postRaw(sourceless));
    EXPECT_EQ(probe(), kNotSupported) << "the server was suspended";
    EXPECT_TRUE(m_daemon.waitForLog("Dropping JS request that cannot be answered in place", 2s));

    auto answer = suspendResume(true);
    ASSERT_TRUE(answer) << "no in-place answer to JS\n" << m_daemon.log();
    auto reply = m_daemon.requester().call(kProbeCommand);
    ASSERT_TRUE(reply);
    ASSERT_TRUE(reply->hasResult);
    EXPECT_EQ(reply->result, kSuspendedRefusal);
    EXPECT_FALSE(reply->hasPayload);
    EXPECT_TRUE(m_daemon.waitForLog("MSG nak-ed because of suspend! (cmd 1)", 2s));

    ASSERT_TRUE(suspendResume(false)) << "no in-place answer to JR";
    EXPECT_EQ(probe(), kNotSupported);
}

TEST_F(ServerEvents, SuspendAnswerIsTheRequestTurnedRoundInPlace)
{
    // Build the request here so its exact size is known.
    Bytes request = {0, 0, 0, 16};
    auto add = [&request](uint8_t type, const std::string &v) {
        request.push_back(0);
        request.push_back(static_cast<uint8_t>(v.size() >> 8));
        request.push_back(static_cast<uint8_t>(v.size()));
        request.push_back(type);
        request.insert(request.end(), v.begin(), v.end());
    };
    add('A', "JR");
    add('B', std::string(1, '\0'));
    add('C', "/to_ztCtlD");
    add('D', m_sysQueue);
    add(static_cast<char>(0xEE), "");
    request[0] = static_cast<uint8_t>(request.size() >> 8);
    request[1] = static_cast<uint8_t>(request.size());
    ASSERT_TRUE(suspendResume(false));  // creates the reply queue
    ASSERT_TRUE(m_peer.postRaw(request));

    auto answer = m_peer.waitForSysAnswer(m_sysQueue, 5000);
    ASSERT_TRUE(answer) << m_daemon.log();
    ASSERT_EQ(answer->size(), request.size() + 5);
    EXPECT_EQ((*answer)[3], 17);
    // Source and destination swap types where they stand, a one-byte 'E'
    // takes the end element's place and the end element follows it.
    EXPECT_EQ(offsetOf(*answer, 'A'), offsetOf(request, 'A'));
    EXPECT_EQ(offsetOf(*answer, 'D'), offsetOf(request, 'C'));
    EXPECT_EQ(textOf(*answer, 'D'), "/to_ztCtlD");
    EXPECT_EQ(offsetOf(*answer, 'C'), offsetOf(request, 'D'));
    EXPECT_EQ(textOf(*answer, 'C'), m_sysQueue);
    EXPECT_EQ(offsetOf(*answer, 'E'), offsetOf(request, 0xEE));
    EXPECT_EQ(textOf(*answer, 'E'), std::string(1, '\0'));
    EXPECT_EQ(offsetOf(*answer, 0xEE), static_cast<long>(answer->size()) - 4);
}

TEST_F(ServerEvents, PresetResetSuspendsWithoutAnswer)
{
    ASSERT_TRUE(m_peer.postPresetEvent(7, 0xFFFFFFFFu));
    ASSERT_TRUE(m_daemon.waitForLog("Received message APPC_SYSTEM_PRESET_RESET", 3s));
    EXPECT_EQ(probe(), kSuspendedRefusal);

    // Preset events are dropped while suspended.
    const size_t mark = m_daemon.logMark();
    ASSERT_TRUE(m_peer.postPresetEvent(8, 5));
    EXPECT_TRUE(m_daemon.waitForLog(
        "ztcontrol dropped CAT_RTOS_CMD for preset update while suspended", 3s, mark));
    ASSERT_TRUE(suspendResume(false));
    EXPECT_EQ(probe(), kNotSupported);
}

TEST_F(ServerEvents, ModifiedPresetEventsPublishTheChangeWord)
{
    size_t from = m_peer.requestCount();
    ASSERT_TRUE(m_peer.postPresetEvent(4, 9));  // group 9 folds into video (0)
    EXPECT_TRUE(waitForPresetPublication((1000u & 0xFFFFFFu) | (4u << 24), from)) << m_daemon.log();

    from = m_peer.requestCount();
    ASSERT_TRUE(m_peer.postPresetEvent(8, 0x10002));
    EXPECT_TRUE(waitForPresetPublication(0x10002u | (8u << 24), from));
    EXPECT_TRUE(m_peer.waitForRequest(
        [](const PeerRequest &r) { return r.isTyped("ztc_system_get_lenses"); }, 3000, from));

    // A created preset publishes nothing but still refreshes the lenses.
    from = m_peer.requestCount();
    ASSERT_TRUE(m_peer.postPresetEvent(3, 12));
    EXPECT_TRUE(m_peer.waitForRequest(
        [](const PeerRequest &r) { return r.isTyped("ztc_system_get_lenses"); }, 3000, from));
    EXPECT_EQ(probe(), kNotSupported);  // the event has been handled by now
    EXPECT_EQ(countPublications(from), 0u);
}

TEST_F(ServerEvents, ActivePresetSwitchPublishesOnlyAcrossGroupKinds)
{
    // First switch: the current preset is not known yet, so it publishes.
    size_t from = m_peer.requestCount();
    ASSERT_TRUE(m_peer.postPresetEvent(6, 0x10001));
    EXPECT_TRUE(waitForPresetPublication(0x10001u | 0x06000000u, from)) << m_daemon.log();

    // A special group (6) publishes but does not become the current preset.
    from = m_peer.requestCount();
    ASSERT_TRUE(m_peer.postPresetEvent(6, 0x60000));
    EXPECT_TRUE(waitForPresetPublication(0x60000u | 0x06000000u, from));

    // Photo (still current) to time lapse: both basic groups, nothing to refresh.
    from = m_peer.requestCount();
    ASSERT_TRUE(m_peer.postPresetEvent(6, 0x20001));
    EXPECT_TRUE(m_peer.waitForRequest(
        [](const PeerRequest &r) { return r.isTyped("ztc_system_get_lenses"); }, 3000, from));
    EXPECT_EQ(probe(), kNotSupported);
    EXPECT_EQ(countPublications(from), 0u);

    // Time lapse to an Orbi-lens group: publishes.
    from = m_peer.requestCount();
    ASSERT_TRUE(m_peer.postPresetEvent(6, 0x40002));
    EXPECT_TRUE(waitForPresetPublication(0x40002u | 0x06000000u, from));
}

TEST_F(ServerEvents, EditEventsAndUnknownEventsChangeNothing)
{
    const size_t from = m_peer.requestCount();
    ASSERT_TRUE(m_peer.postPresetEvent(0, 1));
    ASSERT_TRUE(m_peer.postPresetEvent(2, 1));
    ASSERT_TRUE(m_peer.postPresetEvent(9, 1));
    EXPECT_TRUE(m_daemon.waitForLog("TLV CAT_RTOS_CMD: event: unknown, id: 1", 3s));
    EXPECT_EQ(probe(), kNotSupported);  // all three have been handled by now
    EXPECT_EQ(countPublications(from), 0u);
    EXPECT_EQ(m_daemon.countInLog("presets are now in modified state"), 0u);
    EXPECT_EQ(m_daemon.countInLog("Preset switched"), 0u);
}

TEST_F(ServerEvents, CameraStateTrafficGoesToTheListener)
{
    ASSERT_TRUE(m_peer.postCsiNotify(151, 3));
    EXPECT_TRUE(m_daemon.waitForLog("Processing CSI event CN csi set", 3s));
    ASSERT_TRUE(m_peer.postCsiNotifyMany({{151, 4}, {152, 5}}));
    EXPECT_TRUE(m_daemon.waitForLog("Processing CSI event CU csi multiple set", 3s));
    // The subscribe answer of start-up arrives as category 17 "CR".
    EXPECT_TRUE(m_daemon.waitForLog("Processing CSI event CR csi sub response", 3s));
    EXPECT_EQ(probe(), kNotSupported);
}

}  // namespace
