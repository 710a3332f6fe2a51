// The byte layouts of client command arguments (element 'B') and answers
// (element 'E') that have a fixed form: sizes, field offsets and field
// widths, shared by the daemon, its clients and the tests. Words are
// little-endian at the offsets given; text fields are NUL-terminated within
// their field unless said otherwise. Arguments and answers without a layout
// here are a single byte or word, opaque bytes passed through, or a
// serialised message. Constants fixed at compile time; any thread.
#ifndef ZTCONTROL_LAYOUTS_H
#define ZTCONTROL_LAYOUTS_H

#include <stddef.h>
#include <stdint.h>

#include "ztTlv.h"  // message and element header sizes

// ZTCONTROL_EVENT_REGISTER_MQUEUE argument: u32 flag at 0 (non-zero:
// register, zero: drop), then the queue name from 4, NUL-terminated or
// ending with the argument.
constexpr size_t kZtRegisterArgFlagOffset = 0;
constexpr size_t kZtRegisterArgNameOffset = 4;
constexpr size_t kZtRegisterArgMinSize = kZtRegisterArgNameOffset;

// ZTCONTROL_MODE_SUB_MODE argument, 8 bytes: u32 mode at 0, u32 sub-mode at 4.
constexpr size_t kZtModeSubModeArgModeOffset = 0;
constexpr size_t kZtModeSubModeArgSubModeOffset = 4;
constexpr size_t kZtModeSubModeArgSize = 8;
static_assert(kZtModeSubModeArgSubModeOffset + 4 == kZtModeSubModeArgSize,
              "the sub-mode word ends the mode and sub-mode argument");

// ZTCONTROL_SET_DATE_TIME argument and ZTCONTROL_GET_DATE_TIME answer, 7
// bytes (the camera's own form, which the daemon passes through unread): u16
// year at 0, then one byte each for month (1-12) at 2, day at 3, hour at 4,
// minute at 5 and second at 6, in UTC.
constexpr size_t kZtDateTimeYearOffset = 0;
constexpr size_t kZtDateTimeMonthOffset = 2;
constexpr size_t kZtDateTimeDayOffset = 3;
constexpr size_t kZtDateTimeHourOffset = 4;
constexpr size_t kZtDateTimeMinuteOffset = 5;
constexpr size_t kZtDateTimeSecondOffset = 6;
constexpr size_t kZtDateTimeSize = 7;
static_assert(kZtDateTimeSecondOffset + 1 == kZtDateTimeSize, "the second ends the date and time");

// ZTCONTROL_KEYMARK_TAG_PLAYBACK argument, 268 bytes: u32 leading word at 0
// (passed to the firmware), file name NUL-terminated within 260 bytes at 4,
// u32 offset within the file at 264.
constexpr size_t kZtTagArgWordOffset = 0;
constexpr size_t kZtTagArgNameOffset = 4;
constexpr size_t kZtTagArgNameField = 260;
constexpr size_t kZtTagArgOffsetOffset = 264;
constexpr size_t kZtTagArgSize = 268;
static_assert(kZtTagArgNameOffset + kZtTagArgNameField == kZtTagArgOffsetOffset,
              "the offset word follows the tag's name field");
static_assert(kZtTagArgOffsetOffset + 4 == kZtTagArgSize, "the offset word ends the tag argument");

// ZTCONTROL_DELETE_LIST argument: 23-byte items back to back, each a code
// byte at 0 and the file name NUL-terminated within 22 bytes at 1. Bytes of
// an incomplete last item are ignored.
constexpr size_t kZtDeleteItemCodeOffset = 0;
constexpr size_t kZtDeleteItemNameOffset = 1;
constexpr size_t kZtDeleteItemNameField = 22;
constexpr size_t kZtDeleteItemSize = 23;
static_assert(kZtDeleteItemNameOffset + kZtDeleteItemNameField == kZtDeleteItemSize,
              "the name field ends a delete-list item");

// ZTCONTROL_GET_DELETE_LIST_RESULT answer: the firmware's status bytes,
// passed through unread by the daemon, whatever their length. When present:
// the outcome at 0, the number of files deleted at 1 and of files missing at
// 2.
constexpr size_t kZtDeleteResultOutcomeOffset = 0;
constexpr size_t kZtDeleteResultDeletedOffset = 1;
constexpr size_t kZtDeleteResultMissingOffset = 2;
constexpr size_t kZtDeleteResultCountsSize = 3;  // up to and with the missing count

// Network argument of ZTCONTROL_WIFI_AP_SSID_CONFIG, _SSID_SAVE,
// _SSID_SELECT and _SSID_DELETE, 108 bytes: SSID in 33 bytes at 0 and
// password in 67 bytes at 33 (each NUL-terminated within its field; a field
// without NUL is taken whole), u32 authentication type at 100, u32
// access-point mode word at 104. Each command needs the argument up to the
// last field it reads: SSID_SAVE the two texts, SSID_SELECT the
// authentication type, AP_SSID_CONFIG all of it; SSID_DELETE reads the SSID
// only.
constexpr size_t kZtNetworkArgSsidOffset = 0;
constexpr size_t kZtNetworkArgSsidField = 33;
constexpr size_t kZtNetworkArgPasswordOffset = 33;
constexpr size_t kZtNetworkArgPasswordField = 67;
constexpr size_t kZtNetworkArgAuthOffset = 100;
constexpr size_t kZtNetworkArgModeOffset = 104;
constexpr size_t kZtNetworkArgSize = 108;
constexpr size_t kZtNetworkArgTextsSize = kZtNetworkArgPasswordOffset + kZtNetworkArgPasswordField;
constexpr size_t kZtNetworkArgThroughAuthSize = kZtNetworkArgAuthOffset + 4;
static_assert(kZtNetworkArgSsidOffset + kZtNetworkArgSsidField == kZtNetworkArgPasswordOffset,
              "the password field follows the SSID field");
static_assert(kZtNetworkArgTextsSize == kZtNetworkArgAuthOffset,
              "the authentication word follows the password field");
static_assert(kZtNetworkArgThroughAuthSize == kZtNetworkArgModeOffset,
              "the mode word follows the authentication word");
static_assert(kZtNetworkArgModeOffset + 4 == kZtNetworkArgSize,
              "the mode word ends the network argument");

// ZTCONTROL_WIFI_SSID_SCAN answer, 4 bytes: the scan identifier in byte 0,
// the other bytes zero (all zero when the identifier is unknown).
constexpr size_t kZtScanIdAnswerIdOffset = 0;
constexpr size_t kZtScanIdAnswerSize = 4;

// ZTCONTROL_WIFI_SSID_LIST answer, always 492 bytes, zero where nothing was
// listed: u8 requested offset at 0, u16 scan identifier at 2, u16 entry count
// at 4, u32 number of networks found at 8, then up to ten 48-byte entries
// from 12. An entry holds the network name at 0 (31 characters and a NUL at
// most), u32 signal bars at 36, four further bytes at 40 (read as a u32) and
// a flags byte at 44.
constexpr size_t kZtScanListOffsetOffset = 0;
constexpr size_t kZtScanListScanIdOffset = 2;
constexpr size_t kZtScanListCountOffset = 4;
constexpr size_t kZtScanListFoundOffset = 8;
constexpr size_t kZtScanListEntriesOffset = 12;
constexpr size_t kZtScanListEntrySize = 48;
constexpr size_t kZtScanListMaxEntries = 10;
constexpr size_t kZtScanListSize = 492;
constexpr size_t kZtScanEntryNameOffset = 0;
constexpr size_t kZtScanEntryNameMax = 31;
constexpr size_t kZtScanEntryBarsOffset = 36;
constexpr size_t kZtScanEntryWordOffset = 40;
constexpr size_t kZtScanEntryFlagsOffset = 44;
static_assert(kZtScanListEntriesOffset + kZtScanListMaxEntries * kZtScanListEntrySize ==
                  kZtScanListSize,
              "ten entries end the scan list");
static_assert(kZtScanEntryFlagsOffset < kZtScanListEntrySize, "the flags byte is in the entry");

// ZTCONTROL_SET_SETTING_ID argument, 8 bytes: u32 setting id at 0, u32
// option id at 4.
constexpr size_t kZtSettingArgIdOffset = 0;
constexpr size_t kZtSettingArgOptionOffset = 4;
constexpr size_t kZtSettingArgSize = 8;
static_assert(kZtSettingArgOptionOffset + 4 == kZtSettingArgSize,
              "the option word ends the setting argument");

// ZTCONTROL_LIVEVIEW_MODE_SET argument, 16 bytes: u32 exposure mode at 0,
// u32 x at 4 and u32 y at 8 (percentages of the picture), u32 lens at 12.
constexpr size_t kZtLiveviewArgModeOffset = 0;
constexpr size_t kZtLiveviewArgXOffset = 4;
constexpr size_t kZtLiveviewArgYOffset = 8;
constexpr size_t kZtLiveviewArgLensOffset = 12;
constexpr size_t kZtLiveviewArgSize = 16;
static_assert(kZtLiveviewArgLensOffset + 4 == kZtLiveviewArgSize,
              "the lens word ends the live-view argument");

// ZTCONTROL_SYSTEM_BUTTON_SET argument, 8 bytes: u32 button type at 0, u32
// raw state word at 4. Bits 0-3 of the raw word are the state (or the
// multi-camera mode type), bits 4-7 the rotation code of the remote.
constexpr size_t kZtButtonArgTypeOffset = 0;
constexpr size_t kZtButtonArgStateOffset = 4;
constexpr size_t kZtButtonArgSize = 8;
constexpr uint32_t kZtButtonStateMask = 0x0F;  // also the rotation code's mask once shifted
constexpr unsigned kZtButtonRotationShift = 4;
static_assert(kZtButtonArgStateOffset + 4 == kZtButtonArgSize,
              "the state word ends the button argument");

// ZTCONTROL_GET_BUSY_STATUS answer: the firmware's one busy byte.
constexpr size_t kZtBusyStatusAnswerSize = 1;

// ZTCONTROL_PRESET_GET_ACTIVE_PRESET answer: the u32 active preset id.
constexpr size_t kZtActivePresetAnswerSize = 4;
// ZTCONTROL_PRESET_GET_ACTIVE_GROUP answer: the u32 active firmware group.
constexpr size_t kZtActiveGroupAnswerSize = 4;

// ZTCONTROL_SYSTEM_GET_SHADINGDATA_FILE answer, always 257 bytes: the path of
// the calibration file, NUL-terminated, zero after it.
constexpr size_t kZtCalFileAnswerSize = 257;

// The largest payload one answer carries: a message of ZTMSG_MAX bytes less
// its header, the result element (header and 4 bytes), the payload
// element's header and the end element. The serialised preset answers are
// checked against it.
constexpr size_t kZtMaxAnswerPayload =
    ZTMSG_MAX - (TLV_HDR_LEN + 3 * TLV_ELEM_HDR_LEN + sizeof(int32_t));

#endif  // ZTCONTROL_LAYOUTS_H
