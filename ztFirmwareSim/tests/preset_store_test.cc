// The simulated camera's presets: the life of a custom preset, refusals,
// edits and the events the firmware reports after them. (What each state
// offers is read through the daemon by the golden sessions of every model.)
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

// A created preset is active with an edit open until stored, listed last in
// its group; removing it while active falls back to the group's first.
TEST(PresetStoreTest, CustomPresetIsCreatedEditedStoredAndRemoved) {
  PresetStore store;
  store.takeEvents();
  uint32_t id = createCustom(store, kGroupPhoto, 17);
  EXPECT_EQ(id >> 16, kGroupPhoto);
  ASSERT_NE(store.find(id), nullptr);
  EXPECT_TRUE(store.find(id)->userDefined());
  EXPECT_EQ(store.activePreset(), id);
  ASSERT_NE(store.editing(), nullptr);
  EXPECT_EQ(store.handle(PresetStore::kFlatModeSwitch, Bytes{18}).status, ZT_OK);
  EXPECT_EQ(store.handle(PresetStore::kEditStore, {}).status, ZT_OK);
  EXPECT_EQ(store.find(id)->flatMode, 18);
  EXPECT_EQ(store.editing(), nullptr);
  FwAnswer ids = store.handle(PresetStore::kListIds, Bytes{kGroupPhoto});
  ASSERT_GE(ids.bytes.size(), 5u);
  EXPECT_EQ(getU32(ids.bytes.data() + ids.bytes.size() - 4), id);

  EXPECT_EQ(store.handle(PresetStore::kCustomRemove, u32s({0x10001})).status, ZT_ERR_INVALID_PARAM)
      << "a factory preset stays";
  EXPECT_EQ(store.handle(PresetStore::kCustomRemove, u32s({id})).status, ZT_OK);
  EXPECT_EQ(store.find(id), nullptr);
  EXPECT_EQ(store.activePreset(), 0x10000u);
  EXPECT_EQ(store.takeEvents(), (Events{{PresetEvent::kCreated, kGroupPhoto},
                                        {PresetEvent::kActiveSet, id},
                                        {PresetEvent::kEditStore, id},
                                        {PresetEvent::kRemoved, kGroupPhoto},
                                        {PresetEvent::kActiveSet, 0x10000}}));
}

TEST(PresetStoreTest, CreateRefusedWhereCameraCannotHoldIt) {
  PresetContext c;
  c.model = 60;
  EXPECT_EQ(PresetStore(c).handle(PresetStore::kCustomCreate, createPayload(0, 12)).status,
            ZT_ERR_NOT_SUPPORTED);
  PresetStore store;
  // A group the state does not offer, a flat mode the group does not take, a short payload.
  for (const Bytes& p : {createPayload(3, 12), createPayload(0, 5), Bytes(17, 0)})
    EXPECT_EQ(store.handle(PresetStore::kCustomCreate, p).status, ZT_ERR_INVALID_PARAM);
  for (size_t i = 0; i < PresetStore::kMaxCustomPerGroup; ++i) createCustom(store, 0, 12);
  EXPECT_EQ(store.handle(PresetStore::kCustomCreate, createPayload(0, 12)).status, ZT_ERR);
}

// Cancel puts back the snapshot of the first start, a second cancel is
// refused; restoring a stored factory preset reports a reset.
TEST(PresetStoreTest, CancelRevertsEditAndRestoreUndoesAStoredOne) {
  PresetStore store;
  const uint32_t active = store.activePreset();
  const PresetRecord before = *store.find(active);
  ASSERT_EQ(store.handle(PresetStore::kEditStart, u32s({active})).status, ZT_OK);
  store.applySettingToEdit(2, 9);  // resolution into the video block
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

}  // namespace
}  // namespace ztsim
