// The preset-group rules of the command server: which firmware group a base
// group maps to for each camera state, the group predicates the preset list
// filters by, the group icons, and which preset of the all-status block is
// the active one.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "StatusBlock.h"
#include "preset_groups.h"

using namespace wsdk_commands;

namespace {

constexpr uint8_t kNone = 255;

struct GroupState {
    int model;
    uint8_t lensType;
    uint8_t uxMode;
    uint8_t powerProfile;
};

std::vector<int> actualGroups(const GroupState &s)
{
    std::vector<int> out;
    for (uint8_t g = 0; g < 3; ++g)
        out.push_back(ActualPresetGroup(g, s.model, s.lensType, s.uxMode, s.powerProfile));
    return out;
}

// Pro and easy groups follow the power profile for video only; dual-lens
// cameras use the Orbi groups whatever the ux mode.
TEST(PresetGroupRules, BaseGroupsConvertByPowerProfileUxModeAndLens)
{
    const struct {
        GroupState state;
        std::vector<int> groups;
    } cases[] = {
        {{57, 0, 1, 0}, {0, 1, 2}},
        {{57, 0, 1, 1}, {8, 1, 2}},
        {{57, 0, 1, 2}, {9, 1, 2}},
        {{57, 0, 1, 3}, {kNone, 1, 2}},
        {{57, 0, 0, 0}, {10, 12, 13}},
        {{57, 0, 0, 1}, {11, 12, 13}},
        {{57, 0, 0, 2}, {14, 12, 13}},
        {{57, 0, 0, 7}, {kNone, 12, 13}},
        {{60, 0, 0, 2}, {3, 4, 5}},
        {{60, 0, 1, 2}, {3, 4, 5}},
        {{60, 0, 3, 2}, {3, 4, 5}},
        {{51, 1, 0, 1}, {3, 4, 5}},
        {{51, 1, 1, 1}, {3, 4, 5}},
        {{51, 1, 3, 1}, {3, 4, 5}},
        {{51, 2, 3, 0}, {kNone, kNone, kNone}},  // an unknown ux mode has no groups
    };
    for (const auto &c : cases)
        EXPECT_EQ(actualGroups(c.state), c.groups)
            << "model " << c.state.model << " lens " << (int)c.state.lensType << " ux "
            << (int)c.state.uxMode << " power " << (int)c.state.powerProfile;
    EXPECT_EQ(ActualPresetGroup(3, 60, 1, 1, 0), kNone) << "only base groups convert";
}

// Each way of listing presets must accept exactly the groups the conversion
// gives for that camera state, or presets go missing from the list.
TEST(PresetGroupRules, PredicatesAcceptTheGroupsTheConversionGives)
{
    struct Case {
        GroupState state;
        bool (*predicate)(int);
    };
    const Case cases[] = {
        {{57, 0, 1, 0}, isProPresetGroup},
        {{57, 0, 1, 1}, isProEndurancePresetGroup},
        {{57, 0, 1, 2}, isProLongestBatteryPresetGroup},
        {{57, 0, 0, 0}, isEasyPresetGroup},
        {{57, 0, 0, 1}, isEasyEndurancePresetGroup},
        {{60, 0, 1, 0}, isOrbiPresetGroup},
    };
    for (const Case &c : cases) {
        const std::vector<int> groups = actualGroups(c.state);
        int accepted = 0;
        for (int g = 0; g < 16; ++g) {
            const bool expected = std::find(groups.begin(), groups.end(), g) != groups.end();
            EXPECT_EQ(c.predicate(g), expected) << "group " << g << " ux " << (int)c.state.uxMode
                                                << " power " << (int)c.state.powerProfile;
            accepted += c.predicate(g) ? 1 : 0;
        }
        EXPECT_EQ(accepted, 3);
    }
}

TEST(PresetGroupRules, GroupIconsShowPowerProfileOnVideoAndOrbiLens)
{
    EXPECT_EQ(getPresetGroupIcon(0, 0, 0), WSDK_PRESET_GROUP_VIDEO_ICON_ID);
    EXPECT_EQ(getPresetGroupIcon(0, 1, 0), WSDK_PRESET_GROUP_ENDURANCE_VIDEO_ICON_ID);
    EXPECT_EQ(getPresetGroupIcon(0, 2, 0), WSDK_PRESET_GROUP_LONG_BAT_VIDEO_ICON_ID);
    EXPECT_EQ(getPresetGroupIcon(1, 2, 0), WSDK_PRESET_GROUP_PHOTO_ICON_ID);
    EXPECT_EQ(getPresetGroupIcon(2, 1, 0), WSDK_PRESET_GROUP_TIMELAPSE_ICON_ID);
    EXPECT_EQ(getPresetGroupIcon(0, 2, 1), WSDK_PRESET_GROUP_ORBI_VIDEO_ICON_ID);
    EXPECT_EQ(getPresetGroupIcon(1, 0, 1), WSDK_PRESET_GROUP_ORBI_PHOTO_ICON_ID);
    EXPECT_EQ(getPresetGroupIcon(2, 0, 1), WSDK_PRESET_GROUP_ORBI_TIMELAPSE_ICON_ID);
    EXPECT_EQ(getPresetGroupIcon(6, 2, 1), WSDK_PRESET_GROUP_VIDEO_ICON_ID);
}

TEST(PresetGroupRules, ActivePresetComesFromTheFamilyOfTheActiveGroup)
{
    zttest::StatusBlock block;
    block.videoPreset(0x100).photoPreset(0x200).timeLapsePreset(0x300).specialPreset(0x600);
    const struct {
        uint32_t group;
        uint32_t ordinary;  // 0: none
        uint32_t withSpecial;
    } cases[] = {
        {0, 0x100, 0x100},  {3, 0x100, 0x100},  {8, 0x100, 0x100},  {9, 0x100, 0x100},
        {10, 0x100, 0x100}, {11, 0x100, 0x100}, {14, 0x100, 0x100}, {1, 0x200, 0x200},
        {4, 0x200, 0x200},  {12, 0x200, 0x200}, {2, 0x300, 0x300},  {5, 0x300, 0x300},
        {13, 0x300, 0x300}, {6, 0, 0x600},      {7, 0, 0x600},      {15, 0, 0},
        {0x1000000, 0, 0},
    };
    for (const auto &c : cases) {
        block.group(c.group);
        uint32_t preset = 0;
        EXPECT_EQ(PresetOfGroupInStatus(block.bytes().data(), false, preset), c.ordinary != 0)
            << "group " << c.group;
        EXPECT_EQ(preset, c.ordinary) << "group " << c.group;
        preset = 0;
        EXPECT_EQ(PresetOfGroupInStatus(block.bytes().data(), true, preset), c.withSpecial != 0);
        EXPECT_EQ(preset, c.withSpecial) << "group " << c.group;
    }
}

}  // namespace
