// ztsession: records and replays sessions of the daemon (docs/simulator.md,
// "Recorded sessions"). It runs the simulator and the daemon in the current
// IPC and network namespace and plays the client side: requests on
// "/to_ztCtlD" with answers on its own queue "/ztsession", and a client of
// port 8081.
//
//   ztsession record --bin DIR [--model N] SCRIPT OUT
//       plays a client script against the simulator (recording the firmware
//       side) and writes the whole session to OUT
//   ztsession replay --bin DIR SESSION
//       plays both sides of a session against the daemon of DIR; exit 1 at
//       the first byte that differs, with a report
#include <getopt.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "DaemonHarness.h"
#include "session.h"
#include "sim_server.h"
#include "ztcontrol_commands.h"

namespace {

using namespace std::chrono_literals;
using ztsim::SessionEvent;
namespace kind = ztsim::session_kind;

const char kReplyQueue[] = "/ztsession";

struct Options {
  std::string bin = ".";
  int model = 57;
};

void usage() {
  std::fprintf(stderr,
               "usage: ztsession record --bin DIR [--model N] SCRIPT OUT\n"
               "       ztsession replay --bin DIR SESSION\n");
}

// A command by number or by name, with or without "ZTCONTROL_"; -1 if none.
int commandByName(const std::string& word) {
  char* end = nullptr;
  long n = std::strtol(word.c_str(), &end, 0);
  if (!word.empty() && *end == '\0') return n >= 0 && n <= ZTCONTROL_CMD_LAST ? int(n) : -1;
  for (int c = 0; c <= ZTCONTROL_CMD_LAST; ++c) {
    const std::string name = g_ztcontrolCommandNames[c];
    if (name == word || name == "ZTCONTROL_" + word) return c;
  }
  return -1;
}

// "HEX", "text:..." (the text) or "textz:..." (the text and a NUL).
bool argumentBytes(const std::string& word, zttest::Bytes* out) {
  for (bool nul : {false, true}) {
    const std::string prefix = nul ? "textz:" : "text:";
    if (word.compare(0, prefix.size(), prefix) == 0) {
      *out = zttest::textArg(word.substr(prefix.size()), nul);
      return true;
    }
  }
  out->clear();
  if (word.size() % 2) return false;
  for (size_t i = 0; i < word.size(); i += 2) {
    char* end = nullptr;
    std::string pair = word.substr(i, 2);
    long v = std::strtol(pair.c_str(), &end, 16);
    if (*end != '\0') return false;
    out->push_back(static_cast<uint8_t>(v));
  }
  return true;
}

// The simulator and the daemon of one run, stopped in the right order.
class Rig {
 public:
  explicit Rig(const Options& o) : m_options(o), m_daemon(o.bin + "/ztControlD") {}

  bool start(const std::vector<std::string>& simArgs) {
    // CSI item 123 bit 9: the daemon logs at debug level, which tells when
    // it has taken a port 8081 client on.
    std::vector<std::string> args = {"--no-console", "--quiet",
                                     "--model",      std::to_string(m_options.model),
                                     "--exec",       "csi 123 0x200"};
    args.insert(args.end(), simArgs.begin(), simArgs.end());
    if (!m_sim.start(m_options.bin + "/ztFirmwareSim", args)) {
      std::fprintf(stderr, "ztsession: %s\n", m_sim.error().c_str());
      return false;
    }
    for (int i = 0;
         i < 100 && !(zttest::queueExists("/to_ztnet") && zttest::queueExists("/to_csi")); ++i)
      usleep(50000);
    if (!m_daemon.startAndWaitReady()) {
      std::fprintf(stderr, "ztsession: the daemon did not start\n%s", m_daemon.log().c_str());
      return false;
    }
    return true;
  }

  // Waits for the daemon to end (the session stops it) and stops the
  // simulator; true when both ended with status 0.
  bool finish(bool simMayFail = false) {
    bool ok = true;
    auto d = m_daemon.waitExit(10s);
    if (!d || !d->ok()) {
      std::fprintf(stderr, "ztsession: the daemon did not end cleanly (%s)\n%s",
                   d ? d->describe().c_str() : "still running", m_daemon.log().c_str());
      if (!d) m_daemon.kill();
      ok = false;
    }
    m_sim.signal(SIGTERM);
    auto s = m_sim.waitExit(10s);
    if (!s || !s->ok()) {
      if (!simMayFail || !s) {
        std::fprintf(stderr, "ztsession: the simulator ended with %s\n",
                     s ? s->describe().c_str() : "nothing (killed)");
      }
      if (!s) m_sim.kill();
      ok = false;
    }
    return ok;
  }

  std::string simOutput() const { return m_sim.output(); }
  zttest::DaemonHarness& daemon() { return m_daemon; }
  std::string daemonLog() const { return m_daemon.log(); }

 private:
  Options m_options;
  zttest::ChildProcess m_sim;
  zttest::DaemonHarness m_daemon;
};

// The client side: one requester queue and one socket client.
class Client {
 public:
  Client(zttest::DaemonHarness& daemon, std::vector<SessionEvent>* log)
      : m_daemon(daemon), m_requester(kReplyQueue), m_log(log) {}

  bool ok() const { return m_requester.ok(); }

  // Sends a request's bytes; the answer, or empty when none came in 5 s.
  zttest::Bytes request(const zttest::Bytes& message) {
    note(kind::kRequest, message);
    if (!zttest::sendRaw(message.data(), message.size())) return {};
    auto reply = m_requester.waitReply(5s);
    if (!reply) return {};
    note(kind::kAnswer, reply->raw);
    return reply->raw;
  }
  // Connects and waits until the daemon counts the client, so that a
  // switch sent next finds it.
  bool open() {
    note(kind::kNotifyOpen, {});
    const size_t mark = m_daemon.logMark();
    return m_socket.connect(5s) &&
           m_daemon.waitForLog("Total PUSH_NOTIFICATION clients connected:", 5s, mark);
  }
  void close() {
    note(kind::kNotifyClose, {});
    m_socket.close();
  }
  const std::string& lastError() const { return m_socket.lastError(); }
  // The next notification's text, or nothing within 10 s.
  std::optional<std::string> next() {
    auto frame = m_socket.readFrame(10s);
    if (!frame) return std::nullopt;
    note(kind::kNotify, zttest::Bytes(frame->body.begin(), frame->body.end()));
    return frame->body;
  }

 private:
  void note(const char* k, const zttest::Bytes& bytes) {
    SessionEvent e;
    e.ms = ztsim::monotonicMs();
    e.kind = k;
    e.bytes = bytes;
    m_log->push_back(e);
  }

  zttest::DaemonHarness& m_daemon;
  zttest::Requester m_requester;
  zttest::TcpNotifyClient m_socket;
  std::vector<SessionEvent>* m_log;
};

// Plays a client script (docs/simulator.md); false with a message on the
// first line that cannot be played.
bool playScript(const std::string& path, Client& client) {
  std::ifstream f(path);
  if (!f) {
    std::fprintf(stderr, "ztsession: cannot read %s\n", path.c_str());
    return false;
  }
  std::string line;
  for (int number = 1; std::getline(f, line); ++number) {
    std::istringstream in(line);
    std::string word, arg;
    if (!(in >> word) || word[0] == '#') continue;
    auto fail = [&](const std::string& why) {
      std::fprintf(stderr, "ztsession: %s line %d: %s\n", path.c_str(), number, why.c_str());
      return false;
    };
    if (word == "request") {
      std::string name;
      in >> name;
      int command = commandByName(name);
      zttest::ClientRequest r;
      r.command = static_cast<uint32_t>(command);
      if (in >> arg) {
        zttest::Bytes bytes;
        if (!argumentBytes(arg, &bytes)) return fail("argument is HEX or text:TEXT");
        r.arg = bytes;
      }
      if (command < 0) return fail("no command " + name);
      if (client.request(zttest::buildClientRequest(r, kReplyQueue)).empty())
        return fail("no answer to " + name);
    } else if (word == "watch") {
      if (!client.open()) return fail("cannot connect to port 8081");
    } else if (word == "unwatch") {
      client.close();
    } else if (word == "notify") {
      std::string text;
      std::getline(in >> std::ws, text);
      for (;;) {
        auto body = client.next();
        if (!body) return fail("no notification with " + text + " (" + client.lastError() + ")");
        if (body->find(text) != std::string::npos) break;
      }
    } else {
      return fail("expected request, watch, unwatch or notify");
    }
  }
  return true;
}

int record(const Options& o, const std::string& script, const std::string& out) {
  char dir[] = "/tmp/ztsession.XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const std::string firmware = std::string(dir) + "/firmware";
  std::vector<SessionEvent> events;
  bool ok = false;
  {
    Rig rig(o);
    Client client(rig.daemon(), &events);
    ok = client.ok() && rig.start({"--record", firmware}) && playScript(script, client);
    ok = rig.finish() && ok;
    if (!ok) std::fprintf(stderr, "simulator:\n%s", rig.simOutput().c_str());
  }
  std::vector<SessionEvent> fw;
  std::string error;
  if (ok && !ztsim::loadSession(firmware, &fw, &error)) {
    std::fprintf(stderr, "ztsession: %s\n", error.c_str());
    ok = false;
  }
  unlink(firmware.c_str());
  rmdir(dir);
  if (!ok) return 1;
  events.insert(events.end(), fw.begin(), fw.end());
  std::ostringstream header;
  header << "# ztsession 1 model " << o.model << "\n"
         << "# recorded from " << script.substr(script.find_last_of('/') + 1)
         << "; re-record with ztFirmwareSim/sessions/record\n"
         << "# MS KIND HEX: fw-req/fw-ans/fw-evt firmware side (sequence numbers 0),\n"
         << "# cl-req/cl-ans client requests and answers, nt-open/nt-msg/nt-close port 8081\n";
  if (!ztsim::writeSession(out, events, header.str(), &error)) {
    std::fprintf(stderr, "ztsession: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

// The model a session was recorded with (its first line), or 57.
int sessionModel(const std::string& path) {
  std::ifstream f(path);
  std::string a, b, c, d;
  int model = 57;
  if (f >> a >> b >> c >> d >> model && a == "#" && b == "ztsession" && d == "model") return model;
  return 57;
}

int replay(Options o, const std::string& path) {
  std::vector<SessionEvent> session;
  std::string error;
  if (!ztsim::loadSession(path, &session, &error)) {
    std::fprintf(stderr, "ztsession: %s\n", error.c_str());
    return 2;
  }
  o.model = sessionModel(path);
  std::vector<SessionEvent> seen;
  Rig rig(o);
  Client client(rig.daemon(), &seen);
  std::string report;
  size_t position = 0;
  bool started = client.ok() && rig.start({"--replay", path});
  for (const SessionEvent& e : session) {
    if (!started || !report.empty()) break;
    const std::string what = e.kind + " " + std::to_string(++position);
    if (e.kind == kind::kRequest) {
      zttest::Bytes answer = client.request(e.bytes);
      // The answer is the next client event of the session.
      const SessionEvent* recorded = nullptr;
      for (const SessionEvent& a : session) {
        if (a.line > e.line && a.kind == kind::kAnswer) {
          recorded = &a;
          break;
        }
      }
      if (recorded) report = ztsim::describeDifference(*recorded, answer, "answer to " + what);
    } else if (e.kind == kind::kNotifyOpen) {
      if (!client.open()) report = "cannot connect to port 8081 (" + what + ")";
    } else if (e.kind == kind::kNotifyClose) {
      client.close();
    } else if (e.kind == kind::kNotify) {
      auto body = client.next();
      zttest::Bytes now = body ? zttest::Bytes(body->begin(), body->end()) : zttest::Bytes();
      report = ztsim::describeDifference(e, now, "notification (" + what + ")");
    }
  }
  // A difference leaves the rest of the session unplayed: stop the daemon.
  if (started && !report.empty()) rig.daemon().stop(5s);
  const bool clean = rig.finish(true);
  if (!started) return 1;
  // The firmware side's first difference usually causes the client's, so
  // it comes first.
  const std::string sim = rig.simOutput();
  size_t fw = sim.find("replay: ");
  // Requests that never came because the client side stopped at its own
  // difference are no news.
  if (fw != std::string::npos && !report.empty() &&
      sim.find("first difference", fw) == std::string::npos)
    fw = std::string::npos;
  if (fw != std::string::npos) {
    std::fprintf(stderr, "ztsession: replay of %s: firmware side differs:\n%s", path.c_str(),
                 sim.substr(fw).c_str());
  }
  if (!report.empty()) {
    std::fprintf(stderr, "ztsession: replay of %s: client side differs:\n%s\n", path.c_str(),
                 report.c_str());
  }
  if (fw != std::string::npos || !report.empty()) return 1;
  if (!clean) {
    std::fprintf(stderr, "ztsession: replay of %s: the run did not end cleanly\n%s", path.c_str(),
                 sim.c_str());
    return 1;
  }
  std::printf("ztsession: %s replayed: every answer, exchange and notification as recorded\n",
              path.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    usage();
    return 2;
  }
  const std::string mode = argv[1];
  Options o;
  static const option kOptions[] = {{"bin", required_argument, nullptr, 'b'},
                                    {"model", required_argument, nullptr, 'm'},
                                    {nullptr, 0, nullptr, 0}};
  optind = 2;
  for (int c; (c = getopt_long(argc, argv, "", kOptions, nullptr)) != -1;) {
    if (c == 'b') {
      o.bin = optarg;
    } else if (c == 'm') {
      o.model = std::atoi(optarg);
    } else {
      usage();
      return 2;
    }
  }
  const int rest = argc - optind;
  if (mode == "record" && rest == 2) return record(o, argv[optind], argv[optind + 1]);
  if (mode == "replay" && rest == 1) return replay(o, argv[optind]);
  usage();
  return 2;
}
