// The settings and status commands in-process: a setting change's order of
// edit, set and zoom calls on every path, the corrected values, the block
// answers, the calibration file name and the advanced-settings resets.
#include <fcntl.h>
#include <mqueue.h>
#include <string.h>

#include <set>

#include "ClientMessages.h"
#include "HandlerFixture.h"
#include "StatusBlock.h"
#include "ZTCSIListener.h"
#include "camera_settings.h"
#include "ztcWire.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_if_server.h"
#include "ztcontrol_remote_ops.h"

namespace {

using Trace = std::vector<std::string>;
using zttest::words;
constexpr uint8_t kModel = 57;

class Settings : public zttest::HandlerFixture {
protected:
    // A camera of model 57 that answers both blocks in full.
    void SetUp() override
    {
        peer().setCsiItem(1, kModel);
        HandlerFixture::SetUp();
        peer().scriptRemote(kSystemCategory, kAllStatusGet,
                            PeerAnswer::Bytes(zttest::StatusBlock().bytes()));
        peer().scriptRemote(kSetupCategory, kAllSettingsGet, PeerAnswer::Bytes(Bytes(238, 0)));
        // The block reads go through the server's own context: it shares the
        // fixture's queues (both read the one reply queue, in turn).
        server.reply_queue_name = ZTC_QUEUE_REPLY;
        server.request_queue = mq_open(ZTC_QUEUE_FIRMWARE, O_WRONLY);
        server.reply_queue = mq_open(ZTC_QUEUE_REPLY, O_RDONLY);
        ASSERT_NE(server.reply_queue, static_cast<mqd_t>(-1));
    }
    void TearDown() override
    {
        mq_close(server.request_queue);
        mq_close(server.reply_queue);
        server.request_queue = server.reply_queue = static_cast<mqd_t>(-1);
        HandlerFixture::TearDown();
    }
    ztc_msg_q_context_t &server = ZtcontrolCommandServer::m_cameraContext;

    // The requests that matter, in order: "start", "store", "set S=V",
    // "zoom Z", the keys of the others; block reads and state queries left out.
    // (The set call's table words are in every model's golden session.)
    Trace trace() const
    {
        static const std::set<std::string> unlisted = {
            "8,11", "7,30", "2,91", "ztc_app_get_mode_flat_mode", "ztc_setup_get_camera_ux_mode"};
        Trace out;
        for (const auto &[key, p] : requests()) {
            if (key == "camera_if_settings_set_value_int") {
                out.push_back("set " + std::to_string(readU32(p.data())) + "=" +
                              std::to_string(static_cast<int32_t>(readU32(p.data(), 12))));
            } else if (key == "ztc_app_set_digital_zoom") {
                out.push_back("zoom " + std::to_string(readU32(p.data())));
            } else if (!unlisted.count(key)) {
                out.push_back(key == "17,8" ? "start" : key == "17,10" ? "store" : key);
            }
        }
        return out;
    }

    Trace set(uint32_t setting, uint32_t option, int expected = 0)
    {
        EXPECT_EQ(run(ZTCONTROL_SET_SETTING_ID, words({setting, option})).code, expected)
            << "setting " << setting << " option " << option;
        return trace();
    }
};

TEST_F(Settings, ChangeIsSetInsideOnePresetEditWithTheCorrectedOptionValue)
{
    const std::tuple<uint32_t, uint32_t, Trace> cases[] = {
        {2, 4, {"start", "set 2=4", "store"}},
        {118, 1, {"start", "set 118=15", "store"}},  // option 1 is +1.5 EV
        {2, 100, {"start", "set 2=13", "store"}},    // mapped 17
        {32, 0, {"start", "set 32=0", "store"}},     // mapped 3601
        {59, 6, {"set 59=5"}},                       // camera-wide: no edit
        {55, 1, {"set 91=1"}},
    };
    for (const auto &[setting, option, expected] : cases)
        EXPECT_EQ(set(setting, option), expected);
    peer().scriptTyped("camera_if_settings_set_value_int", PeerAnswer::Status(ZT_ERR));
    EXPECT_EQ(set(2, 4, ZT_ERR), (Trace{"start", "set 2=4", "store"}));
    EXPECT_FALSE(run(ZTCONTROL_SET_SETTING_ID, words({55, 1})).quiet);
    EXPECT_TRUE(run(ZTCONTROL_SET_SETTING_ID, words({91, 1})).quiet);
}

TEST_F(Settings, NarrowIsSentAsLinearWithAZoomThatTheNextChangeRemoves)
{
    EXPECT_EQ(set(43, 2), (Trace{"set 43=4", "zoom 30"}));
    EXPECT_EQ(set(43, 3), (Trace{"set 43=3", "zoom 0"}));
    EXPECT_EQ(set(43, 3), (Trace{"set 43=3"}));
    // A failed narrow set leaves the translation pending without a zoom.
    peer().scriptTypedOnce("camera_if_settings_set_value_int", PeerAnswer::Status(ZT_ERR));
    EXPECT_EQ(set(43, 2, ZT_ERR), (Trace{"set 43=4"}));
    EXPECT_EQ(set(43, 4), (Trace{"set 43=4", "zoom 0"}));
}

TEST_F(Settings, PrerollOffOutsideMenusDropsTheBufferInsteadOfChangingThePreset)
{
    EXPECT_EQ(set(167, 4), (Trace{"2,90"}));
    EXPECT_EQ(set(167, 2), (Trace{"start", "set 167=2", "store"}));
    state().m_inContextualMenu = 1;
    EXPECT_EQ(set(167, 4), (Trace{"start", "set 167=4", "store"}));
}

TEST_F(Settings, EveryRefusalAfterTheEditStartedEndsTheEdit)
{
    uint32_t count = 0;
    ASSERT_TRUE(camera_settings_id_table(kModel, &count));
    EXPECT_EQ(set(count, 0, ZT_ERR_INVALID_PARAM), (Trace{"start", "store"}));
    // A block of the wrong size stops the change; a failed read does not.
    peer().scriptRemote(kSetupCategory, kAllSettingsGet, PeerAnswer::Bytes(Bytes(237, 0)));
    EXPECT_EQ(set(2, 4, ZT_ERR), (Trace{"start", "store"}));
    peer().scriptRemote(kSetupCategory, kAllSettingsGet, PeerAnswer::Status(ZT_ERR_MQ_FAIL));
    EXPECT_EQ(set(2, 4), (Trace{"start", "set 2=4", "store"}));
    peer().scriptRemote(kPresetCategory, kPresetEditStart, PeerAnswer::Status(ZT_ERR));
    EXPECT_EQ(set(2, 4, ZT_ERR), (Trace{"start"}));
}

// A ux-mode change publishes the preset-change item even when it fails, and
// rereads the current preset: a factory one keeps its flat mode.
TEST_F(Settings, UxModeChangeRereadsTheCurrentPresetAndPublishesEvenWhenItFails)
{
    unsigned published = 0;
    const auto csi = ZTCSIListener::GetInstance();
    peer().scriptRemote(kSystemCategory, kAllStatusGet,
                        PeerAnswer::Bytes(zttest::StatusBlock().group(0).videoPreset(2).bytes()));
    csi->SetCSIValue(7, 0);
    peer().scriptTypedOnce("camera_if_settings_set_value_int", PeerAnswer::Status(ZT_ERR));
    EXPECT_EQ(set(177, 1, ZT_ERR), (Trace{"set 177=1"}));
    EXPECT_TRUE(csi->GetCSIValue(7, &published));
    EXPECT_EQ(published, 0x8FFFFFFu);
    EXPECT_EQ(set(144, 13, ZT_ERR), Trace{});
}

// The whole 634-byte block (every golden session asks for it) even from a
// short answer; either block's refusal or failure is the answer.
TEST_F(Settings, GetAllSettingsStatusAnswersTheWhole634ByteBlock)
{
    peer().scriptRemote(kSystemCategory, kAllStatusGet,
                        PeerAnswer::Bytes({5, 6, 7}));  // short answers fill what they have
    const Outcome out = run(ZTCONTROL_GET_ALL_SETTINGS_STATUS);
    EXPECT_EQ(std::make_pair(out.code, out.payload.size()), std::make_pair(0, size_t{634}));
    const std::pair<uint8_t, uint8_t> blocks[] = {{kSystemCategory, kAllStatusGet},
                                                  {kSetupCategory, kAllSettingsGet}};
    for (const auto &[category, id] : blocks) {
        peer().scriptRemote(kSystemCategory, kAllStatusGet,
                            PeerAnswer::Bytes(zttest::StatusBlock().bytes()));
        peer().scriptRemote(category, id, PeerAnswer::Bytes({2}));
        EXPECT_EQ(run(ZTCONTROL_GET_ALL_SETTINGS_STATUS), (Outcome{ZT_ERR_NAK_OFF, {}, true}));
        peer().scriptRemote(category, id, PeerAnswer::Status(ZT_ERR_MQ_FAIL));
        EXPECT_EQ(run(ZTCONTROL_GET_ALL_SETTINGS_STATUS), (Outcome{ZT_ERR_MQ_FAIL, {}, false}));
    }
}

// The name read up to its NUL, with slashes, under the calibration folder.
TEST_F(Settings, CalibrationFileNameIsPrefixedAndUsesSlashes)
{
    Bytes expected(257, 0);
    const std::string full = "/tmp/fuse_a/DCIM/CAL.BIN";
    memcpy(expected.data(), full.data(), full.size());
    const Bytes named = zttest::concat({{1, 2, 3}, zttest::textArg("DCIM\\CAL.BIN")});
    peer().scriptRemote(kSystemCategory, kCalFileNameGet, PeerAnswer::Bytes(named));
    EXPECT_EQ(run(ZTCONTROL_SYSTEM_GET_SHADINGDATA_FILE), (Outcome{0, expected, false}));
}

// The advanced-settings reset follows the current flat mode's family (none
// for 22), the family resets name theirs; each runs inside an edit, stored
// even when the reset fails. Without the settings block nothing is reset.
TEST_F(Settings, AdvancedResetsRunInsideAnEditOfTheirFamily)
{
    const struct {
        ztcontrol_command_t command;
        int8_t flatMode;
        std::string call;
    } cases[] = {
        {ZTCONTROL_ADVSET_RESET, 12, "ztc_video_advset_reset"},
        {ZTCONTROL_ADVSET_RESET, 17, "ztc_photo_advset_reset"},
        {ZTCONTROL_ADVSET_RESET, 26, "ztc_multishot_advset_reset"},
        {ZTCONTROL_ADVSET_RESET, 22, ""},
        {ZTCONTROL_PHOTO_ADVSET_RESET, 0, "3,22"},
    };
    peer().scriptRemote(kPhotoCategory, kPhotoAdvsetReset, PeerAnswer::Status(ZT_ERR));
    for (const auto &c : cases) {
        Bytes settings(238, 0);
        settings[25] = static_cast<uint8_t>(c.flatMode);
        peer().scriptRemote(kSetupCategory, kAllSettingsGet, PeerAnswer::Bytes(settings));
        EXPECT_EQ(run(c.command).code, c.call == "3,22" ? ZT_ERR : 0) << c.call;
        EXPECT_EQ(trace(),
                  (c.call.empty() ? Trace{"start", "store"} : Trace{"start", c.call, "store"}));
    }
    peer().scriptRemote(kSetupCategory, kAllSettingsGet, PeerAnswer::Bytes(Bytes(237, 0)));
    EXPECT_EQ(run(ZTCONTROL_ADVSET_RESET).code, 0);
    EXPECT_TRUE(trace().empty());
}

}  // namespace
