// Command server, the command frame: the checks every command passes before
// its branch runs, the dispatch over command values, and the answer and
// result log after it. Worker thread only.
#include "utils.h"
#include "ztErrno.h"
#include "ztcontrol_if_server.h"

int ZtcontrolCommandServer::handleCommand(Msg &request, ztcontrol_command_t command)
{
    Lock hold(m_commandMutex);
    if (!m_interfaceOpen) {
        ZTLOG(ZT_LOG_ERROR, "protocol adapter not set - throwing out command");
        return ZT_ERR;
    }
    const MsgElement *argument = request.findElement(TLV_CMDARG);
    const MsgElement *option = request.findElement(TLV_OPTION);
    m_cameraContext.option = option ? option->getUInt8() : 1;

    CommandOutcome outcome;
    const uint32_t value = static_cast<uint32_t>(command);
    if (value > ZTCONTROL_GET_BUSY_STATUS || command == ZTCONTROL_EVENT_FILTER_IN ||
        command == ZTCONTROL_FILTER_OUT || command == ZTCONTROL_TRANSCODE_PHOTO_TO_VIDEO ||
        command == ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_1X_SET) {
        ZTLOG(ZT_LOG_ERROR, "Unhandled command %d", (int)command);
        outcome.code = ZT_ERR_NOT_SUPPORTED;
    } else {
        outcome = dispatchCommand(request, command, argument);
    }

    if (!outcome.answered)
        sendResponse(request, outcome.code, nullptr, 0);
    if (outcome.code != ZT_OK && !outcome.quiet && value < ZTCONTROL_CMD_LAST)
        ZTLOG(ZT_LOG_ERROR, "Command: %s (%d) returned ztErrno:(%d=%s)",
              ztcontrolCommandName(command), (int)command, outcome.code, ztErrno2Str(outcome.code));
    return outcome.code;
}

// One case per command value, grouped by the area that carries it out.
// Areas whose branches have not been built yet answer ZT_ERR_NOT_SUPPORTED.
ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::dispatchCommand(
    Msg &request, ztcontrol_command_t command, const MsgElement *argument)
{
    switch (command) {
    // Notification registry.
    case ZTCONTROL_EVENT_REGISTER_MQUEUE:
        return handleRegisterMQueue(argument);
    case ZTCONTROL_PUSH_NOTIFICATIONS:
        return handlePushNotifications(argument);

    // Capture and mode commands.
    case ZTCONTROL_COMMAND_SHUTTER:
    case ZTCONTROL_MODE:
    case ZTCONTROL_MODE_SUB_MODE:
    case ZTCONTROL_LIVEVIEW_MODE_SET:
    case ZTCONTROL_DIGITAL_ZOOM:
    case ZTCONTROL_CAPTURE_DELAY:
    case ZTCONTROL_MODE_SET_MODE:
    case ZTCONTROL_QUICK_CAPTURE_START:
    case ZTCONTROL_GET_BUSY_STATUS:
        return handleCaptureCommand(request, command, argument);

    // Wireless, pairing and firmware-update commands.
    case ZTCONTROL_FW_UPDATE_START:
    case ZTCONTROL_FW_UPDATE_CANCEL:
    case ZTCONTROL_FW_UPDATE_DONE:
    case ZTCONTROL_WIFI_AP_CONTROL:
    case ZTCONTROL_WIFI_AP_SSID_CONFIG:
    case ZTCONTROL_WIFI_BAND_SELECT:
    case ZTCONTROL_WIFI_SSID_SCAN:
    case ZTCONTROL_WIFI_SSID_LIST:
    case ZTCONTROL_WIFI_SSID_SAVE:
    case ZTCONTROL_WIFI_SSID_SELECT:
    case ZTCONTROL_WIFI_SSID_DELETE:
    case ZTCONTROL_WIFI_SSID_DELETE_ALL:
    case ZTCONTROL_RC_PAIR:
    case ZTCONTROL_RC_PAIR_CANCEL:
    case ZTCONTROL_BLE_CONTROL:
        return handleWirelessCommand(request, command, argument);

    // Settings and status commands.
    case ZTCONTROL_VIDEO_ADVSET_RESET:
    case ZTCONTROL_PHOTO_ADVSET_RESET:
    case ZTCONTROL_MULTI_ADVSET_RESET:
    case ZTCONTROL_SET_SETTING_ID:
    case ZTCONTROL_GET_SETTING_ID:
    case ZTCONTROL_GET_ALL_SETTINGS:
    case ZTCONTROL_GET_ALL_STATUS:
    case ZTCONTROL_GET_ALL_SETTINGS_STATUS:
    case ZTCONTROL_SYSTEM_GET_GEOCAL:
    case ZTCONTROL_SYSTEM_GET_SHADINGDATA_FILE:
    case ZTCONTROL_ADVSET_RESET:
    case ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_RAMP_SET:
    case ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_RAMP_ACTIVE_SET:
    case ZTCONTROL_GET_ALL_SETTINGS_STATUS_IDS:
        return handleSettingsCommand(request, command, argument);

    // System commands.
    case ZTCONTROL_SYSTEM_SHUTDOWN:
    case ZTCONTROL_SYSTEM_SLEEP:
    case ZTCONTROL_LOCATE:
    case ZTCONTROL_FACTORY_RESET:
    case ZTCONTROL_ANALYTICS_FILENAME_GET:
    case ZTCONTROL_ANALYTICS_CLEAR:
    case ZTCONTROL_REMOTE_API:
    case ZTCONTROL_SET_LOG_LEVEL:
    case ZTCONTROL_TRANSCODE_HISTORY:
    case ZTCONTROL_TRANSCODE_VIDEO_TO_VIDEO_REQUEST:
    case ZTCONTROL_TRANSCODE_PHOTO_TO_VIDEO_REQUEST:
    case ZTCONTROL_TRANSCODE_TO_PHOTO_REQUEST:
    case ZTCONTROL_TRANSCODE_STATUS:
    case ZTCONTROL_TRANSCODE_CANCEL:
    case ZTCONTROL_SYSTEM_BUTTON_SET:
    case ZTCONTROL_SET_IN_CONTEXTUAL_MENU:
    case ZTCONTROL_WEBCAM_REQUEST_EXIT:
    case ZTCONTROL_SET_CAMERA_CONTROL_STATUS:
    case ZTCONTROL_SET_WIRED_USB_CONTROL:
    case ZTCONTROL_SET_CAH_AUTO_CLEAR:
        return handleSystemCommand(request, command, argument);

    // Media, date and voice commands.
    case ZTCONTROL_SET_DATE_TIME:
    case ZTCONTROL_KEYMARK_TAG_RECORDING:
    case ZTCONTROL_KEYMARK_TAG_PLAYBACK:
    case ZTCONTROL_DELETE:
    case ZTCONTROL_DELETE_LAST:
    case ZTCONTROL_DELETE_GROUP:
    case ZTCONTROL_DELETE_ALL:
    case ZTCONTROL_VOICE_PHOTO_TAKE:
    case ZTCONTROL_VOICE_VIDEO_START:
    case ZTCONTROL_VOICE_VIDEO_STOP:
    case ZTCONTROL_VOICE_TIMELAPSE_START:
    case ZTCONTROL_VOICE_TIMELAPSE_STOP:
    case ZTCONTROL_VOICE_BURST_TAKE:
    case ZTCONTROL_VOICE_TAG:
    case ZTCONTROL_VOICE_MODE:
    case ZTCONTROL_VOICE_EDIT_MY_STORY:
    case ZTCONTROL_VOICE_DELETE_LAST:
    case ZTCONTROL_DELETE_LIST:
    case ZTCONTROL_GET_DELETE_LIST_RESULT:
    case ZTCONTROL_GET_DATE_TIME:
        return handleMediaCommand(request, command, argument);

    // Preset commands.
    case ZTCONTROL_PRESET_LIST_GROUPS:
    case ZTCONTROL_PRESET_LIST_IDS:
    case ZTCONTROL_PRESET_GET_INFO:
    case ZTCONTROL_PRESET_CUSTOM_CREATE:
    case ZTCONTROL_PRESET_CUSTOM_REMOVE:
    case ZTCONTROL_PRESET_SET_ORDER:
    case ZTCONTROL_PRESET_LOAD:
    case ZTCONTROL_PRESET_EDIT_START:
    case ZTCONTROL_PRESET_EDIT_CANCEL:
    case ZTCONTROL_PRESET_EDIT_STORE:
    case ZTCONTROL_PRESET_FACTORY_RESET:
    case ZTCONTROL_PRESET_GET_PRESETS:
    case ZTCONTROL_PRESET_SWITCH_FLATMODE:
    case ZTCONTROL_PRESET_SET_TITLE_AND_ICON:
    case ZTCONTROL_ONSCREEN_SHORTCUTS_RESET:
    case ZTCONTROL_PRESET_GET_ACTIVE_PRESET:
    case ZTCONTROL_PRESET_GET_ACTIVE_GROUP:
        return handlePresetCommand(request, command, argument);

    // No branch: refused by the frame before dispatch; listed so that every
    // value has a visible owner.
    case ZTCONTROL_EVENT_FILTER_IN:
    case ZTCONTROL_FILTER_OUT:
    case ZTCONTROL_TRANSCODE_PHOTO_TO_VIDEO:
    case ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_1X_SET:
    case ZTCONTROL_CMD_LAST:
        break;
    }
    return notBuiltYet(command);
}

ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::notBuiltYet(
    ztcontrol_command_t command)
{
    ZTLOG(ZT_LOG_ERROR, "Unhandled command %d", (int)command);
    CommandOutcome outcome;
    outcome.code = ZT_ERR_NOT_SUPPORTED;
    return outcome;
}
