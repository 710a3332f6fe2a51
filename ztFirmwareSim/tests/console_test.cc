// The operator console: commands reach the camera, bad input is refused
// with a message and changes nothing, scripts wait at "sleep".
#include "console.h"

#include <gtest/gtest.h>

#include <sstream>

#include "camera_items.h"

namespace ztsim {
namespace {

class ConsoleTest : public ::testing::Test {
 protected:
  SimCamera camera{57, 0};
  CsiService csi{"/to_csi", "/to_ztCtlD"};
  std::ostringstream out;
  std::vector<Outgoing> sent;
  bool stopped = false;
  Console console{camera, csi, out,
                  [this](const std::vector<Outgoing>& m) {
                    sent.insert(sent.end(), m.begin(), m.end());
                  },
                  [this] {
                    stopped = true;
                  }};
};

TEST_F(ConsoleTest, StateCommandsChangeTheCameraAndBadArgumentsChangeNothing) {
  for (const char* line :
       {"power 3", "power", "power x", "ux medium", "status-byte 394 1", "setting-byte -1 1",
        "status-byte 1 256", "lens 1", "refuse -5", "preset-event 300 1", "frobnicate"}) {
    EXPECT_FALSE(console.execute(line, 0)) << line;
  }
  EXPECT_NE(out.str().find("try help"), std::string::npos);
  EXPECT_EQ(camera.powerProfile() * 10 + camera.uxMode(), 1);
  // (Where power and ux move the active group is checked on the camera.)
  for (const char* line : {"shutter on", "power 2", "ux easy", "lens 1 2", "status-byte 0x10 0xff",
                           "setting-byte 237 7"})
    EXPECT_TRUE(console.execute(line, 0)) << line;
  EXPECT_EQ(camera.powerProfile() * 100 + camera.lensMode() * 10 + camera.lens(), 212);
  EXPECT_EQ(camera.uxMode(), 0);
  EXPECT_EQ(camera.statusBlock().raw[16], 0xFF);
  EXPECT_EQ(camera.settingsBlock().raw[237], 7);
  EXPECT_EQ(camera.statusValue(status_id::kEncoding), 1);
}

// Names from the library's tables work where numbers do; numbers still work.
TEST_F(ConsoleTest, SettingsAndStatusAreNamedAsInTheLibrarysTables) {
  // Option ids go through the option table (beep volume option 3 is 40) and
  // numbers still work; a bare name finds the video setting, a last word its
  // one setting.
  const std::tuple<const char*, uint32_t, int32_t> sets[] = {
      {"set beep_volume 3", 87, 40},
      {"set 87 0", 87, 100},
      {"set resolution 4K", setting_id::kVideoResolution, 1},
      {"set resolution 100", setting_id::kVideoResolution, 17},
      {"set band 0", setting_id::kWirelessBand, 0}};
  for (const auto& [line, setting, value] : sets) {
    EXPECT_TRUE(console.execute(line, 0)) << line;
    EXPECT_EQ(camera.settingValue(setting), value) << line;
  }
  out.str("");
  EXPECT_TRUE(console.execute("settings resolution", 0));
  EXPECT_EQ(out.str(), "video_resolution (2) = 5.3K (option 100, value 17)\n");
  EXPECT_TRUE(console.execute("power endurance", 0));
  EXPECT_EQ(camera.powerProfile(), 1);
  EXPECT_TRUE(console.execute("power 0", 0));
  out.str("");
  EXPECT_TRUE(console.execute("status preset_group", 0));
  EXPECT_TRUE(console.execute("status 10", 0));
  EXPECT_EQ(out.str(), "preset_group (96) = 0\nencoding (10) = 0\n");
  out.str("");
  EXPECT_TRUE(console.execute("status", 0));
  EXPECT_NE(out.str().find("\nbattery_percent (70) = 87 %\n"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("\nuptime_seconds (117) = "), std::string::npos);

  // Unknown and ambiguous names, refused values: a message, nothing changes.
  for (const char* line :
       {"set no_such_thing 1", "set interval 1", "set beep_volume", "status no_such_item",
        "settings 9999", "set video_resolution 25x", "power turbo"}) {
    EXPECT_FALSE(console.execute(line, 0)) << line;
  }
  EXPECT_EQ(camera.powerProfile(), 0);
  SimCamera m60(60, 0);
  Console c60(
      m60, csi, out, [](const std::vector<Outgoing>&) {}, [] {});
  out.str("");
  EXPECT_FALSE(c60.execute("set resolution 25", 0)) << "model 60 has no such resolution";
  EXPECT_NE(out.str().find("refused"), std::string::npos);
  EXPECT_EQ(m60.settingValue(setting_id::kVideoResolution), 1);
  EXPECT_FALSE(console.execute("lens-type 1", 0)) << "model 57 has no second lens";
  EXPECT_TRUE(c60.execute("lens-type 1", 0));
}

TEST_F(ConsoleTest, ScriptWaitsAtSleepAndRunsTheRestWhenDue) {
  camera.takeEvents();
  console.feed("js; sleep 500; jr ;; refuse 100");
  console.run(1000);
  ASSERT_EQ(camera.takeEvents().size(), 1u);
  EXPECT_EQ(console.nextDueMs(), 1500);
  console.run(1499);
  EXPECT_TRUE(camera.takeEvents().empty());
  console.run(1500);
  std::vector<CameraEvent> e = camera.takeEvents();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].kind, CameraEvent::kResume);
  EXPECT_TRUE(camera.refusing(1550));
  EXPECT_FALSE(camera.refusing(1600));
  EXPECT_EQ(console.nextDueMs(), -1);
}

TEST_F(ConsoleTest, CsiChangeIsSentToSubscribersAndQuitStops) {
  LinkMessage subscribe;
  subscribe.command = "CB";
  appendU32(subscribe.arg, 138);
  subscribe.src = "/to_ztCtlD";
  csi.handle(subscribe);
  EXPECT_TRUE(console.execute("csi 138 5", 0));
  ASSERT_EQ(sent.size(), 1u);
  LinkMessage cn;
  ASSERT_TRUE(parseLinkMessage(sent[0].message.data(), sent[0].message.size(), &cn));
  Bytes expected;
  appendU32(expected, 138);
  appendU32(expected, 5);
  EXPECT_EQ(cn.command, "CN");
  EXPECT_EQ(cn.arg, expected);
  EXPECT_TRUE(console.execute("quit", 0));
  EXPECT_TRUE(stopped);
}

}  // namespace
}  // namespace ztsim
