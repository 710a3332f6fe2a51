// Command server, the change of one camera setting: the option is turned
// into the firmware value through the model's settings table, the change is
// wrapped in a preset edit so the active preset keeps it, and a few camera-
// specific corrections are applied (narrow field of view sent as linear with
// a 30% zoom, values the firmware stores differently, the pre-record exit
// outside menus, the preset refresh after a ux-mode change). Worker thread,
// m_commandMutex held.
#include <string.h>

#include "camera_settings.h"
#include "utils.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_if_server.h"
#include "ztcontrol_remote_ops.h"
#include "ztcontrol_preset_loader.h"

namespace {

ztc_msg_q_context_t *context()
{
    return &ZtcontrolCommandServer::m_cameraContext;
}

// Setting request: u32 setting id at 0, u32 option id at 4.
constexpr size_t kSettingArgLength = 8;

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

// Offsets of the three words the setting call takes from a table entry.
constexpr size_t kEntryWord16 = 16;
constexpr size_t kEntryWord20 = 20;
constexpr size_t kEntryWord24 = 24;

enum class NarrowTranslation { None, Started, Ended };

uint32_t entryWord(const camera_settings_id_entry_t &entry, size_t offset)
{
    return readU32(reinterpret_cast<const uint8_t *>(&entry) + offset);
}

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
bool fillBlockPart(uint8_t category, uint8_t identifier, uint8_t *part, size_t size,
                   const char *wrongSizeLine, const char *failureLine)
{
    int rc = ZT_OK;
    uint16_t length = 0;
    switch (readRemoteBlock(category, identifier, part, size, BlockFit::Exact, rc, length)) {
    case BlockRead::Failed:
        ZTLOG(ZT_LOG_ERROR, failureLine, rc);
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

}  // namespace

int ZtcontrolCommandServer::setSettingId(const MsgElement *argument, bool &quiet)
{
    const int model = GetCameraModel();
    uint32_t count = 0;
    const camera_settings_id_entry_t *table = camera_settings_id_table(model, &count);
    if (table == nullptr) {
        ZTLOG(ZT_LOG_ERROR, "Couldn't get settings_id_table_count");
        return ZT_ERR;
    }
    if (argument == nullptr || argument->getLength() < kSettingArgLength) {
        return invalidParam();
    }
    uint32_t setting = readU32(argument->getData());
    const uint32_t requestedOption = readU32(argument->getData() + 4);
    uint32_t option = requestedOption;
    quiet = setting == kSettingGps;

    // A narrow field of view is made from linear and a 30% zoom; the zoom is
    // removed again by the next change of this setting.
    NarrowTranslation translation = NarrowTranslation::None;
    if (setting == kSettingWebcamLens) {
        if (option == kLensOptionNarrow) {
            ZTLOG(ZT_LOG_DEBUG, "modifying narrow request to linear");
            m_narrowAsLinear = 1;
            option = kLensOptionLinear;
            translation = NarrowTranslation::Started;
        } else if (m_narrowAsLinear) {
            ZTLOG(ZT_LOG_DEBUG, "unmodifying narrow from linear");
            m_narrowAsLinear = 0;
            translation = NarrowTranslation::Ended;
        }
    }
    int32_t value = getOptionValueById(model, setting, option);

    if (setting != kSettingGps) {
        ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_SET_SETTING_ID: setting:%d, option_id:%u value:%d",
              (int)setting, requestedOption, value);
        if (setting == kSettingFlatMode && IsFactoryPreset(GetCurrentPreset())) {
            ZTLOG(ZT_LOG_ERROR, "Cant set flat mode for factory preset");
            return ZT_ERR;
        }
        if (m_zoomEditActive)
            stopZooming("ZTCONTROL_SET_SETTING_ID");
    }

    // Switching pre-record off from outside a menu drops the buffer instead
    // of changing the preset.
    if (setting == kSettingPreroll && value == kPrerollOff && !m_inContextualMenu) {
        ZTLOG(ZT_LOG_DEBUG, "Special handling to exit preroll outside menus");
        const int rc = ztc_send_simple_remote_api(context(), kVideoCategory, kPrerollDeactivate);
        if (rc != ZT_OK)
            ZTLOG(ZT_LOG_ERROR, "REMOTE_VIDEO_PREROLL_DEACTIVATE error, %d", rc);
        return rc;
    }

    if (!PresetStartEdit(static_cast<int>(setting))) {
        ZTLOG(ZT_LOG_ERROR,
              "Failed to start preset edit for setting id:%d option_id:%u option_value:%d!",
              (int)setting, requestedOption, value);
        return ZT_ERR;
    }
    if (setting >= count) {
        PresetEndEdit(static_cast<int>(setting));
        return ZT_ERR_INVALID_PARAM;
    }

    value = correctedValue(setting, value);
    if (setting == kSettingGpsLegacy)
        setting = kSettingGps;  // the firmware keeps one GPS setting
    // From here on the edit is ended with the corrected setting.
    const int editSetting = static_cast<int>(setting);
    if (setting >= count) {
        // A table without the GPS setting cannot carry the legacy one.
        PresetEndEdit(editSetting);
        return ZT_ERR_INVALID_PARAM;
    }

    all_status_settings_t block{};
    if (!fillBlockPart(kSetupCategory, kAllSettingsGet, block.settings.raw,
                       sizeof block.settings.raw, "REMOTE_SYSTEM_ALL_SETTINGS_GET wrong size = %d",
                       "REMOTE_SETUP_ALL_SETTINGS_GET error, %d") ||
        !fillBlockPart(kSystemCategory, kAllStatusGet, block.status.raw, sizeof block.status.raw,
                       "REMOTE_SYSTEM_ALL_STATUS_GET wrong size = %d",
                       "REMOTE_SYSTEM_ALL_STATUS_GET error, %d")) {
        PresetEndEdit(editSetting);
        return ZT_ERR;
    }
    modSettingsAndStatuses(block);

    const camera_settings_id_entry_t &entry = table[setting];
    int result = camera_if_settings_set_value_int(
        context(), setting, entryWord(entry, kEntryWord16), entryWord(entry, kEntryWord20), value,
        entryWord(entry, kEntryWord24), &block.settings, &block.status);
    if (result != ZT_OK)
        ZTLOG(ZT_LOG_ERROR, "Error set setting# %d to %d", (int)setting, value);

    bool editEnded = false;
    if (result == ZT_OK && translation != NarrowTranslation::None) {
        result = applyNarrowZoom(editSetting, translation == NarrowTranslation::Started);
        editEnded = true;
    }

    if (setting == kSettingUxMode) {
        // Easy and pro cameras offer different presets: every client must
        // list them again, whatever became of the change.
        m_refreshCurrentPreset = true;
        m_presetsStale = true;
        ZTLOG(ZT_LOG_DEBUG, "***********presets now need to be refreshed %d", kPresetsChangedValue);
        ZTCSIListener::GetInstance()->SetCSIValue(kCsiPresetsChanged, kPresetsChangedValue);
    }
    if (!editEnded)
        PresetEndEdit(editSetting);
    return result;
}

// The zoom is applied after the edit is stored, so it does not become part
// of the preset.
int ZtcontrolCommandServer::applyNarrowZoom(int setting, bool started)
{
    PresetEndEdit(setting);
    ZTLOG(ZT_LOG_DEBUG, started ? "Applying 30%% zoom" : "removing 30%% webcam zoom");
    const int rc = ztc_app_set_digital_zoom(context(), started ? kNarrowZoomPercent : 0);
    if (rc != ZT_OK)
        ZTLOG(ZT_LOG_ERROR, "ztc_app_set_digital_zoom error, %d", rc);
    ZTLOG(ZT_LOG_DEBUG, "done setting zoom");
    return rc;
}
