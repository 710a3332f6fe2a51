// ztctl's reading of answers: which received messages count as client
// answers, the result line and hex dump, and the decoded forms of known
// payloads (presets as protobuf text, blocks as the daemon's notification
// JSON, scan lists, dates). Bytes that do not fit a shape are never decoded.
#include <gtest/gtest.h>

#include <string.h>

#include "ReplyFormatter.h"
#include "camera_status.h"
#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"
#include "wsdkCommands/WSDK_Preset.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"
#include "ztctlTestSupport.h"

namespace {

using ztctltest::Bytes;
using ztctltest::daemonMessage;

bool has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

template <typename M>
Bytes serialised(const M &m)
{
    std::string s;
    EXPECT_TRUE(m.SerializeToString(&s));
    return Bytes(s.begin(), s.end());
}

TEST(AnswerParsing, RefusesMessagesThatAreNotWellFramedClientAnswers)
{
    Bytes good = daemonMessage(21, -104);
    ASSERT_TRUE(ztctl::parseAnswer(good.data(), good.size()));
    EXPECT_FALSE(ztctl::parseAnswer(good.data(), good.size() - 1));  // length field disagrees
    Bytes noEnd = good;
    noEnd[noEnd.size() - 1] = 'X';
    EXPECT_FALSE(ztctl::parseAnswer(noEnd.data(), noEnd.size()));
    Bytes overrun = good;
    overrun[6] = 0x40;  // result element claims more bytes than the message has
    EXPECT_FALSE(ztctl::parseAnswer(overrun.data(), overrun.size()));
    Bytes other = daemonMessage(17, 0);
    EXPECT_FALSE(ztctl::parseAnswer(other.data(), other.size()));
    EXPECT_FALSE(ztctl::parseAnswer(good.data(), 3));
}

TEST(AnswerPrinting, ShowsResultNameHexAndKnownShapes)
{
    Bytes busy{1};
    Bytes m = daemonMessage(21, 0, &busy);
    auto a = ztctl::parseAnswer(m.data(), m.size());
    ASSERT_TRUE(a);
    std::string text = ztctl::formatAnswer(100, *a, false);
    EXPECT_TRUE(has(text, "result: 0 (ZT_OK)")) << text;
    EXPECT_TRUE(has(text, " 01 ")) << text;
    EXPECT_TRUE(has(text, "busy: 1")) << text;
    EXPECT_FALSE(has(ztctl::formatAnswer(100, *a, true), "busy:"));

    ztctl::Answer refused;
    refused.hasResult = true;
    refused.result = -104;
    EXPECT_TRUE(has(ztctl::formatAnswer(1, refused, false), "-104 (ZT_ERR_NOT_SUPPORTED)"));
    EXPECT_EQ(ztctl::decodePayload(39, Bytes{'a', '.', 'b', 0}), "text: \"a.b\"");
    EXPECT_EQ(ztctl::decodePayload(39, Bytes{0x01, 0x02}), "");
    EXPECT_EQ(ztctl::decodePayload(98, {0xEA, 0x07, 1, 2, 3, 4, 5}), "date: 2026-01-02 03:04:05");
}

TEST(AnswerPrinting, PresetAnswersArePrintedAsProtobufText)
{
    wsdk_commands::WSDK_Preset preset;
    preset.set_id(0x10003);
    preset.set_mode(wsdk_commands::WSDK_FLAT_MODE_PHOTO_NIGHT);
    std::string text = ztctl::decodePayload(72, serialised(preset));
    EXPECT_TRUE(has(text, "WSDK_Preset {")) << text;
    EXPECT_TRUE(has(text, "  id: 65539")) << text;
    EXPECT_TRUE(has(text, "  mode: WSDK_FLAT_MODE_PHOTO_NIGHT")) << text;

    wsdk_commands::WSDK_NotifyPresetStatus list;
    auto *group = list.add_preset_group_array();
    group->set_id(wsdk_commands::WSDK_PRESET_GROUP_ID_PHOTO);
    group->add_preset_array()->set_id(65536);
    text = ztctl::decodePayload(81, serialised(list));
    EXPECT_EQ(text.rfind("WSDK_NotifyPresetStatus {", 0), 0u) << text;
    EXPECT_TRUE(has(text, "    id: WSDK_PRESET_GROUP_ID_PHOTO")) << text;
    EXPECT_TRUE(has(text, "      id: 65536")) << text;

    ztcontrol::presets::ZTC_Preset_Group_List_Resp groups;
    groups.add_preset_groups(1000);
    EXPECT_TRUE(has(ztctl::decodePayload(70, serialised(groups)), "preset_groups: 1000"));
    // Bytes that do not parse are not printed as a preset.
    EXPECT_FALSE(has(ztctl::decodePayload(72, Bytes{0xFF, 0xFF}), "WSDK_Preset"));
    EXPECT_FALSE(has(ztctl::decodePayload(81, Bytes{0xFF, 0xFF}), "WSDK_NotifyPresetStatus"));
}

TEST(AnswerPrinting, BlocksArePrintedAsNotificationJson)
{
    all_status_settings_t block{};
    uint32_t count = 0;
    const camera_status_item_t *item = camera_status_items(&count);
    ASSERT_TRUE(item && count > 0);
    camera_status_write(&block.status, item, 1);
    const uint8_t *raw = reinterpret_cast<const uint8_t *>(&block);

    const std::string status = ztctl::decodePayload(33, Bytes(raw, raw + 394));
    const std::string member = "\"" + std::to_string(item->id) + "\":1";
    EXPECT_EQ(status.rfind("{\"status\":{", 0), 0u) << status;
    EXPECT_TRUE(has(status, member)) << status;
    EXPECT_EQ(status.back(), '}');

    const std::string both = ztctl::decodePayload(34, Bytes(raw, raw + 634));
    EXPECT_TRUE(has(both, member)) << both;
    EXPECT_TRUE(has(both, ",\n\"settings\":{")) << both;
    EXPECT_TRUE(has(both, "\"193\":0")) << "lens mode as setting 193: " << both;

    EXPECT_EQ(ztctl::decodePayload(32, Bytes(238, 0)).rfind("{\"settings\":{", 0), 0u);
    // A refusal or a short block is not decoded.
    EXPECT_FALSE(has(ztctl::decodePayload(33, Bytes{2}), "status"));
    EXPECT_FALSE(has(ztctl::decodePayload(34, Bytes(633, 0)), "status"));
}

TEST(AnswerPrinting, ScanListShowsOnlyTheCountedEntries)
{
    Bytes list(492, 0);
    list[0] = 2;
    list[2] = 9;
    list[4] = 1;
    list[8] = 5;
    memcpy(&list[12], "ZT-Home", 7);
    list[12 + 36] = 4;
    list[12 + 40] = 0x85;  // 2437
    list[12 + 41] = 0x09;
    list[12 + 44] = 0x05;
    memcpy(&list[60], "not counted", 11);
    const std::string text = ztctl::decodePayload(20, list);
    EXPECT_TRUE(has(text, "offset 2, scan id 9, 1 entries, 5 networks found")) << text;
    EXPECT_TRUE(has(text, "ZT-Home")) << text;
    EXPECT_TRUE(has(text, "bars 4  flags 0x05  word 2437")) << text;
    EXPECT_FALSE(has(text, "not counted")) << text;
    EXPECT_EQ(ztctl::decodePayload(20, Bytes(491, 0)), "");
}

}  // namespace
