// ztctl's printing of what the daemon sends: the result line and hex dump,
// the decoded forms of known payloads (bytes that do not fit a shape are never
// decoded), and the readable form of notifications printed by watch.
#include <gtest/gtest.h>

#include <algorithm>

#include "CommandLine.h"
#include "NotifyWatcher.h"
#include "ReplyFormatter.h"
#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"
#include "wsdkCommands/WSDK_Preset.pb.h"
#include "ztErrno.h"
#include "ztcontrol_commands.h"

namespace {

using ztctl::Bytes;
using ztctl::decodePayload;
using ztctl::NotifyWatcher;

template <typename M>
Bytes serialised(const M &m)
{
    const std::string s = m.SerializeAsString();
    return Bytes(s.begin(), s.end());
}

TEST(AnswerPrinting, ResultLineHexDumpAndDecodedLine)
{
    const ztctl::Answer busy{true, 0, Bytes{1}}, refused{true, ZT_ERR_NOT_SUPPORTED, {}};
    const std::string head =
        "result: 0 (ZT_OK)\npayload: 1 bytes\n  0000  01" + std::string(45, ' ') + "  |.|\n";
    EXPECT_EQ(ztctl::formatAnswer(ZTCONTROL_GET_BUSY_STATUS, busy, false), head + "busy: 1\n");
    EXPECT_EQ(ztctl::formatAnswer(ZTCONTROL_GET_BUSY_STATUS, busy, true), head);
    EXPECT_EQ(ztctl::formatAnswer(ZTCONTROL_EVENT_FILTER_IN, refused, false),
              "result: -104 (ZT_ERR_NOT_SUPPORTED)\n");
    const std::string text = "ABCDEFGHIJKLMN\x1f\x7f~";
    EXPECT_EQ(ztctl::formatAnswer(ZTCONTROL_EVENT_FILTER_IN,
                                  {false, 0, Bytes(text.begin(), text.end())}, false),
              "result: missing\npayload: 17 bytes\n"
              "  0000  41 42 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 1f 7f  |ABCDEFGHIJKLMN..|\n"
              "  0010  7e" +
                  std::string(45, ' ') + "  |~|\n");
}

TEST(AnswerPrinting, KnownShapesAreDecodedAndOthersAreNot)
{
    wsdk_commands::WSDK_Preset preset;
    preset.set_id(0x10003);
    preset.set_mode(wsdk_commands::WSDK_FLAT_MODE_PHOTO_NIGHT);
    wsdk_commands::WSDK_NotifyPresetStatus list;
    list.add_preset_group_array()->add_preset_array()->set_id(65536);
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
        {ZTCONTROL_PRESET_GET_ACTIVE_PRESET, {0xFF, 0xFF, 0xFF, 0xFF}, "active preset id: -1"},
        {ZTCONTROL_PRESET_GET_ACTIVE_GROUP, {3, 0, 0, 1}, "active preset group: 16777219"},
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
        // Presets as protobuf text; bytes that do not parse are not printed.
        {ZTCONTROL_PRESET_GET_INFO, serialised(preset),
         "WSDK_Preset {\n  id: 65539\n  mode: WSDK_FLAT_MODE_PHOTO_NIGHT\n}"},
        {ZTCONTROL_PRESET_GET_PRESETS, serialised(list),
         "WSDK_NotifyPresetStatus {\n  preset_group_array {\n    "
         "preset_array {\n      id: 65536\n    }\n  }\n}"},
        {ZTCONTROL_PRESET_GET_INFO, {0xFF, 0xFF}, ""},
        // Blocks as the daemon's notification JSON (lens mode as setting
        // 193); a refusal or a block of another size is not decoded.
        {ZTCONTROL_GET_ALL_STATUS, Bytes(394, 0), "{\"status\":{"},
        {ZTCONTROL_GET_ALL_SETTINGS, Bytes(238, 0), "{\"settings\":{"},
        {ZTCONTROL_GET_ALL_SETTINGS_STATUS, Bytes(634, 0), ",\n\"settings\":{"},
        {ZTCONTROL_GET_ALL_SETTINGS_STATUS, Bytes(634, 0), "\"193\":0"},
        {ZTCONTROL_GET_ALL_STATUS, {2}, ""},
        {ZTCONTROL_GET_ALL_STATUS, Bytes(395, 0), ""},
        {ZTCONTROL_GET_ALL_SETTINGS, Bytes(237, 0), ""},
        {ZTCONTROL_GET_ALL_SETTINGS_STATUS, Bytes(633, 0), ""}};
    // clang-format on
    for (const auto &[command, payload, text] : cases) {
        const std::string decoded = decodePayload(command, payload);
        if (command < ZTCONTROL_GET_ALL_SETTINGS || command > ZTCONTROL_GET_ALL_SETTINGS_STATUS ||
            text.empty())
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

TEST(WatchFormat, EachKindGetsItsTitleAndLosesTheDaemonsLineBreaks)
{
    const std::pair<std::string, std::string> cases[] = {
        // A full state is split into its status and settings objects.
        {"{\"1\":1,\"2\":3,\n\"2\":9,\"193\":0}",
         "--- t  full state\n{\n  \"status\": {\n    \"1\": 1,\n    \"2\": 3\n  },\n"
         "  \"settings\": {\n    \"2\": 9,\n    \"193\": 0\n  }\n}\n"},
        {"{\"status\":{\"8\":1},\n\"settings\":{\"2\":4}\n}",
         "--- t  changes\n{\n  \"status\": {\n    \"8\": 1\n  },\n  \"settings\": {\n"
         "    \"2\": 4\n  }\n}\n"},
        {"{\"state\":{\n        \"shutdown_pending\":true\n    }\n}",
         "--- t  shutdown pending\n{\n  \"state\": {\n    \"shutdown_pending\": true\n  }\n}\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(NotifyWatcher::formatNotification(c.first, "t"), c.second);
    // Braces, commas and escaped quotes inside strings are not structure;
    // other text and unbalanced text are printed as they are.
    EXPECT_EQ(NotifyWatcher::prettyJson("{\"a\":\"x{,}\\\"y\",\"b\":{},\"c\":[1]}"),
              "{\n  \"a\": \"x{,}\\\"y\",\n  \"b\": {},\n  \"c\": [\n    1\n  ]\n}");
    EXPECT_EQ(NotifyWatcher::prettyJson("not json") + NotifyWatcher::prettyJson(""), "not json");
    EXPECT_EQ(NotifyWatcher::prettyJson("{}}"), "{}\n}");
}

}  // namespace
