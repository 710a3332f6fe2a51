// Command server, system commands: power off and sleep, locate, factory reset,
// analytics files, the log level, the retired transcode and remote-API
// commands, and the system flags (contextual menu, external camera control,
// control over USB, automatic clearing, webcam exit). Physical and
// multi-camera buttons are in ztcontrol_if_server_system_button.cpp.
// Worker thread, m_commandMutex held.
#include "utils.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_if_server.h"
#include "ztcontrol_remote_ops.h"

namespace {

ztc_msg_q_context_t *context()
{
    return &ZtcontrolCommandServer::m_cameraContext;
}

// Byte of the status block that holds the control-over-USB state.
constexpr size_t kUsbControlOffset = 256;

// A command that sends one firmware operation, either with the argument's
// byte (or a fixed byte) as payload or without payload.
struct SimpleSystemCommand {
    ztcontrol_command_t command;
    enum { NoArgument, FixedByte, ArgumentByte } payload;
    uint8_t fixedByte;
    const char *entry;  // with one %d for the argument byte when it has one
    uint8_t category;
    uint8_t identifier;
    const char *failure;
};

const SimpleSystemCommand kSimpleCommands[] = {
    {ZTCONTROL_SYSTEM_SHUTDOWN, SimpleSystemCommand::FixedByte, 1,
     "ZTCONTROL_SYSTEM_SHUTDOWN:", kSystemCategory, kShutdown, "REMOTE_SYSTEM_SHUTDOWN error, %d"},
    {ZTCONTROL_SYSTEM_SLEEP, SimpleSystemCommand::FixedByte, 0,
     "ZTCONTROL_SYSTEM_SLEEP:", kSystemCategory, kShutdown, "REMOTE_SYSTEM_SHUTDOWN error, %d"},
    {ZTCONTROL_LOCATE, SimpleSystemCommand::ArgumentByte, 0, "ZTCONTROL_LOCATE: onOff:%d",
     kSystemCategory, kLocateStatusSet, "REMOTE_SYSTEM_CAMERA_LOCATE_STATUS_SET error, %d"},
    {ZTCONTROL_FACTORY_RESET, SimpleSystemCommand::ArgumentByte, 0,
     "ZTCONTROL_FACTORY_RESET: resetType:%d", kSystemCategory, kFactoryReset,
     "REMOTE_SYSTEM_FACTORY_RESET error, %d"},
    {ZTCONTROL_ANALYTICS_CLEAR, SimpleSystemCommand::NoArgument, 0, "ZTCONTROL_ANALYTICS_CLEAR:",
     kSystemCategory, kAnalyticsClear, "REMOTE_SYSTEM_ANALYTICS_CLEAR error, %d"},
    {ZTCONTROL_SET_IN_CONTEXTUAL_MENU, SimpleSystemCommand::ArgumentByte, 0,
     "ZTCONTROL_SET_IN_CONTEXTUAL_MENU: %d", kSystemCategory, kContextualMenuStatusSet,
     "REMOTE_SYSTEM_CONTEXTUAL_MENU_STATUS_SET error, %d"},
    {ZTCONTROL_SET_CAMERA_CONTROL_STATUS, SimpleSystemCommand::ArgumentByte, 0,
     "ZTCONTROL_SET_CAMERA_CONTROL_STATUS: %d", kSystemCategory, kExternalCameraControl,
     "REMOTE_SYSTEM_REQUEST_EXTERNAL_CAMERA_CONTROL error, %d"},
    {ZTCONTROL_SET_CAH_AUTO_CLEAR, SimpleSystemCommand::ArgumentByte, 0,
     "ZTCONTROL_SET_CAH_AUTO_CLEAR: %d", kSetupCategory, kAutoClearEnableSet,
     "REMOTE_SETUP_AUTO_CLEAR_ENABLE_SET error, %d"},
};

// The retired transcode commands: each only logs its line.
struct TranscodeCommand {
    ztcontrol_command_t command;
    const char *line;
    int level;
};

const TranscodeCommand kTranscodeCommands[] = {
    {ZTCONTROL_TRANSCODE_HISTORY, "unsupported ZTCONTROL_TRANSCODE_HISTORY", ZT_LOG_ERROR},
    {ZTCONTROL_TRANSCODE_VIDEO_TO_VIDEO_REQUEST, "unsupported ZTCONTROL_TRANSCODE_VIDEO_REQUEST",
     ZT_LOG_ERROR},
    {ZTCONTROL_TRANSCODE_PHOTO_TO_VIDEO_REQUEST,
     "unsupported ZTCONTROL_TRANSCODE_PHOTO_TO_VIDEO_REQUEST", ZT_LOG_ERROR},
    {ZTCONTROL_TRANSCODE_TO_PHOTO_REQUEST, "unsupported ZTCONTROL_TRANSCODE_TO_PHOTO_REQUEST",
     ZT_LOG_DEBUG},
    {ZTCONTROL_TRANSCODE_STATUS, "ZTCONTROL_TRANSCODE_STATUS", ZT_LOG_DEBUG},
    {ZTCONTROL_TRANSCODE_CANCEL, "ZTCONTROL_TRANSCODE_CANCEL", ZT_LOG_DEBUG},
};

int runSimple(const SimpleSystemCommand &c, const MsgElement *argument, uint8_t &inContextualMenu)
{
    const bool takesArgument = c.payload == SimpleSystemCommand::ArgumentByte;
    if ((argument != nullptr) != takesArgument)
        return invalidParam();
    uint8_t byte = c.fixedByte;
    if (takesArgument) {
        byte = argument->getUInt8();
        ZTLOG(ZT_LOG_DEBUG, c.entry, byte);
    } else {
        ZTLOG(ZT_LOG_DEBUG, "%s", c.entry);
    }
    if (c.command == ZTCONTROL_SET_IN_CONTEXTUAL_MENU)
        inContextualMenu = byte;
    const int rc = c.payload == SimpleSystemCommand::NoArgument
                       ? ztc_send_simple_remote_api(context(), c.category, c.identifier)
                       : ztc_send_remote_api_payload(context(), c.category, c.identifier, &byte, 1);
    if (rc != ZT_OK)
        ZTLOG(ZT_LOG_ERROR, c.failure, rc);
    return rc;
}

// Answers the file name bytes as the firmware gave them (none after a
// failure); the frame's result line follows from the query's result.
int analyticsFileName(ZtcontrolCommandServer &server, Msg &request, const MsgElement *argument,
                      bool &answered)
{
    if (argument)
        return invalidParam();
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_ANALYTICS_FILENAME_GET:");
    uint8_t *answer = nullptr;
    uint16_t answerLength = 0;
    const int rc = ztc_send_remote_api_for_response(context(), kSystemCategory,
                                                    kAnalyticsFileNameGet, &answer, &answerLength);
    if (rc != ZT_OK) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_SYSTEM_ANALYTICS_FILE_NAME_GET error, %d", rc);
        answer = nullptr;
        answerLength = 0;
    }
    server.sendResponse(request, rc, answer, answerLength);
    answered = true;
    return rc;
}

int webcamExit()
{
    uint8_t *answer = nullptr;
    uint16_t answerLength = 0;
    const int rc = ztc_send_remote_api_for_response(context(), kBroadcastCategory, kBroadcastExit,
                                                    &answer, &answerLength);
    if (rc != ZT_OK)
        ZTLOG(ZT_LOG_ERROR, "REMOTE_BROADCAST_EXIT error, %d", rc);
    return rc;
}

// Setting the state the camera already has would make it re-enumerate its
// USB link for nothing, so an equal value is not sent.
int setWiredUsbControl(const MsgElement *argument)
{
    if (!argument)
        return invalidParam();
    const uint8_t value = argument->getUInt8();
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_SET_WIRED_USB_CONTROL: %d", value);
    uint8_t block[CAMERA_STATUS_BLOCK_SIZE];
    int status = ZT_OK;
    uint16_t length = 0;
    const BlockRead read = readRemoteBlock(kSystemCategory, kAllStatusGet, block, sizeof block,
                                           BlockFit::Exact, status, length);
    if (read == BlockRead::Failed) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_SYSTEM_ALL_STATUS_GET error, %d", status);
    } else if (read != BlockRead::Good) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_SYSTEM_ALL_STATUS_GET size does not match expected size");
    } else if (static_cast<int8_t>(block[kUsbControlOffset]) == static_cast<int8_t>(value)) {
        ZTLOG(ZT_LOG_DEBUG, "Double setting wired_usb_control:%d, skipping set", value);
        return ZT_OK;
    }
    const int rc =
        ztc_send_remote_api_payload(context(), kSystemCategory, kAllowControlOverUsb, &value, 1);
    if (rc != ZT_OK)
        ZTLOG(ZT_LOG_ERROR, "REMOTE_SYSTEM_ALLOW_CONTROL_OVER_USB_SET error, %d", rc);
    return rc;
}

}  // namespace

ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::handleSystemCommand(
    Msg &request, ztcontrol_command_t command, const MsgElement *argument)
{
    CommandOutcome outcome;
    for (const SimpleSystemCommand &c : kSimpleCommands) {
        if (c.command == command) {
            outcome.code = runSimple(c, argument, m_inContextualMenu);
            return outcome;
        }
    }
    for (const TranscodeCommand &t : kTranscodeCommands) {
        if (t.command == command) {
            ZTLOG(t.level, "%s", t.line);
            outcome.code = ZT_ERR_NOT_SUPPORTED;
            return outcome;
        }
    }
    switch (command) {
    case ZTCONTROL_ANALYTICS_FILENAME_GET:
        outcome.code = analyticsFileName(*this, request, argument, outcome.answered);
        break;
    case ZTCONTROL_REMOTE_API:
        // Raw firmware operations from clients are no longer forwarded.
        ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_REMOTE_API:");
        outcome.code = ZT_ERR_NOT_SUPPORTED;
        break;
    case ZTCONTROL_SET_LOG_LEVEL: {
        if (!argument) {
            outcome.code = invalidParam();
            break;
        }
        const int level = static_cast<int>(argument->getUInt32());
        ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_SET_LOG_LEVEL: level:%d", level);
        ztUtilSetLogLevel(level);
        break;
    }
    case ZTCONTROL_WEBCAM_REQUEST_EXIT:
        outcome.code = webcamExit();
        break;
    case ZTCONTROL_SET_WIRED_USB_CONTROL:
        outcome.code = setWiredUsbControl(argument);
        break;
    case ZTCONTROL_SYSTEM_BUTTON_SET:
        outcome.code = systemButtonSet(argument);
        break;
    default:
        return notBuiltYet(command);
    }
    return outcome;
}
