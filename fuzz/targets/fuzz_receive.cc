// Fuzz target: the daemon's receive path in process. The command server runs
// as in the daemon (worker thread, CSI listener), against a scripted firmware
// side that answers every request. Each input is posted as one raw message
// on the daemon's command queue "/to_ztCtlD", followed by a harmless client
// request from the target's own queue; the worker handles its queue in
// order, so the answer to that request shows the input was received, checked,
// classified and, when it was a client command, carried out, and that the
// worker still answers. No answer within the bound is a finding.
//
// Inputs that would stop the server (the stop command) are skipped: the
// server cannot be restarted in one process. The queue names are fixed, so
// the target moves itself into a new IPC namespace at start (as root, or
// inside scripts/in-netns).
#include <fcntl.h>
#include <mqueue.h>
#include <sched.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/select.h>
#include <time.h>

#include <vector>

#include "utils.h"
#include "ztFirmwarePeer.h"
#include "ztTlv.h"
#include "ztcontrol_if_server.h"

namespace {

constexpr const char *kSyncQueue = "/fuzz_sync";
constexpr uint32_t kProbeCommand = 1;  // answered as unsupported, no firmware work
// Worst case of one input: a command of several firmware operations, each
// bounded by the library's one-second answer time-out.
constexpr int kAnswerBoundSeconds = 30;

mqd_t g_commandQueue = static_cast<mqd_t>(-1);
mqd_t g_syncQueue = static_cast<mqd_t>(-1);
std::vector<uint8_t> g_probe;

std::vector<uint8_t> buildProbe()
{
    std::vector<uint8_t> msg(ZTMSG_MAX);
    sntlv_msg_init(msg.data(), ZTMSG_MAX, CAT_CLIENT_CMD);
    sntlv_add_dat(msg.data(), ZTMSG_MAX, TLV_CMD, 4, kProbeCommand);
    sntlv_add_bin(msg.data(), ZTMSG_MAX, TLV_SRC, 10, kSyncQueue);
    sntlv_add_bin(msg.data(), ZTMSG_MAX, TLV_END, 0, nullptr);
    msg.resize(static_cast<size_t>(sntlv_msg_len(msg.data())));
    return msg;
}

// The server takes a client command of value ZTCONTROL_CMD_LAST as its stop.
bool stopsTheServer(const uint8_t *data, size_t size)
{
    Msg msg;
    if (!msg.parse(data, static_cast<uint32_t>(size)) || msg.getCategory() != CAT_CLIENT_CMD)
        return false;
    const MsgElement *command = msg.findElement(TLV_CMD);
    return command && command->getUInt32() == ZTCONTROL_CMD_LAST;
}

void fail(const char *what)
{
    fprintf(stderr, "fuzz_receive: %s\n", what);
    abort();
}

}  // namespace

// The scripted firmware side; it records every request it serves, so the
// record is emptied after each input to keep a long run's memory flat.
static ZtFirmwarePeer *g_peer = nullptr;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (unshare(CLONE_NEWIPC) != 0) {
        perror("fuzz_receive: unshare(CLONE_NEWIPC) (run as root or in scripts/in-netns)");
        exit(2);
    }
    ztUtilSetLogLevel(ZT_LOG_OFF);
    // Lives for the whole run: its thread serves the firmware queues.
    g_peer = new ZtFirmwarePeer();
    if (!g_peer->ok())
        fail("scripted firmware side did not start");
    if (ZtcontrolCommandServer::getInstance()->start() != 0)
        fail("the server did not start");
    struct mq_attr attr = {};
    attr.mq_maxmsg = 10;
    attr.mq_msgsize = ZTMSG_MAX;
    g_syncQueue = mq_open(kSyncQueue, O_RDONLY | O_CREAT | O_NONBLOCK, 0600, &attr);
    g_commandQueue = mq_open(ZtcontrolCommandServer::kCommandQueueName, O_WRONLY);
    if (g_syncQueue == static_cast<mqd_t>(-1) || g_commandQueue == static_cast<mqd_t>(-1))
        fail("queues did not open");
    g_probe = buildProbe();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > ZTMSG_MAX || stopsTheServer(data, size))
        return 0;
    char answer[ZTMSG_MAX];
    while (mq_receive(g_syncQueue, answer, sizeof(answer), nullptr) >= 0) {
        // left over from an input that named this queue itself
    }
    struct timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += kAnswerBoundSeconds;
    if (mq_timedsend(g_commandQueue, reinterpret_cast<const char *>(data), size, 0, &deadline) !=
            0 ||
        mq_timedsend(g_commandQueue, reinterpret_cast<const char *>(g_probe.data()), g_probe.size(),
                     0, &deadline) != 0)
        fail("the daemon's queue stayed full");
    // The sync queue is non-blocking for the drain above; wait by polling
    // its descriptor with the deadline.
    for (;;) {
        if (mq_receive(g_syncQueue, answer, sizeof(answer), nullptr) >= 0) {
            g_peer->clearRequests();
            return 0;
        }
        struct timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        if (now.tv_sec > deadline.tv_sec)
            fail("the worker stopped answering");
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(g_syncQueue, &readable);
        struct timeval wait = {1, 0};
        select(g_syncQueue + 1, &readable, nullptr, nullptr, &wait);
    }
}
