#include "factory_presets.h"

namespace ztsim {

namespace {

// Which models carry a preset.
enum ModelSet { kAll, kNot51, kNot50Or51 };

struct FactoryRow {
  uint32_t id;
  uint8_t flatMode;
  uint32_t title;
  uint32_t icon;
  ModelSet models;
  int8_t easySpeedClass;
  // Video: resolution, frame rate, lens. Photo: lens, night shutter, output.
  // Multi-shot: lens, burst rate, time-lapse index, night-lapse index.
  uint8_t a, b, c, d;
};

// Values are firmware values of the library's option tables. Resolution:
// 1 = 4K, 9 = 1080p, 18 = 2.7K 4:3. Frame rate: 8 = 30, 5 = 60, 1 = 120,
// 2 = 240. Lens: 0 wide, 4 linear, 3 superview. Night shutter: seconds.
// Burst rate: an index. Intervals: indexes into the block's interval tables.
const FactoryRow kRows[] = {
    // Video group.
    {0x00000, 12, 1, 0, kAll, 0, 1, 8, 0, 0},      // Standard
    {0x00001, 12, 0, 1, kAll, 0, 18, 5, 3, 0},     // Activity
    {0x00002, 12, 2, 2, kAll, 0, 1, 8, 4, 0},      // Cinematic
    {0x00003, 27, 11, 0, kNot51, 0, 9, 2, 0, 0},   // Slo-Mo
    {0x00004, 15, 33, 33, kNot51, 0, 9, 8, 0, 0},  // Looping
    {0x00005, 12, 58, 58, kAll, 0, 9, 8, 0, 0},    // Basic
    // Photo group.
    {0x10000, 17, 3, 3, kAll, 0, 0, 0, 0, 0},    // Photo
    {0x10001, 25, 4, 4, kAll, 0, 0, 0, 0, 0},    // Live burst
    {0x10002, 19, 5, 5, kNot51, 0, 0, 3, 0, 0},  // Burst
    {0x10003, 18, 6, 6, kNot51, 0, 0, 5, 0, 0},  // Night
    // Time-lapse group.
    {0x20000, 24, 7, 7, kAll, 0, 1, 8, 0, 0},          // Swift lapse (video block)
    {0x20001, 13, 8, 8, kNot51, 0, 1, 8, 0, 0},        // Time lapse video
    {0x20002, 21, 9, 9, kNot51, 0, 0, 0, 4, 9},        // Night lapse
    {0x20003, 29, 76, 76, kNot50Or51, 0, 0, 0, 4, 9},  // Star trails
    {0x20004, 31, 78, 78, kNot50Or51, 0, 0, 0, 4, 9},  // Light trails
    {0x20005, 30, 77, 77, kNot50Or51, 0, 0, 0, 4, 9},  // Light painting
    // Second-lens groups.
    {0x30000, 12, 55, 55, kAll, 0, 1, 8, 0, 0},
    {0x40000, 17, 56, 56, kAll, 0, 0, 0, 0, 0},
    {0x50000, 24, 57, 57, kAll, 0, 1, 8, 0, 0},
    {0x50001, 26, 9, 9, kAll, 0, 0, 0, 4, 9},
    // Special group (any lens mode other than 0).
    {0x60000, 12, 12, 12, kAll, 0, 1, 8, 0, 0},
    // Endurance and longest-battery video.
    {0x80000, 12, 60, 60, kAll, 0, 9, 8, 0, 0},
    {0x80001, 12, 61, 61, kAll, 0, 9, 5, 3, 0},
    {0x80002, 12, 62, 62, kAll, 0, 1, 8, 4, 0},
    {0x80003, 27, 63, 63, kAll, 0, 9, 1, 0, 0},
    {0x90000, 12, 75, 60, kAll, 0, 9, 8, 0, 0},
    {0x90001, 12, 74, 61, kAll, 0, 9, 5, 3, 0},
    {0x90002, 12, 62, 62, kAll, 0, 9, 8, 4, 0},
    {0x90003, 27, 63, 63, kAll, 0, 9, 1, 0, 0},
    // Easy groups.
    {0xA0000, 12, 68, 58, kAll, 1, 1, 8, 0, 0},
    {0xB0000, 12, 72, 60, kAll, 2, 9, 8, 0, 0},
    {0xC0000, 17, 70, 3, kAll, 0, 0, 0, 0, 0},
    {0xC0001, 18, 71, 6, kAll, 0, 0, 5, 0, 0},
    {0xD0000, 24, 69, 7, kAll, 0, 1, 8, 0, 0},
    {0xE0000, 12, 75, 60, kAll, 2, 9, 8, 0, 0},
};

bool onModel(ModelSet set, int model) {
  switch (set) {
    case kNot51:
      return model != 51;
    case kNot50Or51:
      return model != 50 && model != 51;
    default:
      return true;
  }
}

PresetRecord build(const FactoryRow& row) {
  PresetRecord r;
  r.id = row.id;
  r.flatMode = row.flatMode;
  r.type = 0;
  r.icon = row.icon;
  r.title = row.title;
  r.easySpeedClass = row.easySpeedClass;
  BlockFamily family = familyOf(row.flatMode);
  r.block = defaultBlock(family);
  switch (family) {
    case BlockFamily::kVideo:
      r.block[2] = row.a;
      r.block[3] = row.b;
      r.block[4] = row.c;
      break;
    case BlockFamily::kPhoto:
      r.block[2] = row.a;
      r.block[5] = row.b;
      break;
    case BlockFamily::kMultiShot:
      r.block[2] = row.a;
      r.block[3] = row.b;
      r.block[4] = row.c;
      r.block[5] = row.d;
      break;
    case BlockFamily::kNone:
      break;
  }
  return r;
}

}  // namespace

std::array<uint8_t, PresetRecord::kBlockSize> defaultBlock(BlockFamily family) {
  std::array<uint8_t, PresetRecord::kBlockSize> b{};
  switch (family) {
    case BlockFamily::kVideo:
      b[2] = 1;   // 4K
      b[3] = 8;   // 30 fps
      b[6] = 5;   // looping interval: 5 minutes
      b[9] = 5;   // time-lapse video rate: 0.5 s
      b[24] = 2;  // aspect ratio
      b[46] = 0;  // duration: unlimited
      break;
    case BlockFamily::kPhoto:
      b[19] = 1;  // output: standard
      break;
    case BlockFamily::kMultiShot:
      b[4] = 4;   // 10 s time-lapse interval
      b[5] = 9;   // night-lapse interval: auto
      b[28] = 1;  // video resolution of the night-lapse video modes
      break;
    case BlockFamily::kNone:
      break;
  }
  return b;
}

std::vector<PresetRecord> factoryPresets(uint8_t group, int model) {
  std::vector<PresetRecord> out;
  for (const FactoryRow& row : kRows) {
    if (static_cast<uint8_t>(row.id >> 16) == group && onModel(row.models, model)) {
      out.push_back(build(row));
    }
  }
  return out;
}

bool factoryPreset(uint32_t id, int model, PresetRecord* out) {
  for (const FactoryRow& row : kRows) {
    if (row.id == id && onModel(row.models, model)) {
      *out = build(row);
      return true;
    }
  }
  return false;
}

}  // namespace ztsim
