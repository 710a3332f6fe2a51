// The simulated camera: one consistent camera state (model, lenses, power
// profile, ux mode, capture, modes, settings) with its status and settings
// blocks, its presets, accessory module and memory card, and the firmware's
// answers to every library request. Works without queues: the link server
// feeds it requests and sends what it answers and reports. Single-threaded;
// times are monotonic milliseconds passed in by the caller.
#ifndef ZTSIM_SIM_CAMERA_H
#define ZTSIM_SIM_CAMERA_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "accessory_module.h"
#include "camera_blocks.h"
#include "fw_answer.h"
#include "media_store.h"
#include "preset_store.h"

namespace ztsim {

// Something the firmware side reports to the daemon on its own.
struct CameraEvent {
  enum Kind { kPresetUpdate, kSuspend, kResume };
  Kind kind;
  PresetEvent preset;  // for kPresetUpdate
};

class SimCamera {
 public:
  static constexpr int kDefaultModel = 57;
  static constexpr int64_t kDefaultOffMs = 3000;
  // After a model change the daemon is asked to resume this much later.
  static constexpr int64_t kModelChangeResumeMs = 500;

  explicit SimCamera(int model = kDefaultModel, int64_t nowMs = 0);

  // --- Link requests ---
  // A firmware operation ("RA"): category, identifier, payload.
  FwAnswer remote(uint8_t category, uint8_t id, const Bytes& payload, int64_t nowMs);
  // A typed call ("TC"): function name and its encoded input arguments.
  FwAnswer typed(const std::string& function, const Bytes& args, int64_t nowMs);
  // An accessory-module command ("AX").
  FwAnswer auxmod(const std::string& command, const Bytes& payload, int64_t nowMs);

  // False while the camera does not answer at all (console "mute").
  bool answering(int64_t nowMs) const { return nowMs >= m_muteUntilMs; }

  // Advances timed behaviour: capture counters, capture delay, the end of a
  // shutdown or refusal episode, pairing time-out, events due.
  void tick(int64_t nowMs);
  // Earliest time tick() has something to do, or -1.
  int64_t nextDueMs(int64_t nowMs) const;

  // Events for the daemon since the last call, oldest first.
  std::vector<CameraEvent> takeEvents();

  // --- Operator controls (console and tests) ---
  // Presets return to the new model's factory presets, reported as a preset
  // reset followed by a resume request.
  void setModel(int model, int64_t nowMs);
  void setLenses(int8_t lensMode, int8_t lens);
  // False (nothing changes) for a lens type the model cannot have: models
  // without a lens-type reading have only 0, model 50 has no second lens,
  // 51 and 60 take 0 or 1.
  bool setLensType(uint8_t lensType);
  void setPowerProfile(uint8_t profile);
  void setUxMode(uint8_t ux);
  // Refuses every request (one-byte 2 / ZT_ERR_NAK_OFF) for ms.
  void refuseFor(int64_t ms, int64_t nowMs);
  // Answers nothing for ms.
  void muteFor(int64_t ms, int64_t nowMs);
  // How long the camera stays off after a shutdown or sleep request.
  void setOffTime(int64_t ms) { m_offMs = ms; }
  // Keeps the uptime item (117) at 0, so a recorded session does not
  // depend on how long it ran.
  void keepUptimeStill() { m_uptimeStill = true; }
  // Returns presets to factory and reports the reset; the camera asks the
  // daemon to resume resumeAfterMs later (never when negative).
  void presetReset(int64_t resumeAfterMs, int64_t nowMs);
  // Reports any preset event, as the firmware would after its own change.
  void reportPresetEvent(uint8_t code, uint32_t id);
  void requestSuspend();
  void requestResume();
  // Changes one setting to a firmware value as the library's set does,
  // refused as the camera refuses it (refusals, a setting or value the
  // model lacks).
  FwAnswer changeSetting(uint32_t setting, int32_t value, int64_t nowMs);
  void pokeStatus(uint16_t offset, uint8_t value);
  void pokeSetting(uint16_t offset, uint8_t value);

  // --- State, for the console and tests ---
  int model() const { return m_model; }
  int8_t lensMode() const { return m_lensMode; }
  int8_t lens() const { return m_lens; }
  uint8_t lensType() const { return m_lensType; }
  uint8_t powerProfile() const { return m_powerProfile; }
  uint8_t uxMode() const { return m_uxMode; }
  bool encoding() const { return m_encoding; }
  bool isOff(int64_t nowMs) const { return nowMs < m_offUntilMs; }
  bool refusing(int64_t nowMs) const { return nowMs < m_refuseUntilMs || isOff(nowMs); }
  bool locating() const { return m_locate; }
  int32_t zoom() const { return m_zoom; }
  uint32_t swiftLapseRamp() const { return m_swiftRamp; }
  uint32_t swiftLapseRampActive() const { return m_swiftRampActive; }
  bool autoClear() const { return m_autoClear; }
  // The live-view exposure selection (4 bytes), empty when reset.
  const Bytes& exposureSelection() const { return m_exposureSelect; }
  int32_t captureDelay() const { return m_captureDelay; }
  int64_t offTime() const { return m_offMs; }
  uint8_t flatMode() const;
  int32_t statusValue(uint16_t statusId) const;
  int32_t settingValue(uint32_t settingId) const;
  const appc_system_all_status& statusBlock() const { return m_status; }
  const appc_setup_all_settings& settingsBlock() const { return m_settings; }
  PresetStore& presets() { return m_presets; }
  AccessoryModule& module() { return m_module; }
  MediaStore& media() { return m_media; }

 private:
  // remote_ops.cc
  FwAnswer systemOp(uint8_t id, const Bytes& p, int64_t nowMs);
  FwAnswer setupOp(uint8_t id, const Bytes& p, int64_t nowMs);
  FwAnswer storageOp(uint8_t id, const Bytes& p);
  FwAnswer voiceOp(uint8_t id, const Bytes& p, int64_t nowMs);
  // typed_calls.cc
  // camera_if_settings_set_value_int: one setting, with its side effects.
  FwAnswer writeSetting(uint32_t setting, int32_t value);
  FwAnswer setMode(int32_t mode);
  FwAnswer setModeSubMode(int32_t mode, int32_t subMode);
  FwAnswer pressButton(uint8_t button, uint8_t state, int64_t nowMs);

  // sim_camera.cc
  int32_t shutter(bool on, int64_t nowMs);
  void startCapture(int64_t nowMs);
  void stopCapture();
  void takePhotos(int count);
  void advancedReset(int family);
  void powerCycle();
  void setStatus(uint16_t statusId, int32_t value);
  void setSetting(uint32_t settingId, int32_t value, bool intoEdit);
  void syncPresets();
  void syncModule(int64_t nowMs);
  void syncMedia();

  int m_model;
  int8_t m_lensMode = 0;
  int8_t m_lens = 0;
  uint8_t m_lensType = 0;
  uint8_t m_powerProfile = 0;
  uint8_t m_uxMode = 1;
  appc_system_all_status m_status{};
  appc_setup_all_settings m_settings{};
  PresetStore m_presets;
  AccessoryModule m_module;
  MediaStore m_media;

  bool m_encoding = false;
  int64_t m_captureStartMs = 0;
  int32_t m_captureDelay = 0;       // seconds before a capture starts
  int64_t m_delayedCaptureMs = -1;  // when a delayed capture starts
  int32_t m_zoom = 0;
  bool m_locate = false;
  uint32_t m_swiftRamp = 0;
  uint32_t m_swiftRampActive = 0;
  uint8_t m_rcRotation = 0;
  bool m_autoClear = false;
  Bytes m_dateTime;                // as last set
  int64_t m_dateTimeSetAtMs = -1;  // when a valid 7-byte date was set
  Bytes m_exposureSelect;
  int64_t m_bootMs;
  bool m_uptimeStill = false;

  int64_t m_offMs = kDefaultOffMs;
  int64_t m_offUntilMs = 0;
  int64_t m_refuseUntilMs = 0;
  int64_t m_muteUntilMs = 0;
  int64_t m_resumeAtMs = -1;
  std::vector<CameraEvent> m_events;
};

}  // namespace ztsim

#endif  // ZTSIM_SIM_CAMERA_H
