// System commands in-process on the model assumed when the camera does not
// tell its own (57, which has the multi-camera mode): operations and payloads,
// the wired-USB double set, the rotation sent once per change, the button
// translations and the multi-camera mode's choice of preset.
#include "ClientMessages.h"
#include "HandlerFixture.h"
#include "StatusBlock.h"
#include "ztcontrol_remote_ops.h"

using zttest::u32Arg;
using Trace = std::vector<std::string>;

namespace {

class System : public zttest::HandlerFixture {
protected:
    // The last run's requests: "RA category,id" or the kind and name.
    Trace trace() const
    {
        Trace out;
        for (const PeerRequest &r : sent())
            out.push_back(r.kind == "RA" ? "RA " + std::to_string(r.category) + "," +
                                               std::to_string(r.identifier)
                                         : r.kind + " " + r.name);
        return out;
    }
    Outcome button(uint32_t type, uint32_t raw)
    {
        return run(ZTCONTROL_SYSTEM_BUTTON_SET, zttest::words({type, raw}));
    }
    // The remote's last rotation code is kept for the process: back to 0.
    void SetUp() override
    {
        HandlerFixture::SetUp();
        EXPECT_EQ(button(18, 0).code, 0);
    }
};

TEST_F(System, SimpleCommandsSendTheirOperationWithTheRightPayload)
{
    const struct {
        ztcontrol_command_t command;
        std::optional<Bytes> arg;
        Trace trace;
        Bytes payload;
    } cases[] = {{ZTCONTROL_SYSTEM_SHUTDOWN, std::nullopt, {"RA 8,2"}, {1}},
                 {ZTCONTROL_SYSTEM_SLEEP, std::nullopt, {"RA 8,2"}, {0}},
                 {ZTCONTROL_LOCATE, Bytes{1}, {"RA 8,13"}, {1}},
                 {ZTCONTROL_FACTORY_RESET, Bytes{2}, {"RA 8,4"}, {2}},
                 {ZTCONTROL_ANALYTICS_CLEAR, std::nullopt, {"RA 8,20"}, {}},
                 {ZTCONTROL_SET_IN_CONTEXTUAL_MENU, Bytes{1}, {"RA 8,30"}, {1}},
                 {ZTCONTROL_SET_CAMERA_CONTROL_STATUS, Bytes{3}, {"RA 8,40"}, {3}},
                 {ZTCONTROL_SET_CAH_AUTO_CLEAR, Bytes{1}, {"RA 7,76"}, {1}},
                 {ZTCONTROL_WEBCAM_REQUEST_EXIT, Bytes{7}, {"RA 5,28"}, {}}};  // ignores it
    for (const auto &c : cases) {
        EXPECT_EQ(run(c.command, c.arg).code, 0) << c.command;
        EXPECT_EQ(trace(), c.trace) << c.command;
        EXPECT_TRUE(c.trace.empty() || sent()[0].payload == c.payload) << c.command;
    }
    EXPECT_EQ(state().m_inContextualMenu, 1) << "kept for the status poll";
    peer().scriptRemote(kSystemCategory, kShutdown, PeerAnswer::Status(ZT_ERR_MQ_FAIL));
    EXPECT_EQ(run(ZTCONTROL_SYSTEM_SHUTDOWN).code, ZT_ERR_MQ_FAIL);
    for (ztcontrol_command_t command :
         {ZTCONTROL_SYSTEM_SHUTDOWN, ZTCONTROL_SYSTEM_SLEEP, ZTCONTROL_ANALYTICS_FILENAME_GET,
          ZTCONTROL_ANALYTICS_CLEAR})
        EXPECT_EQ(run(command, Bytes{1}).code, ZT_ERR_INVALID_PARAM) << command;
    EXPECT_TRUE(sent().empty());

    const Bytes name = zttest::textArg("ANALYTICS/AN000001.BIN", true);
    peer().scriptRemote(kSystemCategory, kAnalyticsFileNameGet, PeerAnswer::Bytes(name));
    EXPECT_EQ(run(ZTCONTROL_ANALYTICS_FILENAME_GET), (Outcome{0, name, false}));
    peer().scriptRemote(kSystemCategory, kAnalyticsFileNameGet, PeerAnswer::Status(ZT_ERR));
    EXPECT_EQ(run(ZTCONTROL_ANALYTICS_FILENAME_GET), (Outcome{ZT_ERR, {}, false}));
}

TEST_F(System, WiredUsbControlSkipsASetOfTheStateTheCameraHas)
{
    peer().scriptRemote(kSystemCategory, kAllStatusGet,
                        PeerAnswer::Bytes(zttest::StatusBlock().word(256, 1).bytes()));
    EXPECT_EQ(run(ZTCONTROL_SET_WIRED_USB_CONTROL, Bytes{1}).code, 0);
    EXPECT_EQ(trace(), Trace{"RA 8,11"});
    EXPECT_EQ(run(ZTCONTROL_SET_WIRED_USB_CONTROL, Bytes{0}).code, 0);
    EXPECT_EQ(trace(), (Trace{"RA 8,11", "RA 8,44"}));
    EXPECT_EQ(sent().at(1).payload, Bytes{0});
    // A status the daemon cannot read is no reason not to set.
    for (const PeerAnswer &answer : {PeerAnswer::Status(ZT_ERR_MQ_FAIL),
                                     PeerAnswer::Bytes(Bytes(393, 1)), PeerAnswer::Bytes({2})}) {
        peer().scriptRemote(kSystemCategory, kAllStatusGet, answer);
        EXPECT_EQ(run(ZTCONTROL_SET_WIRED_USB_CONTROL, Bytes{1}).code, 0);
        EXPECT_EQ(trace(), (Trace{"RA 8,11", "RA 8,44"}));
    }
}

TEST_F(System, RotationIsSentOnlyWhenTheRemoteReportsANewOne)
{
    EXPECT_EQ(button(1, 0x21).code, 0);
    EXPECT_EQ(trace(), (Trace{"TC ztc_system_set_rc_rotation", "TC ztc_system_set_button"}));
    EXPECT_EQ(sent().at(0).payload, Bytes{2});  // the code; 180 degrees
    EXPECT_EQ(button(1, 0x21).code, 0);
    EXPECT_EQ(trace(), Trace{"TC ztc_system_set_button"});
    // A failed rotation does not fail the press, and is not sent again.
    peer().scriptTyped("ztc_system_set_rc_rotation", PeerAnswer::Status(ZT_ERR));
    EXPECT_EQ(button(18, 0x30).code, 0);
    EXPECT_EQ(sentTyped("ztc_system_set_rc_rotation"), Bytes{3});
    EXPECT_EQ(button(18, 0x30).code, 0);
    EXPECT_TRUE(sent().empty());
}

TEST_F(System, PlainAndMultiCamButtonsTranslateTypeAndState)
{
    const struct {
        uint32_t type, raw;
        std::string function;
        Bytes payload;
    } cases[] = {{0, 0, "ztc_system_set_button", {1, 3}},
                 {0, 1, "ztc_system_set_button", {1, 4}},
                 {1, 0, "ztc_system_set_button", {0, 3}},
                 {2, 1, "ztc_system_set_button", {2, 4}},
                 {16, 0, "ztc_shutter", {1}},
                 {16, 1, "ztc_shutter", {0}}};
    for (const auto &c : cases) {
        EXPECT_EQ(button(c.type, c.raw).code, 0);
        EXPECT_EQ(sentTyped(c.function), c.payload) << c.type << "/" << c.raw;
    }
    for (const auto &[type, raw] :
         std::vector<std::pair<uint32_t, uint32_t>>{{0, 2}, {16, 2}, {3, 0}, {19, 0}, {17, 4}}) {
        EXPECT_EQ(button(type, raw).code, ZT_ERR_INVALID_PARAM);
        EXPECT_TRUE(trace().empty() || trace() == Trace{"RA 8,11"});
    }
    EXPECT_EQ(button(18, 1).code, 0);
    EXPECT_TRUE(sent().empty());
    peer().scriptTyped("ztc_system_set_button", PeerAnswer::Status(ZT_ERR));
    EXPECT_EQ(button(2, 0).code, ZT_ERR);
}

TEST_F(System, MultiCamModeActivatesThePresetOfTheChosenFamily)
{
    peer().scriptRemote(kSystemCategory, kAllStatusGet,
                        PeerAnswer::Bytes(zttest::StatusBlock()
                                              .videoPreset(0x101)
                                              .photoPreset(0x10102)
                                              .timeLapsePreset(0x20103)
                                              .group(1)
                                              .bytes()));
    peer().scriptRemote(kPresetCategory, kPowerOnDefaultGet,
                        PeerAnswer::Bytes({6, 0, 0, 0}));  // power-on default
    // Mode type 3: the family of the default application mode's group.
    const struct {
        uint32_t modeType;
        uint8_t group;
        uint32_t preset;
    } cases[] = {{0, 0, 0x101},  {1, 0, 0x10102}, {2, 0, 0x20103}, {3, 12, 0x10102}, {3, 0, 0x101},
                 {3, 14, 0x101}, {3, 5, 0x20103}, {3, 4, 0x10102}, {3, 15, 6}};
    for (const auto &c : cases) {
        peer().scriptRemote(kSetupCategory, kDefaultAppModeGet, PeerAnswer::Bytes({c.group}));
        EXPECT_EQ(button(17, c.modeType).code, 0);
        EXPECT_EQ(sent().back().payload, u32Arg(c.preset)) << c.modeType << "/" << int(c.group);
        EXPECT_TRUE(sent().back().isRemote(kPresetCategory, kPresetActiveSet));
    }
    const struct {
        uint8_t category, id;
        PeerAnswer answer;
        uint32_t modeType;
        int code;
        Trace trace;
    } failures[] = {
        // each keeps the scripts before it; the group is still 15
        {17, 25, PeerAnswer::Status(ZT_ERR), 3, ZT_ERR, {"RA 8,11", "RA 7,10", "RA 17,25"}},
        {7, 10, PeerAnswer::Bytes({7}), 3, ZT_ERR_INVALID_PARAM, {"RA 8,11", "RA 7,10"}},
        {7, 10, PeerAnswer::Status(ZT_ERR_MQ_FAIL), 3, ZT_ERR, {"RA 8,11", "RA 7,10"}},
        {8, 11, PeerAnswer::Bytes({2}), 0, ZT_ERR_NAK_OFF, {"RA 8,11"}},
        {8, 11, PeerAnswer::Status(ZT_ERR_MQ_FAIL), 0, ZT_ERR, {"RA 8,11"}}};
    for (const auto &f : failures) {
        peer().scriptRemote(f.category, f.id, f.answer);
        EXPECT_EQ(button(17, f.modeType).code, f.code);
        EXPECT_EQ(trace(), f.trace);
    }
}

}  // namespace
