// The predefined presets the simulated camera ships with, by firmware group,
// with their factory ids, titles, icons and settings blocks. Constant data;
// any thread may use it.
#ifndef ZTSIM_FACTORY_PRESETS_H
#define ZTSIM_FACTORY_PRESETS_H

#include <cstdint>
#include <vector>

#include "preset_record.h"

namespace ztsim {

// Firmware group numbers (the daemon's numbering).
enum : uint8_t {
  kGroupVideo = 0,
  kGroupPhoto = 1,
  kGroupTimeLapse = 2,
  kGroupOrbiVideo = 3,
  kGroupOrbiPhoto = 4,
  kGroupOrbiTimeLapse = 5,
  kGroupSpecial = 6,
  kGroupEnduranceVideo = 8,
  kGroupLongestBatteryVideo = 9,
  kGroupEasyVideo = 10,
  kGroupEasyEnduranceVideo = 11,
  kGroupEasyPhoto = 12,
  kGroupEasyTimeLapse = 13,
  kGroupEasyLongestBatteryVideo = 14,
  kGroupCount = 15,
};

// The factory presets of one group on one model, in factory order.
std::vector<PresetRecord> factoryPresets(uint8_t group, int model);

// The factory record of a predefined id on a model, or false.
bool factoryPreset(uint32_t id, int model, PresetRecord* out);

// A settings block with the defaults of a family, for presets whose flat
// mode moves them to another family.
std::array<uint8_t, PresetRecord::kBlockSize> defaultBlock(BlockFamily family);

}  // namespace ztsim

#endif  // ZTSIM_FACTORY_PRESETS_H
