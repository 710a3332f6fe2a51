// ztFirmwareSim: the firmware side of a simulated camera for running the
// daemon on a PC. Start it before the daemon; stop it with Ctrl-C, SIGTERM
// or the console command "quit".
#include <getopt.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "console.h"
#include "csi_service.h"
#include "replay_firmware.h"
#include "scenario.h"
#include "session.h"
#include "sim_camera.h"
#include "sim_log.h"
#include "sim_server.h"

namespace {

void usage() {
  std::printf(
      "Usage: ztFirmwareSim [options]\n"
      "Serves the camera control library's firmware link (\"/to_ztnet\") and the\n"
      "camera state interface (\"/to_csi\") as a simulated camera.\n\n"
      "Options:\n"
      "  --model N        camera model number (default 57)\n"
      "  --off-time MS    how long a shutdown or sleep keeps the camera off\n"
      "                   (default 3000)\n"
      "  --exec \"CMDS\"    run console commands at start, separated by ';'\n"
      "                   (for example --exec \"power 1; sleep 2000; js\")\n"
      "  --scenario FILE  play a scenario file: console commands at set times\n"
      "                   (\"at 1.5s: refuse 2000\"; see docs/simulator.md)\n"
      "  --hold           start the scenario at SIGUSR1 instead of at once\n"
      "  --record FILE    write every firmware exchange and event to FILE (a\n"
      "                   session's firmware side; uptime stays 0)\n"
      "  --replay FILE    answer the daemon from a recorded session and check\n"
      "                   its requests; exit 1 at the first difference\n"
      "  --no-console     do not read commands from standard input\n"
      "  -v, --verbose    log every request\n"
      "  -q, --quiet      log only warnings and errors\n"
      "  -h, --help       this text and the console commands\n\n%s",
      ztsim::Console::helpText());
}

}  // namespace

int main(int argc, char** argv) {
  int model = ztsim::SimCamera::kDefaultModel;
  long long offMs = ztsim::SimCamera::kDefaultOffMs;
  std::string exec;
  std::string scenarioPath;
  bool hold = false;
  std::string recordPath;
  std::string replayPath;
  bool console = true;
  static const option kOptions[] = {
      {"model", required_argument, nullptr, 'm'},  {"off-time", required_argument, nullptr, 'o'},
      {"exec", required_argument, nullptr, 'e'},   {"no-console", no_argument, nullptr, 'n'},
      {"verbose", no_argument, nullptr, 'v'},      {"quiet", no_argument, nullptr, 'q'},
      {"help", no_argument, nullptr, 'h'},         {"scenario", required_argument, nullptr, 's'},
      {"hold", no_argument, nullptr, 'H'},         {"record", required_argument, nullptr, 'r'},
      {"replay", required_argument, nullptr, 'p'}, {nullptr, 0, nullptr, 0}};
  for (int c; (c = getopt_long(argc, argv, "vqh", kOptions, nullptr)) != -1;) {
    char* end = nullptr;
    switch (c) {
      case 'm':
        model = static_cast<int>(std::strtol(optarg, &end, 0));
        if (*end != '\0' || model <= 0 || model > 255) {
          std::fprintf(stderr, "ztFirmwareSim: bad model \"%s\"\n", optarg);
          return 2;
        }
        break;
      case 'o':
        offMs = std::strtoll(optarg, &end, 0);
        if (*end != '\0' || offMs < 0) {
          std::fprintf(stderr, "ztFirmwareSim: bad off time \"%s\"\n", optarg);
          return 2;
        }
        break;
      case 'e':
        exec += std::string(optarg) + ";";
        break;
      case 's':
        scenarioPath = optarg;
        break;
      case 'H':
        hold = true;
        break;
      case 'r':
        recordPath = optarg;
        break;
      case 'p':
        replayPath = optarg;
        break;
      case 'n':
        console = false;
        break;
      case 'v':
        ztsim::simSetLogLevel(ztsim::kLogDebug);
        break;
      case 'q':
        ztsim::simSetLogLevel(ztsim::kLogWarn);
        break;
      case 'h':
        usage();
        return 0;
      default:
        std::fprintf(stderr, "ztFirmwareSim: try --help\n");
        return 2;
    }
  }
  if (optind < argc) {
    std::fprintf(stderr, "ztFirmwareSim: unexpected argument \"%s\" (try --help)\n", argv[optind]);
    return 2;
  }

  ztsim::Scenario scenario;
  std::string error;
  if (!scenarioPath.empty() && !ztsim::loadScenario(scenarioPath, &scenario, &error)) {
    std::fprintf(stderr, "ztFirmwareSim: %s\n", error.c_str());
    return 2;
  }

  std::vector<ztsim::SessionEvent> session;
  if (!replayPath.empty() && !ztsim::loadSession(replayPath, &session, &error)) {
    std::fprintf(stderr, "ztFirmwareSim: %s\n", error.c_str());
    return 2;
  }
  ztsim::ReplayFirmware replay(session);
  std::unique_ptr<ztsim::SessionWriter> recorder;
  if (!recordPath.empty()) {
    recorder = std::make_unique<ztsim::SessionWriter>(recordPath);
    if (!recorder->ok()) {
      std::fprintf(stderr, "ztFirmwareSim: cannot write %s\n", recordPath.c_str());
      return 2;
    }
  }

  ztsim::SimServer::blockStopSignals();
  ztsim::SimCamera camera(model, ztsim::monotonicMs());
  camera.setOffTime(offMs);
  if (recorder) camera.keepUptimeStill();
  ztsim::SimQueueNames names;
  ztsim::CsiService csi(names.csi, names.daemon);
  ztsim::SimServer server(camera, csi, names);
  ztsim::Console commands(
      camera, csi, std::cout,
      [&server](const std::vector<ztsim::Outgoing>& m) {
        server.send(m);
      },
      [&server]() {
        server.stop();
      });
  if (!server.open()) return 1;
  server.attachConsole(&commands, console ? STDIN_FILENO : -1);
  // Commands before the first sleep take effect before any request is
  // served (a CSI item the daemon reads at start, say).
  commands.feed(exec);
  commands.run(ztsim::monotonicMs());
  commands.loadScenario(scenario.steps);
  if (!hold) commands.startScenario(ztsim::monotonicMs());
  server.setRecorder(recorder.get());
  if (!replayPath.empty()) server.setReplay(&replay);
  int status = server.run();
  if (!replayPath.empty()) {
    const bool reported = replay.failed();  // logged when it happened
    if (!replay.finish()) {
      if (!reported) simLog(ztsim::kLogError, "replay: %s", replay.report().c_str());
      return 1;
    }
    simLog(ztsim::kLogInfo, "replay of %s: %zu firmware requests as recorded", replayPath.c_str(),
           replay.served());
  }
  return status;
}
