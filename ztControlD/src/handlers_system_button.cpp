// Command handler for button presses from remotes and multi-camera
// controllers: the remote's rotation (sent only when it changes), the plain
// buttons, the multi-camera shutter and the multi-camera mode, which
// activates the preset the camera last used in the chosen family. Worker
// thread, m_commandMutex held.
#include <string.h>

#include "CameraState.h"
#include "CommandHandler.h"
#include "camera_blocks.h"
#include "preset_groups.h"
#include "utils.h"
#include "ztErrno.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_layouts.h"
#include "ztcontrol_remote_ops.h"

namespace {

enum ButtonType : uint32_t {
    kButtonShutter = 0,
    kButtonMode = 1,
    kButtonHilight = 2,
    kButtonMultiCamShutter = 16,
    kButtonMultiCamMode = 17,
    kButtonMultiCamIgnored = 18,
};

// Library button states of a press and a release.
constexpr uint8_t kLibraryPressed = 3;
constexpr uint8_t kLibraryReleased = 4;

constexpr int kModelWithoutMultiCamMode = 60;

// Rotation code of the previous button request, for the whole process: the
// remote repeats its rotation with every press, the camera needs it once.
uint32_t s_lastRotationCode = 0;

int rotationDegrees(uint32_t code)
{
    switch (code) {
    case 1:
        return 90;
    case 2:
        return 180;
    case 3:
        return 270;
    default:
        return 0;
    }
}

// The library takes the rotation code itself; degrees are for the log only.
void updateRotation(ztc_msg_q_context_t &camera, uint32_t code)
{
    if (code == s_lastRotationCode)
        return;
    s_lastRotationCode = code;
    ZTLOG(ZT_LOG_DEBUG, "Button Rotation changed to %d", rotationDegrees(code));
    if (ztc_system_set_rc_rotation(&camera, static_cast<uint8_t>(code)) != ZT_OK)
        ZTLOG(ZT_LOG_ERROR, "Button rotation set failed");
}

int plainButton(ztc_msg_q_context_t &camera, uint32_t type, uint32_t state)
{
    const uint8_t button = type == kButtonShutter ? 1 : type == kButtonMode ? 0 : 2;
    uint8_t libraryState;
    if (state == 0) {
        libraryState = kLibraryPressed;
    } else if (state == 1) {
        libraryState = kLibraryReleased;
    } else {
        ZTLOG(ZT_LOG_ERROR, "Invalid button state:%d", (int)state);
        return ZT_ERR_INVALID_PARAM;
    }
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_SYSTEM_BUTTON_SET: button type:%d  button state:%d", button,
          libraryState);
    return ZT_LOGGED(ztc_system_set_button(&camera, button, libraryState), "ztc_system_set_button");
}

// State 0 starts the shutter, 1 stops it.
int multiCamShutter(ztc_msg_q_context_t &camera, uint32_t state)
{
    if (state > 1) {
        ZTLOG(ZT_LOG_ERROR, "Invalid multi-cam shutter press:%d", (int)state);
        return ZT_ERR_INVALID_PARAM;
    }
    const uint8_t onOff = state == 0 ? 1 : 0;
    ZTLOG(ZT_LOG_DEBUG, "Multi-cam shutter press:%d on/off[%d]", (int)state, onOff);
    return ZT_LOGGED(ztc_shutter(&camera, onOff), "ztc_shutter");
}

// Mode type 3: the family of the camera's default application mode, or the
// power-on default preset when that mode is the power-on group.
int presetOfDefaultAppMode(ztc_msg_q_context_t &camera, const uint8_t *status, uint32_t &preset)
{
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    int rc = ztc_send_remote_api_for_response(&camera, kSetupCategory, kDefaultAppModeGet, &answer,
                                              &length);
    if (rc != ZT_OK || answer == nullptr || length < 1) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_SETUP_DEFAULT_APP_MODE_GET failed, %d", rc);
        return ZT_ERR;
    }
    const uint32_t group = answer[0];
    if (group == 15) {
        answer = nullptr;
        length = 0;
        rc = ztc_send_remote_api_for_response(&camera, kPresetCategory, kPowerOnDefaultGet, &answer,
                                              &length);
        if (rc == ZT_OK && (answer == nullptr || length < 1))
            rc = ZT_ERR;
        if (rc != ZT_OK) {
            ZTLOG(ZT_LOG_ERROR, "REMOTE_PRESETS_POWER_ON_DEFAULT_PRESETS_GET error, %d", rc);
            return rc;
        }
        preset = answer[0];
        return ZT_OK;
    }
    const size_t offset = presetOffsetOfGroup(group);
    if (offset == 0) {
        ZTLOG(ZT_LOG_ERROR, "Group_id[%ld] was not found for Multi-Cam Mix", (long)group);
        return ZT_ERR_INVALID_PARAM;
    }
    preset = statusWord(status, offset);
    return ZT_OK;
}

// Mode type 0, 1 or 2 activates the current video, photo or time-lapse
// preset of the all-status block, 3 the preset of the default application
// mode. An all-status answer of another size than the block's is used as far
// as it goes, the rest read as zero.
int multiCamMode(CommandScope &scope, uint32_t modeType)
{
    if (CameraState::GetCameraModel() == kModelWithoutMultiCamMode) {
        ZTLOG(ZT_LOG_DEBUG, "Ignoring multicam mode commands");
        return ZT_OK;
    }
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    const int status = scope.state.requestAllStatus(answer, length);
    if (status != ZT_OK) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_SYSTEM_ALL_STATUS_GET could not get status, %d", status);
        return ZT_ERR;
    }
    if (isNakOff(answer, length)) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_SYSTEM_ALL_STATUS_GET Camera status returning ZT_ERR_NACK_OFF");
        return ZT_ERR_NAK_OFF;
    }
    // Copied: the default-application-mode read below replaces the library's
    // answer before the block is read.
    uint8_t block[CAMERA_STATUS_BLOCK_SIZE] = {};
    if (answer != nullptr)
        memcpy(block, answer, length < sizeof block ? length : sizeof block);
    ZTLOG(ZT_LOG_DEBUG,
          "MULTI_CAM_MODE_TYPE[%02X] active: video preset[%ld]  photo preset[%ld] time_lapse "
          "preset[%ld] presets_group[%ld]",
          (unsigned)modeType, (long)statusWord(block, kStatusVideoPresetOffset),
          (long)statusWord(block, kStatusPhotoPresetOffset),
          (long)statusWord(block, kStatusTimeLapsePresetOffset),
          (long)statusWord(block, kStatusGroupOffset));

    uint32_t preset = 0;
    switch (modeType) {
    case 0:
        preset = statusWord(block, kStatusVideoPresetOffset);
        break;
    case 1:
        preset = statusWord(block, kStatusPhotoPresetOffset);
        break;
    case 2:
        preset = statusWord(block, kStatusTimeLapsePresetOffset);
        break;
    case 3: {
        const int rc = presetOfDefaultAppMode(scope.camera, block, preset);
        if (rc != ZT_OK)
            return rc;
        break;
    }
    default:
        ZTLOG(ZT_LOG_ERROR, "Invalid mode:%d button type:%d", (int)modeType,
              (int)kButtonMultiCamMode);
        return ZT_ERR_INVALID_PARAM;
    }
    uint8_t payload[4];
    writeLE(payload, 0, preset);
    return ZT_LOGGED(ztc_send_remote_api_payload(&scope.camera, kPresetCategory, kPresetActiveSet,
                                                 payload, sizeof payload),
                     "REMOTE_PRESET_ACTIVE_SET");
}

}  // namespace

// Argument: the button argument (kZtButtonArgSize bytes, by the table).
// Every request carries the remote's rotation, applied first whatever the
// button; button type 18 is accepted and ignored.
CommandResult cmdSystemButtonSet(CommandScope &scope, const CommandArgs &args)
{
    const uint8_t *bytes = args.argument->getData();
    const uint32_t type = readU32(bytes, kZtButtonArgTypeOffset);
    const uint32_t raw = readU32(bytes, kZtButtonArgStateOffset);
    updateRotation(scope.camera, (raw >> kZtButtonRotationShift) & kZtButtonStateMask);
    ZTLOG(ZT_LOG_DEBUG, "Button press raw value :%d", (int)raw);
    const uint32_t state = raw & kZtButtonStateMask;

    switch (type) {
    case kButtonShutter:
    case kButtonMode:
    case kButtonHilight:
        return plainButton(scope.camera, type, state);
    case kButtonMultiCamIgnored:
        return ZT_OK;
    case kButtonMultiCamShutter:
        return multiCamShutter(scope.camera, state);
    case kButtonMultiCamMode:
        return multiCamMode(scope, state);
    default:
        ZTLOG(ZT_LOG_ERROR, "Invalid button type:%d", (int)type);
        return ZT_ERR_INVALID_PARAM;
    }
}
