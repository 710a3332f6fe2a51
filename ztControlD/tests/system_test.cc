// The real daemon's system commands against the scripted firmware peer: the
// exact operation and payload each sends, the refusals that must send
// nothing, the wired-USB double set, the remote's rotation sent once per
// change, the button translations and the multi-camera mode's choice of the
// preset to activate.
#include <gtest/gtest.h>

#include <chrono>

#include "CommandFixture.h"
#include "StatusBlock.h"

using namespace std::chrono_literals;
using zttest::Bytes;
using zttest::u32Arg;

namespace {

enum : uint32_t {
    kShutdown = 35,
    kSleep = 36,
    kLocate = 37,
    kFactoryReset = 38,
    kAnalyticsName = 39,
    kAnalyticsClear = 40,
    kRemoteApi = 41,
    kSetLogLevel = 42,
    kTranscodeHistory = 44,
    kTranscodePhotoToVideo = 45,
    kTranscodeCancel = 50,
    kButton = 88,
    kContextualMenu = 90,
    kWebcamExit = 91,
    kCameraControl = 92,
    kWiredUsb = 96,
    kAutoClear = 97,
};
constexpr int32_t kErr = -1;
constexpr int32_t kInvalid = -3;
constexpr int32_t kMqFail = -5;
constexpr int32_t kNakOff = -103;
constexpr int32_t kNotSupported = -104;

Bytes buttonArg(uint32_t type, uint32_t raw)
{
    return zttest::words({type, raw});
}

class System : public zttest::CommandFixture {
protected:
    // Kind and key of every request since the last call(), for order checks.
    std::vector<std::string> trace() const
    {
        std::vector<std::string> out;
        for (const PeerRequest &r : sent()) {
            if (r.kind == "RA")
                out.push_back("RA " + std::to_string(r.category) + "," +
                              std::to_string(r.identifier));
            else
                out.push_back(r.kind + " " + r.name);
        }
        return out;
    }
    // Makes the remote's last rotation code 0 whatever earlier tests left.
    void resetRotation() { EXPECT_EQ(call(kButton, buttonArg(18, 0x00)).result, 0); }
};

TEST_F(System, SimpleCommandsSendTheirOperationWithTheRightPayload)
{
    struct Case {
        uint32_t command;
        std::optional<Bytes> arg;
        uint8_t category, identifier;
        Bytes payload;
    };
    const Case cases[] = {
        {kShutdown, std::nullopt, 8, 2, {1}},
        {kSleep, std::nullopt, 8, 2, {0}},
        {kLocate, Bytes{1}, 8, 13, {1}},
        {kFactoryReset, Bytes{2}, 8, 4, {2}},
        {kAnalyticsClear, std::nullopt, 8, 20, {}},
        {kContextualMenu, Bytes{0}, 8, 30, {0}},
        {kCameraControl, Bytes{3}, 8, 40, {3}},
        {kAutoClear, Bytes{1}, 7, 76, {1}},
        {kWebcamExit, Bytes{7}, 5, 28, {}},  // ignores its argument
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(call(c.command, c.arg).result, 0);
        auto request = sentOne();
        ASSERT_TRUE(request);
        EXPECT_TRUE(request->isRemote(c.category, c.identifier));
        EXPECT_EQ(request->payload, c.payload);

        peer().scriptRemote(c.category, c.identifier, PeerAnswer::Status(kMqFail));
        EXPECT_EQ(call(c.command, c.arg).result, kMqFail);
        peer().clearScript();
    }
}

TEST_F(System, ArgumentsAreRefusedWhereNoneIsTakenAndRequiredWhereOneIs)
{
    for (uint32_t command : {kShutdown, kSleep, kAnalyticsName, kAnalyticsClear}) {
        SCOPED_TRACE(command);
        EXPECT_EQ(call(command, Bytes{1}).result, kInvalid);
        EXPECT_TRUE(sent().empty());
    }
    for (uint32_t command : {kLocate, kFactoryReset, kContextualMenu, kCameraControl, kAutoClear,
                             kWiredUsb, kSetLogLevel, kButton}) {
        SCOPED_TRACE(command);
        EXPECT_EQ(call(command).result, kInvalid);
        EXPECT_TRUE(sent().empty());
    }
    // The button argument needs both of its words.
    EXPECT_EQ(call(kButton, Bytes{0, 0, 0, 0, 0, 0, 0}).result, kInvalid);
    EXPECT_TRUE(sent().empty());
    // Webcam exit needs none.
    EXPECT_EQ(call(kWebcamExit).result, 0);
}

TEST_F(System, RetiredCommandsAnswerNotSupportedAndForwardNothing)
{
    const size_t mark = daemon().logMark();
    EXPECT_EQ(call(kRemoteApi, Bytes{8, 2, 1}).result, kNotSupported);
    for (uint32_t command = kTranscodeHistory; command <= kTranscodeCancel; ++command) {
        SCOPED_TRACE(command);
        EXPECT_EQ(call(command, Bytes{1}).result, kNotSupported);
        EXPECT_EQ(call(command).result, kNotSupported);
    }
    EXPECT_TRUE(sent().empty());
    EXPECT_TRUE(daemon().waitForLog("unsupported ZTCONTROL_TRANSCODE_HISTORY", 2s, mark));
    EXPECT_TRUE(daemon().waitForLog("unsupported ZTCONTROL_TRANSCODE_VIDEO_REQUEST", 2s, mark));
    EXPECT_TRUE(daemon().waitForLog("Unhandled command " + std::to_string(kTranscodePhotoToVideo),
                                    2s, mark));
}

TEST_F(System, AnalyticsFileNameAnswersTheFirmwareBytesOrNothingAfterAFailure)
{
    const Bytes name = zttest::textArg("ANALYTICS/AN000001.BIN", true);
    peer().scriptRemote(8, 21, PeerAnswer::Bytes(name));
    EXPECT_EQ(answer(kAnalyticsName), (Answer{0, name}));

    peer().scriptRemote(8, 21, PeerAnswer::Status(kErr));
    EXPECT_EQ(answer(kAnalyticsName), (Answer{kErr, {}}));
}

TEST_F(System, SetLogLevelChangesWhatTheDaemonLogs)
{
    EXPECT_EQ(call(kSetLogLevel, u32Arg(4)).result, 0);
    size_t mark = daemon().logMark();
    EXPECT_EQ(call(kLocate, Bytes{1}).result, 0);
    EXPECT_TRUE(daemon().waitForLog("ZTCONTROL_LOCATE: onOff:1", 2s, mark));

    EXPECT_EQ(call(kSetLogLevel, u32Arg(2)).result, 0);
    mark = daemon().logMark();
    EXPECT_EQ(call(kLocate, Bytes{0}).result, 0);
    EXPECT_EQ(daemon().log().find("ZTCONTROL_LOCATE: onOff:0", mark), std::string::npos);
}

TEST_F(System, WiredUsbControlSkipsASetOfTheStateTheCameraHas)
{
    zttest::StatusBlock status;
    status.word(256, 1);
    peer().scriptRemote(8, 11, PeerAnswer::Bytes(status.bytes()));
    EXPECT_EQ(call(kWiredUsb, Bytes{1}).result, 0);
    EXPECT_EQ(trace(), (std::vector<std::string>{"RA 8,11"}));

    EXPECT_EQ(call(kWiredUsb, Bytes{0}).result, 0);
    auto requests = sent();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[1].isRemote(8, 44));
    EXPECT_EQ(requests[1].payload, Bytes{0});

    // A status the daemon cannot read is no reason not to set.
    for (const PeerAnswer &answer :
         {PeerAnswer::Status(kMqFail), PeerAnswer::Bytes(Bytes(393, 1)), PeerAnswer::Bytes({2})}) {
        peer().scriptRemote(8, 11, answer);
        EXPECT_EQ(call(kWiredUsb, Bytes{1}).result, 0);
        EXPECT_EQ(trace(), (std::vector<std::string>{"RA 8,11", "RA 8,44"}));
    }
    peer().scriptRemote(8, 44, PeerAnswer::Status(kErr));
    EXPECT_EQ(call(kWiredUsb, Bytes{1}).result, kErr);
}

TEST_F(System, RotationIsSentOnlyWhenTheRemoteReportsANewOne)
{
    resetRotation();
    EXPECT_EQ(call(kButton, buttonArg(1, 0x21)).result, 0);
    auto requests = sent();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[0].isTyped("ztc_system_set_rc_rotation"));
    EXPECT_EQ(requests[0].payload, Bytes{2});  // the code; 180 degrees
    EXPECT_TRUE(requests[1].isTyped("ztc_system_set_button"));
    EXPECT_EQ(requests[1].payload, (Bytes{0, 4}));

    EXPECT_EQ(call(kButton, buttonArg(1, 0x21)).result, 0);
    EXPECT_EQ(sentTyped("ztc_system_set_button"), (Bytes{0, 4}));

    // A failed rotation does not fail the press, and is not sent again.
    peer().scriptTyped("ztc_system_set_rc_rotation", PeerAnswer::Status(kErr));
    EXPECT_EQ(call(kButton, buttonArg(18, 0x30)).result, 0);
    EXPECT_EQ(sentTyped("ztc_system_set_rc_rotation"), Bytes{3});
    EXPECT_EQ(call(kButton, buttonArg(18, 0x30)).result, 0);
    EXPECT_TRUE(sent().empty());
    peer().clearScript();
    resetRotation();
    EXPECT_EQ(sentTyped("ztc_system_set_rc_rotation"), Bytes{0});
}

TEST_F(System, PlainAndMultiCamButtonsTranslateTypeAndState)
{
    resetRotation();
    struct Case {
        uint32_t type, raw;
        std::string function;
        Bytes payload;
    };
    const Case cases[] = {
        {0, 0, "ztc_system_set_button", {1, 3}},
        {0, 1, "ztc_system_set_button", {1, 4}},
        {1, 0, "ztc_system_set_button", {0, 3}},
        {2, 1, "ztc_system_set_button", {2, 4}},
        {16, 0, "ztc_shutter", {1}},
        {16, 1, "ztc_shutter", {0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.type * 100 + c.raw);
        EXPECT_EQ(call(kButton, buttonArg(c.type, c.raw)).result, 0);
        EXPECT_EQ(sentTyped(c.function), c.payload);
    }
    for (const Bytes &arg :
         {buttonArg(0, 2), buttonArg(16, 2), buttonArg(3, 0), buttonArg(19, 0), buttonArg(17, 4)}) {
        EXPECT_EQ(call(kButton, arg).result, kInvalid);
        EXPECT_TRUE(sent().empty() || (sent().size() == 1 && sent()[0].isRemote(8, 11)));
    }
    EXPECT_EQ(call(kButton, buttonArg(18, 1)).result, 0);
    EXPECT_TRUE(sent().empty());

    peer().scriptTyped("ztc_system_set_button", PeerAnswer::Status(kErr));
    EXPECT_EQ(call(kButton, buttonArg(2, 0)).result, kErr);
}

TEST_F(System, MultiCamModeActivatesThePresetOfTheChosenFamily)
{
    resetRotation();
    peer().scriptRemote(8, 11,
                        PeerAnswer::Bytes(zttest::StatusBlock()
                                              .videoPreset(0x101)
                                              .photoPreset(0x10102)
                                              .timeLapsePreset(0x20103)
                                              .group(1)
                                              .bytes()));
    auto activated = [&](uint32_t modeType) -> std::optional<Bytes> {
        const int32_t result = call(kButton, buttonArg(17, modeType)).result;
        EXPECT_EQ(result, 0) << "mode type " << modeType;
        for (const PeerRequest &r : sent())
            if (r.isRemote(17, 12))
                return r.payload;
        return std::nullopt;
    };
    EXPECT_EQ(activated(0), u32Arg(0x101));
    EXPECT_EQ(activated(1), u32Arg(0x10102));
    EXPECT_EQ(activated(2), u32Arg(0x20103));

    // Mode type 3: the family of the default application mode's group.
    const std::pair<uint8_t, uint32_t> groups[] = {
        {12, 0x10102}, {0, 0x101}, {14, 0x101}, {5, 0x20103}, {4, 0x10102}};
    for (const auto &[group, preset] : groups) {
        peer().scriptRemote(7, 10, PeerAnswer::Bytes({group}));
        EXPECT_EQ(activated(3), u32Arg(preset)) << "group " << int(group);
    }
    // Group 15 is the power-on default preset.
    peer().scriptRemote(7, 10, PeerAnswer::Bytes({15}));
    peer().scriptRemote(17, 25, PeerAnswer::Bytes({6, 0, 0, 0}));
    EXPECT_EQ(activated(3), u32Arg(6));

    peer().scriptRemote(17, 25, PeerAnswer::Status(kErr));
    EXPECT_EQ(call(kButton, buttonArg(17, 3)).result, kErr);
    peer().scriptRemote(7, 10, PeerAnswer::Bytes({7}));
    EXPECT_EQ(call(kButton, buttonArg(17, 3)).result, kInvalid);
    peer().scriptRemote(7, 10, PeerAnswer::Status(kMqFail));
    EXPECT_EQ(call(kButton, buttonArg(17, 3)).result, kErr);
    for (const PeerRequest &r : sent())
        EXPECT_FALSE(r.isRemote(17, 12));

    peer().scriptRemote(8, 11, PeerAnswer::Bytes({2}));
    EXPECT_EQ(call(kButton, buttonArg(17, 0)).result, kNakOff);
    peer().scriptRemote(8, 11, PeerAnswer::Status(kMqFail));
    EXPECT_EQ(call(kButton, buttonArg(17, 0)).result, kErr);
    EXPECT_EQ(trace(), (std::vector<std::string>{"RA 8,11"}));
}

// A camera whose multi-camera mode is its own business.
class SystemModel60 : public System {
protected:
    static void SetUpTestSuite()
    {
        startSuite([](ZtFirmwarePeer &peer) { peer.setCsiItem(1, 60); });
    }
};

TEST_F(SystemModel60, MultiCamModeIsIgnored)
{
    resetRotation();
    EXPECT_EQ(call(kButton, buttonArg(17, 0)).result, 0);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(call(kButton, buttonArg(16, 0)).result, 0);
    EXPECT_EQ(sentTyped("ztc_shutter"), Bytes{1});
}

}  // namespace
