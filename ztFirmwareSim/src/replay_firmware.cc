#include "replay_firmware.h"

#include "ztErrno.h"

namespace ztsim {

ReplayFirmware::ReplayFirmware(const std::vector<SessionEvent>& session) {
  Exchange* last = nullptr;
  for (const SessionEvent& e : session) {
    if (e.kind == session_kind::kFwRequest) {
      Exchange x;
      x.request = e;
      x.before = m_ordered.size();
      std::vector<Exchange>& to = isPoll(e.bytes) ? m_polls : m_ordered;
      to.push_back(x);
      last = &to.back();
    } else if (e.kind == session_kind::kFwAnswer && last && last->answer.empty()) {
      last->answer = e.bytes;
    } else if (e.kind == session_kind::kFwEvent && !m_ordered.empty()) {
      m_ordered.back().events.push_back(e.bytes);
    }
  }
}

Bytes ReplayFirmware::answerWith(const LinkMessage& request, const Bytes& recordedAnswer) const {
  LinkMessage recorded;
  FwAnswer answer = FwAnswer::fail(ZT_ERR);
  if (parseLinkMessage(recordedAnswer.data(), recordedAnswer.size(), &recorded)) {
    answer.status = recorded.result;
    answer.hasBytes = recorded.hasAnswer;
    answer.bytes = recorded.answer;
  }
  return buildLibraryAnswer(request, answer);
}

ReplayFirmware::Reply ReplayFirmware::serve(const LinkMessage& request, const Bytes& raw) {
  Reply reply;
  const Bytes now = withoutSequence(raw);
  if (failed()) {
    reply.answer = buildLibraryAnswer(request, FwAnswer::fail(ZT_ERR));
    return reply;
  }
  if (isPoll(now)) {
    const Exchange* best = nullptr;
    for (const Exchange& p : m_polls) {
      if (p.request.bytes != now) continue;
      if (!best || p.before <= m_next) best = &p;
      if (p.before > m_next) break;
    }
    if (best) {
      reply.answer = answerWith(request, best->answer);
      return reply;
    }
    m_report = "a block poll the session never recorded, after its request " +
               std::to_string(m_next) + "\n";
  } else if (m_next >= m_ordered.size()) {
    SessionEvent end;
    end.kind = "end of the session";
    m_report = describeDifference(end, now, "firmware request " + std::to_string(m_next + 1));
  } else {
    const Exchange& x = m_ordered[m_next];
    m_report = describeDifference(x.request, now, "firmware request " + std::to_string(m_next + 1));
    if (m_report.empty()) {
      ++m_next;
      reply.answer = answerWith(request, x.answer);
      reply.events = x.events;
      return reply;
    }
  }
  reply.answer = buildLibraryAnswer(request, FwAnswer::fail(ZT_ERR));
  return reply;
}

bool ReplayFirmware::finish() {
  if (!failed() && m_next < m_ordered.size()) {
    const SessionEvent& missing = m_ordered[m_next].request;
    m_report = "firmware request " + std::to_string(m_next + 1) + " (session line " +
               std::to_string(missing.line) + ") never came; " +
               std::to_string(m_ordered.size() - m_next) + " recorded requests left";
  }
  return !failed();
}

}  // namespace ztsim
