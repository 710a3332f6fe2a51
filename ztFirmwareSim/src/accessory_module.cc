#include "accessory_module.h"

#include <algorithm>

#include "sim_log.h"

namespace ztsim {

namespace {

// Access-point action codes of the "AP" command.
const uint8_t kApOn = 1;
const uint8_t kApOff = 3;
const uint8_t kApRestart = 6;
const uint8_t kBleOff = 0x24;

// The 128-byte network payload of "CT", "CL" and "CD".
const size_t kNetPayloadSize = 128;
const size_t kNetSsidOffset = 4;
const size_t kNetSsidWidth = 32;
const size_t kNetPassOffset = 37;
const size_t kNetPassWidth = 63;

// Status byte of a list answer while a scan is still running.
const uint8_t kListBusy = 1;
// Flags byte of a list entry.
const uint8_t kFlagSecured = 0x01;
const uint8_t kFlagSaved = 0x02;
const uint8_t kFlagConnected = 0x04;

}  // namespace

AccessoryModule::AccessoryModule() {
  m_visible = {
      {"ZT-Home", 4, true, 2437},
      {"Trailhead_5G", 3, true, 5180},
      {"CoffeeShop", 2, false, 2412},
      {"Van-Hotspot", 1, true, 2462},
  };
}

void AccessoryModule::powerCycle() {
  m_apOn = false;
  m_pairingUntilMs = 0;
  m_scanStartMs = -1;
  m_found.clear();
  m_connected.clear();
}

FwAnswer AccessoryModule::handle(const std::string& cmd, const Bytes& p, int64_t nowMs) {
  if (cmd == "AP") return accessPoint(p);
  if (cmd == "NI") return scanStart(nowMs);
  if (cmd == "al") return scanList(p, nowMs);
  if (cmd == "CQ") return connectQuick(p);
  if (cmd == "CT") return connectWith(p, true);
  if (cmd == "CL") return connectWith(p, false);
  if (cmd == "CD") return forget(p);
  if (cmd == "PD") {
    m_pairingUntilMs = nowMs + kPairingTimeoutMs;
    simLog(kLogInfo, "module: remote pairing started");
    return FwAnswer::ok();
  }
  if (cmd == "PX") {
    bool wasPairing = pairing(nowMs);
    m_pairingUntilMs = 0;
    simLog(kLogInfo, "module: pairing cancel (%s)",
           wasPairing ? "was pairing" : "nothing to cancel");
    return FwAnswer::byte(wasPairing ? 0 : 1);
  }
  simLog(kLogWarn, "module: unknown command \"%s\" (%zu payload bytes), answered 0", cmd.c_str(),
         p.size());
  return FwAnswer::ok();
}

FwAnswer AccessoryModule::accessPoint(const Bytes& p) {
  if (p.empty()) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  // An SSID configuration: mode code, 1, password length, password, SSID
  // length, SSID. An action: code, 0.
  if (p.size() >= 4 && p[1] == 1) {
    size_t passLen = p[2];
    if (3 + passLen + 1 > p.size()) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
    size_t ssidLen = p[3 + passLen];
    if (4 + passLen + ssidLen > p.size() || ssidLen == 0) {
      return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
    }
    m_apPassword.assign(p.begin() + 3, p.begin() + 3 + passLen);
    m_apSsid.assign(p.begin() + 4 + passLen, p.begin() + 4 + passLen + ssidLen);
    m_apMode = p[0];
    simLog(kLogInfo, "module: access point configured ssid[%s] mode %u", m_apSsid.c_str(),
           m_apMode);
    return FwAnswer::ok();
  }
  switch (p[0]) {
    case kApOn:
    case kApRestart:
      m_apOn = true;
      break;
    case kApOff:
      m_apOn = false;
      break;
    case kBleOff:
      m_bleOn = false;
      break;
    default:
      simLog(kLogWarn, "module: unknown access point action %u", p[0]);
      return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  }
  simLog(kLogInfo, "module: access point %s, bluetooth %s", m_apOn ? "on" : "off",
         m_bleOn ? "on" : "off");
  return FwAnswer::ok();
}

FwAnswer AccessoryModule::scanStart(int64_t nowMs) {
  m_scanId = static_cast<uint8_t>(m_scanId == 255 ? 1 : m_scanId + 1);
  m_scanStartMs = nowMs;
  m_found = m_visible;
  simLog(kLogInfo, "module: scan %u started", m_scanId);
  return FwAnswer::data(Bytes{0, m_scanId});
}

FwAnswer AccessoryModule::scanList(const Bytes& p, int64_t nowMs) const {
  Bytes out(kListHeaderSize, 0);
  out[1] = m_scanId;
  if (m_scanStartMs >= 0 && nowMs - m_scanStartMs < kScanDurationMs) {
    out[0] = kListBusy;
    return FwAnswer::data(out);
  }
  size_t offset = readU8(p, 0);
  size_t wanted = std::min<size_t>(readU8(p, 1, kMaxListEntries), kMaxListEntries);
  size_t count = 0;
  for (size_t i = offset; i < m_found.size() && count < wanted; ++i, ++count) {
    const WifiNetwork& n = m_found[i];
    Bytes entry(kEntrySize, 0);
    entry[0] = n.bars;
    uint8_t flags = n.secured ? kFlagSecured : 0;
    for (const SavedNetwork& s : m_saved) {
      if (s.ssid == n.ssid) flags |= kFlagSaved;
    }
    if (n.ssid == m_connected) flags |= kFlagConnected;
    entry[1] = flags;
    std::copy_n(n.ssid.begin(), std::min<size_t>(n.ssid.size(), 32), entry.begin() + 2);
    putU32(entry.data() + 118, n.frequencyMhz);
    out.insert(out.end(), entry.begin(), entry.end());
  }
  out[4] = static_cast<uint8_t>(count);
  out[5] = static_cast<uint8_t>(std::min<size_t>(m_found.size(), 255));
  return FwAnswer::data(out);
}

void AccessoryModule::save(const std::string& ssid, const std::string& password, uint8_t auth) {
  for (SavedNetwork& s : m_saved) {
    if (s.ssid == ssid) {
      s.password = password;
      s.authType = auth;
      m_connected = ssid;
      return;
    }
  }
  m_saved.push_back(SavedNetwork{ssid, password, auth});
  m_connected = ssid;
}

FwAnswer AccessoryModule::connectQuick(const Bytes& p) {
  // SSID and its NUL, then optionally the password and its NUL.
  std::string ssid = readText(p, 0, 33);
  if (ssid.empty()) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  std::string password = readText(p, ssid.size() + 1, 64);
  save(ssid, password, password.empty() ? 0 : 1);
  simLog(kLogInfo, "module: quick connect to [%s]", ssid.c_str());
  return FwAnswer::ok();
}

FwAnswer AccessoryModule::connectWith(const Bytes& p, bool withPassword) {
  if (p.size() < kNetPayloadSize) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  std::string ssid = readText(p, kNetSsidOffset, kNetSsidWidth);
  if (ssid.empty()) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  std::string password = withPassword ? readText(p, kNetPassOffset, kNetPassWidth) : "";
  save(ssid, password, p[2]);
  simLog(kLogInfo, "module: connect to [%s] auth %u", ssid.c_str(), p[2]);
  return FwAnswer::ok();
}

FwAnswer AccessoryModule::forget(const Bytes& p) {
  if (p.size() < kNetPayloadSize) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  if (p[0] == 1) {
    m_saved.clear();
    m_connected.clear();
    simLog(kLogInfo, "module: all saved networks deleted");
    return FwAnswer::ok();
  }
  std::string ssid = readText(p, kNetSsidOffset, kNetSsidWidth);
  auto it = std::find_if(m_saved.begin(), m_saved.end(), [&ssid](const SavedNetwork& s) {
    return s.ssid == ssid;
  });
  if (it == m_saved.end()) return FwAnswer::fail(ZT_ERR);
  m_saved.erase(it);
  if (m_connected == ssid) m_connected.clear();
  simLog(kLogInfo, "module: saved network [%s] deleted", ssid.c_str());
  return FwAnswer::ok();
}

}  // namespace ztsim
