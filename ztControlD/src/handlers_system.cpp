// Command handlers, system commands: power off and sleep, locate, factory
// reset, analytics files, the log level, the retired transcode and remote-API
// commands, and the system flags (contextual menu, external camera control,
// control over USB, automatic clearing, webcam exit). Physical and
// multi-camera buttons are in handlers_system_button.cpp. Worker thread,
// m_commandMutex held.
#include "CameraState.h"
#include "CommandHandler.h"
#include "camera_blocks.h"
#include "utils.h"
#include "ztErrno.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_remote_ops.h"

namespace {

// Byte of the all-status block that holds the control-over-USB state.
constexpr size_t kUsbControlOffset = 256;

// Sends one firmware operation with a one-byte payload; `what` names the
// operation in the failure line.
int sendByte(ztc_msg_q_context_t &camera, uint8_t category, uint8_t identifier, uint8_t byte,
             const char *what)
{
    return ZT_LOGGED(ztc_send_remote_api_payload(&camera, category, identifier, &byte, 1), what);
}

// Power off (1) and sleep (0) are the same operation; neither takes an
// argument.
int shutdown(ztc_msg_q_context_t &camera, const char *entry, uint8_t powerOff)
{
    ZTLOG(ZT_LOG_DEBUG, "%s", entry);
    return sendByte(camera, kSystemCategory, kShutdown, powerOff, "REMOTE_SYSTEM_SHUTDOWN");
}

}  // namespace

CommandResult cmdSystemShutdown(CommandScope &scope, const CommandArgs &)
{
    return shutdown(scope.camera, "ZTCONTROL_SYSTEM_SHUTDOWN:", 1);
}

CommandResult cmdSystemSleep(CommandScope &scope, const CommandArgs &)
{
    return shutdown(scope.camera, "ZTCONTROL_SYSTEM_SLEEP:", 0);
}

// Argument: one byte, the locate signal on (1) or off (0).
CommandResult cmdLocate(CommandScope &scope, const CommandArgs &args)
{
    const uint8_t onOff = args.argument->getUInt8();
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_LOCATE: onOff:%d", onOff);
    return sendByte(scope.camera, kSystemCategory, kLocateStatusSet, onOff,
                    "REMOTE_SYSTEM_CAMERA_LOCATE_STATUS_SET");
}

// Argument: one byte, the firmware's reset type.
CommandResult cmdFactoryReset(CommandScope &scope, const CommandArgs &args)
{
    const uint8_t resetType = args.argument->getUInt8();
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_FACTORY_RESET: resetType:%d", resetType);
    return sendByte(scope.camera, kSystemCategory, kFactoryReset, resetType,
                    "REMOTE_SYSTEM_FACTORY_RESET");
}

// Answers the file name bytes as the firmware gave them (none after a
// failure).
CommandResult cmdAnalyticsFilenameGet(CommandScope &scope, const CommandArgs &)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_ANALYTICS_FILENAME_GET:");
    const RemoteAnswer name = ZT_QUERY(scope.camera, kSystemCategory, kAnalyticsFileNameGet,
                                       "REMOTE_SYSTEM_ANALYTICS_FILE_NAME_GET");
    if (name.rc != ZT_OK)
        return name.rc;
    return CommandResult::withData(ZT_OK, name.data, name.length);
}

CommandResult cmdAnalyticsClear(CommandScope &scope, const CommandArgs &)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_ANALYTICS_CLEAR:");
    return ZT_LOGGED(ztc_send_simple_remote_api(&scope.camera, kSystemCategory, kAnalyticsClear),
                     "REMOTE_SYSTEM_ANALYTICS_CLEAR");
}

// Raw firmware operations from clients are no longer forwarded.
CommandResult cmdRemoteApi(CommandScope &, const CommandArgs &)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_REMOTE_API:");
    return ZT_ERR_NOT_SUPPORTED;
}

// Argument: the new log level (u32); levels out of range are ignored by the
// logger.
CommandResult cmdSetLogLevel(CommandScope &, const CommandArgs &args)
{
    const int level = static_cast<int>(args.argument->getUInt32());
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_SET_LOG_LEVEL: level:%d", level);
    ztUtilSetLogLevel(level);
    return ZT_OK;
}

// The transcode commands are retired: each only logs its line.
CommandResult cmdTranscodeHistory(CommandScope &, const CommandArgs &)
{
    ZTLOG(ZT_LOG_ERROR, "unsupported ZTCONTROL_TRANSCODE_HISTORY");
    return ZT_ERR_NOT_SUPPORTED;
}

CommandResult cmdTranscodeVideoToVideoRequest(CommandScope &, const CommandArgs &)
{
    ZTLOG(ZT_LOG_ERROR, "unsupported ZTCONTROL_TRANSCODE_VIDEO_REQUEST");
    return ZT_ERR_NOT_SUPPORTED;
}

CommandResult cmdTranscodePhotoToVideoRequest(CommandScope &, const CommandArgs &)
{
    ZTLOG(ZT_LOG_ERROR, "unsupported ZTCONTROL_TRANSCODE_PHOTO_TO_VIDEO_REQUEST");
    return ZT_ERR_NOT_SUPPORTED;
}

CommandResult cmdTranscodeToPhotoRequest(CommandScope &, const CommandArgs &)
{
    ZTLOG(ZT_LOG_DEBUG, "unsupported ZTCONTROL_TRANSCODE_TO_PHOTO_REQUEST");
    return ZT_ERR_NOT_SUPPORTED;
}

CommandResult cmdTranscodeStatus(CommandScope &, const CommandArgs &)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_TRANSCODE_STATUS");
    return ZT_ERR_NOT_SUPPORTED;
}

CommandResult cmdTranscodeCancel(CommandScope &, const CommandArgs &)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_TRANSCODE_CANCEL");
    return ZT_ERR_NOT_SUPPORTED;
}

// Argument: one byte, the contextual-menu state. It is kept for the status
// poll before the firmware is told.
CommandResult cmdSetInContextualMenu(CommandScope &scope, const CommandArgs &args)
{
    const uint8_t inMenu = args.argument->getUInt8();
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_SET_IN_CONTEXTUAL_MENU: %d", inMenu);
    scope.state.m_inContextualMenu = inMenu;
    return sendByte(scope.camera, kSystemCategory, kContextualMenuStatusSet, inMenu,
                    "REMOTE_SYSTEM_CONTEXTUAL_MENU_STATUS_SET");
}

CommandResult cmdWebcamRequestExit(CommandScope &scope, const CommandArgs &)
{
    return ZT_QUERY(scope.camera, kBroadcastCategory, kBroadcastExit, "REMOTE_BROADCAST_EXIT").rc;
}

// Argument: one byte, the external camera control state.
CommandResult cmdSetCameraControlStatus(CommandScope &scope, const CommandArgs &args)
{
    const uint8_t status = args.argument->getUInt8();
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_SET_CAMERA_CONTROL_STATUS: %d", status);
    return sendByte(scope.camera, kSystemCategory, kExternalCameraControl, status,
                    "REMOTE_SYSTEM_REQUEST_EXTERNAL_CAMERA_CONTROL");
}

// Argument: one byte, the control-over-USB state. Setting the state the
// camera already has would make it re-enumerate its USB link for nothing, so
// an equal value is not sent; when the current state cannot be read, the
// value is sent anyway.
CommandResult cmdSetWiredUsbControl(CommandScope &scope, const CommandArgs &args)
{
    const uint8_t value = args.argument->getUInt8();
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_SET_WIRED_USB_CONTROL: %d", value);
    uint8_t *status = nullptr;
    uint16_t length = 0;
    if (ZT_LOGGED(scope.state.requestAllStatus(status, length), "REMOTE_SYSTEM_ALL_STATUS_GET") ==
        ZT_OK) {
        if (status == nullptr || length != CAMERA_STATUS_BLOCK_SIZE) {
            // Also the one-byte refusal of a camera going off.
            ZTLOG(ZT_LOG_ERROR, "REMOTE_SYSTEM_ALL_STATUS_GET size does not match expected size");
        } else if (static_cast<int8_t>(status[kUsbControlOffset]) == static_cast<int8_t>(value)) {
            ZTLOG(ZT_LOG_DEBUG, "Double setting wired_usb_control:%d, skipping set", value);
            return ZT_OK;
        }
    }
    return sendByte(scope.camera, kSystemCategory, kAllowControlOverUsb, value,
                    "REMOTE_SYSTEM_ALLOW_CONTROL_OVER_USB_SET");
}

// Argument: one byte, the automatic-clearing setting.
CommandResult cmdSetCahAutoClear(CommandScope &scope, const CommandArgs &args)
{
    const uint8_t enable = args.argument->getUInt8();
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_SET_CAH_AUTO_CLEAR: %d", enable);
    return sendByte(scope.camera, kSetupCategory, kAutoClearEnableSet, enable,
                    "REMOTE_SETUP_AUTO_CLEAR_ENABLE_SET");
}
