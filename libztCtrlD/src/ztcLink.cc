#include "ztcLink.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

#include <atomic>
#include <initializer_list>

#include "Msg.h"
#include "utils.h"
#include "ztErrno.h"
#include "ztcWire.h"

namespace ztc {
namespace {

pthread_mutex_t g_linkMutex = PTHREAD_MUTEX_INITIALIZER;
// Guarded by g_linkMutex: the last answer's message bytes; Answer::bytes
// points into them.
uint8_t g_rxBuffer[ZTC_MSG_MAX + 1];
Msg g_answerMsg;
uint8_t g_answerBytes[ZTC_MSG_MAX];

// Starts at an arbitrary point so that answers left over from an earlier
// process on the same queues cannot match.
std::atomic<uint32_t> g_sequence{static_cast<uint32_t>(monotonicMs() * 7919)};

timespec realtimeIn(int64_t ms)
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    ts.tv_sec += static_cast<time_t>(ms / 1000);
    ts.tv_nsec += static_cast<long>((ms % 1000) * 1000000);
    if (ts.tv_nsec >= 1000000000L) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000L;
    }
    return ts;
}

// Sends without ever blocking: a full queue is a failure.
bool sendNow(mqd_t queue, const uint8_t *data, uint32_t length)
{
    mq_attr attr;
    if (mq_getattr(queue, &attr) != 0)
        return false;
    if (attr.mq_curmsgs >= attr.mq_maxmsg || static_cast<long>(length) > attr.mq_msgsize)
        return false;
    const timespec now = realtimeIn(0);
    return mq_timedsend(queue, reinterpret_cast<const char *>(data), length, 0, &now) == 0;
}

// Receives one message before the monotonic deadline; -1 when none came.
ssize_t receiveUntil(mqd_t queue, int64_t deadlineMs, uint8_t *buffer, uint32_t size)
{
    for (;;) {
        const int64_t left = deadlineMs - monotonicMs();
        if (left <= 0)
            return -1;
        pollfd pfd = {static_cast<int>(queue), POLLIN, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return -1;
        // Readable: the timed receive only guards against a message taken
        // in between by someone else.
        const timespec until = realtimeIn(left);
        const ssize_t n =
            mq_timedreceive(queue, reinterpret_cast<char *>(buffer), size, nullptr, &until);
        if (n >= 0)
            return n;
        if (errno != EINTR && errno != ETIMEDOUT && errno != EAGAIN)
            return -1;
    }
}

// Which queue a descriptor refers to: the name of a queue can be given to a
// new queue while descriptors of the old one stay open.
struct QueueId {
    dev_t dev = 0;
    ino_t ino = 0;
    bool valid = false;
};

QueueId identify(mqd_t queue)
{
    struct stat st;
    if (fstat(static_cast<int>(queue), &st) != 0)
        return QueueId();
    QueueId id;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.valid = true;
    return id;
}

bool sameQueue(const QueueId &a, const QueueId &b)
{
    return a.valid && b.valid && a.dev == b.dev && a.ino == b.ino;
}

// When the firmware side restarts it removes "/to_ztnet" and creates it
// afresh; a context's descriptor then still names the old queue, which
// nobody reads. The library opens the new queue itself and sends through it
// in place of every context descriptor that still refers to the old one.
// The context's descriptor stays its owner's (the owner closes it). All
// three guarded by g_linkMutex.
mqd_t g_reopened = static_cast<mqd_t>(-1);
QueueId g_replaced;  // the queue g_reopened stands in for
// A call got no answer: before the next send, check whether the name now
// refers to another queue. Cleared by the next answer.
bool g_suspect = false;

// The descriptor requests of this context go to.
mqd_t requestQueue(const ztc_msg_q_context_t *ctx)
{
    if (g_reopened == static_cast<mqd_t>(-1))
        return ctx->request_queue;
    if (sameQueue(identify(ctx->request_queue), g_replaced))
        return g_reopened;
    // The owner holds a descriptor of another queue now (it reopened the
    // interface itself): the library's own is not needed any more.
    mq_close(g_reopened);
    g_reopened = static_cast<mqd_t>(-1);
    g_replaced = QueueId();
    return ctx->request_queue;
}

enum class Probe { kSame, kReopened, kGone };

// Looks at what the name "/to_ztnet" refers to now. When it is another
// queue than `current` (the one requests went to), opens it and sends
// through it from now on. One open and one close at most.
Probe reopenIfRecreated(const ztc_msg_q_context_t *ctx, mqd_t current)
{
    const mqd_t fresh = mq_open(ZTC_QUEUE_FIRMWARE, O_WRONLY);
    if (fresh == static_cast<mqd_t>(-1))
        return Probe::kGone;
    const QueueId freshId = identify(fresh);
    if (!freshId.valid || sameQueue(freshId, identify(current))) {
        mq_close(fresh);
        return Probe::kSame;
    }
    if (g_reopened != static_cast<mqd_t>(-1))
        mq_close(g_reopened);
    else
        g_replaced = identify(ctx->request_queue);
    g_reopened = fresh;
    ZTLOG(ZT_LOG_WARN, "'%s' was created anew by the firmware side: reopened it",
          ZTC_QUEUE_FIRMWARE);
    return Probe::kReopened;
}

bool matches(const Msg &msg, const char *kind, uint32_t sequence)
{
    if (msg.getCategory() != ZTC_CAT_LIB_ANSWER)
        return false;
    const MsgElement *cmd = msg.findElement(ZTC_EL_CMD);
    const MsgElement *seq = msg.findElement(ZTC_EL_SEQ);
    const MsgElement *result = msg.findElement(ZTC_EL_RESULT);
    return cmd && cmd->getLength() == 2 && memcmp(cmd->getData(), kind, 2) == 0 && seq &&
           seq->getLength() == 4 && seq->getUInt32() == sequence && result &&
           result->getLength() == 4;
}

}  // namespace

int64_t monotonicMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

LinkLock::LinkLock()
{
    pthread_mutex_lock(&g_linkMutex);
}
LinkLock::~LinkLock()
{
    pthread_mutex_unlock(&g_linkMutex);
}

int exchange(const ztc_msg_q_context_t *ctx, const char *kind, const uint8_t *arg,
             uint32_t argLength, Answer *answer)
{
    if (!ctx || ctx->request_queue == static_cast<mqd_t>(-1) ||
        ctx->reply_queue == static_cast<mqd_t>(-1)) {
        ZTLOG(ZT_LOG_ERROR, "%.2s request on a closed interface", kind);
        return ZT_ERR_MQ_FAIL;
    }
    if (argLength > ZTC_MSG_MAX)
        return ZT_ERR_INVALID_PARAM;
    const char *replyName = ctx->reply_queue_name ? ctx->reply_queue_name : ZTC_QUEUE_REPLY;
    const uint32_t sequence = g_sequence.fetch_add(1) + 1;
    uint8_t seqBytes[4] = {static_cast<uint8_t>(sequence), static_cast<uint8_t>(sequence >> 8),
                           static_cast<uint8_t>(sequence >> 16),
                           static_cast<uint8_t>(sequence >> 24)};
    const uint8_t option = ctx->option;

    MsgElement cmd(ZTC_EL_CMD, kind, 2);
    MsgElement args(ZTC_EL_CMDARG, arg, static_cast<uint16_t>(argLength));
    MsgElement opt(ZTC_EL_OPTION, &option, 1);
    MsgElement seq(ZTC_EL_SEQ, seqBytes, 4);
    MsgElement src(ZTC_EL_SRC, replyName, static_cast<uint16_t>(strlen(replyName)));
    MsgElement dst(ZTC_EL_DST, ZTC_QUEUE_FIRMWARE, sizeof ZTC_QUEUE_FIRMWARE - 1);
    MsgElement end(ZTC_EL_END);
    Msg request(ZTC_CAT_LIB_REQUEST);
    for (MsgElement *e : {&cmd, &args, &opt, &seq, &src, &dst, &end})
        request.addElement(e);

    uint8_t tx[ZTC_MSG_MAX];
    const uint32_t txLength = request.serialize(tx, sizeof tx);
    if (txLength == 0) {
        ZTLOG(ZT_LOG_ERROR, "%.2s request of %u argument bytes does not fit a message", kind,
              argLength);
        return ZT_ERR_INVALID_PARAM;
    }
    mqd_t queue = requestQueue(ctx);
    bool probed = false;
    if (g_suspect) {
        probed = true;
        if (reopenIfRecreated(ctx, queue) == Probe::kReopened)
            queue = g_reopened;
    }
    bool sent = sendNow(queue, tx, txLength);
    // A send that fails may mean the queue was replaced and the old one
    // filled up: one look at the name and, when it is new, one more send.
    if (!sent && !probed) {
        const int sendErrno = errno;
        if (reopenIfRecreated(ctx, queue) == Probe::kReopened) {
            queue = g_reopened;
            sent = sendNow(queue, tx, txLength);
        } else {
            errno = sendErrno;
        }
    }
    if (!sent) {
        ZTLOG(ZT_LOG_ERROR, "%.2s request could not be sent to '%s': %s", kind, ZTC_QUEUE_FIRMWARE,
              strerror(errno));
        return ZT_ERR_MQ_FAIL;
    }

    const int64_t deadline = monotonicMs() + ZTC_ANSWER_TIMEOUT_MS;
    for (;;) {
        const ssize_t n = receiveUntil(ctx->reply_queue, deadline, g_rxBuffer, ZTC_MSG_MAX);
        if (n < 0) {
            ZTLOG(ZT_LOG_ERROR, "%.2s request %u: no answer within %d ms", kind, sequence,
                  ZTC_ANSWER_TIMEOUT_MS);
            // The firmware side may have restarted: look again before the
            // next request, once the new queue has had time to appear.
            g_suspect = reopenIfRecreated(ctx, queue) != Probe::kReopened;
            return ZT_ERR_MQ_FAIL;
        }
        if (!g_answerMsg.parse(g_rxBuffer, static_cast<uint32_t>(n)) ||
            !matches(g_answerMsg, kind, sequence)) {
            ZTLOG(ZT_LOG_DEBUG, "Discarding %zd-byte message on the reply queue (awaiting %u)", n,
                  sequence);
            continue;
        }
        break;
    }
    g_suspect = false;
    answer->status = static_cast<int32_t>(g_answerMsg.findElement(ZTC_EL_RESULT)->getUInt32());
    const MsgElement *bytes = g_answerMsg.findElement(ZTC_EL_RSPARG);
    answer->hasBytes = bytes != nullptr;
    answer->length = bytes ? bytes->getLength() : 0;
    if (answer->length)
        memcpy(g_answerBytes, bytes->getData(), answer->length);
    answer->bytes = answer->length ? g_answerBytes : nullptr;
    return 0;
}

void deliver(const Answer &answer, uint8_t **out, uint16_t *outLength)
{
    if (!out || !outLength)
        return;
    // A pointer left over from an earlier call into the library's own buffer
    // is not a caller's buffer.
    const bool ours = *out >= g_answerBytes && *out < g_answerBytes + sizeof g_answerBytes;
    if (*out && *outLength > 0 && !ours) {
        const uint16_t n = answer.length < *outLength ? answer.length : *outLength;
        if (n)
            memcpy(*out, answer.bytes, n);
        *outLength = n;
        return;
    }
    *out = answer.length ? const_cast<uint8_t *>(answer.bytes) : nullptr;
    *outLength = answer.length;
}

}  // namespace ztc
