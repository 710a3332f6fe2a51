// Command server, capture and mode commands: shutter, mode changes (with the
// flat-mode translation of the flat-mode cameras and the video-format reset),
// capture delay and digital zoom, whose preset edit stays open between zoom
// steps and is closed by the zoom timer. Live view, quick capture and the
// busy status are in ztcontrol_if_server_capture_live.cpp.
// Worker thread, m_commandMutex held (the zoom branch lets go of it while it
// arms the timer).
#include "utils.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_if_server.h"
#include "ztcontrol_remote_ops.h"

namespace {

constexpr int kNoSetting = -1;
constexpr int kZoomEditWindowMs = 200;
// The flat mode in which zoom changes are not kept in a preset.
constexpr int32_t kFlatModeNoZoomEdit = 23;
constexpr uint16_t kModeSubModeArgLength = 8;

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

}  // namespace

ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::handleCaptureCommand(
    Msg &request, ztcontrol_command_t command, const MsgElement *argument)
{
    CommandOutcome outcome;
    switch (command) {
    case ZTCONTROL_QUICK_CAPTURE_START:
        return quickCaptureStart(argument);
    case ZTCONTROL_GET_BUSY_STATUS:
        return getBusyStatus(request, argument);
    default:
        break;
    }
    if (argument == nullptr) {
        outcome.code = invalidParam();
        return outcome;
    }
    switch (command) {
    case ZTCONTROL_COMMAND_SHUTTER: {
        const uint8_t value = argument->getUInt8();
        ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_COMMAND_SHUTTER: value:%d", value);
        outcome.code = ztc_shutter(&m_cameraContext, value);
        if (outcome.code != ZT_OK)
            ZTLOG(ZT_LOG_ERROR, "shutter failed");
        break;
    }
    case ZTCONTROL_MODE:
        outcome.code = setMode(static_cast<int32_t>(argument->getUInt32()));
        break;
    case ZTCONTROL_MODE_SUB_MODE:
        outcome.code = setModeSubMode(*argument);
        break;
    case ZTCONTROL_MODE_SET_MODE: {
        stopZooming("ZTCONTROL_MODE_SET_MODE");
        const uint16_t mode = argument->getUInt16();
        ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_MODE_SET_MODE: mode:%d", mode);
        outcome.code = LoadPresetFromMode(mode);
        break;
    }
    case ZTCONTROL_CAPTURE_DELAY:
        outcome.code = setCaptureDelay(static_cast<int32_t>(argument->getUInt32()));
        break;
    case ZTCONTROL_DIGITAL_ZOOM:
        outcome.code = setDigitalZoom(static_cast<int32_t>(argument->getUInt32()));
        break;
    case ZTCONTROL_LIVEVIEW_MODE_SET:
        outcome.code = setLiveviewExposure(*argument);
        break;
    default:
        return notBuiltYet(command);
    }
    return outcome;
}

// Brings the video format back to one the new mode accepts; a library
// without the reset (ZT_ERR_NOT_SUPPORTED) is no failure of the mode change.
int ZtcontrolCommandServer::resetVideoFormat()
{
    const int result = ztc_video_reset_to_valid_res_fps_fov(&m_cameraContext);
    if (result == ZT_OK || result == ZT_ERR_NOT_SUPPORTED)
        return ZT_OK;
    ZTLOG(ZT_LOG_ERROR, "ztc_video_reset_to_valid_res_fps_fov failed");
    return result;
}

// Base modes 0, 1 and 2 (video, photo, time lapse) become the flat mode the
// camera last used in that family, or the family's default flat mode when
// the camera cannot tell.
int32_t ZtcontrolCommandServer::translateToFlatMode(int32_t mode, unsigned model)
{
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    const int status = requestAllStatus(answer, length);
    if (status != ZT_OK) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_SYSTEM_ALL_STATUS_GET error, %d, leaving mode as %d", status,
              mode);
    } else if (isNakOff(answer, length)) {
        ZTLOG(ZT_LOG_ERROR, "Camera status returning ZT_ERR_NACK_OFF, skipping flatmode update");
    } else if (answer != nullptr && length >= 5) {
        switch (mode) {
        case 0:
            mode = static_cast<int8_t>(answer[2]);
            ZTLOG(ZT_LOG_DEBUG,
                  "Got mode :%d, for model number %d - updating mode to video_selected_flatmode %d",
                  0, model, mode);
            break;
        case 1:
            mode = static_cast<int8_t>(answer[3]);
            ZTLOG(ZT_LOG_DEBUG,
                  "Got mode :%d, for model number %d - updating mode to photo_selected_flatmode %d",
                  1, model, mode);
            break;
        case 2:
            mode = static_cast<int8_t>(answer[4]);
            ZTLOG(ZT_LOG_DEBUG,
                  "Got mode :%d, for model number %d - updating mode to "
                  "timelapse_selected_flatmode %d",
                  2, model, mode);
            break;
        default:
            return mode;  // not a base mode: nothing to translate or default
        }
    }
    switch (mode) {
    case 0:
        ZTLOG(ZT_LOG_ERROR, "Got mode :%d, for model number %d - defaulting mode to video video",
              mode, model);
        return 12;
    case 1:
        ZTLOG(ZT_LOG_ERROR, "Got mode :%d, for model number %d - defaulting mode photo continuous",
              mode, model);
        return 16;
    case 2:
        ZTLOG(ZT_LOG_ERROR,
              "Got mode :%d, for model number %d - defaulting mode to timelapse photo", mode,
              model);
        return 20;
    default:
        return mode;
    }
}

int ZtcontrolCommandServer::setMode(int32_t mode)
{
    stopZooming("ZTCONTROL_MODE");
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_MODE: mode:%d", mode);
    const unsigned model = GetCameraModel();
    if (usesFlatModes(model))
        mode = translateToFlatMode(mode, model);
    const int result = ztc_app_set_mode(&m_cameraContext, mode);
    if (result != ZT_OK) {
        ZTLOG(ZT_LOG_ERROR, "ztc_app_set_mode failed");
        return result;
    }
    if (!needsVideoFormatReset(mode))
        return ZT_OK;
    ZTLOG(ZT_LOG_DEBUG, "Setting Resolution to enforce parameter correctness Mode:%d subMode:%d",
          mode, -1);
    return resetVideoFormat();
}

int ZtcontrolCommandServer::setModeSubMode(const MsgElement &argument)
{
    if (argument.getLength() < kModeSubModeArgLength) {
        return invalidParam();
    }
    const uint8_t *bytes = argument.getData();
    const int32_t mode = static_cast<int32_t>(readU32(bytes, 0));
    const int32_t subMode = static_cast<int32_t>(readU32(bytes, 4));
    stopZooming("ZTCONTROL_MODE_SUB_MODE");
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_MODE_SUB_MODE: mode:%d sub_mode:%d", mode, subMode);
    int result = ZT_OK;
    // Two video sub-modes are flat modes of their own on every camera.
    if (mode == 0 && (subMode == 4 || subMode == 3)) {
        result = ztc_app_set_mode(&m_cameraContext, subMode == 4 ? 24 : 15);
        if (result != ZT_OK)
            ZTLOG(ZT_LOG_ERROR, "ztc_app_set_mode failed");
    } else {
        result = ztc_app_set_mode_sub_mode(&m_cameraContext, mode, subMode);
        if (result != ZT_OK)
            ZTLOG(ZT_LOG_ERROR, "ztc_app_set_mode_sub_mode failed");
    }
    if (result != ZT_OK || mode != 0)
        return result;
    ZTLOG(ZT_LOG_INFO, "Setting Resolution to enforce parameter correctness Mode:%d subMode:%d",
          mode, subMode);
    return resetVideoFormat();
}

// The delay belongs to the current preset, so it is set inside an edit that
// is stored whatever the result.
int ZtcontrolCommandServer::setCaptureDelay(int32_t delay)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_CAPTURE_DELAY: photo timer:%d", delay);
    if (!PresetStartEdit(kNoSetting)) {
        ZTLOG(ZT_LOG_ERROR, "Failed to start preset edit!");
        return ZT_ERR;
    }
    const int result = ztc_app_set_capture_delay(&m_cameraContext, delay);
    if (result != ZT_OK)
        ZTLOG(ZT_LOG_ERROR, "ztc_app_set_capture_delay error, %d", result);
    PresetEndEdit(kNoSetting);
    return result;
}

// A zoom gesture sends many values in a row; one preset edit is held open
// for all of them and stored kZoomEditWindowMs after the last one.
int ZtcontrolCommandServer::setDigitalZoom(int32_t zoom)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_DIGITAL_ZOOM: dzoom:%d", zoom);
    int32_t appMode = 0;
    int32_t flatMode = -1;
    ztc_app_get_mode_flat_mode(&m_cameraContext, &appMode, &flatMode);
    ZTLOG(ZT_LOG_INFO, "------Current flatmode is %d", (int)flatMode);
    if (flatMode != kFlatModeNoZoomEdit) {
        if (!m_zoomEditActive) {
            if (!PresetStartEdit(kNoSetting)) {
                ZTLOG(ZT_LOG_ERROR, "Failed to start preset edit!");
                return ZT_ERR;
            }
            m_zoomEditActive = true;
        }
        // The timer's callback takes the timer's mutex and then
        // m_commandMutex; arming while holding m_commandMutex would invert
        // that order.
        pthread_mutex_unlock(&m_commandMutex);
        m_workerTimer.arm(kZoomEditWindowMs, &ZtcontrolCommandServer::stopEdit, this);
        pthread_mutex_lock(&m_commandMutex);
        // The previous window may have closed the edit while the mutex was
        // free; the new window then needs an edit of its own.
        if (!m_zoomEditActive) {
            if (!PresetStartEdit(kNoSetting)) {
                ZTLOG(ZT_LOG_ERROR, "Failed to start preset edit!");
                return ZT_ERR;
            }
            m_zoomEditActive = true;
        }
    }
    const int result = ztc_app_set_digital_zoom(&m_cameraContext, zoom);
    if (result != ZT_OK)
        ZTLOG(ZT_LOG_ERROR, "ztc_app_set_digital_zoom error, %d", result);
    return result;
}
