// Command server, preset lists: which preset groups the camera offers in its
// lens, power and ux state, and the full list of offered groups with their
// presets that ZTCONTROL_PRESET_GET_PRESETS answers from its stash.
// Worker thread, m_commandMutex held.
#include <algorithm>

#include "utils.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_if_server.h"
#include "ztcontrol_if_server_presets.h"

using namespace ztcontrol_presets;
using wsdk_commands::WSDK_Preset;
using wsdk_commands::WSDK_PresetGroup;

namespace {

constexpr uint8_t kModelSingleGroup = 60;
constexpr uint8_t kEasyPhotoGroup = 12;
// The predefined easy photo preset listed when the active photo preset
// cannot be read.
constexpr uint32_t kEasyPhotoDefault = 0xC0000;
constexpr uint32_t kMaxUserPresetsPerGroup = 7;
constexpr int kGroupIdBase = 1000;

bool isFixedOnSingleGroupModel(uint8_t group)
{
    return group >= 10 && group <= 14;
}

// Model 60 lists every preset in one group; its Orbi-lens presets follow the
// predefined preset they are the counterpart of (or go first when that one
// is missing).
void reorderSingleGroup(WSDK_PresetGroup &group)
{
    auto *presets = group.mutable_preset_array();
    const int orbiVideo = pb_get_preset_index_by_id(presets, 0x30000);
    const int video = pb_get_preset_index_by_id(presets, 0);
    int to = video < 0 ? 0 : video + 1;
    if (orbiVideo >= 0 && orbiVideo < to)
        --to;  // the moved preset's own place closes up in front of it
    if (orbiVideo >= 0)
        pb_move_preset_by_index(presets, orbiVideo, to);

    const int orbiLapse = pb_get_preset_index_by_id(presets, 0x50000);
    const int lapse = pb_get_preset_index_by_id(presets, 0x20000);
    to = lapse < 0 ? 0 : lapse + 1;
    if (orbiLapse >= 0 && orbiLapse < to)
        --to;
    if (orbiLapse >= 0)
        pb_move_preset_by_index(presets, orbiLapse, to);
}

}  // namespace

std::vector<uint8_t> ZtcontrolCommandServer::GetCurrentPresetGroups(
    uint8_t lensMode, uint8_t lensType, uint8_t powerProfile, uint8_t easyProMode, uint8_t model)
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

int ZtcontrolCommandServer::GetPresetListInfo(wsdk_commands::WSDK_NotifyPresetStatus *list,
                                              unsigned int &groupCount)
{
    if (list == nullptr)
        return 0;
    const uint8_t model = GetCameraModel();
    ZTLOG(ZT_LOG_DEBUG, "getting fresh presets");
    list->Clear();

    uint8_t *answer = nullptr;
    uint16_t length = 0;
    int result = presetRequest(kPresetListGroups, nullptr, 0, answer, length);
    if (result != 0 || answer == nullptr || length == 0) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_PRESET_LIST_GROUPS error, %d", result);
        return result;
    }
    // Copied out: every later library call reuses the answer buffer.
    const std::vector<uint8_t> firmwareGroups(
        answer + 1, answer + 1 + std::min<size_t>(answer[0], length - 1u));
    groupCount = static_cast<unsigned>(firmwareGroups.size());
    ZTLOG(ZT_LOG_DEBUG, "group count is %u,", groupCount);

    const uint8_t lensMode = GetLensMode();
    const uint8_t lensType = GetLensType();
    const uint8_t powerProfile = GetPowerProfile();
    const uint8_t easyProMode = GetEasyProMode();
    ZTLOG(ZT_LOG_DEBUG, "lens mode: %d, lens type: %d, powerprofile: %d, easyPro mode: %d",
          lensMode, lensType, powerProfile, easyProMode);
    const std::vector<uint8_t> offered =
        GetCurrentPresetGroups(lensMode, lensType, powerProfile, easyProMode, model);
    const PresetCaptionContext captions = CaptionContextOf(*this);
    const bool orbiLens = lensType == 1;

    WSDK_PresetGroup *single = nullptr;
    if (model == kModelSingleGroup) {
        single = list->add_preset_group_array();
        single->set_id(
            static_cast<wsdk_commands::WSDK_EnumPresetGroup>(kGroupIdBase + RemapPresetGroup(0)));
        single->set_icon(getPresetGroupIcon(0, powerProfile, 1));
    }

    for (uint8_t g : firmwareGroups) {
        ZTLOG(ZT_LOG_DEBUG, "group id is %d", g);
        if (std::find(offered.begin(), offered.end(), g) == offered.end())
            continue;
        const int status = presetRequest(kPresetListIds, &g, 1, answer, length);
        if (status != 0 || answer == nullptr || length == 0) {
            ZTLOG(ZT_LOG_ERROR, "REMOTE_PRESET_LIST_IDS error, %d, ID %d", status, g);
            continue;
        }
        const std::vector<uint32_t> ids = IdList(answer, length);
        if (ids.empty())
            continue;  // a group without presets is not reported
        WSDK_PresetGroup *group = single;
        if (group == nullptr) {
            group = list->add_preset_group_array();
            const int base = RemapPresetGroup(g);
            group->set_id(static_cast<wsdk_commands::WSDK_EnumPresetGroup>(kGroupIdBase + base));
            group->set_icon(getPresetGroupIcon(base, powerProfile, orbiLens));
        }
        ZTLOG(ZT_LOG_DEBUG, "preset count %u, size is %u", (unsigned)ids.size(), (unsigned)length);

        uint32_t filter = kEasyPhotoDefault;
        int statusError = 0;
        if (g == kEasyPhotoGroup) {
            uint8_t *status = nullptr;
            uint16_t statusLength = 0;
            statusError = requestAllStatus(status, statusLength);
            if (statusError != 0)
                ZTLOG(ZT_LOG_ERROR, "REMOTE_SYSTEM_ALL_STATUS_GET error, %d", statusError);
            else if (status != nullptr && statusLength == CAMERA_STATUS_BLOCK_SIZE)
                filter = StatusWord(status, kStatusPhotoPresetOffset);
        }

        uint32_t userDefined = 0;
        bool defaultRequested = false;
        for (uint32_t id : ids) {
            ZTLOG(ZT_LOG_DEBUG, "preset id is %u", id);
            if (g == kEasyPhotoGroup) {
                defaultRequested = defaultRequested || id == kEasyPhotoDefault;
                if (id != filter) {
                    ZTLOG(ZT_LOG_DEBUG, "preset %u did not match %u so skipping", id, filter);
                    continue;
                }
            }
            uint8_t payload[4];
            writeLE(payload, 0, id);
            const int infoStatus =
                presetRequest(kPresetGetInfo, payload, sizeof payload, answer, length);
            appc_presets_settings_info record;
            if (infoStatus != 0) {
                ZTLOG(ZT_LOG_ERROR, "REMOTE_PRESET_GET_INFO error, %d for preset id %d", infoStatus,
                      (int)id);
                continue;
            }
            if (!parsePresetRecord(answer, answer ? length : 0, &record)) {
                ZTLOG(ZT_LOG_ERROR, "REMOTE_PRESET_GET_INFO  response size incorrect");
                continue;
            }
            WSDK_Preset *preset = group->add_preset_array();
            preset->set_id(static_cast<int32_t>(id));
            populatePresetInfo(&record, *preset, captions);
            if (preset->user_defined())
                ++userDefined;
            if (model == kModelSingleGroup && isFixedOnSingleGroupModel(g))
                preset->set_is_fixed(true);
        }
        group->set_can_add_preset(userDefined < kMaxUserPresetsPerGroup &&
                                  IsCreatePresetSupported(model) && g <= 2);
        if (g == kEasyPhotoGroup && statusError != 0 && !defaultRequested) {
            result = statusError;
            break;
        }
    }

    if (single != nullptr)
        reorderSingleGroup(*single);
    if (result == 0)
        m_presetsStale = false;
    return result;
}
