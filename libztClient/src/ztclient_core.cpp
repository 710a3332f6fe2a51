// Opening and closing clients, their reply-queue slots, and the exchange of
// one command with the daemon.
#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "ClientState.h"
#include "ztTlv.h"
#include "ztcontrol_commands.h"

namespace {

constexpr const char *kCommandQueue = "/to_ztCtlD";
constexpr long kReplyQueueDepth = 4;
// Slots per user: more clients than this at once in one user's processes
// fail to open with ZTCLIENT_NO_SLOT.
constexpr int kSlots = 64;

std::string slotBase(int slot)
{
    return "ztclient_" + std::to_string(geteuid()) + "_" + std::to_string(slot);
}

// The slots' locks: one System V semaphore per slot, in a set per user
// that lives in the same IPC namespace as the queues. A holder adds 1 with
// SEM_UNDO, which the system takes back when the holder dies, however it
// dies; so a slot at 0 has no living owner.
int slotLocks()
{
    constexpr key_t kKeyBase = 0x7a740000;  // "zt", then the user
    const int id =
        semget(kKeyBase | static_cast<key_t>(geteuid() & 0xFFFF), kSlots, IPC_CREAT | 0600);
    semid_ds info{};
    // A set of another user (one that squats the key) is not ours to trust.
    if (id < 0 || semctl(id, 0, IPC_STAT, &info) != 0 || info.sem_perm.uid != geteuid())
        return -1;
    return id;
}

// Takes the slot without waiting: true when nobody held it.
bool lockSlot(int locks, int slot)
{
    sembuf ops[2] = {{static_cast<unsigned short>(slot), 0, IPC_NOWAIT},
                     {static_cast<unsigned short>(slot), 1, IPC_NOWAIT | SEM_UNDO}};
    return semop(locks, ops, 2) == 0;
}

void unlockSlot(int locks, int slot)
{
    sembuf op = {static_cast<unsigned short>(slot), -1, IPC_NOWAIT | SEM_UNDO};
    semop(locks, &op, 1);
}

// Queues of a slot nobody holds were left by a client that died.
void removeLeftovers(int slot)
{
    const std::string name = "/" + slotBase(slot);
    mq_unlink(name.c_str());
    mq_unlink((name + "_events").c_str());
}

timespec deadlineAfter(unsigned ms)
{
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    t.tv_sec += ms / 1000;
    t.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (t.tv_nsec >= 1000000000L) {
        t.tv_sec += 1;
        t.tv_nsec -= 1000000000L;
    }
    return t;
}

// The request's bytes, or empty when they do not fit one message.
std::vector<uint8_t> buildRequest(int32_t command, const void *argument, size_t length, int option,
                                  const std::string &replyQueue)
{
    std::vector<uint8_t> msg(ZTMSG_MAX);
    uint8_t *m = msg.data();
    sntlv_msg_init(m, ZTMSG_MAX, CAT_CLIENT_CMD);
    bool fits = sntlv_add_dat(m, ZTMSG_MAX, TLV_CMD, 4, static_cast<uint32_t>(command)) != 0;
    if (fits && argument)
        fits = length < ZTMSG_MAX &&
               sntlv_add_bin(m, ZTMSG_MAX, TLV_CMDARG, static_cast<uint32_t>(length), argument);
    if (fits && option >= 0)
        fits = sntlv_add_dat(m, ZTMSG_MAX, TLV_OPTION, 1, static_cast<uint32_t>(option)) != 0;
    if (fits)
        fits = sntlv_add_bin(m, ZTMSG_MAX, TLV_SRC, static_cast<uint32_t>(replyQueue.size()),
                             replyQueue.data()) != 0;
    if (fits)
        fits = sntlv_add_bin(m, ZTMSG_MAX, TLV_END, 0, nullptr) != 0;
    if (!fits)
        return {};
    msg.resize(static_cast<size_t>(sntlv_msg_len(m)));
    return msg;
}

// A well-framed answer (category 21, elements adding up to the length and
// ending with the end element) with its result; false for anything else.
bool readAnswer(const uint8_t *data, size_t length, int32_t &result, std::vector<uint8_t> &payload)
{
    if (length < TLV_HDR_LEN || sntlv_msg_len(data) != static_cast<int>(length) ||
        data[3] != CAT_CLIENT_RSP)
        return false;
    size_t off = TLV_HDR_LEN;
    uint8_t last = 0;
    while (off + TLV_ELEM_HDR_LEN <= length) {
        last = data[off + 3];
        off += TLV_ELEM_HDR_LEN + (static_cast<size_t>(data[off + 1]) << 8 | data[off + 2]);
    }
    const uint8_t *head = tlv_find(data, TLV_RESULT);
    if (off != length || last != TLV_END || !head || head[1] != 0 || head[2] != 4)
        return false;
    result = static_cast<int32_t>(head[4] | head[5] << 8 | head[6] << 16 |
                                  static_cast<uint32_t>(head[7]) << 24);
    payload.clear();
    if (const uint8_t *p = tlv_find(data, TLV_RSPARG))
        payload.assign(p + 4, p + 4 + (static_cast<size_t>(p[1]) << 8 | p[2]));
    return true;
}

// Sends the request and waits for its answer, all before `deadline`. Holds
// the client's mutex.
int exchangeLocked(ztclient_t *client, const std::vector<uint8_t> &request,
                   const timespec &deadline, int32_t &result, std::vector<uint8_t> &payload)
{
    // An answer that came after an earlier call gave up is not this call's.
    std::vector<uint8_t> buffer(ZTMSG_MAX);
    const timespec past{};
    while (mq_timedreceive(client->reply, reinterpret_cast<char *>(buffer.data()), buffer.size(),
                           nullptr, &past) >= 0) {
    }
    const mqd_t daemon = mq_open(kCommandQueue, O_WRONLY | O_CLOEXEC);
    if (daemon == (mqd_t)-1)
        return errno == ENOENT ? ZTCLIENT_NO_DAEMON : ZTCLIENT_SYSTEM;
    const int sent = mq_timedsend(daemon, reinterpret_cast<const char *>(request.data()),
                                  request.size(), 0, &deadline);
    const int sendErrno = errno;
    mq_close(daemon);
    if (sent != 0) {
        errno = sendErrno;
        return sendErrno == ETIMEDOUT ? ZTCLIENT_DAEMON_BUSY : ZTCLIENT_SYSTEM;
    }
    for (;;) {
        const ssize_t n = mq_timedreceive(client->reply, reinterpret_cast<char *>(buffer.data()),
                                          buffer.size(), nullptr, &deadline);
        if (n < 0) {
            if (errno == EINTR)
                continue;  // the deadline still bounds the wait
            return errno == ETIMEDOUT ? ZTCLIENT_TIMEOUT : ZTCLIENT_SYSTEM;
        }
        if (readAnswer(buffer.data(), static_cast<size_t>(n), result, payload))
            return 0;
    }
}

// Creates the client's reply queue `name`; the client holds `slot` of the
// semaphore set `locks` while it lives (-1: a named queue, no slot).
int openReplyQueue(const std::string &name, int locks, int slot, ztclient_t **client)
{
    auto *c = new ztclient_handle;
    c->slotLocks = locks;
    c->slot = slot;
    c->replyName = name;
    // Exclusive: answers meant for another client must never be taken for ours.
    c->reply = ztclient_internal::createQueue(c->replyName, kReplyQueueDepth, ZTMSG_MAX);
    if (c->reply == (mqd_t)-1) {
        const int err = errno;
        ztclient_close(c);
        errno = err;
        return ZTCLIENT_SYSTEM;
    }
    *client = c;
    return 0;
}

}  // namespace

namespace ztclient_internal {

mqd_t createQueue(const std::string &name, long depth, long messageSize, int flags)
{
    mq_attr attr{};
    attr.mq_maxmsg = depth;
    attr.mq_msgsize = messageSize;
    return mq_open(name.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC | flags, 0600, &attr);
}

int exchange(ztclient_t *client, int32_t command, const void *argument, size_t length,
             std::vector<uint8_t> *payload, unsigned deadlineMs)
{
    int32_t result = 0;
    std::vector<uint8_t> answer;
    if (!client)
        return ZTCLIENT_INVALID;
    const std::vector<uint8_t> request =
        buildRequest(command, argument, length, -1, client->replyName);
    if (request.empty())
        return ZTCLIENT_TOO_LONG;
    std::lock_guard<std::mutex> hold(client->mutex);
    const int failure =
        exchangeLocked(client, request, deadlineAfter(deadlineMs ? deadlineMs : client->deadlineMs),
                       result, answer);
    if (failure)
        return failure;
    if (payload)
        *payload = std::move(answer);
    return result;
}

}  // namespace ztclient_internal

extern "C" {

int ztclient_open(ztclient_t **client)
{
    if (!client)
        return ZTCLIENT_INVALID;
    *client = nullptr;
    const int locks = slotLocks();
    if (locks < 0)
        return ZTCLIENT_NO_SLOT;
    int mine = -1;
    for (int slot = 0; slot < kSlots; ++slot) {
        if (!lockSlot(locks, slot))
            continue;  // held by a living client
        removeLeftovers(slot);
        if (mine < 0)
            mine = slot;
        else
            unlockSlot(locks, slot);  // swept; the slot is free again
    }
    if (mine < 0)
        return ZTCLIENT_NO_SLOT;
    return openReplyQueue("/" + slotBase(mine), locks, mine, client);
}

int ztclient_open_as(const char *replyQueue, ztclient_t **client)
{
    if (!client)
        return ZTCLIENT_INVALID;
    *client = nullptr;
    if (!replyQueue || replyQueue[0] != '/' || !replyQueue[1] || strchr(replyQueue + 1, '/'))
        return ZTCLIENT_INVALID;
    return openReplyQueue(replyQueue, -1, -1, client);
}

void ztclient_close(ztclient_t *client)
{
    if (!client)
        return;
    if (client->reply != (mqd_t)-1) {
        mq_close(client->reply);
        mq_unlink(client->replyName.c_str());
    }
    // Unlinked before the lock is released, so the next holder of the slot
    // finds nothing of ours.
    if (!client->eventsName.empty())
        mq_unlink(client->eventsName.c_str());
    if (client->slot >= 0)
        unlockSlot(client->slotLocks, client->slot);
    delete client;
}

const char *ztclient_reply_queue(const ztclient_t *client)
{
    return client ? client->replyName.c_str() : nullptr;
}

void ztclient_set_deadline(ztclient_t *client, unsigned deadlineMs)
{
    if (client)
        client->deadlineMs = deadlineMs ? deadlineMs : 1;
}

int ztclient_call(ztclient_t *client, int32_t command, const void *argument, size_t argumentLength,
                  int option, unsigned deadlineMs, int32_t *result, void *payload,
                  size_t payloadCapacity, size_t *payloadLength)
{
    if (!client || !result || option > 255 || (!payload && payloadCapacity))
        return ZTCLIENT_INVALID;
    const std::vector<uint8_t> request =
        buildRequest(command, argument, argumentLength, option, client->replyName);
    if (request.empty())
        return ZTCLIENT_TOO_LONG;
    std::vector<uint8_t> answer;
    std::lock_guard<std::mutex> hold(client->mutex);
    const int failure = exchangeLocked(client, request, deadlineAfter(deadlineMs), *result, answer);
    if (failure)
        return failure;
    if (payload && !answer.empty())
        memcpy(payload, answer.data(),
               answer.size() < payloadCapacity ? answer.size() : payloadCapacity);
    if (payloadLength)
        *payloadLength = answer.size();
    return 0;
}

const char *ztclient_command_name(int32_t command)
{
    const ztcontrol_command_info_t *info = ztcontrolCommandInfo(command);
    return info ? info->name : nullptr;
}

int32_t ztclient_command_value(const char *name)
{
    if (!name)
        return -1;
    std::string wanted;
    for (const char *p = name; *p; ++p)
        wanted += *p == '-' ? '_' : static_cast<char>(toupper(static_cast<unsigned char>(*p)));
    if (wanted.rfind("ZTCONTROL_", 0) != 0)
        wanted = "ZTCONTROL_" + wanted;
    for (const ztcontrol_command_info_t &info : g_ztcontrolCommands)
        if (wanted == info.name)
            return info.value;
    return -1;
}

const char *ztclient_result_name(int code)
{
    static const char *const kFailures[] = {
        "ZTCLIENT_NO_DAEMON", "ZTCLIENT_DAEMON_BUSY", "ZTCLIENT_TIMEOUT",
        "ZTCLIENT_TOO_LONG",  "ZTCLIENT_SYSTEM",      "ZTCLIENT_BAD_ANSWER",
        "ZTCLIENT_CLOSED",    "ZTCLIENT_INVALID",     "ZTCLIENT_NO_SLOT",
    };
    if (code > 0)
        return code <= ZTCLIENT_NO_SLOT ? kFailures[code - 1] : "UNKNOWN";
    return ztErrno2Str(code);
}

}  // extern "C"
