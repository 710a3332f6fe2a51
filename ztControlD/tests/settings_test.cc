// The settings and status commands through the real daemon: a change and a
// block query reach the firmware, the camera's NAK-OFF and a failed query
// reach the client, and which failures leave a result line.
#include <gtest/gtest.h>

#include <chrono>

#include "CommandFixture.h"
#include "StatusBlock.h"
#include "ztErrno.h"
#include "ztcontrol_commands.h"
#include "ztcontrol_remote_ops.h"

using namespace std::chrono_literals;
using zttest::Bytes;
using zttest::words;

namespace {

constexpr char kResultLine[] = "Command: ZTCONTROL_SET_SETTING_ID (30) returned";

class Settings : public zttest::CommandFixture {
protected:
    static void SetUpTestSuite()
    {
        startSuite([](ZtFirmwarePeer &peer) { peer.setCsiItem(1, 57); });
    }
    void SetUp() override
    {
        CommandFixture::SetUp();
        peer().scriptRemote(kSystemCategory, kAllStatusGet,
                            PeerAnswer::Bytes(zttest::StatusBlock().bytes()));
        peer().scriptRemote(kSetupCategory, kAllSettingsGet, PeerAnswer::Bytes(Bytes(238, 0)));
    }
    // The edit and set requests of the last call, in order.
    std::vector<std::string> edits() const
    {
        std::vector<std::string> out;
        for (const PeerRequest &r : sent())
            if (r.isRemote(kPresetCategory, kPresetEditStart) ||
                r.isRemote(kPresetCategory, kPresetEditStore) ||
                r.isTyped("camera_if_settings_set_value_int"))
                out.push_back(r.kind == "TC" ? "set" : r.identifier == 8 ? "start" : "store");
        return out;
    }
};

TEST_F(Settings, ChangeAndQueriesReachTheFirmwareAndItsRefusalsTheClient)
{
    EXPECT_EQ(call(ZTCONTROL_SET_SETTING_ID, words({2, 4})).result, 0);
    EXPECT_EQ(edits(), (std::vector<std::string>{"start", "set", "store"}));
    EXPECT_EQ(call(ZTCONTROL_SET_SETTING_ID, zttest::u32Arg(2)).result, ZT_ERR_INVALID_PARAM);
    EXPECT_TRUE(sent().empty());

    const Bytes block(64, 0x5A);
    peer().scriptRemote(kSetupCategory, kAllSettingsGet, PeerAnswer::Bytes(block));
    EXPECT_EQ(answer(ZTCONTROL_GET_ALL_SETTINGS), (Answer{0, block}));
    peer().scriptRemote(kSetupCategory, kAllSettingsGet, PeerAnswer::Bytes(Bytes(238, 0)));
    EXPECT_EQ(call(ZTCONTROL_GET_ALL_SETTINGS_STATUS).payload.size(), 634u);
    peer().scriptRemote(kSetupCategory, kAllSettingsGet, PeerAnswer::Bytes({2}));
    EXPECT_EQ(answer(ZTCONTROL_GET_ALL_SETTINGS), (Answer{ZT_ERR_NAK_OFF, {}}));
    EXPECT_EQ(answer(ZTCONTROL_GET_ALL_SETTINGS_STATUS), (Answer{ZT_ERR_NAK_OFF, {}}));
    peer().scriptRemote(kSetupCategory, kAllSettingsGet, PeerAnswer::Status(-5));
    EXPECT_EQ(answer(ZTCONTROL_GET_ALL_SETTINGS_STATUS), (Answer{-5, {}}));
}

TEST_F(Settings, GpsFailuresAreQuietButLegacyGpsFailuresAreNot)
{
    peer().scriptTyped("camera_if_settings_set_value_int", PeerAnswer::Status(ZT_ERR));
    settleLog();
    const size_t mark = daemon().logMark();
    const size_t before = daemon().countInLog(kResultLine);
    EXPECT_EQ(call(ZTCONTROL_SET_SETTING_ID, words({91, 1})).result, ZT_ERR);
    EXPECT_EQ(call(ZTCONTROL_SET_SETTING_ID, words({55, 1})).result, ZT_ERR);
    // One worker writes both lines in order: once the legacy setting's line
    // is there, a line of the first change would be there too.
    ASSERT_TRUE(daemon().waitForLog(kResultLine, 2s, mark));
    EXPECT_EQ(daemon().countInLog(kResultLine), before + 1);
}

}  // namespace
