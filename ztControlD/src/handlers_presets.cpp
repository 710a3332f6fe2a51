// Preset commands that are one firmware operation each: the group and id
// lists, one preset's record, remove, order, load, the edit steps, the
// factory restore of a preset, and the active preset and group.
#include <string>

#include "CameraState.h"
#include "CommandHandler.h"
#include "PresetEditScope.h"
#include "preset_list.h"
#include "utils.h"
#include "ztControlCommands/ztControl_presets.pb.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_layouts.h"
#include "ztcontrol_preset_loader.h"

namespace {

// Clients name groups 0 to 14 (or 1000 to 1014).
constexpr uint32_t kLastInputGroup = 14;
// REMOTE_PRESET_SET_ORDER payload: u32 preset id, u32 order.
constexpr size_t kSetOrderIdOffset = 0;
constexpr size_t kSetOrderOrderOffset = 4;
constexpr size_t kSetOrderPayloadSize = 8;
constexpr uint32_t kNoActivePreset = 0xFFFFFFFFu;

// Groups 3 to 5 are the Orbi-lens variants; the group list leaves them out
// because clients address them through base groups 0 to 2.
bool isOrbiGroupNumber(uint8_t group)
{
    return group >= 3 && group <= 5;
}

// The operations that name one preset: the request message Request carries
// its id, which goes to the firmware as the operation's u32 payload.
template <typename Request>
CommandResult presetIdOperation(ztc_msg_q_context_t &camera, const MsgElement *argument, uint8_t op,
                                const char *what)
{
    Request req;
    if (!parsePresetRequest(argument, req) || !req.has_preset_id())
        return invalidParam();
    uint8_t payload[kPresetIdSize];
    writeLE(payload, 0, req.preset_id());
    return ZT_LOGGED(
        ztc_send_remote_api_payload(&camera, kPresetCategory, op, payload, sizeof payload), what);
}

// The edit steps that take no argument; one sent is refused.
CommandResult presetPlainOperation(ztc_msg_q_context_t &camera, uint8_t op, const char *what)
{
    return ZT_LOGGED(ztc_send_simple_remote_api(&camera, kPresetCategory, op), what);
}

}  // namespace

// The firmware's groups in client numbering, without the Orbi-lens ones. An
// argument is refused.
CommandResult cmdPresetListGroups(CommandScope &scope, const CommandArgs &)
{
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    const int code = presetRequest(scope.camera, kPresetListGroups, nullptr, 0, answer, length);
    if (code != 0 || answer == nullptr || length == 0) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_PRESET_LIST_GROUPS error, %d", code);
        return code;
    }
    ztcontrol::presets::ZTC_Preset_Group_List_Resp groups;
    const size_t count = answer[0];
    for (size_t i = 0; i < count && 1 + i < length; ++i)
        if (!isOrbiGroupNumber(answer[1 + i]))
            groups.add_preset_groups(kPresetGroupIdBase + answer[1 + i]);
    return answerPresetMessage(ZT_OK, groups);
}

// The preset ids of a base group, asked of the firmware group in use for it
// on this camera now.
CommandResult cmdPresetListIds(CommandScope &scope, const CommandArgs &args)
{
    // A request that fails to parse may still have set its group on the way;
    // only a whole request counts.
    ztcontrol::presets::ZTC_Preset_List_Req req;
    if (!parsePresetRequest(args.argument, req) || !req.has_group_id())
        return invalidParam();
    uint32_t group = req.group_id();
    if (group >= kPresetGroupIdBase)
        group -= kPresetGroupIdBase;
    if (group > kLastInputGroup)
        return invalidParam();
    const uint8_t actual = scope.state.ConvertInputGroupToActualGroup(static_cast<uint8_t>(group));
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    const int code = presetRequest(scope.camera, kPresetListIds, &actual, 1, answer, length);
    if (code != 0 || answer == nullptr || length == 0) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_PRESET_LIST_IDS error, %d", code);
        return code;
    }
    ztcontrol::presets::ZTC_Preset_List_Resp list;
    for (uint32_t id : presetIdList(answer, length))
        list.add_presets(id);
    return answerPresetMessage(ZT_OK, list);
}

// One preset in the client's form, its record logged on the way.
CommandResult cmdPresetGetInfo(CommandScope &scope, const CommandArgs &args)
{
    ztcontrol::presets::ZTC_Preset_Info_Req req;
    if (!parsePresetRequest(args.argument, req) || !req.has_preset_id())
        return invalidParam();
    appc_presets_settings_info record;
    const int code =
        presetFetchRecord(scope.camera, static_cast<uint32_t>(req.preset_id()), record);
    if (code != 0)
        return code;
    ZTLOG(ZT_LOG_INFO, "REMOTE_PRESET_GET_INFO, %d, size was %u, expected %u", code,
          (unsigned)kPresetRecordSize, (unsigned)kPresetRecordSize);
    ZTLOG(ZT_LOG_INFO, "app flat mode is %d", record.flat_mode);
    ZTLOG(ZT_LOG_INFO, "preset type is %d", record.preset_type);
    ZTLOG(ZT_LOG_INFO, "preset id is %u", record.preset_id);
    ZTLOG(ZT_LOG_INFO, "predefined preset? %d", record.preset_type == 0 ? 1 : 0);
    for (int i = 0; i < 4; ++i)
        ZTLOG(ZT_LOG_INFO, "user data %d %u", i, record.user_data[i]);
    ZTLOG(ZT_LOG_INFO, "preset edited %d", record.edited);

    wsdk_commands::WSDK_Preset preset;
    preset.set_id(static_cast<int32_t>(record.preset_id));
    populatePresetInfo(&record, preset, presetCaptionContext(scope.state));
    ZTLOG(ZT_LOG_INFO, "did succeed? %d, size is %lu", 1, (unsigned long)preset.ByteSizeLong());
    return answerPresetMessage(ZT_OK, preset);
}

CommandResult cmdPresetCustomRemove(CommandScope &scope, const CommandArgs &args)
{
    return presetIdOperation<ztcontrol::presets::ZTC_Preset_Custom_Remove_Req>(
        scope.camera, args.argument, kPresetCustomRemove, "REMOTE_PRESET_CUSTOM_REMOVE");
}

// An open zoom edit is closed first so the zoom does not land in the preset
// being left.
CommandResult cmdPresetLoad(CommandScope &scope, const CommandArgs &args)
{
    scope.edit.stopZooming("ZTCONTROL_PRESET_LOAD");
    return presetIdOperation<ztcontrol::presets::ZTC_Preset_Load_Req>(
        scope.camera, args.argument, kPresetActiveSet, "REMOTE_PRESET_ACTIVE_SET");
}

CommandResult cmdPresetEditStart(CommandScope &scope, const CommandArgs &args)
{
    return presetIdOperation<ztcontrol::presets::ZTC_Preset_Edit_Start_Req>(
        scope.camera, args.argument, kPresetEditStart, "REMOTE_PRESET_EDIT_START");
}

CommandResult cmdPresetFactoryReset(CommandScope &scope, const CommandArgs &args)
{
    return presetIdOperation<ztcontrol::presets::ZTC_Preset_Factory_Reset_Req>(
        scope.camera, args.argument, kPresetPredefinedRestore, "REMOTE_PRESET_PREDEFINED_RESTORE");
}

CommandResult cmdPresetEditCancel(CommandScope &scope, const CommandArgs &)
{
    return presetPlainOperation(scope.camera, kPresetEditCancel, "REMOTE_PRESET_EDIT_CANCEL");
}

CommandResult cmdPresetEditStore(CommandScope &scope, const CommandArgs &)
{
    return presetPlainOperation(scope.camera, kPresetEditStore, "REMOTE_PRESET_EDIT_STORE");
}

CommandResult cmdPresetSetOrder(CommandScope &scope, const CommandArgs &args)
{
    ztcontrol::presets::ZTC_Preset_Set_Order_Req req;
    if (!parsePresetRequest(args.argument, req) || !req.has_preset_id() || !req.has_order())
        return invalidParam();
    uint8_t payload[kSetOrderPayloadSize];
    writeLE(payload, kSetOrderIdOffset, req.preset_id());
    writeLE(payload, kSetOrderOrderOffset, req.order());
    return ZT_LOGGED(ztc_send_remote_api_payload(&scope.camera, kPresetCategory, kPresetSetOrder,
                                                 payload, sizeof payload),
                     "REMOTE_PRESET_SET_ORDER");
}

// The active preset id; ZT_ERR with 0 when the camera cannot tell. The
// answer always carries the word.
CommandResult cmdPresetGetActivePreset(CommandScope &scope, const CommandArgs &)
{
    ZTLOG(ZT_LOG_INFO, "ZTCONTROL_PRESET_GET_ACTIVE_PRESET");
    const uint32_t preset = scope.state.GetActivePreset();
    const int code = preset == kNoActivePreset ? ZT_ERR : ZT_OK;
    writeLE(scope.answerBuffer, 0, code == ZT_OK ? preset : 0);
    return CommandResult::withData(code, scope.answerBuffer, kZtActivePresetAnswerSize);
}

// The active firmware preset group (0 when the camera cannot tell).
CommandResult cmdPresetGetActiveGroup(CommandScope &scope, const CommandArgs &)
{
    ZTLOG(ZT_LOG_INFO, "ZTCONTROL_PRESET_GET_ACTIVE_GROUP");
    writeLE(scope.answerBuffer, 0, scope.state.GetActivePresetGroup());
    return CommandResult::withData(ZT_OK, scope.answerBuffer, kZtActiveGroupAnswerSize);
}
