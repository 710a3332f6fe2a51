// Command server, the corrections applied to every freshly read status and
// settings block (values the daemon knows better than the firmware reports),
// and the one-time set-up of the state they use. Worker thread only, under
// m_commandMutex.
#include <string.h>

#include "camera_status.h"
#include "utils.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_if_server.h"

// The value last published as camera-state item 157; its low byte stands for
// a signed stabilizer value, so the initial 0xFF reads as -1 ("none yet").
static int32_t s_lastCsi157 = 0xFF;

namespace {

constexpr uint32_t kStabilizerCsiItem = 157;
constexpr uint8_t kModelWithoutSeparateGroups = 60;

// Byte offsets in the 634-byte block: S(n) status byte n, T(n) settings
// byte n.
constexpr size_t S(size_t n)
{
    return n;
}
constexpr size_t T(size_t n)
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

void ZtcontrolCommandServer::modSettingsAndStatuses(all_status_settings_t &block)
{
    uint8_t *b = bytes(block);
    const uint8_t model = GetCameraModel();

    // 1-2: multi-shot flat modes report their resolution and lens in the
    // multi-shot bytes; the status's flat mode follows the setting.
    if (isMultishotFlatMode(static_cast<int8_t>(b[T(kFlatMode)]))) {
        b[T(kVideoLens)] = b[T(kMultishotLens)];
        b[T(kVideoResolution)] = b[T(kMultishotResolution)];
    }
    b[S(kFlatModeStatus)] = b[T(kFlatMode)];

    // 3: the preset group as clients know it.
    const uint32_t group = readU32(b, S(kPresetGroupWord));
    if (model == kModelWithoutSeparateGroups) {
        if (isTimelapseGroup(group)) {
            b[S(kVideoGroupMode)] = b[S(kTimelapseGroupMode)];
            writeLE(b, S(kVideoPresetWord), readU32(b, S(kTimelapsePresetWord)));
        }
        writeLE(b, S(kPresetGroupWord), 0);
    } else {
        writeLE(b, S(kPresetGroupWord),
                static_cast<uint32_t>(RemapPresetGroup(static_cast<int>(group))));
    }

    // 4-5: the lens state is the daemon's, read again only after a failure.
    b[kLensModeByte] = GetLensMode();
    b[kLensByte] = GetLens();

    // 6: the modified flag only counts for the current preset. The current
    // preset is taken on every pass, so a refresh marked stale below happens
    // in the next pass whatever the flag says.
    const uint32_t current = GetCurrentPreset();
    const uint8_t modified = b[S(kPresetModified)];
    b[S(kPresetModified)] =
        ((modified == 1 || modified == 3) && readU32(b, S(kModifiedPresetWord)) == current) ? 1 : 0;

    // 7: ux mode.
    b[T(kUxMode)] = GetEasyProMode();

    // 8: with protune off in video, white balance and colour show their
    // protune defaults.
    if (b[T(kVideoProtune)] == 0 && b[T(kFlatMode)] == kFlatModeVideo) {
        b[T(kVideoWhiteBalance)] = kProtuneDefault;
        b[T(kVideoColor)] = kProtuneDefault;
    }

    // 9: publish the stabilizer setting when it changed.
    const int8_t stabilizer = static_cast<int8_t>(b[T(kStabilizer)]);
    if (stabilizer != static_cast<int8_t>(s_lastCsi157 & 0xFF)) {
        s_lastCsi157 = stabilizer;
        ZTCSIListener::GetInstance()->SetCSIValue(kStabilizerCsiItem,
                                                  static_cast<unsigned int>(s_lastCsi157));
    }

    // 10-11: a new ux mode or power profile changes the preset groups.
    if (b[T(kUxMode)] != m_easyProMode) {
        m_refreshCurrentPreset = true;
        m_presetsStale = true;
        m_easyProMode = b[T(kUxMode)];
    }
    if (b[S(kPowerProfile)] != m_powerProfile) {
        m_refreshCurrentPreset = true;
        m_presetsStale = true;
        m_powerProfile = b[S(kPowerProfile)];
    }

    // 12: horizon levelling on means the option the current video format
    // supports.
    if (b[T(kHorizonLeveling)] == 1 && model != kModelWithoutSeparateGroups)
        b[T(kHorizonLeveling)] = getHorizonControlSupportedOption(
            b[T(kVideoResolution)], b[T(kVideoFps)], b[T(kVideoLens)]);

    // 13: narrow is emulated with linear; clients keep seeing narrow.
    if (m_narrowAsLinear && b[T(kWebcamLens)] == kWebcamLinear)
        b[T(kWebcamLens)] = kWebcamNarrow;
}

void ZtcontrolCommandServer::initializeStatusVariables()
{
    ZTLOG(ZT_LOG_DEBUG, "Initializing status variables");
    m_needLenses = ztc_system_get_lenses(&m_cameraContext, &m_lensMode, &m_lens) != 0;
    ZTLOG(ZT_LOG_DEBUG, "Lens Mode is %d/Lens is %d, need lenses:%d", (int)m_lensMode, (int)m_lens,
          (int)m_needLenses);
    GetCurrentPreset();
    const uint8_t model = GetCameraModel();
    m_powerProfile = GetPowerProfile();
    m_easyProMode = GetEasyProMode();
    camera_status_init_bossCache(model, &m_bossCache);
}
