// Shared pieces of the command server's preset command files: the firmware's
// preset operation numbers, request parsing and the little-endian words of
// preset payloads and answers. Stateless; used on the worker thread.
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

// Firmware preset operations (category 17).
constexpr uint8_t kPresetCategory = 17;
constexpr uint8_t kPresetListGroups = 0;         // no payload; count, group bytes
constexpr uint8_t kPresetListIds = 1;            // u8 group; count, u32 ids
constexpr uint8_t kPresetGetInfo = 2;            // u32 id; the 81-byte record
constexpr uint8_t kPresetCustomCreate = 3;       // 18 bytes; u32 new id
constexpr uint8_t kPresetCustomRemove = 4;       // u32 id
constexpr uint8_t kPresetSetOrder = 5;           // u32 id, u32 order
constexpr uint8_t kPresetEditStart = 8;          // u32 id
constexpr uint8_t kPresetEditCancel = 9;         // no payload
constexpr uint8_t kPresetEditStore = 10;         // no payload
constexpr uint8_t kPresetActiveSet = 12;         // u32 id
constexpr uint8_t kPresetPredefinedRestore = 13; // u32 id
constexpr uint8_t kPresetUserDataEdit = 15;      // u32 id, four user-data words
constexpr uint8_t kPresetsFlatModeSwitch = 23;   // u8 flat mode

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
