// The operator console of the simulator: one command per line (or several
// separated by ';'), read from standard input or given on the command line.
// It changes the camera's state, sends the firmware side's own events and
// can make the camera refuse or stop answering for a while. "sleep MS"
// delays the commands after it without stopping the camera. Runs on the
// simulator's one thread.
#ifndef ZTSIM_CONSOLE_H
#define ZTSIM_CONSOLE_H

#include <cstdint>
#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "csi_service.h"
#include "scenario.h"
#include "sim_camera.h"

namespace ztsim {

class Console {
 public:
  using SendFn = std::function<void(const std::vector<Outgoing>&)>;
  using StopFn = std::function<void()>;

  Console(SimCamera& camera, CsiService& csi, std::ostream& out, SendFn send, StopFn stop);

  // Queues commands; ';' separates commands within the text.
  void feed(const std::string& text);
  // Runs queued commands until the queue is empty or a sleep is pending.
  void run(int64_t nowMs);
  // When a pending sleep ends or the next scenario step is due, or -1 when
  // nothing waits.
  int64_t nextDueMs() const;

  // A scenario to play: each step runs at its time from the moment
  // startScenario is called (steps of one time in file order). "scenario
  // done" is logged after the last step.
  void loadScenario(std::vector<ScenarioStep> steps);
  // Starts a loaded scenario that has not started yet; false otherwise.
  bool startScenario(int64_t nowMs);

  // Runs one command now. False for an unknown command or bad arguments
  // (a message says why).
  bool execute(const std::string& line, int64_t nowMs);

  static const char* helpText();

 private:
  void showState(int64_t nowMs);
  // Status items (or settings) by name, all or the one named; false when
  // the key names none.
  bool show(bool status, const std::string& key);
  void showPresets();
  void showMedia();
  void showModule(int64_t nowMs);

  SimCamera& m_camera;
  CsiService& m_csi;
  std::ostream& m_out;
  SendFn m_send;
  StopFn m_stop;
  std::deque<std::string> m_pending;
  int64_t m_sleepUntilMs = -1;
  std::deque<ScenarioStep> m_scenario;
  int64_t m_scenarioStartMs = -1;  // -1: not started
  bool m_scenarioDone = false;
};

}  // namespace ztsim

#endif  // ZTSIM_CONSOLE_H
