// The daemon's model-60 preset paths against the real firmware simulator
// started as that model: in easy mode, with the normal and the endurance
// power profile, the simulator lists the easy groups, and the daemon answers
// its single group 1000 holding the easy presets, fixed, with only the
// active easy photo preset.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "DaemonHarness.h"
#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"

using namespace std::chrono_literals;
using namespace zttest;
using wsdk_commands::WSDK_NotifyPresetStatus;

namespace {

const uint32_t kGetPresets = 81;

TEST(SimModel60, EasyModePresetsAreListedAsTheSingleFixedGroup)
{
    struct Case {
        const char *power;
        std::vector<int> presets;  // easy video of the profile, easy photo, easy time lapse
    } cases[] = {{"0", {0xA0000, 0xC0000, 0xD0000}}, {"1", {0xB0000, 0xC0000, 0xD0000}}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string("power profile ") + c.power);
        ChildProcess sim;
        ASSERT_TRUE(sim.start(DaemonHarness::binDir() + "/ztFirmwareSim",
                              {"--no-console", "--model", "60", "--exec",
                               std::string("ux easy; power ") + c.power + "; state"}))
            << sim.error() << " (build the ztFirmwareSim target)";
        ASSERT_TRUE(sim.waitForOutput(std::string("power profile ") + c.power + ", ux easy", 10s))
            << sim.output();

        DaemonHarness daemon;
        ASSERT_TRUE(daemon.startAndWaitReady()) << daemon.log();
        auto reply = daemon.requester().call({kGetPresets, std::nullopt, std::nullopt});
        ASSERT_TRUE(reply && reply->hasResult) << daemon.log();
        EXPECT_EQ(reply->result, 0);
        WSDK_NotifyPresetStatus list;
        ASSERT_TRUE(
            list.ParseFromArray(reply->payload.data(), static_cast<int>(reply->payload.size())));
        ASSERT_EQ(list.preset_group_array_size(), 1) << list.ShortDebugString();
        const auto &group = list.preset_group_array(0);
        EXPECT_EQ(group.id(), 1000);
        EXPECT_FALSE(group.can_add_preset());
        std::vector<int> ids;
        for (const auto &p : group.preset_array()) {
            ids.push_back(p.id());
            EXPECT_TRUE(p.is_fixed()) << p.ShortDebugString();
        }
        EXPECT_EQ(ids, c.presets) << list.ShortDebugString();

        auto status = daemon.stop();
        EXPECT_TRUE(status && status->ok()) << daemon.log();
        ASSERT_TRUE(sim.signal(SIGTERM));
        auto simStatus = sim.waitExit(5s);
        ASSERT_TRUE(simStatus) << sim.output();
        EXPECT_TRUE(simStatus->ok()) << simStatus->describe() << "\n" << sim.output();
    }
}

}  // namespace
