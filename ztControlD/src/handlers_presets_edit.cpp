// Preset commands that change presets in several firmware steps or answer
// from the preset stash: custom create, the full preset list, the flat-mode
// switch, title and icon, and the on-screen shortcuts reset.
#include <time.h>

#include <string>

#include "CameraState.h"
#include "CommandHandler.h"
#include "PresetEditScope.h"
#include "ZTCSIListener.h"
#include "preset_list.h"
#include "utils.h"
#include "wsdkCommands/WSDK_RequestCreateCustomPreset.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_preset_loader.h"

namespace {

constexpr int kNoSetting = PresetEditScope::kNoSetting;
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
constexpr uint8_t kLastBaseGroup = 2;

// REMOTE_PRESET_CUSTOM_CREATE payload: u8 group, u8 flat mode, u32 icon,
// u32 title, u32 title number, 4 zero bytes; its answer is the new u32 id.
constexpr size_t kCreateGroupOffset = 0;
constexpr size_t kCreateFlatModeOffset = 1;
constexpr size_t kCreateIconOffset = 2;
constexpr size_t kCreateTitleOffset = 6;
constexpr size_t kCreateNumberOffset = 10;
constexpr size_t kCreatePayloadSize = 18;
constexpr size_t kCreateAnswerSize = 4;

// REMOTE_PRESET_USER_DATA_EDIT payload: u32 preset id, then the record's
// user data words icon, title and title number, 4 zero bytes.
constexpr size_t kUserDataIdOffset = 0;
constexpr size_t kUserDataIconOffset = 4;
constexpr size_t kUserDataTitleOffset = 8;
constexpr size_t kUserDataNumberOffset = 12;
constexpr size_t kUserDataPayloadSize = 20;

// The daemon's own refusals: log the reason, give the result code.
int refused(const char *line)
{
    ZTLOG(ZT_LOG_ERROR, "%s", line);
    return ZT_ERR;
}

int refusedAsInvalid(const char *line)
{
    ZTLOG(ZT_LOG_ERROR, "%s", line);
    return ZT_ERR_INVALID_PARAM;
}

}  // namespace

// Creates a custom preset in a base group with the client's title, icon
// and flat mode; the answer carries the new preset's id. The daemon picks
// the title number: the client's proposal is ignored.
CommandResult cmdPresetCustomCreate(CommandScope &scope, const CommandArgs &args)
{
    ztcontrol::presets::ZTC_Preset_Custom_Create_Req req;
    if (!parsePresetRequest(args.argument, req) || !req.has_group_id() || !req.has_flat_mode() ||
        !req.has_preset_icon() || !req.has_preset_name() || !req.has_preset_name_iterator())
        return invalidParam();
    uint32_t group = req.group_id();
    if (group >= kPresetGroupIdBase)
        group -= kPresetGroupIdBase;
    const uint8_t groupByte = static_cast<uint8_t>(group);
    const uint8_t flatMode = static_cast<uint8_t>(req.flat_mode());
    if (req.preset_icon() < kFirstCustomIcon || req.preset_icon() > kLastCustomIcon ||
        req.preset_name() < kFirstCustomTitle || req.preset_name() > kLastCustomTitle ||
        flatMode < kFirstCaptureFlatMode || flatMode > kLastCaptureFlatMode ||
        groupByte > kLastBaseGroup)
        return invalidParam();

    ztc_msg_q_context_t &camera = scope.camera;
    const PRESET_TITLES_FW title =
        mapWSDKTitleToFW(static_cast<wsdk_commands::WSDK_EnumPresetTitle>(req.preset_name()));
    const PRESET_ICONS_FW icon =
        mapWSDKIconToFW(static_cast<wsdk_commands::WSDK_EnumPresetIcon>(req.preset_icon()),
                        CameraState::GetCameraModel());
    // Title numbers are unique per title and group.
    const uint32_t number = GetNextPresetIterator(
        groupByte, title,
        [&camera](uint8_t op, const uint8_t *payload, size_t payloadLength, const uint8_t **rsp,
                  size_t *rspLength) {
            uint8_t *answer = nullptr;
            uint16_t length = 0;
            const int status = presetRequest(camera, op, payload,
                                             static_cast<uint16_t>(payloadLength), answer, length);
            *rsp = answer;
            *rspLength = answer ? length : 0;
            return status;
        });
    if (number == kNoPresetNumber)
        return refused("Failed to get preset number");

    uint8_t payload[kCreatePayloadSize] = {};
    payload[kCreateGroupOffset] = groupByte;
    payload[kCreateFlatModeOffset] = flatMode;
    writeLE(payload, kCreateIconOffset, icon);
    writeLE(payload, kCreateTitleOffset, title);
    writeLE(payload, kCreateNumberOffset, number);
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    const int code =
        presetRequest(camera, kPresetCustomCreate, payload, sizeof payload, answer, length);
    if (code != 0)
        return ZT_LOGGED(code, "REMOTE_PRESET_CUSTOM_CREATE");
    if (answer == nullptr || length != kCreateAnswerSize)
        return ZT_LOGGED(ZT_ERR, "REMOTE_PRESET_CUSTOM_CREATE");
    const uint32_t newId = readU32(answer);

    const struct timespec settle = {0, kCreateSettleNs};
    nanosleep(&settle, nullptr);
    const int switched =
        ztc_send_remote_api_payload(&camera, kPresetCategory, kPresetsFlatModeSwitch, &flatMode, 1);
    const int stored = ztc_send_simple_remote_api(&camera, kPresetCategory, kPresetEditStore);
    const int combined = switched | stored;
    ZT_LOGGED(combined, "REMOTE_PRESETS_FLAT_MODE_SWITCH | REMOTE_PRESET_EDIT_STORE");

    // The preset exists whatever the completion steps gave, so the client
    // learns its id in every case.
    wsdk_commands::WSDK_ResponseCreateCustomPreset created;
    created.set_preset_id(static_cast<int32_t>(newId));
    created.set_result(RESULT_SUCCESS);
    return answerPresetMessage(combined, created);
}

// Every group the camera offers now with its presets. The list is read
// from the firmware only while a preset event or setting change has marked
// it stale; giving it to a client clears the camera's preset-change item.
// An argument is refused.
// The preset-change word a client has now seen is cleared once it has its
// answer.
static void clearPresetsChanged()
{
    ZTCSIListener *listener = ZTCSIListener::GetInstance();
    if (listener != nullptr)
        listener->SetCSIValue(kPresetsChangedItem, 0);
}

CommandResult cmdPresetGetPresets(CommandScope &scope, const CommandArgs &args)
{
    if (args.argument != nullptr)
        return refusedAsInvalid("get presets Invalid parameter");
    ZTLOG(ZT_LOG_DEBUG, "get presets request");
    wsdk_commands::WSDK_NotifyPresetStatus &stash = presetStash();
    unsigned int count = 0;
    int result = 0;
    if (!scope.state.m_presetsStale) {
        count = static_cast<unsigned>(stash.preset_group_array_size());
        ZTLOG(ZT_LOG_DEBUG, "got stashed presets");
    } else {
        result = GetPresetListInfo(scope.camera, scope.state, &stash, count);
    }
    if (result != 0 || count == 0)
        return refused("No groups returned");

    CommandResult answer = answerPresetMessage(ZT_OK, stash);
    const bool answered = answer.code() == ZT_OK;
    ZTLOG(ZT_LOG_DEBUG, "resp size %d, success=%d", (int)stash.ByteSizeLong(), answered ? 1 : 0);
    if (answered)
        answer.afterAnswer(clearPresetsChanged);
    return answer;
}

// Changes the flat mode of the current custom preset inside a preset edit.
// An open zoom edit is closed first; predefined presets keep their mode.
CommandResult cmdPresetSwitchFlatmode(CommandScope &scope, const CommandArgs &args)
{
    scope.edit.stopZooming("ZTCONTROL_PRESET_SWITCH_FLATMODE");
    ztcontrol::presets::ZTC_Preset_Switch_Flatmode_Req req;
    if (!parsePresetRequest(args.argument, req) || !req.has_flat_mode())
        return invalidParam();
    if (IsFactoryPreset(scope.state.GetCurrentPreset()))
        return refused("Can't change flatmode for builtin preset");
    if (!scope.edit.PresetStartEdit(kNoSetting))
        return refused("Failed to start preset edit!");
    const uint8_t flatMode = static_cast<uint8_t>(req.flat_mode());
    const int code = ZT_LOGGED(ztc_send_remote_api_payload(&scope.camera, kPresetCategory,
                                                           kPresetsFlatModeSwitch, &flatMode, 1),
                               "REMOTE_PRESETS_FLAT_MODE_SWITCH");
    scope.edit.PresetEndEdit(kNoSetting);
    return code;
}

// Changes the title, the icon or both of the current preset inside a
// preset edit; what the request leaves out keeps the record's word.
CommandResult cmdPresetSetTitleAndIcon(CommandScope &scope, const CommandArgs &args)
{
    const uint32_t current = scope.state.GetCurrentPreset();
    ztcontrol::presets::ZTC_Preset_Set_Title_Icon_Req req;
    if (!parsePresetRequest(args.argument, req) ||
        (!req.has_preset_name() && !req.has_preset_icon()))
        return invalidParam();

    appc_presets_settings_info record;
    const int fetched = presetFetchRecord(scope.camera, current, record);
    if (fetched != 0)
        return fetched;

    uint8_t payload[kUserDataPayloadSize] = {};
    writeLE(payload, kUserDataIdOffset, current);
    writeLE(
        payload, kUserDataIconOffset,
        req.has_preset_icon()
            ? mapWSDKIconToFW(static_cast<wsdk_commands::WSDK_EnumPresetIcon>(req.preset_icon()),
                              CameraState::GetCameraModel())
            : record.user_data[0]);
    writeLE(
        payload, kUserDataTitleOffset,
        req.has_preset_name()
            ? mapWSDKTitleToFW(static_cast<wsdk_commands::WSDK_EnumPresetTitle>(req.preset_name()))
            : record.user_data[1]);
    writeLE(payload, kUserDataNumberOffset, record.user_data[2]);

    if (!scope.edit.PresetStartEdit(kNoSetting))
        return refused("Failed to start preset edit!");
    const int code =
        ZT_LOGGED(ztc_send_remote_api_payload(&scope.camera, kPresetCategory, kPresetUserDataEdit,
                                              payload, sizeof payload),
                  "REMOTE_PRESET_USER_DATA_EDIT");
    scope.edit.PresetEndEdit(kNoSetting);
    return code;
}

// Restores the camera's on-screen shortcuts inside a preset edit.
CommandResult cmdOnscreenShortcutsReset(CommandScope &scope, const CommandArgs &)
{
    ZTLOG(ZT_LOG_INFO, "ZTCONTROL_ONSCREEN_SHORTCUTS_RESET: shortcuts_reset");
    if (!scope.edit.PresetStartEdit(kNoSetting))
        return refused("Failed to start preset edit!");
    const int code = ZT_LOGGED(ztc_preset_onscreen_shortcuts_reset(&scope.camera),
                               "ZTCONTROL_ONSCREEN_SHORTCUTS_RESET ztc_send_simple_remote_api");
    scope.edit.PresetEndEdit(kNoSetting);
    return code;
}
