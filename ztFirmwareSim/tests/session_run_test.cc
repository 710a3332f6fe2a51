// A replay notices a daemon that no longer does what its golden session
// recorded: the session is altered here instead of the daemon, once on the
// firmware side (a request the daemon sends) and once on the client side (a
// notification), and the replay must fail with a report of the first byte
// that differs. The unaltered session replays cleanly in ctest
// (session_replay_model-N). Runs in its own IPC and network namespace.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "DaemonHarness.h"

namespace {

using namespace std::chrono_literals;

std::string goldenSession() {
  const char* dir = std::getenv("ZT_SOURCE_DIR");
  std::ifstream f(std::string(dir ? dir : ".") + "/ztFirmwareSim/sessions/model-57.session");
  std::stringstream text;
  text << f.rdbuf();
  return text.str();
}

// The session with `hex` replaced by `by` in the first line of `kind` that
// holds it.
std::string altered(std::string session, const std::string& kind, const std::string& hex,
                    const std::string& by) {
  for (size_t line = session.find(" " + kind + " "); line != std::string::npos;
       line = session.find(" " + kind + " ", line + 1)) {
    size_t at = session.find(hex, line);
    if (at != std::string::npos && at < session.find('\n', line))
      return session.replace(at, hex.size(), by);
  }
  ADD_FAILURE() << "no " << kind << " line with " << hex;
  return session;
}

// Replays `session`; ztsession's exit status and output.
std::pair<int, std::string> replay(const std::string& session) {
  char path[] = "/tmp/zt_session_XXXXXX";
  int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(write(fd, session.data(), session.size()), static_cast<ssize_t>(session.size()));
  close(fd);
  zttest::ChildProcess run;
  const std::string bin = zttest::DaemonHarness::binDir();
  EXPECT_TRUE(run.start(bin + "/ztsession", {"replay", "--bin", bin, path})) << run.error();
  auto status = run.waitExit(60s);
  unlink(path);
  return {status && status->exited ? status->code : -1, run.output()};
}

TEST(SessionReplay, ReportsTheFirstDifferenceOnEitherSide) {
  const std::string golden = goldenSession();
  ASSERT_FALSE(golden.empty());

  // The scan start the daemon sends ("AX" "NI" 1 1) was recorded as "NI" 1 0.
  auto [code, out] = replay(altered(golden, "fw-req", "4e490101", "4e490100"));
  EXPECT_EQ(code, 1) << out;
  for (const char* text : {"firmware side differs:\nreplay: firmware request ",
                           "first difference at byte 17", "  now:      "})
    EXPECT_NE(out.find(text), std::string::npos) << out;

  // The contextual-menu notification was recorded with "63":0 instead of "63":1.
  std::tie(code, out) = replay(altered(golden, "nt-msg", "223633223a31", "223633223a30"));
  EXPECT_EQ(code, 1) << out;
  EXPECT_NE(out.find("client side differs:\nnotification"), std::string::npos) << out;
  EXPECT_EQ(out.find("firmware side differs"), std::string::npos) << "it only stopped early\n"
                                                                  << out;
  EXPECT_NE(out.find("recorded text: {\"status\":{\"63\":0"), std::string::npos) << out;
}

}  // namespace
