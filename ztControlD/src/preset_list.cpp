// The preset handlers' shared pieces and the full preset list: which of the
// firmware's groups the camera offers in its lens, power and ux state, with
// every preset's record turned into the client's form.
#include "preset_list.h"

#include <algorithm>
#include <memory>
#include <string>

#include "CameraState.h"
#include "camera_blocks.h"
#include "camera_settings.h"
#include "preset_groups.h"
#include "utils.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_layouts.h"

using wsdk_commands::WSDK_Preset;
using wsdk_commands::WSDK_PresetGroup;

namespace {

constexpr uint8_t kModelSingleGroup = 60;
constexpr uint8_t kEasyPhotoGroup = 12;
// The predefined easy photo preset listed when the active photo preset
// cannot be read.
constexpr uint32_t kEasyPhotoDefault = 0xC0000;
constexpr uint32_t kMaxUserPresetsPerGroup = 7;
// Predefined presets whose Orbi-lens counterparts model 60 lists after them.
constexpr int kVideoPreset = 0;
constexpr int kOrbiVideoPreset = 0x30000;
constexpr int kTimeLapsePreset = 0x20000;
constexpr int kOrbiTimeLapsePreset = 0x50000;

bool isFixedOnSingleGroupModel(uint8_t group)
{
    return group >= 10 && group <= 14;
}

// Moves the preset orbiId right behind the preset baseId (to the front when
// baseId is missing).
void placeAfter(PresetList *presets, int orbiId, int baseId)
{
    const int orbi = pb_get_preset_index_by_id(presets, orbiId);
    const int base = pb_get_preset_index_by_id(presets, baseId);
    int to = base < 0 ? 0 : base + 1;
    if (orbi >= 0 && orbi < to)
        --to;  // the moved preset's own place closes up in front of it
    if (orbi >= 0)
        pb_move_preset_by_index(presets, orbi, to);
}

// Model 60 lists every preset in one group; its Orbi-lens presets follow the
// predefined preset they are the counterpart of.
void reorderSingleGroup(WSDK_PresetGroup &group)
{
    placeAfter(group.mutable_preset_array(), kOrbiVideoPreset, kVideoPreset);
    placeAfter(group.mutable_preset_array(), kOrbiTimeLapsePreset, kTimeLapsePreset);
}

}  // namespace

int presetRequest(ztc_msg_q_context_t &camera, uint8_t op, const void *payload,
                  uint16_t payloadLength, uint8_t *&answer, uint16_t &answerLength)
{
    answer = nullptr;
    answerLength = 0;
    if (payload == nullptr)
        return ztc_send_remote_api_for_response(&camera, kPresetCategory, op, &answer,
                                                &answerLength);
    return ztc_send_remote_api_payload_response(&camera, kPresetCategory, op, payload,
                                                payloadLength, &answer, &answerLength);
}

int presetFetchRecord(ztc_msg_q_context_t &camera, uint32_t id, appc_presets_settings_info &record)
{
    uint8_t payload[kPresetIdSize];
    writeLE(payload, 0, id);
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    const int code = presetRequest(camera, kPresetGetInfo, payload, sizeof payload, answer, length);
    if (code != 0)
        return ZT_LOGGED(code, "REMOTE_PRESET_GET_INFO");
    if (!parsePresetRecord(answer, answer ? length : 0, &record)) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_PRESET_GET_INFO error, %d, size was %u, expected %llu", ZT_ERR,
              (unsigned)length, (unsigned long long)kPresetRecordSize);
        return ZT_ERR;
    }
    return ZT_OK;
}

wsdk_commands::WSDK_NotifyPresetStatus &presetStash()
{
    static std::unique_ptr<wsdk_commands::WSDK_NotifyPresetStatus> s_stash(
        new wsdk_commands::WSDK_NotifyPresetStatus);
    return *s_stash;
}

bool parsePresetRequest(const MsgElement *argument, google::protobuf::MessageLite &message)
{
    if (argument == nullptr)
        return false;
    const uint8_t *data = argument->getData();
    return message.ParseFromArray(data, data ? argument->getLength() : 0);
}

std::vector<uint32_t> presetIdList(const uint8_t *answer, uint16_t length)
{
    std::vector<uint32_t> ids;
    if (answer == nullptr || length == 0)
        return ids;
    const size_t count = answer[kPresetIdListCountOffset];
    const size_t present = (length - kPresetIdListFirstIdOffset) / kPresetIdSize;
    if (present < count)
        ZTLOG(ZT_LOG_ERROR, "Preset id list holds %u ids, not the %u announced", (unsigned)present,
              (unsigned)count);
    for (size_t i = 0; i < count && i < present; ++i)
        ids.push_back(readU32(answer, kPresetIdListFirstIdOffset + kPresetIdSize * i));
    return ids;
}

PresetCaptionContext presetCaptionContext(CameraState &state)
{
    PresetCaptionContext ctx;
    ctx.model = CameraState::GetCameraModel();
    ctx.lensMode = state.GetLensMode();
    ctx.easyProMode = state.GetEasyProMode();
    ctx.optionIdByValue = &getOptionIdByValue;
    return ctx;
}

CommandResult answerPresetMessage(int code, const google::protobuf::MessageLite &message)
{
    std::string bytes;
    if (!message.SerializeToString(&bytes)) {
        ZTLOG(ZT_LOG_ERROR, "Preset answer could not be serialised");
        return ZT_ERR;
    }
    if (bytes.size() > kZtMaxAnswerPayload) {
        ZTLOG(ZT_LOG_ERROR, "Preset answer of %zu bytes exceeds the %zu one answer carries",
              bytes.size(), kZtMaxAnswerPayload);
        return ZT_ERR;
    }
    return CommandResult::withOwnedData(code, std::move(bytes));
}

int GetPresetListInfo(ztc_msg_q_context_t &camera, CameraState &state,
                      wsdk_commands::WSDK_NotifyPresetStatus *list, unsigned int &groupCount)
{
    if (list == nullptr)
        return 0;
    const uint8_t model = CameraState::GetCameraModel();
    ZTLOG(ZT_LOG_DEBUG, "getting fresh presets");
    list->Clear();

    uint8_t *answer = nullptr;
    uint16_t length = 0;
    int result = presetRequest(camera, kPresetListGroups, nullptr, 0, answer, length);
    if (result != 0 || answer == nullptr || length == 0) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_PRESET_LIST_GROUPS error, %d", result);
        return result;
    }
    // Copied out: every later library call reuses the answer buffer.
    const std::vector<uint8_t> firmwareGroups(
        answer + 1, answer + 1 + std::min<size_t>(answer[0], length - 1u));
    groupCount = static_cast<unsigned>(firmwareGroups.size());
    ZTLOG(ZT_LOG_DEBUG, "group count is %u,", groupCount);

    const uint8_t lensMode = state.GetLensMode();
    const uint8_t lensType = state.GetLensType();
    const uint8_t powerProfile = state.getPowerProfile();
    const uint8_t easyProMode = state.GetEasyProMode();
    ZTLOG(ZT_LOG_DEBUG, "lens mode: %d, lens type: %d, powerprofile: %d, easyPro mode: %d",
          lensMode, lensType, powerProfile, easyProMode);
    const std::vector<uint8_t> offered =
        GetCurrentPresetGroups(lensMode, lensType, powerProfile, easyProMode, model);
    const PresetCaptionContext captions = presetCaptionContext(state);
    const bool orbiLens = lensType == 1;

    WSDK_PresetGroup *single = nullptr;
    if (model == kModelSingleGroup) {
        single = list->add_preset_group_array();
        single->set_id(static_cast<wsdk_commands::WSDK_EnumPresetGroup>(kPresetGroupIdBase +
                                                                        RemapPresetGroup(0)));
        single->set_icon(getPresetGroupIcon(0, powerProfile, 1));
    }

    for (uint8_t g : firmwareGroups) {
        ZTLOG(ZT_LOG_DEBUG, "group id is %d", g);
        if (std::find(offered.begin(), offered.end(), g) == offered.end())
            continue;
        const int status = presetRequest(camera, kPresetListIds, &g, 1, answer, length);
        if (status != 0 || answer == nullptr || length == 0) {
            ZTLOG(ZT_LOG_ERROR, "REMOTE_PRESET_LIST_IDS error, %d, ID %d", status, g);
            continue;
        }
        const std::vector<uint32_t> ids = presetIdList(answer, length);
        if (ids.empty())
            continue;  // a group without presets is not reported
        WSDK_PresetGroup *group = single;
        if (group == nullptr) {
            group = list->add_preset_group_array();
            const int base = RemapPresetGroup(g);
            group->set_id(
                static_cast<wsdk_commands::WSDK_EnumPresetGroup>(kPresetGroupIdBase + base));
            group->set_icon(getPresetGroupIcon(base, powerProfile, orbiLens));
        }
        ZTLOG(ZT_LOG_DEBUG, "preset count %u, size is %u", (unsigned)ids.size(), (unsigned)length);

        uint32_t filter = kEasyPhotoDefault;
        int statusError = 0;
        if (g == kEasyPhotoGroup) {
            uint8_t *status = nullptr;
            uint16_t statusLength = 0;
            statusError = state.requestAllStatus(status, statusLength);
            if (statusError != 0)
                ZTLOG(ZT_LOG_ERROR, "REMOTE_SYSTEM_ALL_STATUS_GET error, %d", statusError);
            else if (status != nullptr && statusLength == CAMERA_STATUS_BLOCK_SIZE)
                filter = statusWord(status, kStatusPhotoPresetOffset);
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
            uint8_t payload[kPresetIdSize];
            writeLE(payload, 0, id);
            const int infoStatus =
                presetRequest(camera, kPresetGetInfo, payload, sizeof payload, answer, length);
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
                                  isCreatePresetSupported(model) && g <= 2);
        if (g == kEasyPhotoGroup && statusError != 0 && !defaultRequested) {
            result = statusError;
            break;
        }
    }

    if (single != nullptr)
        reorderSingleGroup(*single);
    if (result == 0)
        state.m_presetsStale = false;
    return result;
}
