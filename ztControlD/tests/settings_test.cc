// The settings and status commands through the real daemon: a change and a
// block query reach the firmware, the camera's NAK-OFF and a failed query
// reach the client, and which failures leave a result line.
#include <gtest/gtest.h>

#include <chrono>

#include "CommandFixture.h"
#include "StatusBlock.h"

using namespace std::chrono_literals;
using zttest::Bytes;
using zttest::words;

namespace {

constexpr uint32_t kSetSetting = 30, kGetSettings = 32, kGetBoth = 34;
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
        peer().scriptRemote(8, 11, PeerAnswer::Bytes(zttest::StatusBlock().bytes()));
        peer().scriptRemote(7, 30, PeerAnswer::Bytes(Bytes(238, 0)));
    }
    // The edit and set requests of the last call, in order.
    std::vector<std::string> edits() const
    {
        std::vector<std::string> out;
        for (const PeerRequest &r : sent())
            if (r.isRemote(17, 8) || r.isRemote(17, 10) ||
                r.isTyped("camera_if_settings_set_value_int"))
                out.push_back(r.kind == "TC" ? "set" : r.identifier == 8 ? "start" : "store");
        return out;
    }
};

TEST_F(Settings, ChangeAndQueriesReachTheFirmwareAndItsRefusalsTheClient)
{
    EXPECT_EQ(call(kSetSetting, words({2, 4})).result, 0);
    EXPECT_EQ(edits(), (std::vector<std::string>{"start", "set", "store"}));
    EXPECT_EQ(call(kSetSetting, zttest::u32Arg(2)).result, -3);
    EXPECT_TRUE(sent().empty());

    const Bytes block(64, 0x5A);
    peer().scriptRemote(7, 30, PeerAnswer::Bytes(block));
    EXPECT_EQ(answer(kGetSettings), (Answer{0, block}));
    peer().scriptRemote(7, 30, PeerAnswer::Bytes(Bytes(238, 0)));
    EXPECT_EQ(call(kGetBoth).payload.size(), 634u);
    peer().scriptRemote(7, 30, PeerAnswer::Bytes({2}));
    EXPECT_EQ(answer(kGetSettings), (Answer{-103, {}}));
    EXPECT_EQ(answer(kGetBoth), (Answer{-103, {}}));
    peer().scriptRemote(7, 30, PeerAnswer::Status(-5));
    EXPECT_EQ(answer(kGetBoth), (Answer{-5, {}}));
}

TEST_F(Settings, GpsFailuresAreQuietButLegacyGpsFailuresAreNot)
{
    peer().scriptTyped("camera_if_settings_set_value_int", PeerAnswer::Status(-1));
    settleLog();
    const size_t mark = daemon().logMark();
    const size_t before = daemon().countInLog(kResultLine);
    EXPECT_EQ(call(kSetSetting, words({91, 1})).result, -1);
    EXPECT_EQ(call(kSetSetting, words({55, 1})).result, -1);
    // One worker writes both lines in order: once the legacy setting's line
    // is there, a line of the first change would be there too.
    ASSERT_TRUE(daemon().waitForLog(kResultLine, 2s, mark));
    EXPECT_EQ(daemon().countInLog(kResultLine), before + 1);
}

}  // namespace
