// Typed calls ("TC"): the library function named in the request, its input
// arguments decoded in declaration order, its outputs encoded the same way.
#include <functional>
#include <map>

#include "camera_items.h"
#include "camera_settings.h"
#include "camera_status.h"
#include "sim_camera.h"
#include "sim_log.h"
#include "ztcArgs.h"

namespace ztsim {

namespace {

// Flat modes of the sub-modes of ztc_app_set_mode_sub_mode, by app mode.
const uint8_t kSubModes[3][5] = {
    {12, 13, 27, 15, 24},  // video: video, time-lapse video, slo-mo, looping, swift lapse
    {17, 18, 25, 16, 17},  // photo: photo, night, live burst, single, photo
    {19, 20, 21, 26,
     29},  // multi-shot: burst, time lapse, night lapse, night-lapse video, star trail
};

// Buttons of ztc_system_set_button and their press state.
const uint8_t kButtonMode = 0;
const uint8_t kButtonShutter = 1;
const uint8_t kButtonHilight = 2;
const uint8_t kButtonPressed = 3;

Bytes outputs(std::initializer_list<uint32_t> values, uint32_t width) {
  Bytes b;
  for (uint32_t v : values) {
    for (uint32_t i = 0; i < width; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  return b;
}

}  // namespace

FwAnswer SimCamera::typed(const std::string& function, const Bytes& args, int64_t nowMs) {
  if (refusing(nowMs)) return FwAnswer::fail(ZT_ERR_NAK_OFF);
  ZtcArgReader r(args.data(), static_cast<uint32_t>(args.size()));
  // Every handler reads its inputs first; a short or over-long argument list
  // is refused before anything changes.
  auto done = [&r]() {
    return r.ok() && r.atEnd();
  };
  auto range = [&r]() {
    const uint8_t* data = nullptr;
    uint16_t n = r.range(&data);
    return data ? Bytes(data, data + n) : Bytes();
  };
  // A name ends at its first NUL or at the end of its range.
  auto name = [](const Bytes& b) {
    return readText(b, 0, b.size());
  };

  using Handler = std::function<FwAnswer()>;
  const std::map<std::string, Handler> handlers = {
      {"ztc_shutter",
       [&] {
         uint8_t v = r.u8();
         if (!done()) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
         return FwAnswer::result(shutter(v != 0, nowMs));
       }},
      {"ztc_app_set_mode",
       [&] {
         int32_t mode = r.i32();
         return done() ? setMode(mode) : FwAnswer::fail(ZT_ERR_INVALID_PARAM);
       }},
      {"ztc_app_set_mode_sub_mode",
       [&] {
         int32_t mode = r.i32(), sub = r.i32();
         return done() ? setModeSubMode(mode, sub) : FwAnswer::fail(ZT_ERR_INVALID_PARAM);
       }},
      {"ztc_app_get_mode_flat_mode",
       [&] {
         if (!done()) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
         return FwAnswer::data(outputs({static_cast<uint32_t>(statusValue(status_id::kAppMode)),
                                        static_cast<uint32_t>(static_cast<int8_t>(flatMode()))},
                                       4));
       }},
      {"ztc_app_set_digital_zoom",
       [&] {
         int32_t zoom = r.i32();
         if (!done() || zoom < 0 || zoom > 100) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
         m_zoom = zoom;
         setStatus(status_id::kDigitalZoomPercent, zoom);
         setStatus(status_id::kDigitalZoomActive, zoom > 0);
         return FwAnswer::ok();
       }},
      {"ztc_app_set_capture_delay",
       [&] {
         int32_t delay = r.i32();
         if (!done() || delay < 0 || delay > 255) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
         m_captureDelay = delay;
         return FwAnswer::ok();
       }},
      {"ztc_video_reset_to_valid_res_fps_fov",
       [&] {
         if (!done()) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
         // Only video modes have a resolution to correct.
         return familyOf(flatMode()) == BlockFamily::kVideo ? FwAnswer::ok()
                                                            : FwAnswer::fail(ZT_ERR_NOT_SUPPORTED);
       }},
      {"ztc_video_advset_reset",
       [&] {
         return done() ? (advancedReset(0), FwAnswer::ok()) : FwAnswer::fail(ZT_ERR_INVALID_PARAM);
       }},
      {"ztc_photo_advset_reset",
       [&] {
         return done() ? (advancedReset(1), FwAnswer::ok()) : FwAnswer::fail(ZT_ERR_INVALID_PARAM);
       }},
      {"ztc_multishot_advset_reset",
       [&] {
         return done() ? (advancedReset(2), FwAnswer::ok()) : FwAnswer::fail(ZT_ERR_INVALID_PARAM);
       }},
      {"ztc_video_set_swiftlapse_speed_ramp",
       [&] {
         uint32_t v = r.u32();
         if (!done()) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
         m_swiftRamp = v;
         return FwAnswer::ok();
       }},
      {"ztc_video_set_swiftlapse_speed_ramp_active",
       [&] {
         uint32_t v = r.u32();
         if (!done()) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
         m_swiftRampActive = v;
         return FwAnswer::ok();
       }},
      {"ztc_storage_tag_file",
       [&] {
         Bytes file = range();
         uint32_t offset = r.u32();
         r.u32();  // leading word: the tag's kind, not kept
         if (!done()) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
         return FwAnswer::result(m_media.tagFile(name(file), offset));
       }},
      {"ztc_storage_delete_file",
       [&] {
         Bytes file = range();
         if (!done()) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
         int32_t s = m_media.deleteFile(name(file));
         syncMedia();
         return FwAnswer::result(s);
       }},
      {"ztc_storage_delete_group",
       [&] {
         Bytes file = range();
         if (!done()) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
         int32_t s = m_media.deleteGroup(name(file));
         syncMedia();
         return FwAnswer::result(s);
       }},
      {"ztc_storage_delete_list",
       [&] {
         uint32_t count = r.u32();
         Bytes items = range();
         if (!done()) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
         int32_t s = m_media.deleteList(count, items);
         syncMedia();
         return FwAnswer::result(s);
       }},
      {"ztc_fwupdate_download_start",
       [&] {
         if (!done()) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
         setStatus(status_id::kOtaState, 1);
         setStatus(status_id::kOtaProgress, 0);
         return FwAnswer::ok();
       }},
      {"ztc_fwupdate_download_cancel",
       [&] {
         if (!done()) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
         if (statusValue(status_id::kOtaState) != 1) return FwAnswer::fail(ZT_ERR);
         setStatus(status_id::kOtaState, 0);
         return FwAnswer::ok();
       }},
      {"ztc_fwupdate_download_done",
       [&] {
         bool ok = r.u8() != 0;
         if (!done()) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
         if (statusValue(status_id::kOtaState) != 1) return FwAnswer::fail(ZT_ERR);
         setStatus(status_id::kOtaState, ok ? 2 : 0);
         setStatus(status_id::kOtaProgress, ok ? 100 : 0);
         return FwAnswer::ok();
       }},
      {"ztc_system_get_lenses",
       [&] {
         if (!done()) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
         return FwAnswer::data(
             Bytes{static_cast<uint8_t>(m_lensMode), static_cast<uint8_t>(m_lens)});
       }},
      {"ztc_system_get_lens_type",
       [&] {
         return done() ? FwAnswer::byte(m_lensType) : FwAnswer::fail(ZT_ERR_INVALID_PARAM);
       }},
      {"ztc_system_get_power_profile",
       [&] {
         return done() ? FwAnswer::byte(m_powerProfile) : FwAnswer::fail(ZT_ERR_INVALID_PARAM);
       }},
      {"ztc_setup_get_camera_ux_mode",
       [&] {
         return done() ? FwAnswer::byte(m_uxMode) : FwAnswer::fail(ZT_ERR_INVALID_PARAM);
       }},
      {"ztc_system_set_button",
       [&] {
         uint8_t button = r.u8(), state = r.u8();
         return done() ? pressButton(button, state, nowMs) : FwAnswer::fail(ZT_ERR_INVALID_PARAM);
       }},
      {"ztc_system_set_rc_rotation",
       [&] {
         uint8_t rotation = r.u8();
         if (!done() || rotation > 3) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
         m_rcRotation = rotation;
         setStatus(status_id::kOrientation, rotation);
         return FwAnswer::ok();
       }},
      {"ztc_preset_onscreen_shortcuts_reset",
       [&] {
         return done() ? FwAnswer::ok() : FwAnswer::fail(ZT_ERR_INVALID_PARAM);
       }},
      {"camera_if_settings_set_value_int",
       [&] {
         uint32_t setting = r.u32();
         r.u32();  // the table's firmware category and identifier: the set
         r.u32();  // always lands in the settings block here
         int32_t value = r.i32();
         r.u32();  // value width: the block item's own width applies
         return done() ? writeSetting(setting, value) : FwAnswer::fail(ZT_ERR_INVALID_PARAM);
       }},
  };

  auto it = handlers.find(function);
  if (it == handlers.end()) {
    simLog(kLogWarn, "unknown typed call \"%s\" (%zu argument bytes), answered 0", function.c_str(),
           args.size());
    return FwAnswer::ok();
  }
  FwAnswer a = it->second();
  syncPresets();
  simLog(kLogDebug, "typed call %s: status %d", function.c_str(), a.status);
  return a;
}

FwAnswer SimCamera::changeSetting(uint32_t setting, int32_t value, int64_t nowMs) {
  if (refusing(nowMs)) return FwAnswer::fail(ZT_ERR_NAK_OFF);
  FwAnswer a = writeSetting(setting, value);
  syncPresets();
  return a;
}

FwAnswer SimCamera::writeSetting(uint32_t setting, int32_t value) {
  if (!camera_setting_find_item(setting)) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  // A camera refuses what its model does not have: a setting missing from
  // the model's table (time-warp speed off model 60, the separate multi-shot
  // resolution, rate and lens on it) and a value none of the model's
  // options has (model 60's missing resolutions, model 51's fifth output).
  uint32_t count = 0;
  const camera_settings_id_entry_t* table = camera_settings_id_table(m_model, &count);
  if (!table || setting >= count || !(table[setting].flags & CAMERA_SETTING_FLAG_SUPPORTED)) {
    simLog(kLogInfo, "camera: model %d has no setting %u", m_model, setting);
    return FwAnswer::fail(ZT_ERR_NOT_SUPPORTED);
  }
  const uint32_t kNoOption = 0xFFFFFFFF;
  if (getOptionIdByValue(m_model, setting, value, kNoOption) == kNoOption) {
    simLog(kLogInfo, "camera: model %d has no value %d for setting %u", m_model, value, setting);
    return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  }
  if (setting == setting_id::kFlatMode) {
    // A custom preset takes the new flat mode; otherwise the camera moves to
    // the preset of that mode.
    uint8_t flat = static_cast<uint8_t>(value);
    const PresetRecord* active = m_presets.find(m_presets.activePreset());
    if (active && active->userDefined()) {
      return m_presets.handle(PresetStore::kFlatModeSwitch, Bytes{flat});
    }
    return m_presets.activateByFlatMode(flat) ? FwAnswer::ok()
                                              : FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  }
  if (setting == setting_id::kUxMode) {
    if (value != 0 && value != 1) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
    setUxMode(static_cast<uint8_t>(value));
    return FwAnswer::ok();
  }
  setSetting(setting, value, true);
  simLog(kLogInfo, "camera: setting %u = %d", setting, value);
  return FwAnswer::ok();
}

FwAnswer SimCamera::setMode(int32_t mode) {
  if (m_encoding) return FwAnswer::fail(ZT_ERR);
  bool ok = (mode >= 0 && mode <= 2) ? m_presets.activateBase(mode)
                                     : (mode >= 12 && mode <= 31 &&
                                        m_presets.activateByFlatMode(static_cast<uint8_t>(mode)));
  return ok ? FwAnswer::ok() : FwAnswer::fail(ZT_ERR_INVALID_PARAM);
}

FwAnswer SimCamera::setModeSubMode(int32_t mode, int32_t subMode) {
  if (mode < 0 || mode > 2 || subMode < 0 || subMode > 4)
    return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  return setMode(kSubModes[mode][subMode]);
}

FwAnswer SimCamera::pressButton(uint8_t button, uint8_t state, int64_t nowMs) {
  if (state != kButtonPressed) return FwAnswer::ok();  // releases change nothing
  switch (button) {
    case kButtonShutter:
      return FwAnswer::result(shutter(!m_encoding, nowMs));
    case kButtonMode: {
      if (m_encoding) return FwAnswer::fail(ZT_ERR);
      int next = (PresetStore::baseOf(m_presets.activeGroup()) + 1) % 3;
      m_presets.activateBase(next);
      return FwAnswer::ok();
    }
    case kButtonHilight:
      return remote(9, 12, Bytes(), nowMs);
    default:
      return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  }
}

}  // namespace ztsim
