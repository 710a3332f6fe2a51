// ztctl's command line: command names and values, the generic argument
// options and the friendly subcommands' words. The daemon reads arguments at
// fixed offsets, refuses an argument element where a command takes none and a
// preset request without its required fields, so whole layouts are compared.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <sstream>

#include "ClientMessages.h"
#include "CommandLine.h"
#include "Subcommand.h"
#include <google/protobuf/text_format.h>

#include "ztControlCommands/ztControl_presets.pb.h"
#include "ztcontrol_commands.h"

namespace {

using ztctl::Bytes;
using zttest::textArg;
using Sent = std::pair<uint32_t, std::optional<Bytes>>;
namespace zp = ztcontrol::presets;

// Parses space-separated words after "ztctl"; the refusal text goes to `error`.
std::optional<ztctl::Options> parseLine(const std::string &line, std::string *error = nullptr)
{
    std::istringstream in(line);
    const std::vector<std::string> words{std::istream_iterator<std::string>(in), {}};
    std::vector<const char *> argv{"ztctl"};
    for (const std::string &w : words)
        argv.push_back(w.c_str());
    std::string e;
    return ztctl::parseCommandLine(static_cast<int>(argv.size()), argv.data(), error ? *error : e);
}

// The serialised message of type M written as protobuf text.
template <typename M>
Bytes pb(const char *text)
{
    M m;
    EXPECT_TRUE(google::protobuf::TextFormat::ParseFromString(text, &m)) << text;
    const std::string s = m.SerializeAsString();
    return Bytes(s.begin(), s.end());
}

// `size` zero bytes with each of `fields` copied in at its offset.
Bytes record(size_t size, std::initializer_list<std::pair<size_t, Bytes>> fields)
{
    Bytes b(size, 0);
    for (const auto &[offset, bytes] : fields)
        std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<long>(offset));
    return b;
}

TEST(CommandLine, OptionsAndWordsBuildTheDaemonsCommandAndArgumentLayouts)
{
    using zttest::words;
    const Bytes one = words({1}), none;
    // clang-format off
    const std::pair<std::string, Sent> cases[] = {
        // Command names in every form and any 32-bit value.
        {"ZTCONTROL_GET_BUSY_STATUS", {ZTCONTROL_GET_BUSY_STATUS, {}}},
        {"GET_BUSY_STATUS", {ZTCONTROL_GET_BUSY_STATUS, {}}},
        {"get-busy-status", {ZTCONTROL_GET_BUSY_STATUS, {}}},
        {"ztcontrol_event_register_mqueue", {ZTCONTROL_EVENT_REGISTER_MQUEUE, {}}},
        {"stop", {ZTCONTROL_CMD_LAST, {}}},
        {"0x64", {ZTCONTROL_GET_BUSY_STATUS, {}}},
        {"4000000000", {4000000000u, {}}},
        // Generic options append little-endian in the order given; none means
        // no argument element, --empty an empty one; params are joined.
        {"--u8 7 command_shutter --u16 0x1234 --u32 -2 --hex aa:BB --textz hi",
         {ZTCONTROL_COMMAND_SHUTTER,
          Bytes{7, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 0xAA, 0xBB, 'h', 'i', 0}}},
        {"100 --u16 -32768 --text ab", {ZTCONTROL_GET_BUSY_STATUS, Bytes{0, 0x80, 'a', 'b'}}},
        {"100 --empty", {ZTCONTROL_GET_BUSY_STATUS, none}},
        {"push_notifications --param status=1 --param x=2",
         {ZTCONTROL_PUSH_NOTIFICATIONS, textArg("status=1&x=2")}},
        // Capture, modes, settings and system; button words pack the state
        // and rotation code.
        {"shutter on", {ZTCONTROL_COMMAND_SHUTTER, Bytes{1}}},
        {"mode photo", {ZTCONTROL_MODE, one}},
        {"mode 18", {ZTCONTROL_MODE, words({18})}},
        {"submode video 4", {ZTCONTROL_MODE_SUB_MODE, words({0, 4})}},
        {"set-mode photo-night", {ZTCONTROL_MODE_SET_MODE, Bytes{18, 0}}},
        {"zoom 0x105", {ZTCONTROL_DIGITAL_ZOOM, words({0x105})}},
        {"quick-capture", {ZTCONTROL_QUICK_CAPTURE_START, Bytes{1}}},
        {"set-mode group-timelapse", {ZTCONTROL_MODE_SET_MODE, Bytes{0xEA, 3}}},
        {"log-level 4", {ZTCONTROL_SET_LOG_LEVEL, words({4})}},
        {"exposure reset", {ZTCONTROL_LIVEVIEW_MODE_SET, Bytes(kZtLiveviewArgSize, 0)}},
        {"exposure lens 30 40 1", {ZTCONTROL_LIVEVIEW_MODE_SET, words({3, 30, 40, 1})}},
        {"setting 0x90 300", {ZTCONTROL_SET_SETTING_ID, words({0x90, 300})}},
        {"setting preroll off", {ZTCONTROL_SET_SETTING_ID, words({167, 4})}},
        {"locate on", {ZTCONTROL_LOCATE, Bytes{1}}},
        {"usb-control off", {ZTCONTROL_SET_WIRED_USB_CONTROL, Bytes{0}}},
        {"button mode release 180", {ZTCONTROL_SYSTEM_BUTTON_SET, words({1, 0x21})}},
        {"button shutter press", {ZTCONTROL_SYSTEM_BUTTON_SET, words({0, 0})}},
        {"multicam shutter off", {ZTCONTROL_SYSTEM_BUTTON_SET, words({16, 1})}},
        {"multicam mode default", {ZTCONTROL_SYSTEM_BUTTON_SET, words({17, 3})}},
        // Wireless, media and date.
        {"wifi ap on", {ZTCONTROL_WIFI_AP_CONTROL, one}},
        {"wifi band 1", {ZTCONTROL_WIFI_BAND_SELECT, one}},
        {"wifi scan", {ZTCONTROL_WIFI_SSID_SCAN, Bytes{1}}},
        {"wifi list", {ZTCONTROL_WIFI_SSID_LIST, Bytes{0}}},
        {"wifi list 9", {ZTCONTROL_WIFI_SSID_LIST, Bytes{9}}},
        {"fwupdate done failed", {ZTCONTROL_FW_UPDATE_DONE, Bytes{0}}},
        {"voice mode 2", {ZTCONTROL_VOICE_MODE, Bytes{2}}},
        {"date set 2026-12-05T19:30:07",
         {ZTCONTROL_SET_DATE_TIME, Bytes{0xEA, 0x07, 12, 5, 19, 30, 7}}},
        {"delete A.MP4", {ZTCONTROL_DELETE, textArg("A.MP4", true)}},
        // Records put each field at its fixed offset.
        {"wifi ap-config Cam secret 2",
         {ZTCONTROL_WIFI_AP_SSID_CONFIG,
          record(kZtNetworkArgSize, {{kZtNetworkArgSsidOffset, textArg("Cam")},
                                     {kZtNetworkArgPasswordOffset, textArg("secret")},
                                     {kZtNetworkArgModeOffset, {2}}})}},
        {"wifi connect Home pw 3",
         {ZTCONTROL_WIFI_SSID_SELECT,
          record(kZtNetworkArgSize, {{kZtNetworkArgSsidOffset, textArg("Home")},
                                     {kZtNetworkArgPasswordOffset, {'p', 'w'}},
                                     {kZtNetworkArgAuthOffset, {3}}})}},
        {"tag 100ZTCAM/ZT010001.MP4 1234 7",
         {ZTCONTROL_KEYMARK_TAG_PLAYBACK,
          record(kZtTagArgSize, {{kZtTagArgWordOffset, {7}},
                                 {kZtTagArgNameOffset, textArg("100ZTCAM/ZT010001.MP4")},
                                 {kZtTagArgOffsetOffset, {0xD2, 4}}})}},
        {"delete-list A.MP4 B.JPG:3",
         {ZTCONTROL_DELETE_LIST,
          record(2 * kZtDeleteItemSize,
                 {{kZtDeleteItemNameOffset, textArg("A.MP4")},
                  {kZtDeleteItemSize + kZtDeleteItemCodeOffset, {3}},
                  {kZtDeleteItemSize + kZtDeleteItemNameOffset, textArg("B.JPG")}})}},
        // Commands without arguments send no argument element; a subcommand
        // name without words is its catalogue command, as sent raw.
        {"busy", {ZTCONTROL_GET_BUSY_STATUS, {}}},
        {"advset-reset", {ZTCONTROL_ADVSET_RESET, {}}},
        {"advset-reset photo", {ZTCONTROL_PHOTO_ADVSET_RESET, {}}},
        {"analytics", {ZTCONTROL_ANALYTICS_FILENAME_GET, {}}},
        {"analytics clear", {ZTCONTROL_ANALYTICS_CLEAR, {}}},
        {"wifi forget-all", {ZTCONTROL_WIFI_SSID_DELETE_ALL, {}}},
        {"pair cancel", {ZTCONTROL_RC_PAIR_CANCEL, {}}},
        {"ble off", {ZTCONTROL_BLE_CONTROL, {}}},
        {"date", {ZTCONTROL_GET_DATE_TIME, {}}},
        {"tag", {ZTCONTROL_KEYMARK_TAG_RECORDING, {}}},
        {"delete", {ZTCONTROL_DELETE, {}}},
        {"delete-result", {ZTCONTROL_GET_DELETE_LIST_RESULT, {}}},
        {"voice delete-last", {ZTCONTROL_VOICE_DELETE_LAST, {}}},
        {"preset groups", {ZTCONTROL_PRESET_LIST_GROUPS, {}}},
        {"presets", {ZTCONTROL_PRESET_GET_PRESETS, {}}},
        // Preset requests are complete messages.
        {"preset create photo photo-night bike Snow",
         {ZTCONTROL_PRESET_CUSTOM_CREATE, pb<zp::ZTC_Preset_Custom_Create_Req>(
             "group_id: 1001 flat_mode: 18 preset_icon: 20 preset_name: 29 "
             "preset_name_iterator: 0")}},
        {"preset create 2 20 1000 79",
         {ZTCONTROL_PRESET_CUSTOM_CREATE, pb<zp::ZTC_Preset_Custom_Create_Req>(
             "group_id: 2 flat_mode: 20 preset_icon: 1000 preset_name: 79 "
             "preset_name_iterator: 0")}},
        {"preset info 0x10003",
         {ZTCONTROL_PRESET_GET_INFO, pb<zp::ZTC_Preset_Info_Req>("preset_id: 65539")}},
        {"preset order 256 0",
         {ZTCONTROL_PRESET_SET_ORDER, pb<zp::ZTC_Preset_Set_Order_Req>("preset_id: 256 order: 0")}},
        {"preset ids timelapse",
         {ZTCONTROL_PRESET_LIST_IDS, pb<zp::ZTC_Preset_List_Req>("group_id: 1002")}},
        {"preset flatmode looping",
         {ZTCONTROL_PRESET_SWITCH_FLATMODE,
          pb<zp::ZTC_Preset_Switch_Flatmode_Req>("flat_mode: 15")}},
        {"preset title-icon icon=custom",
         {ZTCONTROL_PRESET_SET_TITLE_AND_ICON,
          pb<zp::ZTC_Preset_Set_Title_Icon_Req>("preset_icon: 18")}},
        {"preset title-icon title=air icon=19",
         {ZTCONTROL_PRESET_SET_TITLE_AND_ICON,
          pb<zp::ZTC_Preset_Set_Title_Icon_Req>("preset_name: 19 preset_icon: 19")}}};
    // clang-format on
    for (const auto &[line, expected] : cases) {
        auto o = parseLine(line);
        ASSERT_TRUE(o) << line;
        EXPECT_EQ(Sent(o->command, o->argument), expected) << line;
    }
    auto o = parseLine("busy --option 7 --idle 9 --port 1");
    ASSERT_TRUE(o);
    EXPECT_EQ(std::tie(o->option, o->watchIdleMs, o->port), std::make_tuple(7, 9u, 1));
    // A setting change is checked against the model's options before sending.
    o = parseLine("setting video_resolution 55");
    ASSERT_TRUE(o && o->settingChange);
    EXPECT_EQ(*o->settingChange, std::make_pair(2u, 55u));
    EXPECT_EQ(ztctl::checkSettingOption(60, 2, 25).substr(0, 57),
              "video_resolution: 25 is not an option on model 60; its op");
    EXPECT_EQ(ztctl::checkSettingOption(57, 179, 1), "model 57 has no timewarp_speed");
    EXPECT_STREQ(ztctl::commandName(ZTCONTROL_CMD_LAST), "ZTCONTROL_CMD_LAST");
    EXPECT_EQ(ztctl::commandName(ZTCONTROL_CMD_LAST + 1), nullptr);
}

TEST(CommandLine, MalformedLinesAreRefusedBeforeSending)
{
    // clang-format off
    const std::string refused[] = {
        "3 --u8 256", "3 --u8 -129", "3 --u16 12x", "3 --hex abc", "3 --hex a:bc", "3 --hex zz",
        "BUSY" /* no partial matches */, "4294967296", "12abc", "3 --param novalue", "3 --param =v",
        "3 --u32", "3 4", "3 --bogus", "", "--raw", "3 --queue noslash", "3 --queue /a/b",
        "3 --port 65536", "nosuchcommand", "shutter maybe", "shutter 256", "submode video",
        "set-mode unknown", "set-mode 70000", "exposure spot 1", "busy now", "setting 2",
        "setting 2 x", "setting nosuch 1", "shutdown 1", "advset-reset audio", "locate 256", "button power press",
        "button mode press 45", "multicam mode slomo", "wifi connect", "wifi ap maybe",
        "wifi list 256", "date set 2026-13-05T19:30:07", "voice sing", "tag A.MP4", "tag A.MP4 1 x",
        "tag " + std::string(kZtTagArgNameField, 't') + " 1",
        "delete-list " + std::string(kZtDeleteItemNameField, 'n'),
        "wifi save s " + std::string(kZtNetworkArgPasswordField, 'p'), "delete-list A:256",
        "preset", "preset rename",
        "preset info", "preset info seven", "preset order 1", "preset create video video bike",
        "preset create video filmic bike bike", "preset title-icon",
        "preset title-icon title=bike title=snow",
        "preset title-icon colour=red", "preset groups all", "presets all"};
    // clang-format on
    for (const std::string &line : refused)
        EXPECT_FALSE(parseLine(line)) << line;
    // The cause, then one line of help.
    const std::pair<std::string, std::string> causes[] = {
        {"3 --u8 256", "--u8: '256' is not a 8-bit number"},
        {"shutter maybe",
         "shutter: 'maybe' is not one of: off, on (or a number)\n"
         "usage: ztctl shutter on|off|N"},
        {"shuter on", "unknown command 'shuter'; did you mean: shutter\n"},
        {"--verbos", "unknown option --verbos; did you mean: --verbose"},
        {"shutter", "'shutter' needs more words\nusage: ztctl shutter on|off|N"}};
    std::string error;
    for (const auto &[line, cause] : causes) {
        EXPECT_FALSE(parseLine(line, &error));
        EXPECT_EQ(error.substr(0, cause.size()), cause);
        EXPECT_LE(std::count(error.begin(), error.end(), '\n'), 1) << error;
    }
    EXPECT_FALSE(parseLine("wifi save " + std::string(kZtNetworkArgSsidField, 's'), &error));
    EXPECT_NE(error.find("SSID"), std::string::npos) << error;
    EXPECT_EQ(parseLine("--u8 1 -h")->action, ztctl::Action::Help);
}

}  // namespace
