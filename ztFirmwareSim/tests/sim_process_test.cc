// The real simulator process, driven over its queues by the camera control
// library the daemon uses: the command line and console script, events to
// the daemon's queue, hostile input and a clean stop. (What it answers is
// checked through the daemon by the scenario runs, the golden sessions and
// the tour.) Runs in its own IPC namespace.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mqueue.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <random>

#include "csi.h"
#include "link_message.h"
#include "sim_server.h"
#include "ztCtrlD.h"
#include "ztTlv.h"
#include "ztcWire.h"

extern char** environ;

namespace ztsim {
namespace {

mqd_t openQueue(const char* name, int flags) {
  mq_attr attr{};
  attr.mq_maxmsg = 10;
  attr.mq_msgsize = ZTC_MSG_MAX;
  return mq_open(name, flags | O_CREAT, 0664, &attr);
}

// Waits until cond() holds, checking every 10 ms, for at most timeoutMs.
template <typename Cond>
bool waitFor(Cond cond, int64_t timeoutMs = 3000) {
  for (int64_t deadline = monotonicMs() + timeoutMs; !cond(); poll(nullptr, 0, 10)) {
    if (monotonicMs() >= deadline) return false;
  }
  return true;
}

bool queueExists(const char* name) {
  mqd_t q = mq_open(name, O_WRONLY);
  return q != static_cast<mqd_t>(-1) && mq_close(q) == 0;
}

class SimProcessTest : public ::testing::Test {
 protected:
  void TearDown() override {
    stopSim();
    for (mqd_t q : {m_ctx.request_queue, m_ctx.reply_queue, m_daemonQueue}) mq_close(q);
    mq_unlink(ZTC_QUEUE_REPLY);
    mq_unlink(ZTC_QUEUE_DAEMON);
  }

  // Starts the simulator and connects a library context to it.
  void startSim(std::vector<std::string> args = {}) {
    m_daemonQueue = openQueue(ZTC_QUEUE_DAEMON, O_RDONLY | O_NONBLOCK);
    const char* dir = std::getenv("ZT_BIN_DIR");
    std::string path = std::string(dir ? dir : ".") + "/ztFirmwareSim";
    args.insert(args.begin(), {path, "--no-console", "--quiet", "--off-time", "400"});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    ASSERT_EQ(posix_spawn(&m_pid, path.c_str(), nullptr, nullptr, argv.data(), environ), 0) << path;
    ASSERT_TRUE(waitFor([] {
      return queueExists(ZTC_QUEUE_FIRMWARE) && queueExists(ZTC_QUEUE_CSI);
    }));
    m_ctx.reply_queue_name = ZTC_QUEUE_REPLY;
    m_ctx.reply_queue = openQueue(ZTC_QUEUE_REPLY, O_RDONLY);
    m_ctx.request_queue = mq_open(ZTC_QUEUE_FIRMWARE, O_WRONLY);
    ASSERT_NE(m_ctx.request_queue, static_cast<mqd_t>(-1));
  }

  // SIGTERM, then the exit status (-1 when it did not exit in time).
  int stopSim() {
    if (m_pid <= 0) return -1;
    kill(m_pid, SIGTERM);
    int status = 0;
    bool exited = waitFor([&] {
      return waitpid(m_pid, &status, WNOHANG) == m_pid;
    });
    if (!exited) kill(m_pid, SIGKILL), waitpid(m_pid, &status, 0);
    m_pid = 0;
    return exited && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  Bytes query(uint8_t category, uint8_t id, int* status = nullptr) {
    uint8_t* answer = nullptr;
    uint16_t length = 0;
    int s = ztc_send_remote_api_for_response(&m_ctx, category, id, &answer, &length);
    if (status) *status = s;
    return answer ? Bytes(answer, answer + length) : Bytes();
  }

  // The next message on the daemon's queue, within two seconds.
  LinkMessage nextDaemonMessage() {
    uint8_t buf[ZTC_MSG_MAX];
    ssize_t n = -1;
    LinkMessage m;
    waitFor([&] {
      return (n = mq_receive(m_daemonQueue, reinterpret_cast<char*>(buf), sizeof buf, nullptr)) >=
             0;
    });
    EXPECT_TRUE(n >= 0 && parseLinkMessage(buf, static_cast<size_t>(n), &m));
    return m;
  }

  pid_t m_pid = 0;
  ztc_msg_q_context_t m_ctx{nullptr, static_cast<mqd_t>(-1), static_cast<mqd_t>(-1), 0};
  mqd_t m_daemonQueue = static_cast<mqd_t>(-1);
};

// The command line's model and console script set the camera up (the script
// has run once the CSI item it sets last is there); its suspend and preset
// event reach the daemon's queue, and a stop removes the queues.
TEST_F(SimProcessTest, CommandLineSetsTheCameraUpAndAStopRemovesTheQueues) {
  startSim({"--model", "60", "--exec",
            "lens-type 1; sleep 50; js; sleep 50; preset-event 4 1; csi 9999 1"});
  uint32_t seen = 0;
  ASSERT_TRUE(waitFor([&] {
    return csi_get(9999, 4, nullptr, &seen) == 0 && seen == 1;
  }));
  EXPECT_NE(csi_get(987654, 4, nullptr, &seen), 0) << "unknown items are refused";
  uint8_t model = 0;
  ASSERT_EQ(ztc_state_get_model_number(&model), 0);
  EXPECT_EQ(model, 60);
  int status = -1;
  EXPECT_EQ(query(17, 0, &status), (Bytes{6, 3, 4, 5, 0, 1, 2}));
  EXPECT_EQ(status, 0);
  LinkMessage js = nextDaemonMessage();
  EXPECT_EQ(js.category, ZTC_CAT_SYS_REQUEST);
  EXPECT_EQ(js.command + js.src + js.dst, "JS/to_ztsim" ZTC_QUEUE_DAEMON);
  EXPECT_EQ(js.arg, Bytes{0});
  EXPECT_EQ(nextDaemonMessage().arg, (Bytes{4, 1, 0, 0, 0}));
  EXPECT_EQ(stopSim(), 0);
  for (const char* q : {ZTC_QUEUE_FIRMWARE, ZTC_QUEUE_CSI, "/to_ztsim"})
    EXPECT_FALSE(queueExists(q));
}

// A stale request queue with junk in it is replaced; well-framed requests
// with random kinds, names and arguments, and raw garbage, on both request
// queues: the simulator keeps serving and stops cleanly.
TEST_F(SimProcessTest, StaleQueuesAndHostileRequestsNeverStopTheSimulator) {
  mqd_t stale = openQueue(ZTC_QUEUE_FIRMWARE, O_WRONLY);
  ASSERT_EQ(mq_send(stale, "junk", 4, 0), 0);
  mq_close(stale);
  startSim();
  const char* junkReplies = "/ztsim_junk_replies";
  mqd_t junk = openQueue(junkReplies, O_RDONLY | O_NONBLOCK);
  mqd_t csiQueue = mq_open(ZTC_QUEUE_CSI, O_WRONLY);
  ASSERT_NE(csiQueue, static_cast<mqd_t>(-1));
  const char* kinds[] = {"RA", "TC", "AX", "CG", "CW", "CB", "??"};
  const char* names[] = {"ztc_shutter", "ztc_storage_delete_list", "ztc_storage_tag_file",
                         "camera_if_settings_set_value_int", "ztc_app_set_mode_sub_mode"};
  std::mt19937 rng(1234);
  for (int i = 0; i < 400; ++i) {
    uint8_t buf[ZTC_MSG_MAX];
    uint32_t len = 1 + rng() % 200;
    const char* kind = kinds[rng() % 7];
    Bytes arg;
    const char* name = names[rng() % 5];
    if (kind[0] == 'T') arg.assign(name, name + std::strlen(name) + 1);
    if (kind[0] == 'R') arg = {uint8_t(rng() % 18), uint8_t(rng() % 40)};
    for (uint32_t k = rng() % 40; k > 0; --k) arg.push_back(static_cast<uint8_t>(rng() % 4));
    if (rng() % 5 == 0) {  // raw garbage
      for (uint32_t k = 0; k < len; ++k) buf[k] = static_cast<uint8_t>(rng());
    } else {
      sntlv_msg_init(buf, sizeof buf, kind[0] == 'C' ? ZTC_CAT_CSI_REQUEST : ZTC_CAT_LIB_REQUEST);
      sntlv_add_bin(buf, sizeof buf, ZTC_EL_CMD, 2, kind);
      sntlv_add_bin(buf, sizeof buf, ZTC_EL_CMDARG, static_cast<uint32_t>(arg.size()), arg.data());
      sntlv_add_dat(buf, sizeof buf, ZTC_EL_SEQ, 4, static_cast<uint32_t>(i));
      sntlv_add_bin(buf, sizeof buf, ZTC_EL_SRC, std::strlen(junkReplies), junkReplies);
      sntlv_add_bin(buf, sizeof buf, ZTC_EL_END, 0, nullptr);
      len = static_cast<uint32_t>(sntlv_msg_len(buf));
    }
    mqd_t to = kind[0] == 'C' ? csiQueue : m_ctx.request_queue;
    // Paced by the queue: wait for room rather than overrun it; keep the
    // junk reply queue from filling so most answers are really sent.
    mq_attr attr{};
    ASSERT_TRUE(waitFor([&] {
      return mq_getattr(to, &attr) == 0 && attr.mq_curmsgs < attr.mq_maxmsg;
    }));
    ASSERT_EQ(mq_send(to, reinterpret_cast<const char*>(buf), len, 0), 0);
    while (mq_receive(junk, reinterpret_cast<char*>(buf), sizeof buf, nullptr) >= 0) {
    }
  }
  mq_close(csiQueue);
  mq_close(junk);
  mq_unlink(junkReplies);
  EXPECT_TRUE(waitFor(
      [&] {
        return query(8, 11).size() == CAMERA_STATUS_BLOCK_SIZE;
      },
      5000));
  uint8_t ux = 9;
  EXPECT_EQ(ztc_setup_get_camera_ux_mode(&m_ctx, &ux), 0);
  EXPECT_EQ(stopSim(), 0) << "still running and stops cleanly";
}

}  // namespace
}  // namespace ztsim
