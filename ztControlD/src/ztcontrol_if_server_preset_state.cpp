// Command server, lens, power and preset-group state shared by the event
// handling, status polling, the capture and preset commands: the cached lens
// bytes, the current and active preset read from the all-status block, the
// firmware group numbering and the names of the firmware's preset events.
// Worker thread (and the zoom timer's stopEdit), m_commandMutex held.
#include "utils.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_if_server.h"
#include "ztcontrol_remote_ops.h"

const char *ZtcontrolCommandServer::PresetEventText(uint8_t event)
{
    static const char *const kNames[] = {
        "APPC_SYSTEM_PRESET_EDIT_START",      "APPC_SYSTEM_PRESET_EDIT_STORE",
        "APPC_SYSTEM_PRESET_EDIT_CANCEL",     "APPC_SYSTEM_PRESET_GROUP_PRESET_CREATED",
        "APPC_SYSTEM_PRESET_GROUP_REORDERED", "APPC_SYSTEM_PRESET_GROUP_PRESET_REMOVED",
        "APPC_SYSTEM_PRESET_ACTIVE_SET",      "APPC_SYSTEM_PRESET_RESET",
        "APPC_SYSTEM_PRESET_CHANGED",
    };
    if (event < sizeof(kNames) / sizeof(kNames[0]))
        return kNames[event];
    return "unknown";
}

// Orbi-lens groups (3 to 5), the power-profile video groups (8, 9, 14) and
// the easy groups (10 to 13) are variants of video, photo and time lapse.
int ZtcontrolCommandServer::RemapPresetGroup(int group)
{
    switch (group) {
    case 3:
    case 8:
    case 9:
    case 10:
    case 11:
    case 14:
        return 0;
    case 4:
    case 12:
        return 1;
    case 5:
    case 13:
        return 2;
    default:
        return group;
    }
}

namespace {

constexpr uint32_t kNoPreset = 0xFFFFFFFFu;
constexpr uint8_t kNoGroup = 255;

}  // namespace

uint32_t ZtcontrolCommandServer::StatusWord(const uint8_t *status, size_t offset)
{
    return readU32(status, offset);
}

int ZtcontrolCommandServer::requestAllStatus(uint8_t *&answer, uint16_t &length)
{
    answer = nullptr;
    length = 0;
    return ztc_send_remote_api_for_response(&m_cameraContext, kSystemCategory, kAllStatusGet,
                                            &answer, &length);
}

bool ZtcontrolCommandServer::PresetOfGroupInStatus(const uint8_t *status, bool withSpecial,
                                                   uint32_t &preset)
{
    size_t offset = 0;
    switch (StatusWord(status, kStatusGroupOffset)) {
    case 0:
    case 3:
    case 8:
    case 9:
    case 10:
    case 11:
    case 14:
        offset = kStatusVideoPresetOffset;
        break;
    case 1:
    case 4:
    case 12:
        offset = kStatusPhotoPresetOffset;
        break;
    case 2:
    case 5:
    case 13:
        offset = kStatusTimeLapsePresetOffset;
        break;
    case 6:
    case 7:
        if (!withSpecial)
            return false;
        offset = kStatusSpecialPresetOffset;
        break;
    default:
        return false;
    }
    preset = StatusWord(status, offset);
    return true;
}

uint8_t ZtcontrolCommandServer::GetLensMode()
{
    if (m_needLenses) {
        m_needLenses = ztc_system_get_lenses(&m_cameraContext, &m_lensMode, &m_lens) != 0;
        if (m_needLenses)
            ZTLOG(ZT_LOG_ERROR, "Failed to get lenses in GetLensMode()");
    }
    return static_cast<uint8_t>(m_lensMode);
}

uint8_t ZtcontrolCommandServer::GetLens()
{
    if (m_needLenses) {
        m_needLenses = ztc_system_get_lenses(&m_cameraContext, &m_lensMode, &m_lens) != 0;
        if (m_needLenses)
            ZTLOG(ZT_LOG_ERROR, "Failed to get lenses in GetLens()");
    }
    return static_cast<uint8_t>(m_lens);
}

uint8_t ZtcontrolCommandServer::GetLensType()
{
    if (ztc_system_get_lens_type(&m_cameraContext, &m_lensType) != 0)
        ZTLOG(ZT_LOG_ERROR, "Error retrieving lens type");
    return m_lensType;
}

uint8_t ZtcontrolCommandServer::GetPowerProfile()
{
    uint8_t profile = 0;
    if (ztc_system_get_power_profile(&m_cameraContext, &profile) != 0)
        ZTLOG(ZT_LOG_ERROR, "Error retrieving power profile");
    return profile;
}

uint8_t ZtcontrolCommandServer::GetEasyProMode()
{
    uint8_t mode = 1;
    if (ztc_setup_get_camera_ux_mode(&m_cameraContext, &mode) != 0)
        ZTLOG(ZT_LOG_ERROR, "Error retrieving ux easy/pro mode");
    return mode;
}

// The cached id is only replaced by a complete status block whose group
// names one of the video, photo or time-lapse families; special groups keep
// the last ordinary preset as "current".
uint32_t ZtcontrolCommandServer::GetCurrentPreset()
{
    if (!m_refreshCurrentPreset)
        return m_currentPreset;
    ZTLOG(ZT_LOG_DEBUG, "Getting active preset back");
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    const int status = requestAllStatus(answer, length);
    if (status != 0) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_SYSTEM_ALL_STATUS_GET failed getting current preset, %d",
              status);
        return m_currentPreset;
    }
    if (isNakOff(answer, length)) {
        ZTLOG(ZT_LOG_ERROR, "Response was null or size was bad for get%d", (int)length);
        return m_currentPreset;
    }
    if (answer != nullptr && length == CAMERA_STATUS_BLOCK_SIZE) {
        PresetOfGroupInStatus(answer, false, m_currentPreset);
        m_refreshCurrentPreset = false;
        ZTLOG(ZT_LOG_DEBUG, "Preset after get %d", (int)m_currentPreset);
    }
    ZTLOG(ZT_LOG_DEBUG, "Refresh Preset Done");
    return m_currentPreset;
}

uint32_t ZtcontrolCommandServer::GetActivePreset()
{
    ZTLOG(ZT_LOG_DEBUG, "Getting active preset back");
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    const int status = requestAllStatus(answer, length);
    if (status != 0) {
        ZTLOG(ZT_LOG_ERROR, "REMOTE_SYSTEM_ALL_STATUS_GET failed getting active preset, %d",
              status);
        return kNoPreset;
    }
    if (isNakOff(answer, length)) {
        ZTLOG(ZT_LOG_ERROR, "Response was null or size was bad for get%d", (int)length);
        return kNoPreset;
    }
    if (answer == nullptr || length != CAMERA_STATUS_BLOCK_SIZE)
        return kNoPreset;
    uint32_t preset = kNoPreset;
    PresetOfGroupInStatus(answer, true, preset);
    ZTLOG(ZT_LOG_DEBUG, "Preset after active get %d", (int)preset);
    ZTLOG(ZT_LOG_DEBUG, "Get active preset done");
    return preset;
}

uint32_t ZtcontrolCommandServer::GetActivePresetGroup()
{
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    uint32_t group = 0;
    const int status = requestAllStatus(answer, length);
    if (status != 0)
        ZTLOG(ZT_LOG_ERROR, "REMOTE_SYSTEM_ALL_STATUS_GET failed getting active preset group, %d",
              status);
    else if (isNakOff(answer, length))
        ZTLOG(ZT_LOG_ERROR, "Response was null or size was bad for get%d", (int)length);
    else if (answer != nullptr && length == CAMERA_STATUS_BLOCK_SIZE)
        group = StatusWord(answer, kStatusGroupOffset);
    ZTLOG(ZT_LOG_DEBUG, "Get active preset group done");
    return group;
}

uint8_t ZtcontrolCommandServer::ConvertInputGroupToActualGroup(uint8_t group)
{
    const uint8_t lensType = GetLensType();
    const uint8_t powerProfile = GetPowerProfile();
    const uint8_t uxMode = GetEasyProMode();
    return ActualPresetGroup(group, GetCameraModel(), lensType, uxMode, powerProfile);
}

// Dual-lens cameras (model 60, or an Orbi lens fitted) have their own three
// groups; otherwise the ux mode picks pro or easy groups and the power
// profile picks which video group is in use.
uint8_t ZtcontrolCommandServer::ActualPresetGroup(uint8_t group, int model, uint8_t lensType,
                                                  uint8_t uxMode, uint8_t powerProfile)
{
    if (group > 2)
        return kNoGroup;
    if (model == 60 || lensType == 1)
        return static_cast<uint8_t>(group + 3);
    if (uxMode == 1) {
        if (group != 0)
            return group;
        static const uint8_t kProVideo[] = {0, 8, 9};
        return powerProfile < 3 ? kProVideo[powerProfile] : kNoGroup;
    }
    if (uxMode == 0) {
        if (group != 0)
            return static_cast<uint8_t>(group == 1 ? 12 : 13);
        static const uint8_t kEasyVideo[] = {10, 11, 14};
        return powerProfile < 3 ? kEasyVideo[powerProfile] : kNoGroup;
    }
    return kNoGroup;
}

wsdk_commands::WSDK_EnumPresetGroupIcon ZtcontrolCommandServer::getPresetGroupIcon(int baseGroup,
                                                                                   int powerProfile,
                                                                                   int orbiLens)
{
    using namespace wsdk_commands;
    if (orbiLens == 1) {
        switch (baseGroup) {
        case 0:
            return WSDK_PRESET_GROUP_ORBI_VIDEO_ICON_ID;
        case 1:
            return WSDK_PRESET_GROUP_ORBI_PHOTO_ICON_ID;
        case 2:
            return WSDK_PRESET_GROUP_ORBI_TIMELAPSE_ICON_ID;
        default:
            break;
        }
    }
    switch (baseGroup) {
    case 0:
        if (powerProfile == 2)
            return WSDK_PRESET_GROUP_LONG_BAT_VIDEO_ICON_ID;
        if (powerProfile == 1)
            return WSDK_PRESET_GROUP_ENDURANCE_VIDEO_ICON_ID;
        return WSDK_PRESET_GROUP_VIDEO_ICON_ID;
    case 1:
        return WSDK_PRESET_GROUP_PHOTO_ICON_ID;
    case 2:
        return WSDK_PRESET_GROUP_TIMELAPSE_ICON_ID;
    default:
        return WSDK_PRESET_GROUP_VIDEO_ICON_ID;
    }
}

// Which firmware groups a camera in each ux mode and power profile shows;
// photo and time lapse are shared by the pro profiles, and by the easy ones.
bool ZtcontrolCommandServer::isProPresetGroup(int group)
{
    return group >= 0 && group <= 2;
}
bool ZtcontrolCommandServer::isProEndurancePresetGroup(int group)
{
    return group == 1 || group == 2 || group == 8;
}
bool ZtcontrolCommandServer::isProLongestBatteryPresetGroup(int group)
{
    return group == 1 || group == 2 || group == 9;
}
bool ZtcontrolCommandServer::isEasyPresetGroup(int group)
{
    return group == 10 || group == 12 || group == 13;
}
bool ZtcontrolCommandServer::isEasyEndurancePresetGroup(int group)
{
    return group == 11 || group == 12 || group == 13;
}
bool ZtcontrolCommandServer::isOrbiPresetGroup(int group)
{
    return group >= 3 && group <= 5;
}
