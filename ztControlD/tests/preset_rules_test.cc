// The pure preset rules: record headers and captions (the golden sessions
// list every factory preset of every model in pro mode; these are the easy
// mode and lens mode 1 cases), title and icon numbering,
// predefined ids, list moves and the active-preset lookup.
#include <gtest/gtest.h>

#include <array>
#include <map>

#include "StatusBlock.h"
#include "ztcontrol_bytes.h"
#include "preset_groups.h"
#include "ztcontrol_preset_loader.h"

using namespace wsdk_commands;

namespace {

using Captions = std::vector<std::pair<int, int>>;  // (setting id, value)
using Record = std::array<uint8_t, kPresetRecordSize>;

void putU32(uint8_t *at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Block byte k holds k, so a caption's value tells the offset it was read from.
Record makeRecord(uint8_t flatMode, uint32_t id = 0, std::map<size_t, int8_t> bytes = {})
{
    Record r{};
    r[0] = flatMode;
    putU32(&r[2], id);
    for (size_t k = 0; k < kPresetSettingsBlockSize; ++k)
        r[kPresetSettingsBlockOffset + k] = static_cast<uint8_t>(k);
    for (const auto &[k, v] : bytes)
        r[kPresetSettingsBlockOffset + k] = static_cast<uint8_t>(v);
    return r;
}

// Stand-in settings table: option id = firmware value + 1000.
uint32_t fakeOptionId(int, uint32_t, int32_t value, uint32_t)
{
    return static_cast<uint32_t>(value + 1000);
}

WSDK_Preset load(const Record &r, int model, uint8_t lensMode = 0, uint8_t easyPro = 1,
                 OptionIdLookupFn lookup = fakeOptionId)
{
    appc_presets_settings_info info;
    EXPECT_TRUE(parsePresetRecord(r.data(), r.size(), &info));
    WSDK_Preset preset;
    preset.set_id(static_cast<int32_t>(info.preset_id));
    populatePresetInfo(&info, preset, PresetCaptionContext{model, lensMode, easyPro, lookup});
    return preset;
}

Captions captions(const WSDK_Preset &p)
{
    Captions out;
    for (const auto &s : p.setting_array()) {
        EXPECT_TRUE(s.is_caption());
        out.emplace_back(s.id(), s.value());
    }
    return out;
}

std::pair<int, int> at(int id, int offset)
{
    return {id, 1000 + offset};
}

}  // namespace

// The header gives the user flag, title number and edited flag (the factory
// presets' icons and titles are in the golden sessions); a flat mode and icon
// the schema does not name reach the wire unchanged.
TEST(PresetRecord, HeaderMapsUserTitleNumberAndEditedFlag)
{
    Record r = makeRecord(7);
    r[1] = 1;
    putU32(&r[8], 40);
    putU32(&r[16], 4);
    r[79] = 1;
    const WSDK_Preset p = load(r, 57);
    EXPECT_EQ(
        std::make_tuple(true, 4, true, false),
        std::make_tuple(p.user_defined(), p.title_number(), p.is_modified(), p.has_is_fixed()));
    std::string wire;
    ASSERT_TRUE(p.SerializeToString(&wire));
    EXPECT_NE(std::string::npos, wire.find(std::string("\x10\x07", 2)));
    EXPECT_NE(std::string::npos, wire.find(std::string("\x30\x28", 2)));
}

TEST(PresetCaptions, EachModeModelAndLensModeReadsItsOwnOffsets)
{
    const struct {
        uint8_t mode;
        int model;
        uint8_t lensMode, easyPro;
        uint32_t id;
        Captions expected;
    } cases[] = {
        {12, 50, 1, 1, 0, {at(2, 2), at(3, 3)}},
        {12, 51, 1, 1, 0, {at(2, 2), at(3, 3), at(121, 4)}},
        {13, 51, 1, 1, 0, {at(2, 2), at(5, 9)}},
        {13, 50, 1, 1, 0, {at(2, 2), at(5, 9), at(121, 4)}},
        {24, 50, 1, 1, 0, {at(2, 2), at(111, 24)}},
        {24, 51, 1, 1, 0, {at(2, 2), at(111, 24), at(121, 4)}},
        {22, 57, 0, 1, 0, {}},
        {12, 60, 0, 0, 0, {at(2, 2), at(3, 3), at(121, 4)}},  // model 60 has no easy form
        {24, 51, 0, 0, 0, {at(155, 46)}},
        {13, 51, 0, 0, 0, {}},
        {17, 51, 0, 0, 0xC0001, {{181, 1}}},  // easy photo: the unconverted option
        {16, 51, 0, 0, 0xC0000, {{181, 0}}},
        {18, 51, 0, 1, 0x10001, {at(19, 5), at(105, 19)}},
        {16, 51, 0, 1, 0x40003, {at(105, 19), at(122, 2)}},
        {16, 51, 0, 1, 0x10000, {at(122, 2)}},
        {20, 57, 1, 1, 0, {{30, 1010}, at(123, 2)}},  // index 4: 10 s
        {20, 51, 1, 1, 0, {{30, 1010}}},
        {21, 51, 1, 1, 0, {at(31, 7), {32, 1120}}},  // index 5: 120 s
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.expected,
                  captions(load(makeRecord(c.mode, c.id), c.model, c.lensMode, c.easyPro)))
            << "mode " << int(c.mode) << " model " << c.model << " lens mode " << int(c.lensMode)
            << " easy/pro " << int(c.easyPro);
}

TEST(PresetIdentity, TitleIconAndFactoryRangeRules)
{
    EXPECT_EQ(std::make_pair(WSDK_PRESET_TITLE_PHOTO, WSDK_PRESET_TITLE_PHOTO),
              std::make_pair(MapFWTitleToWSDK(70), MapFWTitleToWSDK(71)));
    const std::array<int, 3> fwIcons[] = {{17, 20, 1000}, {8, 20, 1000}, {17, 12, 17}, {8, 21, 8},
                                          {9, 21, 1001},  {9, 20, 9},    {40, 20, 40}};
    for (const auto &[icon, mode, expected] : fwIcons)
        EXPECT_EQ(expected, MapFWIconToWSDK(icon, mode)) << icon << " " << mode;
    EXPECT_EQ(17u, mapWSDKIconToFW(WSDK_PRESET_ICON_TIMELAPSE_PHOTO, 51));
    EXPECT_EQ(9u, mapWSDKIconToFW(WSDK_PRESET_ICON_NIGHTLAPSE_PHOTO, 51));
    EXPECT_EQ(55u, mapWSDKIconToFW(static_cast<WSDK_EnumPresetIcon>(55), 51));
    for (unsigned id : {0u, 5u, 0x10000u, 0x10003u, 0x20002u, 0xE0000u})
        EXPECT_TRUE(IsFactoryPreset(id)) << std::hex << id;
    for (unsigned id : {6u, 0xFFFFu, 0x10004u, 0x60000u, 0xE0001u, 0xFFFFFFFFu})
        EXPECT_FALSE(IsFactoryPreset(id)) << std::hex << id;
    EXPECT_TRUE(isCreatePresetSupported(57));
    EXPECT_FALSE(isCreatePresetSupported(51) || isCreatePresetSupported(60));
}

// A move shifts the presets between (model 60's golden session moves
// backwards), out-of-range indexes move nothing, find takes the first match.
TEST(PresetIdentity, MoveShiftsTheOthersAndFindTakesTheFirstMatch)
{
    PresetList list;
    for (int id : {1, 2, 3, 4, 3})
        list.Add()->set_id(id);
    const auto *moved = &list.Get(0);
    ASSERT_TRUE(pb_move_preset_by_index(&list, 0, 3));
    EXPECT_EQ(moved, &list.Get(3)) << "the object moves, not a copy";
    const std::pair<int, int> outOfRange[] = {{-1, 0}, {0, -1}, {5, 0}, {0, 5}};
    for (const auto &[from, to] : outOfRange)
        EXPECT_FALSE(pb_move_preset_by_index(&list, from, to));
    EXPECT_EQ(pb_get_preset_index_by_id(&list, 3), 1);
    EXPECT_EQ(pb_get_preset_index_by_id(&list, 1), 3);
    EXPECT_EQ(pb_get_preset_index_by_id(&list, 9), -1);
}

TEST(PresetGroups, ActivePresetComesFromTheFamilyOfTheActiveGroup)
{
    zttest::StatusBlock block;
    block.videoPreset(0x100).photoPreset(0x200).timeLapsePreset(0x300).specialPreset(0x600);
    const std::array<uint32_t, 3> cases[] = {
        // group, ordinary, with special (0: none)
        {0, 0x100, 0x100}, {14, 0x100, 0x100}, {12, 0x200, 0x200}, {13, 0x300, 0x300},
        {6, 0, 0x600},     {15, 0, 0},         {0x1000000, 0, 0}};
    for (const auto &[group, ordinary, special] : cases) {
        block.group(group);
        const std::pair<bool, uint32_t> lookups[] = {{false, ordinary}, {true, special}};
        for (const auto &[withSpecial, expected] : lookups) {
            uint32_t preset = 0;
            EXPECT_EQ(presetOfGroupInStatus(block.bytes().data(), withSpecial, preset),
                      expected != 0);
            EXPECT_EQ(preset, expected) << "group " << group << " special " << withSpecial;
        }
    }
}
