// The camera state cache: lens, power, ux mode and preset reads through the
// library, the corrections applied to every freshly read status and settings
// block, and the read of the camera model.
#include "CameraState.h"

#include "ZTCSIListener.h"
#include "preset_groups.h"
#include "utils.h"
#include "ztErrno.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_remote_ops.h"

uint8_t CameraState::m_cameraModel = 0;

// The value last published as camera-state item 157; its low byte stands for
// a signed stabilizer value, so the initial 0xFF reads as -1 ("none yet").
static int32_t s_lastCsi157 = 0xFF;

namespace {

// The model assumed while the camera cannot tell its own.
constexpr uint8_t kDefaultModel = 57;
constexpr uint32_t kNoPreset = 0xFFFFFFFFu;

constexpr uint32_t kStabilizerCsiItem = 157;
constexpr uint8_t kModelWithoutSeparateGroups = 60;

// Byte offsets in the 634-byte block: s(n) status byte n, t(n) settings
// byte n.
constexpr size_t s(size_t n)
{
    return n;
}
constexpr size_t t(size_t n)
{
    return CAMERA_STATUS_BLOCK_SIZE + n;
}
constexpr size_t kLensModeByte = 632;
constexpr size_t kLensByte = 633;

// Status words.
constexpr size_t kVideoPresetWord = 7;
constexpr size_t kTimelapsePresetWord = 15;
constexpr size_t kPresetGroupWord = 19;
constexpr size_t kModifiedPresetWord = 27;
// Status bytes.
constexpr size_t kFlatModeStatus = 0;
constexpr size_t kVideoGroupMode = 2;
constexpr size_t kTimelapseGroupMode = 4;
constexpr size_t kPresetModified = 33;
constexpr size_t kPowerProfile = 255;
// Settings bytes.
constexpr size_t kFlatMode = 25;
constexpr size_t kUxMode = 34;
constexpr size_t kStabilizer = 35;
constexpr size_t kVideoResolution = 42;
constexpr size_t kVideoFps = 43;
constexpr size_t kVideoLens = 44;
constexpr size_t kVideoWhiteBalance = 53;
constexpr size_t kVideoProtune = 57;
constexpr size_t kVideoColor = 60;
constexpr size_t kHorizonLeveling = 83;
constexpr size_t kMultishotResolution = 158;
constexpr size_t kMultishotLens = 160;
constexpr size_t kWebcamLens = 172;

// Values.
constexpr uint8_t kWebcamLinear = 4;
constexpr uint8_t kWebcamNarrow = 2;
constexpr uint8_t kProtuneDefault = 9;  // white balance and colour while protune is off
constexpr int8_t kFlatModeVideo = 12;

uint8_t *bytes(all_status_settings_t &block)
{
    return reinterpret_cast<uint8_t *>(&block);
}

// Flat modes whose video resolution and lens come from the multi-shot bytes.
bool isMultishotFlatMode(int8_t flatMode)
{
    return flatMode == 26 || flatMode == 29 || flatMode == 30 || flatMode == 31;
}

// Time-lapse preset groups (plain, Orbi lens, easy).
bool isTimelapseGroup(uint32_t group)
{
    return group == 2 || group == 5 || group == 13;
}

}  // namespace

unsigned char CameraState::GetCameraModel()
{
    if (m_cameraModel != 0)
        return m_cameraModel;
    uint8_t model = 0;
    if (ztc_state_get_model_number(&model) == 0) {
        m_cameraModel = model;
        return model;
    }
    ZTLOG(ZT_LOG_ERROR, "Couldn't get model_number");
    return kDefaultModel;
}

int CameraState::requestAllStatus(uint8_t *&answer, uint16_t &length)
{
    answer = nullptr;
    length = 0;
    return ztc_send_remote_api_for_response(&m_camera, kSystemCategory, kAllStatusGet, &answer,
                                            &length);
}

uint8_t CameraState::GetLensMode()
{
    if (m_needLenses) {
        m_needLenses = ztc_system_get_lenses(&m_camera, &m_lensMode, &m_lens) != 0;
        if (m_needLenses)
            ZTLOG(ZT_LOG_ERROR, "Failed to get lenses in GetLensMode()");
    }
    return static_cast<uint8_t>(m_lensMode);
}

uint8_t CameraState::getLens()
{
    if (m_needLenses) {
        m_needLenses = ztc_system_get_lenses(&m_camera, &m_lensMode, &m_lens) != 0;
        if (m_needLenses)
            ZTLOG(ZT_LOG_ERROR, "Failed to get lenses in GetLens()");
    }
    return static_cast<uint8_t>(m_lens);
}

uint8_t CameraState::GetLensType()
{
    if (ztc_system_get_lens_type(&m_camera, &m_lensType) != 0)
        ZTLOG(ZT_LOG_ERROR, "Error retrieving lens type");
    return m_lensType;
}

uint8_t CameraState::getPowerProfile()
{
    uint8_t profile = 0;
    if (ztc_system_get_power_profile(&m_camera, &profile) != 0)
        ZTLOG(ZT_LOG_ERROR, "Error retrieving power profile");
    return profile;
}

uint8_t CameraState::GetEasyProMode()
{
    uint8_t mode = 1;
    if (ztc_setup_get_camera_ux_mode(&m_camera, &mode) != 0)
        ZTLOG(ZT_LOG_ERROR, "Error retrieving ux easy/pro mode");
    return mode;
}

// The cached id is only replaced by a complete status block whose group
// names one of the video, photo or time-lapse families; special groups keep
// the last ordinary preset as "current".
uint32_t CameraState::GetCurrentPreset()
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
        presetOfGroupInStatus(answer, false, m_currentPreset);
        m_refreshCurrentPreset = false;
        ZTLOG(ZT_LOG_DEBUG, "Preset after get %d", (int)m_currentPreset);
    }
    ZTLOG(ZT_LOG_DEBUG, "Refresh Preset Done");
    return m_currentPreset;
}

uint32_t CameraState::GetActivePreset()
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
    presetOfGroupInStatus(answer, true, preset);
    ZTLOG(ZT_LOG_DEBUG, "Preset after active get %d", (int)preset);
    ZTLOG(ZT_LOG_DEBUG, "Get active preset done");
    return preset;
}

uint32_t CameraState::GetActivePresetGroup()
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
        group = statusWord(answer, kStatusGroupOffset);
    ZTLOG(ZT_LOG_DEBUG, "Get active preset group done");
    return group;
}

uint8_t CameraState::ConvertInputGroupToActualGroup(uint8_t group)
{
    const uint8_t lensType = GetLensType();
    const uint8_t powerProfile = getPowerProfile();
    const uint8_t uxMode = GetEasyProMode();
    return actualPresetGroup(group, GetCameraModel(), lensType, uxMode, powerProfile);
}

uint8_t CameraState::getHorizonControlSupportedOption(uint8_t a, uint8_t b, uint8_t c)
{
    const uint8_t payload[3] = {a, b, c};
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    const int rc = ztc_send_remote_api_payload_response(
        &m_camera, kVideoCategory, kHorizonSupportGet, payload, sizeof payload, &answer, &length);
    if (rc != ZT_OK) {
        ZTLOG(ZT_LOG_ERROR,
              "REMOTE_VIDEO_HORIZON_CONTROL_SUPPORT_GET Failed to get horizon "
              "supported option, returning off");
        return 0;
    }
    return answer != nullptr && length >= 1 ? answer[0] : 0;
}

// The model is read between the preset and the power profile, and handed
// back so the caller need not read it a second time.
uint8_t CameraState::initialize()
{
    ZTLOG(ZT_LOG_DEBUG, "Initializing status variables");
    m_needLenses = ztc_system_get_lenses(&m_camera, &m_lensMode, &m_lens) != 0;
    ZTLOG(ZT_LOG_DEBUG, "Lens Mode is %d/Lens is %d, need lenses:%d", (int)m_lensMode, (int)m_lens,
          (int)m_needLenses);
    GetCurrentPreset();
    const uint8_t model = GetCameraModel();
    m_powerProfile = getPowerProfile();
    m_easyProMode = GetEasyProMode();
    return model;
}

void CameraState::modSettingsAndStatuses(all_status_settings_t &block)
{
    uint8_t *b = bytes(block);
    const uint8_t model = GetCameraModel();

    // 1-2: multi-shot flat modes report their resolution and lens in the
    // multi-shot bytes; the status's flat mode follows the setting.
    if (isMultishotFlatMode(static_cast<int8_t>(b[t(kFlatMode)]))) {
        b[t(kVideoLens)] = b[t(kMultishotLens)];
        b[t(kVideoResolution)] = b[t(kMultishotResolution)];
    }
    b[s(kFlatModeStatus)] = b[t(kFlatMode)];

    // 3: the preset group as clients know it.
    const uint32_t group = readU32(b, s(kPresetGroupWord));
    if (model == kModelWithoutSeparateGroups) {
        if (isTimelapseGroup(group)) {
            b[s(kVideoGroupMode)] = b[s(kTimelapseGroupMode)];
            writeLE(b, s(kVideoPresetWord), readU32(b, s(kTimelapsePresetWord)));
        }
        writeLE(b, s(kPresetGroupWord), 0);
    } else {
        writeLE(b, s(kPresetGroupWord),
                static_cast<uint32_t>(RemapPresetGroup(static_cast<int>(group))));
    }

    // 4-5: the lens state is the daemon's, read again only after a failure.
    b[kLensModeByte] = GetLensMode();
    b[kLensByte] = getLens();

    // 6: the modified flag only counts for the current preset. The current
    // preset is taken on every pass, so a refresh marked stale below happens
    // in the next pass whatever the flag says.
    const uint32_t current = GetCurrentPreset();
    const uint8_t modified = b[s(kPresetModified)];
    b[s(kPresetModified)] =
        ((modified == 1 || modified == 3) && readU32(b, s(kModifiedPresetWord)) == current) ? 1 : 0;

    // 7: ux mode.
    b[t(kUxMode)] = GetEasyProMode();

    // 8: with protune off in video, white balance and colour show their
    // protune defaults.
    if (b[t(kVideoProtune)] == 0 && b[t(kFlatMode)] == kFlatModeVideo) {
        b[t(kVideoWhiteBalance)] = kProtuneDefault;
        b[t(kVideoColor)] = kProtuneDefault;
    }

    // 9: publish the stabilizer setting when it changed.
    const int8_t stabilizer = static_cast<int8_t>(b[t(kStabilizer)]);
    if (stabilizer != static_cast<int8_t>(s_lastCsi157 & 0xFF)) {
        s_lastCsi157 = stabilizer;
        ZTCSIListener::GetInstance()->SetCSIValue(kStabilizerCsiItem,
                                                  static_cast<unsigned int>(s_lastCsi157));
    }

    // 10-11: a new ux mode or power profile changes the preset groups.
    if (b[t(kUxMode)] != m_easyProMode) {
        m_refreshCurrentPreset = true;
        m_presetsStale = true;
        m_easyProMode = b[t(kUxMode)];
    }
    if (b[s(kPowerProfile)] != m_powerProfile) {
        m_refreshCurrentPreset = true;
        m_presetsStale = true;
        m_powerProfile = b[s(kPowerProfile)];
    }

    // 12: horizon levelling on means the option the current video format
    // supports.
    if (b[t(kHorizonLeveling)] == 1 && model != kModelWithoutSeparateGroups)
        b[t(kHorizonLeveling)] = getHorizonControlSupportedOption(
            b[t(kVideoResolution)], b[t(kVideoFps)], b[t(kVideoLens)]);

    // 13: narrow is emulated with linear; clients keep seeing narrow.
    if (m_narrowAsLinear && b[t(kWebcamLens)] == kWebcamLinear)
        b[t(kWebcamLens)] = kWebcamNarrow;
}
