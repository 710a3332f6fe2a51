// Preset loader and preset identity: turns the firmware's 81-byte preset
// record into a WSDK_Preset with its caption settings, maps titles and icons
// between firmware and client numbering, and finds, moves and numbers presets.
// Everything here is stateless; camera state comes in as arguments, so any
// thread may call it (the daemon calls it on the command server's worker).
#ifndef ZTCONTROL_PRESET_LOADER_H
#define ZTCONTROL_PRESET_LOADER_H

#include <cstddef>
#include <cstdint>
#include <functional>

#include "wsdkCommands/WSDK_Preset.pb.h"
#include "ztcontrol_remote_ops.h"  // the preset operations a PresetFirmwareRequest names

// ---------------------------------------------------------------------------
// The firmware's preset record, as every REMOTE_PRESET_GET_INFO answer carries
// it: packed, little-endian, exactly 81 bytes.
//
//   offset  width  field
//    0      u8     flat_mode         (WSDK_EnumFlatMode numbers)
//    1      u8     preset_type       (0 predefined, else user-defined)
//    2      u32    preset_id
//    6      2      (unused)
//    8      u32    user_data[0]      icon  (PRESET_ICONS_FW)
//   12      u32    user_data[1]      title (PRESET_TITLES_FW)
//   16      u32    user_data[2]      title number
//   20      u32    user_data[3]      not interpreted
//   24      1      (unused)
//   25      54     settings_block    video, photo or multi-shot, by flat mode
//   79      i8     edited            > 0: a predefined preset was edited
//   80      i8     easy_speed_class  row selector of the easy caption speeds
// ---------------------------------------------------------------------------
constexpr size_t kPresetRecordSize = 81;
constexpr size_t kPresetRecordTitleOffset = 12;
constexpr size_t kPresetRecordTitleNumberOffset = 16;
constexpr size_t kPresetSettingsBlockOffset = 25;
constexpr size_t kPresetSettingsBlockSize = 54;

// Firmware title and icon numbers. They share their values with
// WSDK_EnumPresetTitle and WSDK_EnumPresetIcon except where the Map*
// functions below say otherwise.
typedef uint32_t PRESET_TITLES_FW;
typedef uint32_t PRESET_ICONS_FW;

// The settings block of a record. Which of the three layouts it holds depends
// on the flat mode; bytes are read as signed 8-bit setting values.
struct appc_settings_block {
    uint8_t raw[kPresetSettingsBlockSize];

    // Byte at `offset` as a signed value; 0 for an offset outside the block.
    int8_t valueAt(size_t offset) const;
};
struct appc_video_settings : appc_settings_block {};
struct appc_photo_settings : appc_settings_block {};
struct appc_multi_shot_settings : appc_settings_block {};

// A decoded record. Fill it with parsePresetRecord, never by copying the
// record's bytes over it.
struct appc_presets_settings_info {
    uint8_t flat_mode;
    uint8_t preset_type;
    uint32_t preset_id;
    uint32_t user_data[4];
    appc_settings_block settings_block;
    int8_t edited;
    int8_t easy_speed_class;
};

// Decodes `len` bytes at `bytes` into `*out`. Returns false, leaving `*out`
// untouched, unless `len` is exactly kPresetRecordSize.
bool parsePresetRecord(const void *bytes, size_t len, appc_presets_settings_info *out);

// Turns a setting's firmware value into the option id the model's settings
// table gives it. The daemon passes the camera control library's
// getOptionIdByValue; the loader always asks with notFound = 0xFFFFFFFF and
// stores whatever comes back.
typedef uint32_t (*OptionIdLookupFn)(int model, uint32_t setting, int32_t value, uint32_t notFound);

// The camera state the caption rules depend on. The command server fills it
// from its own accessors (GetCameraModel, GetLensMode, GetEasyProMode) before
// each translation.
struct PresetCaptionContext {
    int model = 57;  // the model assumed when the library cannot tell
    uint8_t lensMode = 0;
    uint8_t easyProMode = 1;  // 1 pro, 0 easy
    // Null stores firmware values unconverted (used only where no settings
    // table exists).
    OptionIdLookupFn optionIdByValue = nullptr;
};

// Fills `preset` from `record`: mode, title, icon, flags and the caption
// settings. The caller has already set the preset's id. Never fails: unknown
// modes get no settings; unknown titles and icons pass through unchanged.
void populatePresetInfo(const appc_presets_settings_info *record,
                        wsdk_commands::WSDK_Preset &preset, const PresetCaptionContext &ctx);

// The caption rules per settings layout. Each appends to the preset's
// setting_array and reads the preset's mode (and, where a rule needs it, its
// id), which must already be set.
void loadVideoSettings(const appc_video_settings &block, wsdk_commands::WSDK_Preset &preset,
                       const PresetCaptionContext &ctx);
void loadEasyModeVideoSettings(const appc_video_settings &block, wsdk_commands::WSDK_Preset &preset,
                               int8_t easySpeedClass, const PresetCaptionContext &ctx);
void loadPhotoSettings(const appc_photo_settings &block, wsdk_commands::WSDK_Preset &preset,
                       const PresetCaptionContext &ctx);
void loadEasyPhotoSettings(uint32_t presetId, wsdk_commands::WSDK_Preset &preset);
void loadMultishotSettings(const appc_multi_shot_settings &block,
                           wsdk_commands::WSDK_Preset &preset, const PresetCaptionContext &ctx);

// ---------------------------------------------------------------------------
// Preset identity
// ---------------------------------------------------------------------------

// Title numbers: the firmware's "simple" photo titles 70 and 71 are reported
// as WSDK_PRESET_TITLE_PHOTO; everything else keeps its number both ways.
wsdk_commands::WSDK_EnumPresetTitle MapFWTitleToWSDK(PRESET_TITLES_FW title);
PRESET_TITLES_FW mapWSDKTitleToFW(wsdk_commands::WSDK_EnumPresetTitle title);

// Icons: clients tell photo lapses from video lapses by icon (1000 and 1001);
// the firmware uses its lapse icons for both.
wsdk_commands::WSDK_EnumPresetIcon MapFWIconToWSDK(PRESET_ICONS_FW icon, int flatMode);
PRESET_ICONS_FW mapWSDKIconToFW(wsdk_commands::WSDK_EnumPresetIcon icon, int model);

bool isCreatePresetSupported(int model);
bool isOrbiLensSupported(unsigned char model);
// True for the ids of the predefined presets.
bool IsFactoryPreset(unsigned int id);

typedef google::protobuf::RepeatedPtrField<wsdk_commands::WSDK_Preset> PresetList;

// Index of the first preset with this id, or -1.
int pb_get_preset_index_by_id(const PresetList *presets, int id);

// Moves the preset at `from` to position `to`; those in between shift one
// place towards `from`. Elements are swapped, never copied. Returns false and
// leaves the list alone when either index is outside the list.
bool pb_move_preset_by_index(PresetList *presets, int from, int to);

// One firmware preset operation (category 17, identifier `op`) with a payload.
// Returns the firmware status; on status 0 `*rsp` and `*rspLen` describe the
// answer bytes, borrowed until the next request.
typedef std::function<int(uint8_t op, const uint8_t *payload, size_t payloadLen,
                          const uint8_t **rsp, size_t *rspLen)>
    PresetFirmwareRequest;

// The smallest title number that no preset of `title` in firmware group
// `group` uses yet, or 0xFFFFFFFF when a firmware request fails or answers
// malformed bytes. Costs one request for the id list and one per preset.
uint32_t GetNextPresetIterator(unsigned char group, unsigned int title,
                               const PresetFirmwareRequest &request);

#endif  // ZTCONTROL_PRESET_LOADER_H
