// The preset schemas as clients see them on the wire: field numbers, types,
// presence and enumeration values, checked against known bytes.
#include <gtest/gtest.h>

#include <string>

#include "generic/EnumResultGeneric.pb.h"
#include "wsdkCommands/WSDK_EnumPresetIcon.pb.h"
#include "wsdkCommands/WSDK_EnumPresetTitle.pb.h"
#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"
#include "wsdkCommands/WSDK_RequestCreateCustomPreset.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"

using namespace wsdk_commands;

namespace {

std::string bytes(std::initializer_list<unsigned> b)
{
    std::string s;
    for (unsigned c : b)
        s.push_back(static_cast<char>(c));
    return s;
}

template <typename M>
std::string wire(const M &m)
{
    std::string s;
    EXPECT_TRUE(m.SerializeToString(&s));
    return s;
}

}  // namespace

TEST(PresetSchema, PresetFieldsCarryTheirNumbersAndTypes)
{
    WSDK_Preset p;
    p.set_id(0x30000);
    p.set_mode(WSDK_FLAT_MODE_VIDEO);
    p.set_title_id(WSDK_PRESET_TITLE_PHOTO);
    p.set_title_number(2);
    p.set_user_defined(true);
    p.set_icon(WSDK_PRESET_ICON_TIMELAPSE_PHOTO);
    WSDK_PresetSetting *s = p.add_setting_array();
    s->set_id(2);
    s->set_value(1);
    s->set_is_caption(true);
    p.set_is_modified(false);
    p.set_is_fixed(true);
    EXPECT_EQ(
        bytes({0x08, 0x80, 0x80, 0x0C, 0x10, 0x0C, 0x18, 0x03, 0x20, 0x02, 0x28, 0x01, 0x30, 0xE8,
               0x07, 0x3A, 0x06, 0x08, 0x02, 0x10, 0x01, 0x18, 0x01, 0x40, 0x00, 0x48, 0x01}),
        wire(p));

    WSDK_Preset back;
    ASSERT_TRUE(back.ParseFromString(wire(p)));
    EXPECT_EQ(p.SerializeAsString(), back.SerializeAsString());
    EXPECT_TRUE(back.has_is_modified());
    EXPECT_FALSE(back.is_modified());

    // The unknown flat mode is -1 (ten varint bytes) and the default.
    WSDK_Preset unknown;
    EXPECT_EQ(WSDK_FLAT_MODE_UNKNOWN, unknown.mode());
    EXPECT_FALSE(unknown.has_mode());
    unknown.set_mode(WSDK_FLAT_MODE_UNKNOWN);
    EXPECT_EQ(bytes({0x10, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}),
              wire(unknown));
}

TEST(PresetSchema, NestedGroupsRoundTrip)
{
    WSDK_NotifyPresetStatus status;
    WSDK_PresetGroup *g = status.add_preset_group_array();
    g->set_id(WSDK_PRESET_GROUP_ID_PHOTO_DUAL_LENS);
    g->set_can_add_preset(true);
    g->set_icon(WSDK_PRESET_GROUP_ORBI_PHOTO_ICON_ID);
    g->add_preset_array()->set_id(7);
    EXPECT_EQ(bytes({0x0A, 0x0B, 0x08, 0xEC, 0x07, 0x12, 0x02, 0x08, 0x07, 0x18, 0x01, 0x20, 0x06}),
              wire(status));
    WSDK_NotifyPresetStatus back;
    ASSERT_TRUE(back.ParseFromString(wire(status)));
    ASSERT_EQ(1, back.preset_group_array_size());
    EXPECT_EQ(7, back.preset_group_array(0).preset_array(0).id());
}

TEST(PresetSchema, CreateAnswerUsesTheGlobalResultEnum)
{
    WSDK_ResponseCreateCustomPreset r;
    r.set_preset_id(0x12345);
    r.set_result(::RESULT_SUCCESS);
    EXPECT_EQ(bytes({0x08, 0xC5, 0xC6, 0x04, 0x10, 0x01}), wire(r));
    EXPECT_EQ(5, ::RESULT_ARGUMENT_INVALID);

    WSDK_RequestCreateCustomPreset q;
    q.set_group_id(WSDK_PRESET_GROUP_ID_SPECIAL);
    q.set_title_number(3);
    EXPECT_EQ(bytes({0x08, 0xEE, 0x07, 0x28, 0x03}), wire(q));
}

TEST(PresetSchema, PresetInfoSerialisesByNumberNotDeclarationOrder)
{
    ztcontrol::presets::Preset_Info info;
    info.set_predefined_preset(true);
    ztcontrol::presets::Setting *s = info.add_settings();
    s->set_setting_id(121);
    s->set_name("lens");
    EXPECT_EQ(bytes({0x32, 0x08, 0x08, 0x79, 0x1A, 0x04, 'l', 'e', 'n', 's', 0x38, 0x01}),
              wire(info));
}

TEST(PresetSchema, RequestsKeepPresenceAndIgnoreUnknownFields)
{
    ztcontrol::presets::ZTC_Preset_List_Req req;
    // group_id 1001, then an unknown field 9 (varint 5).
    ASSERT_TRUE(req.ParseFromString(bytes({0x08, 0xE9, 0x07, 0x48, 0x05})));
    EXPECT_TRUE(req.has_group_id());
    EXPECT_EQ(1001u, req.group_id());
    EXPECT_FALSE(req.has_include_info());

    ztcontrol::presets::ZTC_Preset_Set_Order_Req order;
    order.set_preset_id(5);
    order.set_order(0);
    EXPECT_EQ(bytes({0x08, 0x05, 0x10, 0x00}), wire(order));

    ztcontrol::presets::ZTC_Preset_Set_Title_Icon_Req title;
    EXPECT_FALSE(title.ParseFromString(bytes({0x08})));  // truncated varint

    ztcontrol::presets::ZTC_Preset_List_Resp resp;
    resp.add_presets(0x10000);
    resp.add_presets(1);
    resp.mutable_preset_group()->set_group_id(1000);
    EXPECT_EQ(bytes({0x08, 0x80, 0x80, 0x04, 0x08, 0x01, 0x12, 0x03, 0x08, 0xE8, 0x07}),
              wire(resp));
}

TEST(PresetSchema, EnumerationsKeepTheirGapsAndSentinels)
{
    // Values a client may send: the gaps must stay invalid, the ends valid.
    const std::pair<int, bool> icons[] = {{33, true},  {34, false}, {54, false}, {55, true},
                                          {68, false}, {79, true},  {80, false}, {999, false}};
    for (const auto &[value, valid] : icons)
        EXPECT_EQ(valid, WSDK_EnumPresetIcon_IsValid(value)) << value;
    const std::pair<int, bool> titles[] = {{34, false}, {50, false}, {51, true}, {79, true}};
    for (const auto &[value, valid] : titles)
        EXPECT_EQ(valid, WSDK_EnumPresetTitle_IsValid(value)) << value;
    EXPECT_FALSE(WSDK_EnumFlatMode_IsValid(14));
    EXPECT_EQ(1002, WSDK_PRESET_ICON_MAX);
    EXPECT_EQ(80, WSDK_PRESET_TITLE_MAX);
    EXPECT_EQ(79, WSDK_PRESET_TITLE_FULL_FRAME);
    EXPECT_EQ(31, WSDK_FLAT_MODE_VIDEO_LIGHT_TRAIL);
    EXPECT_EQ(7, WSDK_PRESET_GROUP_ORBI_TIMELAPSE_ICON_ID);
}
