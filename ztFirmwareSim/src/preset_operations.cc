// The firmware's preset operations (category 17) on the preset store: the
// payload checks, the change itself and the preset-update event it reports.
#include <algorithm>

#include "preset_store.h"
#include "sim_log.h"

namespace ztsim {

namespace {

Bytes u32Answer(uint32_t v) {
  Bytes b;
  appendU32(b, v);
  return b;
}

}  // namespace

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
  if (!canCreate(m_context.model)) return FwAnswer::fail(ZT_ERR_NOT_SUPPORTED);
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
  // Only the group whose remembered preset goes away falls back to its first
  // preset; any other active preset stays as it is.
  bool wasGroupActive = activeIn(g) == id;
  list->erase(it);
  if (wasGroupActive) m_active.erase(g);
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
