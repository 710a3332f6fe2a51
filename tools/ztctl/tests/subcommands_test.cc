// ztctl's friendly subcommands: the command values and argument layouts they
// build (the daemon reads them at fixed offsets and refuses argument
// elements where none is taken), the preset request messages (the daemon
// refuses one without its required fields), and the words refused before
// anything is sent.
#include <gtest/gtest.h>

#include <string.h>

#include "ztControlCommands/ztControl_presets.pb.h"
#include "ztctlTestSupport.h"

namespace {

using ztctltest::Bytes;
using ztctltest::parse;
using ztctltest::parseLine;
namespace zp = ztcontrol::presets;

TEST(Subcommands, WordsBuildTheDaemonsArgumentLayouts)
{
    const Bytes u32one{1, 0, 0, 0};
    const std::pair<std::string, std::pair<uint32_t, Bytes>> cases[] = {
        // Capture and modes.
        {"shutter on", {3, {1}}},
        {"shutter off", {3, {0}}},
        {"mode photo", {4, u32one}},
        {"mode 18", {4, {18, 0, 0, 0}}},
        {"submode video 4", {5, {0, 0, 0, 0, 4, 0, 0, 0}}},
        {"set-mode photo-night", {67, {18, 0}}},
        {"set-mode TIME_LAPSE_VIDEO", {67, {13, 0}}},
        {"set-mode group-timelapse", {67, {0xEA, 0x03}}},
        {"capture-delay 3", {66, {3, 0, 0, 0}}},
        {"zoom 0x105", {61, {5, 1, 0, 0}}},
        {"quick-capture", {99, {1}}},
        {"exposure reset", {51, Bytes(16, 0)}},
        {"exposure lens 30 40 1", {51, {3, 0, 0, 0, 30, 0, 0, 0, 40, 0, 0, 0, 1, 0, 0, 0}}},
        // Settings and system.
        {"setting 2 1", {30, {2, 0, 0, 0, 1, 0, 0, 0}}},
        {"setting 0x90 300", {30, {0x90, 0, 0, 0, 0x2C, 1, 0, 0}}},
        {"speed-ramp 3", {85, {3, 0, 0, 0}}},
        {"speed-ramp-active 1", {86, u32one}},
        {"locate on", {37, {1}}},
        {"log-level 4", {42, {4, 0, 0, 0}}},
        {"usb-control off", {96, {0}}},
        {"auto-clear on", {97, {1}}},
        // Button words pack the state and the rotation code.
        {"button mode release 180", {88, {1, 0, 0, 0, 0x21, 0, 0, 0}}},
        {"button shutter press", {88, Bytes(8, 0)}},
        {"multicam shutter off", {88, {16, 0, 0, 0, 1, 0, 0, 0}}},
        {"multicam mode default", {88, {17, 0, 0, 0, 3, 0, 0, 0}}},
        // Wireless, media and date.
        {"wifi ap on", {16, u32one}},
        {"wifi ap off", {16, {0, 0, 0, 0}}},
        {"wifi band 1", {18, u32one}},
        {"wifi scan", {19, {1}}},
        {"wifi list", {20, {0}}},
        {"wifi list 10", {20, {10}}},
        {"fwupdate done failed", {15, {0}}},
        {"date set 2026-12-05T19:30:07", {6, {0xEA, 0x07, 12, 5, 19, 30, 7}}},
        {"delete A.MP4", {9, {'A', '.', 'M', 'P', '4', 0}}},
        {"voice mode 2", {59, {2}}},
    };
    for (const auto &[line, expected] : cases) {
        auto o = parseLine(line);
        ASSERT_TRUE(o) << line;
        EXPECT_EQ(o->command, expected.first) << line;
        EXPECT_EQ(o->argument, expected.second) << line;
    }
}

// The daemon refuses an argument element where its command takes none.
TEST(Subcommands, CommandsWithoutArgumentsSendNoArgumentElement)
{
    const std::pair<const char *, uint32_t> cases[] = {
        {"busy", 100},
        {"settings", 32},
        {"status", 33},
        {"state", 34},
        {"advset-reset", 68},
        {"advset-reset photo", 28},
        {"calibration-file", 64},
        {"shutdown", 35},
        {"sleep", 36},
        {"analytics", 39},
        {"analytics clear", 40},
        {"wifi forget-all", 24},
        {"pair start", 25},
        {"pair cancel", 26},
        {"ble off", 65},
        {"date", 98},
        {"tag", 7},
        {"delete", 9},  // the catalogue command, as sent raw
        {"delete-last", 10},
        {"delete-result", 94},
        {"voice delete-last", 63},
        {"preset groups", 70},
        {"preset cancel", 78},
        {"preset store", 79},
        {"preset shortcuts-reset", 84},
        {"preset active", 87},
        {"preset active-group", 89},
        {"presets", 81}};
    for (const auto &[line, command] : cases) {
        auto o = parseLine(line);
        ASSERT_TRUE(o) << line;
        EXPECT_EQ(o->command, command) << line;
        EXPECT_FALSE(o->argument) << line;
    }
}

TEST(Subcommands, MalformedWordsAreRefusedBeforeSending)
{
    const std::string refused[] = {
        "shutter maybe",
        "shutter 256",
        "submode video",
        "set-mode unknown",
        "set-mode 70000",
        "exposure spot 1",
        "busy now",
        "setting 2",
        "setting 2 x",
        "status now",
        "shutdown 1",
        "advset-reset audio",
        "locate 256",
        "button power press",
        "button mode press 45",
        "multicam mode slomo",
        "wifi connect",
        "wifi ap maybe",
        "date set 2026-13-05T19:30:07",
        "voice sing",
        "delete-list " + std::string(22, 'n'),  // no room for the name's NUL
        "preset",
        "preset rename",
        "preset info",
        "preset info seven",
        "preset create video video bike",
        "preset create video filmic bike bike",
        "preset title-icon",
        "preset title-icon title=bike title=snow",
        "preset title-icon colour=red",
        "preset groups all",
        "presets all"};
    for (const std::string &line : refused)
        EXPECT_FALSE(parseLine(line)) << line;
    std::string error;
    EXPECT_FALSE(parseLine("wifi save " + std::string(33, 's'), &error));
    EXPECT_NE(error.find("SSID"), std::string::npos) << error;
}

// The request message a command line builds, as protobuf text ("" when the
// line is refused or sends no argument).
template <typename Request>
std::string request(uint32_t command, const std::string &line)
{
    auto o = parseLine(line);
    if (!o || o->command != command || !o->argument)
        return "";
    Request r;
    if (!r.ParseFromArray(o->argument->data(), static_cast<int>(o->argument->size())))
        return "unparsable";
    return r.ShortDebugString();
}

TEST(PresetSubcommands, WordsBuildCompleteRequestMessages)
{
    EXPECT_EQ(
        request<zp::ZTC_Preset_Custom_Create_Req>(73, "preset create photo photo-night bike Snow"),
        "group_id: 1001 flat_mode: 18 preset_icon: 20 preset_name: 29 preset_name_iterator: 0");
    EXPECT_EQ(
        request<zp::ZTC_Preset_Custom_Create_Req>(73, "preset create 2 20 1000 79"),
        "group_id: 2 flat_mode: 20 preset_icon: 1000 preset_name: 79 preset_name_iterator: 0");
    EXPECT_EQ(request<zp::ZTC_Preset_Info_Req>(72, "preset info 0x10003"), "preset_id: 65539");
    EXPECT_EQ(request<zp::ZTC_Preset_Load_Req>(76, "preset load 7"), "preset_id: 7");
    EXPECT_EQ(request<zp::ZTC_Preset_Custom_Remove_Req>(74, "preset remove 256"), "preset_id: 256");
    EXPECT_EQ(request<zp::ZTC_Preset_Edit_Start_Req>(77, "preset edit 1"), "preset_id: 1");
    EXPECT_EQ(request<zp::ZTC_Preset_Factory_Reset_Req>(80, "preset factory-reset 2"),
              "preset_id: 2");
    EXPECT_EQ(request<zp::ZTC_Preset_Set_Order_Req>(75, "preset order 256 0"),
              "preset_id: 256 order: 0");
    EXPECT_EQ(request<zp::ZTC_Preset_List_Req>(71, "preset ids timelapse"), "group_id: 1002");
    EXPECT_EQ(request<zp::ZTC_Preset_Switch_Flatmode_Req>(82, "preset flatmode looping"),
              "flat_mode: 15");
    EXPECT_EQ(request<zp::ZTC_Preset_Set_Title_Icon_Req>(83, "preset title-icon icon=custom"),
              "preset_icon: 18");
    EXPECT_EQ(request<zp::ZTC_Preset_Set_Title_Icon_Req>(83, "preset title-icon title=air icon=19"),
              "preset_name: 19 preset_icon: 19");
}

TEST(Subcommands, RecordArgumentsPutEachFieldAtItsFixedOffset)
{
    auto o = parse({"wifi", "ap-config", "Cam", "secret", "2"});
    ASSERT_TRUE(o && o->argument);
    EXPECT_EQ(o->command, 17u);
    ASSERT_EQ(o->argument->size(), 108u);
    EXPECT_STREQ(reinterpret_cast<const char *>(o->argument->data()), "Cam");
    EXPECT_STREQ(reinterpret_cast<const char *>(o->argument->data() + 33), "secret");
    EXPECT_EQ((*o->argument)[104], 2);

    o = parse({"wifi", "connect", "Home", "pw", "3", "--timeout", "100"});
    ASSERT_TRUE(o && o->argument);
    EXPECT_EQ(o->command, 22u);
    EXPECT_EQ((*o->argument)[100], 3);
    EXPECT_EQ(o->timeoutMs, 100u);

    o = parse({"tag", "100ZTCAM/ZT010001.MP4", "1234", "7"});
    ASSERT_TRUE(o && o->argument);
    EXPECT_EQ(o->command, 8u);
    ASSERT_EQ(o->argument->size(), 268u);
    EXPECT_EQ((*o->argument)[0], 7);
    EXPECT_STREQ(reinterpret_cast<const char *>(o->argument->data() + 4), "100ZTCAM/ZT010001.MP4");
    EXPECT_EQ((*o->argument)[264], 1234 & 0xFF);
    EXPECT_EQ((*o->argument)[265], 1234 >> 8);

    o = parse({"delete-list", "A.MP4", "B.JPG:3"});
    ASSERT_TRUE(o && o->argument);
    EXPECT_EQ(o->command, 93u);
    ASSERT_EQ(o->argument->size(), 46u);
    EXPECT_EQ((*o->argument)[0], 0);
    EXPECT_STREQ(reinterpret_cast<const char *>(o->argument->data() + 1), "A.MP4");
    EXPECT_EQ((*o->argument)[23], 3);
    EXPECT_STREQ(reinterpret_cast<const char *>(o->argument->data() + 24), "B.JPG");
}

}  // namespace
