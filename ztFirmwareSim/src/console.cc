#include "console.h"

#include <cstdlib>
#include <sstream>

#include "camera_settings.h"
#include "camera_status.h"
#include "sim_log.h"

namespace ztsim {

namespace {

const char kHelp[] =
    "Commands (one per line, or several separated by ';'):\n"
    "  help                      this list\n"
    "  state                     camera state: model, lenses, modes, capture, episodes\n"
    "  presets                   preset groups offered now and their presets\n"
    "  media                     files on the card\n"
    "  wifi                      access point, saved networks, pairing\n"
    "  js | suspend              ask the daemon to suspend (\"JS\")\n"
    "  jr | resume               ask the daemon to resume (\"JR\")\n"
    "  preset-reset [MS]         presets back to factory; report the reset (event 7,\n"
    "                            id 0xFFFFFFFF) and send \"JR\" MS later (default 1000;\n"
    "                            -1: never)\n"
    "  preset-event CODE ID      report any preset event (code 0-8, id or group)\n"
    "  status-byte OFFSET VALUE  set one byte of the 394-byte status block\n"
    "  setting-byte OFFSET VALUE set one byte of the 238-byte settings block\n"
    "  ux pro|easy               user-experience mode\n"
    "  power 0|1|2               power profile (0 normal, 1 endurance, 2 longest battery;\n"
    "                            the names normal, endurance, longest-battery too)\n"
    "  lens MODE LENS            lens mode and lens (mode other than 0: special group)\n"
    "  lens-type 0|1             lens type (1: second lens, models 51 and 60 only)\n"
    "  model N                   camera model number (presets return to factory,\n"
    "                            reported as a preset reset, then \"JR\")\n"
    "  shutter on|off            press the shutter / stop the capture\n"
    "  refuse MS                 refuse every request for MS (one-byte 2 answers)\n"
    "  mute MS                   answer no firmware request for MS\n"
    "  off-time MS               how long a shutdown or sleep keeps the camera off\n"
    "  csi ITEM VALUE            set a camera-state-interface item (subscribers hear it)\n"
    "  status [ITEM]             status items by name: name (id) = value\n"
    "  settings [SETTING]        settings by name: name (id) = option (firmware value)\n"
    "  set SETTING OPTION        change a setting as the library does: the option id\n"
    "                            goes through the model's option table\n"
    "                            (ITEM, SETTING: id or table name, e.g. video_resolution\n"
    "                            or resolution for the video one)\n"
    "  log 0-3                   simulator log level (error, warn, info, debug)\n"
    "  sleep MS                  wait before the next command\n"
    "  quit                      stop the simulator\n"
    "Numbers may be decimal or 0x hex.\n";

bool number(const std::string& s, long long* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  long long v = std::strtoll(s.c_str(), &end, 0);
  if (!end || *end != '\0') return false;
  *out = v;
  return true;
}

const char* itemName(const camera_status_item_t* item) {
  return camera_status_item_name(item);
}
const char* itemName(const camera_setting_item_t* item) {
  return camera_setting_item_name(item);
}

// A status item or setting named by its id or by its table name; for
// settings a bare name also finds the video setting of that name
// ("resolution" is video_resolution), and a name that is the last word of
// exactly one table name finds that one ("band" is wireless_band).
template <typename Item>
const Item* findItem(const Item* items, uint32_t count, const Item* (*byId)(uint32_t),
                     const std::string& key) {
  long long id;
  if (number(key, &id)) return id >= 0 && id <= 0xFFFF ? byId(static_cast<uint32_t>(id)) : nullptr;
  for (const std::string& name : {key, "video_" + key}) {
    for (uint32_t i = 0; i < count; ++i) {
      if (name == itemName(&items[i])) return &items[i];
    }
  }
  const Item* found = nullptr;
  const std::string suffix = "_" + key;
  for (uint32_t i = 0; i < count; ++i) {
    std::string n = itemName(&items[i]);
    if (n.size() > suffix.size() &&
        n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0) {
      if (found) return nullptr;  // ambiguous
      found = &items[i];
    }
  }
  return found;
}

const camera_status_item_t* findStatus(const std::string& key) {
  uint32_t count = 0;
  const camera_status_item_t* items = camera_status_items(&count);
  return findItem(items, count, camera_status_find_item, key);
}

const camera_setting_item_t* findSetting(const std::string& key) {
  uint32_t count = 0;
  const camera_setting_item_t* items = camera_setting_items(&count);
  return findItem(items, count, camera_setting_find_item, key);
}

std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

}  // namespace

Console::Console(SimCamera& camera, CsiService& csi, std::ostream& out, SendFn send, StopFn stop)
    : m_camera(camera), m_csi(csi), m_out(out), m_send(std::move(send)), m_stop(std::move(stop)) {}

const char* Console::helpText() {
  return kHelp;
}

void Console::feed(const std::string& text) {
  std::stringstream ss(text);
  std::string part;
  while (std::getline(ss, part, ';')) {
    std::string cmd = trim(part);
    if (!cmd.empty()) m_pending.push_back(cmd);
  }
}

void Console::run(int64_t nowMs) {
  while (!m_pending.empty()) {
    if (m_sleepUntilMs >= 0) {
      if (nowMs < m_sleepUntilMs) return;
      m_sleepUntilMs = -1;
    }
    std::string cmd = m_pending.front();
    m_pending.pop_front();
    execute(cmd, nowMs);
  }
  if (m_sleepUntilMs >= 0 && nowMs >= m_sleepUntilMs) m_sleepUntilMs = -1;
}

int64_t Console::nextDueMs() const {
  return m_pending.empty() ? -1 : m_sleepUntilMs;
}

bool Console::execute(const std::string& line, int64_t nowMs) {
  std::istringstream in(line);
  std::string cmd;
  in >> cmd;
  std::vector<std::string> args;
  for (std::string a; in >> a;) args.push_back(a);
  long long n[2] = {0, 0};
  auto numbers = [&](size_t count) {
    if (args.size() != count) return false;
    for (size_t i = 0; i < count; ++i) {
      if (!number(args[i], &n[i])) return false;
    }
    return true;
  };
  auto usage = [&]() {
    m_out << "usage error in \"" << line << "\" (try help)\n";
    return false;
  };

  if (cmd == "help") {
    m_out << kHelp;
  } else if (cmd == "state") {
    showState(nowMs);
  } else if (cmd == "presets") {
    showPresets();
  } else if (cmd == "media") {
    showMedia();
  } else if (cmd == "wifi") {
    showModule(nowMs);
  } else if (cmd == "js" || cmd == "suspend") {
    m_camera.requestSuspend();
  } else if (cmd == "jr" || cmd == "resume") {
    m_camera.requestResume();
  } else if (cmd == "preset-reset") {
    if (!args.empty() && !numbers(1)) return usage();
    m_camera.presetReset(args.empty() ? 1000 : n[0], nowMs);
  } else if (cmd == "preset-event") {
    if (!numbers(2) || n[0] < 0 || n[0] > 255) return usage();
    m_camera.reportPresetEvent(static_cast<uint8_t>(n[0]), static_cast<uint32_t>(n[1]));
  } else if (cmd == "status-byte" || cmd == "setting-byte") {
    bool status = cmd == "status-byte";
    long long size = status ? CAMERA_STATUS_BLOCK_SIZE : CAMERA_SETTINGS_BLOCK_SIZE;
    if (!numbers(2) || n[0] < 0 || n[0] >= size || n[1] < -128 || n[1] > 255) return usage();
    if (status) {
      m_camera.pokeStatus(static_cast<uint16_t>(n[0]), static_cast<uint8_t>(n[1]));
    } else {
      m_camera.pokeSetting(static_cast<uint16_t>(n[0]), static_cast<uint8_t>(n[1]));
    }
  } else if (cmd == "ux") {
    if (args.size() != 1 || (args[0] != "pro" && args[0] != "easy")) return usage();
    m_camera.setUxMode(args[0] == "pro" ? 1 : 0);
  } else if (cmd == "power") {
    static const char* const kProfiles[] = {"normal", "endurance", "longest-battery"};
    for (int i = 0; i < 3 && args.size() == 1; ++i) {
      if (args[0] == kProfiles[i]) args[0] = std::to_string(i);
    }
    if (!numbers(1) || n[0] < 0 || n[0] > 2) return usage();
    m_camera.setPowerProfile(static_cast<uint8_t>(n[0]));
  } else if (cmd == "lens") {
    if (!numbers(2) || n[0] < -128 || n[0] > 127 || n[1] < -128 || n[1] > 127) return usage();
    m_camera.setLenses(static_cast<int8_t>(n[0]), static_cast<int8_t>(n[1]));
  } else if (cmd == "lens-type") {
    if (!numbers(1) || n[0] < 0 || n[0] > 255) return usage();
    if (!m_camera.setLensType(static_cast<uint8_t>(n[0]))) {
      m_out << "model " << m_camera.model() << " has no lens type " << n[0] << "\n";
      return false;
    }
  } else if (cmd == "model") {
    if (!numbers(1) || n[0] <= 0 || n[0] > 255) return usage();
    m_camera.setModel(static_cast<int>(n[0]), nowMs);
  } else if (cmd == "shutter") {
    if (args.size() != 1 || (args[0] != "on" && args[0] != "off")) return usage();
    FwAnswer a = m_camera.typed("ztc_shutter", Bytes{uint8_t(args[0] == "on")}, nowMs);
    if (a.status != 0) m_out << "shutter refused: " << a.status << "\n";
  } else if (cmd == "refuse" || cmd == "mute" || cmd == "off-time" || cmd == "sleep") {
    if (!numbers(1) || n[0] < 0) return usage();
    if (cmd == "refuse") m_camera.refuseFor(n[0], nowMs);
    if (cmd == "mute") m_camera.muteFor(n[0], nowMs);
    if (cmd == "off-time") m_camera.setOffTime(n[0]);
    if (cmd == "sleep") m_sleepUntilMs = nowMs + n[0];
  } else if (cmd == "csi") {
    if (!numbers(2) || n[0] < 0 || n[0] > 0xFFFFFFFFLL) return usage();
    m_send(m_csi.set(static_cast<uint32_t>(n[0]), static_cast<uint32_t>(n[1])));
  } else if (cmd == "status" || cmd == "settings") {
    if (args.size() > 1) return usage();
    if (!show(cmd == "status", args.empty() ? std::string() : args[0])) return usage();
  } else if (cmd == "set") {
    long long option = 0;
    const camera_setting_item_t* item = args.size() == 2 ? findSetting(args[0]) : nullptr;
    if (!item || !number(args[1], &option) || option < 0 || option > 0xFFFFFFFFLL) return usage();
    int32_t value = getOptionValueById(m_camera.model(), item->id, static_cast<uint32_t>(option));
    FwAnswer a = m_camera.changeSetting(item->id, value, nowMs);
    if (a.status != ZT_OK) {
      m_out << "set " << itemName(item) << " refused: " << a.status << "\n";
      return false;
    }
  } else if (cmd == "log") {
    if (!numbers(1) || n[0] < 0 || n[0] > 3) return usage();
    simSetLogLevel(static_cast<int>(n[0]));
  } else if (cmd == "quit" || cmd == "exit") {
    m_stop();
  } else {
    m_out << "unknown command \"" << cmd << "\" (try help)\n";
    return false;
  }
  m_out.flush();
  return true;
}

void Console::showState(int64_t nowMs) {
  SimCamera& c = m_camera;
  m_out << "model " << c.model() << ", lens mode " << int(c.lensMode()) << ", lens "
        << int(c.lens()) << ", lens type " << int(c.lensType()) << ", power profile "
        << int(c.powerProfile()) << ", ux " << (c.uxMode() == 1 ? "pro" : "easy") << "\n"
        << "flat mode " << int(c.flatMode()) << ", active group " << int(c.presets().activeGroup())
        << ", active preset 0x" << std::hex << c.presets().activePreset() << std::dec
        << (c.presets().editing() ? " (edit open)" : "") << "\n"
        << "capture " << (c.encoding() ? "running" : "idle") << ", zoom " << c.zoom()
        << "%, capture delay " << c.captureDelay() << " s, locate " << (c.locating() ? "on" : "off")
        << "\n"
        << "swift-lapse ramp " << c.swiftLapseRamp() << " (active " << c.swiftLapseRampActive()
        << "), auto-clear " << (c.autoClear() ? "on" : "off") << ", exposure selection "
        << (c.exposureSelection().empty() ? "none" : "set") << "\n"
        << (c.isOff(nowMs) ? "camera off (shutdown or sleep)\n"
                           : (c.refusing(nowMs) ? "refusing requests\n" : ""))
        << (c.answering(nowMs) ? "" : "not answering\n") << "off time " << c.offTime() << " ms\n";
}

bool Console::show(bool status, const std::string& key) {
  const SimCamera& c = m_camera;
  auto line = [&](const char* name, uint32_t id, int32_t value) {
    m_out << name << " (" << id << ") = ";
    if (status) {
      m_out << value << "\n";
      return;
    }
    uint32_t option = getOptionIdByValue(c.model(), id, value, 0xFFFFFFFF);
    if (option == 0xFFFFFFFF) {
      m_out << "no option (" << value << ")\n";
    } else {
      m_out << option << " (" << value << ")\n";
    }
  };
  if (status) {
    const camera_status_item_t* one = key.empty() ? nullptr : findStatus(key);
    if (!key.empty() && !one) return false;
    uint32_t count = 0;
    const camera_status_item_t* items = one ? one : camera_status_items(&count);
    for (uint32_t i = 0; i < (one ? 1 : count); ++i) {
      line(itemName(&items[i]), items[i].id, camera_status_read(&c.statusBlock(), &items[i]));
    }
  } else {
    const camera_setting_item_t* one = key.empty() ? nullptr : findSetting(key);
    if (!key.empty() && !one) return false;
    uint32_t count = 0;
    const camera_setting_item_t* items = one ? one : camera_setting_items(&count);
    for (uint32_t i = 0; i < (one ? 1 : count); ++i) {
      line(itemName(&items[i]), items[i].id, camera_setting_read(&c.settingsBlock(), &items[i]));
    }
  }
  return true;
}

void Console::showPresets() {
  PresetStore& p = m_camera.presets();
  for (uint8_t g : p.offeredGroups()) {
    m_out << "group " << int(g) << (g == p.activeGroup() ? " (active)" : "") << ":\n";
    for (const PresetRecord& r : p.group(g)) {
      m_out << "  0x" << std::hex << r.id << std::dec << " flat mode " << int(r.flatMode)
            << " title " << r.title << " #" << r.titleNumber << " icon " << r.icon
            << (r.userDefined() ? " custom" : "") << (r.edited > 0 ? " edited" : "")
            << (r.id == p.activeIn(g) ? " *" : "") << "\n";
    }
  }
}

void Console::showMedia() {
  for (const MediaFile& f : m_camera.media().files()) {
    m_out << "  " << f.name;
    if (f.group) m_out << " (group " << f.group << ")";
    if (!f.tags.empty()) m_out << " tags " << f.tags.size();
    m_out << "\n";
  }
  m_out << m_camera.media().files().size() << " file(s)\n";
}

void Console::showModule(int64_t nowMs) {
  AccessoryModule& m = m_camera.module();
  m_out << "access point " << (m.apOn() ? "on" : "off") << " ssid [" << m.apSsid()
        << "], bluetooth " << (m.bleOn() ? "on" : "off") << ", pairing "
        << (m.pairing(nowMs) ? "yes" : "no") << ", last scan " << int(m.scanId()) << ", connected ["
        << m.connectedSsid() << "]\n";
  for (const SavedNetwork& s : m.saved())
    m_out << "  saved [" << s.ssid << "] auth " << int(s.authType) << "\n";
}

}  // namespace ztsim
