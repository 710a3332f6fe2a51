#include "scenario.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace ztsim {

namespace {

std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

// "1.5s", "0s" or "250ms": milliseconds, or -1.
int64_t parseTime(const std::string& s) {
  bool ms = s.size() > 2 && s.compare(s.size() - 2, 2, "ms") == 0;
  bool sec = !ms && s.size() > 1 && s.back() == 's';
  if (!ms && !sec) return -1;
  std::string digits = s.substr(0, s.size() - (ms ? 2 : 1));
  if (digits.empty() || digits.find_first_not_of("0123456789.") != std::string::npos) return -1;
  char* end = nullptr;
  double v = std::strtod(digits.c_str(), &end);
  if (*end != '\0' || v > 86400000.0) return -1;
  return static_cast<int64_t>(ms ? v : v * 1000.0 + 0.5);
}

}  // namespace

bool parseScenario(const std::string& text, Scenario* out, std::string* error) {
  Scenario s;
  std::istringstream in(text);
  std::string raw;
  for (int number = 1; std::getline(in, raw); ++number) {
    const std::string line = trim(raw);
    auto fail = [&](const char* why) {
      *error = "line " + std::to_string(number) + ": " + why;
      return false;
    };
    if (line.empty() || line[0] == '#') continue;
    if (line.compare(0, 3, "at ") == 0) {
      size_t colon = line.find(':');
      if (colon == std::string::npos) return fail("\"at TIME: COMMANDS\" needs its colon");
      ScenarioStep step;
      step.atMs = parseTime(trim(line.substr(3, colon - 3)));
      step.command = trim(line.substr(colon + 1));
      if (step.atMs < 0) return fail("a time is a number with s or ms (0.5s, 250ms)");
      if (step.command.empty()) return fail("no command after the time");
      s.steps.push_back(step);
    } else if (line.compare(0, 12, "expect-scan ") == 0) {
      char* end = nullptr;
      long n = std::strtol(line.c_str() + 12, &end, 10);
      if (*end != '\0' || n < 0 || n > 255) return fail("expect-scan takes a count, 0 to 255");
      s.expectScan = static_cast<int>(n);
    } else if (line.compare(0, 7, "expect ") == 0) {
      s.expects.push_back(trim(line.substr(7)));
    } else {
      return fail("expected \"at TIME: COMMANDS\", \"expect TEXT\" or \"expect-scan N\"");
    }
  }
  std::stable_sort(s.steps.begin(), s.steps.end(),
                   [](const ScenarioStep& a, const ScenarioStep& b) {
                     return a.atMs < b.atMs;
                   });
  *out = std::move(s);
  return true;
}

bool loadScenario(const std::string& path, Scenario* out, std::string* error) {
  std::ifstream f(path);
  if (!f) {
    *error = "cannot read " + path;
    return false;
  }
  std::stringstream text;
  text << f.rdbuf();
  if (parseScenario(text.str(), out, error)) return true;
  *error = path + ": " + *error;
  return false;
}

}  // namespace ztsim
