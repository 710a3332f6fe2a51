// The camera clock, tags during recording and in stored files, media
// deletes (one file, a group, the latest, all, a list and its result) and
// the voice-control commands. Date and time bytes, tag words and per-file
// codes belong to the firmware and are passed on unread. Commands without an
// argument refuse one that is sent. Worker thread, m_commandMutex held.
#include <stddef.h>
#include <string.h>

#include "CommandHandler.h"
#include "utils.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_layouts.h"
#include "ztcontrol_remote_ops.h"

namespace {

// ZTCONTROL_DELETE_LIST items are handed to the library as its own records.
static_assert(sizeof(file_list_item_t) == kZtDeleteItemSize &&
                  offsetof(file_list_item_t, code) == kZtDeleteItemCodeOffset &&
                  offsetof(file_list_item_t, name) == kZtDeleteItemNameOffset &&
                  sizeof(file_list_item_t::name) == kZtDeleteItemNameField,
              "a delete-list item is one library file record");

// Voice-control operations (category kVoiceCategory).
constexpr uint8_t kVoicePhotoTake = 0;       // REMOTE_VOICE_CONTROL_PHOTO_TAKE
constexpr uint8_t kVoiceVideoStart = 1;      // REMOTE_VOICE_CONTROL_VIDEO_START
constexpr uint8_t kVoiceVideoStop = 2;       // REMOTE_VOICE_CONTROL_VIDEO_STOP
constexpr uint8_t kVoiceTimelapseStart = 3;  // REMOTE_VOICE_CONTROL_TIMELAPSE_START
constexpr uint8_t kVoiceTimelapseStop = 4;   // REMOTE_VOICE_CONTROL_TIMELAPSE_STOP
constexpr uint8_t kVoiceBurstTake = 5;       // REMOTE_VOICE_CONTROL_BURST_TAKE
constexpr uint8_t kVoiceTag = 6;             // REMOTE_VOICE_CONTROL_TAG
constexpr uint8_t kVoiceModeChange = 9;      // REMOTE_VOICE_CONTROL_MODE_CHANGE: u8 mode
constexpr uint8_t kVoiceEditMyStory = 10;    // REMOTE_VOICE_CONTROL_EDIT_MY_STORY

// A firmware operation without payload, for a command without argument.
// entry is the command's DEBUG line, what names the operation in its error
// line.
CommandResult sendSimple(CommandScope &scope, const char *entry, uint8_t category, uint8_t id,
                         const char *what)
{
    ZTLOG(ZT_LOG_DEBUG, "%s", entry);
    return ZT_LOGGED(ztc_send_simple_remote_api(&scope.camera, category, id), what);
}

using DeleteCall = int (*)(ztc_msg_q_context_t *, const char *, uint32_t);

// One file or its group. Argument: the name, ending at its NUL or with the
// element (at least one byte, by the table). An empty name goes to the
// firmware like any other (length 0); what it answers is the answer.
CommandResult deleteNamed(CommandScope &scope, const CommandArgs &args, const char *entryFormat,
                          DeleteCall call, const char *what)
{
    const char *name = reinterpret_cast<const char *>(args.argument->getData());
    const size_t nameLength = strnlen(name, args.argument->getLength());
    ZTLOG(ZT_LOG_DEBUG, entryFormat, (int)nameLength, name);
    return ZT_LOGGED(call(&scope.camera, name, static_cast<uint32_t>(nameLength)), what);
}

}  // namespace

// Argument: the firmware's date and time bytes (at least one, by the table).
CommandResult cmdSetDateTime(CommandScope &scope, const CommandArgs &args)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_SET_DATE_TIME:");
    return ZT_LOGGED(
        ztc_send_remote_api_payload(&scope.camera, kSetupCategory, kDateTimeSet,
                                    args.argument->getData(), args.argument->getLength()),
        "REMOTE_SETUP_DATE_TIME_SET");
}

// Answers the clock bytes. A camera going off answers ZT_ERR_NAK_OFF without
// data; the query itself went through, so that leaves no error line.
CommandResult cmdGetDateTime(CommandScope &scope, const CommandArgs &)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_GET_DATE_TIME:");
    const RemoteAnswer clock =
        ZT_QUERY(scope.camera, kSetupCategory, kDateTimeGet, "REMOTE_SETUP_DATE_TIME_GET");
    if (clock.rc != ZT_OK)
        return clock.rc;
    if (isNakOff(clock.data, clock.length)) {
        ZTLOG(ZT_LOG_DEBUG, "Camera status returning ZT_ERR_NAK_OFF");
        return CommandResult(ZT_ERR_NAK_OFF).quiet();
    }
    return CommandResult::withData(ZT_OK, clock.data, clock.length);
}

CommandResult cmdKeymarkTagRecording(CommandScope &scope, const CommandArgs &)
{
    return sendSimple(scope, "ZTCONTROL_KEYMARK_TAG_RECORDING:", kStorageCategory, kKeymarkTag,
                      "REMOTE_STORAGE_KEYMARK_TAG");
}

// Argument: kZtTagArgSize bytes (by the table).
CommandResult cmdKeymarkTagPlayback(CommandScope &scope, const CommandArgs &args)
{
    const uint8_t *bytes = args.argument->getData();
    const char *name = reinterpret_cast<const char *>(bytes + kZtTagArgNameOffset);
    const size_t nameLength = strnlen(name, kZtTagArgNameField);
    const uint32_t offset = readU32(bytes, kZtTagArgOffsetOffset);
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_KEYMARK_TAG_PLAYBACK: filename[%.*s] offset:%d", (int)nameLength,
          name, (int)offset);
    return ZT_LOGGED(ztc_storage_tag_file(&scope.camera, name, static_cast<uint32_t>(nameLength),
                                          offset, readU32(bytes, kZtTagArgWordOffset)),
                     "ztc_storage_tag_file");
}

CommandResult cmdDelete(CommandScope &scope, const CommandArgs &args)
{
    return deleteNamed(scope, args, "ZTCONTROL_DELETE: filename[%.*s]", ztc_storage_delete_file,
                       "ztc_storage_delete_file");
}

CommandResult cmdDeleteGroup(CommandScope &scope, const CommandArgs &args)
{
    return deleteNamed(scope, args, "ZTCONTROL_DELETE_GROUP: filename[%.*s]",
                       ztc_storage_delete_group, "ztc_storage_delete_group");
}

CommandResult cmdDeleteLast(CommandScope &scope, const CommandArgs &)
{
    return sendSimple(scope, "ZTCONTROL_DELETE_LAST:", kStorageCategory, kLatestFileDelete,
                      "REMOTE_STORAGE_LATEST_FILE_DELETE");
}

CommandResult cmdDeleteAll(CommandScope &scope, const CommandArgs &)
{
    return sendSimple(scope, "ZTCONTROL_DELETE_ALL:", kStorageCategory, kAllDelete,
                      "REMOTE_STORAGE_ALL_DELETE");
}

// Argument: delete-list items (file_list_item_t records), possibly none.
// Whole items only; an incomplete last item is dropped and a count of 0 is
// still passed on, the firmware reporting the outcome through
// ZTCONTROL_GET_DELETE_LIST_RESULT.
CommandResult cmdDeleteList(CommandScope &scope, const CommandArgs &args)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_DELETE_LIST");
    const size_t length = args.argument->getLength();
    ZTLOG(ZT_LOG_DEBUG, "pArgs length = %d", (int)length);
    const uint32_t count = static_cast<uint32_t>(length / kZtDeleteItemSize);
    ZTLOG(ZT_LOG_DEBUG, "file count is %d", (int)count);
    const file_list_item_t *items =
        reinterpret_cast<const file_list_item_t *>(args.argument->getData());
    for (uint32_t i = 0; i < count; ++i)
        ZTLOG(ZT_LOG_DEBUG, "file: %.*s, (%d)", (int)strnlen(items[i].name, kZtDeleteItemNameField),
              items[i].name, items[i].code);
    return ZT_LOGGED(ztc_storage_delete_list(&scope.camera, count ? items : nullptr, count),
                     "ztc_storage_delete_list");
}

// Answers the firmware's status bytes, whatever their length, with the
// query's result; a failed query answers without data.
CommandResult cmdGetDeleteListResult(CommandScope &scope, const CommandArgs &)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_GET_DELETE_LIST_RESULT");
    const RemoteAnswer status = ZT_QUERY(scope.camera, kStorageCategory, kListDeleteStatusGet,
                                         "REMOTE_STORAGE_LIST_DELETE_STATUS_GET");
    if (status.rc != ZT_OK)
        return status.rc;
    if (status.data && status.length > 0)
        ZTLOG(ZT_LOG_DEBUG, "DELETE result: %d", status.data[0]);
    return CommandResult::withData(ZT_OK, status.data, status.length);
}

CommandResult cmdVoicePhotoTake(CommandScope &scope, const CommandArgs &)
{
    return sendSimple(scope, "Voice Photo Take:", kVoiceCategory, kVoicePhotoTake,
                      "REMOTE_VOICE_CONTROL_PHOTO_TAKE");
}

CommandResult cmdVoiceVideoStart(CommandScope &scope, const CommandArgs &)
{
    return sendSimple(scope, "Voice Video Start:", kVoiceCategory, kVoiceVideoStart,
                      "REMOTE_VOICE_CONTROL_VIDEO_START");
}

CommandResult cmdVoiceVideoStop(CommandScope &scope, const CommandArgs &)
{
    return sendSimple(scope, "Voice Video Stop:", kVoiceCategory, kVoiceVideoStop,
                      "REMOTE_VOICE_CONTROL_VIDEO_STOP");
}

CommandResult cmdVoiceTimelapseStart(CommandScope &scope, const CommandArgs &)
{
    return sendSimple(scope, "Voice Timelapse Start:", kVoiceCategory, kVoiceTimelapseStart,
                      "REMOTE_VOICE_CONTROL_TIMELAPSE_START");
}

CommandResult cmdVoiceTimelapseStop(CommandScope &scope, const CommandArgs &)
{
    return sendSimple(scope, "Voice Timelapse_Stop:", kVoiceCategory, kVoiceTimelapseStop,
                      "REMOTE_VOICE_CONTROL_TIMELAPSE_STOP");
}

CommandResult cmdVoiceBurstTake(CommandScope &scope, const CommandArgs &)
{
    return sendSimple(scope, "Voice Burst Take:", kVoiceCategory, kVoiceBurstTake,
                      "REMOTE_VOICE_CONTROL_BURST_TAKE");
}

CommandResult cmdVoiceTag(CommandScope &scope, const CommandArgs &)
{
    return sendSimple(scope, "Voice Tag:", kVoiceCategory, kVoiceTag, "REMOTE_VOICE_CONTROL_TAG");
}

CommandResult cmdVoiceEditMyStory(CommandScope &scope, const CommandArgs &)
{
    return sendSimple(scope, "Voice Edit My Story:", kVoiceCategory, kVoiceEditMyStory,
                      "REMOTE_VOICE_CONTROL_EDIT_MY_STORY");
}

// Argument: the voice mode (u8; at least one byte, by the table).
CommandResult cmdVoiceMode(CommandScope &scope, const CommandArgs &args)
{
    ZTLOG(ZT_LOG_DEBUG, "Voice Mode:");
    const uint8_t mode = args.argument->getUInt8();
    return ZT_LOGGED(ztc_send_remote_api_payload(&scope.camera, kVoiceCategory, kVoiceModeChange,
                                                 &mode, sizeof(mode)),
                     "REMOTE_VOICE_CONTROL_MODE_CHANGE");
}

// Voice delete is not offered: refused as unsupported.
CommandResult cmdVoiceDeleteLast(CommandScope &, const CommandArgs &args)
{
    ZTLOG(ZT_LOG_DEBUG, "Voice Control Delete Last");
    ZTLOG(ZT_LOG_ERROR, "NOT SUPPORTED %d", (int)args.command);
    return ZT_ERR_NOT_SUPPORTED;
}
