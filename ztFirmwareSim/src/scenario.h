// Scenario files: a timed script of console commands that plays a situation
// (a battery running down, a card filling up, a firmware that goes silent)
// against whatever runs on the simulator. The text format is described in
// docs/simulator.md ("Scenarios"). Parsing keeps no state; any thread.
#ifndef ZTSIM_SCENARIO_H
#define ZTSIM_SCENARIO_H

#include <cstdint>
#include <string>
#include <vector>

namespace ztsim {

struct ScenarioStep {
  int64_t atMs = 0;     // from the scenario's start
  std::string command;  // console commands, ';' separated
};

struct Scenario {
  std::vector<ScenarioStep> steps;  // in time order (stable for equal times)
  // For a watching client: texts that notifications must carry while the
  // scenario plays, and the networks a Wi-Fi scan must find (-1: no scan).
  std::vector<std::string> expects;
  int expectScan = -1;
};

// Parses a scenario's text. False with "line N: why" in *error on the first
// line that is not a comment, a blank, "at TIME: COMMANDS", "expect TEXT" or
// "expect-scan N".
bool parseScenario(const std::string& text, Scenario* out, std::string* error);
// Reads and parses a file; a file that cannot be read is an error too.
bool loadScenario(const std::string& path, Scenario* out, std::string* error);

}  // namespace ztsim

#endif  // ZTSIM_SCENARIO_H
