// Capture and mode commands in-process on a camera without flat modes and
// with one lens (model 40). The flat-mode dual-lens camera, the zoom timer
// and the log lines are in daemon_commands_test.cc.
#include "ClientMessages.h"
#include "HandlerFixture.h"
#include "StatusBlock.h"
#include "ztcontrol_remote_ops.h"

using zttest::u16Arg;
using zttest::u32Arg;
using zttest::words;
using Trace = std::vector<std::string>;

namespace {

const std::string kSetMode = "ztc_app_set_mode", kSubMode = "ztc_app_set_mode_sub_mode",
                  kReset = "ztc_video_reset_to_valid_res_fps_fov",
                  kFlatMode = "ztc_app_get_mode_flat_mode", kZoom = "ztc_app_set_digital_zoom",
                  kDelay = "ztc_app_set_capture_delay";

class Capture : public zttest::HandlerFixture {
protected:
    Capture() { peer().setCsiItem(1, 40); }  // read once per process
    Bytes payloadOf(const std::string &key) const
    {
        for (const auto &r : requests())
            if (r.first == key)
                return r.second;
        return {};
    }
};

// The shutter value and option byte reach the library; its result comes back.
TEST_F(Capture, ShutterPassesValueAndOptionByteAndTheLibraryResult)
{
    EXPECT_EQ(run(ZTCONTROL_COMMAND_SHUTTER, Bytes{0}, 5).code, 0);
    ASSERT_EQ(trace(), Trace{"ztc_shutter"});
    EXPECT_TRUE(sent()[0].payload == Bytes{0} && sent()[0].hasOption && sent()[0].option == 5);
    peer().scriptTyped("ztc_shutter", PeerAnswer::Status(-22));
    EXPECT_EQ(run(ZTCONTROL_COMMAND_SHUTTER, Bytes{1}).code, -22);
}

// Without flat modes a mode passes unchanged; video modes (0, 12-15) reset the
// format, video sub-modes 3 and 4 become flat modes 15 and 24.
TEST_F(Capture, ModesAreSentAsGivenAndOnlyVideoModesResetTheFormat)
{
    for (const auto &[mode, reset] :
         std::vector<std::pair<uint32_t, bool>>{{0, true}, {11, false}, {15, true}, {16, false}}) {
        EXPECT_EQ(run(ZTCONTROL_MODE, u32Arg(mode)).code, 0);
        EXPECT_EQ(trace(), (reset ? Trace{kSetMode, kReset} : Trace{kSetMode})) << mode;
        EXPECT_EQ(payloadOf(kSetMode), u32Arg(mode));
    }
    const std::tuple<Bytes, Trace, Bytes> subModes[] = {
        {words({0, 4}), {kSetMode, kReset}, u32Arg(24)},
        {words({0, 1}), {kSubMode, kReset}, words({0, 1})},
        {words({1, 2}), {kSubMode}, words({1, 2})}};
    for (const auto &[arg, expected, first] : subModes) {
        EXPECT_EQ(run(ZTCONTROL_MODE_SUB_MODE, arg).code, 0);
        EXPECT_EQ(trace(), expected);
        EXPECT_EQ(payloadOf(expected[0]), first);
    }
    // A library without the format reset is no failure; other failures are.
    const struct {
        ztcontrol_command_t command;
        Bytes arg;
        std::string failing;
        int status, code;
        Trace trace;
    } failures[] = {
        {ZTCONTROL_MODE, u32Arg(12), kReset, ZT_ERR_NOT_SUPPORTED, 0, {kSetMode, kReset}},
        {ZTCONTROL_MODE_SUB_MODE, words({0, 1}), kSubMode, -9, -9, {kSubMode}}};
    for (const auto &f : failures) {
        peer().scriptTypedOnce(f.failing, PeerAnswer::Status(f.status));
        EXPECT_EQ(run(f.command, f.arg).code, f.code);
        EXPECT_EQ(trace(), f.trace);
    }
}

// A flat mode activates its predefined preset (the dual-lens one in groups
// 3-5), a group id 1000-1005 the active preset of its family; the status
// block must be readable and whole.
TEST_F(Capture, SetModeActivatesThePresetOfTheFlatModeOrGroup)
{
    const auto status = [](uint32_t group) {
        return PeerAnswer::Bytes(
            zttest::StatusBlock().group(group).videoPreset(0x30007).photoPreset(0x40009).bytes());
    };
    const std::tuple<PeerAnswer, uint16_t, int, Bytes> cases[] = {
        {status(4), 12, 0, u32Arg(0x30000)},   {status(1), 12, 0, u32Arg(0)},
        {status(4), 1001, 0, u32Arg(0x40009)}, {status(4), 13, 0, u32Arg(0x20001)},
        {status(4), 1006, ZT_ERR, {}},         {PeerAnswer::Bytes(Bytes(393, 0)), 12, ZT_ERR, {}}};
    for (const auto &[answer, mode, code, activated] : cases) {
        peer().scriptRemote(kSystemCategory, kAllStatusGet, answer);
        EXPECT_EQ(run(ZTCONTROL_MODE_SET_MODE, u16Arg(mode)).code, code) << mode;
        EXPECT_EQ(payloadOf("17,12"), activated) << mode;
    }
}

// Delay and zoom change the active preset inside an edit, stored even when
// the change fails; no edit in playback, with an unknown flat mode or, for
// zoom, in flat mode 23.
TEST_F(Capture, CaptureDelayAndZoomAreSetInsideAnEditOfTheActivePreset)
{
    peer().scriptRemote(
        8, 11, PeerAnswer::Bytes(zttest::StatusBlock().group(1).photoPreset(0x10004).bytes()));
    peer().scriptTyped(kDelay, PeerAnswer::Status(-12));
    EXPECT_EQ(run(ZTCONTROL_CAPTURE_DELAY, u32Arg(3)).code, -12);
    EXPECT_EQ(requests(), (Requests{{kFlatMode, {}},
                                    {"8,11", {}},
                                    {"17,8", u32Arg(0x10004)},
                                    {kDelay, u32Arg(3)},
                                    {"17,10", {}}}));
    peer().scriptTyped(kFlatMode, PeerAnswer::Bytes(words({0, 4})));
    EXPECT_EQ(run(ZTCONTROL_CAPTURE_DELAY, u32Arg(3)).code, ZT_ERR);
    EXPECT_EQ(trace(), Trace{kFlatMode});
    peer().scriptTyped(kFlatMode, PeerAnswer::Bytes(words({0, 23})));
    EXPECT_EQ(run(ZTCONTROL_DIGITAL_ZOOM, u32Arg(10)).code, 0);
    EXPECT_EQ(requests(), (Requests{{kFlatMode, {}}, {kZoom, u32Arg(10)}}));
}

// The selected point is turned half a turn for an inverted stream (and only
// on a one-byte answer that says so); coordinates are percentages.
TEST_F(Capture, LiveviewSelectionIsCheckedAndFollowsAnInvertedStream)
{
    const std::tuple<PeerAnswer, Bytes, Bytes> sets[] = {
        {PeerAnswer::Bytes({0}), words({1, 30, 40, 0}), {0, 70, 60, 0xFF}},
        {PeerAnswer::Bytes({1}), words({2, 30, 40, 0}), {1, 30, 40, 0xFF}},
        {PeerAnswer::Bytes({0, 0}), words({2, 5, 6, 0}), {1, 5, 6, 0xFF}}};
    for (const auto &[orientation, arg, payload] : sets) {
        peer().scriptRemote(kStreamCategory, kStreamOrientationGet, orientation);
        EXPECT_EQ(run(ZTCONTROL_LIVEVIEW_MODE_SET, arg).code, 0);
        EXPECT_EQ(payloadOf("13,0"), payload);
    }
    const std::pair<Bytes, int> refusals[] = {{words({1, 101, 40, 0}), ZT_ERR},
                                              {words({3, 5, 6, 0}), ZT_ERR_INVALID_PARAM}};
    for (const auto &[arg, code] : refusals) {
        EXPECT_EQ(run(ZTCONTROL_LIVEVIEW_MODE_SET, arg).code, code);
        EXPECT_TRUE(payloadOf("13,0").empty());
    }
    EXPECT_EQ(run(ZTCONTROL_LIVEVIEW_MODE_SET, words({0, 500, 500, 0})).code, 0);
    EXPECT_EQ(trace(), Trace{"13,2"}) << "a reset ignores the coordinates";
}

// The busy answer is exactly one byte: a success without its byte is a
// failure (the one-byte answer is in every golden session).
TEST_F(Capture, BusyStatusAnswersExactlyOneByte)
{
    peer().scriptRemote(kSystemCategory, kBusyStatusGet, PeerAnswer::Status(0));
    EXPECT_EQ(run(ZTCONTROL_GET_BUSY_STATUS), (Outcome{ZT_ERR, {}, false}));
}

}  // namespace
