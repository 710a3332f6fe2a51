// What the daemon knows of the camera between commands: the cached lens
// bytes, power profile and ux mode, the current preset, whether the preset
// list must be read again, and the flags the settings and system commands
// keep for the status poll. Each getter reads the camera through the
// library when its cache is stale, logs a failed read and returns its
// fallback; none fails. Owned by the command server; worker thread (and the
// zoom timer's callback), always with m_commandMutex held.
#ifndef ZTCONTROL_CAMERA_STATE_H
#define ZTCONTROL_CAMERA_STATE_H

#include <stdint.h>

#include "camera_status.h"
#include "ztCtrlD.h"

class CameraState {
public:
    explicit CameraState(ztc_msg_q_context_t &camera) : m_camera(camera) {}
    CameraState(const CameraState &) = delete;
    CameraState &operator=(const CameraState &) = delete;

    // The camera model number, read once and cached for the process (57
    // while unreadable). Any thread after the first call.
    static unsigned char GetCameraModel();

    // Lens mode and lens, cached until a lens read fails or a preset event
    // or suspension marks them stale.
    uint8_t GetLensMode();
    uint8_t getLens();
    // Read fresh on every call; the last good value when the read fails.
    uint8_t GetLensType();
    uint8_t getPowerProfile();  // 0 when unreadable
    uint8_t GetEasyProMode();   // 1 pro, 0 easy; 1 when unreadable
    // The current preset id, cached until marked stale; kept across a
    // refused or malformed status read and while a special group is active.
    uint32_t GetCurrentPreset();
    // The active preset id read fresh (also in the special groups 6 and 7),
    // or 0xFFFFFFFF.
    uint32_t GetActivePreset();
    // The active firmware preset group read fresh, or 0.
    uint32_t GetActivePresetGroup();
    // The firmware group in use for base group 0, 1 or 2 on this camera now;
    // 255 when there is none.
    uint8_t ConvertInputGroupToActualGroup(uint8_t group);
    // REMOTE_SYSTEM_ALL_STATUS_GET with the answer in the library's buffer
    // (valid until the next library call); the library's status.
    int requestAllStatus(uint8_t *&answer, uint16_t &length);

    // The horizon-levelling option the camera supports for a video format
    // (three bytes of the settings block); 0 (off) when it cannot tell.
    uint8_t getHorizonControlSupportedOption(uint8_t a, uint8_t b, uint8_t c);

    // Reads the lens bytes, the current preset, power profile and ux mode
    // afresh (start of the worker loop, resume). Returns the camera model it
    // read on the way, for the caller's set-up that follows (reading it again
    // would repeat a failed read and its log line).
    uint8_t initialize();
    // Applies the daemon's corrections to a freshly read status and settings
    // block in place. Used by the poll and by the settings and status
    // commands on the blocks they answer.
    void modSettingsAndStatuses(all_status_settings_t &block);

    // The cache, read and marked stale by the event handling and the
    // commands.
    uint32_t m_currentPreset = 0;
    int8_t m_lensMode = 0;
    int8_t m_lens = 0;
    uint8_t m_lensType = 0;
    bool m_needLenses = false;
    bool m_refreshCurrentPreset = true;
    bool m_presetsStale = true;
    uint8_t m_easyProMode = 1;
    uint8_t m_powerProfile = 0;
    // Flags of the settings and system commands, read by the poll.
    uint8_t m_inContextualMenu = 0;
    uint8_t m_narrowAsLinear = 0;

private:
    ztc_msg_q_context_t &m_camera;
    static uint8_t m_cameraModel;
};

#endif  // ZTCONTROL_CAMERA_STATE_H
