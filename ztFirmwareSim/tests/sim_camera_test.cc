// The simulated camera as a library: its answers to firmware operations and
// typed calls, the shutdown episode, refusals, and how commands show up in
// the status and settings blocks.
#include "sim_camera.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "camera_items.h"
#include "camera_settings.h"
#include "camera_status.h"
#include "ztcArgs.h"

namespace ztsim {
namespace {

using Events = std::vector<PresetEvent>;

const uint8_t kNakOff = 2;

class SimCameraTest : public ::testing::Test {
 protected:
  FwAnswer status() { return camera.remote(8, 11, {}, now); }
  FwAnswer settings() { return camera.remote(7, 30, {}, now); }

  // Encodes typed-call inputs the way the library does.
  template <typename Fn>
  Bytes args(Fn fill) {
    uint8_t buf[256];
    ZtcArgWriter w(buf, sizeof buf);
    fill(w);
    return Bytes(buf, buf + w.length());
  }
  FwAnswer typed(const char* fn, const Bytes& in = {}) { return camera.typed(fn, in, now); }
  // A typed call whose inputs are i32 values.
  int32_t typedInts(const char* fn, std::initializer_list<int32_t> values) {
    return typed(fn, args([&](ZtcArgWriter& w) {
                   for (int32_t v : values) w.i32(v);
                 }))
        .status;
  }
  FwAnswer setSetting(uint32_t setting, int32_t value) {
    return typed("camera_if_settings_set_value_int", args([&](ZtcArgWriter& w) {
                   w.u32(setting).u32(7).u32(30).i32(value).u32(1);
                 }));
  }
  Events presetEvents() {
    Events out;
    for (const CameraEvent& e : camera.takeEvents()) {
      if (e.kind == CameraEvent::kPresetUpdate) out.push_back(e.preset);
    }
    return out;
  }

  int64_t now = 1000;
  SimCamera camera{57, 1000};
};

TEST_F(SimCameraTest, ShutdownSavesTheCaptureAndAnswersNakOffUntilTheOffTimeHasPassed) {
  size_t files = camera.media().files().size();
  ASSERT_EQ(typed("ztc_shutter", Bytes{1}).status, ZT_OK);
  camera.setOffTime(500);
  ASSERT_EQ(camera.remote(8, 2, Bytes{1}, now).status, ZT_OK);
  EXPECT_FALSE(camera.encoding());
  EXPECT_EQ(camera.media().files().size(), files + 1) << "the video under way is saved";
  now += 100;
  EXPECT_EQ(status().bytes, Bytes{kNakOff});
  EXPECT_EQ(settings().bytes, Bytes{kNakOff});
  EXPECT_EQ(typed("ztc_system_get_lenses").status, ZT_ERR_NAK_OFF);
  EXPECT_EQ(camera.auxmod("NI", Bytes{1, 1}, now).status, ZT_ERR_NAK_OFF);
  EXPECT_EQ(camera.nextDueMs(now), 1500);
  camera.tick(now = 1499);
  EXPECT_EQ(status().bytes, Bytes{kNakOff});
  camera.tick(now = 1500);
  EXPECT_EQ(status().bytes.size() + settings().bytes.size(),
            CAMERA_STATUS_BLOCK_SIZE + CAMERA_SETTINGS_BLOCK_SIZE);
  EXPECT_EQ(camera.statusValue(status_id::kReady), 1);
}

// (A recording's progress, its tags and the video count are checked end to
// end by the two examples, a tag refused outside a recording by the client
// library's tests; refuse and mute windows that end by themselves by the
// nak-storm and silent-firmware scenarios.) A tag lands in the saved video;
// a photo mode takes a photo.
TEST_F(SimCameraTest, ShutterTagsTheSavedVideoAndTakesPhotosInPhotoModes) {
  ASSERT_EQ(typed("ztc_shutter", Bytes{1}).status, ZT_OK);
  EXPECT_EQ(camera.remote(9, 12, {}, now).status, ZT_OK);
  ASSERT_EQ(typed("ztc_shutter", Bytes{0}).status, ZT_OK);
  EXPECT_EQ(camera.media().files().back().tags.size(), 1u);
  int32_t photos = camera.statusValue(status_id::kTotalPhotos);
  ASSERT_EQ(typedInts("ztc_app_set_mode", {1}), ZT_OK);
  ASSERT_EQ(typed("ztc_shutter", Bytes{1}).status, ZT_OK);
  EXPECT_EQ(camera.statusValue(status_id::kEncoding), 0);
  EXPECT_EQ(camera.statusValue(status_id::kTotalPhotos), photos + 1);
}

TEST_F(SimCameraTest, CaptureDelayCountsDownBeforeTheCaptureStarts) {
  ASSERT_EQ(typedInts("ztc_app_set_capture_delay", {3}), ZT_OK);
  typed("ztc_shutter", Bytes{1});
  EXPECT_FALSE(camera.encoding());
  EXPECT_EQ(camera.statusValue(status_id::kCaptureDelayActive), 1);
  camera.tick(now += 1200);
  EXPECT_EQ(camera.statusValue(status_id::kCaptureDelayCountdown), 2);
  camera.tick(now += 1800);
  EXPECT_TRUE(camera.encoding());
  EXPECT_EQ(camera.statusValue(status_id::kCaptureDelayActive), 0);
}

TEST_F(SimCameraTest, ModeChangesMoveTheActivePresetAndReportIt) {
  camera.takeEvents();
  ASSERT_EQ(typedInts("ztc_app_set_mode", {21}), ZT_OK);
  EXPECT_EQ(camera.flatMode(), 21);
  EXPECT_EQ(camera.statusValue(status_id::kTimeLapsePreset), 0x20002);
  FwAnswer modes = typed("ztc_app_get_mode_flat_mode");
  ASSERT_EQ(modes.bytes.size(), 8u);
  EXPECT_EQ(readU32(modes.bytes, 0), 2u);
  EXPECT_EQ(static_cast<int32_t>(readU32(modes.bytes, 4)), camera.flatMode());
  EXPECT_EQ(presetEvents(), (Events{{PresetEvent::kActiveSet, 0x20002}}));
  // Sub-mode (0, 3) is looping video; a mode nobody offers is refused.
  ASSERT_EQ(typedInts("ztc_app_set_mode_sub_mode", {0, 3}), ZT_OK);
  EXPECT_EQ(camera.flatMode(), 15);
  EXPECT_EQ(typedInts("ztc_app_set_mode", {28}), ZT_ERR_INVALID_PARAM);
  // No mode change while recording.
  typed("ztc_shutter", Bytes{1});
  EXPECT_EQ(typedInts("ztc_app_set_mode", {1}), ZT_ERR);
}

TEST_F(SimCameraTest, SettingWriteLandsInTheBlockAndInTheOpenEditOnly) {
  Bytes active;
  appendU32(active, 0);
  ASSERT_EQ(setSetting(setting_id::kVideoResolution, 9).status, ZT_OK);
  EXPECT_EQ(camera.settingValue(setting_id::kVideoResolution), 9);
  EXPECT_EQ(camera.presets().find(0)->block[2], 1) << "no edit open: the preset keeps its value";

  ASSERT_EQ(camera.remote(17, 8, active, now).status, ZT_OK);
  EXPECT_EQ(camera.statusValue(status_id::kPresetModified), kPresetEditing);
  ASSERT_EQ(setSetting(setting_id::kVideoFps, 5).status, ZT_OK);
  EXPECT_EQ(camera.presets().find(0)->block[3], 5);
  ASSERT_EQ(camera.remote(17, 9, {}, now).status, ZT_OK);  // cancel
  EXPECT_EQ(camera.settingValue(setting_id::kVideoFps), 8) << "cancel restores the live setting";

  camera.remote(17, 8, active, now);
  setSetting(setting_id::kVideoFps, 5);
  camera.remote(17, 10, {}, now);  // store
  EXPECT_EQ(camera.statusValue(status_id::kPresetModified), kPresetEdited);
  EXPECT_EQ(camera.statusValue(status_id::kModifiedPreset), 0);
  EXPECT_EQ(presetEvents(), (Events{{PresetEvent::kEditStart, 0},
                                    {PresetEvent::kEditCancel, 0},
                                    {PresetEvent::kEditStart, 0},
                                    {PresetEvent::kEditStore, 0}}));
  EXPECT_EQ(setSetting(9999, 1).status, ZT_ERR_INVALID_PARAM);
}

TEST_F(SimCameraTest, UxModeSettingSwitchesToTheEasyGroups) {
  ASSERT_EQ(setSetting(setting_id::kUxMode, 0).status, ZT_OK);
  EXPECT_EQ(camera.uxMode(), 0);
  EXPECT_EQ(typed("ztc_setup_get_camera_ux_mode").bytes, Bytes{0});
  EXPECT_EQ(camera.statusValue(status_id::kPresetGroup), kGroupEasyVideo);
  EXPECT_EQ(camera.statusValue(status_id::kVideoPreset), 0xA0000);
  EXPECT_EQ(setSetting(setting_id::kUxMode, 3).status, ZT_ERR_INVALID_PARAM);
}

TEST_F(SimCameraTest, SystemFlagsShowUpInTheStatusBlock) {
  // (The contextual menu and camera control flags are in the golden sessions.)
  camera.remote(8, 44, Bytes{1}, now);
  EXPECT_EQ(status().bytes[status_byte::kUsbControl], 1);
  EXPECT_EQ(typedInts("ztc_app_set_digital_zoom", {40}), ZT_OK);
  EXPECT_EQ(camera.statusValue(status_id::kDigitalZoomPercent), 40);
  EXPECT_EQ(typedInts("ztc_app_set_digital_zoom", {101}), ZT_ERR_INVALID_PARAM);
  camera.remote(8, 13, Bytes{1}, now);
  EXPECT_TRUE(camera.locating());
}

TEST_F(SimCameraTest, ClockRunsFromTheDateSetAndOtherBytesComeBackAsSet) {
  EXPECT_EQ(camera.remote(7, 26, {}, now).bytes.size(), 7u) << "unset: the host's clock";
  ASSERT_EQ(camera.remote(7, 27, Bytes{0xE9, 0x07, 12, 31, 23, 59, 58}, now).status, ZT_OK);
  now += 2500;
  EXPECT_EQ(camera.remote(7, 26, {}, now).bytes, (Bytes{0xEA, 0x07, 1, 1, 0, 0, 0}));
  Bytes odd{1, 2, 3};
  camera.remote(7, 27, odd, now);
  EXPECT_EQ(camera.remote(7, 26, {}, now + 5000).bytes, odd);
  EXPECT_EQ(camera.remote(7, 27, {}, now).status, ZT_ERR_INVALID_PARAM);
}

// Requests nobody knows answer 0 without bytes; known typed calls with short
// or extra arguments are refused and change nothing.
TEST_F(SimCameraTest, UnknownOrMalformedRequestsChangeNothing) {
  for (const FwAnswer& a : {camera.remote(42, 7, Bytes{1, 2, 3}, now),
                            typed("ztc_no_such_call", Bytes{1}), camera.remote(8, 99, {}, now)}) {
    EXPECT_EQ(a.status, ZT_OK);
    EXPECT_FALSE(a.hasBytes);
  }
  EXPECT_EQ(typed("ztc_shutter").status, ZT_ERR_INVALID_PARAM);
  EXPECT_EQ(typed("ztc_shutter", Bytes{1, 0}).status, ZT_ERR_INVALID_PARAM);
  EXPECT_FALSE(camera.encoding());
  EXPECT_EQ(typed("ztc_app_set_mode", Bytes{1, 0}).status, ZT_ERR_INVALID_PARAM);
  // A name range longer than the bytes that follow.
  EXPECT_EQ(typed("ztc_storage_delete_file", Bytes{50, 0, 'a'}).status, ZT_ERR_INVALID_PARAM);
  EXPECT_EQ(typed("camera_if_settings_set_value_int", Bytes(19, 0)).status, ZT_ERR_INVALID_PARAM);
}

TEST_F(SimCameraTest, StorageDeletesFollowTheCard) {
  MediaStore& m = camera.media();
  const std::string burst = m.files()[2].name;
  ASSERT_NE(m.files()[2].group, 0u);
  auto range = [this](const std::string& s) {
    return args([&](ZtcArgWriter& w) {
      w.range(s.data(), static_cast<uint32_t>(s.size()));
    });
  };
  size_t before = m.files().size();
  ASSERT_EQ(typed("ztc_storage_delete_group", range(burst)).status, ZT_OK);
  EXPECT_EQ(m.files().size(), before - 3);
  EXPECT_EQ(typed("ztc_storage_delete_file", range("NOPE.JPG")).status, ZT_ERR);

  Bytes items(46, 0);
  std::string first = m.files()[0].name.substr(m.files()[0].name.find('/') + 1);
  std::copy(first.begin(), first.end(), items.begin() + 1);
  std::string missing = "GONE.MP4";
  std::copy(missing.begin(), missing.end(), items.begin() + 24);
  ASSERT_EQ(typed("ztc_storage_delete_list", args([&](ZtcArgWriter& w) {
                    w.u32(2).range(items.data(), 46);
                  }))
                .status,
            ZT_OK);
  EXPECT_EQ(camera.remote(9, 23, {}, now).bytes, (Bytes{MediaStore::kListSomeMissing, 1, 1}));
  EXPECT_EQ(camera.remote(9, 10, {}, now).status, ZT_OK);
  EXPECT_TRUE(m.files().empty());
  EXPECT_EQ(camera.remote(9, 9, {}, now).status, ZT_ERR);
  EXPECT_EQ(camera.statusValue(status_id::kTotalVideos), 0);
}

// The camera models of the common library's model table.
const int kModels[] = {61, 60, 58, 57, 55, 51, 50};

// What a camera of a model lists in a lens, lens type, power and ux state:
// the special group off lens mode 0; the second-lens groups with lens type 1
// (model 60 adds its plain ones); otherwise the ux mode's video group for the
// power profile and its photo and time-lapse groups, model 60 adding the
// second-lens groups in plain pro.
std::vector<uint8_t> expectedGroups(int model, int lensMode, int lensType, int pp, int ux) {
  if (lensMode != 0) return {6};
  if (lensType == 1) {
    return model == 60 ? std::vector<uint8_t>{3, 4, 5, 0, 1, 2} : std::vector<uint8_t>{3, 4, 5};
  }
  static const uint8_t video[2][3] = {{10, 11, 14}, {0, 8, 9}};
  std::vector<uint8_t> g = {video[ux][pp], uint8_t(ux ? 1 : 12), uint8_t(ux ? 2 : 13)};
  if (model == 60 && ux == 1 && pp == 0) g.insert(g.end(), {3, 4, 5});
  return g;
}

TEST(SimCameraModelTest, EveryModelOffersTheGroupsOfEachStateWithPresetsToList) {
  for (int model : kModels) {
    SimCamera camera(model, 0);
    const bool orbi = model == 51 || model == 60;
    EXPECT_EQ(camera.setLensType(1), orbi) << "model " << model;
    EXPECT_FALSE(camera.setLensType(2)) << "model " << model;
    for (int lensType = 0; lensType <= (orbi ? 1 : 0); ++lensType) {
      for (int ux = 0; ux <= 1; ++ux) {
        for (int pp = 0; pp <= 2; ++pp) {
          for (int lensMode = 0; lensMode <= 1; ++lensMode) {
            SCOPED_TRACE("model " + std::to_string(model) + " lens mode " +
                         std::to_string(lensMode) + " lens type " + std::to_string(lensType) +
                         " ux " + std::to_string(ux) + " power " + std::to_string(pp));
            ASSERT_TRUE(camera.setLensType(static_cast<uint8_t>(lensType)));
            camera.setUxMode(static_cast<uint8_t>(ux));
            camera.setPowerProfile(static_cast<uint8_t>(pp));
            camera.setLenses(static_cast<int8_t>(lensMode), 0);
            const std::vector<uint8_t> want = expectedGroups(model, lensMode, lensType, pp, ux);
            Bytes list{static_cast<uint8_t>(want.size())};
            list.insert(list.end(), want.begin(), want.end());
            EXPECT_EQ(camera.remote(17, 0, {}, 0).bytes, list);
            // The camera stands in an offered group, the status block says
            // so, and every offered group lists presets the camera describes.
            const uint8_t active = camera.presets().activeGroup();
            EXPECT_NE(std::find(want.begin(), want.end(), active), want.end());
            EXPECT_EQ(camera.statusValue(status_id::kPresetGroup), active);
            for (uint8_t g : want) {
              FwAnswer ids = camera.remote(17, 1, Bytes{g}, 0);
              ASSERT_GE(ids.bytes.size(), 5u) << "group " << int(g);
              Bytes id(ids.bytes.begin() + 1, ids.bytes.begin() + 5);
              EXPECT_EQ(readU32(id, 0) >> 16, g) << "an id names its group";
              EXPECT_EQ(camera.remote(17, 2, id, 0).bytes.size(), PresetRecord::kSize);
            }
          }
        }
      }
    }
  }
}

TEST(SimCameraModelTest, ModelsRefuseWhatTheyDoNotHave) {
  SimCamera m60(60, 0), m57(57, 0), m51(51, 0);
  const int32_t fifth = getOptionValueById(51, 105, 4);
  const struct {
    SimCamera& camera;
    uint32_t setting;
    int32_t value;
    int status;
  } cases[] = {// Time-warp speed only on model 60; the separate multi-shot resolution not on it.
               {m60, 179, 3, ZT_OK},
               {m57, 179, 3, ZT_ERR_NOT_SUPPORTED},
               {m60, 184, 1, ZT_ERR_NOT_SUPPORTED},
               {m57, 184, 1, ZT_OK},
               // Model 60 lacks the largest resolutions; the corrected value 13 is 17's twin.
               {m60, 2, 25, ZT_ERR_INVALID_PARAM},
               {m57, 2, 25, ZT_OK},
               {m57, 2, 13, ZT_OK},
               // Only model 51 has the fifth photo output.
               {m51, 105, fifth, ZT_OK},
               {m57, 105, fifth, ZT_ERR_INVALID_PARAM}};
  for (const auto& c : cases) {
    uint8_t buf[64];
    ZtcArgWriter w(buf, sizeof buf);
    w.u32(c.setting).u32(7).u32(31).i32(c.value).u32(1);
    EXPECT_EQ(
        c.camera.typed("camera_if_settings_set_value_int", Bytes(buf, buf + w.length()), 0).status,
        c.status)
        << "model " << c.camera.model() << " setting " << c.setting << " = " << c.value;
  }
  EXPECT_EQ(m60.settingValue(2), 1) << "a refused value changes nothing";
  // Custom presets cannot be made on 51 and 60; a model change takes the
  // second lens away from a model that has none.
  Bytes create{0, 12};
  create.resize(18, 0);
  EXPECT_EQ(m60.remote(17, 3, create, 0).status, ZT_ERR_NOT_SUPPORTED);
  EXPECT_EQ(m57.remote(17, 3, create, 0).status, ZT_OK);
  ASSERT_TRUE(m60.setLensType(1));
  m60.setModel(57, 0);
  EXPECT_EQ(m60.lensType(), 0);
  EXPECT_EQ(m60.remote(17, 0, {}, 0).bytes, (Bytes{3, 0, 1, 2}));
}

// Factory reset goes through the same preset reset the console triggers,
// then the camera is off as after a shutdown and resumes when back on.
TEST_F(SimCameraTest, FactoryResetReportsPresetResetAndResumesWhenBackOn) {
  camera.setOffTime(400);
  camera.remote(17, 12, Bytes{1, 0, 1, 0}, now);  // activate 0x10001
  camera.typed("ztc_storage_delete_file", args([&](ZtcArgWriter& w) {
                 w.range("ZT000001.MP4", 12);
               }),
               now);
  camera.takeEvents();
  ASSERT_EQ(camera.remote(8, 4, Bytes{0}, now).status, ZT_OK);
  std::vector<CameraEvent> e = camera.takeEvents();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].preset, (PresetEvent{PresetEvent::kReset, 0xFFFFFFFF})) << "reset of all";
  EXPECT_EQ(camera.presets().activePreset(), 0u);
  EXPECT_EQ(camera.media().files().size(), 6u);
  camera.tick(now += 400);
  e = camera.takeEvents();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].kind, CameraEvent::kResume);
}

}  // namespace
}  // namespace ztsim
