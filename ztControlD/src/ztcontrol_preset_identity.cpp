// Preset identity: title and icon numbering, predefined ids, model
// capabilities, moves inside a group's list and the next free title number.
#include <set>

#include "utils.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_preset_loader.h"

using wsdk_commands::WSDK_EnumPresetIcon;
using wsdk_commands::WSDK_EnumPresetTitle;
using wsdk_commands::WSDK_Preset;

namespace {

constexpr int kModel50 = 50;
constexpr int kModel51 = 51;
constexpr int kModel60 = 60;

// Firmware numbers that differ from the client's.
constexpr PRESET_TITLES_FW kTitleSimpleSmartShot = 70;
constexpr PRESET_TITLES_FW kTitleSimpleNightPhoto = 71;
constexpr PRESET_ICONS_FW kIconTimeLapse = 8;
constexpr PRESET_ICONS_FW kIconNightLapse = 9;
constexpr PRESET_ICONS_FW kIconTimeLapse2 = 17;
constexpr int kFlatModeTimeLapsePhoto = 20;
constexpr int kFlatModeNightLapsePhoto = 21;

// Predefined preset ids, as inclusive ranges.
struct IdRange {
    uint32_t first;
    uint32_t last;
};
constexpr IdRange kFactoryPresets[] = {
    {0x00000, 0x00005}, {0x10000, 0x10003}, {0x20000, 0x20002}, {0x30000, 0x30000},
    {0x40000, 0x40000}, {0x50000, 0x50001}, {0x80000, 0x80003}, {0x90000, 0x90003},
    {0xA0000, 0xA0000}, {0xB0000, 0xB0000}, {0xC0000, 0xC0001}, {0xD0000, 0xD0000},
    {0xE0000, 0xE0000},
};

constexpr uint32_t kNoIterator = 0xFFFFFFFFu;

}  // namespace

WSDK_EnumPresetTitle MapFWTitleToWSDK(PRESET_TITLES_FW title)
{
    if (title == kTitleSimpleSmartShot || title == kTitleSimpleNightPhoto)
        return wsdk_commands::WSDK_PRESET_TITLE_PHOTO;
    return static_cast<WSDK_EnumPresetTitle>(title);
}

PRESET_TITLES_FW mapWSDKTitleToFW(WSDK_EnumPresetTitle title)
{
    return static_cast<PRESET_TITLES_FW>(title);
}

WSDK_EnumPresetIcon MapFWIconToWSDK(PRESET_ICONS_FW icon, int flatMode)
{
    if (icon == kIconNightLapse && flatMode == kFlatModeNightLapsePhoto)
        return wsdk_commands::WSDK_PRESET_ICON_NIGHTLAPSE_PHOTO;
    if ((icon == kIconTimeLapse || icon == kIconTimeLapse2) && flatMode == kFlatModeTimeLapsePhoto)
        return wsdk_commands::WSDK_PRESET_ICON_TIMELAPSE_PHOTO;
    return static_cast<WSDK_EnumPresetIcon>(icon);
}

PRESET_ICONS_FW mapWSDKIconToFW(WSDK_EnumPresetIcon icon, int model)
{
    switch (icon) {
    case wsdk_commands::WSDK_PRESET_ICON_TIMELAPSE_PHOTO:
        // Model 51 draws its photo lapses with the second time-lapse icon.
        return model == kModel51 ? kIconTimeLapse2 : kIconTimeLapse;
    case wsdk_commands::WSDK_PRESET_ICON_NIGHTLAPSE_PHOTO:
        return kIconNightLapse;
    default:
        return static_cast<PRESET_ICONS_FW>(icon);
    }
}

bool isCreatePresetSupported(int model)
{
    return model != kModel51 && model != kModel60;
}

bool isOrbiLensSupported(unsigned char model)
{
    return model != kModel50;
}

bool IsFactoryPreset(unsigned int id)
{
    for (const IdRange &r : kFactoryPresets)
        if (id >= r.first && id <= r.last)
            return true;
    return false;
}

int pb_get_preset_index_by_id(const PresetList *presets, int id)
{
    if (presets == nullptr)
        return -1;
    for (int i = 0; i < presets->size(); ++i)
        if (presets->Get(i).id() == id)
            return i;
    return -1;
}

bool pb_move_preset_by_index(PresetList *presets, int from, int to)
{
    if (presets == nullptr)
        return false;
    const int size = presets->size();
    if (from < 0 || to < 0 || from >= size || to >= size)
        return false;
    // Swapping neighbours moves pointers only: the presets themselves, with
    // their setting arrays, stay where they are in memory.
    for (int i = from; i < to; ++i)
        presets->SwapElements(i, i + 1);
    for (int i = from; i > to; --i)
        presets->SwapElements(i, i - 1);
    return true;
}

uint32_t GetNextPresetIterator(unsigned char group, unsigned int title,
                               const PresetFirmwareRequest &request)
{
    if (!request)
        return kNoIterator;
    const uint8_t groupByte = group;
    const uint8_t *rsp = nullptr;
    size_t rspLen = 0;
    int status = request(kPresetListIds, &groupByte, 1, &rsp, &rspLen);
    if (status != 0 || rsp == nullptr || rspLen == 0) {
        ZTLOG(ZT_LOG_ERROR, "ztc_send_remote_api_payload_response error, %d\n", status);
        return kNoIterator;
    }
    const size_t count = rsp[0];
    if (count == 0)
        return 0;
    if (rspLen < 1 + 4 * count) {
        // The id list is cut short: treat it like any malformed answer.
        ZTLOG(ZT_LOG_ERROR, "ztc_send_remote_api_payload_response error, %d\n", 0);
        return kNoIterator;
    }
    // The answer lives in the library's buffer until the next request, so the
    // ids are copied out before the first info request.
    uint32_t ids[255];
    for (size_t i = 0; i < count; ++i)
        ids[i] = readU32(rsp + 1 + 4 * i);

    std::set<uint32_t> numbers;
    for (size_t i = 0; i < count; ++i) {
        ZTLOG(ZT_LOG_DEBUG, "checking preset id %u\n", ids[i]);
        uint8_t payload[4] = {static_cast<uint8_t>(ids[i]), static_cast<uint8_t>(ids[i] >> 8),
                              static_cast<uint8_t>(ids[i] >> 16),
                              static_cast<uint8_t>(ids[i] >> 24)};
        rsp = nullptr;
        rspLen = 0;
        status = request(kPresetGetInfo, payload, sizeof payload, &rsp, &rspLen);
        if (status != 0) {
            ZTLOG(ZT_LOG_ERROR, "ztc_send_remote_api_payload_response error, %d\n", status);
            return kNoIterator;
        }
        if (rsp == nullptr || rspLen != kPresetRecordSize) {
            ZTLOG(ZT_LOG_ERROR, "ztc_send_remote_api_payload_response error, %d\n", 0);
            return kNoIterator;
        }
        if (readU32(rsp + kPresetRecordTitleOffset) == title) {
            const uint32_t number = readU32(rsp + kPresetRecordTitleNumberOffset);
            numbers.insert(number);
            ZTLOG(ZT_LOG_DEBUG, "pushing preset id %d itr %d\n", static_cast<int>(ids[i]),
                  static_cast<int>(number));
        }
    }

    ZTLOG(ZT_LOG_DEBUG, "looping through pushes\n");
    uint32_t next = 0;
    int i = 0;
    for (auto it = numbers.begin(); it != numbers.end() && *it == next; ++it, ++i) {
        ZTLOG(ZT_LOG_DEBUG, "i=%d, itr=%d, iterator=%d\n", i, static_cast<int>(*it),
              static_cast<int>(next));
        ++next;
    }
    ZTLOG(ZT_LOG_DEBUG, "returning %d\n", static_cast<int>(next));
    return next;
}
