// Command server, settings and status commands: the status and settings
// block queries, the resets of the advanced (manual) settings, the speed ramp
// of the stabilised hyper-lapse, the calibration data queries and the
// horizon-levelling support query. The change of one setting is in
// ztcontrol_if_server_settings_set.cpp. Worker thread, m_commandMutex held.
#include <string.h>

#include "utils.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_if_server.h"
#include "ztcontrol_remote_ops.h"

namespace {

ztc_msg_q_context_t *context()
{
    return &ZtcontrolCommandServer::m_cameraContext;
}

// Byte of the settings block that holds the current flat mode.
constexpr size_t kFlatModeOffset = 25;
constexpr int kNoSetting = -1;

// Geometric calibration: the answer is copied into a buffer of this size.
constexpr uint16_t kGeocalBufferSize = 4096;

// Calibration file answer: the directory the calibration files are mounted
// in, then the name the firmware gives after three bytes of its own, with
// its backslashes turned into slashes.
constexpr size_t kCalFileBufferSize = 257;
constexpr char kCalFileDirectory[] = "/tmp/fuse_a/";
constexpr size_t kCalNameSkip = 3;
constexpr size_t kCalAnswerMax = 244;

// One block query answered by the NAK-OFF rule. A failed query is answered
// by the frame without data; the refusal is answered here and leaves no
// error line, the query itself having succeeded. `buffer`, when given, is
// the caller's own answer buffer of `bufferSize` bytes.
int answerQuery(ZtcontrolCommandServer &server, Msg &request, uint8_t category, uint8_t identifier,
                const char *failureLine, const char *nakLine, bool &answered,
                uint8_t *buffer = nullptr, uint16_t bufferSize = 0)
{
    uint8_t *answer = buffer;
    uint16_t length = bufferSize;
    const int rc =
        ztc_send_remote_api_for_response(context(), category, identifier, &answer, &length);
    if (rc != ZT_OK) {
        ZTLOG(ZT_LOG_ERROR, failureLine, rc);
        return rc;
    }
    if (isNakOff(answer, length)) {
        ZTLOG(ZT_LOG_DEBUG, "%s", nakLine);
        server.sendResponse(request, ZT_ERR_NAK_OFF, nullptr, 0);
    } else {
        server.sendResponse(request, ZT_OK, answer, length);
    }
    answered = true;
    return ZT_OK;
}

// The advanced-settings reset of one capture family, inside a preset edit so
// the active preset keeps the reset values.
struct AdvancedReset {
    ztcontrol_command_t command;
    const char *entry;
    uint8_t category;
    uint8_t identifier;
    const char *failure;
};

const AdvancedReset kAdvancedResets[] = {
    {ZTCONTROL_VIDEO_ADVSET_RESET, "ZTCONTROL_VIDEO_ADVSET_RESET:", kVideoCategory,
     kVideoAdvsetReset, "REMOTE_VIDEO_ADVSET_RESET error, %d"},
    {ZTCONTROL_PHOTO_ADVSET_RESET, "ZTCONTROL_PHOTO_ADVSET_RESET:", kPhotoCategory,
     kPhotoAdvsetReset, "REMOTE_PHOTO_ADVSET_RESET error, %d"},
    {ZTCONTROL_MULTI_ADVSET_RESET, "ZTCONTROL_MULTI_ADVSET_RESET:", kMultiShotCategory,
     kMultiShotAdvsetReset, "REMOTE_MULTI_SHOT_ADVSET_RESET error, %d"},
};

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

// Answers all 257 bytes of the buffer, also after a failed query (then it
// holds the directory only).
int calibrationFileName(ZtcontrolCommandServer &server, Msg &request)
{
    char buffer[kCalFileBufferSize] = {};
    memcpy(buffer, kCalFileDirectory, sizeof kCalFileDirectory);
    ZTLOG(ZT_LOG_DEBUG, "REMOTE_SYSTEM_CAL_FILE_NAME_GET:");
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    const int rc = ztc_send_remote_api_for_response(context(), kSystemCategory, kCalFileNameGet,
                                                    &answer, &length);
    if (rc != ZT_OK) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_SYSTEM_CAL_FILE_NAME_GET error, %d", rc);
    } else if (answer != nullptr && length >= 1 && length <= kCalAnswerMax) {
        size_t out = sizeof kCalFileDirectory - 1;
        for (size_t in = kCalNameSkip; in < length && answer[in] != '\0'; ++in)
            buffer[out++] = answer[in] == '\\' ? '/' : static_cast<char>(answer[in]);
        buffer[out] = '\0';
    }
    server.sendResponse(request, rc, buffer, sizeof buffer);
    return rc;
}

}  // namespace

uint8_t ZtcontrolCommandServer::getHorizonControlSupportedOption(uint8_t a, uint8_t b, uint8_t c)
{
    const uint8_t payload[3] = {a, b, c};
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    const int rc =
        ztc_send_remote_api_payload_response(&m_cameraContext, kVideoCategory, kHorizonSupportGet,
                                             payload, sizeof payload, &answer, &length);
    if (rc != ZT_OK) {
        ZTLOG(ZT_LOG_ERROR,
              "REMOTE_VIDEO_HORIZON_CONTROL_SUPPORT_GET Failed to get horizon "
              "supported option, returning off");
        return 0;
    }
    return answer != nullptr && length >= 1 ? answer[0] : 0;
}

ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::handleSettingsCommand(
    Msg &request, ztcontrol_command_t command, const MsgElement *argument)
{
    CommandOutcome outcome;
    // Commands that ignore the argument element, or need one.
    const bool argumentFree = command == ZTCONTROL_GET_SETTING_ID ||
                              command == ZTCONTROL_GET_ALL_SETTINGS_STATUS_IDS ||
                              command == ZTCONTROL_ADVSET_RESET;
    const bool takesArgument = command == ZTCONTROL_SET_SETTING_ID ||
                               command == ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_RAMP_SET ||
                               command == ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_RAMP_ACTIVE_SET;
    if (argument && !argumentFree && !takesArgument) {
        outcome.code = invalidParam();
        return outcome;
    }

    for (const AdvancedReset &r : kAdvancedResets) {
        if (r.command != command)
            continue;
        ZTLOG(ZT_LOG_DEBUG, "%s", r.entry);
        if (!PresetStartEdit(kNoSetting)) {
            ZTLOG(ZT_LOG_ERROR, "Failed to start preset edit!");
            outcome.code = ZT_ERR;
            return outcome;
        }
        outcome.code = ztc_send_simple_remote_api(context(), r.category, r.identifier);
        if (outcome.code != ZT_OK)
            ZTLOG(ZT_LOG_ERROR, r.failure, outcome.code);
        PresetEndEdit(kNoSetting);
        return outcome;
    }

    switch (command) {
    case ZTCONTROL_SET_SETTING_ID:
        outcome.code = setSettingId(argument, outcome.quiet);
        break;
    case ZTCONTROL_GET_SETTING_ID:
        ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_GET_SETTING_ID: (NOT IMPLEMENTED)");
        break;
    case ZTCONTROL_GET_ALL_SETTINGS:
        ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_GET_ALL_SETTINGS:");
        outcome.code = answerQuery(*this, request, kSetupCategory, kAllSettingsGet,
                                   "REMOTE_SETUP_ALL_SETTINGS_GET error, %d",
                                   "Camera status returning ZT_ERR_NAK_OFF", outcome.answered);
        break;
    case ZTCONTROL_GET_ALL_STATUS:
        ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_GET_ALL_STATUS:");
        outcome.code = answerQuery(*this, request, kSystemCategory, kAllStatusGet,
                                   "REMOTE_SYSTEM_ALL_STATUS_GET error, %d",
                                   "Camera status returning ZT_ERR_NACK_OFF", outcome.answered);
        break;
    case ZTCONTROL_GET_ALL_SETTINGS_STATUS:
        outcome.code = getAllSettingsStatus(request);
        outcome.answered = outcome.code == ZT_OK;
        break;
    case ZTCONTROL_GET_ALL_SETTINGS_STATUS_IDS:
        ZTLOG(ZT_LOG_ERROR,
              "ztcontrol command ZTCONTROL_GET_ALL_SETTINGS_STATUS_IDS no longer supported");
        outcome.code = ZT_ERR_NOT_SUPPORTED;
        break;
    case ZTCONTROL_ADVSET_RESET:
        outcome.code = resetAdvancedSettingsOfFlatMode();
        break;
    case ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_RAMP_SET:
    case ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_RAMP_ACTIVE_SET: {
        if (!argument) {
            outcome.code = invalidParam();
            break;
        }
        const uint32_t value = argument->getUInt32();
        if (command == ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_RAMP_SET) {
            ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_RAMP_SET: speed_ramp:%d",
                  (int)value);
            outcome.code = ztc_video_set_swiftlapse_speed_ramp(context(), value);
            if (outcome.code != ZT_OK)
                ZTLOG(ZT_LOG_ERROR, "ztc_video_set_swiftlapse_speed_ramp error, %d", outcome.code);
        } else {
            ZTLOG(ZT_LOG_DEBUG,
                  "ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_RAMP_ACTIVE_SET: speed_ramp_active:%d",
                  (int)value);
            outcome.code = ztc_video_set_swiftlapse_speed_ramp_active(context(), value);
            if (outcome.code != ZT_OK)
                ZTLOG(ZT_LOG_ERROR, "ztc_video_set_swiftlapse_speed_ramp_active error, %d",
                      outcome.code);
        }
        break;
    }
    case ZTCONTROL_SYSTEM_GET_GEOCAL: {
        uint8_t buffer[kGeocalBufferSize];
        outcome.code = answerQuery(
            *this, request, kSystemCategory, kGeocalGet, "REMOTE_SYSTEM_GEOCAL_GET error, %d",
            "Camera status returning ZT_ERR_NACK_OFF", outcome.answered, buffer, sizeof buffer);
        break;
    }
    case ZTCONTROL_SYSTEM_GET_SHADINGDATA_FILE:
        outcome.code = calibrationFileName(*this, request);
        outcome.answered = true;
        break;
    default:
        return notBuiltYet(command);
    }
    return outcome;
}

// The whole 634-byte block with the daemon's corrections, as the status
// polling sees it.
int ZtcontrolCommandServer::getAllSettingsStatus(Msg &request)
{
    ZTLOG(ZT_LOG_INFO, "ZTCONTROL_GET_ALL_SETTINGS_STATUS:");
    all_status_settings_t block{};
    struct Part {
        uint8_t category;
        uint8_t identifier;
        uint8_t *bytes;
        size_t size;
        const char *failure;
    };
    const Part parts[] = {
        {kSystemCategory, kAllStatusGet, block.status.raw, sizeof block.status.raw,
         "REMOTE_SYSTEM_ALL_STATUS_GET error, %d"},
        {kSetupCategory, kAllSettingsGet, block.settings.raw, sizeof block.settings.raw,
         "REMOTE_SETUP_ALL_SETTINGS_GET error, %d"},
    };
    for (const Part &part : parts) {
        int rc = ZT_OK;
        uint16_t length = 0;
        switch (readRemoteBlock(part.category, part.identifier, part.bytes, part.size,
                                BlockFit::Partial, rc, length)) {
        case BlockRead::Failed:
            ZTLOG(ZT_LOG_ERROR, part.failure, rc);
            return rc;
        case BlockRead::Refused:
            ZTLOG(ZT_LOG_DEBUG, "Camera status returning ZT_ERR_NACK_OFF");
            sendResponse(request, ZT_ERR_NAK_OFF, nullptr, 0);
            return ZT_OK;
        case BlockRead::Good:
        case BlockRead::WrongSize:
            break;
        }
    }
    modSettingsAndStatuses(block);
    sendResponse(request, ZT_OK, &block, sizeof block);
    return ZT_OK;
}

int ZtcontrolCommandServer::resetAdvancedSettingsOfFlatMode()
{
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    const int query = ztc_send_remote_api_for_response(context(), kSetupCategory, kAllSettingsGet,
                                                       &answer, &length);
    if (query != ZT_OK || answer == nullptr || length != CAMERA_SETTINGS_BLOCK_SIZE) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_SETUP_ALL_SETTINGS_GET error, %d @ %s:%d", query, __FILE__,
              __LINE__);
        return query;
    }
    const int flatMode = static_cast<int8_t>(answer[kFlatModeOffset]);
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_ADVSET_RESET:");
    if (!PresetStartEdit(kNoSetting)) {
        ZTLOG(ZT_LOG_ERROR, "Failed to start preset edit!");
        return ZT_ERR;
    }
    int result = ZT_OK;
    switch (familyOfFlatMode(flatMode)) {
    case Family::Video:
        result = ztc_video_advset_reset(context());
        if (result != ZT_OK)
            ZTLOG(ZT_LOG_ERROR, "ztc_video_advset_reset error, %d", result);
        break;
    case Family::Photo:
        result = ztc_photo_advset_reset(context());
        if (result != ZT_OK)
            ZTLOG(ZT_LOG_ERROR, "ztc_photo_advset_reset error, %d", result);
        break;
    case Family::MultiShot:
        result = ztc_multishot_advset_reset(context());
        if (result != ZT_OK)
            ZTLOG(ZT_LOG_ERROR, "ztc_multishot_advset_reset error, %d", result);
        break;
    case Family::None:
        ZTLOG(ZT_LOG_WARN, "Flat mode %d, doesn't support advset reset. @ %s:%d", flatMode,
              __FILE__, __LINE__);
        break;
    }
    PresetEndEdit(kNoSetting);
    return result;
}
