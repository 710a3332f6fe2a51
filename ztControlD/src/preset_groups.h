// The preset-group rules: how the firmware's preset groups map to the three
// base groups clients know (video, photo, time lapse), which groups a camera
// offers in each lens, power and ux state, their icons, and where the
// all-status block keeps each group's preset. Pure functions of their
// arguments: any thread.
#ifndef ZTCONTROL_PRESET_GROUPS_H
#define ZTCONTROL_PRESET_GROUPS_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "wsdkCommands/WSDK_EnumPresetGroup.pb.h"

// Names of the firmware's preset events for the logs ("unknown" when out of
// range).
const char *PresetEventText(uint8_t event);
// Base group (0 video, 1 photo, 2 time lapse) of a firmware preset group;
// other groups are returned unchanged.
int RemapPresetGroup(int group);
// The firmware group in use for base group 0, 1 or 2 on this camera state;
// 255 when there is none.
uint8_t actualPresetGroup(uint8_t group, int model, uint8_t lensType, uint8_t uxMode,
                          uint8_t powerProfile);
wsdk_commands::WSDK_EnumPresetGroupIcon getPresetGroupIcon(int baseGroup, int powerProfile,
                                                           int orbiLens);
// Which firmware groups belong to each way of showing the preset list.
bool isProPresetGroup(int group);
bool isProEndurancePresetGroup(int group);
bool isProLongestBatteryPresetGroup(int group);
bool isEasyPresetGroup(int group);
bool isEasyEndurancePresetGroup(int group);
bool isOrbiPresetGroup(int group);
// The firmware groups the camera offers in this lens, power and ux state, in
// the order they are listed; empty for a state that offers none.
std::vector<uint8_t> GetCurrentPresetGroups(uint8_t lensMode, uint8_t lensType,
                                            uint8_t powerProfile, uint8_t easyProMode,
                                            uint8_t model);

// The all-status block (394 bytes): little-endian preset ids of the video,
// photo, time-lapse and special groups and the active group's number.
constexpr size_t kStatusVideoPresetOffset = 7;
constexpr size_t kStatusPhotoPresetOffset = 11;
constexpr size_t kStatusTimeLapsePresetOffset = 15;
constexpr size_t kStatusGroupOffset = 19;
constexpr size_t kStatusSpecialPresetOffset = 23;
// Little-endian u32 of the all-status block (offset + 4 <= 394).
uint32_t statusWord(const uint8_t *status, size_t offset);
// Status offset of the active preset of the video, photo or time-lapse
// family a firmware preset group belongs to; 0 for any other group.
size_t presetOffsetOfGroup(uint32_t group);
// Preset id of the active group in a 394-byte all-status block; false,
// leaving preset alone, for an unknown group (and for the special groups
// unless withSpecial).
bool presetOfGroupInStatus(const uint8_t *status, bool withSpecial, uint32_t &preset);

#endif  // ZTCONTROL_PRESET_GROUPS_H
