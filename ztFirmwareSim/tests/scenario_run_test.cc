// Every shipped scenario played against the real daemon with a client
// watching port 8081: what the scenario is about reaches the client (which
// connects again when the daemon drops it, as a suspend does), and once the
// scenario is over the daemon answers normally and stops cleanly. Runs in
// its own IPC and network namespace.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

#include "DaemonHarness.h"
#include "scenario.h"
#include "ztcontrol_commands.h"
#include "ztcontrol_layouts.h"

namespace {

using namespace std::chrono_literals;
using zttest::ChildProcess;
using zttest::DaemonHarness;
using zttest::TcpNotifyClient;

std::string sourceDir() {
  const char* dir = std::getenv("ZT_SOURCE_DIR");
  return dir ? dir : ".";
}

std::vector<std::string> shippedScenarios() {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& e :
       std::filesystem::directory_iterator(sourceDir() + "/ztFirmwareSim/scenarios", error)) {
    if (e.path().extension() == ".scn") names.push_back(e.path().filename());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Keeps asking until the answer has result 0 (a suspended daemon refuses
// for a while), within ten seconds; the last answer, or nothing when none came.
std::optional<zttest::Reply> askUntilOk(DaemonHarness& daemon, uint32_t command,
                                        const std::optional<zttest::Bytes>& arg) {
  auto deadline = std::chrono::steady_clock::now() + 10s;
  std::optional<zttest::Reply> reply;
  do {
    reply = daemon.requester().call(zttest::ClientRequest{command, arg, std::nullopt});
    if (reply && reply->result == 0) return reply;
    daemon.requester().receive(100ms);  // paces the retries; nothing else answers here
  } while (std::chrono::steady_clock::now() < deadline);
  return reply;
}

// A socket client with notifications switched on; its full state read.
// The switch is sent once the daemon has taken the client on (it logs that
// with extended logging), or it would find no client to switch on.
bool watch(DaemonHarness& daemon, TcpNotifyClient& client) {
  client.close();
  const size_t mark = daemon.logMark();
  if (!client.connect(5s) ||
      !daemon.waitForLog("Total PUSH_NOTIFICATION clients connected:", 5s, mark))
    return false;
  auto on = askUntilOk(daemon, ZTCONTROL_PUSH_NOTIFICATIONS, zttest::textArg("status=1"));
  return on && on->result == 0 && client.readFrame(10s).has_value();
}

class ScenarioRun : public ::testing::TestWithParam<std::string> {};

TEST_P(ScenarioRun, ReachesTheWatchingClientAndLeavesTheDaemonAnswering) {
  const std::string path = sourceDir() + "/ztFirmwareSim/scenarios/" + GetParam();
  ztsim::Scenario scenario;
  std::string error;
  ASSERT_TRUE(ztsim::loadScenario(path, &scenario, &error)) << error;

  ChildProcess sim;
  ASSERT_TRUE(sim.start(DaemonHarness::binDir() + "/ztFirmwareSim",
                        {"--no-console", "--hold", "--scenario", path, "--exec", "csi 123 0x200"}))
      << sim.error();
  ASSERT_TRUE(sim.waitForOutput("serving /to_ztnet", 10s)) << sim.output();
  DaemonHarness daemon;
  ASSERT_TRUE(daemon.startAndWaitReady()) << daemon.log();
  TcpNotifyClient client;
  ASSERT_TRUE(watch(daemon, client)) << client.lastError() << "\n" << daemon.log();

  const size_t mark = sim.outputMark();
  ASSERT_TRUE(sim.signal(SIGUSR1));
  ASSERT_TRUE(sim.waitForOutput("scenario started", 5s, mark)) << sim.output();
  // The expected texts arrive in order, each in a notification no earlier
  // than the one before it.
  size_t next = 0;
  std::string seen;
  for (auto deadline = std::chrono::steady_clock::now() + 30s;
       next < scenario.expects.size() && std::chrono::steady_clock::now() < deadline;) {
    auto frame = client.readFrame(1s);
    if (!frame) {
      if (client.lastError() != "time-out") {
        ASSERT_TRUE(watch(daemon, client)) << daemon.log();
      }
      continue;
    }
    seen += frame->body + "\n---\n";
    while (next < scenario.expects.size() &&
           frame->body.find(scenario.expects[next]) != std::string::npos)
      ++next;
  }
  EXPECT_EQ(next, scenario.expects.size())
      << "never notified: " << (next < scenario.expects.size() ? scenario.expects[next] : "")
      << "\nnotifications:\n"
      << seen << "\nsimulator:\n"
      << sim.output();
  ASSERT_TRUE(sim.waitForOutput("scenario done", 30s, mark)) << sim.output();

  if (scenario.expectScan >= 0) {
    auto scan = askUntilOk(daemon, ZTCONTROL_WIFI_SSID_SCAN, zttest::u8Arg(1));
    ASSERT_TRUE(scan && scan->result == 0) << daemon.log();
    // The list is refused while the scan runs.
    auto list = askUntilOk(daemon, ZTCONTROL_WIFI_SSID_LIST, zttest::u8Arg(0));
    ASSERT_TRUE(list && list->result == 0 && list->payload.size() == kZtScanListSize)
        << daemon.log();
    EXPECT_EQ(list->payload[kZtScanListFoundOffset], scenario.expectScan);
    EXPECT_EQ(list->payload[kZtScanListCountOffset],
              std::min<int>(scenario.expectScan, kZtScanListMaxEntries));
  }

  auto busy = askUntilOk(daemon, ZTCONTROL_GET_BUSY_STATUS, std::nullopt);
  EXPECT_TRUE(busy && busy->result == 0) << "the daemon does not answer normally\n" << daemon.log();
  client.close();
  auto stopped = daemon.stop();
  EXPECT_TRUE(stopped && stopped->ok()) << daemon.log();
  ASSERT_TRUE(sim.signal(SIGTERM));
  auto simStatus = sim.waitExit(5s);
  EXPECT_TRUE(simStatus && simStatus->ok()) << sim.output();
}

INSTANTIATE_TEST_SUITE_P(Shipped, ScenarioRun, ::testing::ValuesIn(shippedScenarios()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param.substr(0, info.param.size() - 4);
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
