// Command server: the camera clock, tags during recording and in stored
// files, media deletes (one file, a group, the latest, all, a list and its
// result) and the voice-control commands. Date and time bytes, tag words and
// per-file codes belong to the firmware and are passed on unread. Worker
// thread, m_commandMutex held.
#include <string.h>

#include "utils.h"
#include "ztcontrol_bytes.h"
#include "ztErrno.h"
#include "ztcontrol_if_server.h"
#include "ztcontrol_remote_ops.h"

namespace {

ztc_msg_q_context_t *context()
{
    return &ZtcontrolCommandServer::m_cameraContext;
}

// Tag argument: leading word (u32) at 0, file name NUL-terminated within 260
// bytes at 4, offset within the file (u32) at 264.
constexpr size_t kTagNameOffset = 4;
constexpr size_t kTagNameField = 260;
constexpr size_t kTagOffsetOffset = 264;
constexpr size_t kTagArgSize = 268;

constexpr size_t kItemNameField = sizeof(file_list_item_t::name);

int simpleRemote(uint8_t category, uint8_t id, const char *failure)
{
    const int rc = ztc_send_simple_remote_api(context(), category, id);
    if (rc != ZT_OK)
        ZTLOG(ZT_LOG_ERROR, failure, rc);
    return rc;
}

int setDateTime(const MsgElement *argument)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_SET_DATE_TIME:");
    if (!hasBytes(argument, 1))
        return invalidParam();
    const int rc = ztc_send_remote_api_payload(context(), kSetupCategory, kDateTimeSet,
                                               argument->getData(), argument->getLength());
    if (rc != ZT_OK)
        ZTLOG(ZT_LOG_ERROR, "REMOTE_SETUP_DATE_TIME_SET error, %d", rc);
    return rc;
}

// Answers the clock bytes by the NAK-OFF rule; a failed query answers
// without data through the frame. The refusal is answered here, and the
// query itself succeeded, so it leaves no error line.
int getDateTime(ZtcontrolCommandServer &server, Msg &request, bool &answered)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_GET_DATE_TIME:");
    uint8_t *answer = nullptr;
    uint16_t answerLength = 0;
    const int rc = ztc_send_remote_api_for_response(context(), kSetupCategory, kDateTimeGet,
                                                    &answer, &answerLength);
    if (rc != ZT_OK) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_SETUP_DATE_TIME_GET error, %d", rc);
        return rc;
    }
    if (isNakOff(answer, answerLength)) {
        ZTLOG(ZT_LOG_DEBUG, "Camera status returning ZT_ERR_NAK_OFF");
        server.sendResponse(request, ZT_ERR_NAK_OFF, nullptr, 0);
    } else {
        server.sendResponse(request, ZT_OK, answer, answerLength);
    }
    answered = true;
    return ZT_OK;
}

int tagPlayback(const MsgElement *argument)
{
    if (!hasBytes(argument, kTagArgSize))
        return invalidParam();
    const uint8_t *bytes = argument->getData();
    const char *name = reinterpret_cast<const char *>(bytes + kTagNameOffset);
    const size_t nameLength = strnlen(name, kTagNameField);
    const uint32_t offset = readU32(bytes + kTagOffsetOffset);
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_KEYMARK_TAG_PLAYBACK: filename[%.*s] offset:%d", (int)nameLength,
          name, (int)offset);
    const int rc = ztc_storage_tag_file(context(), name, static_cast<uint32_t>(nameLength), offset,
                                        readU32(bytes));
    if (rc != ZT_OK)
        ZTLOG(ZT_LOG_ERROR, "ztc_storage_tag_file error, %d", rc);
    return rc;
}

// One file or its group; the name ends at its NUL or with the element.
int deleteFile(bool group, const MsgElement *argument)
{
    if (!hasBytes(argument, 1))
        return invalidParam();
    const char *name = reinterpret_cast<const char *>(argument->getData());
    const size_t nameLength = strnlen(name, argument->getLength());
    ZTLOG(ZT_LOG_DEBUG,
          group ? "ZTCONTROL_DELETE_GROUP: filename[%.*s]" : "ZTCONTROL_DELETE: filename[%.*s]",
          (int)nameLength, name);
    if (nameLength == 0)
        return invalidParam();
    const int rc =
        group ? ztc_storage_delete_group(context(), name, static_cast<uint32_t>(nameLength))
              : ztc_storage_delete_file(context(), name, static_cast<uint32_t>(nameLength));
    if (rc != ZT_OK)
        ZTLOG(ZT_LOG_ERROR,
              group ? "ztc_storage_delete_group error, %d" : "ztc_storage_delete_file error, %d",
              rc);
    return rc;
}

// Whole 23-byte items only; an incomplete last item is dropped and a count
// of 0 is still passed on.
int deleteList(const MsgElement *argument)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_DELETE_LIST");
    if (!argument)
        return invalidParam();
    const size_t length = argument->getLength();
    ZTLOG(ZT_LOG_DEBUG, "pArgs length = %d", (int)length);
    const uint32_t count = static_cast<uint32_t>(length / sizeof(file_list_item_t));
    ZTLOG(ZT_LOG_DEBUG, "file count is %d", (int)count);
    const file_list_item_t *items = reinterpret_cast<const file_list_item_t *>(argument->getData());
    for (uint32_t i = 0; i < count; ++i)
        ZTLOG(ZT_LOG_DEBUG, "file: %.*s, (%d)", (int)strnlen(items[i].name, kItemNameField),
              items[i].name, items[i].code);
    const int rc = ztc_storage_delete_list(context(), count ? items : nullptr, count);
    if (rc != ZT_OK)
        ZTLOG(ZT_LOG_ERROR, "ztc_storage_delete_list error, %d", rc);
    return rc;
}

// The firmware's answer bytes, whatever their length, with the result.
int deleteListResult(ZtcontrolCommandServer &server, Msg &request)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_GET_DELETE_LIST_RESULT");
    uint8_t *answer = nullptr;
    uint16_t answerLength = 0;
    const int rc = ztc_send_remote_api_for_response(context(), kStorageCategory,
                                                    kListDeleteStatusGet, &answer, &answerLength);
    if (rc != ZT_OK) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_STORAGE_LIST_DELETE_STATUS_GET error, %d", rc);
        answer = nullptr;
        answerLength = 0;
    } else if (answer && answerLength > 0) {
        ZTLOG(ZT_LOG_DEBUG, "DELETE result: %d", answer[0]);
    }
    server.sendResponse(request, rc, answer, answerLength);
    return rc;
}

struct VoiceCommand {
    ztcontrol_command_t command;
    const char *entry;
    uint8_t operation;
    const char *failure;
};

const VoiceCommand kVoiceCommands[] = {
    {ZTCONTROL_VOICE_PHOTO_TAKE, "Voice Photo Take:", 0,
     "REMOTE_VOICE_CONTROL_PHOTO_TAKE error, %d"},
    {ZTCONTROL_VOICE_VIDEO_START, "Voice Video Start:", 1,
     "REMOTE_VOICE_CONTROL_VIDEO_START error, %d"},
    {ZTCONTROL_VOICE_VIDEO_STOP, "Voice Video Stop:", 2,
     "REMOTE_VOICE_CONTROL_VIDEO_STOP error, %d"},
    {ZTCONTROL_VOICE_TIMELAPSE_START, "Voice Timelapse Start:", 3,
     "REMOTE_VOICE_CONTROL_TIMELAPSE_START error, %d"},
    {ZTCONTROL_VOICE_TIMELAPSE_STOP, "Voice Timelapse_Stop:", 4,
     "REMOTE_VOICE_CONTROL_TIMELAPSE_STOP error, %d"},
    {ZTCONTROL_VOICE_BURST_TAKE, "Voice Burst Take:", 5,
     "REMOTE_VOICE_CONTROL_BURST_TAKE error, %d"},
    {ZTCONTROL_VOICE_TAG, "Voice Tag:", 6, "REMOTE_VOICE_CONTROL_TAG error, %d"},
    {ZTCONTROL_VOICE_MODE, "Voice Mode:", 9, "REMOTE_VOICE_CONTROL_MODE_CHANGE error, %d"},
    {ZTCONTROL_VOICE_EDIT_MY_STORY, "Voice Edit My Story:", 10,
     "REMOTE_VOICE_CONTROL_EDIT_MY_STORY error, %d"},
};

int voice(ztcontrol_command_t command, const MsgElement *argument)
{
    if (command == ZTCONTROL_VOICE_DELETE_LAST) {
        ZTLOG(ZT_LOG_DEBUG, "Voice Control Delete Last");
        ZTLOG(ZT_LOG_ERROR, "NOT SUPPORTED %d", (int)command);
        return ZT_ERR_NOT_SUPPORTED;
    }
    for (const VoiceCommand &v : kVoiceCommands) {
        if (v.command != command)
            continue;
        ZTLOG(ZT_LOG_DEBUG, "%s", v.entry);
        int rc;
        if (command == ZTCONTROL_VOICE_MODE) {
            if (!hasBytes(argument, 1))
                return invalidParam();
            const uint8_t mode = argument->getUInt8();
            rc = ztc_send_remote_api_payload(context(), kVoiceCategory, v.operation, &mode, 1);
        } else {
            rc = ztc_send_simple_remote_api(context(), kVoiceCategory, v.operation);
        }
        if (rc != ZT_OK)
            ZTLOG(ZT_LOG_ERROR, v.failure, rc);
        return rc;
    }
    return ZT_ERR_NOT_SUPPORTED;
}

}  // namespace

ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::handleMediaCommand(
    Msg &request, ztcontrol_command_t command, const MsgElement *argument)
{
    CommandOutcome outcome;
    // Every command of this area but these takes no argument element.
    const bool takesArgument = command == ZTCONTROL_SET_DATE_TIME ||
                               command == ZTCONTROL_KEYMARK_TAG_PLAYBACK ||
                               command == ZTCONTROL_DELETE || command == ZTCONTROL_DELETE_GROUP ||
                               command == ZTCONTROL_DELETE_LIST || command == ZTCONTROL_VOICE_MODE;
    if (argument && !takesArgument) {
        outcome.code = invalidParam();
        return outcome;
    }

    switch (command) {
    case ZTCONTROL_SET_DATE_TIME:
        outcome.code = setDateTime(argument);
        break;
    case ZTCONTROL_GET_DATE_TIME:
        outcome.code = getDateTime(*this, request, outcome.answered);
        break;
    case ZTCONTROL_KEYMARK_TAG_RECORDING:
        ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_KEYMARK_TAG_RECORDING:");
        outcome.code =
            simpleRemote(kStorageCategory, kKeymarkTag, "REMOTE_STORAGE_KEYMARK_TAG error, %d");
        break;
    case ZTCONTROL_KEYMARK_TAG_PLAYBACK:
        outcome.code = tagPlayback(argument);
        break;
    case ZTCONTROL_DELETE:
    case ZTCONTROL_DELETE_GROUP:
        outcome.code = deleteFile(command == ZTCONTROL_DELETE_GROUP, argument);
        break;
    case ZTCONTROL_DELETE_LAST:
        ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_DELETE_LAST:");
        outcome.code = simpleRemote(kStorageCategory, kLatestFileDelete,
                                    "REMOTE_STORAGE_LATEST_FILE_DELETE error, %d");
        break;
    case ZTCONTROL_DELETE_ALL:
        ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_DELETE_ALL:");
        outcome.code =
            simpleRemote(kStorageCategory, kAllDelete, "REMOTE_STORAGE_ALL_DELETE error, %d");
        break;
    case ZTCONTROL_DELETE_LIST:
        outcome.code = deleteList(argument);
        break;
    case ZTCONTROL_GET_DELETE_LIST_RESULT:
        outcome.code = deleteListResult(*this, request);
        outcome.answered = true;
        break;
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
        outcome.code = voice(command, argument);
        break;
    default:
        return notBuiltYet(command);
    }
    return outcome;
}
