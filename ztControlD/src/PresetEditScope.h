// Preset activation and edits on behalf of commands: makes the preset of a
// capture mode active, opens and stores the firmware's preset edit around a
// change, and keeps the edit that digital zoom holds open between zoom steps,
// closed by the worker timer kZoomEditWindowMs after the last step. Owned by
// the command server; worker thread with m_commandMutex held, except
// stopEdit (the timer's thread, which takes m_commandMutex itself).
#ifndef ZTCONTROL_PRESET_EDIT_SCOPE_H
#define ZTCONTROL_PRESET_EDIT_SCOPE_H

#include <pthread.h>

#include <string>

#include "ZeltoTimer.h"
#include "ztCtrlD.h"

class CameraState;

class PresetEditScope {
public:
    static constexpr int kNoSetting = -1;
    static constexpr int kZoomEditWindowMs = 200;

    PresetEditScope(ztc_msg_q_context_t &camera, CameraState &state, pthread_mutex_t &commandMutex)
        : m_camera(camera), m_state(state), m_commandMutex(commandMutex)
    {
    }
    PresetEditScope(const PresetEditScope &) = delete;
    PresetEditScope &operator=(const PresetEditScope &) = delete;

    // Makes the preset of a flat mode (or of a group id 1000 to 1005)
    // active: the activation's status, the status read's failure, or -1.
    int LoadPresetFromMode(int mode);
    // Open and store the firmware's preset edit around a change of
    // settingId (kNoSetting: not tied to one setting). True: the caller may
    // go on.
    bool PresetStartEdit(int settingId);
    bool PresetEndEdit(int settingId);

    // Digital zoom: opens the zoom edit unless one is open, and (re)arms the
    // timer that stores it. Lets go of m_commandMutex while it arms the
    // timer (the timer's callback takes the timer's mutex, then
    // m_commandMutex). False when the edit could not be opened.
    bool holdZoomEdit();
    bool zoomEditActive() const { return m_zoomEditActive; }
    // Closes an open zoom edit before a change that must not land in it;
    // commandName names the change in the log.
    void stopZooming(const std::string &commandName);
    // Zoom timer callback (arg: the scope): closes the zoom edit if open.
    static void stopEdit(void *scope);
    // Stops the timer's thread; must run before m_commandMutex is destroyed.
    void stopTimer() { m_workerTimer.stop(); }

private:
    ztc_msg_q_context_t &m_camera;
    CameraState &m_state;
    pthread_mutex_t &m_commandMutex;
    bool m_zoomEditActive = false;
    // One-shot timer that closes preset edits opened by digital zoom; its
    // thread runs from construction to destruction.
    ZeltoTimer m_workerTimer;
};

#endif  // ZTCONTROL_PRESET_EDIT_SCOPE_H
