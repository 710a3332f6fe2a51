// The firmware operations the command server sends through the camera
// control library, named once: a category and an identifier within it (the
// REMOTE_... name beside each is the one the firmware and the logs use). Also
// the refusal a camera going off gives, and the read of one firmware block.
// Constants and stateless helpers; readRemoteBlock is for the thread that
// owns the library context it is given.
#ifndef ZTCONTROL_REMOTE_OPS_H
#define ZTCONTROL_REMOTE_OPS_H

#include <stddef.h>
#include <stdint.h>

#include "ztCtrlD.h"

// Categories.
constexpr uint8_t kVideoCategory = 2;
constexpr uint8_t kPhotoCategory = 3;
constexpr uint8_t kMultiShotCategory = 4;
constexpr uint8_t kBroadcastCategory = 5;
constexpr uint8_t kWirelessCategory = 6;
constexpr uint8_t kSetupCategory = 7;
constexpr uint8_t kSystemCategory = 8;
constexpr uint8_t kStorageCategory = 9;
constexpr uint8_t kStreamCategory = 10;
constexpr uint8_t kLiveviewCategory = 13;
constexpr uint8_t kVoiceCategory = 15;
constexpr uint8_t kPresetCategory = 17;

// Video.
constexpr uint8_t kVideoAdvsetReset = 26;   // REMOTE_VIDEO_ADVSET_RESET
constexpr uint8_t kPrerollDeactivate = 90;  // REMOTE_VIDEO_PREROLL_DEACTIVATE
constexpr uint8_t kHorizonSupportGet = 91;  // REMOTE_VIDEO_HORIZON_CONTROL_SUPPORT_GET
// Photo and multi-shot.
constexpr uint8_t kPhotoAdvsetReset = 22;      // REMOTE_PHOTO_ADVSET_RESET
constexpr uint8_t kMultiShotAdvsetReset = 26;  // REMOTE_MULTI_SHOT_ADVSET_RESET
// Broadcast.
constexpr uint8_t kBroadcastExit = 28;  // REMOTE_BROADCAST_EXIT
// Wireless.
constexpr uint8_t kWirelessBandSet = 19;  // REMOTE_WIRELESS_BAND_SET
// Setup.
constexpr uint8_t kDefaultAppModeGet = 10;   // REMOTE_SETUP_DEFAULT_APP_MODE_GET
constexpr uint8_t kDateTimeGet = 26;         // REMOTE_SETUP_DATE_TIME_GET
constexpr uint8_t kDateTimeSet = 27;         // REMOTE_SETUP_DATE_TIME_SET
constexpr uint8_t kAllSettingsGet = 30;      // REMOTE_SETUP_ALL_SETTINGS_GET
constexpr uint8_t kAutoClearEnableSet = 76;  // REMOTE_SETUP_AUTO_CLEAR_ENABLE_SET
// System.
constexpr uint8_t kShutdown = 2;                  // REMOTE_SYSTEM_SHUTDOWN
constexpr uint8_t kFactoryReset = 4;              // REMOTE_SYSTEM_FACTORY_RESET
constexpr uint8_t kBusyStatusGet = 6;             // REMOTE_SYSTEM_BUSY_STATUS_GET
constexpr uint8_t kAllStatusGet = 11;             // REMOTE_SYSTEM_ALL_STATUS_GET
constexpr uint8_t kLocateStatusSet = 13;          // REMOTE_SYSTEM_CAMERA_LOCATE_STATUS_SET
constexpr uint8_t kAnalyticsClear = 20;           // REMOTE_SYSTEM_ANALYTICS_CLEAR
constexpr uint8_t kAnalyticsFileNameGet = 21;     // REMOTE_SYSTEM_ANALYTICS_FILE_NAME_GET
constexpr uint8_t kContextualMenuStatusSet = 30;  // REMOTE_SYSTEM_CONTEXTUAL_MENU_STATUS_SET
constexpr uint8_t kGeocalGet = 34;                // REMOTE_SYSTEM_GEOCAL_GET
constexpr uint8_t kCalFileNameGet = 35;           // REMOTE_SYSTEM_CAL_FILE_NAME_GET
constexpr uint8_t kExternalCameraControl = 40;    // REMOTE_SYSTEM_REQUEST_EXTERNAL_CAMERA_CONTROL
constexpr uint8_t kAllowControlOverUsb = 44;      // REMOTE_SYSTEM_ALLOW_CONTROL_OVER_USB_SET
constexpr uint8_t kQuickCaptureStart = 45;        // REMOTE_QUICK_CAPTURE_START
// Storage.
constexpr uint8_t kLatestFileDelete = 9;      // REMOTE_STORAGE_LATEST_FILE_DELETE
constexpr uint8_t kAllDelete = 10;            // REMOTE_STORAGE_ALL_DELETE
constexpr uint8_t kKeymarkTag = 12;           // REMOTE_STORAGE_KEYMARK_TAG
constexpr uint8_t kListDeleteStatusGet = 23;  // REMOTE_STORAGE_LIST_DELETE_STATUS_GET
// Stream and live view.
constexpr uint8_t kStreamOrientationGet = 14;  // REMOTE_STREAM_ORIENTATION_GET
constexpr uint8_t kExposureSelectSet = 0;      // REMOTE_LIVEVIEW_EXPOSURE_SELECT_SET
constexpr uint8_t kExposureSelectReset = 2;    // REMOTE_LIVEVIEW_EXPOSURE_SELECT_RESET
// Voice control: the identifiers stand beside the voice handlers in
// handlers_media.cpp.
// Presets.
constexpr uint8_t kPresetListGroups =
    0;                                 // REMOTE_PRESET_LIST_GROUPS: no payload; count, group bytes
constexpr uint8_t kPresetListIds = 1;  // REMOTE_PRESET_LIST_IDS: u8 group; count, u32 ids
constexpr uint8_t kPresetGetInfo = 2;  // REMOTE_PRESET_GET_INFO: u32 id; the 81-byte record
constexpr uint8_t kPresetCustomCreate = 3;  // REMOTE_PRESET_CUSTOM_CREATE: 18 bytes; u32 new id
constexpr uint8_t kPresetCustomRemove = 4;  // REMOTE_PRESET_CUSTOM_REMOVE: u32 id
constexpr uint8_t kPresetSetOrder = 5;      // REMOTE_PRESET_SET_ORDER: u32 id, u32 order
constexpr uint8_t kPresetEditStart = 8;     // REMOTE_PRESET_EDIT_START: u32 id
constexpr uint8_t kPresetEditCancel = 9;    // REMOTE_PRESET_EDIT_CANCEL: no payload
constexpr uint8_t kPresetEditStore = 10;    // REMOTE_PRESET_EDIT_STORE: no payload
constexpr uint8_t kPresetActiveSet = 12;    // REMOTE_PRESET_ACTIVE_SET: u32 id
constexpr uint8_t kPresetPredefinedRestore = 13;  // REMOTE_PRESET_PREDEFINED_RESTORE: u32 id
constexpr uint8_t kPresetUserDataEdit = 15;     // REMOTE_PRESET_USER_DATA_EDIT: u32 id, four words
constexpr uint8_t kPresetsFlatModeSwitch = 23;  // REMOTE_PRESETS_FLAT_MODE_SWITCH: u8 flat mode
constexpr uint8_t kPowerOnDefaultGet = 25;      // REMOTE_PRESETS_POWER_ON_DEFAULT_PRESETS_GET

// The one-byte answer of a camera that is going off (NAK-OFF): the query
// itself went through, the camera refused it.
constexpr uint8_t kNakOffByte = 2;

inline bool isNakOff(const uint8_t *answer, uint16_t length)
{
    return answer != nullptr && length == 1 && answer[0] == kNakOffByte;
}

enum class BlockRead { Failed, Refused, Good, WrongSize };

// How readRemoteBlock takes an answer that is not exactly the block's size.
enum class BlockFit {
    Exact,   // WrongSize, nothing copied
    Partial  // Good: what fits is copied, the rest of dest stays as it was
};

// Sends one query and copies its answer to dest (size bytes) at once, the
// library owning the answer only until its next call. status is the
// library's result, length the answer's length. Failed: status is not
// ZT_OK; Refused: the NAK-OFF answer.
BlockRead readRemoteBlock(ztc_msg_q_context_t &camera, uint8_t category, uint8_t identifier,
                          uint8_t *dest, size_t size, BlockFit fit, int &status, uint16_t &length);

// What a firmware query without payload answered: the result, and on success
// the answer bytes, which stay the library's until its next call.
struct RemoteAnswer {
    int rc;
    uint8_t *data;
    uint16_t length;
};

// Sends the query; a failure leaves the "<what> error, <rc>" line with the
// caller's file and line.
#define ZT_QUERY(camera, category, identifier, what) \
    queryRemote((camera), (category), (identifier), (what), __LINE__, ZT_FILE_BASENAME)
RemoteAnswer queryRemote(ztc_msg_q_context_t &camera, uint8_t category, uint8_t identifier,
                         const char *what, int line, const char *file);

#endif  // ZTCONTROL_REMOTE_OPS_H
