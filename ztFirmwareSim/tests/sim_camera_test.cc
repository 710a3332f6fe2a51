// The simulated camera as a library: the shutdown episode and a difference
// between models. (Its other features are exercised through the daemon by
// the scenarios, the golden sessions of every model and the tour.)
#include "sim_camera.h"

#include <gtest/gtest.h>

#include "camera_items.h"
#include "camera_settings.h"
#include "camera_status.h"
#include "ztcArgs.h"

namespace ztsim {
namespace {

const uint8_t kNakOff = 2;

// A shutdown saves the capture under way; every request is answered NAK off
// until the off time has passed, then the camera is ready again.
TEST(SimCameraTest, ShutdownSavesTheCaptureAndAnswersNakOffUntilTheOffTimeHasPassed) {
  int64_t now = 1000;
  SimCamera camera{57, now};
  auto status = [&] {
    return camera.remote(8, 11, {}, now);
  };
  auto settings = [&] {
    return camera.remote(7, 30, {}, now);
  };
  size_t files = camera.media().files().size();
  ASSERT_EQ(camera.typed("ztc_shutter", Bytes{1}, now).status, ZT_OK);
  camera.setOffTime(500);
  ASSERT_EQ(camera.remote(8, 2, Bytes{1}, now).status, ZT_OK);
  EXPECT_FALSE(camera.encoding());
  EXPECT_EQ(camera.media().files().size(), files + 1) << "the video under way is saved";
  now += 100;
  EXPECT_EQ(status().bytes, Bytes{kNakOff});
  EXPECT_EQ(settings().bytes, Bytes{kNakOff});
  EXPECT_EQ(camera.typed("ztc_system_get_lenses", {}, now).status, ZT_ERR_NAK_OFF);
  EXPECT_EQ(camera.auxmod("NI", Bytes{1, 1}, now).status, ZT_ERR_NAK_OFF);
  EXPECT_EQ(camera.nextDueMs(now), 1500);
  camera.tick(now = 1499);
  EXPECT_EQ(status().bytes, Bytes{kNakOff});
  camera.tick(now = 1500);
  EXPECT_EQ(status().bytes.size() + settings().bytes.size(),
            CAMERA_STATUS_BLOCK_SIZE + CAMERA_SETTINGS_BLOCK_SIZE);
  EXPECT_EQ(camera.statusValue(status_id::kReady), 1);
}

// Settings and values follow the model table: time-warp speed only on model
// 60, which lacks the largest resolutions; a refused value changes nothing.
TEST(SimCameraModelTest, ModelsRefuseWhatTheyDoNotHave) {
  SimCamera m60(60, 0), m57(57, 0);
  const struct {
    SimCamera& camera;
    uint32_t setting;
    int32_t value;
    int status;
  } cases[] = {{m60, 179, 3, ZT_OK},
               {m57, 179, 3, ZT_ERR_NOT_SUPPORTED},
               {m60, 2, 25, ZT_ERR_INVALID_PARAM},
               {m57, 2, 25, ZT_OK}};
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
}

}  // namespace
}  // namespace ztsim
