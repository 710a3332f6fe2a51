// Firmware operations ("RA"): one branch per (category, identifier) the
// daemon sends, each acting on the camera state the way the camera would.
#include <ctime>

#include "camera_items.h"
#include "sim_camera.h"
#include "sim_log.h"

namespace ztsim {

namespace {

// Operation categories.
enum : uint8_t {
  kCatVideo = 2,
  kCatPhoto = 3,
  kCatMultiShot = 4,
  kCatBroadcast = 5,
  kCatWireless = 6,
  kCatSetup = 7,
  kCatSystem = 8,
  kCatStorage = 9,
  kCatStream = 10,
  kCatLiveView = 13,
  kCatVoice = 15,
  kCatPresets = 17,
};

// Answer of a query while the camera refuses: the one byte 2.
const uint8_t kNakOff = 2;

// The camera's date and time form: u16 year, month, day, hour, minute,
// second (UTC), 7 bytes.
const size_t kDateTimeSize = 7;

Bytes dateTimeBytes(time_t t) {
  tm utc{};
  gmtime_r(&t, &utc);
  Bytes b;
  appendU16(b, static_cast<uint16_t>(utc.tm_year + 1900));
  for (int v : {utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec}) {
    b.push_back(static_cast<uint8_t>(v));
  }
  return b;
}

// The time a 7-byte date stands for, or -1 when the bytes are not a date.
time_t dateTimeValue(const Bytes& b) {
  if (b.size() != kDateTimeSize) return -1;
  tm t{};
  t.tm_year = (b[0] | b[1] << 8) - 1900;
  t.tm_mon = b[2] - 1;
  t.tm_mday = b[3];
  t.tm_hour = b[4];
  t.tm_min = b[5];
  t.tm_sec = b[6];
  if (t.tm_year < 70 || t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_mday > 31 ||
      t.tm_hour > 23 || t.tm_min > 59 || t.tm_sec > 60) {
    return -1;
  }
  return timegm(&t);
}

Bytes textAnswer(const char* text, size_t prefix = 0) {
  Bytes b(prefix, 0);
  for (const char* c = text; *c; ++c) b.push_back(static_cast<uint8_t>(*c));
  b.push_back(0);
  return b;
}

}  // namespace

FwAnswer SimCamera::remote(uint8_t category, uint8_t id, const Bytes& p, int64_t nowMs) {
  if (refusing(nowMs)) return FwAnswer::byte(kNakOff);
  auto unknown = [&]() {
    simLog(kLogWarn, "unknown firmware operation (%u, %u) with %zu payload bytes, answered 0",
           category, id, p.size());
    return FwAnswer::ok();
  };
  FwAnswer a;
  switch (category) {
    case kCatVideo:
      if (id == 26) {
        advancedReset(0);
      } else if (id == 90) {
        setSetting(setting_id::kPreroll, 4, false);
        setStatus(status_id::kPrerollSeconds, 0);
      } else if (id == 91) {
        // Horizon control is supported unless the resolution byte asks for
        // the widest 4K setting.
        a = FwAnswer::byte(readU8(p, 0) == 1 && readU8(p, 2) == 3 ? 0 : 1);
      } else {
        return unknown();
      }
      break;
    case kCatPhoto:
      if (id != 22) return unknown();
      advancedReset(1);
      break;
    case kCatMultiShot:
      if (id != 26) return unknown();
      advancedReset(2);
      break;
    case kCatBroadcast:
      if (id != 28) return unknown();
      setStatus(status_id::kWebcamState, 0);
      a = FwAnswer::byte(0);
      break;
    case kCatWireless:
      if (id != 19) return unknown();
      if (p.size() != 1 || p[0] > 1) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
      setSetting(setting_id::kWirelessBand, p[0], false);
      break;
    case kCatSetup:
      a = setupOp(id, p, nowMs);
      if (a.status == ZT_ERR_NOT_SUPPORTED) return unknown();
      break;
    case kCatSystem:
      a = systemOp(id, p, nowMs);
      if (a.status == ZT_ERR_NOT_SUPPORTED) return unknown();
      break;
    case kCatStorage:
      a = storageOp(id, p);
      if (a.status == ZT_ERR_NOT_SUPPORTED) return unknown();
      break;
    case kCatStream:
      if (id != 14) return unknown();
      // 0: the stream is upside down (the remote reports a half turn).
      a = FwAnswer::byte(m_rcRotation == 2 ? 0 : 1);
      break;
    case kCatLiveView:
      if (id == 0) {
        if (p.size() != 4) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
        m_exposureSelect = p;
      } else if (id == 2) {
        m_exposureSelect.clear();
      } else {
        return unknown();
      }
      break;
    case kCatVoice:
      a = voiceOp(id, p, nowMs);
      if (a.status == ZT_ERR_NOT_SUPPORTED) return unknown();
      break;
    case kCatPresets:
      a = m_presets.handle(id, p);
      syncPresets();
      break;
    default:
      return unknown();
  }
  simLog(kLogDebug, "firmware operation (%u, %u): status %d", category, id, a.status);
  return a;
}

FwAnswer SimCamera::setupOp(uint8_t id, const Bytes& p, int64_t nowMs) {
  switch (id) {
    case 10:  // default application mode: the group the camera starts in
      return FwAnswer::byte(m_presets.activeGroup());
    case 26:
      // A date the camera understood keeps running from when it was set;
      // other bytes come back as they were set; unset, the host's clock.
      if (m_dateTimeSetAtMs >= 0) {
        return FwAnswer::data(dateTimeBytes(
            dateTimeValue(m_dateTime) + static_cast<time_t>((nowMs - m_dateTimeSetAtMs) / 1000)));
      }
      return FwAnswer::data(m_dateTime.empty() ? dateTimeBytes(time(nullptr)) : m_dateTime);
    case 27:
      if (p.empty()) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
      m_dateTime = p;
      m_dateTimeSetAtMs = dateTimeValue(p) >= 0 ? nowMs : -1;
      simLog(kLogInfo, "camera: date and time set (%zu bytes)", p.size());
      return FwAnswer::ok();
    case 30:
      return FwAnswer::data(Bytes(m_settings.raw, m_settings.raw + CAMERA_SETTINGS_BLOCK_SIZE));
    case 76:
      if (p.size() != 1) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
      m_autoClear = p[0] != 0;
      return FwAnswer::ok();
    default:
      return FwAnswer::fail(ZT_ERR_NOT_SUPPORTED);
  }
}

FwAnswer SimCamera::systemOp(uint8_t id, const Bytes& p, int64_t nowMs) {
  switch (id) {
    case 2:  // shutdown (1) or sleep (0): off for a while, then back
    case 4:  // factory reset: back to factory state, then a reboot
      if (p.size() != 1) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
      powerCycle();
      m_offUntilMs = nowMs + m_offMs;
      if (id == 4) {
        // The daemon drops its view of the presets (reset event) and is
        // asked to resume when the camera is back.
        presetReset(m_offMs, nowMs);
        m_media.reset();
        syncMedia();
      }
      simLog(kLogInfo, "camera: %s, off for %lld ms",
             id == 4 ? "factory reset" : (p[0] ? "shutdown" : "sleep"),
             static_cast<long long>(m_offMs));
      return FwAnswer::ok();
    case 6:
      return FwAnswer::byte(static_cast<uint8_t>(statusValue(status_id::kBusy)));
    case 11:
      syncPresets();
      return FwAnswer::data(Bytes(m_status.raw, m_status.raw + CAMERA_STATUS_BLOCK_SIZE));
    case 13:
      if (p.size() != 1) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
      m_locate = p[0] != 0;
      simLog(kLogInfo, "camera: locate %s", m_locate ? "on (beeping)" : "off");
      return FwAnswer::ok();
    case 20:
      return FwAnswer::ok();
    case 21:
      return FwAnswer::data(textAnswer("ANALYTICS/AN000001.BIN"));
    case 30:
      if (p.size() != 1) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
      setStatus(status_id::kInContextualMenu, p[0]);
      return FwAnswer::ok();
    case 34: {
      Bytes cal(64);
      for (size_t i = 0; i < cal.size(); ++i) cal[i] = static_cast<uint8_t>(i * 7 + 3);
      return FwAnswer::data(cal);
    }
    case 35:
      return FwAnswer::data(textAnswer("DCIM\\CAL\\SHADING.BIN", 3));
    case 40:
      if (p.size() != 1) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
      setStatus(status_id::kCameraControl, p[0]);
      return FwAnswer::ok();
    case 44:
      if (p.size() != 1) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
      m_status.raw[status_byte::kUsbControl] = p[0];
      return FwAnswer::ok();
    case 45:  // quick capture: start capturing in the current mode
      if (p.size() != 1) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
      return FwAnswer::result(shutter(true, nowMs));
    default:
      return FwAnswer::fail(ZT_ERR_NOT_SUPPORTED);
  }
}

FwAnswer SimCamera::storageOp(uint8_t id, const Bytes& p) {
  (void)p;
  int32_t status;
  switch (id) {
    case 9:
      status = m_media.deleteLatest();
      break;
    case 10:
      status = m_media.deleteAll();
      break;
    case 12:  // keymark tag: only while recording
      if (!m_encoding) return FwAnswer::fail(ZT_ERR);
      m_media.tagRecording();
      setStatus(status_id::kHilightCount, statusValue(status_id::kHilightCount) + 1);
      setStatus(status_id::kLastHilightMs, statusValue(status_id::kVideoProgress) * 1000);
      return FwAnswer::ok();
    case 23:
      return FwAnswer::data(m_media.listResult());
    default:
      return FwAnswer::fail(ZT_ERR_NOT_SUPPORTED);
  }
  syncMedia();
  return FwAnswer::result(status);
}

FwAnswer SimCamera::voiceOp(uint8_t id, const Bytes& p, int64_t nowMs) {
  switch (id) {
    case 0:  // photo
    case 5:  // burst
      if (!m_presets.activateByFlatMode(id == 0 ? 17 : 19)) m_presets.activateBase(1);
      syncPresets();
      return FwAnswer::result(shutter(true, nowMs));
    case 1:  // video start
    case 3:  // time-lapse start
      m_presets.activateBase(id == 1 ? 0 : 2);
      syncPresets();
      return FwAnswer::result(shutter(true, nowMs));
    case 2:
    case 4:
      return FwAnswer::result(shutter(false, nowMs));
    case 6:
      return storageOp(12, p);
    case 9:
      if (p.size() != 1 || p[0] > 2) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
      m_presets.activateBase(p[0]);
      syncPresets();
      return FwAnswer::ok();
    case 10:
      return FwAnswer::ok();
    default:
      return FwAnswer::fail(ZT_ERR_NOT_SUPPORTED);
  }
}

}  // namespace ztsim
