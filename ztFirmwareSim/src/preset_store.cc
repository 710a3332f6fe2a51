#include "preset_store.h"

#include <algorithm>

namespace ztsim {

int PresetStore::baseOf(uint8_t group) {
  switch (group) {
    case kGroupPhoto:
    case kGroupOrbiPhoto:
    case kGroupEasyPhoto:
      return 1;
    case kGroupTimeLapse:
    case kGroupOrbiTimeLapse:
    case kGroupEasyTimeLapse:
      return 2;
    default:
      return 0;
  }
}

PresetStore::PresetStore(const PresetContext& context) : m_context(context) {
  factoryReset();
}

void PresetStore::factoryReset() {
  m_groups.clear();
  m_active.clear();
  for (uint8_t g = 0; g < kGroupCount; ++g) {
    std::vector<PresetRecord> presets = factoryPresets(g, m_context.model);
    if (!presets.empty()) m_groups[g] = std::move(presets);
  }
  m_editOpen = false;
  m_lastBase = 0;
  m_activeGroup = groupForBase(0);
  m_reload = true;
}

bool PresetStore::hasOrbiLens(int model) {
  return model == 51 || model == 60;
}

bool PresetStore::canCreate(int model) {
  return model != 51 && model != 60;
}

std::vector<uint8_t> PresetStore::offeredGroups() const {
  const PresetContext& c = m_context;
  if (c.lensMode != 0) return {kGroupSpecial};
  const bool bothFamilies = c.model == 60;
  if (c.lensType == 1) {
    std::vector<uint8_t> groups = {kGroupOrbiVideo, kGroupOrbiPhoto, kGroupOrbiTimeLapse};
    if (bothFamilies) groups.insert(groups.end(), {kGroupVideo, kGroupPhoto, kGroupTimeLapse});
    return groups;
  }
  if (c.lensType != 0 || c.powerProfile > 2 || c.uxMode > 1) return {};
  std::vector<uint8_t> groups = {groupForBase(0), groupForBase(1), groupForBase(2)};
  // The model with both lens families lists the second-lens groups too, but
  // only beside the plain pro groups.
  if (bothFamilies && c.uxMode == 1 && c.powerProfile == 0) {
    groups.insert(groups.end(), {kGroupOrbiVideo, kGroupOrbiPhoto, kGroupOrbiTimeLapse});
  }
  return groups;
}

uint8_t PresetStore::groupForBase(int base) const {
  const PresetContext& c = m_context;
  if (c.lensMode != 0) return kGroupSpecial;
  if (c.lensType == 1) return static_cast<uint8_t>(kGroupOrbiVideo + base);
  if (base == 1) return c.uxMode == 0 ? kGroupEasyPhoto : kGroupPhoto;
  if (base == 2) return c.uxMode == 0 ? kGroupEasyTimeLapse : kGroupTimeLapse;
  static const uint8_t pro[3] = {kGroupVideo, kGroupEnduranceVideo, kGroupLongestBatteryVideo};
  static const uint8_t easy[3] = {kGroupEasyVideo, kGroupEasyEnduranceVideo,
                                  kGroupEasyLongestBatteryVideo};
  uint8_t pp = c.powerProfile <= 2 ? c.powerProfile : 0;
  return c.uxMode == 0 ? easy[pp] : pro[pp];
}

bool PresetStore::offered(uint8_t group) const {
  std::vector<uint8_t> g = offeredGroups();
  return std::find(g.begin(), g.end(), group) != g.end();
}

uint8_t PresetStore::activeGroup() const {
  return m_activeGroup;
}

uint32_t PresetStore::activePreset() const {
  return activeIn(m_activeGroup);
}

uint32_t PresetStore::activeIn(uint8_t g) const {
  auto groupIt = m_groups.find(g);
  if (groupIt == m_groups.end() || groupIt->second.empty()) return 0;
  auto it = m_active.find(g);
  if (it != m_active.end()) {
    for (const PresetRecord& r : groupIt->second) {
      if (r.id == it->second) return r.id;
    }
  }
  return groupIt->second.front().id;
}

const std::vector<PresetRecord>& PresetStore::group(uint8_t g) const {
  static const std::vector<PresetRecord> empty;
  auto it = m_groups.find(g);
  return it == m_groups.end() ? empty : it->second;
}

std::vector<PresetRecord>* PresetStore::groupOf(uint32_t id) {
  auto it = m_groups.find(static_cast<uint8_t>(id >> 16));
  if (it == m_groups.end()) return nullptr;
  for (const PresetRecord& r : it->second) {
    if (r.id == id) return &it->second;
  }
  return nullptr;
}

PresetRecord* PresetStore::findMutable(uint32_t id) {
  std::vector<PresetRecord>* g = groupOf(id);
  if (!g) return nullptr;
  for (PresetRecord& r : *g) {
    if (r.id == id) return &r;
  }
  return nullptr;
}

const PresetRecord* PresetStore::find(uint32_t id) const {
  return const_cast<PresetStore*>(this)->findMutable(id);
}

const PresetRecord* PresetStore::editing() const {
  return m_editOpen ? find(m_editSnapshot.id) : nullptr;
}

void PresetStore::setContext(const PresetContext& context) {
  uint32_t before = activePreset();
  bool modelChanged = context.model != m_context.model;
  if (m_activeGroup != kGroupSpecial) m_lastBase = baseOf(m_activeGroup);
  m_context = context;
  if (modelChanged) {
    factoryReset();
  } else if (!offered(m_activeGroup)) {
    m_activeGroup = groupForBase(m_lastBase);
  }
  if (activePreset() != before) {
    closeEditSilently();
    m_reload = true;
    emit(PresetEvent::kActiveSet, activePreset());
  }
}

bool PresetStore::activate(uint32_t id) {
  PresetRecord* r = findMutable(id);
  if (!r || !offered(r->group())) return false;
  closeEditSilently();
  m_active[r->group()] = id;
  m_activeGroup = r->group();
  m_reload = true;
  emit(PresetEvent::kActiveSet, id);
  return true;
}

bool PresetStore::activateBase(int base) {
  if (base < 0 || base > 2) return false;
  uint8_t g = groupForBase(base);
  if (group(g).empty()) return false;
  return activate(activeIn(g));
}

bool PresetStore::activateByFlatMode(uint8_t flatMode) {
  std::vector<uint8_t> groups = offeredGroups();
  for (uint8_t g : groups) {
    const PresetRecord* r = find(activeIn(g));
    if (r && r->flatMode == flatMode) return r->id == activePreset() || activate(r->id);
  }
  for (uint8_t g : groups) {
    for (const PresetRecord& r : group(g)) {
      if (r.flatMode == flatMode) return activate(r.id);
    }
  }
  return false;
}

void PresetStore::closeEditSilently() {
  if (!m_editOpen) return;
  if (PresetRecord* r = findMutable(m_editSnapshot.id)) *r = m_editSnapshot;
  m_editOpen = false;
}

void PresetStore::applySettingToEdit(uint32_t settingId, int32_t value) {
  if (!m_editOpen || m_editSnapshot.id != activePreset()) return;
  PresetRecord* r = findMutable(m_editSnapshot.id);
  if (!r) return;
  for (const BlockField& f : blockFields(familyOf(r->flatMode))) {
    uint8_t byte;
    if (f.settingId == settingId && settingValueToBlock(f, value, &byte)) r->block[f.offset] = byte;
  }
}

std::vector<PresetEvent> PresetStore::takeEvents() {
  std::vector<PresetEvent> out;
  out.swap(m_events);
  return out;
}

bool PresetStore::takeReload() {
  bool r = m_reload;
  m_reload = false;
  return r;
}

}  // namespace ztsim
