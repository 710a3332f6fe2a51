// What the preset command handlers share: one firmware preset operation,
// one preset's record, the full preset list with its stash, the parsing of
// a request message and the answer that carries a serialised message.
// Worker thread, m_commandMutex held (the library's answer buffer and the
// stash are the worker's).
#ifndef ZTCONTROL_PRESET_LIST_H
#define ZTCONTROL_PRESET_LIST_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "CommandHandler.h"
#include "MsgElement.h"
#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"
#include "ztCtrlD.h"
#include "ztcontrol_preset_loader.h"

class CameraState;

// Clients number preset groups from 1000; the firmware from 0.
constexpr uint32_t kPresetGroupIdBase = 1000;
// A REMOTE_PRESET_LIST_IDS answer: a count byte, then that many u32 ids.
constexpr size_t kPresetIdListCountOffset = 0;
constexpr size_t kPresetIdListFirstIdOffset = 1;
constexpr size_t kPresetIdSize = 4;

// One preset operation of category 17, with the payload when there is one
// (payload null: none). The answer (null and 0 when none) is the library's,
// valid until its next call; the library's status.
int presetRequest(ztc_msg_q_context_t &camera, uint8_t op, const void *payload,
                  uint16_t payloadLength, uint8_t *&answer, uint16_t &answerLength);

// One preset's record by REMOTE_PRESET_GET_INFO; 0, the operation's code, or
// ZT_ERR for an answer that is not one record. Failures are logged.
int presetFetchRecord(ztc_msg_q_context_t &camera, uint32_t id, appc_presets_settings_info &record);

// Rebuilds list with every group the camera offers now and its presets;
// groupCount gets the number of groups the firmware reported. 0, or the
// status of the failure that spoils the whole list; clears the state's
// m_presetsStale on 0.
int GetPresetListInfo(ztc_msg_q_context_t &camera, CameraState &state,
                      wsdk_commands::WSDK_NotifyPresetStatus *list, unsigned int &groupCount);

// The process-wide preset list ZTCONTROL_PRESET_GET_PRESETS answers, rebuilt
// only while the camera state marks it stale.
wsdk_commands::WSDK_NotifyPresetStatus &presetStash();

// Parses the argument element into message. False for a missing element or
// bytes that do not parse; required fields are the caller's to check.
bool parsePresetRequest(const MsgElement *argument, google::protobuf::MessageLite &message);

// The ids of a REMOTE_PRESET_LIST_IDS answer, copied out of the library's
// buffer; an answer shorter than its count promises gives the ids it holds.
std::vector<uint32_t> presetIdList(const uint8_t *answer, uint16_t length);

// The camera state the preset captions depend on.
PresetCaptionContext presetCaptionContext(CameraState &state);

// code with the serialised message as its payload. A message that cannot be
// serialised or does not fit one answer (kZtMaxAnswerPayload) gives a plain ZT_ERR instead (an
// answer's length travels as 16 bits and a cut message would not parse), so
// the requester still gets its one answer and the daemon goes on.
CommandResult answerPresetMessage(int code, const google::protobuf::MessageLite &message);

#endif  // ZTCONTROL_PRESET_LIST_H
