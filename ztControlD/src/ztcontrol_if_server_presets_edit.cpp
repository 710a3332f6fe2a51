// Command server, preset commands that change presets in several firmware
// steps or answer from the preset stash: custom create, the full preset list,
// the flat-mode switch, title and icon, and the on-screen shortcuts reset.
// Worker thread, m_commandMutex held.
#include <time.h>

#include <memory>
#include <string>

#include "camera_blocks.h"
#include "utils.h"
#include "wsdkCommands/WSDK_RequestCreateCustomPreset.pb.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_if_server.h"
#include "ztcontrol_if_server_presets.h"

using namespace ztcontrol_presets;

namespace {

constexpr uint32_t kGroupIdBase = 1000;
constexpr int kNoSetting = -1;
constexpr uint32_t kNoPresetNumber = 0xFFFFFFFFu;
// Camera-state-interface item the firmware's preset events raise; cleared
// once a client has been given the preset list.
constexpr unsigned kPresetsChangedItem = 7;
// The firmware completes a new preset's creation asynchronously; the flat
// mode switch that follows must not overtake it.
constexpr long kCreateSettleNs = 500L * 1000 * 1000;

// Custom presets may only take the custom icons and titles and a capture
// flat mode, in the three base groups.
constexpr uint32_t kFirstCustomIcon = 18, kLastCustomIcon = 1001;
constexpr uint32_t kFirstCustomTitle = 18, kLastCustomTitle = 79;
constexpr uint32_t kFirstCaptureFlatMode = 12, kLastCaptureFlatMode = 31;

// The process-wide preset list answered by ZTCONTROL_PRESET_GET_PRESETS,
// rebuilt only while the server marks it stale.
wsdk_commands::WSDK_NotifyPresetStatus &presetStash()
{
    static std::unique_ptr<wsdk_commands::WSDK_NotifyPresetStatus> s_stash(
        new wsdk_commands::WSDK_NotifyPresetStatus);
    return *s_stash;
}

// The daemon's own refusals: log the reason, give the result code.
int invalidParameter(const char *line = "Invalid parameter")
{
    ZTLOG(ZT_LOG_ERROR, "%s", line);
    return ZT_ERR_INVALID_PARAM;
}

int refused(const char *line)
{
    ZTLOG(ZT_LOG_ERROR, "%s", line);
    return ZT_ERR;
}

}  // namespace

ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::presetCustomCreate(
    Msg &request, const MsgElement *argument)
{
    ztcontrol::presets::ZTC_Preset_Custom_Create_Req req;
    if (!ParseRequest(argument, req) || !req.has_group_id() || !req.has_flat_mode() ||
        !req.has_preset_icon() || !req.has_preset_name() || !req.has_preset_name_iterator())
        return CommandOutcome{invalidParameter()};
    uint32_t group = req.group_id();
    if (group >= kGroupIdBase)
        group -= kGroupIdBase;
    const uint8_t groupByte = static_cast<uint8_t>(group);
    const uint8_t flatMode = static_cast<uint8_t>(req.flat_mode());
    if (req.preset_icon() < kFirstCustomIcon || req.preset_icon() > kLastCustomIcon ||
        req.preset_name() < kFirstCustomTitle || req.preset_name() > kLastCustomTitle ||
        flatMode < kFirstCaptureFlatMode || flatMode > kLastCaptureFlatMode || groupByte > 2)
        return CommandOutcome{invalidParameter()};

    const PRESET_TITLES_FW title =
        MapWSDKTitleToFW(static_cast<wsdk_commands::WSDK_EnumPresetTitle>(req.preset_name()));
    const PRESET_ICONS_FW icon = MapWSDKIconToFW(
        static_cast<wsdk_commands::WSDK_EnumPresetIcon>(req.preset_icon()), GetCameraModel());
    // The firmware keeps title numbers unique per title and group; what the
    // client proposed is ignored.
    const uint32_t number = GetNextPresetIterator(
        groupByte, title,
        [this](uint8_t op, const uint8_t *payload, size_t payloadLength, const uint8_t **rsp,
               size_t *rspLength) {
            uint8_t *answer = nullptr;
            uint16_t length = 0;
            const int status =
                presetRequest(op, payload, static_cast<uint16_t>(payloadLength), answer, length);
            *rsp = answer;
            *rspLength = answer ? length : 0;
            return status;
        });
    if (number == kNoPresetNumber)
        return CommandOutcome{refused("Failed to get preset number")};

    uint8_t payload[18] = {};
    payload[0] = groupByte;
    payload[1] = flatMode;
    writeLE(payload + 2, 0, icon);
    writeLE(payload + 6, 0, title);
    writeLE(payload + 10, 0, number);
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    CommandOutcome outcome;
    outcome.code = presetRequest(kPresetCustomCreate, payload, sizeof payload, answer, length);
    if (outcome.code != 0) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_PRESET_CUSTOM_CREATE error, %d", outcome.code);
        return outcome;
    }
    if (answer == nullptr || length != 4) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_PRESET_CUSTOM_CREATE error, %d", ZT_ERR);
        outcome.code = ZT_ERR;
        return outcome;
    }
    const uint32_t newId = readU32(answer);

    const struct timespec settle = {0, kCreateSettleNs};
    nanosleep(&settle, nullptr);
    const int switched = ztc_send_remote_api_payload(&m_cameraContext, kPresetCategory,
                                                     kPresetsFlatModeSwitch, &flatMode, 1);
    const int stored =
        ztc_send_simple_remote_api(&m_cameraContext, kPresetCategory, kPresetEditStore);
    const int combined = switched | stored;
    if (combined != 0)
        ZTLOG(ZT_LOG_ERROR, "REMOTE_PRESETS_FLAT_MODE_SWITCH | REMOTE_PRESET_EDIT_STORE error, %d",
              combined);

    // The preset exists whatever the completion steps gave, so the client
    // learns its id in every case.
    wsdk_commands::WSDK_ResponseCreateCustomPreset created;
    created.set_preset_id(static_cast<int32_t>(newId));
    created.set_result(RESULT_SUCCESS);
    return answerPresetMessage(request, combined, created);
}

ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::presetGetPresets(
    Msg &request, const MsgElement *argument)
{
    if (argument != nullptr)
        return CommandOutcome{invalidParameter("get presets Invalid parameter")};
    ZTLOG(ZT_LOG_DEBUG, "get presets request");
    wsdk_commands::WSDK_NotifyPresetStatus &stash = presetStash();
    unsigned int count = 0;
    int result = 0;
    if (!m_presetsStale) {
        count = static_cast<unsigned>(stash.preset_group_array_size());
        ZTLOG(ZT_LOG_DEBUG, "got stashed presets");
    } else {
        result = GetPresetListInfo(&stash, count);
    }
    if (result != 0 || count == 0)
        return CommandOutcome{refused("No groups returned")};

    CommandOutcome outcome = answerPresetMessage(request, ZT_OK, stash);
    ZTLOG(ZT_LOG_DEBUG, "resp size %d, success=%d", (int)stash.ByteSizeLong(),
          outcome.answered ? 1 : 0);
    if (outcome.answered) {
        ZTCSIListener *listener = ZTCSIListener::GetInstance();
        if (listener != nullptr)
            listener->SetCSIValue(kPresetsChangedItem, 0);
    }
    return outcome;
}

ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::presetSwitchFlatMode(
    const MsgElement *argument)
{
    stopZooming("ZTCONTROL_PRESET_SWITCH_FLATMODE");
    ztcontrol::presets::ZTC_Preset_Switch_Flatmode_Req req;
    if (!ParseRequest(argument, req) || !req.has_flat_mode())
        return CommandOutcome{invalidParameter()};
    if (IsFactoryPreset(GetCurrentPreset()))
        return CommandOutcome{refused("Can't change flatmode for builtin preset")};
    if (!PresetStartEdit(kNoSetting))
        return CommandOutcome{refused("Failed to start preset edit!")};
    const uint8_t flatMode = static_cast<uint8_t>(req.flat_mode());
    CommandOutcome outcome;
    outcome.code = ztc_send_remote_api_payload(&m_cameraContext, kPresetCategory,
                                               kPresetsFlatModeSwitch, &flatMode, 1);
    if (outcome.code != 0)
        ZTLOG(ZT_LOG_ERROR, "REMOTE_PRESETS_FLAT_MODE_SWITCH error, %d", outcome.code);
    PresetEndEdit(kNoSetting);
    return outcome;
}

ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::presetSetTitleAndIcon(
    const MsgElement *argument)
{
    const uint32_t current = GetCurrentPreset();
    ztcontrol::presets::ZTC_Preset_Set_Title_Icon_Req req;
    if (!ParseRequest(argument, req) || (!req.has_preset_name() && !req.has_preset_icon()))
        return CommandOutcome{invalidParameter()};

    CommandOutcome outcome;
    appc_presets_settings_info record;
    outcome.code = presetFetchRecord(current, record);
    if (outcome.code != 0)
        return outcome;

    // What the request leaves out keeps the record's word.
    uint8_t payload[20] = {};
    writeLE(payload, 0, current);
    writeLE(
        payload + 4, 0,
        req.has_preset_icon()
            ? MapWSDKIconToFW(static_cast<wsdk_commands::WSDK_EnumPresetIcon>(req.preset_icon()),
                              GetCameraModel())
            : record.user_data[0]);
    writeLE(
        payload + 8, 0,
        req.has_preset_name()
            ? MapWSDKTitleToFW(static_cast<wsdk_commands::WSDK_EnumPresetTitle>(req.preset_name()))
            : record.user_data[1]);
    writeLE(payload + 12, 0, record.user_data[2]);

    if (!PresetStartEdit(kNoSetting))
        return CommandOutcome{refused("Failed to start preset edit!")};
    outcome.code = ztc_send_remote_api_payload(&m_cameraContext, kPresetCategory,
                                               kPresetUserDataEdit, payload, sizeof payload);
    if (outcome.code != 0)
        ZTLOG(ZT_LOG_ERROR, "REMOTE_PRESET_USER_DATA_EDIT error, %d", outcome.code);
    PresetEndEdit(kNoSetting);
    return outcome;
}

// The argument element is not examined.
ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::onscreenShortcutsReset()
{
    ZTLOG(ZT_LOG_INFO, "ZTCONTROL_ONSCREEN_SHORTCUTS_RESET: shortcuts_reset");
    if (!PresetStartEdit(kNoSetting))
        return CommandOutcome{refused("Failed to start preset edit!")};
    CommandOutcome outcome;
    outcome.code = ztc_preset_onscreen_shortcuts_reset(&m_cameraContext);
    if (outcome.code != 0)
        ZTLOG(ZT_LOG_ERROR,
              "ZTCONTROL_ONSCREEN_SHORTCUTS_RESET ztc_send_simple_remote_api error, %d",
              outcome.code);
    PresetEndEdit(kNoSetting);
    return outcome;
}
