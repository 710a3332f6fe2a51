// The simulator's own log: one line per event on standard error, so an
// operator sees what the camera did beside the console. Any thread may log;
// each line is written with one call.
#ifndef ZTSIM_SIM_LOG_H
#define ZTSIM_SIM_LOG_H

namespace ztsim {

enum SimLogLevel { kLogError = 0, kLogWarn = 1, kLogInfo = 2, kLogDebug = 3 };

// Lines above this level are dropped; kLogInfo unless changed.
void simSetLogLevel(int level);
int simLogLevel();

void simLog(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace ztsim

#endif  // ZTSIM_SIM_LOG_H
