// Capture and mode commands: shutter, mode changes (with the flat-mode
// translation of the flat-mode cameras and the video-format reset), capture
// delay and digital zoom, whose preset edit stays open between zoom steps.
// A word argument shorter than its word reads zero-extended; only a missing
// argument is refused. Worker thread, m_commandMutex held (digital zoom lets
// go of it while it arms the zoom timer, inside
// PresetEditScope::holdZoomEdit).
#include "CameraState.h"
#include "CommandHandler.h"
#include "PresetEditScope.h"
#include "utils.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_layouts.h"
#include "ztcontrol_remote_ops.h"

namespace {

// All-status bytes holding the flat mode last used in each base mode.
constexpr size_t kVideoFlatModeOffset = 2;
constexpr size_t kPhotoFlatModeOffset = 3;
constexpr size_t kTimeLapseFlatModeOffset = 4;
constexpr uint16_t kFlatModeStatusLength = 5;

// Flat modes a base mode falls back to when the camera cannot tell.
constexpr int32_t kDefaultVideoFlatMode = 12;
constexpr int32_t kDefaultPhotoFlatMode = 16;
constexpr int32_t kDefaultTimeLapseFlatMode = 20;

// Video sub-modes that are flat modes of their own on every camera, and
// those flat modes.
constexpr int32_t kVideoSubMode3 = 3;
constexpr int32_t kVideoSubMode3FlatMode = 15;
constexpr int32_t kVideoSubMode4 = 4;
constexpr int32_t kVideoSubMode4FlatMode = 24;

// The flat mode in which zoom changes are not kept in a preset.
constexpr int32_t kFlatModeNoZoomEdit = 23;

// Cameras that take a flat mode where older clients send a base mode.
bool usesFlatModes(unsigned model)
{
    switch (model) {
    case 24:
    case 30:
    case 32:
    case 33:
    case 50:
    case 51:
    case 55:
    case 57:
    case 58:
    case 60:
    case 61:
        return true;
    default:
        return false;
    }
}

// Modes after which the video format must be brought back to a valid one.
bool needsVideoFormatReset(int32_t mode)
{
    return mode == 0 || (mode >= 12 && mode <= 15);
}

// Brings the video format back to one the new mode accepts; a library
// without the reset (ZT_ERR_NOT_SUPPORTED) is no failure of the mode change.
int resetVideoFormat(ztc_msg_q_context_t &camera)
{
    const int result = ztc_video_reset_to_valid_res_fps_fov(&camera);
    if (result == ZT_OK || result == ZT_ERR_NOT_SUPPORTED)
        return ZT_OK;
    ZTLOG(ZT_LOG_ERROR, "ztc_video_reset_to_valid_res_fps_fov failed");
    return result;
}

// Base modes 0, 1 and 2 (video, photo, time lapse) become the flat mode the
// camera last used in that family, or the family's default flat mode when
// the camera cannot tell. Other modes pass unchanged.
int32_t translateToFlatMode(CameraState &state, int32_t mode, unsigned model)
{
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    const int status = state.requestAllStatus(answer, length);
    if (status != ZT_OK) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_SYSTEM_ALL_STATUS_GET error, %d, leaving mode as %d", status,
              mode);
    } else if (isNakOff(answer, length)) {
        ZTLOG(ZT_LOG_ERROR, "Camera status returning ZT_ERR_NACK_OFF, skipping flatmode update");
    } else if (answer != nullptr && length >= kFlatModeStatusLength) {
        switch (mode) {
        case 0:
            mode = static_cast<int8_t>(answer[kVideoFlatModeOffset]);
            ZTLOG(ZT_LOG_DEBUG,
                  "Got mode :%d, for model number %d - updating mode to video_selected_flatmode %d",
                  0, model, mode);
            break;
        case 1:
            mode = static_cast<int8_t>(answer[kPhotoFlatModeOffset]);
            ZTLOG(ZT_LOG_DEBUG,
                  "Got mode :%d, for model number %d - updating mode to photo_selected_flatmode %d",
                  1, model, mode);
            break;
        case 2:
            mode = static_cast<int8_t>(answer[kTimeLapseFlatModeOffset]);
            ZTLOG(ZT_LOG_DEBUG,
                  "Got mode :%d, for model number %d - updating mode to "
                  "timelapse_selected_flatmode %d",
                  2, model, mode);
            break;
        default:
            return mode;  // not a base mode: nothing to translate or default
        }
    }
    // A status byte may itself hold a base mode; it then falls back as well.
    switch (mode) {
    case 0:
        ZTLOG(ZT_LOG_ERROR, "Got mode :%d, for model number %d - defaulting mode to video video",
              mode, model);
        return kDefaultVideoFlatMode;
    case 1:
        ZTLOG(ZT_LOG_ERROR, "Got mode :%d, for model number %d - defaulting mode photo continuous",
              mode, model);
        return kDefaultPhotoFlatMode;
    case 2:
        ZTLOG(ZT_LOG_ERROR,
              "Got mode :%d, for model number %d - defaulting mode to timelapse photo", mode,
              model);
        return kDefaultTimeLapseFlatMode;
    default:
        return mode;
    }
}

}  // namespace

// Argument: the shutter value (u8); an empty one reads as 0.
CommandResult cmdShutter(CommandScope &scope, const CommandArgs &args)
{
    const uint8_t value = args.argument->getUInt8();
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_COMMAND_SHUTTER: value:%d", value);
    const int result = ztc_shutter(&scope.camera, value);
    if (result != ZT_OK)
        ZTLOG(ZT_LOG_ERROR, "shutter failed");
    return result;
}

// Argument: the mode (u32). A mode change must not land in an open zoom
// edit, so that edit is closed first.
CommandResult cmdMode(CommandScope &scope, const CommandArgs &args)
{
    int32_t mode = static_cast<int32_t>(args.argument->getUInt32());
    scope.edit.stopZooming("ZTCONTROL_MODE");
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_MODE: mode:%d", mode);
    const unsigned model = CameraState::GetCameraModel();
    if (usesFlatModes(model))
        mode = translateToFlatMode(scope.state, mode, model);
    const int result = ztc_app_set_mode(&scope.camera, mode);
    if (result != ZT_OK) {
        ZTLOG(ZT_LOG_ERROR, "ztc_app_set_mode failed");
        return result;
    }
    if (!needsVideoFormatReset(mode))
        return ZT_OK;
    ZTLOG(ZT_LOG_DEBUG, "Setting Resolution to enforce parameter correctness Mode:%d subMode:%d",
          mode, -1);
    return resetVideoFormat(scope.camera);
}

// Argument: mode and sub-mode (kZtModeSubModeArgSize bytes, by the table).
CommandResult cmdModeSubMode(CommandScope &scope, const CommandArgs &args)
{
    const uint8_t *bytes = args.argument->getData();
    const int32_t mode = static_cast<int32_t>(readU32(bytes, kZtModeSubModeArgModeOffset));
    const int32_t subMode = static_cast<int32_t>(readU32(bytes, kZtModeSubModeArgSubModeOffset));
    scope.edit.stopZooming("ZTCONTROL_MODE_SUB_MODE");
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_MODE_SUB_MODE: mode:%d sub_mode:%d", mode, subMode);
    int result = ZT_OK;
    if (mode == 0 && (subMode == kVideoSubMode4 || subMode == kVideoSubMode3)) {
        result =
            ztc_app_set_mode(&scope.camera, subMode == kVideoSubMode4 ? kVideoSubMode4FlatMode
                                                                      : kVideoSubMode3FlatMode);
        if (result != ZT_OK)
            ZTLOG(ZT_LOG_ERROR, "ztc_app_set_mode failed");
    } else {
        result = ztc_app_set_mode_sub_mode(&scope.camera, mode, subMode);
        if (result != ZT_OK)
            ZTLOG(ZT_LOG_ERROR, "ztc_app_set_mode_sub_mode failed");
    }
    if (result != ZT_OK || mode != 0)
        return result;
    ZTLOG(ZT_LOG_INFO, "Setting Resolution to enforce parameter correctness Mode:%d subMode:%d",
          mode, subMode);
    return resetVideoFormat(scope.camera);
}

// Argument: the flat mode (u16) whose preset becomes active.
CommandResult cmdModeSetMode(CommandScope &scope, const CommandArgs &args)
{
    scope.edit.stopZooming("ZTCONTROL_MODE_SET_MODE");
    const uint16_t mode = args.argument->getUInt16();
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_MODE_SET_MODE: mode:%d", mode);
    return scope.edit.LoadPresetFromMode(mode);
}

// Argument: the photo timer (u32). The delay belongs to the current preset,
// so it is set inside an edit that is stored whatever the result.
CommandResult cmdCaptureDelay(CommandScope &scope, const CommandArgs &args)
{
    const int32_t delay = static_cast<int32_t>(args.argument->getUInt32());
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_CAPTURE_DELAY: photo timer:%d", delay);
    if (!scope.edit.PresetStartEdit(PresetEditScope::kNoSetting)) {
        ZTLOG(ZT_LOG_ERROR, "Failed to start preset edit!");
        return ZT_ERR;
    }
    const int result =
        ZT_LOGGED(ztc_app_set_capture_delay(&scope.camera, delay), "ztc_app_set_capture_delay");
    scope.edit.PresetEndEdit(PresetEditScope::kNoSetting);
    return result;
}

// Argument: the zoom value (u32). A zoom gesture sends many values in a row;
// outside kFlatModeNoZoomEdit one preset edit is held open for all of them
// and stored once the gesture pauses.
CommandResult cmdDigitalZoom(CommandScope &scope, const CommandArgs &args)
{
    const int32_t zoom = static_cast<int32_t>(args.argument->getUInt32());
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_DIGITAL_ZOOM: dzoom:%d", zoom);
    int32_t appMode = 0;
    int32_t flatMode = -1;
    ztc_app_get_mode_flat_mode(&scope.camera, &appMode, &flatMode);
    ZTLOG(ZT_LOG_INFO, "------Current flatmode is %d", (int)flatMode);
    if (flatMode != kFlatModeNoZoomEdit && !scope.edit.holdZoomEdit())
        return ZT_ERR;
    return ZT_LOGGED(ztc_app_set_digital_zoom(&scope.camera, zoom), "ztc_app_set_digital_zoom");
}
