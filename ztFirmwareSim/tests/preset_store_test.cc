// The simulated camera's presets: what each state offers, the life of a
// custom preset, edits and the events the firmware reports after them.
#include "preset_store.h"

#include <gtest/gtest.h>

namespace ztsim {
namespace {

using Events = std::vector<PresetEvent>;

Bytes u32s(std::initializer_list<uint32_t> values) {
  Bytes b;
  for (uint32_t v : values) appendU32(b, v);
  return b;
}

// The 18-byte create payload: group, flat mode, icon, title, title number, 0.
Bytes createPayload(uint8_t group, uint8_t flatMode) {
  Bytes b = u32s({18, 18, 0, 0});
  b.insert(b.begin(), {group, flatMode});
  return b;
}

uint32_t createCustom(PresetStore& store, uint8_t group, uint8_t flatMode) {
  FwAnswer a = store.handle(PresetStore::kCustomCreate, createPayload(group, flatMode));
  EXPECT_TRUE(a.status == ZT_OK && a.bytes.size() == 4u);
  return a.bytes.size() == 4 ? getU32(a.bytes.data()) : 0;
}

TEST(PresetStoreTest, PowerProfileChangeMovesActiveGroupAndReportsActiveSet) {
  PresetStore store;
  store.takeEvents();
  PresetContext c = store.context();
  c.powerProfile = 1;
  store.setContext(c);
  EXPECT_EQ(store.activeGroup(), kGroupEnduranceVideo);
  EXPECT_EQ(store.activePreset(), 0x80000u);
  EXPECT_EQ(store.takeEvents(), (Events{{PresetEvent::kActiveSet, 0x80000}}));
  EXPECT_TRUE(store.takeReload());
  // A change that keeps the active preset reports nothing.
  c.uxMode = 1;
  store.setContext(c);
  EXPECT_TRUE(store.takeEvents().empty());
}

TEST(PresetStoreTest, InfoRecordIs81BytesAndDecodesToTheStoredPreset) {
  PresetStore store;
  FwAnswer a = store.handle(PresetStore::kGetInfo, u32s({0x10003}));
  ASSERT_EQ(a.status, ZT_OK);
  ASSERT_EQ(a.bytes.size(), PresetRecord::kSize);
  PresetRecord r = PresetRecord::decode(a.bytes);
  EXPECT_EQ(std::make_tuple(r.id, r.flatMode, r.type), std::make_tuple(0x10003u, 18, 0));
  EXPECT_EQ(r, *store.find(0x10003));
  // Unknown ids and payloads of the wrong size are refused, not guessed at.
  EXPECT_EQ(store.handle(PresetStore::kGetInfo, u32s({0x7777})).status, ZT_ERR_INVALID_PARAM);
  EXPECT_EQ(store.handle(PresetStore::kGetInfo, Bytes{1, 2}).status, ZT_ERR_INVALID_PARAM);
  EXPECT_EQ(store.handle(PresetStore::kListIds, Bytes{7}).status, ZT_ERR_INVALID_PARAM);
}

TEST(PresetStoreTest, CreateMakesActiveCustomPresetWithEditOpenUntilStored) {
  PresetStore store;
  store.takeEvents();
  uint32_t id = createCustom(store, kGroupPhoto, 17);
  EXPECT_EQ(id >> 16, kGroupPhoto);
  const PresetRecord* r = store.find(id);
  ASSERT_NE(r, nullptr);
  EXPECT_TRUE(r->userDefined());
  EXPECT_EQ(store.activePreset(), id);
  ASSERT_NE(store.editing(), nullptr);
  // The creator switches the flat mode and stores the edit.
  EXPECT_EQ(store.handle(PresetStore::kFlatModeSwitch, Bytes{18}).status, ZT_OK);
  EXPECT_EQ(store.handle(PresetStore::kEditStore, {}).status, ZT_OK);
  EXPECT_EQ(store.find(id)->flatMode, 18);
  EXPECT_EQ(store.editing(), nullptr);
  EXPECT_EQ(store.takeEvents(), (Events{{PresetEvent::kCreated, kGroupPhoto},
                                        {PresetEvent::kActiveSet, id},
                                        {PresetEvent::kEditStore, id}}));
  // Its id is listed last in its group.
  FwAnswer ids = store.handle(PresetStore::kListIds, Bytes{kGroupPhoto});
  ASSERT_GE(ids.bytes.size(), 5u);
  EXPECT_EQ(getU32(ids.bytes.data() + ids.bytes.size() - 4), id);
}

TEST(PresetStoreTest, CreateRefusedWhereCameraCannotHoldIt) {
  for (int model : {51, 60}) {
    PresetContext c;
    c.model = model;
    EXPECT_EQ(PresetStore(c).handle(PresetStore::kCustomCreate, createPayload(0, 12)).status,
              ZT_ERR_NOT_SUPPORTED);
  }
  PresetStore store;
  // A group the state does not offer, a flat mode the group does not take, a short payload.
  for (const Bytes& p : {createPayload(3, 12), createPayload(0, 5), Bytes(17, 0)})
    EXPECT_EQ(store.handle(PresetStore::kCustomCreate, p).status, ZT_ERR_INVALID_PARAM);
  for (size_t i = 0; i < PresetStore::kMaxCustomPerGroup; ++i) createCustom(store, 0, 12);
  EXPECT_EQ(store.handle(PresetStore::kCustomCreate, createPayload(0, 12)).status, ZT_ERR);
  // Ids are never reused within a run.
  std::vector<uint32_t> ids;
  for (const PresetRecord& r : store.group(0)) ids.push_back(r.id);
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end());
}

TEST(PresetStoreTest, RemovingActiveCustomFallsBackAndFactoryPresetsStay) {
  PresetStore store;
  uint32_t id = createCustom(store, 0, 12);
  store.handle(PresetStore::kEditStore, {});
  store.takeEvents();
  EXPECT_EQ(store.handle(PresetStore::kCustomRemove, u32s({0x00001})).status, ZT_ERR_INVALID_PARAM);
  EXPECT_EQ(store.handle(PresetStore::kCustomRemove, u32s({id})).status, ZT_OK);
  EXPECT_EQ(store.find(id), nullptr);
  EXPECT_EQ(store.activePreset(), 0u);
  EXPECT_EQ(store.takeEvents(), (Events{{PresetEvent::kRemoved, 0}, {PresetEvent::kActiveSet, 0}}));
  EXPECT_EQ(store.handle(PresetStore::kCustomRemove, u32s({id})).status, ZT_ERR_INVALID_PARAM);

  // Removing a custom preset that is not active, in the active group or in
  // another one, leaves the active preset and the live settings alone.
  uint32_t video = createCustom(store, 0, 12);
  uint32_t photo = createCustom(store, 1, 17);
  store.handle(PresetStore::kEditStore, {});
  ASSERT_EQ(store.handle(PresetStore::kActiveSet, u32s({0x00002})).status, ZT_OK);
  ASSERT_EQ(store.handle(PresetStore::kActiveSet, u32s({0x10001})).status, ZT_OK);
  ASSERT_EQ(store.handle(PresetStore::kActiveSet, u32s({0x00002})).status, ZT_OK);
  store.takeEvents();
  store.takeReload();
  EXPECT_EQ(store.handle(PresetStore::kCustomRemove, u32s({video})).status, ZT_OK);
  EXPECT_EQ(store.handle(PresetStore::kCustomRemove, u32s({photo})).status, ZT_OK);
  EXPECT_EQ(store.activePreset(), 0x00002u);
  EXPECT_EQ(store.activeIn(kGroupPhoto), 0x10001u);
  EXPECT_FALSE(store.takeReload());
  EXPECT_EQ(store.takeEvents(), (Events{{PresetEvent::kRemoved, 0}, {PresetEvent::kRemoved, 1}}));
}

TEST(PresetStoreTest, SetOrderMovesWithinGroupAndClampsPastTheEnd) {
  PresetStore store;
  store.takeEvents();
  ASSERT_EQ(store.handle(PresetStore::kSetOrder, u32s({0x00004, 0})).status, ZT_OK);
  EXPECT_EQ(store.group(0).front().id, 0x00004u);
  ASSERT_EQ(store.handle(PresetStore::kSetOrder, u32s({0x00004, 99})).status, ZT_OK);
  EXPECT_EQ(store.group(0).back().id, 0x00004u);
  EXPECT_EQ(store.group(0).size(), 6u);
  EXPECT_EQ(store.takeEvents(),
            (Events{{PresetEvent::kReordered, 0}, {PresetEvent::kReordered, 0}}));
  EXPECT_EQ(store.handle(PresetStore::kSetOrder, u32s({0x00004})).status, ZT_ERR_INVALID_PARAM);
}

// (A setting landing in the open edit and the edited mark in the status block
// are checked on the camera.)
TEST(PresetStoreTest, CancelRevertsEditAndStoreMarksPredefinedEdited) {
  PresetStore store;
  const uint32_t active = store.activePreset();
  const PresetRecord before = *store.find(active);
  ASSERT_EQ(store.handle(PresetStore::kEditStart, u32s({active})).status, ZT_OK);
  store.applySettingToEdit(2, 9);  // resolution into the video block
  // A second start on the same preset keeps the first snapshot.
  ASSERT_EQ(store.handle(PresetStore::kEditStart, u32s({active})).status, ZT_OK);
  store.takeReload();
  ASSERT_EQ(store.handle(PresetStore::kEditCancel, {}).status, ZT_OK);
  EXPECT_EQ(*store.find(active), before);
  EXPECT_TRUE(store.takeReload());
  EXPECT_EQ(store.handle(PresetStore::kEditCancel, {}).status, ZT_ERR);

  store.handle(PresetStore::kEditStart, u32s({active}));
  store.applySettingToEdit(3, 5);
  store.handle(PresetStore::kEditStore, {});
  store.takeEvents();
  ASSERT_EQ(store.handle(PresetStore::kPredefinedRestore, u32s({active})).status, ZT_OK);
  EXPECT_EQ(*store.find(active), before);
  EXPECT_EQ(store.takeEvents(), (Events{{PresetEvent::kReset, active}}));
}

// (Activation and its event through a mode change are checked on the camera.)
TEST(PresetStoreTest, ActivationRefusesPresetsTheStateDoesNotOffer) {
  PresetStore store;
  EXPECT_EQ(store.handle(PresetStore::kActiveSet, u32s({0x80000})).status, ZT_ERR_INVALID_PARAM);
  ASSERT_EQ(store.handle(PresetStore::kActiveSet, u32s({0x20002})).status, ZT_OK);
  // Each group remembers its active preset.
  EXPECT_TRUE(store.activateBase(0));
  EXPECT_TRUE(store.activateBase(2));
  EXPECT_EQ(store.activePreset(), 0x20002u);
}

TEST(PresetStoreTest, UserDataEditChangesTitleAndIconAndReportsChanged) {
  PresetStore store;
  uint32_t id = createCustom(store, 2, 24);
  store.handle(PresetStore::kEditStore, {});
  store.takeEvents();
  ASSERT_EQ(store.handle(PresetStore::kUserDataEdit, u32s({id, 20, 21, 3, 0})).status, ZT_OK);
  const PresetRecord* r = store.find(id);
  EXPECT_EQ(std::make_tuple(r->icon, r->title, r->titleNumber), std::make_tuple(20u, 21u, 3u));
  EXPECT_EQ(store.takeEvents(), (Events{{PresetEvent::kChanged, id}}));
  EXPECT_EQ(store.handle(PresetStore::kUserDataEdit, u32s({id, 1})).status, ZT_ERR_INVALID_PARAM);
}

TEST(PresetRecordTest, IntervalSettingsMapThroughTheirTables) {
  const std::vector<BlockField>& f = blockFields(BlockFamily::kMultiShot);
  auto field = [&f](uint32_t id) {
    for (const BlockField& x : f) {
      if (x.settingId == id) return x;
    }
    return BlockField{0, 0, BlockField::kPlain};
  };
  EXPECT_EQ(blockToSettingValue(field(30), 4), 10);
  EXPECT_EQ(blockToSettingValue(field(32), 9), 3601);  // automatic
  uint8_t byte = 0;
  EXPECT_TRUE(settingValueToBlock(field(32), 3601, &byte));
  EXPECT_EQ(byte, 9);
  EXPECT_TRUE(settingValueToBlock(field(32), 0, &byte));
  EXPECT_EQ(byte, 9);
  EXPECT_FALSE(settingValueToBlock(field(30), 7, &byte));
  EXPECT_EQ(blockToSettingValue(field(30), 200), 0);  // past the table
}

}  // namespace
}  // namespace ztsim
