#include "sim_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sim_log.h"
#include "ztMbox.h"
#include "ztcWire.h"

namespace ztsim {

namespace {

// Creates a fresh queue for reading: a stale queue of the same name (left
// by a crashed run) is removed first, so no old request is served.
mqd_t createQueue(const std::string& name) {
  mq_unlink(name.c_str());
  mq_attr attr{};
  attr.mq_maxmsg = SimServer::kQueueDepth;
  attr.mq_msgsize = ZTMSG_MAX;
  mqd_t q = mq_open(name.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NONBLOCK, ZTMBOX_MODE, &attr);
  if (q == static_cast<mqd_t>(-1)) {
    simLog(kLogError, "cannot create queue %s: %s", name.c_str(), std::strerror(errno));
  }
  return q;
}

enum class Post { kPosted, kFull, kMissing, kFailed };

// Posts one message without ever blocking: a full queue is reported, not
// waited on.
Post postNow(const std::string& queue, const Bytes& message) {
  mqd_t q = mq_open(queue.c_str(), O_WRONLY);
  if (q == static_cast<mqd_t>(-1)) return Post::kMissing;
  mq_attr attr{};
  Post result = Post::kPosted;
  if (mq_getattr(q, &attr) == 0 && attr.mq_curmsgs >= attr.mq_maxmsg) {
    result = Post::kFull;
  } else {
    timespec expired{};  // a deadline in the past: fail at once when full
    if (mq_timedsend(q, reinterpret_cast<const char*>(message.data()), message.size(), 0,
                     &expired) != 0) {
      result = errno == ETIMEDOUT || errno == EAGAIN ? Post::kFull : Post::kFailed;
    }
  }
  mq_close(q);
  return result;
}

// SIGINT and SIGTERM stop the server; SIGUSR1 starts a held scenario.
sigset_t handledSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGUSR1);
  return set;
}

void closeQueue(mqd_t* q, const std::string& name) {
  if (*q == static_cast<mqd_t>(-1)) return;
  mq_close(*q);
  mq_unlink(name.c_str());
  *q = static_cast<mqd_t>(-1);
}

}  // namespace

int64_t monotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

SimServer::SimServer(SimCamera& camera, CsiService& csi, SimQueueNames names)
    : m_camera(camera), m_csi(csi), m_names(std::move(names)) {}

SimServer::~SimServer() {
  close();
  if (m_signalFd >= 0) ::close(m_signalFd);
}

bool SimServer::open() {
  m_firmwareQueue = createQueue(m_names.firmware);
  m_csiQueue = createQueue(m_names.csi);
  m_ownQueue = createQueue(m_names.own);
  if (m_firmwareQueue == static_cast<mqd_t>(-1) || m_csiQueue == static_cast<mqd_t>(-1) ||
      m_ownQueue == static_cast<mqd_t>(-1)) {
    close();
    return false;
  }
  uint32_t model = static_cast<uint32_t>(m_camera.model());
  m_csi.set(ZTC_CSI_MODEL_NUMBER, model);
  simLog(kLogInfo, "serving %s and %s as camera model %u", m_names.firmware.c_str(),
         m_names.csi.c_str(), model);
  return true;
}

void SimServer::close() {
  closeQueue(&m_firmwareQueue, m_names.firmware);
  closeQueue(&m_csiQueue, m_names.csi);
  closeQueue(&m_ownQueue, m_names.own);
}

void SimServer::attachConsole(Console* console, int fd) {
  m_console = console;
  m_consoleFd = fd;
  if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

void SimServer::blockStopSignals() {
  sigset_t set = handledSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void SimServer::send(const std::vector<Outgoing>& messages) {
  for (const Outgoing& m : messages) {
    ztattr_t handle;
    if (ztMbox_txopen(m.queue.c_str(), &handle) != 0) {
      simLog(kLogWarn, "queue %s missing: message dropped", m.queue.c_str());
      continue;
    }
    mq_attr attr{};
    if (mq_getattr(handle.mqd, &attr) == 0 && attr.mq_curmsgs >= attr.mq_maxmsg) {
      simLog(kLogWarn, "queue %s full: message dropped", m.queue.c_str());
    } else if (ztMbox_send(m.message.data(), static_cast<uint32_t>(m.message.size()), &handle) !=
               0) {
      simLog(kLogWarn, "send to %s failed: %s", m.queue.c_str(), std::strerror(errno));
    }
    ztMbox_close(&handle);
  }
}

void SimServer::flushEvents() {
  std::vector<Outgoing> out;
  for (const CameraEvent& e : m_camera.takeEvents()) {
    if (e.kind == CameraEvent::kPresetUpdate) {
      simLog(kLogInfo, "event: preset update %u id 0x%x", e.preset.code, e.preset.id);
      out.push_back({m_names.daemon, buildPresetEvent(e.preset, m_names.daemon, m_names.firmware)});
      if (m_recorder) m_recorder->write(session_kind::kFwEvent, out.back().message);
    } else {
      bool resume = e.kind == CameraEvent::kResume;
      simLog(kLogInfo, "event: %s request", resume ? "resume (JR)" : "suspend (JS)");
      // The events before it go first, as they happened.
      send(out);
      out.clear();
      requestSys(resume, monotonicMs());
    }
  }
  uint32_t model = 0;
  if (m_csi.get(ZTC_CSI_MODEL_NUMBER, &model) && model != static_cast<uint32_t>(m_camera.model())) {
    std::vector<Outgoing> n =
        m_csi.set(ZTC_CSI_MODEL_NUMBER, static_cast<uint32_t>(m_camera.model()));
    out.insert(out.end(), n.begin(), n.end());
  }
  send(out);
}

void SimServer::onFirmwareMessage(const uint8_t* data, size_t length) {
  int64_t now = monotonicMs();
  LinkMessage req;
  if (!parseLinkMessage(data, length, &req) || req.category != ZTC_CAT_LIB_REQUEST ||
      req.src.empty()) {
    simLog(kLogWarn, "malformed request of %zu bytes on %s dropped", length,
           m_names.firmware.c_str());
    return;
  }
  const Bytes raw(data, data + length);
  if (m_recorder) m_recorder->write(session_kind::kFwRequest, withoutSequence(raw));
  if (m_replay) {
    const bool differed = m_replay->failed();
    ReplayFirmware::Reply reply = m_replay->serve(req, raw);
    if (!differed && m_replay->failed())
      simLog(kLogError, "replay: %s", m_replay->report().c_str());
    send({{req.src, reply.answer}});
    std::vector<Outgoing> events;
    for (const Bytes& e : reply.events) events.push_back({m_names.daemon, e});
    send(events);
    return;
  }
  if (!m_camera.answering(now)) {
    simLog(kLogInfo, "not answering: %s request %u dropped", req.command.c_str(), req.seq);
    return;
  }
  const Bytes& arg = req.arg;
  FwAnswer answer;
  if (req.command == ZTC_KIND_REMOTE && arg.size() >= 2) {
    answer = m_camera.remote(arg[0], arg[1], Bytes(arg.begin() + 2, arg.end()), now);
  } else if (req.command == ZTC_KIND_TYPED) {
    auto nul = std::find(arg.begin(), arg.end(), 0);
    if (nul == arg.end()) {
      answer = FwAnswer::fail(ZT_ERR_INVALID_PARAM);
    } else {
      answer = m_camera.typed(std::string(arg.begin(), nul), Bytes(nul + 1, arg.end()), now);
    }
  } else if (req.command == ZTC_KIND_AUXMOD && arg.size() >= 2) {
    answer = m_camera.auxmod(std::string(arg.begin(), arg.begin() + 2),
                             Bytes(arg.begin() + 2, arg.end()), now);
  } else {
    simLog(kLogWarn, "unknown request \"%s\" with %zu argument bytes, answered 0",
           req.command.c_str(), arg.size());
  }
  const Bytes message = buildLibraryAnswer(req, answer);
  if (m_recorder) m_recorder->write(session_kind::kFwAnswer, withoutSequence(message));
  send({{req.src, message}});
  // What the request caused follows its answer at once.
  flushEvents();
}

void SimServer::onCsiMessage(const uint8_t* data, size_t length) {
  LinkMessage req;
  if (!parseLinkMessage(data, length, &req) || req.category != ZTC_CAT_CSI_REQUEST) {
    simLog(kLogWarn, "malformed CSI request of %zu bytes dropped", length);
    return;
  }
  send(m_csi.handle(req));
}

void SimServer::onOwnMessage(const uint8_t* data, size_t length) {
  LinkMessage msg;
  if (!parseLinkMessage(data, length, &msg)) return;
  simLog(kLogInfo, "daemon answered %s (category %u)", msg.command.c_str(), msg.category);
  if (m_sysRequests.empty() || msg.category != ZTC_CAT_SYS_REQUEST + 1) return;
  const SysRequest& r = m_sysRequests.front();
  if (r.copies > 0 && msg.command == (r.resume ? "JR" : "JS")) {
    m_sysRequests.pop_front();
    deliverSys(monotonicMs());
  }
}

void SimServer::requestSys(bool resume, int64_t nowMs) {
  SysRequest r;
  r.resume = resume;
  r.sinceMs = nowMs;
  r.nextMs = nowMs;
  m_sysRequests.push_back(r);
  deliverSys(nowMs);
}

void SimServer::deliverSys(int64_t nowMs) {
  while (!m_sysRequests.empty()) {
    SysRequest& r = m_sysRequests.front();
    const char* code = r.resume ? "JR" : "JS";
    // A posted request followed by a newer one: the daemon's queue keeps
    // their order, and only the newer one's outcome matters.
    if (r.copies > 0 && m_sysRequests.size() > 1) {
      m_sysRequests.pop_front();
      continue;
    }
    if (nowMs - r.sinceMs >= kSysGiveUpMs) {
      simLog(kLogError, "%s not answered by the daemon within %lld ms (%d copies posted): given up",
             code, static_cast<long long>(kSysGiveUpMs), r.copies);
      m_sysRequests.pop_front();
      continue;
    }
    if (nowMs < r.nextMs) return;
    const Post result =
        postNow(m_names.daemon, buildSuspendRequest(r.resume, m_names.daemon, m_names.own));
    if (result == Post::kPosted) {
      if (m_recorder) {
        m_recorder->write(session_kind::kFwEvent,
                          buildSuspendRequest(r.resume, m_names.daemon, m_names.own));
      }
      ++r.copies;
      r.nextMs = nowMs + kSysRepeatMs;
      if (r.copies > 1) {
        simLog(kLogWarn, "%s not answered within %lld ms: posted again (copy %d)", code,
               static_cast<long long>(kSysRepeatMs), r.copies);
      }
      return;
    }
    r.nextMs = nowMs + kSysRetryMs;
    if (!r.held) {
      r.held = true;
      simLog(kLogWarn, "queue %s %s: %s held, trying again every %lld ms", m_names.daemon.c_str(),
             result == Post::kFull      ? "full"
             : result == Post::kMissing ? "missing"
                                        : "refused it",
             code, static_cast<long long>(kSysRetryMs));
    }
    return;
  }
}

void SimServer::drain(mqd_t queue, void (SimServer::*handler)(const uint8_t*, size_t)) {
  uint8_t buf[ZTMSG_MAX];
  for (;;) {
    ssize_t n = mq_receive(queue, reinterpret_cast<char*>(buf), sizeof buf, nullptr);
    if (n < 0) return;  // EAGAIN: drained
    (this->*handler)(buf, static_cast<size_t>(n));
  }
}

void SimServer::readConsole() {
  char buf[512];
  for (;;) {
    ssize_t n = read(m_consoleFd, buf, sizeof buf);
    if (n == 0) {  // end of input: keep serving without a console
      m_consoleFd = -1;
      break;
    }
    if (n < 0) break;
    m_consoleBuffer.append(buf, static_cast<size_t>(n));
  }
  size_t nl;
  while ((nl = m_consoleBuffer.find('\n')) != std::string::npos) {
    m_console->feed(m_consoleBuffer.substr(0, nl));
    m_consoleBuffer.erase(0, nl + 1);
  }
  // A line longer than any command is noise; drop it rather than grow.
  if (m_consoleBuffer.size() > 4096) m_consoleBuffer.clear();
}

int SimServer::pollTimeoutMs() const {
  int64_t now = monotonicMs();
  int64_t wait = 1000;
  int64_t due = m_camera.nextDueMs(now);
  if (due >= 0) wait = std::min(wait, due - now);
  if (m_console) {
    int64_t consoleDue = m_console->nextDueMs();
    if (consoleDue >= 0) wait = std::min(wait, consoleDue - now);
  }
  if (!m_sysRequests.empty()) {
    const SysRequest& r = m_sysRequests.front();
    wait = std::min(wait, std::min(r.nextMs, r.sinceMs + kSysGiveUpMs) - now);
  }
  return static_cast<int>(std::max<int64_t>(wait, 0));
}

int SimServer::run() {
  sigset_t set = handledSignals();
  if (m_signalFd < 0) m_signalFd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  while (!m_stop) {
    pollfd fds[5];
    nfds_t n = 0;
    fds[n++] = {m_firmwareQueue, POLLIN, 0};
    fds[n++] = {m_csiQueue, POLLIN, 0};
    fds[n++] = {m_ownQueue, POLLIN, 0};
    if (m_signalFd >= 0) fds[n++] = {m_signalFd, POLLIN, 0};
    if (m_consoleFd >= 0) fds[n++] = {m_consoleFd, POLLIN, 0};
    if (poll(fds, n, pollTimeoutMs()) < 0 && errno != EINTR) {
      simLog(kLogError, "poll failed: %s", std::strerror(errno));
      break;
    }
    for (nfds_t i = 0; i < n; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      if (fds[i].fd == m_firmwareQueue) drain(m_firmwareQueue, &SimServer::onFirmwareMessage);
      if (fds[i].fd == m_csiQueue) drain(m_csiQueue, &SimServer::onCsiMessage);
      if (fds[i].fd == m_ownQueue) drain(m_ownQueue, &SimServer::onOwnMessage);
      if (fds[i].fd == m_consoleFd) readConsole();
      if (m_signalFd >= 0 && fds[i].fd == m_signalFd) {
        signalfd_siginfo info{};
        if (read(m_signalFd, &info, sizeof info) <= 0) continue;
        if (info.ssi_signo == SIGUSR1) {
          if (!m_console || !m_console->startScenario(monotonicMs()))
            simLog(kLogWarn, "signal %u: no scenario waits to start", info.ssi_signo);
        } else {
          simLog(kLogInfo, "signal %u: stopping", info.ssi_signo);
          m_stop = true;
        }
      }
    }
    int64_t now = monotonicMs();
    m_camera.tick(now);
    if (m_console) m_console->run(now);
    flushEvents();
    deliverSys(monotonicMs());
  }
  close();
  return 0;
}

}  // namespace ztsim
