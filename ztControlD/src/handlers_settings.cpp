// Settings and status commands: the status and settings block queries, the
// resets of the advanced (manual) settings, the speed ramp of the stabilised
// hyper-lapse and the calibration data queries. The change of one setting is
// in handlers_settings_set.cpp.
//
// The block queries pass the camera's refusal (NAK-OFF, a camera going off)
// on as ZT_ERR_NAK_OFF without a result line: the query itself went through.
#include <string.h>

#include "CameraState.h"
#include "CommandHandler.h"
#include "PresetEditScope.h"
#include "camera_blocks.h"
#include "utils.h"
#include "ztcWire.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_layouts.h"
#include "ztcontrol_remote_ops.h"

namespace {

// Byte of the settings block that holds the current flat mode.
constexpr size_t kFlatModeOffset = 25;

// Calibration file answer (kZtCalFileAnswerSize bytes): the directory the
// calibration files are mounted in, then the name the firmware gives after
// three bytes of its own, with its backslashes turned into slashes. The
// answer is always the whole buffer.
constexpr char kCalFileDirectory[] = "/tmp/fuse_a/";
constexpr size_t kCalNameSkip = 3;
constexpr size_t kCalAnswerMax = 244;

static_assert(CommandScope::kAnswerBufferSize >= ZTC_MSG_MAX,
              "every firmware answer copied into the answer buffer fits it whole");
static_assert(CommandScope::kAnswerBufferSize >= sizeof(all_status_settings_t),
              "the status and settings block fits the answer buffer");
static_assert(CommandScope::kAnswerBufferSize >= kZtCalFileAnswerSize,
              "the calibration file name fits the answer buffer");

// One block query: the firmware's answer, its refusal, or the failed
// query's status without data. `buffer`, when given, receives a copy of the
// answer (at most bufferSize bytes) instead of the library's own buffer.
CommandResult answerQuery(ztc_msg_q_context_t &camera, uint8_t category, uint8_t identifier,
                          const char *operation, const char *nakLine, uint8_t *buffer = nullptr,
                          uint16_t bufferSize = 0)
{
    uint8_t *answer = buffer;
    uint16_t length = bufferSize;
    const int rc =
        ztc_send_remote_api_for_response(&camera, category, identifier, &answer, &length);
    if (rc != ZT_OK)
        return ZT_LOGGED(rc, operation);
    if (isNakOff(answer, length)) {
        ZTLOG(ZT_LOG_DEBUG, "%s", nakLine);
        return CommandResult(ZT_ERR_NAK_OFF).quiet();
    }
    return CommandResult::withData(ZT_OK, answer, length);
}

// The advanced-settings reset of one capture family, inside a preset edit so
// the active preset keeps the reset values. Takes no argument.
CommandResult resetFamily(CommandScope &scope, const char *entryLine, uint8_t category,
                          uint8_t identifier, const char *operation)
{
    ZTLOG(ZT_LOG_DEBUG, "%s", entryLine);
    if (!scope.edit.PresetStartEdit(PresetEditScope::kNoSetting)) {
        ZTLOG(ZT_LOG_ERROR, "Failed to start preset edit!");
        return ZT_ERR;
    }
    const int rc =
        ZT_LOGGED(ztc_send_simple_remote_api(&scope.camera, category, identifier), operation);
    scope.edit.PresetEndEdit(PresetEditScope::kNoSetting);
    return rc;
}

// The family whose advanced settings a flat mode uses.
enum class Family { None, Video, Photo, MultiShot };

Family familyOfFlatMode(int flatMode)
{
    switch (flatMode) {
    case 12:
    case 13:
    case 14:
    case 15:
    case 24:
    case 25:
    case 27:
        return Family::Video;
    case 16:
    case 17:
    case 18:
        return Family::Photo;
    case 19:
    case 20:
    case 21:
    case 26:
    case 29:
    case 30:
    case 31:
        return Family::MultiShot;
    default:
        return Family::None;
    }
}

}  // namespace

CommandResult cmdVideoAdvsetReset(CommandScope &scope, const CommandArgs &)
{
    return resetFamily(scope, "ZTCONTROL_VIDEO_ADVSET_RESET:", kVideoCategory, kVideoAdvsetReset,
                       "REMOTE_VIDEO_ADVSET_RESET");
}

CommandResult cmdPhotoAdvsetReset(CommandScope &scope, const CommandArgs &)
{
    return resetFamily(scope, "ZTCONTROL_PHOTO_ADVSET_RESET:", kPhotoCategory, kPhotoAdvsetReset,
                       "REMOTE_PHOTO_ADVSET_RESET");
}

CommandResult cmdMultiAdvsetReset(CommandScope &scope, const CommandArgs &)
{
    return resetFamily(scope, "ZTCONTROL_MULTI_ADVSET_RESET:", kMultiShotCategory,
                       kMultiShotAdvsetReset, "REMOTE_MULTI_SHOT_ADVSET_RESET");
}

// Resets the advanced settings of the family the current flat mode belongs
// to. Without a readable settings block there is nothing to go by: a failed
// read is the result, a block of the wrong size leaves the camera alone and
// succeeds.
CommandResult cmdAdvsetReset(CommandScope &scope, const CommandArgs &)
{
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    const int query = ztc_send_remote_api_for_response(&scope.camera, kSetupCategory,
                                                       kAllSettingsGet, &answer, &length);
    if (query != ZT_OK || answer == nullptr || length != CAMERA_SETTINGS_BLOCK_SIZE) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_SETUP_ALL_SETTINGS_GET error, %d @ %s:%d", query, __FILE__,
              __LINE__);
        return query;
    }
    const int flatMode = static_cast<int8_t>(answer[kFlatModeOffset]);
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_ADVSET_RESET:");
    if (!scope.edit.PresetStartEdit(PresetEditScope::kNoSetting)) {
        ZTLOG(ZT_LOG_ERROR, "Failed to start preset edit!");
        return ZT_ERR;
    }
    int result = ZT_OK;
    switch (familyOfFlatMode(flatMode)) {
    case Family::Video:
        result = ZT_LOGGED(ztc_video_advset_reset(&scope.camera), "ztc_video_advset_reset");
        break;
    case Family::Photo:
        result = ZT_LOGGED(ztc_photo_advset_reset(&scope.camera), "ztc_photo_advset_reset");
        break;
    case Family::MultiShot:
        result = ZT_LOGGED(ztc_multishot_advset_reset(&scope.camera), "ztc_multishot_advset_reset");
        break;
    case Family::None:
        ZTLOG(ZT_LOG_WARN, "Flat mode %d, doesn't support advset reset. @ %s:%d", flatMode,
              __FILE__, __LINE__);
        break;
    }
    scope.edit.PresetEndEdit(PresetEditScope::kNoSetting);
    return result;
}

// Kept for clients that still send it: succeeds without doing anything.
CommandResult cmdGetSettingId(CommandScope &, const CommandArgs &)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_GET_SETTING_ID: (NOT IMPLEMENTED)");
    return ZT_OK;
}

// The raw settings block as the firmware gives it.
CommandResult cmdGetAllSettings(CommandScope &scope, const CommandArgs &)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_GET_ALL_SETTINGS:");
    return answerQuery(scope.camera, kSetupCategory, kAllSettingsGet,
                       "REMOTE_SETUP_ALL_SETTINGS_GET", "Camera status returning ZT_ERR_NAK_OFF");
}

// The raw status block as the firmware gives it.
CommandResult cmdGetAllStatus(CommandScope &scope, const CommandArgs &)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_GET_ALL_STATUS:");
    return answerQuery(scope.camera, kSystemCategory, kAllStatusGet, "REMOTE_SYSTEM_ALL_STATUS_GET",
                       "Camera status returning ZT_ERR_NACK_OFF");
}

// The whole 634-byte block with the daemon's corrections, as the status
// polling sees it. A short answer fills what it has; the rest stays zero.
CommandResult cmdGetAllSettingsStatus(CommandScope &scope, const CommandArgs &)
{
    ZTLOG(ZT_LOG_INFO, "ZTCONTROL_GET_ALL_SETTINGS_STATUS:");
    all_status_settings_t block{};
    struct Part {
        uint8_t category;
        uint8_t identifier;
        uint8_t *bytes;
        size_t size;
        const char *operation;
    };
    const Part parts[] = {
        {kSystemCategory, kAllStatusGet, block.status.raw, sizeof block.status.raw,
         "REMOTE_SYSTEM_ALL_STATUS_GET"},
        {kSetupCategory, kAllSettingsGet, block.settings.raw, sizeof block.settings.raw,
         "REMOTE_SETUP_ALL_SETTINGS_GET"},
    };
    for (const Part &part : parts) {
        int rc = ZT_OK;
        uint16_t length = 0;
        switch (readRemoteBlock(scope.camera, part.category, part.identifier, part.bytes, part.size,
                                BlockFit::Partial, rc, length)) {
        case BlockRead::Failed:
            return ZT_LOGGED(rc, part.operation);
        case BlockRead::Refused:
            ZTLOG(ZT_LOG_DEBUG, "Camera status returning ZT_ERR_NACK_OFF");
            return CommandResult(ZT_ERR_NAK_OFF).quiet();
        case BlockRead::Good:
        case BlockRead::WrongSize:
            break;
        }
    }
    scope.state.modSettingsAndStatuses(block);
    memcpy(scope.answerBuffer, &block, sizeof block);
    return CommandResult::withData(ZT_OK, scope.answerBuffer, sizeof block);
}

CommandResult cmdGetAllSettingsStatusIds(CommandScope &, const CommandArgs &)
{
    ZTLOG(ZT_LOG_ERROR,
          "ztcontrol command ZTCONTROL_GET_ALL_SETTINGS_STATUS_IDS no longer supported");
    return ZT_ERR_NOT_SUPPORTED;
}

// The speed ramp of the stabilised hyper-lapse: u32 value. The row's rule
// makes the argument present; a shorter one is zero-extended.
CommandResult cmdVideoSwiftlapseSpeedRampSet(CommandScope &scope, const CommandArgs &args)
{
    const uint32_t value = args.argument->getUInt32();
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_RAMP_SET: speed_ramp:%d", (int)value);
    return ZT_LOGGED(ztc_video_set_swiftlapse_speed_ramp(&scope.camera, value),
                     "ztc_video_set_swiftlapse_speed_ramp");
}

// Whether the speed ramp is in use: u32 value, as above.
CommandResult cmdVideoSwiftlapseSpeedRampActiveSet(CommandScope &scope, const CommandArgs &args)
{
    const uint32_t value = args.argument->getUInt32();
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_RAMP_ACTIVE_SET: speed_ramp_active:%d",
          (int)value);
    return ZT_LOGGED(ztc_video_set_swiftlapse_speed_ramp_active(&scope.camera, value),
                     "ztc_video_set_swiftlapse_speed_ramp_active");
}

// The geometric calibration data, copied out of the library before it is
// answered.
CommandResult cmdSystemGetGeocal(CommandScope &scope, const CommandArgs &)
{
    return answerQuery(scope.camera, kSystemCategory, kGeocalGet, "REMOTE_SYSTEM_GEOCAL_GET",
                       "Camera status returning ZT_ERR_NACK_OFF", scope.answerBuffer,
                       static_cast<uint16_t>(CommandScope::kAnswerBufferSize));
}

// The path of the lens shading calibration file. Answers all 257 bytes of
// the buffer, also after a failed query (then it holds the directory only).
CommandResult cmdSystemGetShadingdataFile(CommandScope &scope, const CommandArgs &)
{
    char *buffer = reinterpret_cast<char *>(scope.answerBuffer);
    memset(buffer, 0, kZtCalFileAnswerSize);
    memcpy(buffer, kCalFileDirectory, sizeof kCalFileDirectory);
    ZTLOG(ZT_LOG_DEBUG, "REMOTE_SYSTEM_CAL_FILE_NAME_GET:");
    const RemoteAnswer cal =
        ZT_QUERY(scope.camera, kSystemCategory, kCalFileNameGet, "REMOTE_SYSTEM_CAL_FILE_NAME_GET");
    const int rc = cal.rc;
    const uint8_t *answer = cal.data;
    const uint16_t length = cal.length;
    if (rc == ZT_OK && answer != nullptr && length >= 1 && length <= kCalAnswerMax) {
        size_t out = sizeof kCalFileDirectory - 1;
        for (size_t in = kCalNameSkip; in < length && answer[in] != '\0'; ++in)
            buffer[out++] = answer[in] == '\\' ? '/' : static_cast<char>(answer[in]);
        buffer[out] = '\0';
    }
    return CommandResult::withData(rc, buffer, kZtCalFileAnswerSize);
}
