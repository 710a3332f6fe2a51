// One preset as the firmware keeps it, and its 81-byte wire record
// (appc_presets_settings_info), packed little-endian:
//
//   [0]      flat mode            [1]      type: 0 predefined, 1 user-defined
//   [2..5]   preset id            [6..7]   unused
//   [8..11]  icon                 [12..15] title
//   [16..19] title number         [20..23] fourth user-data word
//   [24]     unused               [25..78] settings block (54 bytes; video,
//   [79]     edited (> 0)                  photo or multi-shot layout by
//   [80]     easy speed class              flat mode)
//
// A value type; any thread may use it.
#ifndef ZTSIM_PRESET_RECORD_H
#define ZTSIM_PRESET_RECORD_H

#include <array>
#include <cstdint>
#include <vector>

#include "sim_bytes.h"

namespace ztsim {

struct PresetRecord {
  static constexpr size_t kSize = 81;
  static constexpr size_t kBlockOffset = 25;
  static constexpr size_t kBlockSize = 54;

  uint8_t flatMode = 12;
  uint8_t type = 0;
  uint32_t id = 0;
  uint32_t icon = 0;
  uint32_t title = 0;
  uint32_t titleNumber = 0;
  uint32_t userData3 = 0;
  std::array<uint8_t, kBlockSize> block{};
  int8_t edited = 0;
  int8_t easySpeedClass = 0;

  bool userDefined() const { return type != 0; }
  // Firmware group of the preset: bits 16 to 23 of its id.
  uint8_t group() const { return static_cast<uint8_t>(id >> 16); }

  Bytes encode() const;
  // REQUIRES: b.size() == kSize.
  static PresetRecord decode(const Bytes& b);

  bool operator==(const PresetRecord& o) const;
  bool operator!=(const PresetRecord& o) const { return !(*this == o); }
};

// Settings-block layout families, chosen by flat mode.
enum class BlockFamily { kVideo, kPhoto, kMultiShot, kNone };
BlockFamily familyOf(uint8_t flatMode);

// One byte of a settings block and the setting it holds. Interval settings
// hold an index into an interval table instead of the value itself.
struct BlockField {
  enum Interval { kPlain, kTimeLapseTable, kNightLapseTable };
  uint8_t offset;
  uint32_t settingId;
  Interval interval;
};

// The fields of a family's block, in block order.
const std::vector<BlockField>& blockFields(BlockFamily family);

// The setting value a block byte stands for.
int32_t blockToSettingValue(const BlockField& field, uint8_t byte);
// The block byte for a setting value; false when the value has no byte
// (an interval the table does not hold).
bool settingValueToBlock(const BlockField& field, int32_t value, uint8_t* byte);

}  // namespace ztsim

#endif  // ZTSIM_PRESET_RECORD_H
