// Translation of firmware preset records into WSDK_Preset messages, and the
// identity rules every preset operation shares.
#include "ztcontrol_preset_loader.h"

#include <cstring>

#include "utils.h"
#include "ztcontrol_bytes.h"

using wsdk_commands::WSDK_EnumFlatMode;
using wsdk_commands::WSDK_EnumPresetIcon;
using wsdk_commands::WSDK_EnumPresetTitle;
using wsdk_commands::WSDK_Preset;
using wsdk_commands::WSDK_PresetSetting;

namespace {

// Camera models whose presets follow their own rules.
constexpr int kModel50 = 50;
constexpr int kModel51 = 51;
constexpr int kModel60 = 60;

// Setting ids the captions use.
constexpr int kSettingResolution = 2;
constexpr int kSettingFrameRate = 3;
constexpr int kSettingTimeLapseRate = 5;
constexpr int kSettingLoopInterval = 6;
constexpr int kSettingPhotoNightExposure = 19;
constexpr int kSettingTimeLapseInterval = 30;
constexpr int kSettingNightLapseShutter = 31;
constexpr int kSettingNightLapseInterval = 32;
constexpr int kSettingPhotoOutput = 105;
constexpr int kSettingSwiftLapseSpeed = 111;
constexpr int kSettingVideoLens = 121;
constexpr int kSettingPhotoLens = 122;
constexpr int kSettingMultiShotLens = 123;
constexpr int kSettingBurstRate = 147;
constexpr int kSettingEasySwiftLapseSpeed = 155;
constexpr int kSettingEasyVideoSpeed = 176;
constexpr int kSettingStarTrailLength = 179;
constexpr int kSettingEasyPhotoNight = 181;

// Byte offsets inside the 54-byte settings block, one list per layout.
namespace video {
constexpr size_t kResolution = 2;       // setting 2
constexpr size_t kFrameRate = 3;        // setting 3
constexpr size_t kLens = 4;             // setting 121
constexpr size_t kLoopInterval = 6;     // setting 6
constexpr size_t kTimeLapseRate = 9;    // setting 5
constexpr size_t kSwiftSpeed = 24;      // setting 111
constexpr size_t kEasySwiftSpeed = 46;  // setting 155
}  // namespace video
namespace photo {
constexpr size_t kLens = 2;           // setting 122
constexpr size_t kNightExposure = 5;  // setting 19
constexpr size_t kOutput = 19;        // setting 105
}  // namespace photo
namespace multishot {
constexpr size_t kLens = 2;               // setting 123
constexpr size_t kBurstRate = 3;          // setting 147
constexpr size_t kTimeLapseIndex = 4;     // index into kTimeLapseIntervals
constexpr size_t kNightLapseIndex = 5;    // index into kNightLapseIntervals
constexpr size_t kNightLapseShutter = 7;  // setting 31
constexpr size_t kVideoResolution = 28;   // setting 2
constexpr size_t kVideoLens = 30;         // setting 121
constexpr size_t kStarTrailLength = 34;   // setting 179
}  // namespace multishot

// Interval tables in seconds, indexed by a block byte. In the night-lapse
// table 0 is the "auto" interval, which the settings tables know as 3601.
constexpr uint32_t kTimeLapseIntervals[12] = {0, 1, 2, 5, 10, 30, 60, 120, 300, 1800, 3600, 0};
constexpr uint32_t kNightLapseIntervals[12] = {10, 15, 20, 30, 60, 120, 300, 1800, 3600, 0, 4, 5};
constexpr uint32_t kNightLapseAuto = 3601;

// Preset ids the photo captions single out.
constexpr uint32_t kPresetEasyNightPhoto = 0xC0001;
constexpr uint32_t kPresetDualPhoto = 0x40000;
constexpr uint32_t kPresetLiveBurst = 0x10001;
constexpr uint32_t kPresetDualPhoto3 = 0x40003;

void addCaption(WSDK_Preset &preset, int settingId, int fwValue, const PresetCaptionContext &ctx)
{
    WSDK_PresetSetting *s = preset.add_setting_array();
    s->set_id(settingId);
    if (ctx.optionIdByValue != nullptr)
        s->set_value(static_cast<int32_t>(ctx.optionIdByValue(
            ctx.model, static_cast<uint32_t>(settingId), fwValue, 0xFFFFFFFFu)));
    else
        s->set_value(fwValue);
    s->set_is_caption(true);
}

// Appends the interval setting found at `index` of `table`. An index outside
// the table names no interval the settings tables know, so no caption is
// shown for it.
void addIntervalCaption(WSDK_Preset &preset, int settingId, const uint32_t (&table)[12],
                        int8_t index, bool nightLapse, const PresetCaptionContext &ctx)
{
    if (index < 0 || static_cast<size_t>(index) >= sizeof table / sizeof table[0]) {
        ZTLOG(ZT_LOG_ERROR, "Interval index %d out of range for setting %d", index, settingId);
        return;
    }
    uint32_t seconds = table[index];
    if (nightLapse && seconds == 0)
        seconds = kNightLapseAuto;
    addCaption(preset, settingId, static_cast<int>(seconds), ctx);
}

// Easy-mode caption speed for frame-rate code f, resolution code r and speed
// class c. Columns: class 1, class 2, any other class; a negative entry in the
// last column means "depends on the resolution" (see easySpeed below).
struct EasySpeedRow {
    int8_t fps;
    uint8_t class1;
    uint8_t class2;
    uint8_t other;
    int8_t altRes;  // resolution code that selects altOther, or -1
    uint8_t altOther;
};
constexpr EasySpeedRow kEasySpeeds[] = {
    {0, 14, 16, 0, -1, 0}, {1, 4, 17, 1, 4, 25}, {2, 11, 21, 8, 4, 27},  {5, 5, 18, 2, 1, 24},
    {6, 12, 22, 9, 1, 26}, {8, 6, 19, 3, -1, 0}, {9, 13, 23, 10, -1, 0}, {13, 15, 20, 7, -1, 0},
};
// Used for a frame-rate code the table does not know.
constexpr EasySpeedRow kEasySpeedFallback = {-1, 6, 6, 3, -1, 0};

int easySpeed(int8_t res, int8_t fps, int8_t speedClass)
{
    const EasySpeedRow *row = nullptr;
    for (const EasySpeedRow &r : kEasySpeeds) {
        if (r.fps == fps) {
            row = &r;
            break;
        }
    }
    if (row == nullptr) {
        ZTLOG(ZT_LOG_ERROR, "Failed to find caption speed for res:%u, fps:%u",
              static_cast<unsigned>(static_cast<uint8_t>(res)),
              static_cast<unsigned>(static_cast<uint8_t>(fps)));
        row = &kEasySpeedFallback;
    }
    if (speedClass == 1)
        return row->class1;
    if (speedClass == 2)
        return row->class2;
    if (row->altRes >= 0 && res == row->altRes)
        return row->altOther;
    return row->other;
}

// Enum fields take any number the firmware reports. Numbers the schema does
// not name are kept as unknown fields of the same field number: they reach
// clients with the same wire bytes, and debug builds of the generated setters
// (which assert on unnamed values) never see them.
template <typename Enum>
void setEnumField(WSDK_Preset &preset, int fieldNumber, bool (*isValid)(int), int value,
                  void (WSDK_Preset::*setter)(Enum))
{
    if (isValid(value)) {
        (preset.*setter)(static_cast<Enum>(value));
    } else {
        preset.mutable_unknown_fields()->AddVarint(
            fieldNumber, static_cast<uint64_t>(static_cast<int64_t>(value)));
    }
}

bool isVideoFamily(int mode)
{
    switch (mode) {
    case 12:
    case 13:
    case 15:
    case 22:
    case 23:
    case 24:
    case 25:
    case 27:
        return true;
    default:
        return false;
    }
}

bool isPhotoFamily(int mode)
{
    return mode >= 16 && mode <= 18;
}

bool isMultiShotFamily(int mode)
{
    switch (mode) {
    case 19:
    case 20:
    case 21:
    case 26:
    case 29:
    case 30:
    case 31:
        return true;
    default:
        return false;
    }
}

}  // namespace

int8_t appc_settings_block::valueAt(size_t offset) const
{
    if (offset >= sizeof raw)
        return 0;
    int8_t v;
    memcpy(&v, &raw[offset], 1);
    return v;
}

bool parsePresetRecord(const void *bytes, size_t len, appc_presets_settings_info *out)
{
    if (bytes == nullptr || out == nullptr || len != kPresetRecordSize)
        return false;
    const uint8_t *p = static_cast<const uint8_t *>(bytes);
    appc_presets_settings_info r;
    r.flat_mode = p[0];
    r.preset_type = p[1];
    r.preset_id = readU32(p + 2);
    for (size_t i = 0; i < 4; ++i)
        r.user_data[i] = readU32(p + 8 + 4 * i);
    memcpy(r.settings_block.raw, p + kPresetSettingsBlockOffset, kPresetSettingsBlockSize);
    memcpy(&r.edited, p + 79, 1);
    memcpy(&r.easy_speed_class, p + 80, 1);
    *out = r;
    return true;
}

void loadVideoSettings(const appc_video_settings &block, WSDK_Preset &preset,
                       const PresetCaptionContext &ctx)
{
    const int mode = preset.mode();
    // Model 50 with lens mode 1 has no choice of lens in most video modes,
    // model 51 none in time-lapse video.
    const bool fixedLens50 = ctx.lensMode == 1 && ctx.model == kModel50;
    const bool fixedLens51 = ctx.lensMode == 1 && ctx.model == kModel51;
    switch (mode) {
    case 12:
    case 15:
    case 23:
    case 27:
        addCaption(preset, kSettingResolution, block.valueAt(video::kResolution), ctx);
        addCaption(preset, kSettingFrameRate, block.valueAt(video::kFrameRate), ctx);
        if (mode == 15)
            addCaption(preset, kSettingLoopInterval, block.valueAt(video::kLoopInterval), ctx);
        if (!fixedLens50)
            addCaption(preset, kSettingVideoLens, block.valueAt(video::kLens), ctx);
        break;
    case 13:
        addCaption(preset, kSettingResolution, block.valueAt(video::kResolution), ctx);
        addCaption(preset, kSettingTimeLapseRate, block.valueAt(video::kTimeLapseRate), ctx);
        if (!fixedLens51)
            addCaption(preset, kSettingVideoLens, block.valueAt(video::kLens), ctx);
        break;
    case 24:
        addCaption(preset, kSettingResolution, block.valueAt(video::kResolution), ctx);
        addCaption(preset, kSettingSwiftLapseSpeed, block.valueAt(video::kSwiftSpeed), ctx);
        if (!fixedLens50)
            addCaption(preset, kSettingVideoLens, block.valueAt(video::kLens), ctx);
        break;
    case 25:
        addCaption(preset, kSettingVideoLens, block.valueAt(video::kLens), ctx);
        break;
    default:
        break;
    }
}

void loadEasyModeVideoSettings(const appc_video_settings &block, WSDK_Preset &preset,
                               int8_t easySpeedClass, const PresetCaptionContext &ctx)
{
    switch (preset.mode()) {
    case 12: {
        const int speed = easySpeed(block.valueAt(video::kResolution),
                                    block.valueAt(video::kFrameRate), easySpeedClass);
        addCaption(preset, kSettingEasyVideoSpeed, speed, ctx);
        break;
    }
    case 24:
        addCaption(preset, kSettingEasySwiftLapseSpeed, block.valueAt(video::kEasySwiftSpeed), ctx);
        break;
    default:
        break;
    }
}

void loadPhotoSettings(const appc_photo_settings &block, WSDK_Preset &preset,
                       const PresetCaptionContext &ctx)
{
    if (preset.mode() == 18)
        addCaption(preset, kSettingPhotoNightExposure, block.valueAt(photo::kNightExposure), ctx);
    if (ctx.model == kModel51) {
        const uint32_t id = static_cast<uint32_t>(preset.id());
        if (id == kPresetDualPhoto || id == kPresetLiveBurst || id == kPresetDualPhoto3) {
            addCaption(preset, kSettingPhotoOutput, block.valueAt(photo::kOutput), ctx);
            // These two presets have a fixed lens: the output is their only caption.
            if (id == kPresetDualPhoto || id == kPresetLiveBurst)
                return;
        }
    }
    addCaption(preset, kSettingPhotoLens, block.valueAt(photo::kLens), ctx);
}

void loadEasyPhotoSettings(uint32_t presetId, WSDK_Preset &preset)
{
    // An option id stored as it is: the easy night photo is option 1.
    WSDK_PresetSetting *s = preset.add_setting_array();
    s->set_id(kSettingEasyPhotoNight);
    s->set_value(presetId == kPresetEasyNightPhoto ? 1 : 0);
    s->set_is_caption(true);
}

void loadMultishotSettings(const appc_multi_shot_settings &block, WSDK_Preset &preset,
                           const PresetCaptionContext &ctx)
{
    const int mode = preset.mode();
    const bool fixedLens51 = ctx.model == kModel51 && ctx.lensMode == 1;
    switch (mode) {
    case 19:
        addCaption(preset, kSettingBurstRate, block.valueAt(multishot::kBurstRate), ctx);
        addCaption(preset, kSettingMultiShotLens, block.valueAt(multishot::kLens), ctx);
        break;
    case 20:
        addIntervalCaption(preset, kSettingTimeLapseInterval, kTimeLapseIntervals,
                           block.valueAt(multishot::kTimeLapseIndex), false, ctx);
        if (!fixedLens51)
            addCaption(preset, kSettingMultiShotLens, block.valueAt(multishot::kLens), ctx);
        break;
    case 21:
        addCaption(preset, kSettingNightLapseShutter, block.valueAt(multishot::kNightLapseShutter),
                   ctx);
        addIntervalCaption(preset, kSettingNightLapseInterval, kNightLapseIntervals,
                           block.valueAt(multishot::kNightLapseIndex), true, ctx);
        if (!fixedLens51)
            addCaption(preset, kSettingMultiShotLens, block.valueAt(multishot::kLens), ctx);
        break;
    case 26:
        addCaption(preset, kSettingResolution, block.valueAt(multishot::kVideoResolution), ctx);
        addIntervalCaption(preset, kSettingNightLapseInterval, kNightLapseIntervals,
                           block.valueAt(multishot::kNightLapseIndex), true, ctx);
        addCaption(preset, kSettingVideoLens, block.valueAt(multishot::kVideoLens), ctx);
        break;
    case 29:
    case 30:
    case 31:
        addCaption(preset, kSettingResolution, block.valueAt(multishot::kVideoResolution), ctx);
        if (ctx.model == kModel60)
            addCaption(preset, kSettingStarTrailLength, block.valueAt(multishot::kStarTrailLength),
                       ctx);
        else
            addIntervalCaption(preset, kSettingNightLapseInterval, kNightLapseIntervals,
                               block.valueAt(multishot::kNightLapseIndex), true, ctx);
        addCaption(preset, kSettingVideoLens, block.valueAt(multishot::kVideoLens), ctx);
        break;
    default:
        break;
    }
}

void populatePresetInfo(const appc_presets_settings_info *record, WSDK_Preset &preset,
                        const PresetCaptionContext &ctx)
{
    if (record == nullptr)
        return;
    const int mode = record->flat_mode;
    setEnumField(preset, WSDK_Preset::kModeFieldNumber, wsdk_commands::WSDK_EnumFlatMode_IsValid,
                 mode, &WSDK_Preset::set_mode);
    preset.set_user_defined(record->preset_type != 0);
    setEnumField(preset, WSDK_Preset::kIconFieldNumber, wsdk_commands::WSDK_EnumPresetIcon_IsValid,
                 static_cast<int>(MapFWIconToWSDK(record->user_data[0], mode)),
                 &WSDK_Preset::set_icon);
    setEnumField(
        preset, WSDK_Preset::kTitleIdFieldNumber, wsdk_commands::WSDK_EnumPresetTitle_IsValid,
        static_cast<int>(MapFWTitleToWSDK(record->user_data[1])), &WSDK_Preset::set_title_id);
    if (record->user_data[2] != 0)
        preset.set_title_number(static_cast<int32_t>(record->user_data[2]));
    preset.set_is_modified(record->edited > 0);
    ZTLOG(ZT_LOG_INFO, "Preset 0x%x: mode %d, type %u, icon %u, title %u, number %u, data %u",
          record->preset_id, mode, record->preset_type, record->user_data[0], record->user_data[1],
          record->user_data[2], record->user_data[3]);

    // Easy presets show a single speed or night caption; model 60 has no easy mode.
    const bool easy = ctx.model != kModel60 && ctx.easyProMode != 1;
    // The record's block is copied into the layout its flat mode says it holds.
    const appc_settings_block &block = record->settings_block;
    if (isVideoFamily(mode)) {
        appc_video_settings v;
        memcpy(v.raw, block.raw, sizeof v.raw);
        if (easy)
            loadEasyModeVideoSettings(v, preset, record->easy_speed_class, ctx);
        else
            loadVideoSettings(v, preset, ctx);
    } else if (isPhotoFamily(mode)) {
        if (easy) {
            loadEasyPhotoSettings(record->preset_id, preset);
        } else {
            appc_photo_settings p;
            memcpy(p.raw, block.raw, sizeof p.raw);
            loadPhotoSettings(p, preset, ctx);
        }
    } else if (isMultiShotFamily(mode)) {
        appc_multi_shot_settings m;
        memcpy(m.raw, block.raw, sizeof m.raw);
        loadMultishotSettings(m, preset, ctx);
    }
}
