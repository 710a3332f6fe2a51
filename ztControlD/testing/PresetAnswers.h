// Firmware answers of the preset operations (kPresetCategory) for
// scripted-peer tests: group lists, id lists and the 81-byte preset record.
// The operations themselves are named in ztcontrol_remote_ops.h. Plain data;
// any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "ztcontrol_remote_ops.h"

namespace zttest {

// Appends a little-endian u32.
inline void putLE(std::vector<uint8_t> &out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// REMOTE_PRESET_LIST_GROUPS answer: count byte, group bytes.
inline std::vector<uint8_t> groupList(std::initializer_list<uint8_t> groups)
{
    std::vector<uint8_t> out{static_cast<uint8_t>(groups.size())};
    for (uint8_t group : groups)
        out.push_back(group);
    return out;
}

// REMOTE_PRESET_LIST_IDS answer: count byte, u32 ids.
inline std::vector<uint8_t> idList(const std::vector<uint32_t> &ids)
{
    std::vector<uint8_t> out{static_cast<uint8_t>(ids.size())};
    for (uint32_t id : ids)
        putLE(out, id);
    return out;
}

// The 81-byte appc_presets_settings_info.
struct PresetRecord {
    uint8_t flatMode = 12;
    bool userDefined = false;
    uint32_t id = 0;
    uint32_t icon = 0;
    uint32_t title = 1;
    uint32_t titleNumber = 0;
    uint32_t userData3 = 0;

    std::vector<uint8_t> bytes() const
    {
        std::vector<uint8_t> out{flatMode, static_cast<uint8_t>(userDefined ? 1 : 0)};
        putLE(out, id);
        out.resize(8, 0);
        putLE(out, icon);
        putLE(out, title);
        putLE(out, titleNumber);
        putLE(out, userData3);
        out.resize(81, 0);
        return out;
    }
};

}  // namespace zttest
