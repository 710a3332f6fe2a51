#include "session.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "link_message.h"
#include "sim_server.h"
#include "ztTlv.h"
#include "ztcWire.h"

namespace ztsim {

namespace {

std::string hex(const Bytes& b, size_t from, size_t to) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = from; i < to && i < b.size(); ++i) {
    out += kDigits[b[i] >> 4];
    out += kDigits[b[i] & 15];
  }
  return out;
}

int nibble(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool unhex(const std::string& s, Bytes* out) {
  if (s.size() % 2) return false;
  out->clear();
  for (size_t i = 0; i < s.size(); i += 2) {
    int hi = nibble(s[i]), lo = nibble(s[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out->push_back(static_cast<uint8_t>(hi << 4 | lo));
  }
  return true;
}

// Bytes from..to as text, other bytes as \xNN; for notifications and names.
std::string text(const Bytes& b, size_t from, size_t to) {
  std::string out;
  for (size_t i = from; i < to && i < b.size(); ++i) {
    if (b[i] >= 0x20 && b[i] < 0x7f) {
      out += static_cast<char>(b[i]);
    } else {
      out += "\\x" + hex(b, i, i + 1);
    }
  }
  return out;
}

}  // namespace

std::string formatEvent(const SessionEvent& e) {
  std::string line = std::to_string(e.ms) + " " + e.kind;
  if (!e.bytes.empty()) line += " " + hex(e.bytes, 0, e.bytes.size());
  return line;
}

bool loadSession(const std::string& path, std::vector<SessionEvent>* out, std::string* error) {
  std::ifstream f(path);
  if (!f) {
    *error = "cannot read " + path;
    return false;
  }
  out->clear();
  std::string line;
  for (int number = 1; std::getline(f, line); ++number) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream in(line);
    SessionEvent e;
    std::string bytes;
    e.line = number;
    if (!(in >> e.ms >> e.kind) || ((in >> bytes) && !unhex(bytes, &e.bytes))) {
      *error = path + " line " + std::to_string(number) + ": expected \"MS KIND [HEX]\"";
      return false;
    }
    out->push_back(e);
  }
  return true;
}

bool writeSession(const std::string& path, std::vector<SessionEvent> events,
                  const std::string& header, std::string* error) {
  std::stable_sort(events.begin(), events.end(), [](const SessionEvent& a, const SessionEvent& b) {
    return a.ms < b.ms;
  });
  std::ofstream f(path, std::ios::trunc);
  if (!f) {
    *error = "cannot write " + path;
    return false;
  }
  f << header;
  const int64_t start = events.empty() ? 0 : events.front().ms;
  for (SessionEvent e : events) {
    e.ms -= start;
    f << formatEvent(e) << "\n";
  }
  f.flush();
  if (!f) *error = "cannot write " + path;
  return static_cast<bool>(f);
}

Bytes withoutSequence(const Bytes& message) {
  Bytes out = message;
  LinkMessage parsed;
  if (!parseLinkMessage(out.data(), out.size(), &parsed)) return out;
  for (size_t pos = TLV_HDR_LEN; pos + TLV_ELEM_HDR_LEN <= out.size();) {
    size_t len = static_cast<size_t>(out[pos + 1]) << 8 | out[pos + 2];
    uint8_t type = out[pos + 3];
    if (type == ZTC_EL_SEQ) std::fill_n(out.begin() + pos + TLV_ELEM_HDR_LEN, len, 0);
    pos += TLV_ELEM_HDR_LEN + len;
    if (type == ZTC_EL_END) break;
  }
  return out;
}

bool isPoll(const Bytes& request) {
  LinkMessage m;
  if (!parseLinkMessage(request.data(), request.size(), &m)) return false;
  static const std::string kUxMode = std::string("ztc_setup_get_camera_ux_mode") + '\0';
  if (m.command == ZTC_KIND_TYPED) return m.arg == Bytes(kUxMode.begin(), kUxMode.end());
  return m.command == ZTC_KIND_REMOTE && m.arg.size() == 2 &&
         ((m.arg[0] == 8 && m.arg[1] == 11) || (m.arg[0] == 7 && m.arg[1] == 30));
}

std::string describeDifference(const SessionEvent& recorded, const Bytes& now,
                               const std::string& what) {
  const Bytes& was = recorded.bytes;
  size_t at = 0;
  while (at < was.size() && at < now.size() && was[at] == now[at]) ++at;
  if (at == was.size() && at == now.size()) return "";
  // The bytes around the first difference, that byte in brackets ([] when
  // one side ends there); notifications as text too.
  auto around = [at](const Bytes& b) {
    const size_t from = at > 24 ? at - 24 : 0;
    return (from ? "..." : "") + hex(b, from, at) + "[" + hex(b, at, at + 1) + "]" +
           hex(b, at + 1, at + 24) + (b.size() > at + 24 ? "..." : "");
  };
  std::ostringstream out;
  out << what << ": first difference at byte " << at << " (recorded " << was.size()
      << " bytes, now " << now.size() << "; session line " << recorded.line << ", " << recorded.kind
      << " at " << recorded.ms << " ms)\n"
      << "  recorded: " << around(was) << "\n"
      << "  now:      " << around(now);
  if (recorded.kind == session_kind::kNotify) {
    out << "\n  recorded text: " << text(was, 0, was.size())
        << "\n  now text:      " << text(now, 0, now.size());
  }
  return out.str();
}

SessionWriter::SessionWriter(const std::string& path) : m_file(std::fopen(path.c_str(), "w")) {}

SessionWriter::~SessionWriter() {
  if (m_file) std::fclose(m_file);
}

void SessionWriter::write(const char* kind, const Bytes& bytes) {
  if (!m_file) return;
  SessionEvent e;
  e.ms = monotonicMs();
  e.kind = kind;
  e.bytes = bytes;
  std::fprintf(m_file, "%s\n", formatEvent(e).c_str());
  std::fflush(m_file);
}

}  // namespace ztsim
