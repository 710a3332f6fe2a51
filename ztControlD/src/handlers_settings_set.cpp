// The change of one camera setting: the option is turned into the firmware
// value through the model's settings table, the change is wrapped in a
// preset edit so the active preset keeps it, and a few camera-specific
// corrections are applied (narrow field of view sent as linear with a 30%
// zoom, values the firmware stores differently, the pre-record exit outside
// menus, the preset refresh after a ux-mode change).
#include "CameraState.h"
#include "CommandHandler.h"
#include "PresetEditScope.h"
#include "ZTCSIListener.h"
#include "camera_blocks.h"
#include "camera_settings.h"
#include "utils.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_layouts.h"
#include "ztcontrol_preset_loader.h"
#include "ztcontrol_remote_ops.h"

namespace {

constexpr uint32_t kSettingResolution = 2;
constexpr uint32_t kSettingNightlapseInterval = 32;
constexpr uint32_t kSettingWebcamLens = 43;
constexpr uint32_t kSettingGpsLegacy = 55;
constexpr uint32_t kSettingGps = 91;
constexpr uint32_t kSettingFlatMode = 144;
constexpr uint32_t kSettingPreroll = 167;
constexpr uint32_t kSettingUxMode = 177;

constexpr uint32_t kLensOptionNarrow = 2;
constexpr uint32_t kLensOptionLinear = 4;
constexpr int32_t kPrerollOff = 4;
constexpr int32_t kNarrowZoomPercent = 30;

// CSI item through which other services learn that the presets changed.
constexpr unsigned kCsiPresetsChanged = 7;
constexpr unsigned kPresetsChangedValue = 0x8FFFFFF;

enum class NarrowTranslation { None, Started, Ended };

// Values a client may ask for that the firmware stores under another value.
int32_t correctedValue(uint32_t setting, int32_t value)
{
    if (setting == kSettingResolution && value == 17)
        return 13;
    if (setting == kSettingNightlapseInterval && value == 3601)
        return 0;  // automatic interval
    return value;
}

// Copies one block query into part, which must receive exactly size bytes.
// False (after its line) only for a wrong size: a failed query leaves the
// part zero and the change goes on.
bool fillBlockPart(ztc_msg_q_context_t &camera, uint8_t category, uint8_t identifier, uint8_t *part,
                   size_t size, const char *wrongSizeLine, const char *operation)
{
    int rc = ZT_OK;
    uint16_t length = 0;
    switch (
        readRemoteBlock(camera, category, identifier, part, size, BlockFit::Exact, rc, length)) {
    case BlockRead::Failed:
        ZT_LOGGED(rc, operation);
        return true;
    case BlockRead::Refused:  // one byte, so also of the wrong size
    case BlockRead::WrongSize:
        ZTLOG(ZT_LOG_ERROR, wrongSizeLine, (int)length);
        return false;
    case BlockRead::Good:
        break;
    }
    return true;
}

// The zoom is applied after the edit is stored, so it does not become part
// of the preset.
int applyNarrowZoom(CommandScope &scope, int setting, bool started)
{
    scope.edit.PresetEndEdit(setting);
    ZTLOG(ZT_LOG_DEBUG, started ? "Applying 30%% zoom" : "removing 30%% webcam zoom");
    const int rc =
        ZT_LOGGED(ztc_app_set_digital_zoom(&scope.camera, started ? kNarrowZoomPercent : 0),
                  "ztc_app_set_digital_zoom");
    ZTLOG(ZT_LOG_DEBUG, "done setting zoom");
    return rc;
}

// Carries out a well-formed change of `setting` to the client's option id;
// the result code of the change.
int changeSetting(CommandScope &scope, int model, const camera_settings_id_entry_t *table,
                  uint32_t count, uint32_t setting, uint32_t requestedOption)
{
    CameraState &state = scope.state;
    PresetEditScope &edit = scope.edit;
    uint32_t option = requestedOption;

    // A narrow field of view is made from linear and a 30% zoom; the zoom is
    // removed again by the next change of this setting.
    NarrowTranslation translation = NarrowTranslation::None;
    if (setting == kSettingWebcamLens) {
        if (option == kLensOptionNarrow) {
            ZTLOG(ZT_LOG_DEBUG, "modifying narrow request to linear");
            state.m_narrowAsLinear = 1;
            option = kLensOptionLinear;
            translation = NarrowTranslation::Started;
        } else if (state.m_narrowAsLinear) {
            ZTLOG(ZT_LOG_DEBUG, "unmodifying narrow from linear");
            state.m_narrowAsLinear = 0;
            translation = NarrowTranslation::Ended;
        }
    }
    int32_t value = getOptionValueById(model, setting, option);

    if (setting != kSettingGps) {
        ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_SET_SETTING_ID: setting:%d, option_id:%u value:%d",
              (int)setting, requestedOption, value);
        if (setting == kSettingFlatMode && IsFactoryPreset(state.GetCurrentPreset())) {
            ZTLOG(ZT_LOG_ERROR, "Cant set flat mode for factory preset");
            return ZT_ERR;
        }
        if (edit.zoomEditActive())
            edit.stopZooming("ZTCONTROL_SET_SETTING_ID");
    }

    // Switching pre-record off from outside a menu drops the buffer instead
    // of changing the preset.
    if (setting == kSettingPreroll && value == kPrerollOff && !state.m_inContextualMenu) {
        ZTLOG(ZT_LOG_DEBUG, "Special handling to exit preroll outside menus");
        return ZT_LOGGED(
            ztc_send_simple_remote_api(&scope.camera, kVideoCategory, kPrerollDeactivate),
            "REMOTE_VIDEO_PREROLL_DEACTIVATE");
    }

    if (!edit.PresetStartEdit(static_cast<int>(setting))) {
        ZTLOG(ZT_LOG_ERROR,
              "Failed to start preset edit for setting id:%d option_id:%u option_value:%d!",
              (int)setting, requestedOption, value);
        return ZT_ERR;
    }
    if (setting >= count) {
        edit.PresetEndEdit(static_cast<int>(setting));
        return ZT_ERR_INVALID_PARAM;
    }

    value = correctedValue(setting, value);
    if (setting == kSettingGpsLegacy)
        setting = kSettingGps;  // the firmware keeps one GPS setting
    // From here on the edit is ended with the corrected setting.
    const int editSetting = static_cast<int>(setting);
    if (setting >= count) {
        // A table without the GPS setting cannot carry the legacy one.
        edit.PresetEndEdit(editSetting);
        return ZT_ERR_INVALID_PARAM;
    }

    all_status_settings_t block{};
    if (!fillBlockPart(scope.camera, kSetupCategory, kAllSettingsGet, block.settings.raw,
                       sizeof block.settings.raw, "REMOTE_SYSTEM_ALL_SETTINGS_GET wrong size = %d",
                       "REMOTE_SETUP_ALL_SETTINGS_GET") ||
        !fillBlockPart(scope.camera, kSystemCategory, kAllStatusGet, block.status.raw,
                       sizeof block.status.raw, "REMOTE_SYSTEM_ALL_STATUS_GET wrong size = %d",
                       "REMOTE_SYSTEM_ALL_STATUS_GET")) {
        edit.PresetEndEdit(editSetting);
        return ZT_ERR;
    }
    state.modSettingsAndStatuses(block);

    const camera_settings_id_entry_t &entry = table[setting];
    int result = camera_if_settings_set_value_int(&scope.camera, setting, entry.fw_category,
                                                  entry.fw_identifier, value, entry.value_width,
                                                  &block.settings, &block.status);
    if (result != ZT_OK)
        ZTLOG(ZT_LOG_ERROR, "Error set setting# %d to %d", (int)setting, value);

    bool editEnded = false;
    if (result == ZT_OK && translation != NarrowTranslation::None) {
        result = applyNarrowZoom(scope, editSetting, translation == NarrowTranslation::Started);
        editEnded = true;
    }

    if (setting == kSettingUxMode) {
        // Easy and pro cameras offer different presets: every client must
        // list them again, whatever became of the change.
        state.m_refreshCurrentPreset = true;
        state.m_presetsStale = true;
        ZTLOG(ZT_LOG_DEBUG, "***********presets now need to be refreshed %d", kPresetsChangedValue);
        ZTCSIListener::GetInstance()->SetCSIValue(kCsiPresetsChanged, kPresetsChangedValue);
    }
    if (!editEnded)
        edit.PresetEndEdit(editSetting);
    return result;
}

}  // namespace

// Sets one setting to one of its options. Failures of the GPS setting leave
// no result line; those of the legacy GPS id, which the firmware carries
// under the same setting, do.
CommandResult cmdSetSettingId(CommandScope &scope, const CommandArgs &args)
{
    const int model = CameraState::GetCameraModel();
    uint32_t count = 0;
    const camera_settings_id_entry_t *table = camera_settings_id_table(model, &count);
    if (table == nullptr) {
        ZTLOG(ZT_LOG_ERROR, "Couldn't get settings_id_table_count");
        return ZT_ERR;
    }
    if (args.argument == nullptr || args.argument->getLength() < kZtSettingArgSize)
        return invalidParam();
    const uint32_t setting = readU32(args.argument->getData(), kZtSettingArgIdOffset);
    const uint32_t option = readU32(args.argument->getData(), kZtSettingArgOptionOffset);
    CommandResult result = changeSetting(scope, model, table, count, setting, option);
    if (setting == kSettingGps)
        result.quiet();
    return result;
}
