#include "preset_store.h"

#include <algorithm>

#include "sim_log.h"

namespace ztsim {

namespace {

Bytes u32Answer(uint32_t v) {
  Bytes b;
  appendU32(b, v);
  return b;
}

}  // namespace

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

std::vector<uint8_t> PresetStore::offeredGroups() const {
  const PresetContext& c = m_context;
  if (c.lensMode != 0) return {kGroupSpecial};
  std::vector<uint8_t> groups = {groupForBase(0), groupForBase(1), groupForBase(2)};
  if (c.model == 60) {
    // The model with both lens families lists both sets.
    std::vector<uint8_t> other =
        c.lensType == 1 ? std::vector<uint8_t>{0, 1, 2} : std::vector<uint8_t>{3, 4, 5};
    groups.insert(groups.end(), other.begin(), other.end());
  }
  return groups;
}

uint8_t PresetStore::groupForBase(int base) const {
  const PresetContext& c = m_context;
  if (c.lensMode != 0) return kGroupSpecial;
  if (c.lensType == 1) return static_cast<uint8_t>(kGroupOrbiVideo + base);
  if (c.model == 60) return static_cast<uint8_t>(base);
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

FwAnswer PresetStore::handle(uint8_t op, const Bytes& p) {
  switch (op) {
    case kListGroups: {
      std::vector<uint8_t> g = offeredGroups();
      Bytes b{static_cast<uint8_t>(g.size())};
      b.insert(b.end(), g.begin(), g.end());
      return FwAnswer::data(b);
    }
    case kListIds:
      return listIds(p);
    case kGetInfo:
      return getInfo(p);
    case kCustomCreate:
      return create(p);
    case kCustomRemove:
      return remove(p);
    case kSetOrder:
      return setOrder(p);
    case kEditStart:
      return editStart(p);
    case kEditCancel:
      return editEnd(false);
    case kEditStore:
      return editEnd(true);
    case kActiveSet:
      if (p.size() != 4) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
      return activate(getU32(p.data())) ? FwAnswer::ok() : FwAnswer::fail(ZT_ERR_INVALID_PARAM);
    case kPredefinedRestore:
      return restore(p);
    case kUserDataEdit:
      return userDataEdit(p);
    case kFlatModeSwitch:
      return flatModeSwitch(p);
    case kPowerOnDefaultGet:
      return FwAnswer::data(u32Answer(activeIn(groupForBase(0))));
    default:
      simLog(kLogWarn, "presets: unknown operation (17, %u), answered 0", op);
      return FwAnswer::ok();
  }
}

FwAnswer PresetStore::listIds(const Bytes& p) const {
  if (p.size() != 1) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  auto it = m_groups.find(p[0]);
  if (it == m_groups.end()) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  Bytes b{static_cast<uint8_t>(it->second.size())};
  for (const PresetRecord& r : it->second) appendU32(b, r.id);
  return FwAnswer::data(b);
}

FwAnswer PresetStore::getInfo(const Bytes& p) const {
  if (p.size() != 4) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  const PresetRecord* r = find(getU32(p.data()));
  return r ? FwAnswer::data(r->encode()) : FwAnswer::fail(ZT_ERR_INVALID_PARAM);
}

FwAnswer PresetStore::create(const Bytes& p) {
  if (p.size() != 18) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  if (m_context.model == 51 || m_context.model == 60) return FwAnswer::fail(ZT_ERR_NOT_SUPPORTED);
  uint8_t g = p[0];
  uint8_t flatMode = p[1];
  if (g > kGroupTimeLapse || familyOf(flatMode) == BlockFamily::kNone) {
    return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  }
  std::vector<PresetRecord>& list = m_groups[g];
  size_t customs = std::count_if(list.begin(), list.end(), [](const PresetRecord& r) {
    return r.userDefined();
  });
  if (customs >= kMaxCustomPerGroup) return FwAnswer::fail(ZT_ERR);

  PresetRecord r;
  r.id = static_cast<uint32_t>(g) << 16 | (m_nextCustom++ & 0xFFFF);
  r.type = 1;
  r.flatMode = flatMode;
  r.icon = getU32(&p[2]);
  r.title = getU32(&p[6]);
  r.titleNumber = getU32(&p[10]);
  // A new preset starts from the settings of the group's current preset.
  const PresetRecord* from = find(activeIn(g));
  r.block = (from && familyOf(from->flatMode) == familyOf(flatMode))
                ? from->block
                : defaultBlock(familyOf(flatMode));
  list.push_back(r);
  emit(PresetEvent::kCreated, g);
  // The new preset becomes current with an edit open on it, so the creator
  // can set its flat mode and store it.
  if (offered(g)) activate(r.id);
  m_editOpen = true;
  m_editSnapshot = r;
  simLog(kLogInfo, "presets: custom preset 0x%x created in group %u", r.id, g);
  return FwAnswer::data(u32Answer(r.id));
}

FwAnswer PresetStore::remove(const Bytes& p) {
  if (p.size() != 4) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  uint32_t id = getU32(p.data());
  std::vector<PresetRecord>* list = groupOf(id);
  if (!list) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  auto it = std::find_if(list->begin(), list->end(), [id](const PresetRecord& r) {
    return r.id == id;
  });
  if (!it->userDefined()) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  if (m_editOpen && m_editSnapshot.id == id) m_editOpen = false;
  bool wasActive = activePreset() == id;
  uint8_t g = it->group();
  list->erase(it);
  m_active.erase(g);
  emit(PresetEvent::kRemoved, g);
  if (wasActive) {
    m_reload = true;
    emit(PresetEvent::kActiveSet, activePreset());
  }
  return FwAnswer::ok();
}

FwAnswer PresetStore::setOrder(const Bytes& p) {
  if (p.size() != 8) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  uint32_t id = getU32(p.data());
  uint32_t order = getU32(p.data() + 4);
  std::vector<PresetRecord>* list = groupOf(id);
  if (!list) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  auto it = std::find_if(list->begin(), list->end(), [id](const PresetRecord& r) {
    return r.id == id;
  });
  PresetRecord moved = *it;
  list->erase(it);
  size_t at = std::min<size_t>(order, list->size());
  list->insert(list->begin() + static_cast<std::ptrdiff_t>(at), moved);
  emit(PresetEvent::kReordered, moved.group());
  return FwAnswer::ok();
}

FwAnswer PresetStore::editStart(const Bytes& p) {
  if (p.size() != 4) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  uint32_t id = getU32(p.data());
  const PresetRecord* r = find(id);
  if (!r) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  // A second start on the same preset keeps the first snapshot, so a cancel
  // still returns to the state before the first start.
  if (!m_editOpen || m_editSnapshot.id != id) {
    closeEditSilently();
    m_editSnapshot = *r;
    m_editOpen = true;
  }
  emit(PresetEvent::kEditStart, id);
  return FwAnswer::ok();
}

FwAnswer PresetStore::editEnd(bool store) {
  if (!m_editOpen) return FwAnswer::fail(ZT_ERR);
  uint32_t id = m_editSnapshot.id;
  PresetRecord* r = findMutable(id);
  m_editOpen = false;
  if (!r) return FwAnswer::fail(ZT_ERR);
  if (store) {
    if (!r->userDefined() && r->block != m_editSnapshot.block) r->edited = 1;
    emit(PresetEvent::kEditStore, id);
  } else {
    if (*r != m_editSnapshot) {
      *r = m_editSnapshot;
      if (id == activePreset()) m_reload = true;
    }
    emit(PresetEvent::kEditCancel, id);
  }
  return FwAnswer::ok();
}

FwAnswer PresetStore::restore(const Bytes& p) {
  if (p.size() != 4) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  uint32_t id = getU32(p.data());
  PresetRecord* r = findMutable(id);
  PresetRecord factory;
  if (!r || r->userDefined() || !factoryPreset(id, m_context.model, &factory)) {
    return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  }
  if (m_editOpen && m_editSnapshot.id == id) m_editOpen = false;
  *r = factory;
  if (id == activePreset()) m_reload = true;
  emit(PresetEvent::kReset, id);
  return FwAnswer::ok();
}

FwAnswer PresetStore::userDataEdit(const Bytes& p) {
  if (p.size() != 20) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  PresetRecord* r = findMutable(getU32(p.data()));
  if (!r) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  r->icon = getU32(&p[4]);
  r->title = getU32(&p[8]);
  r->titleNumber = getU32(&p[12]);
  r->userData3 = getU32(&p[16]);
  emit(PresetEvent::kChanged, r->id);
  return FwAnswer::ok();
}

FwAnswer PresetStore::flatModeSwitch(const Bytes& p) {
  if (p.size() != 1) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  uint8_t flatMode = p[0];
  PresetRecord* r = findMutable(m_editOpen ? m_editSnapshot.id : activePreset());
  if (!r || !r->userDefined()) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  BlockFamily family = familyOf(flatMode);
  if (family == BlockFamily::kNone) return FwAnswer::fail(ZT_ERR_INVALID_PARAM);
  if (family != familyOf(r->flatMode)) r->block = defaultBlock(family);
  r->flatMode = flatMode;
  if (r->id == activePreset()) m_reload = true;
  return FwAnswer::ok();
}

}  // namespace ztsim
