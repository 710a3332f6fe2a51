// The real simulator process, driven over its queues by the camera control
// library the daemon uses: typed calls, firmware operations, the accessory
// module, the CSI service, events to the daemon's queue, the shutdown
// episode, console scripts and a clean stop. Runs in its own IPC namespace.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mqueue.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "csi.h"
#include "link_message.h"
#include "sim_server.h"
#include "ztCtrlD.h"
#include "ztTlv.h"
#include "ztcWire.h"

extern char** environ;

namespace ztsim {
namespace {

const int64_t kStartTimeoutMs = 5000;
const int64_t kEventTimeoutMs = 2000;

mqd_t openQueue(const char* name, int flags, long depth = 10) {
  mq_attr attr{};
  attr.mq_maxmsg = depth;
  attr.mq_msgsize = ZTC_MSG_MAX;
  return mq_open(name, flags | O_CREAT, 0664, &attr);
}

// Waits until cond() holds, checking every 10 ms, for at most timeoutMs.
template <typename Cond>
bool waitFor(Cond cond, int64_t timeoutMs) {
  int64_t deadline = monotonicMs() + timeoutMs;
  while (!cond()) {
    if (monotonicMs() >= deadline) return false;
    poll(nullptr, 0, 10);
  }
  return true;
}

bool queueExists(const char* name) {
  mqd_t q = mq_open(name, O_WRONLY);
  if (q == static_cast<mqd_t>(-1)) return false;
  mq_close(q);
  return true;
}

class SimProcessTest : public ::testing::Test {
 protected:
  void TearDown() override {
    stopSim();
    if (m_ctx.request_queue != static_cast<mqd_t>(-1)) mq_close(m_ctx.request_queue);
    if (m_ctx.reply_queue != static_cast<mqd_t>(-1)) mq_close(m_ctx.reply_queue);
    if (m_daemonQueue != static_cast<mqd_t>(-1)) mq_close(m_daemonQueue);
    mq_unlink(ZTC_QUEUE_REPLY);
    mq_unlink(ZTC_QUEUE_DAEMON);
  }

  // Starts the simulator and connects a library context to it.
  void startSim(std::vector<std::string> extra = {}, long daemonDepth = 10) {
    m_daemonQueue = openQueue(ZTC_QUEUE_DAEMON, O_RDONLY | O_NONBLOCK, daemonDepth);
    ASSERT_NE(m_daemonQueue, static_cast<mqd_t>(-1));
    const char* dir = std::getenv("ZT_BIN_DIR");
    std::string path = std::string(dir ? dir : ".") + "/ztFirmwareSim";
    std::vector<std::string> args = {path, "--no-console",
                                     std::getenv("ZTSIM_TEST_VERBOSE") ? "-v" : "--quiet",
                                     "--off-time", "400"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    ASSERT_EQ(posix_spawn(&m_pid, path.c_str(), nullptr, nullptr, argv.data(), environ), 0) << path;
    ASSERT_TRUE(waitFor(
        [] {
          return queueExists(ZTC_QUEUE_FIRMWARE) && queueExists(ZTC_QUEUE_CSI);
        },
        kStartTimeoutMs));
    m_ctx.reply_queue_name = ZTC_QUEUE_REPLY;
    m_ctx.reply_queue = openQueue(ZTC_QUEUE_REPLY, O_RDONLY);
    m_ctx.request_queue = mq_open(ZTC_QUEUE_FIRMWARE, O_WRONLY);
    ASSERT_NE(m_ctx.reply_queue, static_cast<mqd_t>(-1));
    ASSERT_NE(m_ctx.request_queue, static_cast<mqd_t>(-1));
  }

  // SIGTERM, then the exit status (-1 when it did not exit in time).
  int stopSim() {
    if (m_pid <= 0) return -1;
    kill(m_pid, SIGTERM);
    int status = 0;
    bool exited = waitFor(
        [&] {
          return waitpid(m_pid, &status, WNOHANG) == m_pid;
        },
        kStartTimeoutMs);
    if (!exited) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, &status, 0);
    }
    m_pid = 0;
    return exited && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  Bytes query(uint8_t category, uint8_t id, int* status) {
    uint8_t* answer = nullptr;
    uint16_t length = 0;
    *status = ztc_send_remote_api_for_response(&m_ctx, category, id, &answer, &length);
    return answer ? Bytes(answer, answer + length) : Bytes();
  }

  // The next message on the daemon's queue, within timeoutMs.
  bool nextDaemonMessage(LinkMessage* out, int64_t timeoutMs = kEventTimeoutMs) {
    uint8_t buf[ZTC_MSG_MAX];
    ssize_t n = -1;
    waitFor(
        [&] {
          n = mq_receive(m_daemonQueue, reinterpret_cast<char*>(buf), sizeof buf, nullptr);
          return n >= 0;
        },
        timeoutMs);
    return n >= 0 && parseLinkMessage(buf, static_cast<size_t>(n), out);
  }

  pid_t m_pid = 0;
  ztc_msg_q_context_t m_ctx{nullptr, static_cast<mqd_t>(-1), static_cast<mqd_t>(-1), 0};
  mqd_t m_daemonQueue = static_cast<mqd_t>(-1);
};

TEST_F(SimProcessTest, ServesTypedCallsFirmwareOperationsAndCsiThroughTheLibrary) {
  startSim({"--model", "60"});
  uint8_t model = 0;
  ASSERT_EQ(ztc_state_get_model_number(&model), 0);
  EXPECT_EQ(model, 60);
  uint32_t value = 0;
  EXPECT_NE(csi_get(987654, 4, nullptr, &value), 0) << "unknown items are refused";

  signed char lensMode = -1, lens = -1;
  ASSERT_EQ(ztc_system_get_lenses(&m_ctx, &lensMode, &lens), 0);
  EXPECT_EQ(lensMode, 0);
  uint8_t ux = 9;
  ASSERT_EQ(ztc_setup_get_camera_ux_mode(&m_ctx, &ux), 0);
  EXPECT_EQ(ux, 1);

  ASSERT_EQ(ztc_shutter(&m_ctx, 1), 0);
  int status = -1;
  Bytes block = query(8, 11, &status);
  ASSERT_EQ(status, 0);
  ASSERT_EQ(block.size(), CAMERA_STATUS_BLOCK_SIZE);
  EXPECT_EQ(block[6], 1) << "encoding";
  ASSERT_EQ(ztc_shutter(&m_ctx, 0), 0);

  ASSERT_EQ(ztc_app_set_mode(&m_ctx, 1), 0);
  int32_t appMode = -1, flatMode = -1;
  ASSERT_EQ(ztc_app_get_mode_flat_mode(&m_ctx, &appMode, &flatMode), 0);
  EXPECT_EQ(appMode, 1);
  EXPECT_EQ(flatMode, 17);
  Bytes settings = query(7, 30, &status);
  ASSERT_EQ(settings.size(), CAMERA_SETTINGS_BLOCK_SIZE);
  EXPECT_EQ(settings[25], 17) << "flat mode in the settings block";
  EXPECT_EQ(ztc_app_set_digital_zoom(&m_ctx, 500), ZT_ERR_INVALID_PARAM) << "status passed through";
  // A firmware operation with a payload and an answer: the preset ids of group 2.
  uint8_t* answer = nullptr;
  uint16_t length = 0;
  const uint8_t group = 2;
  ASSERT_EQ(ztc_send_remote_api_payload_response(&m_ctx, 17, 1, &group, 1, &answer, &length), 0);
  ASSERT_GE(length, 1);
  EXPECT_EQ(length, 1 + 4 * answer[0]);
}

// Every model of the model table starts, reports its number and lists its
// groups in the state the command line sets; each stops with status 0.
TEST_F(SimProcessTest, EveryModelStartsAndListsItsGroups) {
  struct Case {
    int model;
    const char* exec;
    Bytes groups;  // count, then the groups
  } cases[] = {{61, "power 2", {3, 9, 1, 2}},
               {60, "ux easy", {3, 10, 12, 13}},
               {60, "", {6, 0, 1, 2, 3, 4, 5}},
               {60, "lens-type 1", {6, 3, 4, 5, 0, 1, 2}},
               {58, "ux easy; power 1", {3, 11, 12, 13}},
               {57, "", {3, 0, 1, 2}},
               {55, "power 1", {3, 8, 1, 2}},
               {51, "lens-type 1", {3, 3, 4, 5}},
               {50, "ux easy; power 2", {3, 14, 12, 13}}};
  for (const Case& c : cases) {
    SCOPED_TRACE("model " + std::to_string(c.model) + " \"" + c.exec + "\"");
    // The console script has run once the CSI item it sets last is there.
    startSim({"--model", std::to_string(c.model), "--exec", std::string(c.exec) + "; csi 9999 1"});
    uint32_t seen = 0;
    ASSERT_TRUE(waitFor(
        [&] {
          return csi_get(9999, 4, nullptr, &seen) == 0 && seen == 1;
        },
        kStartTimeoutMs));
    uint8_t model = 0;
    ASSERT_EQ(ztc_state_get_model_number(&model), 0);
    EXPECT_EQ(model, c.model);
    int status = -1;
    EXPECT_EQ(query(17, 0, &status), c.groups);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(stopSim(), 0);
    mq_close(m_ctx.request_queue);
    mq_close(m_ctx.reply_queue);
    mq_close(m_daemonQueue);
    m_ctx.request_queue = m_ctx.reply_queue = m_daemonQueue = static_cast<mqd_t>(-1);
  }
}

// Every activation reports a preset update on the daemon's queue; with room
// for one, the rest are dropped while every call is still answered in time.
TEST_F(SimProcessTest, PresetUpdatesReachTheDaemonQueueAndAFullOneNeverBlocks) {
  startSim({}, 1);
  for (uint32_t id : {0x20001u, 0x20000u, 0x20001u, 0x20000u, 0x20001u}) {
    uint8_t p[4] = {uint8_t(id), uint8_t(id >> 8), uint8_t(id >> 16), uint8_t(id >> 24)};
    EXPECT_EQ(ztc_send_remote_api_payload(&m_ctx, 17, 12, p, 4), 0);
  }
  mq_attr attr{};
  EXPECT_TRUE(waitFor(
      [&] {
        return mq_getattr(m_daemonQueue, &attr) == 0 && attr.mq_curmsgs == 1;
      },
      kEventTimeoutMs));
  LinkMessage first;
  ASSERT_TRUE(nextDaemonMessage(&first));
  EXPECT_EQ(first.category, ZTC_CAT_PRESET_EVENT);
  EXPECT_EQ(first.command, "PU");
  EXPECT_EQ(first.arg, (Bytes{6, 0x01, 0x00, 0x02, 0x00}))
      << "the first event is kept, later ones dropped";
  EXPECT_EQ(first.src, ZTC_QUEUE_FIRMWARE);
  EXPECT_EQ(first.dst, ZTC_QUEUE_DAEMON);
}

TEST_F(SimProcessTest, ShutdownRefusesStatusAndSettingsUntilTheCameraIsBack) {
  startSim();
  const uint8_t off = 1;
  ASSERT_EQ(ztc_send_remote_api_payload(&m_ctx, 8, 2, &off, 1), 0);
  int status = -1;
  EXPECT_EQ(query(8, 11, &status), Bytes{2});
  EXPECT_EQ(status, 0);
  EXPECT_EQ(query(7, 30, &status), Bytes{2});
  EXPECT_TRUE(waitFor(
      [&] {
        return query(8, 11, &status).size() == CAMERA_STATUS_BLOCK_SIZE;
      },
      3000));
}

TEST_F(SimProcessTest, AccessoryModuleScansThroughTheLibrary) {
  startSim();
  uint8_t* answer = nullptr;
  uint16_t length = 0;
  const uint8_t start[2] = {1, 1};
  ASSERT_EQ(ztc_send_auxmod_command(&m_ctx, "NI", start, 2, &answer, &length), 0);
  ASSERT_EQ(length, 2);
  const uint8_t scanId = answer[1];
  const uint8_t list[5] = {0, 10, 0xFF, 0xFF, 1};
  ASSERT_TRUE(waitFor(
      [&] {
        answer = nullptr;
        length = 0;
        return ztc_send_auxmod_command(&m_ctx, "al", list, 5, &answer, &length) == 0 &&
               length >= 7 && answer[0] == 0;
      },
      3000));
  EXPECT_EQ(answer[1], scanId);
  EXPECT_GT(answer[4], 0);
  EXPECT_EQ(length, 7 + 127 * answer[4]);
  // A command without an answer pointer is fine too.
  const uint8_t apOn[2] = {1, 0};
  EXPECT_EQ(ztc_send_auxmod_command(&m_ctx, "AP", apOn, 2, nullptr, nullptr), 0);
}

TEST_F(SimProcessTest, ConsoleScriptSendsSuspendAndAStopRemovesTheQueues) {
  startSim({"--exec", "sleep 50; js; sleep 50; preset-event 4 1"});
  LinkMessage js;
  ASSERT_TRUE(nextDaemonMessage(&js));
  EXPECT_EQ(js.category, ZTC_CAT_SYS_REQUEST);
  EXPECT_EQ(js.command, "JS");
  EXPECT_EQ(js.arg, Bytes{0});
  EXPECT_EQ(js.src, "/to_ztsim");
  LinkMessage pu;
  ASSERT_TRUE(nextDaemonMessage(&pu));
  EXPECT_EQ(pu.arg, (Bytes{4, 1, 0, 0, 0}));

  EXPECT_EQ(stopSim(), 0);
  EXPECT_FALSE(queueExists(ZTC_QUEUE_FIRMWARE));
  EXPECT_FALSE(queueExists(ZTC_QUEUE_CSI));
  EXPECT_FALSE(queueExists("/to_ztsim"));
}

TEST_F(SimProcessTest, StaleQueuesAreReplacedAndJunkIsIgnored) {
  mqd_t stale = openQueue(ZTC_QUEUE_FIRMWARE, O_WRONLY);
  ASSERT_NE(stale, static_cast<mqd_t>(-1));
  ASSERT_EQ(mq_send(stale, "junk", 4, 0), 0);
  mq_close(stale);
  startSim();
  // Garbage on the request queue is dropped; the next real call works.
  ASSERT_EQ(mq_send(m_ctx.request_queue, "\x00\x09\x00\x18\x00\xff\xff\x41\x00", 9, 0), 0);
  uint8_t ux = 9;
  EXPECT_EQ(ztc_setup_get_camera_ux_mode(&m_ctx, &ux), 0);
  EXPECT_EQ(ux, 1);
}

// Well-framed requests with random kinds, names and arguments, and raw
// garbage, on both request queues: the simulator keeps serving.
TEST_F(SimProcessTest, HostileRequestsNeverStopTheSimulator) {
  startSim();
  const char* junkReplies = "/ztsim_junk_replies";
  mqd_t junk = openQueue(junkReplies, O_RDONLY | O_NONBLOCK);
  ASSERT_NE(junk, static_cast<mqd_t>(-1));
  mqd_t csiQueue = mq_open(ZTC_QUEUE_CSI, O_WRONLY);
  ASSERT_NE(csiQueue, static_cast<mqd_t>(-1));
  const char* kinds[] = {"RA", "TC", "AX", "CG", "CW", "CB", "??"};
  const char* names[] = {"ztc_shutter", "ztc_storage_delete_list", "ztc_storage_tag_file",
                         "camera_if_settings_set_value_int", "ztc_app_set_mode_sub_mode"};
  std::mt19937 rng(1234);
  for (int i = 0; i < 400; ++i) {
    uint8_t buf[ZTC_MSG_MAX];
    uint32_t len;
    const char* kind = kinds[rng() % 7];
    bool csi = kind[0] == 'C';
    if (rng() % 5 == 0) {  // raw garbage
      len = 1 + rng() % 200;
      for (uint32_t k = 0; k < len; ++k) buf[k] = static_cast<uint8_t>(rng());
    } else {
      Bytes arg;
      if (kind[0] == 'T') {
        const char* n = names[rng() % 5];
        arg.assign(n, n + std::strlen(n) + 1);
      } else if (kind[0] == 'R') {
        arg = {static_cast<uint8_t>(rng() % 18), static_cast<uint8_t>(rng() % 40)};
      }
      for (uint32_t k = rng() % 40; k > 0; --k) arg.push_back(static_cast<uint8_t>(rng() % 4));
      sntlv_msg_init(buf, sizeof buf, csi ? ZTC_CAT_CSI_REQUEST : ZTC_CAT_LIB_REQUEST);
      sntlv_add_bin(buf, sizeof buf, ZTC_EL_CMD, 2, kind);
      sntlv_add_bin(buf, sizeof buf, ZTC_EL_CMDARG, static_cast<uint32_t>(arg.size()), arg.data());
      sntlv_add_dat(buf, sizeof buf, ZTC_EL_SEQ, 4, static_cast<uint32_t>(i));
      sntlv_add_bin(buf, sizeof buf, ZTC_EL_SRC, static_cast<uint32_t>(std::strlen(junkReplies)),
                    junkReplies);
      sntlv_add_bin(buf, sizeof buf, ZTC_EL_END, 0, nullptr);
      len = static_cast<uint32_t>(sntlv_msg_len(buf));
    }
    mqd_t to = csi ? csiQueue : m_ctx.request_queue;
    // Paced by the queue: wait for room rather than overrun it.
    mq_attr attr{};
    ASSERT_TRUE(waitFor(
        [&] {
          return mq_getattr(to, &attr) == 0 && attr.mq_curmsgs < attr.mq_maxmsg;
        },
        kEventTimeoutMs));
    ASSERT_EQ(mq_send(to, reinterpret_cast<const char*>(buf), len, 0), 0);
    // Keep the junk reply queue from filling so most answers are really sent.
    char drop[ZTC_MSG_MAX];
    while (mq_receive(junk, drop, sizeof drop, nullptr) >= 0) {
    }
  }
  mq_close(csiQueue);
  mq_close(junk);
  mq_unlink(junkReplies);
  int status = -1;
  EXPECT_TRUE(waitFor(
      [&] {
        return query(8, 11, &status).size() == CAMERA_STATUS_BLOCK_SIZE;
      },
      5000));
  EXPECT_EQ(stopSim(), 0) << "still running and stops cleanly";
}

}  // namespace
}  // namespace ztsim
