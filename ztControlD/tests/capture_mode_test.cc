// The capture and mode commands through the real daemon against the scripted
// firmware peer: what reaches the firmware for each command (exact typed-call
// inputs and operation payloads) and what the client is answered.
#include <gtest/gtest.h>

#include <chrono>

#include "DaemonPeerTest.h"
#include "StatusBlock.h"

using namespace std::chrono_literals;
using zttest::Bytes;
using zttest::StatusBlock;
using zttest::u32Arg;
using zttest::words;

namespace {

enum : uint32_t {
    kShutter = 3,
    kMode = 4,
    kModeSubMode = 5,
    kLiveviewModeSet = 51,
    kCaptureDelay = 66,
    kModeSetMode = 67,
    kQuickCaptureStart = 99,
    kGetBusyStatus = 100,
};
constexpr int32_t kErr = -1;
constexpr int32_t kInvalidParam = -3;
constexpr int32_t kNotSupported = -104;
constexpr uint32_t kModelItem = 1;
constexpr const char *kSetMode = "ztc_app_set_mode";
constexpr const char *kSetModeSubMode = "ztc_app_set_mode_sub_mode";
constexpr const char *kVideoReset = "ztc_video_reset_to_valid_res_fps_fov";

class CaptureMode : public zttest::DaemonPeerTest {
protected:
    CaptureMode() : DaemonPeerTest(kStartInBody) {}

    // The model is read once by the daemon, so it is fixed per test. The
    // firmware traffic of each command is complete in m_peer's records once
    // result() returns.
    void start(uint32_t model)
    {
        m_peer.setCsiItem(kModelItem, model);
        startDaemon();
        m_peer.clearRequests();
    }

    // The recorded typed calls of `function`, or operations (category, id).
    std::vector<PeerRequest> typed(const std::string &function) const
    {
        std::vector<PeerRequest> out;
        for (const auto &r : m_peer.requests())
            if (r.isTyped(function))
                out.push_back(r);
        return out;
    }
    std::vector<PeerRequest> remote(uint8_t category, uint8_t id) const
    {
        std::vector<PeerRequest> out;
        for (const auto &r : m_peer.requests())
            if (r.isRemote(category, id))
                out.push_back(r);
        return out;
    }
    // The inputs of every call of a typed function, in order.
    std::vector<Bytes> inputsOf(const std::string &function) const
    {
        std::vector<Bytes> out;
        for (const auto &r : typed(function))
            out.push_back(r.payload);
        return out;
    }

    // Makes the daemon read the lens bytes now (it caches them), through the
    // firmware's preset-switch event, and waits until it has.
    void loadLenses(const Bytes &lenses)
    {
        m_peer.scriptTyped("ztc_system_get_lenses", PeerAnswer::Bytes(lenses));
        const size_t mark = m_peer.requestCount();
        ASSERT_TRUE(m_peer.postPresetEvent(6, 0x10000));
        ASSERT_TRUE(m_peer.waitForRequest(
            [](const PeerRequest &r) { return r.isTyped("ztc_system_get_lenses"); }, 3000, mark))
            << m_daemon.log();
        m_peer.clearRequests();
    }

    void scriptStatus(const StatusBlock &block)
    {
        m_peer.scriptRemote(8, 11, PeerAnswer::Bytes(block.bytes()));
    }
};

TEST_F(CaptureMode, ShutterCarriesValueAndOptionByteDefaultsToOne)
{
    start(57);
    EXPECT_EQ(result(kShutter, Bytes{1}), 0);
    EXPECT_EQ(result(kShutter, Bytes{0}, uint8_t{5}), 0);
    auto calls = typed("ztc_shutter");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].payload, Bytes{1});
    EXPECT_TRUE(calls[0].hasOption);
    EXPECT_EQ(calls[0].option, 1);
    EXPECT_EQ(calls[1].payload, Bytes{0});
    EXPECT_EQ(calls[1].option, 5);

    m_peer.scriptTyped("ztc_shutter", PeerAnswer::Status(-22));
    EXPECT_EQ(result(kShutter, Bytes{1}), -22);
    EXPECT_EQ(result(kShutter), kInvalidParam);
    EXPECT_EQ(typed("ztc_shutter").size(), 3u);
}

// Base modes become the flat mode last selected in their family; other modes
// pass unchanged. Only video flat modes reset the video format.
TEST_F(CaptureMode, BaseModesBecomeTheSelectedFlatModeAndOnlyVideoModesResetFormat)
{
    start(51);
    scriptStatus(StatusBlock().selectedFlatModes(13, 18, 21));
    const struct {
        uint32_t mode, sent;
        size_t resets;
    } cases[] = {{0, 13, 1}, {1, 18, 0}, {2, 21, 0}, {5, 5, 0}, {15, 15, 1}};
    for (const auto &c : cases) {
        m_peer.clearRequests();
        EXPECT_EQ(result(kMode, u32Arg(c.mode)), 0);
        EXPECT_EQ(inputsOf(kSetMode), (std::vector<Bytes>{u32Arg(c.sent)})) << "mode " << c.mode;
        EXPECT_EQ(typed(kVideoReset).size(), c.resets) << "mode " << c.mode;
    }
}

TEST_F(CaptureMode, BaseModesDefaultWhenStatusIsUnknownRefusedOrFails)
{
    start(51);
    scriptStatus(StatusBlock().selectedFlatModes(0, 1, 2));  // nothing selected yet
    EXPECT_EQ(result(kMode, u32Arg(0)), 0);
    m_peer.scriptRemote(8, 11, PeerAnswer::Bytes({2}));  // camera refuses status
    EXPECT_EQ(result(kMode, u32Arg(1)), 0);
    m_peer.scriptRemote(8, 11, PeerAnswer::Bytes({0, 0, 0}));  // too short to read
    EXPECT_EQ(result(kMode, u32Arg(2)), 0);
    m_peer.scriptRemote(8, 11, PeerAnswer::Status(-5));
    EXPECT_EQ(result(kMode, u32Arg(0)), 0);
    EXPECT_EQ(inputsOf(kSetMode),
              (std::vector<Bytes>{u32Arg(12), u32Arg(16), u32Arg(20), u32Arg(12)}));
    EXPECT_TRUE(m_daemon.waitForLog("defaulting mode to video video", 2s));
}

TEST_F(CaptureMode, ModelsWithoutFlatModesSendBaseModeAndOnlyFailedResetsFailTheChange)
{
    start(40);
    EXPECT_EQ(result(kMode, u32Arg(0)), 0);
    EXPECT_EQ(inputsOf(kSetMode), (std::vector<Bytes>{u32Arg(0)}));
    EXPECT_TRUE(remote(8, 11).empty());
    EXPECT_EQ(typed(kVideoReset).size(), 1u);

    m_peer.clearRequests();
    m_peer.scriptTypedOnce(kVideoReset, PeerAnswer::Status(kNotSupported));
    EXPECT_EQ(result(kMode, u32Arg(12)), 0) << "a camera without the reset still changes mode";
    m_peer.scriptTypedOnce(kVideoReset, PeerAnswer::Status(-17));
    EXPECT_EQ(result(kMode, u32Arg(12)), -17);
    m_peer.scriptTypedOnce(kSetMode, PeerAnswer::Status(-9));
    EXPECT_EQ(result(kMode, u32Arg(12)), -9);
    EXPECT_EQ(typed(kVideoReset).size(), 2u) << "no reset after a failed mode change";
}

TEST_F(CaptureMode, SubModeFourAndThreeOfVideoGoThroughSetMode)
{
    start(57);
    EXPECT_EQ(result(kModeSubMode, words({0, 4})), 0);
    EXPECT_EQ(result(kModeSubMode, words({0, 3})), 0);
    EXPECT_EQ(result(kModeSubMode, words({0, 1})), 0);
    EXPECT_EQ(result(kModeSubMode, words({1, 2})), 0);
    EXPECT_EQ(inputsOf(kSetMode), (std::vector<Bytes>{u32Arg(24), u32Arg(15)}));
    EXPECT_EQ(inputsOf(kSetModeSubMode), (std::vector<Bytes>{words({0, 1}), words({1, 2})}));
    EXPECT_EQ(typed(kVideoReset).size(), 3u) << "every video pair resets the format";

    EXPECT_EQ(result(kModeSubMode, u32Arg(0)), kInvalidParam) << "sub-mode word missing";
    m_peer.scriptTypedOnce(kSetModeSubMode, PeerAnswer::Status(-9));
    EXPECT_EQ(result(kModeSubMode, words({0, 1})), -9);
    EXPECT_EQ(typed(kVideoReset).size(), 3u);
}

TEST_F(CaptureMode, SetModeActivatesThePresetOfTheModeOrGroup)
{
    start(57);
    scriptStatus(StatusBlock().group(4).videoPreset(0x30007).photoPreset(0x40009));
    EXPECT_EQ(result(kModeSetMode, zttest::u16Arg(12)), 0);    // dual-lens video
    EXPECT_EQ(result(kModeSetMode, zttest::u16Arg(1001)), 0);  // photo group
    EXPECT_EQ(result(kModeSetMode, zttest::u16Arg(1006)), kErr);
    EXPECT_EQ(result(kModeSetMode, zttest::u16Arg(99)), kErr);
    auto sets = remote(17, 12);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0].payload, u32Arg(0x30000));
    EXPECT_EQ(sets[1].payload, u32Arg(0x40009));
    EXPECT_EQ(remote(8, 11).size(), 4u) << "every mode reads the status block";
}

TEST_F(CaptureMode, CaptureDelayIsSetInsideOneStoredEdit)
{
    start(57);
    scriptStatus(StatusBlock().group(1).photoPreset(0x10004));
    m_peer.scriptTypedOnce("ztc_app_set_capture_delay", PeerAnswer::Status(-12));
    EXPECT_EQ(result(kCaptureDelay, u32Arg(3)), -12);
    std::vector<std::string> order;
    for (const auto &r : m_peer.requests()) {
        if (r.isRemote(17, 8))
            order.push_back("start " + std::to_string(r.payload == u32Arg(0x10004)));
        else if (r.isTyped("ztc_app_set_capture_delay"))
            order.push_back("delay " + std::to_string(r.payload == u32Arg(3)));
        else if (r.isRemote(17, 10))
            order.push_back("store");
    }
    EXPECT_EQ(order, (std::vector<std::string>{"start 1", "delay 1", "store"}))
        << "a failed change still stores the edit";

    // In playback no edit can start: nothing is changed.
    m_peer.clearRequests();
    m_peer.scriptTyped("ztc_app_get_mode_flat_mode", PeerAnswer::Bytes(words({0, 4})));
    EXPECT_EQ(result(kCaptureDelay, u32Arg(3)), kErr);
    EXPECT_TRUE(typed("ztc_app_set_capture_delay").empty());
    EXPECT_TRUE(remote(17, 8).empty());
}

TEST_F(CaptureMode, LiveviewCoordinatesAreCheckedAndFollowAnInvertedStream)
{
    start(57);
    EXPECT_EQ(result(kLiveviewModeSet, words({1, 101, 40, 0})), kErr);
    EXPECT_EQ(result(kLiveviewModeSet, words({1, 30})), kInvalidParam) << "short layout";
    EXPECT_TRUE(remote(13, 0).empty());

    m_peer.scriptRemote(10, 14, PeerAnswer::Bytes({0}));  // inverted
    EXPECT_EQ(result(kLiveviewModeSet, words({1, 30, 40, 0})), 0);
    m_peer.scriptRemote(10, 14, PeerAnswer::Bytes({1}));  // upright
    EXPECT_EQ(result(kLiveviewModeSet, words({2, 30, 40, 0})), 0);
    m_peer.scriptRemote(10, 14, PeerAnswer::Status(-5));
    EXPECT_EQ(result(kLiveviewModeSet, words({1, 100, 0, 0})), 0);
    m_peer.scriptRemote(10, 14, PeerAnswer::Bytes({0, 0}));  // not one byte
    EXPECT_EQ(result(kLiveviewModeSet, words({2, 5, 6, 0})), 0);
    auto sets = remote(13, 0);
    ASSERT_EQ(sets.size(), 4u);
    EXPECT_EQ(sets[0].payload, (Bytes{0, 70, 60, 0xFF}));
    EXPECT_EQ(sets[1].payload, (Bytes{1, 30, 40, 0xFF}));
    EXPECT_EQ(sets[2].payload, (Bytes{0, 100, 0, 0xFF}));
    EXPECT_EQ(sets[3].payload, (Bytes{1, 5, 6, 0xFF}));

    EXPECT_EQ(result(kLiveviewModeSet, words({3, 5, 6, 0})), kInvalidParam);
    EXPECT_EQ(result(kLiveviewModeSet, words({0, 500, 500, 0})), 0) << "reset ignores coordinates";
    EXPECT_EQ(remote(13, 2).size(), 1u);
    EXPECT_EQ(remote(13, 0).size(), 4u);
}

// Lens mode 1 (both lenses) takes the type and lens from the argument and
// refuses spot selection; lens mode 0 names the one lens in use.
TEST_F(CaptureMode, LiveviewOnDualLensCameraChoosesTypeAndLensByLensMode)
{
    start(51);
    loadLenses({1, 2});
    m_peer.scriptRemote(10, 14, PeerAnswer::Bytes({1}));
    EXPECT_EQ(result(kLiveviewModeSet, words({3, 10, 20, 0x107})), 0);
    EXPECT_EQ(result(kLiveviewModeSet, words({1, 10, 20, 0})), kInvalidParam)
        << "spot selection needs lens mode 0";
    auto sets = remote(13, 0);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].payload, (Bytes{3, 10, 20, 7}));
    EXPECT_TRUE(m_daemon.waitForLog("Invalid exposure mode 1 in lens_mode[1]", 2s));

    loadLenses({0, 1});
    EXPECT_EQ(result(kLiveviewModeSet, words({2, 10, 20, 9})), 0);
    EXPECT_EQ(result(kLiveviewModeSet, words({3, 10, 20, 9})), kInvalidParam);
    sets = remote(13, 0);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].payload, (Bytes{1, 10, 20, 1}));
}

TEST_F(CaptureMode, BusyStatusAnswersExactlyOneByte)
{
    start(57);
    m_peer.scriptRemote(8, 6, PeerAnswer::Bytes({1}));
    EXPECT_EQ(result(kGetBusyStatus), 0);
    EXPECT_TRUE(m_reply->hasPayload && m_reply->payload == Bytes{1});

    m_peer.scriptRemote(8, 6, PeerAnswer::Bytes({1, 0}));
    EXPECT_EQ(result(kGetBusyStatus), kErr);
    EXPECT_FALSE(m_reply->hasPayload);
    m_peer.scriptRemote(8, 6, PeerAnswer::Status(-5));
    EXPECT_EQ(result(kGetBusyStatus), -5);
    EXPECT_EQ(result(kGetBusyStatus, Bytes{0}), kInvalidParam);
    EXPECT_EQ(remote(8, 6).size(), 3u);
}

TEST_F(CaptureMode, QuickCaptureSendsItsByteAsPayload)
{
    start(57);
    EXPECT_EQ(result(kQuickCaptureStart, Bytes{2}), 0);
    EXPECT_EQ(result(kQuickCaptureStart), kInvalidParam);
    auto starts = remote(8, 45);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].payload, Bytes{2});
}

}  // namespace
