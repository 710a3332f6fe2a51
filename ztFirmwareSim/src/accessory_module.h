// The simulated wireless accessory module: access point, network scans,
// saved networks, remote pairing and Bluetooth. It serves the two-letter
// module commands ("AX" requests) and answers with the module's bytes.
// Owned by SimCamera; single-threaded. Times are monotonic milliseconds.
#ifndef ZTSIM_ACCESSORY_MODULE_H
#define ZTSIM_ACCESSORY_MODULE_H

#include <cstdint>
#include <string>
#include <vector>

#include "fw_answer.h"

namespace ztsim {

struct WifiNetwork {
  std::string ssid;
  uint8_t bars = 0;  // signal strength, 0 to 4
  bool secured = false;
  uint32_t frequencyMhz = 2412;
};

struct SavedNetwork {
  std::string ssid;
  std::string password;
  uint8_t authType = 0;
};

class AccessoryModule {
 public:
  // A scan answers "still running" for this long after it starts.
  static constexpr int64_t kScanDurationMs = 300;
  // Pairing gives up by itself after this long.
  static constexpr int64_t kPairingTimeoutMs = 30000;
  // Entries of one list answer, and the size of one entry.
  static constexpr size_t kMaxListEntries = 10;
  static constexpr size_t kEntrySize = 127;
  static constexpr size_t kListHeaderSize = 7;

  AccessoryModule();

  // Serves one module command. cmd is the two characters ("AP", "NI", ...).
  FwAnswer handle(const std::string& cmd, const Bytes& payload, int64_t nowMs);

  // Back to the module's power-on state (networks saved stay saved).
  void powerCycle();

  bool apOn() const { return m_apOn; }
  const std::string& apSsid() const { return m_apSsid; }
  const std::string& apPassword() const { return m_apPassword; }
  bool bleOn() const { return m_bleOn; }
  bool pairing(int64_t nowMs) const { return m_pairingUntilMs > nowMs; }
  uint8_t scanId() const { return m_scanId; }
  const std::vector<SavedNetwork>& saved() const { return m_saved; }
  const std::string& connectedSsid() const { return m_connected; }
  // Networks a scan finds; the console may change them.
  std::vector<WifiNetwork>& visibleNetworks() { return m_visible; }

 private:
  FwAnswer accessPoint(const Bytes& p);
  FwAnswer scanStart(int64_t nowMs);
  FwAnswer scanList(const Bytes& p, int64_t nowMs) const;
  FwAnswer connectQuick(const Bytes& p);
  FwAnswer connectWith(const Bytes& p, bool withPassword);
  FwAnswer forget(const Bytes& p);
  void save(const std::string& ssid, const std::string& password, uint8_t auth);

  bool m_apOn = false;
  uint8_t m_apMode = 0;
  std::string m_apSsid = "ZTCAM-57";
  std::string m_apPassword = "zt-camera";
  bool m_bleOn = true;
  int64_t m_pairingUntilMs = 0;
  uint8_t m_scanId = 0;
  int64_t m_scanStartMs = -1;
  std::vector<WifiNetwork> m_visible;
  std::vector<WifiNetwork> m_found;  // result of the last finished scan
  std::vector<SavedNetwork> m_saved;
  std::string m_connected;
};

}  // namespace ztsim

#endif  // ZTSIM_ACCESSORY_MODULE_H
