// The preset schemas' choices that clients see on the wire: field numbers
// and types, proto2 presence and the flat mode's -1 default.
#include <gtest/gtest.h>

#include <string>

#include "wsdkCommands/WSDK_Preset.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"

using namespace wsdk_commands;

static std::string bytes(std::initializer_list<unsigned> b)
{
    return std::string(b.begin(), b.end());
}

TEST(PresetSchema, PresetFieldsCarryTheirNumbersTypesAndPresence)
{
    WSDK_Preset p;
    EXPECT_EQ(p.mode(), WSDK_FLAT_MODE_UNKNOWN);
    p.set_mode(WSDK_FLAT_MODE_UNKNOWN);  // -1: ten varint bytes
    EXPECT_EQ(p.SerializeAsString(),
              bytes({0x10, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}));
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
    p.set_is_modified(false);  // present though false
    p.set_is_fixed(true);
    EXPECT_EQ(p.SerializeAsString(), bytes({0x08, 0x80, 0x80, 0x0C, 0x10, 0x0C, 0x18, 0x03, 0x20,
                                            0x02, 0x28, 0x01, 0x30, 0xE8, 0x07, 0x3A, 0x06, 0x08,
                                            0x02, 0x10, 0x01, 0x18, 0x01, 0x40, 0x00, 0x48, 0x01}));
}

TEST(PresetSchema, ListRequestKeepsPresenceAndSkipsUnknownFields)
{
    ztcontrol::presets::ZTC_Preset_List_Req req;  // group_id 1001, unknown field 9
    ASSERT_TRUE(req.ParseFromString(bytes({0x08, 0xE9, 0x07, 0x48, 0x05})));
    EXPECT_EQ(req.group_id(), 1001u);
    EXPECT_FALSE(req.has_include_info());
}
