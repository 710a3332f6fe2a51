// ztctl's preset subcommands: the request messages they build (the daemon
// refuses a message without its required fields), the names they accept for
// flat modes, icons, titles and groups, and the printing of preset answers.
#include <gtest/gtest.h>

#include "CommandLine.h"
#include "ReplyFormatter.h"
#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"

namespace {

using ztctl::Bytes;
namespace zp = ztcontrol::presets;

std::optional<ztctl::Options> parse(std::vector<const char *> args)
{
    args.insert(args.begin(), "ztctl");
    std::string error;
    return ztctl::parseCommandLine(static_cast<int>(args.size()), args.data(), error);
}

// The request message a command line builds, as protobuf text ("" when the
// line is refused or sends no argument).
template <typename Request>
std::string request(uint32_t command, std::vector<const char *> args)
{
    auto o = parse(std::move(args));
    if (!o || o->command != command || !o->argument)
        return "";
    Request r;
    if (!r.ParseFromArray(o->argument->data(), static_cast<int>(o->argument->size())))
        return "unparsable";
    return r.ShortDebugString();
}

TEST(PresetSubcommands, WordsBuildCompleteRequestMessages)
{
    EXPECT_EQ(request<zp::ZTC_Preset_Custom_Create_Req>(73, {"preset", "create", "photo", "photo-night", "bike", "Snow"}),
              "group_id: 1001 flat_mode: 18 preset_icon: 20 preset_name: 29 preset_name_iterator: 0");
    EXPECT_EQ(request<zp::ZTC_Preset_Custom_Create_Req>(73, {"preset", "create", "2", "20", "1000", "79"}),
              "group_id: 2 flat_mode: 20 preset_icon: 1000 preset_name: 79 preset_name_iterator: 0");
    EXPECT_EQ(request<zp::ZTC_Preset_Info_Req>(72, {"preset", "info", "0x10003"}), "preset_id: 65539");
    EXPECT_EQ(request<zp::ZTC_Preset_Load_Req>(76, {"preset", "load", "7"}), "preset_id: 7");
    EXPECT_EQ(request<zp::ZTC_Preset_Custom_Remove_Req>(74, {"preset", "remove", "256"}), "preset_id: 256");
    EXPECT_EQ(request<zp::ZTC_Preset_Edit_Start_Req>(77, {"preset", "edit", "1"}), "preset_id: 1");
    EXPECT_EQ(request<zp::ZTC_Preset_Factory_Reset_Req>(80, {"preset", "factory-reset", "2"}), "preset_id: 2");
    EXPECT_EQ(request<zp::ZTC_Preset_Set_Order_Req>(75, {"preset", "order", "256", "0"}),
              "preset_id: 256 order: 0");
    EXPECT_EQ(request<zp::ZTC_Preset_List_Req>(71, {"preset", "ids", "timelapse"}), "group_id: 1002");
    EXPECT_EQ(request<zp::ZTC_Preset_Switch_Flatmode_Req>(82, {"preset", "flatmode", "looping"}),
              "flat_mode: 15");
    EXPECT_EQ(request<zp::ZTC_Preset_Set_Title_Icon_Req>(83, {"preset", "title-icon", "icon=custom"}),
              "preset_icon: 18");
    EXPECT_EQ(request<zp::ZTC_Preset_Set_Title_Icon_Req>(83, {"preset", "title-icon", "title=air", "icon=19"}),
              "preset_name: 19 preset_icon: 19");
}

TEST(PresetSubcommands, CommandsWithoutRequestSendNoArgument)
{
    const std::pair<const char *, uint32_t> bare[] = {
        {"groups", 70}, {"cancel", 78}, {"store", 79}, {"shortcuts-reset", 84}, {"active", 87}, {"active-group", 89},
    };
    for (const auto &b : bare) {
        auto o = parse({"preset", b.first});
        ASSERT_TRUE(o) << b.first;
        EXPECT_EQ(o->command, b.second);
        EXPECT_FALSE(o->argument) << b.first;
    }
    auto o = parse({"presets"});
    ASSERT_TRUE(o);
    EXPECT_EQ(o->command, 81u);
    EXPECT_FALSE(o->argument);
}

TEST(PresetSubcommands, MalformedWordsAreRefusedBeforeSending)
{
    EXPECT_FALSE(parse({"preset"}));
    EXPECT_FALSE(parse({"preset", "rename"}));
    EXPECT_FALSE(parse({"preset", "info"}));
    EXPECT_FALSE(parse({"preset", "info", "seven"}));
    EXPECT_FALSE(parse({"preset", "create", "video", "video", "bike"}));
    EXPECT_FALSE(parse({"preset", "create", "video", "filmic", "bike", "bike"}));
    EXPECT_FALSE(parse({"preset", "title-icon"}));
    EXPECT_FALSE(parse({"preset", "title-icon", "title=bike", "title=snow"}));
    EXPECT_FALSE(parse({"preset", "title-icon", "colour=red"}));
    EXPECT_FALSE(parse({"preset", "groups", "all"}));
    EXPECT_FALSE(parse({"presets", "all"}));
}

TEST(PresetSubcommands, PresetListAnswerIsPrintedAsProtobufText)
{
    wsdk_commands::WSDK_NotifyPresetStatus list;
    auto *group = list.add_preset_group_array();
    group->set_id(wsdk_commands::WSDK_PRESET_GROUP_ID_PHOTO);
    group->add_preset_array()->set_id(65536);
    std::string bytes;
    ASSERT_TRUE(list.SerializeToString(&bytes));
    const std::string text = ztctl::decodePayload(81, Bytes(bytes.begin(), bytes.end()));
    EXPECT_EQ(text.rfind("WSDK_NotifyPresetStatus {", 0), 0u) << text;
    EXPECT_NE(text.find("    id: WSDK_PRESET_GROUP_ID_PHOTO"), std::string::npos) << text;
    EXPECT_NE(text.find("      id: 65536"), std::string::npos) << text;

    zp::ZTC_Preset_Group_List_Resp groups;
    groups.add_preset_groups(1000);
    ASSERT_TRUE(groups.SerializeToString(&bytes));
    EXPECT_NE(ztctl::decodePayload(70, Bytes(bytes.begin(), bytes.end())).find("preset_groups: 1000"),
              std::string::npos);
    EXPECT_EQ(ztctl::decodePayload(81, Bytes{0xFF, 0xFF}).find("WSDK_NotifyPresetStatus"),
              std::string::npos);
}

}  // namespace
