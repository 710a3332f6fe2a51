// The firmware side of the link as a process: creates "/to_ztnet", "/to_csi"
// and its own answer queue (removing stale ones), serves library requests
// and CSI requests from them, posts the camera's events to the daemon's
// queue without ever blocking on it, reads the operator console, and
// removes the queues it created when it stops. One thread runs it all.
#ifndef ZTSIM_SIM_SERVER_H
#define ZTSIM_SIM_SERVER_H

#include <mqueue.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "console.h"
#include "csi_service.h"
#include "sim_camera.h"

namespace ztsim {

struct SimQueueNames {
  std::string firmware = "/to_ztnet";
  std::string csi = "/to_csi";
  std::string daemon = "/to_ztCtlD";
  // Where the daemon answers the simulator's suspend and resume requests.
  std::string own = "/to_ztsim";
};

class SimServer {
 public:
  // Messages the firmware-side queues hold at most.
  static constexpr long kQueueDepth = 10;

  SimServer(SimCamera& camera, CsiService& csi, SimQueueNames names = SimQueueNames());
  ~SimServer();
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  // Removes stale queues of the same names and creates them afresh. False
  // when a queue cannot be created (then nothing stays open).
  bool open();
  // Closes the queues and removes the ones open() created. Idempotent.
  void close();

  // Reads operator commands from fd (usually standard input) and runs them
  // through console; fd -1 reads nothing. End of input stops the reading,
  // not the server.
  void attachConsole(Console* console, int fd);

  // Serves until stop() is called or SIGINT / SIGTERM arrives (the caller
  // blocks both signals first; see blockStopSignals). Returns 0.
  int run();
  void stop() { m_stop = true; }

  // Blocks SIGINT and SIGTERM in the calling thread so run() can take them
  // from a signal descriptor. Call before starting other threads.
  static void blockStopSignals();

  // Posts messages to their queues; a missing or full queue drops the
  // message (logged), so the camera never waits on the daemon.
  void send(const std::vector<Outgoing>& messages);
  // Sends the camera's pending events to the daemon.
  void flushEvents();

  const SimQueueNames& names() const { return m_names; }

 private:
  void onFirmwareMessage(const uint8_t* data, size_t length);
  void onCsiMessage(const uint8_t* data, size_t length);
  void onOwnMessage(const uint8_t* data, size_t length);
  void drain(mqd_t queue, void (SimServer::*handler)(const uint8_t*, size_t));
  void readConsole();
  int pollTimeoutMs() const;

  SimCamera& m_camera;
  CsiService& m_csi;
  SimQueueNames m_names;
  mqd_t m_firmwareQueue = -1;
  mqd_t m_csiQueue = -1;
  mqd_t m_ownQueue = -1;
  int m_signalFd = -1;
  Console* m_console = nullptr;
  int m_consoleFd = -1;
  std::string m_consoleBuffer;
  std::atomic<bool> m_stop{false};
};

// Monotonic milliseconds.
int64_t monotonicMs();

}  // namespace ztsim

#endif  // ZTSIM_SIM_SERVER_H
