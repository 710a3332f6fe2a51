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
  for (const char* line : {"shutter on", "power 2", "ux easy", "lens 1 2", "status-byte 0x10 0xff",
                           "setting-byte 237 7"})
    EXPECT_TRUE(console.execute(line, 0)) << line;
  EXPECT_EQ(camera.powerProfile() * 100 + camera.lensMode() * 10 + camera.lens(), 212);
  EXPECT_EQ(camera.uxMode(), 0);
  EXPECT_EQ(camera.statusBlock().raw[16], 0xFF);
  EXPECT_EQ(camera.settingsBlock().raw[237], 7);
  EXPECT_EQ(camera.statusValue(status_id::kEncoding), 1);
}

// Names and option names from the library's tables work where numbers do;
// an unknown name is refused with a message and changes nothing.
TEST_F(ConsoleTest, SettingsAndStatusAreNamedAsInTheLibrarysTables) {
  EXPECT_TRUE(console.execute("set beep_volume 3", 0));
  EXPECT_EQ(camera.settingValue(87), 40);
  EXPECT_TRUE(console.execute("set resolution 4K", 0));
  EXPECT_EQ(camera.settingValue(setting_id::kVideoResolution), 1);
  out.str("");
  EXPECT_TRUE(console.execute("settings resolution", 0));
  EXPECT_TRUE(console.execute("status 10", 0));
  EXPECT_EQ(out.str(), "video_resolution (2) = 4K (option 1, value 1)\nencoding (10) = 0\n");
  EXPECT_FALSE(console.execute("set no_such_thing 1", 0));
  EXPECT_NE(out.str().find("try help"), std::string::npos) << out.str();
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
