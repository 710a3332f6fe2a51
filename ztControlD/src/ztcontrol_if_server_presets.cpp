// Command server, preset commands: the dispatch over the preset command
// values, the shared request and answer handling, and the commands that are
// one firmware operation each (group and id lists, one preset's record,
// remove, order, load, edits, factory restore, the active preset and group).
// Worker thread, m_commandMutex held.
#include <string>

#include "camera_settings.h"
#include "utils.h"
#include "ztTlv.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_if_server.h"
#include "ztcontrol_if_server_presets.h"
#include "ztcontrol_preset_loader.h"

using namespace ztcontrol_presets;

namespace {

// The largest payload one answer carries: a message of ZTMSG_MAX bytes less
// its header, the result element (header and 4 bytes), the payload
// element's header and the end element.
constexpr size_t kMaxAnswerPayload =
    ZTMSG_MAX - (TLV_HDR_LEN + 3 * TLV_ELEM_HDR_LEN + sizeof(int32_t));

constexpr uint32_t kGroupIdBase = 1000;
constexpr uint32_t kLastInputGroup = 14;
// Groups 3 to 5 are the Orbi-lens variants; the group list leaves them out
// because clients address them through base groups 0 to 2.
bool isOrbiGroupNumber(uint8_t group)
{
    return group >= 3 && group <= 5;
}

}  // namespace

namespace ztcontrol_presets {

bool ParseRequest(const MsgElement *argument, google::protobuf::MessageLite &message)
{
    if (argument == nullptr)
        return false;
    const uint8_t *data = argument->getData();
    return message.ParseFromArray(data, data ? argument->getLength() : 0);
}

std::vector<uint32_t> IdList(const uint8_t *answer, uint16_t length)
{
    std::vector<uint32_t> ids;
    if (answer == nullptr || length == 0)
        return ids;
    const size_t count = answer[0];
    const size_t present = (length - 1u) / 4u;
    if (present < count)
        ZTLOG(ZT_LOG_ERROR, "Preset id list holds %u ids, not the %u announced", (unsigned)present,
              (unsigned)count);
    for (size_t i = 0; i < count && i < present; ++i)
        ids.push_back(readU32(answer + 1 + 4 * i));
    return ids;
}

PresetCaptionContext CaptionContextOf(ZtcontrolCommandServer &server)
{
    PresetCaptionContext ctx;
    ctx.model = ZtcontrolCommandServer::GetCameraModel();
    ctx.lensMode = server.GetLensMode();
    ctx.easyProMode = server.GetEasyProMode();
    ctx.optionIdByValue = &getOptionIdByValue;
    return ctx;
}

}  // namespace ztcontrol_presets

int ZtcontrolCommandServer::presetRequest(uint8_t op, const void *payload, uint16_t payloadLength,
                                          uint8_t *&answer, uint16_t &answerLength)
{
    answer = nullptr;
    answerLength = 0;
    if (payload == nullptr)
        return ztc_send_remote_api_for_response(&m_cameraContext, kPresetCategory, op, &answer,
                                                &answerLength);
    return ztc_send_remote_api_payload_response(&m_cameraContext, kPresetCategory, op, payload,
                                                payloadLength, &answer, &answerLength);
}

// An answer's payload length travels as 16 bits and one answer is one
// message of at most ZTMSG_MAX bytes, so a longer serialisation (a camera
// with many custom presets) cannot be sent whole; a cut one would not parse.
// The requester gets ZT_ERR without data instead and the daemon goes on.
ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::answerPresetMessage(
    Msg &request, int code, const google::protobuf::MessageLite &message)
{
    CommandOutcome outcome;
    std::string bytes;
    if (!message.SerializeToString(&bytes)) {
        ZTLOG(ZT_LOG_ERROR, "Preset answer could not be serialised");
        outcome.code = ZT_ERR;
        return outcome;
    }
    if (bytes.size() > kMaxAnswerPayload) {
        ZTLOG(ZT_LOG_ERROR, "Preset answer of %zu bytes exceeds the %zu one answer carries",
              bytes.size(), kMaxAnswerPayload);
        outcome.code = ZT_ERR;
        return outcome;
    }
    sendResponse(request, code, bytes.empty() ? nullptr : &bytes[0],
                 static_cast<unsigned short>(bytes.size()));
    outcome.code = code;
    outcome.answered = true;
    return outcome;
}

ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::handlePresetCommand(
    Msg &request, ztcontrol_command_t command, const MsgElement *argument)
{
    CommandOutcome invalid;
    invalid.code = ZT_ERR_INVALID_PARAM;
    switch (command) {
    case ZTCONTROL_PRESET_LIST_GROUPS:
    case ZTCONTROL_PRESET_EDIT_CANCEL:
    case ZTCONTROL_PRESET_EDIT_STORE:
        if (argument != nullptr) {
            ZTLOG(ZT_LOG_ERROR, "Invalid parameter");
            return invalid;
        }
        if (command == ZTCONTROL_PRESET_LIST_GROUPS)
            return presetListGroups(request);
        return presetIdOperation(command, nullptr);
    case ZTCONTROL_PRESET_LIST_IDS:
        return presetListIds(request, argument);
    case ZTCONTROL_PRESET_GET_INFO:
        return presetGetInfo(request, argument);
    case ZTCONTROL_PRESET_CUSTOM_CREATE:
        return presetCustomCreate(request, argument);
    case ZTCONTROL_PRESET_CUSTOM_REMOVE:
    case ZTCONTROL_PRESET_EDIT_START:
    case ZTCONTROL_PRESET_FACTORY_RESET:
        return presetIdOperation(command, argument);
    case ZTCONTROL_PRESET_LOAD:
        stopZooming("ZTCONTROL_PRESET_LOAD");
        return presetIdOperation(command, argument);
    case ZTCONTROL_PRESET_SET_ORDER:
        return presetSetOrder(argument);
    case ZTCONTROL_PRESET_GET_PRESETS:
        return presetGetPresets(request, argument);
    case ZTCONTROL_PRESET_SWITCH_FLATMODE:
        return presetSwitchFlatMode(argument);
    case ZTCONTROL_PRESET_SET_TITLE_AND_ICON:
        return presetSetTitleAndIcon(argument);
    case ZTCONTROL_ONSCREEN_SHORTCUTS_RESET:
        return onscreenShortcutsReset();
    case ZTCONTROL_PRESET_GET_ACTIVE_PRESET:
    case ZTCONTROL_PRESET_GET_ACTIVE_GROUP:
        return presetActive(request, command);
    default:
        return notBuiltYet(command);
    }
}

ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::presetListGroups(Msg &request)
{
    CommandOutcome outcome;
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    outcome.code = presetRequest(kPresetListGroups, nullptr, 0, answer, length);
    if (outcome.code != 0 || answer == nullptr || length == 0) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_PRESET_LIST_GROUPS error, %d", outcome.code);
        return outcome;
    }
    ztcontrol::presets::ZTC_Preset_Group_List_Resp groups;
    const size_t count = answer[0];
    for (size_t i = 0; i < count && 1 + i < length; ++i)
        if (!isOrbiGroupNumber(answer[1 + i]))
            groups.add_preset_groups(kGroupIdBase + answer[1 + i]);
    return answerPresetMessage(request, ZT_OK, groups);
}

ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::presetListIds(
    Msg &request, const MsgElement *argument)
{
    CommandOutcome outcome;
    ztcontrol::presets::ZTC_Preset_List_Req req;
    uint32_t group = 0;
    if (ParseRequest(argument, req) && req.has_group_id()) {
        group = req.group_id();
        if (group >= kGroupIdBase)
            group -= kGroupIdBase;
    }
    if (!req.has_group_id() || group > kLastInputGroup) {
        ZTLOG(ZT_LOG_ERROR, "Invalid parameter");
        outcome.code = ZT_ERR_INVALID_PARAM;
        return outcome;
    }
    const uint8_t actual = ConvertInputGroupToActualGroup(static_cast<uint8_t>(group));
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    outcome.code = presetRequest(kPresetListIds, &actual, 1, answer, length);
    if (outcome.code != 0 || answer == nullptr || length == 0) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_PRESET_LIST_IDS error, %d", outcome.code);
        return outcome;
    }
    ztcontrol::presets::ZTC_Preset_List_Resp list;
    for (uint32_t id : IdList(answer, length))
        list.add_presets(id);
    return answerPresetMessage(request, ZT_OK, list);
}

ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::presetGetInfo(
    Msg &request, const MsgElement *argument)
{
    CommandOutcome outcome;
    ztcontrol::presets::ZTC_Preset_Info_Req req;
    if (!ParseRequest(argument, req) || !req.has_preset_id()) {
        ZTLOG(ZT_LOG_ERROR, "Invalid parameter");
        outcome.code = ZT_ERR_INVALID_PARAM;
        return outcome;
    }
    appc_presets_settings_info record;
    outcome.code = presetFetchRecord(static_cast<uint32_t>(req.preset_id()), record);
    if (outcome.code != 0)
        return outcome;
    ZTLOG(ZT_LOG_INFO, "REMOTE_PRESET_GET_INFO, %d, size was %u, expected %u", outcome.code,
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
    populatePresetInfo(&record, preset, CaptionContextOf(*this));
    ZTLOG(ZT_LOG_INFO, "did succeed? %d, size is %lu", 1, (unsigned long)preset.ByteSizeLong());
    return answerPresetMessage(request, ZT_OK, preset);
}

// Remove, load, edit start and factory restore name one preset; edit cancel
// and store name none (argument null).
ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::presetIdOperation(
    ztcontrol_command_t command, const MsgElement *argument)
{
    struct Operation {
        uint8_t op;
        const char *failure;
    };
    Operation operation{0, ""};
    uint32_t id = 0;
    bool hasId = false;
    switch (command) {
    case ZTCONTROL_PRESET_CUSTOM_REMOVE: {
        operation = {kPresetCustomRemove, "REMOTE_PRESET_CUSTOM_REMOVE error, %d"};
        ztcontrol::presets::ZTC_Preset_Custom_Remove_Req req;
        hasId = ParseRequest(argument, req) && req.has_preset_id();
        id = req.preset_id();
        break;
    }
    case ZTCONTROL_PRESET_LOAD: {
        operation = {kPresetActiveSet, "REMOTE_PRESET_ACTIVE_SET error, %d"};
        ztcontrol::presets::ZTC_Preset_Load_Req req;
        hasId = ParseRequest(argument, req) && req.has_preset_id();
        id = req.preset_id();
        break;
    }
    case ZTCONTROL_PRESET_EDIT_START: {
        operation = {kPresetEditStart, "REMOTE_PRESET_EDIT_START error, %d"};
        ztcontrol::presets::ZTC_Preset_Edit_Start_Req req;
        hasId = ParseRequest(argument, req) && req.has_preset_id();
        id = req.preset_id();
        break;
    }
    case ZTCONTROL_PRESET_FACTORY_RESET: {
        operation = {kPresetPredefinedRestore, "REMOTE_PRESET_PREDEFINED_RESTORE error, %d"};
        ztcontrol::presets::ZTC_Preset_Factory_Reset_Req req;
        hasId = ParseRequest(argument, req) && req.has_preset_id();
        id = req.preset_id();
        break;
    }
    case ZTCONTROL_PRESET_EDIT_CANCEL:
        operation = {kPresetEditCancel, "REMOTE_PRESET_EDIT_CANCEL error, %d"};
        break;
    default:
        operation = {kPresetEditStore, "REMOTE_PRESET_EDIT_STORE error, %d"};
        break;
    }

    CommandOutcome outcome;
    if (command == ZTCONTROL_PRESET_EDIT_CANCEL || command == ZTCONTROL_PRESET_EDIT_STORE) {
        outcome.code = ztc_send_simple_remote_api(&m_cameraContext, kPresetCategory, operation.op);
    } else if (!hasId) {
        ZTLOG(ZT_LOG_ERROR, "Invalid parameter");
        outcome.code = ZT_ERR_INVALID_PARAM;
        return outcome;
    } else {
        uint8_t payload[4];
        writeLE(payload, 0, id);
        outcome.code = ztc_send_remote_api_payload(&m_cameraContext, kPresetCategory, operation.op,
                                                   payload, sizeof payload);
    }
    if (outcome.code != 0)
        ZTLOG(ZT_LOG_ERROR, operation.failure, outcome.code);
    return outcome;
}

ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::presetSetOrder(
    const MsgElement *argument)
{
    CommandOutcome outcome;
    ztcontrol::presets::ZTC_Preset_Set_Order_Req req;
    if (!ParseRequest(argument, req) || !req.has_preset_id() || !req.has_order()) {
        ZTLOG(ZT_LOG_ERROR, "Invalid parameter");
        outcome.code = ZT_ERR_INVALID_PARAM;
        return outcome;
    }
    uint8_t payload[8];
    writeLE(payload, 0, req.preset_id());
    writeLE(payload + 4, 0, req.order());
    outcome.code = ztc_send_remote_api_payload(&m_cameraContext, kPresetCategory, kPresetSetOrder,
                                               payload, sizeof payload);
    if (outcome.code != 0)
        ZTLOG(ZT_LOG_ERROR, "REMOTE_PRESET_SET_ORDER error, %d", outcome.code);
    return outcome;
}

// Neither query examines the argument element.
ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::presetActive(
    Msg &request, ztcontrol_command_t command)
{
    CommandOutcome outcome;
    uint8_t bytes[4];
    if (command == ZTCONTROL_PRESET_GET_ACTIVE_PRESET) {
        ZTLOG(ZT_LOG_INFO, "ZTCONTROL_PRESET_GET_ACTIVE_PRESET");
        const uint32_t preset = GetActivePreset();
        outcome.code = preset == 0xFFFFFFFFu ? ZT_ERR : ZT_OK;
        writeLE(bytes, 0, outcome.code == ZT_OK ? preset : 0);
    } else {
        ZTLOG(ZT_LOG_INFO, "ZTCONTROL_PRESET_GET_ACTIVE_GROUP");
        writeLE(bytes, 0, GetActivePresetGroup());
    }
    sendResponse(request, outcome.code, bytes, sizeof bytes);
    outcome.answered = true;
    return outcome;
}

// Fetches one preset's 81-byte record; a failed operation or an answer of
// another size is logged and returned as its code (ZT_ERR for the size).
int ZtcontrolCommandServer::presetFetchRecord(uint32_t id, appc_presets_settings_info &record)
{
    uint8_t payload[4];
    writeLE(payload, 0, id);
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    const int code = presetRequest(kPresetGetInfo, payload, sizeof payload, answer, length);
    if (code != 0) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_PRESET_GET_INFO error, %d", code);
        return code;
    }
    if (!parsePresetRecord(answer, answer ? length : 0, &record)) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_PRESET_GET_INFO error, %d, size was %u, expected %llu", ZT_ERR,
              (unsigned)length, (unsigned long long)kPresetRecordSize);
        return ZT_ERR;
    }
    return ZT_OK;
}
