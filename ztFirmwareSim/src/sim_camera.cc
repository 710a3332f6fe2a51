#include "sim_camera.h"

#include <algorithm>

#include "camera_items.h"
#include "camera_status.h"
#include "sim_log.h"

namespace ztsim {

namespace {

// Power-on values of the settings the library's table lists; everything
// else starts at 0.
struct SettingDefault {
  uint32_t id;
  int32_t value;
};
// Values are firmware values of the library's option tables.
const SettingDefault kSettingDefaults[] = {
    {59, 15},  // auto power down: 15 min
    {84, 0},   // language
    {87, 70},  // beep volume
    {88, 70},  // lcd brightness
    {91, 1},   // gps on
    {112, 0},  // anti flicker 60 Hz
    {135, 2},  // stabilizer: high
    {167, 4},  // pre-record: off
    {178, 1},  // wireless band: 5 GHz
};

// Advanced ("protune") settings and the values a reset returns them to:
// 9 is white balance and colour while protune is off.
const SettingDefault kVideoAdvanced[] = {
    {setting_id::kVideoProtune, 0}, {setting_id::kVideoWhiteBalance, 9},
    {setting_id::kVideoIsoMax, 0},  {setting_id::kVideoColor, 9},
    {setting_id::kVideoEvComp, 0},  {setting_id::kVideoBitRate, 0},
    {setting_id::kVideoBitDepth, 0}};
const SettingDefault kPhotoAdvanced[] = {{setting_id::kPhotoProtune, 0},
                                         {setting_id::kPhotoWhiteBalance, 9}};

int appModeOf(uint8_t flatMode) {
  switch (familyOf(flatMode)) {
    case BlockFamily::kPhoto:
      return 1;
    case BlockFamily::kMultiShot:
      return 2;
    default:
      return 0;
  }
}

}  // namespace

SimCamera::SimCamera(int model, int64_t nowMs)
    : m_model(model), m_presets(PresetContext{model, 0, 0, 0, 1}), m_bootMs(nowMs) {
  for (const SettingDefault& d : kSettingDefaults) setSetting(d.id, d.value, false);
  advancedReset(0);
  advancedReset(1);
  setSetting(setting_id::kUxMode, m_uxMode, false);
  setStatus(status_id::kBatteryPresent, 1);
  setStatus(status_id::kBatteryBars, 3);
  setStatus(status_id::kBatteryPercent, 87);
  setStatus(status_id::kSdStatus, 0);
  setStatus(status_id::kReady, 1);
  setStatus(status_id::kBand5GhzAvailable, 1);
  setStatus(status_id::kTemperature, 38);
  setStatus(status_id::kUsbConnected, 0);
  syncPresets();
  syncModule(nowMs);
  syncMedia();
}

// --- Operator controls ---

void SimCamera::setModel(int model, int64_t nowMs) {
  m_model = model;
  PresetContext c = m_presets.context();
  c.model = model;
  // A model without the second lens cannot have it fitted.
  if (!PresetStore::hasOrbiLens(model)) {
    m_lensType = 0;
    c.lensType = 0;
    setStatus(status_id::kLensType, 0);
  }
  m_presets.setContext(c);
  // Another model has other presets: the daemon is told to drop its view
  // of them, as after a preset reset.
  presetReset(kModelChangeResumeMs, nowMs);
}

void SimCamera::setLenses(int8_t lensMode, int8_t lens) {
  m_lensMode = lensMode;
  m_lens = lens;
  PresetContext c = m_presets.context();
  c.lensMode = static_cast<uint8_t>(lensMode);
  m_presets.setContext(c);
  syncPresets();
}

bool SimCamera::setLensType(uint8_t lensType) {
  if (lensType > 1 || (lensType == 1 && !PresetStore::hasOrbiLens(m_model))) return false;
  m_lensType = lensType;
  PresetContext c = m_presets.context();
  c.lensType = lensType;
  m_presets.setContext(c);
  setStatus(status_id::kLensType, lensType);
  syncPresets();
  return true;
}

void SimCamera::setPowerProfile(uint8_t profile) {
  m_powerProfile = profile;
  PresetContext c = m_presets.context();
  c.powerProfile = profile;
  m_presets.setContext(c);
  setStatus(status_id::kPowerProfile, profile);
  syncPresets();
}

void SimCamera::setUxMode(uint8_t ux) {
  m_uxMode = ux;
  PresetContext c = m_presets.context();
  c.uxMode = ux;
  m_presets.setContext(c);
  setSetting(setting_id::kUxMode, ux, false);
  syncPresets();
}

void SimCamera::refuseFor(int64_t ms, int64_t nowMs) {
  m_refuseUntilMs = nowMs + std::max<int64_t>(ms, 0);
}

void SimCamera::muteFor(int64_t ms, int64_t nowMs) {
  m_muteUntilMs = nowMs + std::max<int64_t>(ms, 0);
}

void SimCamera::presetReset(int64_t resumeAfterMs, int64_t nowMs) {
  m_presets.factoryReset();
  m_presets.takeEvents();
  syncPresets();
  m_events.push_back(CameraEvent{CameraEvent::kPresetUpdate,
                                 PresetEvent{PresetEvent::kReset, PresetStore::kResetAll}});
  m_resumeAtMs = resumeAfterMs >= 0 ? nowMs + resumeAfterMs : -1;
}

void SimCamera::reportPresetEvent(uint8_t code, uint32_t id) {
  m_events.push_back(CameraEvent{CameraEvent::kPresetUpdate, PresetEvent{code, id}});
}

void SimCamera::requestSuspend() {
  m_events.push_back(CameraEvent{CameraEvent::kSuspend, {}});
}

void SimCamera::requestResume() {
  m_events.push_back(CameraEvent{CameraEvent::kResume, {}});
}

void SimCamera::pokeStatus(uint16_t offset, uint8_t value) {
  if (offset < CAMERA_STATUS_BLOCK_SIZE) m_status.raw[offset] = value;
}

void SimCamera::pokeSetting(uint16_t offset, uint8_t value) {
  if (offset < CAMERA_SETTINGS_BLOCK_SIZE) m_settings.raw[offset] = value;
}

// --- Blocks ---

void SimCamera::setStatus(uint16_t statusId, int32_t value) {
  camera_status_write(&m_status, camera_status_find_item(statusId), value);
}

int32_t SimCamera::statusValue(uint16_t statusId) const {
  return camera_status_read(&m_status, camera_status_find_item(statusId));
}

void SimCamera::setSetting(uint32_t settingId, int32_t value, bool intoEdit) {
  camera_setting_write(&m_settings, camera_setting_find_item(settingId), value);
  if (intoEdit) m_presets.applySettingToEdit(settingId, value);
}

int32_t SimCamera::settingValue(uint32_t settingId) const {
  return camera_setting_read(&m_settings, camera_setting_find_item(settingId));
}

uint8_t SimCamera::flatMode() const {
  return static_cast<uint8_t>(settingValue(setting_id::kFlatMode));
}

// Brings the preset words, the flat mode and, after a preset change, the
// preset's settings into the blocks.
void SimCamera::syncPresets() {
  const PresetStore& p = m_presets;
  if (m_presets.takeReload()) {
    if (const PresetRecord* r = p.find(p.activePreset())) {
      setSetting(setting_id::kFlatMode, r->flatMode, false);
      for (const BlockField& f : blockFields(familyOf(r->flatMode))) {
        setSetting(f.settingId, blockToSettingValue(f, r->block[f.offset]), false);
      }
    }
  }
  uint8_t flat = flatMode();
  setStatus(status_id::kFlatMode, flat);
  setStatus(status_id::kAppMode, appModeOf(flat));
  static const uint16_t presetIds[3] = {status_id::kVideoPreset, status_id::kPhotoPreset,
                                        status_id::kTimeLapsePreset};
  static const uint16_t modeIds[3] = {status_id::kVideoGroupMode, status_id::kPhotoGroupMode,
                                      status_id::kTimeLapseGroupMode};
  for (int base = 0; base < 3; ++base) {
    // The active group speaks for its base (on the model with both lens
    // families it may be the other family's group).
    uint8_t g = (p.activeGroup() != kGroupSpecial && PresetStore::baseOf(p.activeGroup()) == base)
                    ? p.activeGroup()
                    : p.groupForBase(base);
    uint32_t id = p.activeIn(g);
    setStatus(presetIds[base], static_cast<int32_t>(id));
    const PresetRecord* r = p.find(id);
    setStatus(modeIds[base], r ? r->flatMode : 0);
  }
  setStatus(status_id::kPresetGroup, p.activeGroup());
  setStatus(status_id::kSpecialPreset,
            p.activeGroup() == kGroupSpecial ? static_cast<int32_t>(p.activePreset()) : 0);
  const PresetRecord* editing = p.editing();
  const PresetRecord* active = p.find(p.activePreset());
  if (editing) {
    setStatus(status_id::kModifiedPreset, static_cast<int32_t>(editing->id));
    setStatus(status_id::kPresetModified, kPresetEditing);
  } else if (active && active->edited > 0) {
    setStatus(status_id::kModifiedPreset, static_cast<int32_t>(active->id));
    setStatus(status_id::kPresetModified, kPresetEdited);
  } else {
    setStatus(status_id::kModifiedPreset, 0);
    setStatus(status_id::kPresetModified, kPresetClean);
  }
  for (const PresetEvent& e : m_presets.takeEvents()) {
    m_events.push_back(CameraEvent{CameraEvent::kPresetUpdate, e});
  }
}

void SimCamera::syncModule(int64_t nowMs) {
  setStatus(status_id::kWifiApEnabled, m_module.apOn());
  setStatus(status_id::kWifiApState, m_module.apOn() ? 1 : 0);
  setStatus(status_id::kPairingState, m_module.pairing(nowMs) ? 1 : 0);
  setStatus(status_id::kPairingType, m_module.pairing(nowMs) ? 2 : 0);
}

void SimCamera::syncMedia() {
  int32_t photos = 0, videos = 0;
  for (const MediaFile& f : m_media.files()) {
    if (f.name.size() > 4 && f.name.compare(f.name.size() - 4, 4, ".MP4") == 0) {
      ++videos;
    } else {
      ++photos;
    }
  }
  setStatus(status_id::kTotalPhotos, photos);
  setStatus(status_id::kTotalVideos, videos);
  // A 64 GB card, 6 MB a photo, 50 MB a minute of video.
  int64_t usedKb = static_cast<int64_t>(photos) * 6000 + static_cast<int64_t>(videos) * 50000;
  int64_t freeKb = std::max<int64_t>(0, 62500000 - usedKb);
  setStatus(status_id::kRemainingSpaceKb, static_cast<int32_t>(freeKb));
  setStatus(status_id::kRemainingPhotos, static_cast<int32_t>(freeKb / 6000));
  setStatus(status_id::kRemainingVideo, static_cast<int32_t>(freeKb / 50000 * 60));
}

// --- Capture ---

int32_t SimCamera::shutter(bool on, int64_t nowMs) {
  BlockFamily family = familyOf(flatMode());
  if (family == BlockFamily::kNone) return ZT_ERR;
  if (!on) {
    m_delayedCaptureMs = -1;
    setStatus(status_id::kCaptureDelayActive, 0);
    setStatus(status_id::kCaptureDelayCountdown, 0);
    if (m_encoding) stopCapture();
    return ZT_OK;
  }
  if (m_encoding) return ZT_OK;
  if (m_captureDelay > 0) {
    m_delayedCaptureMs = nowMs + static_cast<int64_t>(m_captureDelay) * 1000;
    setStatus(status_id::kCaptureDelayActive, 1);
    setStatus(status_id::kCaptureDelayCountdown, m_captureDelay);
    return ZT_OK;
  }
  startCapture(nowMs);
  return ZT_OK;
}

void SimCamera::startCapture(int64_t nowMs) {
  uint8_t flat = flatMode();
  if (familyOf(flat) == BlockFamily::kPhoto) {
    takePhotos(1);
    return;
  }
  if (flat == 19 || flat == 25) {  // burst and live burst: one group of photos
    takePhotos(flat == 19 ? 5 : 3);
    return;
  }
  m_encoding = true;
  m_captureStartMs = nowMs;
  setStatus(status_id::kEncoding, 1);
  setStatus(status_id::kBusy, 1);
  setStatus(status_id::kVideoProgress, 0);
  simLog(kLogInfo, "camera: capture started in flat mode %u", flat);
}

void SimCamera::stopCapture() {
  uint8_t flat = flatMode();
  m_encoding = false;
  setStatus(status_id::kEncoding, 0);
  setStatus(status_id::kBusy, 0);
  // Photo time lapses and night lapses leave photos, the rest a video.
  bool photos = flat == 20 || flat == 21;
  std::string name = photos ? (takePhotos(4), std::string("photos")) : m_media.addCapture(true);
  setStatus(status_id::kHilightCount, 0);
  syncMedia();
  simLog(kLogInfo, "camera: capture stopped, saved %s", name.c_str());
}

void SimCamera::takePhotos(int count) {
  std::string first = m_media.addCapture(false, count);
  syncMedia();
  simLog(kLogInfo, "camera: %d photo(s) taken, first %s", count, first.c_str());
}

// --- Time ---

void SimCamera::tick(int64_t nowMs) {
  if (m_offUntilMs != 0 && nowMs >= m_offUntilMs) {
    m_offUntilMs = 0;
    setStatus(status_id::kReady, 1);
    simLog(kLogInfo, "camera: back on");
  }
  if (m_delayedCaptureMs >= 0) {
    if (nowMs >= m_delayedCaptureMs) {
      m_delayedCaptureMs = -1;
      setStatus(status_id::kCaptureDelayActive, 0);
      setStatus(status_id::kCaptureDelayCountdown, 0);
      startCapture(nowMs);
    } else {
      setStatus(status_id::kCaptureDelayCountdown,
                static_cast<int32_t>((m_delayedCaptureMs - nowMs + 999) / 1000));
    }
  }
  if (m_encoding) {
    setStatus(status_id::kVideoProgress, static_cast<int32_t>((nowMs - m_captureStartMs) / 1000));
  }
  if (m_resumeAtMs >= 0 && nowMs >= m_resumeAtMs) {
    m_resumeAtMs = -1;
    requestResume();
  }
  if (!m_uptimeStill)
    setStatus(status_id::kUptimeSeconds, static_cast<int32_t>((nowMs - m_bootMs) / 1000));
  syncModule(nowMs);
}

int64_t SimCamera::nextDueMs(int64_t nowMs) const {
  int64_t due = -1;
  auto consider = [&due](int64_t t) {
    if (t > 0 && (due < 0 || t < due)) due = t;
  };
  if (m_offUntilMs != 0) consider(m_offUntilMs);
  if (m_delayedCaptureMs >= 0) consider(std::min(m_delayedCaptureMs, nowMs + 1000));
  if (m_encoding) consider(nowMs + 1000);
  if (m_resumeAtMs >= 0) consider(m_resumeAtMs);
  return due;
}

std::vector<CameraEvent> SimCamera::takeEvents() {
  std::vector<CameraEvent> out;
  out.swap(m_events);
  return out;
}

void SimCamera::powerCycle() {
  if (m_encoding) stopCapture();
  m_delayedCaptureMs = -1;
  m_zoom = 0;
  setStatus(status_id::kCaptureDelayActive, 0);
  setStatus(status_id::kCaptureDelayCountdown, 0);
  setStatus(status_id::kDigitalZoomActive, 0);
  setStatus(status_id::kDigitalZoomPercent, 0);
  setStatus(status_id::kInContextualMenu, 0);
  setStatus(status_id::kReady, 0);
  m_module.powerCycle();
}

void SimCamera::advancedReset(int family) {
  if (family == 0) {
    for (const SettingDefault& d : kVideoAdvanced) setSetting(d.id, d.value, true);
  } else if (family == 1) {
    for (const SettingDefault& d : kPhotoAdvanced) setSetting(d.id, d.value, true);
  }
}

// --- Requests ---

FwAnswer SimCamera::auxmod(const std::string& command, const Bytes& payload, int64_t nowMs) {
  if (refusing(nowMs)) return FwAnswer::fail(ZT_ERR_NAK_OFF);
  FwAnswer a = m_module.handle(command, payload, nowMs);
  syncModule(nowMs);
  return a;
}

}  // namespace ztsim
