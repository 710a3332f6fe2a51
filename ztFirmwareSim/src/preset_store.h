// The simulated camera's presets: the groups each model and camera state
// offers, predefined and custom presets in their groups' order, the active
// preset of every group, the open edit, and the preset-update events the
// firmware reports after each change. Serves the firmware's preset
// operations (category 17). Owned by SimCamera; single-threaded.
#ifndef ZTSIM_PRESET_STORE_H
#define ZTSIM_PRESET_STORE_H

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "factory_presets.h"
#include "fw_answer.h"
#include "preset_record.h"

namespace ztsim {

// What decides the offered groups.
struct PresetContext {
  int model = 57;
  uint8_t lensMode = 0;
  uint8_t lensType = 0;
  uint8_t powerProfile = 0;
  uint8_t uxMode = 1;  // 1 pro, 0 easy
};

// A preset-update event ("PU"): event code and preset id or group.
struct PresetEvent {
  enum Code : uint8_t {
    kEditStart = 0,
    kEditStore = 1,
    kEditCancel = 2,
    kCreated = 3,
    kReordered = 4,
    kRemoved = 5,
    kActiveSet = 6,
    kReset = 7,
    kChanged = 8,
  };
  uint8_t code;
  uint32_t id;
  bool operator==(const PresetEvent& o) const { return code == o.code && id == o.id; }
};

class PresetStore {
 public:
  // Preset operations of category 17.
  enum Op : uint8_t {
    kListGroups = 0,
    kListIds = 1,
    kGetInfo = 2,
    kCustomCreate = 3,
    kCustomRemove = 4,
    kSetOrder = 5,
    kEditStart = 8,
    kEditCancel = 9,
    kEditStore = 10,
    kActiveSet = 12,
    kPredefinedRestore = 13,
    kUserDataEdit = 15,
    kFlatModeSwitch = 23,
    kPowerOnDefaultGet = 25,
  };
  // Custom presets a group holds at most.
  static constexpr size_t kMaxCustomPerGroup = 7;
  // Id of the "everything was reset" event.
  static constexpr uint32_t kResetAll = 0xFFFFFFFF;

  explicit PresetStore(const PresetContext& context = PresetContext());

  // Every group back to its factory presets; custom presets are gone.
  void factoryReset();

  // A new camera state. When it moves the active group (power profile, ux
  // mode, lens), the new group's active preset becomes current and an
  // active-set event follows.
  void setContext(const PresetContext& context);
  const PresetContext& context() const { return m_context; }

  // Serves one preset operation.
  FwAnswer handle(uint8_t op, const Bytes& payload);

  // Base group (0 video, 1 photo, 2 time lapse) of a firmware group.
  static int baseOf(uint8_t group);
  // What a model is built with: the second (Orbi) lens (lens type 1; the
  // other models always read lens type 0), custom presets.
  static bool hasOrbiLens(int model);
  static bool canCreate(int model);

  // Groups the firmware lists in the current state, in listing order: the
  // special group in any lens mode but 0; the second-lens groups with lens
  // type 1; else the video group of the ux mode and power profile, then the
  // photo and time-lapse groups of the ux mode. Model 60 adds the other lens
  // family's groups (with lens type 0 only in pro mode, power profile 0).
  // Empty in a state no camera reports (lens type above 1).
  std::vector<uint8_t> offeredGroups() const;
  // The firmware group a base group (0 video, 1 photo, 2 time lapse) maps to
  // in the current state.
  uint8_t groupForBase(int base) const;
  uint8_t activeGroup() const;
  uint32_t activePreset() const;
  uint32_t activeIn(uint8_t group) const;
  const PresetRecord* find(uint32_t id) const;
  const std::vector<PresetRecord>& group(uint8_t g) const;
  // The preset under edit, or null.
  const PresetRecord* editing() const;

  // Applies a setting written while an edit of the active preset is open:
  // the byte of the record's block that holds settingId takes the value.
  void applySettingToEdit(uint32_t settingId, int32_t value);
  // A mode change: makes current the preset of the offered groups that has
  // this flat mode, preferring each group's active one. False when no
  // offered preset has it (the active preset then stays).
  bool activateByFlatMode(uint8_t flatMode);
  // Makes current the active preset of a base group (0 video, 1 photo,
  // 2 time lapse) in the current state.
  bool activateBase(int base);

  // Activates the preset (as REMOTE_PRESET_ACTIVE_SET); false for an id the
  // camera does not have or whose group the current state does not offer.
  bool activate(uint32_t id);

  // Events since the last call, oldest first.
  std::vector<PresetEvent> takeEvents();
  // True once after anything that changes the live settings: the active
  // preset changed, or its record was reverted or switched.
  bool takeReload();

 private:
  bool offered(uint8_t group) const;
  void closeEditSilently();
  PresetRecord* findMutable(uint32_t id);
  std::vector<PresetRecord>* groupOf(uint32_t id);
  void emit(uint8_t code, uint32_t id) { m_events.push_back(PresetEvent{code, id}); }

  FwAnswer listIds(const Bytes& p) const;
  FwAnswer getInfo(const Bytes& p) const;
  FwAnswer create(const Bytes& p);
  FwAnswer remove(const Bytes& p);
  FwAnswer setOrder(const Bytes& p);
  FwAnswer editStart(const Bytes& p);
  FwAnswer editEnd(bool store);
  FwAnswer restore(const Bytes& p);
  FwAnswer userDataEdit(const Bytes& p);
  FwAnswer flatModeSwitch(const Bytes& p);

  PresetContext m_context;
  std::map<uint8_t, std::vector<PresetRecord>> m_groups;
  std::map<uint8_t, uint32_t> m_active;  // active preset per firmware group
  uint8_t m_activeGroup = kGroupVideo;   // an offered group whenever any is offered
  int m_lastBase = 0;                    // base group to return to after the special group
  uint32_t m_nextCustom = 0x100;
  bool m_editOpen = false;
  PresetRecord m_editSnapshot;
  std::vector<PresetEvent> m_events;
  bool m_reload = true;
};

}  // namespace ztsim

#endif  // ZTSIM_PRESET_STORE_H
