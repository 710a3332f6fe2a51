// The daemon's request vocabulary: the command enumeration with the printable
// name of every value, the message categories the command server tells apart
// and the element types of the messages it reads and writes, and the shared
// element objects of outgoing messages. The names and constants are fixed after
// static initialisation and safe from any thread; the element objects are not
// (see below).
#ifndef ZTCONTROL_COMMANDS_H
#define ZTCONTROL_COMMANDS_H

#include <cstddef>
#include <cstdint>

#include "MsgElement.h"
#include "ztTlv.h"  // generic element types (TLV_CMD ... TLV_END)

// Client command values. ZTCONTROL_CMD_LAST is both the count of real commands
// and the stop command of the worker loop: it is answered 0 and never reaches a
// handler. Values above it are not in the enumeration and answer as unsupported.
typedef enum : int32_t {
    ZTCONTROL_EVENT_REGISTER_MQUEUE = 0,
    ZTCONTROL_EVENT_FILTER_IN = 1,
    ZTCONTROL_FILTER_OUT = 2,
    ZTCONTROL_COMMAND_SHUTTER = 3,
    ZTCONTROL_MODE = 4,
    ZTCONTROL_MODE_SUB_MODE = 5,
    ZTCONTROL_SET_DATE_TIME = 6,
    ZTCONTROL_KEYMARK_TAG_RECORDING = 7,
    ZTCONTROL_KEYMARK_TAG_PLAYBACK = 8,
    ZTCONTROL_DELETE = 9,
    ZTCONTROL_DELETE_LAST = 10,
    ZTCONTROL_DELETE_GROUP = 11,
    ZTCONTROL_DELETE_ALL = 12,
    ZTCONTROL_FW_UPDATE_START = 13,
    ZTCONTROL_FW_UPDATE_CANCEL = 14,
    ZTCONTROL_FW_UPDATE_DONE = 15,
    ZTCONTROL_WIFI_AP_CONTROL = 16,
    ZTCONTROL_WIFI_AP_SSID_CONFIG = 17,
    ZTCONTROL_WIFI_BAND_SELECT = 18,
    ZTCONTROL_WIFI_SSID_SCAN = 19,
    ZTCONTROL_WIFI_SSID_LIST = 20,
    ZTCONTROL_WIFI_SSID_SAVE = 21,
    ZTCONTROL_WIFI_SSID_SELECT = 22,
    ZTCONTROL_WIFI_SSID_DELETE = 23,
    ZTCONTROL_WIFI_SSID_DELETE_ALL = 24,
    ZTCONTROL_RC_PAIR = 25,
    ZTCONTROL_RC_PAIR_CANCEL = 26,
    ZTCONTROL_VIDEO_ADVSET_RESET = 27,
    ZTCONTROL_PHOTO_ADVSET_RESET = 28,
    ZTCONTROL_MULTI_ADVSET_RESET = 29,
    ZTCONTROL_SET_SETTING_ID = 30,
    ZTCONTROL_GET_SETTING_ID = 31,
    ZTCONTROL_GET_ALL_SETTINGS = 32,
    ZTCONTROL_GET_ALL_STATUS = 33,
    ZTCONTROL_GET_ALL_SETTINGS_STATUS = 34,
    ZTCONTROL_SYSTEM_SHUTDOWN = 35,
    ZTCONTROL_SYSTEM_SLEEP = 36,
    ZTCONTROL_LOCATE = 37,
    ZTCONTROL_FACTORY_RESET = 38,
    ZTCONTROL_ANALYTICS_FILENAME_GET = 39,
    ZTCONTROL_ANALYTICS_CLEAR = 40,
    ZTCONTROL_REMOTE_API = 41,
    ZTCONTROL_SET_LOG_LEVEL = 42,
    ZTCONTROL_PUSH_NOTIFICATIONS = 43,
    ZTCONTROL_TRANSCODE_HISTORY = 44,
    ZTCONTROL_TRANSCODE_PHOTO_TO_VIDEO = 45,
    ZTCONTROL_TRANSCODE_VIDEO_TO_VIDEO_REQUEST = 46,
    ZTCONTROL_TRANSCODE_PHOTO_TO_VIDEO_REQUEST = 47,
    ZTCONTROL_TRANSCODE_TO_PHOTO_REQUEST = 48,
    ZTCONTROL_TRANSCODE_STATUS = 49,
    ZTCONTROL_TRANSCODE_CANCEL = 50,
    ZTCONTROL_LIVEVIEW_MODE_SET = 51,
    ZTCONTROL_VOICE_PHOTO_TAKE = 52,
    ZTCONTROL_VOICE_VIDEO_START = 53,
    ZTCONTROL_VOICE_VIDEO_STOP = 54,
    ZTCONTROL_VOICE_TIMELAPSE_START = 55,
    ZTCONTROL_VOICE_TIMELAPSE_STOP = 56,
    ZTCONTROL_VOICE_BURST_TAKE = 57,
    ZTCONTROL_VOICE_TAG = 58,
    ZTCONTROL_VOICE_MODE = 59,
    ZTCONTROL_SYSTEM_GET_GEOCAL = 60,
    ZTCONTROL_DIGITAL_ZOOM = 61,
    ZTCONTROL_VOICE_EDIT_MY_STORY = 62,
    ZTCONTROL_VOICE_DELETE_LAST = 63,
    ZTCONTROL_SYSTEM_GET_SHADINGDATA_FILE = 64,
    ZTCONTROL_BLE_CONTROL = 65,
    ZTCONTROL_CAPTURE_DELAY = 66,
    ZTCONTROL_MODE_SET_MODE = 67,
    ZTCONTROL_ADVSET_RESET = 68,
    ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_1X_SET = 69,
    ZTCONTROL_PRESET_LIST_GROUPS = 70,
    ZTCONTROL_PRESET_LIST_IDS = 71,
    ZTCONTROL_PRESET_GET_INFO = 72,
    ZTCONTROL_PRESET_CUSTOM_CREATE = 73,
    ZTCONTROL_PRESET_CUSTOM_REMOVE = 74,
    ZTCONTROL_PRESET_SET_ORDER = 75,
    ZTCONTROL_PRESET_LOAD = 76,
    ZTCONTROL_PRESET_EDIT_START = 77,
    ZTCONTROL_PRESET_EDIT_CANCEL = 78,
    ZTCONTROL_PRESET_EDIT_STORE = 79,
    ZTCONTROL_PRESET_FACTORY_RESET = 80,
    ZTCONTROL_PRESET_GET_PRESETS = 81,
    ZTCONTROL_PRESET_SWITCH_FLATMODE = 82,
    ZTCONTROL_PRESET_SET_TITLE_AND_ICON = 83,
    ZTCONTROL_ONSCREEN_SHORTCUTS_RESET = 84,
    ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_RAMP_SET = 85,
    ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_RAMP_ACTIVE_SET = 86,
    ZTCONTROL_PRESET_GET_ACTIVE_PRESET = 87,
    ZTCONTROL_SYSTEM_BUTTON_SET = 88,
    ZTCONTROL_PRESET_GET_ACTIVE_GROUP = 89,
    ZTCONTROL_SET_IN_CONTEXTUAL_MENU = 90,
    ZTCONTROL_WEBCAM_REQUEST_EXIT = 91,
    ZTCONTROL_SET_CAMERA_CONTROL_STATUS = 92,
    ZTCONTROL_DELETE_LIST = 93,
    ZTCONTROL_GET_DELETE_LIST_RESULT = 94,
    ZTCONTROL_GET_ALL_SETTINGS_STATUS_IDS = 95,
    ZTCONTROL_SET_WIRED_USB_CONTROL = 96,
    ZTCONTROL_SET_CAH_AUTO_CLEAR = 97,
    ZTCONTROL_GET_DATE_TIME = 98,
    ZTCONTROL_QUICK_CAPTURE_START = 99,
    ZTCONTROL_GET_BUSY_STATUS = 100,
    ZTCONTROL_CMD_LAST = 101,
} ztcontrol_command_t;

// Entry v is the enumerator's name for v in 0..101. Built by static
// initialisation, never changed.
extern const char *const g_ztcontrolCommandNames[ZTCONTROL_CMD_LAST + 1];

// Name of a real command (0..100) for the logs; nullptr for anything else,
// ZTCONTROL_CMD_LAST included, which never produces a result log.
const char *ztcontrolCommandName(int32_t command);

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

// Shared element objects of outgoing messages. Every source file that includes
// this header gets its own four, built by static initialisation: the result
// (0xEC), command ('A'), payload ('E') and end (0xEE, empty) elements. A
// message built from them only borrows them; each sender sets their data just
// before use, so they belong to the one thread that builds that file's
// messages (the worker thread for answers and notifications).
[[maybe_unused]] static MsgElement s_resultElement(TLV_RESULT);
[[maybe_unused]] static MsgElement s_commandElement(TLV_CMD);
[[maybe_unused]] static MsgElement s_payloadElement(TLV_RSPARG);
[[maybe_unused]] static MsgElement s_endElement(TLV_END);

#endif  // ZTCONTROL_COMMANDS_H
