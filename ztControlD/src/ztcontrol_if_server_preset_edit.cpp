// Command server, preset activation and edits on behalf of clients: makes the
// preset of a capture mode active, opens and stores the firmware's preset
// edit around a change, and closes the edit that digital zoom keeps open
// between zoom steps (from the worker timer, or before a mode change).
// Worker thread with m_commandMutex held, except stopEdit (zoom timer thread,
// takes m_commandMutex itself).
#include <string>

#include "camera_settings.h"
#include "utils.h"
#include "ztcontrol_if_server.h"
#include "ztcontrol_remote_ops.h"

namespace {

constexpr int kModel51 = 51;
constexpr int kNoSetting = -1;
constexpr int kFlatModePlayback = 4;
constexpr int kFlatModeUnknown = -1;
// A setting that may be changed in playback (it has its own rule in the
// settings command), so the playback check does not apply to it.
constexpr int kSettingAllowedInPlayback = 91;
constexpr int kGroupIdBase = 1000;
constexpr int kGroupIdLast = 1010;
constexpr int64_t kNoPresetForMode = -1;

// The 4-byte little-endian payload of the preset operations that name a
// preset.
struct PresetIdPayload {
    explicit PresetIdPayload(uint32_t id)
        : bytes{static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8),
                static_cast<uint8_t>(id >> 16), static_cast<uint8_t>(id >> 24)}
    {
    }
    uint8_t bytes[4];
};

// The predefined preset a flat mode starts from; `dual` when the camera is in
// an Orbi-lens group. Model 51 lacks most of the predefined presets.
int64_t predefinedPresetForFlatMode(int mode, bool dual, int model)
{
    const bool model51 = model == kModel51;
    switch (mode) {
    case 12:
        return dual ? 0x30000 : 0;
    case 16:
    case 17:
        return dual ? 0x40000 : 0x10000;
    case 24:
        return 0x20000;
    case 13:
    case 20:
        return model51 ? kNoPresetForMode : 0x20001;
    case 18:
        return model51 ? kNoPresetForMode : 0x10003;
    case 19:
        return model51 ? kNoPresetForMode : 0x10002;
    case 21:
    case 26:
        return model51 ? kNoPresetForMode : 0x20002;
    case 25:
        return model51 ? kNoPresetForMode : 0x10001;
    case 27:
        return model51 ? kNoPresetForMode : 3;
    case 29:
        return model51 ? kNoPresetForMode : 0x20003;
    case 30:
        return model51 ? kNoPresetForMode : 0x20005;
    case 31:
        return model51 ? kNoPresetForMode : 0x20004;
    default:
        return kNoPresetForMode;
    }
}

}  // namespace

int ZtcontrolCommandServer::LoadPresetFromMode(int mode)
{
    ZTLOG(ZT_LOG_DEBUG, "Input mode is %d for loading preset", mode);
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    const int status = requestAllStatus(answer, length);
    if (status != 0) {
        ZTLOG(ZT_LOG_ERROR, "ztc_send_remote_api_for_response error, %d @ %s:%d\n", status,
              __FILE__, __LINE__);
        return status;
    }
    if (isNakOff(answer, length)) {
        ZTLOG(ZT_LOG_DEBUG, "Camera status returning ZT_ERR_NACK_OFF\n");
        return -1;
    }
    if (answer == nullptr || length != CAMERA_STATUS_BLOCK_SIZE) {
        ZTLOG(ZT_LOG_ERROR, "ASSERT ERROR - status_all size does not match rsp size=%d",
              (int)length);
        return -1;
    }
    const uint32_t presetOfGroup[3] = {StatusWord(answer, kStatusVideoPresetOffset),
                                       StatusWord(answer, kStatusPhotoPresetOffset),
                                       StatusWord(answer, kStatusTimeLapsePresetOffset)};
    const uint32_t group = StatusWord(answer, kStatusGroupOffset);

    uint32_t preset = 0;
    if (mode >= kGroupIdBase && mode <= kGroupIdLast) {
        ZTLOG(ZT_LOG_DEBUG, "Received a group %d", mode);
        const int base = mode - kGroupIdBase;
        if (base > 5) {
            ZTLOG(ZT_LOG_DEBUG, "Found preset %d and is %d", 0, 0);
            return -1;
        }
        preset = presetOfGroup[base % 3];
        ZTLOG(ZT_LOG_DEBUG, "Found preset %d and is %d", 1, (int)preset);
    } else {
        const bool dual = group >= 3 && group <= 5;
        const int64_t predefined = predefinedPresetForFlatMode(mode, dual, GetCameraModel());
        if (predefined == kNoPresetForMode)
            return -1;
        preset = static_cast<uint32_t>(predefined);
    }
    const PresetIdPayload payload(preset);
    return ztc_send_remote_api_payload(&m_cameraContext, kPresetCategory, kPresetActiveSet,
                                       payload.bytes, sizeof(payload.bytes));
}

bool ZtcontrolCommandServer::PresetStartEdit(int settingId)
{
    int32_t appMode = 0;
    int32_t flatMode = kFlatModeUnknown;
    ztc_app_get_mode_flat_mode(&m_cameraContext, &appMode, &flatMode);
    ZTLOG(ZT_LOG_INFO, "------Current flatmode is %d", (int)flatMode);
    if (settingId != kSettingAllowedInPlayback &&
        (flatMode == kFlatModePlayback || flatMode == kFlatModeUnknown))
        return false;
    if (bypassPresetEditStart(settingId, GetCameraModel()))
        return true;
    const PresetIdPayload payload(GetActivePreset());
    const int status = ztc_send_remote_api_payload(
        &m_cameraContext, kPresetCategory, kPresetEditStart, payload.bytes, sizeof(payload.bytes));
    if (status != 0) {
        ZTLOG(ZT_LOG_ERROR, "ztc_send_remote_api_payload error, %d\n", status);
        return false;
    }
    return true;
}

bool ZtcontrolCommandServer::PresetEndEdit(int settingId)
{
    if (bypassPresetEditStart(settingId, GetCameraModel()))
        return true;
    const int status =
        ztc_send_simple_remote_api(&m_cameraContext, kPresetCategory, kPresetEditStore);
    if (status != 0) {
        ZTLOG(ZT_LOG_ERROR, "ztc_send_simple_remote_api error, %d\n", status);
        return false;
    }
    return true;
}

// Runs on the zoom timer's thread with the timer's mutex held; taking
// m_commandMutex after it is the one allowed order between the two.
void ZtcontrolCommandServer::stopEdit(void *server)
{
    ZtcontrolCommandServer *self = static_cast<ZtcontrolCommandServer *>(server);
    Lock hold(self->m_commandMutex);
    if (self->m_zoomEditActive) {
        self->PresetEndEdit(kNoSetting);
        self->m_zoomEditActive = false;
    }
}

// Never waits for the timer's mutex while m_commandMutex is held: when the
// timer thread has it (about to call stopEdit), the cancel is skipped and
// stopEdit later finds no open edit.
void ZtcontrolCommandServer::stopZooming(std::string commandName)
{
    if (!m_zoomEditActive)
        return;
    m_workerTimer.cancel();
    PresetEndEdit(kNoSetting);
    ZTLOG(ZT_LOG_ERROR, "%s change wile zoomin, you are an aggressive user", commandName.c_str());
    m_zoomEditActive = false;
}
