// ztctl's printing of what the daemon sends: decoded answers, refusals with
// their reason, bytes only when asked, the decoded forms of known payloads
// (bytes that do not fit a shape are never decoded), and notifications by
// name as watch prints them.
#include <gtest/gtest.h>

#include <algorithm>

#include "CommandLine.h"
#include "ReplyFormatter.h"
#include "StateTable.h"
#include <google/protobuf/text_format.h>

#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"
#include "wsdkCommands/WSDK_Preset.pb.h"
#include "ztcontrol_commands.h"

namespace {

using ztctl::Bytes;
using ztctl::decodePayload;

// The serialised message of type M written as protobuf text.
template <typename M>
Bytes pb(const char *text)
{
    M m;
    EXPECT_TRUE(google::protobuf::TextFormat::ParseFromString(text, &m)) << text;
    const std::string s = m.SerializeAsString();
    return Bytes(s.begin(), s.end());
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
