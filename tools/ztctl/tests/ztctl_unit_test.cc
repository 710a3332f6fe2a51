// ztctl in-process: the command line (command names and values, the generic
// argument options and the friendly subcommands' words; the daemon reads
// arguments at fixed offsets, refuses an argument element where a command
// takes none and a preset request without its required fields, so whole
// layouts are compared) and the printing of what the daemon sends (decoded
// answers, refusals with their reason, bytes only when asked, the decoded
// forms of known payloads, never of bytes that do not fit a shape, and
// notifications by name as watch prints them).
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <sstream>

#include "ClientMessages.h"
#include "CommandLine.h"
#include "ReplyFormatter.h"
#include "StateTable.h"
#include "Subcommand.h"
#include <google/protobuf/text_format.h>

#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"
#include "wsdkCommands/WSDK_Preset.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"
#include "ztcontrol_commands.h"

namespace {

using ztctl::Bytes;
using ztctl::decodePayload;
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
        // name without words is its catalogue command, as sent raw. Each row
        // goes through another subcommand's word parser.
        {"busy", {ZTCONTROL_GET_BUSY_STATUS, {}}},
        {"advset-reset", {ZTCONTROL_ADVSET_RESET, {}}},
        {"analytics", {ZTCONTROL_ANALYTICS_FILENAME_GET, {}}},
        {"analytics clear", {ZTCONTROL_ANALYTICS_CLEAR, {}}},
        {"wifi forget-all", {ZTCONTROL_WIFI_SSID_DELETE_ALL, {}}},
        {"pair cancel", {ZTCONTROL_RC_PAIR_CANCEL, {}}},
        {"ble off", {ZTCONTROL_BLE_CONTROL, {}}},
        {"tag", {ZTCONTROL_KEYMARK_TAG_RECORDING, {}}},
        {"delete-result", {ZTCONTROL_GET_DELETE_LIST_RESULT, {}}},
        {"voice delete-last", {ZTCONTROL_VOICE_DELETE_LAST, {}}},
        {"preset groups", {ZTCONTROL_PRESET_LIST_GROUPS, {}}},
        {"advset-reset photo", {ZTCONTROL_PHOTO_ADVSET_RESET, {}}},
        {"date", {ZTCONTROL_GET_DATE_TIME, {}}},
        {"delete", {ZTCONTROL_DELETE, {}}},
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

TEST(AnswerPrinting, RawBytesJsonAndAnswersWithoutADecodedForm)
{
    // (The decoded answer and a refusal with its reason are printed by the
    // ztctl process tests.)
    const ztctl::Answer busy{true, 0, Bytes{1}};
    const std::string head =
        "result: 0 (ZT_OK)\npayload: 1 bytes\n  0000  01" + std::string(45, ' ') + "  |.|\n";
    EXPECT_EQ(ztctl::formatAnswer(ZTCONTROL_GET_BUSY_STATUS, busy, true), head);
    EXPECT_EQ(ztctl::formatAnswer(ZTCONTROL_COMMAND_SHUTTER, {true, 0, {}}, false), "ok\n");
    EXPECT_EQ(ztctl::formatAnswer(ZTCONTROL_SYSTEM_GET_GEOCAL, {true, 0, Bytes{1, 2}}, false),
              "2 bytes of payload (--raw shows them)\n");
    EXPECT_EQ(ztctl::formatAnswer(ZTCONTROL_GET_BUSY_STATUS, busy, false, {true, false}),
              "{\"command\":100,\"name\":\"ZTCONTROL_GET_BUSY_STATUS\",\"result\":0,"
              "\"result_name\":\"ZT_OK\",\"payload\":\"01\"}\n");
    const std::string text = "ABCDEFGHIJKLMN\x1f\x7f~";
    EXPECT_EQ(ztctl::formatAnswer(ZTCONTROL_EVENT_FILTER_IN,
                                  {false, 0, Bytes(text.begin(), text.end())}, true),
              "result: missing\npayload: 17 bytes\n"
              "  0000  41 42 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 1f 7f  |ABCDEFGHIJKLMN..|\n"
              "  0010  7e" +
                  std::string(45, ' ') + "  |~|\n");
}

TEST(AnswerPrinting, KnownShapesAreDecodedAndOthersAreNot)
{
    const Bytes preset = pb<wsdk_commands::WSDK_Preset>(
        "id: 65539 mode: WSDK_FLAT_MODE_PHOTO_NIGHT title_id: WSDK_PRESET_TITLE_NIGHT "
        "title_number: 2 setting_array { id: 167 value: 4 }");
    const Bytes list = pb<wsdk_commands::WSDK_NotifyPresetStatus>(
        "preset_group_array { id: WSDK_PRESET_GROUP_ID_TIMELAPSE preset_array { id: 65536 } }");
    // Offset 2, scan id 9, 1 entry of 5 networks, a second not counted.
    Bytes scan(kZtScanListSize, 0);
    const size_t first = kZtScanListEntriesOffset, second = first + kZtScanListEntrySize;
    scan[kZtScanListOffsetOffset] = 2, scan[kZtScanListScanIdOffset] = 9;
    scan[kZtScanListCountOffset] = 1, scan[kZtScanListFoundOffset] = 5;
    scan[first + kZtScanEntryBarsOffset] = 4, scan[first + kZtScanEntryFlagsOffset] = 5;
    scan[first + kZtScanEntryWordOffset] = 0x85;  // 2437
    scan[first + kZtScanEntryWordOffset + 1] = 0x09;
    std::copy_n("ZT-Home", 7, &scan[first + kZtScanEntryNameOffset]);
    std::copy_n("not counted", 11, &scan[second + kZtScanEntryNameOffset]);
    // clang-format off
    const std::tuple<uint32_t, Bytes, std::string> cases[] = {
        {ZTCONTROL_ANALYTICS_FILENAME_GET, {'a', '.', 'b', 0, 0}, "text: \"a.b\""},
        {ZTCONTROL_ANALYTICS_FILENAME_GET, {1, 2}, ""},
        {ZTCONTROL_ANALYTICS_FILENAME_GET, {'a', 0x7F}, ""},
        {ZTCONTROL_ANALYTICS_FILENAME_GET, {0, 0}, ""},
        {ZTCONTROL_GET_BUSY_STATUS, {1, 0}, ""},
        {ZTCONTROL_PRESET_GET_ACTIVE_PRESET, {3, 0, 1, 0}, "active preset id: 0x10003"},
        {ZTCONTROL_PRESET_GET_ACTIVE_GROUP, {0xE9, 3, 0, 0}, "active preset group: 1001 photo"},
        {ZTCONTROL_WIFI_SSID_SCAN, {5, 0, 0, 0}, "scan id: 5"},
        {ZTCONTROL_GET_DATE_TIME, {0xEA, 0x07, 1, 2, 3, 4, 5}, "date: 2026-01-02 03:04:05"},
        {ZTCONTROL_GET_DATE_TIME, {0xEA, 0x07}, ""},
        {ZTCONTROL_GET_DELETE_LIST_RESULT, {1, 2, 3},
         "delete list result: 1 (deleted 2, missing 3)"},
        {ZTCONTROL_GET_DELETE_LIST_RESULT, {1}, "delete list result: 1"},
        {ZTCONTROL_WIFI_SSID_LIST, Bytes(kZtScanListSize - 1, 0), ""},
        {ZTCONTROL_WIFI_SSID_LIST, scan,
         "offset 2, scan id 9, 1 entries, 5 networks found\n   0  ZT-Home" + std::string(25, ' ') +
             "  bars 4  flags 0x05  word 2437"},
        // Presets as a table, ids in hex, settings by name with their option
        // names; bytes that do not parse are not printed.
        {ZTCONTROL_PRESET_GET_INFO, preset,
         "\n0x10003   photo      night 2             photo-night         no\n"
         "    preroll                             4  off"},
        {ZTCONTROL_PRESET_GET_PRESETS, list,
         "\n0x10000   timelapse  activity                                no"},
        {ZTCONTROL_PRESET_GET_INFO, {0xFF, 0xFF}, ""},
        // Blocks as tables of the members the daemon pushes (lens mode as
        // setting 193); a refusal or a block of another size is not decoded.
        {ZTCONTROL_GET_ALL_STATUS, Bytes(394, 0), "status:\n  battery_present"},
        {ZTCONTROL_GET_ALL_STATUS, Bytes(394, 0), "\n  battery_percent                     0  %\n"},
        {ZTCONTROL_GET_ALL_SETTINGS, Bytes(238, 0), "settings:\n  video_resolution"},
        {ZTCONTROL_GET_ALL_SETTINGS_STATUS, Bytes(634, 0), "\nsettings:\n"},
        {ZTCONTROL_GET_ALL_SETTINGS_STATUS, Bytes(634, 0), "\n  lens_mode                           0"},
        {ZTCONTROL_GET_ALL_STATUS, Bytes(395, 0), ""},
        {ZTCONTROL_GET_ALL_SETTINGS, Bytes(237, 0), ""},
        {ZTCONTROL_GET_ALL_SETTINGS_STATUS, Bytes(633, 0), ""}};
    // clang-format on
    for (const auto &[command, payload, text] : cases) {
        const std::string decoded = decodePayload(command, payload);
        if (text.empty() || (text[0] != '\n' && text.find(':') == std::string::npos) ||
            command == ZTCONTROL_WIFI_SSID_LIST || command < ZTCONTROL_GET_ALL_SETTINGS)
            EXPECT_EQ(decoded, text) << command;
        else
            EXPECT_NE(decoded.find(text), std::string::npos) << decoded;
    }
    const std::pair<uint32_t, size_t> blocks[] = {{ZTCONTROL_GET_ALL_SETTINGS, 238},
                                                  {ZTCONTROL_GET_ALL_STATUS, 394},
                                                  {ZTCONTROL_GET_ALL_SETTINGS_STATUS, 634}};
    for (const auto &[command, size] : blocks)  // the block's bytes are what is decoded
        EXPECT_NE(decodePayload(command, Bytes(size, 1)), decodePayload(command, Bytes(size, 0)));
}

// (Which status counters watch leaves out is checked on the ztctl process.)
TEST(Notifications, ItemsAreShownByNameWithUnitsAndOptionNames)
{
    const std::string text =
        "{\"status\":{\"70\":87,\"89\":12,\"94\":65539},\n"
        "\"settings\":{\"167\":2,\"2\":55}\n}";
    std::vector<ztctl::Item> members(8);
    size_t count = 0;
    ASSERT_EQ(ztclient_parse_notification(text.data(), text.size(), members.data(), members.size(),
                                          &count),
              ZTCLIENT_CHANGES);
    members.resize(count);
    EXPECT_EQ(ztctl::formatTable(members),
              "status:\n"
              "  battery_percent                    87  %\n"
              "  flat_mode                          12  video\n"
              "  photo_preset                  0x10003\n"
              "settings:\n"
              "  preroll                             2  15 s\n"
              "  video_resolution                   55\n");
    EXPECT_EQ(ztctl::formatJson(members, "\"kind\":\"changes\""),
              "{\"kind\":\"changes\",\"status\":{\"battery_percent\":87,\"flat_mode\":12,"
              "\"photo_preset\":65539},\"settings\":{\"preroll\":2,\"video_resolution\":55}}");
    // A setting is never one of the throttled counters watch leaves out, even
    // with the number of one.
    EXPECT_FALSE(ztctl::isThrottled({ZTCLIENT_SETTING, 117, 1, nullptr, nullptr, nullptr}));
}

}  // namespace
