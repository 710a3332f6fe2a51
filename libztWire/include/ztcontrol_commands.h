// The request vocabulary shared by the daemon, its clients and the tests: the
// command table, the message categories and the element types of the messages
// on "/to_ztCtlD". Constants and tables fixed at compile time; any thread.
//
// ZTCONTROL_COMMAND_TABLE is the one place where a command's value, name,
// handler, argument rule and flags are written. Everything else (the
// enumeration, the name table, the rule table, the daemon's dispatch) is
// expanded from it. Columns:
//   value    the 32-bit command value carried in element 'A'
//   name     the enumerator, also the name the logs print
//   handler  the daemon function that carries the command out (the daemon
//            declares and calls it; clients ignore the column)
//   rule     what the argument element 'B' must hold before the handler runs:
//              ZT_ARG_NONE      no argument may be sent (not even an empty one)
//              ZT_ARG_OPTIONAL  any or none; the handler decides
//              ZT_ARG_AT_LEAST  an argument of at least `length` bytes (0: present,
//                               possibly empty)
//              ZT_ARG_EXACTLY   an argument of exactly `length` bytes
//            A request that breaks its rule is answered ZT_ERR_INVALID_PARAM.
//   length   the byte count of the rule (0 for NONE and OPTIONAL); a layout
//            size from ztcontrol_layouts.h where the argument has one
//   flags    ZT_CMD_RETIRED: answered ZT_ERR_NOT_SUPPORTED, no handler;
//            ZT_CMD_QUIET: a failure leaves no result line in the log;
//            ZT_CMD_STOP: the stop command of the worker loop, answered 0
//            before dispatch.
#ifndef ZTCONTROL_COMMANDS_H
#define ZTCONTROL_COMMANDS_H

#include <stddef.h>
#include <stdint.h>

#include "ztTlv.h"              // generic element types (TLV_CMD ... TLV_END)
#include "ztcontrol_layouts.h"  // argument sizes of the rules

enum ztcontrol_arg_rule_t : uint8_t {
    ZT_ARG_NONE,
    ZT_ARG_OPTIONAL,
    ZT_ARG_AT_LEAST,
    ZT_ARG_EXACTLY,
};

enum : uint8_t {
    ZT_CMD_RETIRED = 1 << 0,
    ZT_CMD_QUIET = 1 << 1,
    ZT_CMD_STOP = 1 << 2,
};

// clang-format off
#define ZTCONTROL_COMMAND_TABLE(X) \
    X(  0, ZTCONTROL_EVENT_REGISTER_MQUEUE, cmdEventRegisterMqueue, ZT_ARG_AT_LEAST, kZtRegisterArgMinSize, 0) \
    X(  1, ZTCONTROL_EVENT_FILTER_IN, cmdNone, ZT_ARG_OPTIONAL, 0, ZT_CMD_RETIRED) \
    X(  2, ZTCONTROL_FILTER_OUT, cmdNone, ZT_ARG_OPTIONAL, 0, ZT_CMD_RETIRED) \
    X(  3, ZTCONTROL_COMMAND_SHUTTER, cmdShutter, ZT_ARG_AT_LEAST, 0, 0) \
    X(  4, ZTCONTROL_MODE, cmdMode, ZT_ARG_AT_LEAST, 0, 0) \
    X(  5, ZTCONTROL_MODE_SUB_MODE, cmdModeSubMode, ZT_ARG_AT_LEAST, kZtModeSubModeArgSize, 0) \
    X(  6, ZTCONTROL_SET_DATE_TIME, cmdSetDateTime, ZT_ARG_AT_LEAST, 1, 0) \
    X(  7, ZTCONTROL_KEYMARK_TAG_RECORDING, cmdKeymarkTagRecording, ZT_ARG_NONE, 0, 0) \
    X(  8, ZTCONTROL_KEYMARK_TAG_PLAYBACK, cmdKeymarkTagPlayback, ZT_ARG_AT_LEAST, kZtTagArgSize, 0) \
    X(  9, ZTCONTROL_DELETE, cmdDelete, ZT_ARG_AT_LEAST, 1, 0) \
    X( 10, ZTCONTROL_DELETE_LAST, cmdDeleteLast, ZT_ARG_NONE, 0, 0) \
    X( 11, ZTCONTROL_DELETE_GROUP, cmdDeleteGroup, ZT_ARG_AT_LEAST, 1, 0) \
    X( 12, ZTCONTROL_DELETE_ALL, cmdDeleteAll, ZT_ARG_NONE, 0, 0) \
    X( 13, ZTCONTROL_FW_UPDATE_START, cmdFwUpdateStart, ZT_ARG_NONE, 0, 0) \
    X( 14, ZTCONTROL_FW_UPDATE_CANCEL, cmdFwUpdateCancel, ZT_ARG_NONE, 0, 0) \
    X( 15, ZTCONTROL_FW_UPDATE_DONE, cmdFwUpdateDone, ZT_ARG_AT_LEAST, 1, 0) \
    X( 16, ZTCONTROL_WIFI_AP_CONTROL, cmdWifiApControl, ZT_ARG_AT_LEAST, 1, 0) \
    X( 17, ZTCONTROL_WIFI_AP_SSID_CONFIG, cmdWifiApSsidConfig, ZT_ARG_AT_LEAST, kZtNetworkArgSize, 0) \
    X( 18, ZTCONTROL_WIFI_BAND_SELECT, cmdWifiBandSelect, ZT_ARG_AT_LEAST, 1, 0) \
    X( 19, ZTCONTROL_WIFI_SSID_SCAN, cmdWifiSsidScan, ZT_ARG_OPTIONAL, 0, 0) \
    X( 20, ZTCONTROL_WIFI_SSID_LIST, cmdWifiSsidList, ZT_ARG_OPTIONAL, 0, 0) \
    X( 21, ZTCONTROL_WIFI_SSID_SAVE, cmdWifiSsidSave, ZT_ARG_AT_LEAST, kZtNetworkArgTextsSize, 0) \
    X( 22, ZTCONTROL_WIFI_SSID_SELECT, cmdWifiSsidSelect, ZT_ARG_AT_LEAST, kZtNetworkArgThroughAuthSize, 0) \
    X( 23, ZTCONTROL_WIFI_SSID_DELETE, cmdWifiSsidDelete, ZT_ARG_AT_LEAST, 1, 0) \
    X( 24, ZTCONTROL_WIFI_SSID_DELETE_ALL, cmdWifiSsidDeleteAll, ZT_ARG_NONE, 0, 0) \
    X( 25, ZTCONTROL_RC_PAIR, cmdRcPair, ZT_ARG_NONE, 0, 0) \
    X( 26, ZTCONTROL_RC_PAIR_CANCEL, cmdRcPairCancel, ZT_ARG_NONE, 0, 0) \
    X( 27, ZTCONTROL_VIDEO_ADVSET_RESET, cmdVideoAdvsetReset, ZT_ARG_NONE, 0, 0) \
    X( 28, ZTCONTROL_PHOTO_ADVSET_RESET, cmdPhotoAdvsetReset, ZT_ARG_NONE, 0, 0) \
    X( 29, ZTCONTROL_MULTI_ADVSET_RESET, cmdMultiAdvsetReset, ZT_ARG_NONE, 0, 0) \
    X( 30, ZTCONTROL_SET_SETTING_ID, cmdSetSettingId, ZT_ARG_OPTIONAL, 0, 0) \
    X( 31, ZTCONTROL_GET_SETTING_ID, cmdGetSettingId, ZT_ARG_OPTIONAL, 0, 0) \
    X( 32, ZTCONTROL_GET_ALL_SETTINGS, cmdGetAllSettings, ZT_ARG_NONE, 0, 0) \
    X( 33, ZTCONTROL_GET_ALL_STATUS, cmdGetAllStatus, ZT_ARG_NONE, 0, 0) \
    X( 34, ZTCONTROL_GET_ALL_SETTINGS_STATUS, cmdGetAllSettingsStatus, ZT_ARG_NONE, 0, 0) \
    X( 35, ZTCONTROL_SYSTEM_SHUTDOWN, cmdSystemShutdown, ZT_ARG_NONE, 0, 0) \
    X( 36, ZTCONTROL_SYSTEM_SLEEP, cmdSystemSleep, ZT_ARG_NONE, 0, 0) \
    X( 37, ZTCONTROL_LOCATE, cmdLocate, ZT_ARG_AT_LEAST, 0, 0) \
    X( 38, ZTCONTROL_FACTORY_RESET, cmdFactoryReset, ZT_ARG_AT_LEAST, 0, 0) \
    X( 39, ZTCONTROL_ANALYTICS_FILENAME_GET, cmdAnalyticsFilenameGet, ZT_ARG_NONE, 0, 0) \
    X( 40, ZTCONTROL_ANALYTICS_CLEAR, cmdAnalyticsClear, ZT_ARG_NONE, 0, 0) \
    X( 41, ZTCONTROL_REMOTE_API, cmdRemoteApi, ZT_ARG_OPTIONAL, 0, 0) \
    X( 42, ZTCONTROL_SET_LOG_LEVEL, cmdSetLogLevel, ZT_ARG_AT_LEAST, 0, 0) \
    X( 43, ZTCONTROL_PUSH_NOTIFICATIONS, cmdPushNotifications, ZT_ARG_AT_LEAST, 1, 0) \
    X( 44, ZTCONTROL_TRANSCODE_HISTORY, cmdTranscodeHistory, ZT_ARG_OPTIONAL, 0, 0) \
    X( 45, ZTCONTROL_TRANSCODE_PHOTO_TO_VIDEO, cmdNone, ZT_ARG_OPTIONAL, 0, ZT_CMD_RETIRED) \
    X( 46, ZTCONTROL_TRANSCODE_VIDEO_TO_VIDEO_REQUEST, cmdTranscodeVideoToVideoRequest, ZT_ARG_OPTIONAL, 0, 0) \
    X( 47, ZTCONTROL_TRANSCODE_PHOTO_TO_VIDEO_REQUEST, cmdTranscodePhotoToVideoRequest, ZT_ARG_OPTIONAL, 0, 0) \
    X( 48, ZTCONTROL_TRANSCODE_TO_PHOTO_REQUEST, cmdTranscodeToPhotoRequest, ZT_ARG_OPTIONAL, 0, 0) \
    X( 49, ZTCONTROL_TRANSCODE_STATUS, cmdTranscodeStatus, ZT_ARG_OPTIONAL, 0, 0) \
    X( 50, ZTCONTROL_TRANSCODE_CANCEL, cmdTranscodeCancel, ZT_ARG_OPTIONAL, 0, 0) \
    X( 51, ZTCONTROL_LIVEVIEW_MODE_SET, cmdLiveviewModeSet, ZT_ARG_AT_LEAST, kZtLiveviewArgSize, 0) \
    X( 52, ZTCONTROL_VOICE_PHOTO_TAKE, cmdVoicePhotoTake, ZT_ARG_NONE, 0, 0) \
    X( 53, ZTCONTROL_VOICE_VIDEO_START, cmdVoiceVideoStart, ZT_ARG_NONE, 0, 0) \
    X( 54, ZTCONTROL_VOICE_VIDEO_STOP, cmdVoiceVideoStop, ZT_ARG_NONE, 0, 0) \
    X( 55, ZTCONTROL_VOICE_TIMELAPSE_START, cmdVoiceTimelapseStart, ZT_ARG_NONE, 0, 0) \
    X( 56, ZTCONTROL_VOICE_TIMELAPSE_STOP, cmdVoiceTimelapseStop, ZT_ARG_NONE, 0, 0) \
    X( 57, ZTCONTROL_VOICE_BURST_TAKE, cmdVoiceBurstTake, ZT_ARG_NONE, 0, 0) \
    X( 58, ZTCONTROL_VOICE_TAG, cmdVoiceTag, ZT_ARG_NONE, 0, 0) \
    X( 59, ZTCONTROL_VOICE_MODE, cmdVoiceMode, ZT_ARG_AT_LEAST, 1, 0) \
    X( 60, ZTCONTROL_SYSTEM_GET_GEOCAL, cmdSystemGetGeocal, ZT_ARG_NONE, 0, 0) \
    X( 61, ZTCONTROL_DIGITAL_ZOOM, cmdDigitalZoom, ZT_ARG_AT_LEAST, 0, 0) \
    X( 62, ZTCONTROL_VOICE_EDIT_MY_STORY, cmdVoiceEditMyStory, ZT_ARG_NONE, 0, 0) \
    X( 63, ZTCONTROL_VOICE_DELETE_LAST, cmdVoiceDeleteLast, ZT_ARG_NONE, 0, 0) \
    X( 64, ZTCONTROL_SYSTEM_GET_SHADINGDATA_FILE, cmdSystemGetShadingdataFile, ZT_ARG_NONE, 0, 0) \
    X( 65, ZTCONTROL_BLE_CONTROL, cmdBleControl, ZT_ARG_OPTIONAL, 0, 0) \
    X( 66, ZTCONTROL_CAPTURE_DELAY, cmdCaptureDelay, ZT_ARG_AT_LEAST, 0, 0) \
    X( 67, ZTCONTROL_MODE_SET_MODE, cmdModeSetMode, ZT_ARG_AT_LEAST, 0, 0) \
    X( 68, ZTCONTROL_ADVSET_RESET, cmdAdvsetReset, ZT_ARG_OPTIONAL, 0, 0) \
    X( 69, ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_1X_SET, cmdNone, ZT_ARG_OPTIONAL, 0, ZT_CMD_RETIRED) \
    X( 70, ZTCONTROL_PRESET_LIST_GROUPS, cmdPresetListGroups, ZT_ARG_NONE, 0, 0) \
    X( 71, ZTCONTROL_PRESET_LIST_IDS, cmdPresetListIds, ZT_ARG_OPTIONAL, 0, 0) \
    X( 72, ZTCONTROL_PRESET_GET_INFO, cmdPresetGetInfo, ZT_ARG_OPTIONAL, 0, 0) \
    X( 73, ZTCONTROL_PRESET_CUSTOM_CREATE, cmdPresetCustomCreate, ZT_ARG_OPTIONAL, 0, 0) \
    X( 74, ZTCONTROL_PRESET_CUSTOM_REMOVE, cmdPresetCustomRemove, ZT_ARG_OPTIONAL, 0, 0) \
    X( 75, ZTCONTROL_PRESET_SET_ORDER, cmdPresetSetOrder, ZT_ARG_OPTIONAL, 0, 0) \
    X( 76, ZTCONTROL_PRESET_LOAD, cmdPresetLoad, ZT_ARG_OPTIONAL, 0, 0) \
    X( 77, ZTCONTROL_PRESET_EDIT_START, cmdPresetEditStart, ZT_ARG_OPTIONAL, 0, 0) \
    X( 78, ZTCONTROL_PRESET_EDIT_CANCEL, cmdPresetEditCancel, ZT_ARG_NONE, 0, 0) \
    X( 79, ZTCONTROL_PRESET_EDIT_STORE, cmdPresetEditStore, ZT_ARG_NONE, 0, 0) \
    X( 80, ZTCONTROL_PRESET_FACTORY_RESET, cmdPresetFactoryReset, ZT_ARG_OPTIONAL, 0, 0) \
    X( 81, ZTCONTROL_PRESET_GET_PRESETS, cmdPresetGetPresets, ZT_ARG_OPTIONAL, 0, 0) \
    X( 82, ZTCONTROL_PRESET_SWITCH_FLATMODE, cmdPresetSwitchFlatmode, ZT_ARG_OPTIONAL, 0, 0) \
    X( 83, ZTCONTROL_PRESET_SET_TITLE_AND_ICON, cmdPresetSetTitleAndIcon, ZT_ARG_OPTIONAL, 0, 0) \
    X( 84, ZTCONTROL_ONSCREEN_SHORTCUTS_RESET, cmdOnscreenShortcutsReset, ZT_ARG_OPTIONAL, 0, 0) \
    X( 85, ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_RAMP_SET, cmdVideoSwiftlapseSpeedRampSet, ZT_ARG_AT_LEAST, 0, 0) \
    X( 86, ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_RAMP_ACTIVE_SET, cmdVideoSwiftlapseSpeedRampActiveSet, ZT_ARG_AT_LEAST, 0, 0) \
    X( 87, ZTCONTROL_PRESET_GET_ACTIVE_PRESET, cmdPresetGetActivePreset, ZT_ARG_OPTIONAL, 0, 0) \
    X( 88, ZTCONTROL_SYSTEM_BUTTON_SET, cmdSystemButtonSet, ZT_ARG_AT_LEAST, kZtButtonArgSize, 0) \
    X( 89, ZTCONTROL_PRESET_GET_ACTIVE_GROUP, cmdPresetGetActiveGroup, ZT_ARG_OPTIONAL, 0, 0) \
    X( 90, ZTCONTROL_SET_IN_CONTEXTUAL_MENU, cmdSetInContextualMenu, ZT_ARG_AT_LEAST, 0, 0) \
    X( 91, ZTCONTROL_WEBCAM_REQUEST_EXIT, cmdWebcamRequestExit, ZT_ARG_OPTIONAL, 0, 0) \
    X( 92, ZTCONTROL_SET_CAMERA_CONTROL_STATUS, cmdSetCameraControlStatus, ZT_ARG_AT_LEAST, 0, 0) \
    X( 93, ZTCONTROL_DELETE_LIST, cmdDeleteList, ZT_ARG_AT_LEAST, 0, 0) \
    X( 94, ZTCONTROL_GET_DELETE_LIST_RESULT, cmdGetDeleteListResult, ZT_ARG_NONE, 0, 0) \
    X( 95, ZTCONTROL_GET_ALL_SETTINGS_STATUS_IDS, cmdGetAllSettingsStatusIds, ZT_ARG_OPTIONAL, 0, 0) \
    X( 96, ZTCONTROL_SET_WIRED_USB_CONTROL, cmdSetWiredUsbControl, ZT_ARG_AT_LEAST, 0, 0) \
    X( 97, ZTCONTROL_SET_CAH_AUTO_CLEAR, cmdSetCahAutoClear, ZT_ARG_AT_LEAST, 0, 0) \
    X( 98, ZTCONTROL_GET_DATE_TIME, cmdGetDateTime, ZT_ARG_NONE, 0, 0) \
    X( 99, ZTCONTROL_QUICK_CAPTURE_START, cmdQuickCaptureStart, ZT_ARG_AT_LEAST, 0, 0) \
    X(100, ZTCONTROL_GET_BUSY_STATUS, cmdGetBusyStatus, ZT_ARG_NONE, 0, 0) \
    X(101, ZTCONTROL_CMD_LAST, cmdNone, ZT_ARG_OPTIONAL, 0, ZT_CMD_STOP)
// clang-format on

// Client command values. ZTCONTROL_CMD_LAST is both the count of real commands
// and the stop command of the worker loop. Values above it are not in the
// enumeration and answer as unsupported.
typedef enum : int32_t {
#define ZTCONTROL_ENUMERATOR(value, name, handler, rule, length, flags) name = value,
    ZTCONTROL_COMMAND_TABLE(ZTCONTROL_ENUMERATOR)
#undef ZTCONTROL_ENUMERATOR
} ztcontrol_command_t;

// One row of the table as data, for clients and the daemon's frame.
struct ztcontrol_command_info_t {
    ztcontrol_command_t value;
    const char *name;
    ztcontrol_arg_rule_t rule;
    uint16_t length;
    uint8_t flags;
};

// Row v of the table for v in 0..101. Fixed at compile time.
extern const ztcontrol_command_info_t g_ztcontrolCommands[ZTCONTROL_CMD_LAST + 1];
// Entry v is the enumerator's name for v in 0..101.
extern const char *const g_ztcontrolCommandNames[ZTCONTROL_CMD_LAST + 1];

// The row of a command value, or nullptr for a value outside 0..101.
const ztcontrol_command_info_t *ztcontrolCommandInfo(int32_t command);
// Name of a real command (0..100) for the logs; nullptr for anything else,
// ZTCONTROL_CMD_LAST included, which never produces a result log.
const char *ztcontrolCommandName(int32_t command);
// True when an argument of `length` bytes (present or not) meets the rule of
// `info`.
bool ztcontrolArgumentFits(const ztcontrol_command_info_t &info, bool present, size_t length);

// Message categories (byte 3 of the TLV header). An even category is a request,
// the odd one above it its answer.
enum : uint8_t {
    CAT_RTOS_CMD = 10,    // preset-update events from the firmware side ("PU")
    CAT_SYS_CMD = 16,     // suspend and resume requests ("JS", "JR")
    CAT_SYS_RSP = 17,     // answers to CAT_SYS_CMD; CSI responses
    CAT_CLIENT_CMD = 20,  // client commands: the only category a command may have
    CAT_CLIENT_RSP = 21,  // answers to client commands (ResponseMsg)
    CAT_CLIENT_EVT = 22,  // notifications to message-queue clients (EventMsg)
};

// Element types of the daemon's messages. The common TLV layer names the
// generic ones (TLV_CMD 'A', TLV_CMDARG 'B', TLV_DST 'C', TLV_SRC 'D',
// TLV_RSPARG 'E', TLV_VOID 'X', TLV_RESULT 0xEC, TLV_END 0xEE); the option byte
// of client requests is the daemon's own.
enum : uint8_t {
    TLV_OPTION = 'W',  // one option byte on client requests
};

#endif  // ZTCONTROL_COMMANDS_H
