// Recorded sessions: everything that crossed the daemon's boundaries during
// a run, one event a line ("MS KIND HEX"; format in docs/simulator.md,
// "Recorded sessions"). The simulator writes the firmware side, the session
// driver (ztsession) the client side; both read a session back to replay
// their side and report the first byte that differs. Stateless functions;
// a SessionWriter is used by one thread.
#ifndef ZTSIM_SESSION_H
#define ZTSIM_SESSION_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sim_bytes.h"

namespace ztsim {

// Event kinds.
namespace session_kind {
inline constexpr const char* kFwRequest = "fw-req";    // library request the daemon sent
inline constexpr const char* kFwAnswer = "fw-ans";     // the firmware side's answer
inline constexpr const char* kFwEvent = "fw-evt";      // event posted to the daemon (PU, JS, JR)
inline constexpr const char* kRequest = "cl-req";      // client request to the daemon
inline constexpr const char* kAnswer = "cl-ans";       // the daemon's answer to it
inline constexpr const char* kNotifyOpen = "nt-open";  // client connects to port 8081
inline constexpr const char* kNotify = "nt-msg";       // one notification's text (without NUL)
inline constexpr const char* kNotifyClose = "nt-close";
}  // namespace session_kind

struct SessionEvent {
  int64_t ms = 0;
  std::string kind;
  Bytes bytes;
  int line = 0;  // in the file it was read from
};

// One line of the file, without its newline.
std::string formatEvent(const SessionEvent& event);
// Reads a session file; comments (#) and blank lines are skipped. False
// with "FILE line N: why" in *error.
bool loadSession(const std::string& path, std::vector<SessionEvent>* out, std::string* error);
// Appends the events to a file, ordered by time (stable).
bool writeSession(const std::string& path, std::vector<SessionEvent> events,
                  const std::string& header, std::string* error);

// A link message with its sequence number ('S', which a process derives
// from its clock) set to 0. Bytes that do not parse are kept as they are.
Bytes withoutSequence(const Bytes& message);
// True for what the daemon's status polling reads: the status and settings
// blocks ((8, 11), (7, 30)) and the ux mode. It polls as often as time
// allows while a client listens, so their number is not part of a session.
bool isPoll(const Bytes& request);

// Empty when equal; otherwise a readable report of the first byte that
// differs: what was recorded, what came now, the event and its line.
std::string describeDifference(const SessionEvent& recorded, const Bytes& now,
                               const std::string& what);

// Appends events to a file as they happen, one line each, flushed.
class SessionWriter {
 public:
  explicit SessionWriter(const std::string& path);
  ~SessionWriter();
  SessionWriter(const SessionWriter&) = delete;
  SessionWriter& operator=(const SessionWriter&) = delete;
  bool ok() const { return m_file != nullptr; }
  void write(const char* kind, const Bytes& bytes);

 private:
  std::FILE* m_file = nullptr;
};

}  // namespace ztsim

#endif  // ZTSIM_SESSION_H
