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
#include <deque>
#include <string>
#include <vector>

#include "console.h"
#include "csi_service.h"
#include "replay_firmware.h"
#include "session.h"
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
  // Suspend and resume requests: while the daemon's queue is full (or
  // missing) the request is held and tried again this often; once posted it
  // is posted again this often until the daemon answers it; after this long
  // it is given up (logged).
  static constexpr int64_t kSysRetryMs = 50;
  static constexpr int64_t kSysRepeatMs = 200;
  static constexpr int64_t kSysGiveUpMs = 10000;

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
  // blocks them first; see blockStopSignals). Returns 0.
  int run();
  void stop() { m_stop = true; }

  // Blocks SIGINT, SIGTERM (stop) and SIGUSR1 (start a held scenario) in
  // the calling thread so run() can take them from a signal descriptor.
  // Call before starting other threads.
  static void blockStopSignals();

  // Posts messages to their queues; a missing or full queue drops the
  // message (logged), so the camera never waits on the daemon.
  void send(const std::vector<Outgoing>& messages);
  // Sends the camera's pending events to the daemon. Preset updates are
  // dropped on a full queue like any message; suspend and resume requests
  // are delivered (see kSysRetryMs).
  void flushEvents();

  // Writes every library request, its answer and every event posted to the
  // daemon to `recorder` (null: none).
  void setRecorder(SessionWriter* recorder) { m_recorder = recorder; }
  // Answers library requests from a recorded session instead of the camera
  // (null: the camera answers).
  void setReplay(ReplayFirmware* replay) { m_replay = replay; }

  const SimQueueNames& names() const { return m_names; }

 private:
  void onFirmwareMessage(const uint8_t* data, size_t length);
  void onCsiMessage(const uint8_t* data, size_t length);
  void onOwnMessage(const uint8_t* data, size_t length);
  void drain(mqd_t queue, void (SimServer::*handler)(const uint8_t*, size_t));
  void readConsole();
  int pollTimeoutMs() const;

  // A suspend or resume request on its way to the daemon.
  struct SysRequest {
    bool resume = false;
    int64_t sinceMs = 0;  // when the camera asked for it
    int64_t nextMs = 0;   // next attempt to post it
    int copies = 0;       // copies posted so far
    bool held = false;    // a post found no room (logged once)
  };
  void requestSys(bool resume, int64_t nowMs);
  // Posts, repeats or gives up the oldest request as due; in order, so a
  // resume never overtakes the suspend before it.
  void deliverSys(int64_t nowMs);

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
  std::deque<SysRequest> m_sysRequests;
  SessionWriter* m_recorder = nullptr;
  ReplayFirmware* m_replay = nullptr;
};

// Monotonic milliseconds.
int64_t monotonicMs();

}  // namespace ztsim

#endif  // ZTSIM_SIM_SERVER_H
