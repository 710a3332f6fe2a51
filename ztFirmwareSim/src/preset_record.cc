#include "preset_record.h"

#include <algorithm>

namespace ztsim {

Bytes PresetRecord::encode() const {
  Bytes b(kSize, 0);
  b[0] = flatMode;
  b[1] = type;
  putU32(&b[2], id);
  putU32(&b[8], icon);
  putU32(&b[12], title);
  putU32(&b[16], titleNumber);
  putU32(&b[20], userData3);
  std::copy(block.begin(), block.end(), b.begin() + kBlockOffset);
  b[79] = static_cast<uint8_t>(edited);
  b[80] = static_cast<uint8_t>(easySpeedClass);
  return b;
}

PresetRecord PresetRecord::decode(const Bytes& b) {
  PresetRecord r;
  r.flatMode = b[0];
  r.type = b[1];
  r.id = getU32(&b[2]);
  r.icon = getU32(&b[8]);
  r.title = getU32(&b[12]);
  r.titleNumber = getU32(&b[16]);
  r.userData3 = getU32(&b[20]);
  std::copy_n(b.begin() + kBlockOffset, kBlockSize, r.block.begin());
  r.edited = static_cast<int8_t>(b[79]);
  r.easySpeedClass = static_cast<int8_t>(b[80]);
  return r;
}

bool PresetRecord::operator==(const PresetRecord& o) const {
  return encode() == o.encode();
}

BlockFamily familyOf(uint8_t flatMode) {
  switch (flatMode) {
    case 12:
    case 13:
    case 15:
    case 22:
    case 23:
    case 24:
    case 25:
    case 27:
      return BlockFamily::kVideo;
    case 16:
    case 17:
    case 18:
      return BlockFamily::kPhoto;
    case 19:
    case 20:
    case 21:
    case 26:
    case 29:
    case 30:
    case 31:
      return BlockFamily::kMultiShot;
    default:
      return BlockFamily::kNone;
  }
}

}  // namespace ztsim

namespace ztsim {

namespace {

// Interval values (seconds) by block index; a night-lapse 0 means "auto",
// which the settings block holds as 3601.
const int32_t kTimeLapseIntervals[12] = {0, 1, 2, 5, 10, 30, 60, 120, 300, 1800, 3600, 0};
const int32_t kNightLapseIntervals[12] = {10, 15, 20, 30, 60, 120, 300, 1800, 3600, 0, 4, 5};
const int32_t kNightLapseAuto = 3601;

}  // namespace

const std::vector<BlockField>& blockFields(BlockFamily family) {
  static const std::vector<BlockField> video = {
      {2, 2, BlockField::kPlain},   {3, 3, BlockField::kPlain}, {4, 121, BlockField::kPlain},
      {6, 6, BlockField::kPlain},   {9, 5, BlockField::kPlain}, {24, 111, BlockField::kPlain},
      {46, 155, BlockField::kPlain}};
  static const std::vector<BlockField> photo = {
      {2, 122, BlockField::kPlain}, {5, 19, BlockField::kPlain}, {19, 105, BlockField::kPlain}};
  static const std::vector<BlockField> multi = {
      {2, 123, BlockField::kPlain},         {3, 147, BlockField::kPlain},
      {4, 30, BlockField::kTimeLapseTable}, {5, 32, BlockField::kNightLapseTable},
      {7, 31, BlockField::kPlain},          {28, 2, BlockField::kPlain},
      {30, 121, BlockField::kPlain},        {34, 179, BlockField::kPlain}};
  static const std::vector<BlockField> none;
  switch (family) {
    case BlockFamily::kVideo:
      return video;
    case BlockFamily::kPhoto:
      return photo;
    case BlockFamily::kMultiShot:
      return multi;
    default:
      return none;
  }
}

int32_t blockToSettingValue(const BlockField& field, uint8_t byte) {
  switch (field.interval) {
    case BlockField::kTimeLapseTable:
      return byte < 12 ? kTimeLapseIntervals[byte] : 0;
    case BlockField::kNightLapseTable: {
      int32_t v = byte < 12 ? kNightLapseIntervals[byte] : 0;
      return v == 0 ? kNightLapseAuto : v;
    }
    default:
      return static_cast<int8_t>(byte);
  }
}

bool settingValueToBlock(const BlockField& field, int32_t value, uint8_t* byte) {
  const int32_t* table = nullptr;
  if (field.interval == BlockField::kTimeLapseTable) table = kTimeLapseIntervals;
  if (field.interval == BlockField::kNightLapseTable) {
    table = kNightLapseIntervals;
    if (value == kNightLapseAuto) value = 0;
  }
  if (!table) {
    *byte = static_cast<uint8_t>(value);
    return true;
  }
  for (uint8_t i = 0; i < 12; ++i) {
    if (table[i] == value) {
      *byte = i;
      return true;
    }
  }
  return false;
}

}  // namespace ztsim
