// The preset-group rules: the mapping of firmware groups to the base groups,
// the groups each camera state offers, their icons, and the preset words of
// the all-status block.
#include "preset_groups.h"

#include "utils.h"
#include "ztcontrol_bytes.h"

namespace {

constexpr uint8_t kNoGroup = 255;
// The model that lists every preset in one group.
constexpr uint8_t kModelSingleGroup = 60;

}  // namespace

const char *PresetEventText(uint8_t event)
{
    static const char *const kNames[] = {
        "APPC_SYSTEM_PRESET_EDIT_START",      "APPC_SYSTEM_PRESET_EDIT_STORE",
        "APPC_SYSTEM_PRESET_EDIT_CANCEL",     "APPC_SYSTEM_PRESET_GROUP_PRESET_CREATED",
        "APPC_SYSTEM_PRESET_GROUP_REORDERED", "APPC_SYSTEM_PRESET_GROUP_PRESET_REMOVED",
        "APPC_SYSTEM_PRESET_ACTIVE_SET",      "APPC_SYSTEM_PRESET_RESET",
        "APPC_SYSTEM_PRESET_CHANGED",
    };
    if (event < sizeof(kNames) / sizeof(kNames[0]))
        return kNames[event];
    return "unknown";
}

// Orbi-lens groups (3 to 5), the power-profile video groups (8, 9, 14) and
// the easy groups (10 to 13) are variants of video, photo and time lapse.
int RemapPresetGroup(int group)
{
    switch (group) {
    case 3:
    case 8:
    case 9:
    case 10:
    case 11:
    case 14:
        return 0;
    case 4:
    case 12:
        return 1;
    case 5:
    case 13:
        return 2;
    default:
        return group;
    }
}

// Dual-lens cameras (model 60, or an Orbi lens fitted) have their own three
// groups; otherwise the ux mode picks pro or easy groups and the power
// profile picks which video group is in use.
uint8_t actualPresetGroup(uint8_t group, int model, uint8_t lensType, uint8_t uxMode,
                          uint8_t powerProfile)
{
    if (group > 2)
        return kNoGroup;
    if (model == 60 || lensType == 1)
        return static_cast<uint8_t>(group + 3);
    if (uxMode == 1) {
        if (group != 0)
            return group;
        static const uint8_t kProVideo[] = {0, 8, 9};
        return powerProfile < 3 ? kProVideo[powerProfile] : kNoGroup;
    }
    if (uxMode == 0) {
        if (group != 0)
            return static_cast<uint8_t>(group == 1 ? 12 : 13);
        static const uint8_t kEasyVideo[] = {10, 11, 14};
        return powerProfile < 3 ? kEasyVideo[powerProfile] : kNoGroup;
    }
    return kNoGroup;
}

wsdk_commands::WSDK_EnumPresetGroupIcon getPresetGroupIcon(int baseGroup, int powerProfile,
                                                           int orbiLens)
{
    using namespace wsdk_commands;
    if (orbiLens == 1) {
        switch (baseGroup) {
        case 0:
            return WSDK_PRESET_GROUP_ORBI_VIDEO_ICON_ID;
        case 1:
            return WSDK_PRESET_GROUP_ORBI_PHOTO_ICON_ID;
        case 2:
            return WSDK_PRESET_GROUP_ORBI_TIMELAPSE_ICON_ID;
        default:
            break;
        }
    }
    switch (baseGroup) {
    case 0:
        if (powerProfile == 2)
            return WSDK_PRESET_GROUP_LONG_BAT_VIDEO_ICON_ID;
        if (powerProfile == 1)
            return WSDK_PRESET_GROUP_ENDURANCE_VIDEO_ICON_ID;
        return WSDK_PRESET_GROUP_VIDEO_ICON_ID;
    case 1:
        return WSDK_PRESET_GROUP_PHOTO_ICON_ID;
    case 2:
        return WSDK_PRESET_GROUP_TIMELAPSE_ICON_ID;
    default:
        return WSDK_PRESET_GROUP_VIDEO_ICON_ID;
    }
}

// Which firmware groups a camera in each ux mode and power profile shows;
// photo and time lapse are shared by the pro profiles, and by the easy ones.
bool isProPresetGroup(int group)
{
    return group >= 0 && group <= 2;
}
bool isProEndurancePresetGroup(int group)
{
    return group == 1 || group == 2 || group == 8;
}
bool isProLongestBatteryPresetGroup(int group)
{
    return group == 1 || group == 2 || group == 9;
}
bool isEasyPresetGroup(int group)
{
    return group == 10 || group == 12 || group == 13;
}
bool isEasyEndurancePresetGroup(int group)
{
    return group == 11 || group == 12 || group == 13;
}
bool isOrbiPresetGroup(int group)
{
    return group >= 3 && group <= 5;
}

// With an Orbi lens the camera offers its three Orbi groups; otherwise the
// video group of the ux mode and power profile, then that mode's photo and
// time-lapse groups. Model 60 also offers the other lens's groups where it
// can switch to them.
std::vector<uint8_t> GetCurrentPresetGroups(uint8_t lensMode, uint8_t lensType,
                                            uint8_t powerProfile, uint8_t easyProMode,
                                            uint8_t model)
{
    std::vector<uint8_t> groups;
    const bool singleGroup = model == kModelSingleGroup;
    if (lensMode == 0 && lensType == 1) {
        groups = {3, 4, 5};
        if (singleGroup)
            groups.insert(groups.end(), {0, 1, 2});
    } else if (lensMode == 0 && lensType == 0 && powerProfile <= 2 && easyProMode <= 1) {
        static const uint8_t kVideoGroup[2][3] = {{10, 11, 14}, {0, 8, 9}};
        groups.push_back(kVideoGroup[easyProMode][powerProfile]);
        if (easyProMode == 1)
            groups.insert(groups.end(), {1, 2});
        else
            groups.insert(groups.end(), {12, 13});
        if (singleGroup && easyProMode == 1 && powerProfile == 0)
            groups.insert(groups.end(), {3, 4, 5});
    }
    if (groups.empty()) {
        ZTLOG(ZT_LOG_ERROR, "No preset groups being returned!");
        ZTLOG(ZT_LOG_ERROR, "lensMode=%d, lensType=%d, powerProfile=%d, easyProMode=%d", lensMode,
              lensType, powerProfile, easyProMode);
    }
    return groups;
}

uint32_t statusWord(const uint8_t *status, size_t offset)
{
    return readU32(status, offset);
}

size_t presetOffsetOfGroup(uint32_t group)
{
    switch (RemapPresetGroup(static_cast<int>(group))) {
    case 0:
        return kStatusVideoPresetOffset;
    case 1:
        return kStatusPhotoPresetOffset;
    case 2:
        return kStatusTimeLapsePresetOffset;
    default:
        return 0;
    }
}

bool presetOfGroupInStatus(const uint8_t *status, bool withSpecial, uint32_t &preset)
{
    const uint32_t group = statusWord(status, kStatusGroupOffset);
    size_t offset = presetOffsetOfGroup(group);
    if (offset == 0 && withSpecial && (group == 6 || group == 7))
        offset = kStatusSpecialPresetOffset;
    if (offset == 0)
        return false;
    preset = statusWord(status, offset);
    return true;
}
