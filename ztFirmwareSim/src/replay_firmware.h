// The firmware side of a recorded session, played back: each library
// request the daemon sends is compared with the next one recorded and
// answered with the recorded answer (under the live sequence number),
// followed by the events recorded after it. Polls (isPoll) are not
// counted: they are answered with the last answer recorded at that point of
// the session, however often the daemon asks. The first request
// that differs is reported; from then on every request gets ZT_ERR.
// Single-threaded (the simulator's thread).
#ifndef ZTSIM_REPLAY_FIRMWARE_H
#define ZTSIM_REPLAY_FIRMWARE_H

#include <string>
#include <vector>

#include "link_message.h"
#include "session.h"

namespace ztsim {

class ReplayFirmware {
 public:
  // Takes the firmware side of a session (other events are ignored).
  explicit ReplayFirmware(const std::vector<SessionEvent>& session);

  struct Reply {
    Bytes answer;               // for the request's reply queue
    std::vector<Bytes> events;  // for the daemon's queue, after the answer
  };
  // `raw` is the request as received, `request` the same parsed.
  Reply serve(const LinkMessage& request, const Bytes& raw);

  // At the end of the run: false when a request differed or recorded
  // requests never came; report() says which.
  bool finish();
  bool failed() const { return !m_report.empty(); }
  const std::string& report() const { return m_report; }
  size_t served() const { return m_next; }

 private:
  struct Exchange {
    SessionEvent request;
    Bytes answer;
    std::vector<Bytes> events;
    size_t before = 0;  // ordered exchanges recorded before it (polls)
  };
  Bytes answerWith(const LinkMessage& request, const Bytes& recordedAnswer) const;

  std::vector<Exchange> m_ordered;
  std::vector<Exchange> m_polls;
  size_t m_next = 0;
  std::string m_report;
};

}  // namespace ztsim

#endif  // ZTSIM_REPLAY_FIRMWARE_H
