// Shared pieces of the command server's preset command files: request parsing and the little-endian
// words of preset payloads and answers. Stateless; used on the worker thread.
#ifndef ZTCONTROL_IF_SERVER_PRESETS_H
#define ZTCONTROL_IF_SERVER_PRESETS_H

#include <stdint.h>

#include <vector>

#include "MsgElement.h"
#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"
#include "ztcontrol_preset_loader.h"

class ZtcontrolCommandServer;

namespace ztcontrol_presets {

// Parses the argument element into message. False for a missing element or
// bytes that do not parse; required fields are the caller's to check.
bool ParseRequest(const MsgElement *argument, google::protobuf::MessageLite &message);

// The ids of a REMOTE_PRESET_LIST_IDS answer (count byte, then u32 ids),
// copied out of the library's buffer; an answer shorter than its count
// promises gives the ids it holds.
std::vector<uint32_t> IdList(const uint8_t *answer, uint16_t length);

// The camera state the preset captions depend on, read from server.
PresetCaptionContext CaptionContextOf(ZtcontrolCommandServer &server);

}  // namespace ztcontrol_presets

#endif  // ZTCONTROL_IF_SERVER_PRESETS_H
