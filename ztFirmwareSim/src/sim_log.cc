#include "sim_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace ztsim {

namespace {
std::atomic<int> s_level{kLogInfo};
const char* const kNames[] = {"error", "warn", "info", "debug"};
}  // namespace

void simSetLogLevel(int level) {
  s_level = level;
}
int simLogLevel() {
  return s_level;
}

void simLog(int level, const char* format, ...) {
  if (level > s_level) return;
  char text[512];
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(text, sizeof text, format, ap);
  va_end(ap);
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  int idx = level < 0 ? 0 : (level > kLogDebug ? kLogDebug : level);
  std::fprintf(stderr, "[sim %6ld.%03ld %s] %s\n", static_cast<long>(ts.tv_sec),
               ts.tv_nsec / 1000000, kNames[idx], text);
}

}  // namespace ztsim
