// Requester, floor responders and daemon child of the benchmark driver.
#include "bench_client.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <string.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>

#include "ztCtrlD.h"
#include "ztcWire.h"
#include "ztTlv.h"

extern char **environ;

namespace ztbench {

namespace {

constexpr uint8_t kClientCommand = 20;
constexpr uint8_t kClientAnswer = 21;
constexpr uint32_t kStopCommand = 101;

timespec deadlineIn(int ms)
{
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    t.tv_sec += ms / 1000;
    t.tv_nsec += (ms % 1000) * 1000000L;
    if (t.tv_nsec >= 1000000000L) {
        ++t.tv_sec;
        t.tv_nsec -= 1000000000L;
    }
    return t;
}

}  // namespace

BenchRequester::BenchRequester(const std::string &name, const std::string &target)
    : m_name(name), m_target(target)
{
    mq_attr attr = {};
    attr.mq_maxmsg = 10;
    attr.mq_msgsize = ZTMSG_MAX;
    mq_unlink(m_name.c_str());
    m_queue = mq_open(m_name.c_str(), O_RDONLY | O_CREAT, 0600, &attr);
}

BenchRequester::~BenchRequester()
{
    if (m_daemon != (mqd_t)-1)
        mq_close(m_daemon);
    if (m_queue != (mqd_t)-1) {
        mq_close(m_queue);
        mq_unlink(m_name.c_str());
    }
}

long BenchRequester::pending() const
{
    mq_attr attr = {};
    return m_queue != (mqd_t)-1 && mq_getattr(m_queue, &attr) == 0 ? attr.mq_curmsgs : 0;
}

bool BenchRequester::call(uint32_t command, const std::vector<uint8_t> &argument, int32_t *result)
{
    if (m_daemon == (mqd_t)-1)
        m_daemon = mq_open(m_target.c_str(), O_WRONLY);
    if (m_daemon == (mqd_t)-1)
        return false;
    uint8_t msg[ZTMSG_MAX];
    sntlv_msg_init(msg, sizeof(msg), kClientCommand);
    sntlv_add_dat(msg, sizeof(msg), TLV_CMD, 4, command);
    if (!argument.empty())
        sntlv_add_bin(msg, sizeof(msg), TLV_CMDARG, static_cast<uint32_t>(argument.size()),
                      argument.data());
    sntlv_add_bin(msg, sizeof(msg), TLV_SRC, static_cast<uint32_t>(m_name.size()), m_name.c_str());
    sntlv_add_bin(msg, sizeof(msg), TLV_END, 0, nullptr);
    timespec deadline = deadlineIn(5000);
    if (mq_timedsend(m_daemon, reinterpret_cast<char *>(msg), sntlv_msg_len(msg), 0, &deadline) !=
        0)
        return false;
    uint8_t answer[ZTMSG_MAX];
    const ssize_t got = mq_timedreceive(m_queue, reinterpret_cast<char *>(answer), sizeof(answer),
                                        nullptr, &deadline);
    if (got < TLV_HDR_LEN || answer[3] != kClientAnswer)
        return false;
    if (result) {
        const uint8_t *r = tlv_find(answer, TLV_RESULT);
        *result = r ? static_cast<int32_t>(r[4] | (r[5] << 8) | (r[6] << 16) |
                                           (static_cast<uint32_t>(r[7]) << 24))
                    : 0;
    }
    return true;
}

DaemonProcess::DaemonProcess(const std::string &binary, const std::vector<std::string> &arguments)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char *> argv = {const_cast<char *>(binary.c_str())};
    for (const auto &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, binary.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
}

DaemonProcess::~DaemonProcess()
{
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        mq_unlink(kDaemonQueue);
        mq_unlink("/to_ztCtlD2");
    }
}

bool DaemonProcess::waitReady(const std::string &queue)
{
    if (m_pid <= 0)
        return false;
    BenchRequester probe("/zt_bench_ready", queue);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < until) {
        if (probe.call(1, {}))
            return true;
        timespec pause = {0, 50000000L};  // the daemon's queue may not exist yet
        nanosleep(&pause, nullptr);
    }
    return false;
}

bool DaemonProcess::stop()
{
    if (m_pid <= 0)
        return false;
    BenchRequester stopper("/zt_bench_stop");
    stopper.call(kStopCommand, {});
    int status = 0;
    for (int i = 0; i < 200; ++i) {
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        timespec pause = {0, 50000000L};
        nanosleep(&pause, nullptr);
    }
    return false;
}

bool DaemonProcess::terminate()
{
    if (m_pid <= 0)
        return false;
    kill(m_pid, SIGTERM);
    int status = 0;
    const bool reaped = waitpid(m_pid, &status, 0) == m_pid;
    m_pid = -1;
    return reaped && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

namespace {

volatile sig_atomic_t g_floorStop = 0;

void stopFloor(int)
{
    g_floorStop = 1;
}

}  // namespace

FloorResponder::FloorResponder() : m_child("/proc/self/exe", {kFloorResponderFlag})
{
    m_ok = m_child.waitReady(floorQueue(false)) && m_child.waitReady(floorQueue(true));
}

FloorResponder::~FloorResponder()
{
    m_child.terminate();
}

const char *FloorResponder::floorQueue(bool withFirmware)
{
    return withFirmware ? "/zt_bench_floor_fw" : "/zt_bench_floor";
}

int FloorResponder::serve()
{
    struct sigaction action = {};
    action.sa_handler = stopFloor;
    sigaction(SIGTERM, &action, nullptr);
    mq_attr attr = {};
    attr.mq_maxmsg = 5;
    attr.mq_msgsize = ZTMSG_MAX;
    mqd_t queues[2];  // indexed by "with firmware"
    for (int fw = 0; fw < 2; ++fw) {
        mq_unlink(floorQueue(fw));
        queues[fw] = mq_open(floorQueue(fw), O_RDONLY | O_CREAT, 0664, &attr);
        if (queues[fw] == (mqd_t)-1)
            return 1;
    }
    // The library's reply queue under a name of its own: the daemon, running
    // at the same time, owns the usual one.
    static const char kReply[] = "/zt_bench_floor_reply";
    ztc_msg_q_context_t ctx = {};
    attr.mq_msgsize = ZTC_MSG_MAX;
    mq_unlink(kReply);
    ctx.reply_queue_name = kReply;
    ctx.reply_queue = mq_open(kReply, O_RDONLY | O_CREAT, 0600, &attr);
    ctx.request_queue = mq_open(ZTC_QUEUE_FIRMWARE, O_WRONLY);
    if (ctx.reply_queue == (mqd_t)-1 || ctx.request_queue == (mqd_t)-1)
        return 1;
    uint8_t in[ZTMSG_MAX];
    uint8_t out[ZTMSG_MAX];
    while (!g_floorStop) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(queues[0], &readable);
        FD_SET(queues[1], &readable);
        timeval wait = {0, 100000};
        if (select(std::max(queues[0], queues[1]) + 1, &readable, nullptr, nullptr, &wait) <= 0)
            continue;
        const int fw = FD_ISSET(queues[1], &readable) ? 1 : 0;
        const ssize_t got =
            mq_receive(queues[fw], reinterpret_cast<char *>(in), sizeof(in), nullptr);
        if (got < TLV_HDR_LEN)
            continue;
        int32_t status = 0;
        if (fw) {
            const uint8_t on = 1;
            status = ztc_send_remote_api_payload(&ctx, 8, 13, &on, 1);
        }
        char name[256] = "";
        const uint32_t n = sntlv_find(name, sizeof(name), TLV_SRC, in);
        if (n == 0)
            continue;
        name[n] = '\0';
        sntlv_msg_init(out, sizeof(out), kClientAnswer);
        sntlv_add_dat(out, sizeof(out), TLV_RESULT, 4, static_cast<uint32_t>(status));
        sntlv_add_bin(out, sizeof(out), TLV_END, 0, nullptr);
        const mqd_t reply = mq_open(name, O_WRONLY | O_NONBLOCK);
        if (reply == (mqd_t)-1)
            continue;
        mq_send(reply, reinterpret_cast<char *>(out), sntlv_msg_len(out), 0);
        mq_close(reply);
    }
    mq_close(ctx.reply_queue);
    mq_close(ctx.request_queue);
    mq_unlink(kReply);
    for (int fw = 0; fw < 2; ++fw) {
        mq_close(queues[fw]);
        mq_unlink(floorQueue(fw));
    }
    return 0;
}

double DaemonProcess::cpuSeconds() const
{
    std::ifstream in("/proc/" + std::to_string(m_pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stoul(field);
        if (i == 15)
            stime = std::stoul(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long DaemonProcess::statusKiB(const char *field) const
{
    std::ifstream in("/proc/" + std::to_string(m_pid) + "/status");
    std::string line;
    const size_t length = strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, length, field) == 0)
            return std::stol(line.substr(length));
    return 0;
}

bool DaemonProcess::running() const
{
    return m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) == 0;
}

}  // namespace ztbench
