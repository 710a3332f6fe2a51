// The real daemon's settings and status commands against the scripted
// firmware peer: a setting change's order of edit, set and zoom calls on
// every path (narrow sent as linear and back, the pre-record exit, the table
// bound, wrong block sizes, the factory-preset refusal), the corrected
// values, the quiet GPS setting, the block answers and the calibration file
// name, and the advanced-settings reset chosen by flat mode.
#include <gtest/gtest.h>

#include <string.h>

#include <chrono>
#include <tuple>

#include "CommandFixture.h"
#include "StatusBlock.h"
#include "camera_settings.h"

using namespace std::chrono_literals;
using zttest::Bytes;
using zttest::concat;
using zttest::u32Arg;
using Trace = std::vector<std::string>;

namespace {

enum : uint32_t {
    kVideoReset = 27,
    kPhotoReset = 28,
    kMultiReset = 29,
    kSetSetting = 30,
    kGetSetting = 31,
    kGetSettings = 32,
    kGetStatus = 33,
    kGetBoth = 34,
    kGeocal = 60,
    kCalFile = 64,
    kAdvsetReset = 68,
    kContextualMenu = 90,
    kGetBothIds = 95,
};
constexpr int32_t kErr = -1;
constexpr int32_t kInvalid = -3;
constexpr int32_t kMqFail = -5;
constexpr int32_t kNakOff = -103;
constexpr int32_t kNotSupported = -104;
constexpr uint8_t kModel = 57;
constexpr char kResultLine[] = "Command: ZTCONTROL_SET_SETTING_ID (30) returned";

Bytes settingArg(uint32_t setting, uint32_t option)
{
    return zttest::words({setting, option});
}

uint32_t le32(const Bytes &b, size_t offset)
{
    return b[offset] | b[offset + 1] << 8 | b[offset + 2] << 16 |
           static_cast<uint32_t>(b[offset + 3]) << 24;
}

class Settings : public zttest::CommandFixture {
protected:
    static void SetUpTestSuite()
    {
        startSuite([](ZtFirmwarePeer &peer) { peer.setCsiItem(1, kModel); });
    }
    // A camera that answers both blocks in full.
    void SetUp() override
    {
        CommandFixture::SetUp();
        peer().scriptRemote(8, 11, PeerAnswer::Bytes(zttest::StatusBlock().bytes()));
        peer().scriptRemote(7, 30, PeerAnswer::Bytes(Bytes(238, 0)));
    }

    // The requests that matter for a setting change, in the order the peer
    // got them: "start", "store", "set S=V", "zoom Z", "RA c,i" of the
    // commands' own operations and the reset calls by name.
    Trace trace() const
    {
        Trace out;
        for (const PeerRequest &r : sent()) {
            if (r.isRemote(17, 8)) {
                out.push_back("start");
            } else if (r.isRemote(17, 10)) {
                out.push_back("store");
            } else if (r.isTyped("camera_if_settings_set_value_int")) {
                checkTableWords(r.payload);
                out.push_back("set " + std::to_string(le32(r.payload, 0)) + "=" +
                              std::to_string(static_cast<int32_t>(le32(r.payload, 12))));
            } else if (r.isTyped("ztc_app_set_digital_zoom")) {
                out.push_back("zoom " + std::to_string(le32(r.payload, 0)));
            } else if (r.kind == "TC" && r.name.find("advset_reset") != std::string::npos) {
                out.push_back(r.name);
            } else if (r.kind == "RA" && !r.isRemote(8, 11) && !r.isRemote(7, 30) &&
                       !r.isRemote(2, 91)) {
                out.push_back("RA " + std::to_string(r.category) + "," +
                              std::to_string(r.identifier));
            }
        }
        return out;
    }

    // The set call carries the three words of the setting's table entry.
    static void checkTableWords(const Bytes &payload)
    {
        ASSERT_EQ(payload.size(), 20u);
        uint32_t count = 0;
        const camera_settings_id_entry_t *table = camera_settings_id_table(kModel, &count);
        const uint32_t setting = le32(payload, 0);
        ASSERT_TRUE(table && setting < count);
        EXPECT_EQ(le32(payload, 4), table[setting].fw_category);
        EXPECT_EQ(le32(payload, 8), table[setting].fw_identifier);
        EXPECT_EQ(le32(payload, 16), table[setting].value_width);
    }

    Trace set(uint32_t setting, uint32_t option, int32_t expected = 0)
    {
        EXPECT_EQ(call(kSetSetting, settingArg(setting, option)).result, expected)
            << "setting " << setting << " option " << option;
        return trace();
    }
};

// Preset settings are set inside one edit with the option's value, which for
// some settings the firmware stores differently; camera-wide ones need no edit.
TEST_F(Settings, ChangeIsSetInsideOnePresetEditWithTheCorrectedOptionValue)
{
    const std::tuple<uint32_t, uint32_t, Trace> cases[] = {
        {2, 4, {"start", "set 2=4", "store"}},
        {118, 1, {"start", "set 118=15", "store"}},  // option 1 is +1.5 EV
        {2, 100, {"start", "set 2=13", "store"}},    // mapped 17
        {32, 0, {"start", "set 32=0", "store"}},     // mapped 3601
        {59, 6, {"set 59=5"}},
        {55, 1, {"set 91=1"}},
    };
    for (const auto &[setting, option, expected] : cases)
        EXPECT_EQ(set(setting, option), expected);

    peer().scriptTyped("camera_if_settings_set_value_int", PeerAnswer::Status(kErr));
    EXPECT_EQ(set(2, 4, kErr), (Trace{"start", "set 2=4", "store"}));
}

TEST_F(Settings, NarrowIsSentAsLinearWithAZoomThatTheNextChangeRemoves)
{
    EXPECT_EQ(set(43, 2), (Trace{"set 43=4", "zoom 30"}));
    EXPECT_EQ(set(43, 3), (Trace{"set 43=3", "zoom 0"}));
    EXPECT_EQ(set(43, 3), (Trace{"set 43=3"}));
    EXPECT_EQ(set(43, 0), (Trace{"set 43=0"}));

    // A failed narrow set leaves the translation pending without a zoom;
    // the next change still removes the zoom.
    peer().scriptTypedOnce("camera_if_settings_set_value_int", PeerAnswer::Status(kErr));
    EXPECT_EQ(set(43, 2, kErr), (Trace{"set 43=4"}));
    EXPECT_EQ(set(43, 4), (Trace{"set 43=4", "zoom 0"}));

    // A failed zoom is the change's result.
    peer().scriptTypedOnce("ztc_app_set_digital_zoom", PeerAnswer::Status(kMqFail));
    EXPECT_EQ(set(43, 2, kMqFail), (Trace{"set 43=4", "zoom 30"}));
    EXPECT_EQ(set(43, 0), (Trace{"set 43=0", "zoom 0"}));
}

TEST_F(Settings, PrerollOffOutsideMenusDropsTheBufferInsteadOfChangingThePreset)
{
    EXPECT_EQ(call(kContextualMenu, Bytes{0}).result, 0);
    EXPECT_EQ(set(167, 4), (Trace{"RA 2,90"}));
    EXPECT_EQ(set(167, 2), (Trace{"start", "set 167=2", "store"}));
    peer().scriptRemote(2, 90, PeerAnswer::Status(kErr));
    EXPECT_EQ(set(167, 4, kErr), (Trace{"RA 2,90"}));

    EXPECT_EQ(call(kContextualMenu, Bytes{1}).result, 0);
    EXPECT_EQ(set(167, 4), (Trace{"start", "set 167=4", "store"}));
    EXPECT_EQ(call(kContextualMenu, Bytes{0}).result, 0);
}

TEST_F(Settings, EveryRefusalAfterTheEditStartedEndsTheEdit)
{
    // Beyond the table: the edit opened with the requested id is ended.
    uint32_t count = 0;
    ASSERT_TRUE(camera_settings_id_table(kModel, &count));
    EXPECT_EQ(set(count, 0, kInvalid), (Trace{"start", "store"}));

    // A block of the wrong size stops the change; a failed read does not.
    peer().scriptRemote(7, 30, PeerAnswer::Bytes(Bytes(237, 0)));
    EXPECT_EQ(set(2, 4, kErr), (Trace{"start", "store"}));
    peer().scriptRemote(7, 30, PeerAnswer::Bytes({2}));
    EXPECT_EQ(set(2, 4, kErr), (Trace{"start", "store"}));
    peer().scriptRemote(7, 30, PeerAnswer::Status(kMqFail));
    EXPECT_EQ(set(2, 4), (Trace{"start", "set 2=4", "store"}));
    peer().scriptRemote(7, 30, PeerAnswer::Bytes(Bytes(238, 0)));
    peer().scriptRemote(8, 11, PeerAnswer::Bytes(Bytes(100, 0)));
    EXPECT_EQ(set(2, 4, kErr), (Trace{"start", "store"}));

    // A refused edit start sends nothing more.
    peer().scriptRemote(8, 11, PeerAnswer::Bytes(zttest::StatusBlock().bytes()));
    peer().scriptRemote(17, 8, PeerAnswer::Status(kErr));
    EXPECT_EQ(set(2, 4, kErr), (Trace{"start"}));

    // No argument, or half of one.
    EXPECT_EQ(call(kSetSetting).result, kInvalid);
    EXPECT_EQ(call(kSetSetting, u32Arg(2)).result, kInvalid);
    EXPECT_TRUE(trace().empty());
}

TEST_F(Settings, FlatModeIsRefusedWhileAFactoryPresetIsCurrent)
{
    // A ux-mode change makes the daemon read the current preset again.
    peer().scriptRemote(
        8, 11, PeerAnswer::Bytes(zttest::StatusBlock().group(0).videoPreset(0x100).bytes()));
    EXPECT_EQ(set(177, 1), (Trace{"set 177=1"}));
    EXPECT_EQ(set(144, 13), (Trace{"start", "set 144=13", "store"}));

    peer().scriptRemote(8, 11,
                        PeerAnswer::Bytes(zttest::StatusBlock().group(0).videoPreset(2).bytes()));
    EXPECT_EQ(set(177, 1), (Trace{"set 177=1"}));
    EXPECT_EQ(set(144, 13, kErr), Trace{});
}

TEST_F(Settings, UxModeChangePublishesThePresetChangeEvenWhenItFails)
{
    const auto published = [&](size_t from) {
        return peer().waitForRequest(
            [](const PeerRequest &r) {
                return r.kind == "CW" && r.payload == settingArg(7, 0x8FFFFFF);
            },
            2000, from);
    };
    size_t mark = peer().requestCount();
    EXPECT_EQ(set(177, 0), (Trace{"set 177=0"}));
    EXPECT_TRUE(published(mark));

    mark = peer().requestCount();
    peer().scriptTyped("camera_if_settings_set_value_int", PeerAnswer::Status(kErr));
    EXPECT_EQ(set(177, 1, kErr), (Trace{"set 177=1"}));
    EXPECT_TRUE(published(mark));
}

TEST_F(Settings, GpsFailuresAreQuietButLegacyGpsFailuresAreNot)
{
    peer().scriptTyped("camera_if_settings_set_value_int", PeerAnswer::Status(kErr));
    settleLog();
    const size_t mark = daemon().logMark();
    const size_t before = daemon().countInLog(kResultLine);
    EXPECT_EQ(set(91, 1, kErr), (Trace{"set 91=1"}));
    EXPECT_EQ(set(55, 1, kErr), (Trace{"set 91=1"}));
    // One worker writes both lines in order: once the legacy setting's line
    // is there, a line of the first change would be there too.
    ASSERT_TRUE(daemon().waitForLog(kResultLine, 2s, mark));
    EXPECT_EQ(daemon().countInLog(kResultLine), before + 1);
}

TEST_F(Settings, GetAllSettingsStatusAnswersTheWhole634ByteBlock)
{
    Bytes status(394, 0), settings(238, 0);
    status[300] = 0xAB;
    settings[200] = 0xCD;
    peer().scriptRemote(8, 11, PeerAnswer::Bytes(status));
    peer().scriptRemote(7, 30, PeerAnswer::Bytes(settings));
    auto reply = call(kGetBoth);
    EXPECT_EQ(reply.result, 0);
    ASSERT_EQ(reply.payload.size(), 634u);
    EXPECT_EQ(reply.payload[300], 0xAB);
    EXPECT_EQ(reply.payload[394 + 200], 0xCD);

    // Short answers fill what they have.
    peer().scriptRemote(8, 11, PeerAnswer::Bytes({5, 6, 7}));
    reply = call(kGetBoth);
    EXPECT_EQ(reply.result, 0);
    EXPECT_EQ(reply.payload.size(), 634u);

    for (uint8_t category : {8, 7}) {
        peer().scriptRemote(8, 11, PeerAnswer::Bytes(status));
        peer().scriptRemote(category, category == 8 ? 11 : 30, PeerAnswer::Bytes({2}));
        EXPECT_EQ(answer(kGetBoth), (Answer{kNakOff, {}}));
        peer().scriptRemote(category, category == 8 ? 11 : 30, PeerAnswer::Status(kMqFail));
        EXPECT_EQ(answer(kGetBoth), (Answer{kMqFail, {}}));
    }
    EXPECT_EQ(call(kGetBoth, Bytes{1}).result, kInvalid);
}

TEST_F(Settings, BlockQueriesPassTheAnswerOrTheCamerasRefusal)
{
    const std::pair<uint32_t, std::pair<uint8_t, uint8_t>> queries[] = {
        {kGetSettings, {7, 30}}, {kGetStatus, {8, 11}}, {kGeocal, {8, 34}}};
    for (const auto &[command, op] : queries) {
        SCOPED_TRACE(command);
        const Bytes bytes(64, 0x5A);
        peer().scriptRemote(op.first, op.second, PeerAnswer::Bytes(bytes));
        EXPECT_EQ(answer(command), (Answer{0, bytes}));
        peer().scriptRemote(op.first, op.second, PeerAnswer::Bytes({2}));
        EXPECT_EQ(answer(command), (Answer{kNakOff, {}}));
        peer().scriptRemote(op.first, op.second, PeerAnswer::Status(kErr));
        EXPECT_EQ(call(command).result, kErr);
        EXPECT_EQ(call(command, Bytes{1}).result, kInvalid);
        EXPECT_TRUE(sent().empty());
    }
    EXPECT_EQ(call(kGetSetting, Bytes{1}).result, 0);
    EXPECT_EQ(call(kGetBothIds, Bytes{1}).result, kNotSupported);
    EXPECT_TRUE(sent().empty());
}

TEST_F(Settings, CalibrationFileNameIsPrefixedAndUsesSlashes)
{
    const auto path = [](const std::string &name) {
        Bytes b(257, 0);
        const std::string full = "/tmp/fuse_a/" + name;
        memcpy(b.data(), full.data(), full.size());
        return b;
    };
    const auto named = [](const std::string &name) {
        return concat({{1, 2, 3}, zttest::textArg(name)});
    };
    // The name ends at its NUL; the longest taken is 244 answer bytes, one
    // more gives the directory only.
    const std::pair<Bytes, Bytes> cases[] = {
        {named("DCIM\\CAL.BIN"), path("DCIM/CAL.BIN")},
        {concat({named("DCIM\\CAL.BIN"), {0, 'X'}}), path("DCIM/CAL.BIN")},
        {Bytes(244, 'n'), path(std::string(241, 'n'))},
        {Bytes(245, 'n'), path("")},
    };
    for (const auto &[bytes, expected] : cases) {
        peer().scriptRemote(8, 35, PeerAnswer::Bytes(bytes));
        EXPECT_EQ(answer(kCalFile), (Answer{0, expected}));
    }
    peer().scriptRemote(8, 35, PeerAnswer::Status(kMqFail));
    EXPECT_EQ(answer(kCalFile), (Answer{kMqFail, path("")}));
}

TEST_F(Settings, AdvancedResetFollowsTheCurrentFlatMode)
{
    const std::pair<int8_t, Trace> cases[] = {
        {12, {"start", "ztc_video_advset_reset", "store"}},
        {27, {"start", "ztc_video_advset_reset", "store"}},
        {17, {"start", "ztc_photo_advset_reset", "store"}},
        {26, {"start", "ztc_multishot_advset_reset", "store"}},
        {31, {"start", "ztc_multishot_advset_reset", "store"}},
        {22, {"start", "store"}},
        {-1, {"start", "store"}},
    };
    for (const auto &[flatMode, expected] : cases) {
        Bytes settings(238, 0);
        settings[25] = static_cast<uint8_t>(flatMode);
        peer().scriptRemote(7, 30, PeerAnswer::Bytes(settings));
        EXPECT_EQ(call(kAdvsetReset, Bytes{9}).result, 0) << int(flatMode);
        EXPECT_EQ(trace(), expected) << int(flatMode);
    }
    peer().scriptTyped("ztc_photo_advset_reset", PeerAnswer::Status(kErr));
    Bytes photo(238, 0);
    photo[25] = 16;
    peer().scriptRemote(7, 30, PeerAnswer::Bytes(photo));
    EXPECT_EQ(call(kAdvsetReset).result, kErr);
    EXPECT_EQ(trace(), (Trace{"start", "ztc_photo_advset_reset", "store"}));

    // Without the settings block nothing is reset.
    peer().scriptRemote(7, 30, PeerAnswer::Bytes(Bytes(237, 0)));
    EXPECT_EQ(call(kAdvsetReset).result, 0);
    EXPECT_TRUE(trace().empty());
    peer().scriptRemote(7, 30, PeerAnswer::Status(kMqFail));
    EXPECT_EQ(call(kAdvsetReset).result, kMqFail);
    EXPECT_TRUE(trace().empty());
}

TEST_F(Settings, FamilyResetsSendTheirOperationInsideAnEdit)
{
    const std::pair<uint32_t, std::string> resets[] = {
        {kVideoReset, "RA 2,26"}, {kPhotoReset, "RA 3,22"}, {kMultiReset, "RA 4,26"}};
    for (const auto &[command, operation] : resets) {
        EXPECT_EQ(call(command).result, 0);
        EXPECT_EQ(trace(), (Trace{"start", operation, "store"}));
        EXPECT_EQ(call(command, Bytes{0}).result, kInvalid);
        EXPECT_TRUE(sent().empty());
    }
    peer().scriptRemote(3, 22, PeerAnswer::Status(kErr));
    EXPECT_EQ(call(kPhotoReset).result, kErr);
    EXPECT_EQ(trace(), (Trace{"start", "RA 3,22", "store"}));
}

}  // namespace
