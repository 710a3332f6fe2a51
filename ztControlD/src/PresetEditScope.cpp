// Preset activation and edits on behalf of commands, and the zoom edit that
// stays open between zoom steps until the worker timer closes it.
#include "PresetEditScope.h"

#include "CameraState.h"
#include "camera_settings.h"
#include "preset_groups.h"
#include "utils.h"
#include "ztcontrol_remote_ops.h"

namespace {

constexpr int kModel51 = 51;
constexpr int kFlatModePlayback = 4;
constexpr int kFlatModeUnknown = -1;
// A setting that may be changed in playback (it has its own rule in the
// settings command), so the playback check does not apply to it.
constexpr int kSettingAllowedInPlayback = 91;
constexpr int kGroupIdBase = 1000;
constexpr int kGroupIdLast = 1010;
constexpr int64_t kNoPresetForMode = -1;

// Holds a pthread mutex for its scope, so every return path releases it.
class ScopedLock {
public:
    explicit ScopedLock(pthread_mutex_t &mutex) : m_mutex(mutex) { pthread_mutex_lock(&m_mutex); }
    ~ScopedLock() { pthread_mutex_unlock(&m_mutex); }
    ScopedLock(const ScopedLock &) = delete;
    ScopedLock &operator=(const ScopedLock &) = delete;

private:
    pthread_mutex_t &m_mutex;
};

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

int PresetEditScope::LoadPresetFromMode(int mode)
{
    ZTLOG(ZT_LOG_DEBUG, "Input mode is %d for loading preset", mode);
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    const int status = m_state.requestAllStatus(answer, length);
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
    const uint32_t presetOfGroup[3] = {statusWord(answer, kStatusVideoPresetOffset),
                                       statusWord(answer, kStatusPhotoPresetOffset),
                                       statusWord(answer, kStatusTimeLapsePresetOffset)};
    const uint32_t group = statusWord(answer, kStatusGroupOffset);

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
        const int64_t predefined =
            predefinedPresetForFlatMode(mode, dual, CameraState::GetCameraModel());
        if (predefined == kNoPresetForMode)
            return -1;
        preset = static_cast<uint32_t>(predefined);
    }
    const PresetIdPayload payload(preset);
    return ztc_send_remote_api_payload(&m_camera, kPresetCategory, kPresetActiveSet, payload.bytes,
                                       sizeof(payload.bytes));
}

bool PresetEditScope::PresetStartEdit(int settingId)
{
    int32_t appMode = 0;
    int32_t flatMode = kFlatModeUnknown;
    ztc_app_get_mode_flat_mode(&m_camera, &appMode, &flatMode);
    ZTLOG(ZT_LOG_INFO, "------Current flatmode is %d", (int)flatMode);
    if (settingId != kSettingAllowedInPlayback &&
        (flatMode == kFlatModePlayback || flatMode == kFlatModeUnknown))
        return false;
    if (bypassPresetEditStart(settingId, CameraState::GetCameraModel()))
        return true;
    const PresetIdPayload payload(m_state.GetActivePreset());
    const int status = ztc_send_remote_api_payload(&m_camera, kPresetCategory, kPresetEditStart,
                                                   payload.bytes, sizeof(payload.bytes));
    if (status != 0) {
        ZTLOG(ZT_LOG_ERROR, "ztc_send_remote_api_payload error, %d\n", status);
        return false;
    }
    return true;
}

bool PresetEditScope::PresetEndEdit(int settingId)
{
    if (bypassPresetEditStart(settingId, CameraState::GetCameraModel()))
        return true;
    const int status = ztc_send_simple_remote_api(&m_camera, kPresetCategory, kPresetEditStore);
    if (status != 0) {
        ZTLOG(ZT_LOG_ERROR, "ztc_send_simple_remote_api error, %d\n", status);
        return false;
    }
    return true;
}

// Entered and left with m_commandMutex held; lets go of it only while it
// arms the timer.
bool PresetEditScope::holdZoomEdit()
{
    if (!m_zoomEditActive) {
        if (!PresetStartEdit(kNoSetting)) {
            ZTLOG(ZT_LOG_ERROR, "Failed to start preset edit!");
            return false;
        }
        m_zoomEditActive = true;
    }
    // The timer's callback takes the timer's mutex and then m_commandMutex;
    // arming while holding m_commandMutex would invert that order.
    pthread_mutex_unlock(&m_commandMutex);
    m_workerTimer.arm(kZoomEditWindowMs, &PresetEditScope::stopEdit, this);
    pthread_mutex_lock(&m_commandMutex);
    // The previous window may have closed the edit while the mutex was free;
    // the new window then needs an edit of its own.
    if (!m_zoomEditActive) {
        if (!PresetStartEdit(kNoSetting)) {
            ZTLOG(ZT_LOG_ERROR, "Failed to start preset edit!");
            return false;
        }
        m_zoomEditActive = true;
    }
    return true;
}

// Runs on the zoom timer's thread with the timer's mutex held; taking
// m_commandMutex after it is the one allowed order between the two.
void PresetEditScope::stopEdit(void *scope)
{
    PresetEditScope *self = static_cast<PresetEditScope *>(scope);
    ScopedLock hold(self->m_commandMutex);
    if (self->m_zoomEditActive) {
        self->PresetEndEdit(kNoSetting);
        self->m_zoomEditActive = false;
    }
}

// Never waits for the timer's mutex while m_commandMutex is held: when the
// timer thread has it (about to call stopEdit), the cancel is skipped and
// stopEdit later finds no open edit.
void PresetEditScope::stopZooming(const std::string &commandName)
{
    if (!m_zoomEditActive)
        return;
    m_workerTimer.cancel();
    PresetEndEdit(kNoSetting);
    ZTLOG(ZT_LOG_ERROR, "%s change wile zoomin, you are an aggressive user", commandName.c_str());
    m_zoomEditActive = false;
}
