// Client-side message helpers for tests; see ClientMessages.h.
#include "ClientMessages.h"

#include <errno.h>
#include <fcntl.h>
#include <mqueue.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

#include "ztTlv.h"

namespace zttest {

namespace {

constexpr uint8_t kClientCommand = 20;
constexpr uint8_t kOptionElement = 'W';

// Value of the element at `head` (as tlv_find returns it).
const uint8_t *elementValue(const uint8_t *head, size_t *length)
{
    *length = (static_cast<size_t>(head[1]) << 8) | head[2];
    return head + TLV_ELEM_HDR_LEN;
}

}  // namespace

std::string Reply::payloadText() const
{
    auto nul = std::find(payload.begin(), payload.end(), 0);
    return std::string(payload.begin(), nul);
}

Bytes buildClientRequest(const ClientRequest &request, const std::string &replyQueue)
{
    Bytes msg(ZTMSG_MAX);
    uint8_t *m = msg.data();
    sntlv_msg_init(m, ZTMSG_MAX, kClientCommand);
    bool ok = sntlv_add_dat(m, ZTMSG_MAX, TLV_CMD, 4, request.command) != 0;
    if (ok && request.arg)
        ok = sntlv_add_bin(m, ZTMSG_MAX, TLV_CMDARG, static_cast<uint32_t>(request.arg->size()),
                           request.arg->data()) != 0;
    if (ok && request.option)
        ok = sntlv_add_dat(m, ZTMSG_MAX, kOptionElement, 1, *request.option) != 0;
    if (ok && !replyQueue.empty())
        ok = sntlv_add_bin(m, ZTMSG_MAX, TLV_SRC, static_cast<uint32_t>(replyQueue.size()),
                           replyQueue.data()) != 0;
    if (ok)
        ok = sntlv_add_bin(m, ZTMSG_MAX, TLV_END, 0, nullptr) != 0;
    if (!ok)
        return {};
    msg.resize(static_cast<size_t>(sntlv_msg_len(m)));
    return msg;
}

std::optional<Reply> parseReply(const uint8_t *data, size_t length)
{
    if (length < TLV_HDR_LEN || length > ZTMSG_MAX)
        return std::nullopt;
    int total = sntlv_msg_len(data);
    if (total < TLV_HDR_LEN || static_cast<size_t>(total) != length)
        return std::nullopt;
    // Element heads must add up to the total, ending with the end element.
    size_t off = TLV_HDR_LEN;
    uint8_t lastType = 0;
    while (off + TLV_ELEM_HDR_LEN <= length) {
        size_t valueLength = 0;
        elementValue(data + off, &valueLength);
        lastType = data[off + 3];
        off += TLV_ELEM_HDR_LEN + valueLength;
    }
    if (off != length || lastType != TLV_END)
        return std::nullopt;

    Reply reply;
    reply.raw.assign(data, data + length);
    reply.category = data[3];
    if (const uint8_t *head = tlv_find(data, TLV_RESULT)) {
        size_t n = 0;
        const uint8_t *v = elementValue(head, &n);
        if (n == 4) {
            reply.hasResult = true;
            reply.result =
                static_cast<int32_t>(static_cast<uint32_t>(v[0]) | (uint32_t(v[1]) << 8) |
                                     (uint32_t(v[2]) << 16) | (uint32_t(v[3]) << 24));
        }
    }
    if (const uint8_t *head = tlv_find(data, TLV_RSPARG)) {
        size_t n = 0;
        const uint8_t *v = elementValue(head, &n);
        reply.hasPayload = true;
        reply.payload.assign(v, v + n);
    }
    return reply;
}

Bytes u8Arg(uint8_t v)
{
    return Bytes{v};
}
Bytes u16Arg(uint16_t v)
{
    return Bytes{uint8_t(v), uint8_t(v >> 8)};
}
Bytes u32Arg(uint32_t v)
{
    return Bytes{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}
Bytes textArg(const std::string &text, bool withNul)
{
    Bytes b(text.begin(), text.end());
    if (withNul)
        b.push_back(0);
    return b;
}
Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes words(std::initializer_list<uint32_t> values)
{
    Bytes out;
    for (uint32_t v : values) {
        const Bytes w = u32Arg(v);
        out.insert(out.end(), w.begin(), w.end());
    }
    return out;
}
Bytes registerQueueArg(bool reg, const std::string &queueName)
{
    Bytes b = u32Arg(reg ? 1 : 0);
    Bytes name = textArg(queueName, true);
    b.insert(b.end(), name.begin(), name.end());
    return b;
}

std::string uniqueQueueName(const std::string &tag)
{
    static std::atomic<unsigned> counter{0};
    return "/zt_t" + std::to_string(getpid()) + "_" + tag + std::to_string(counter++);
}

namespace {

// Absolute CLOCK_REALTIME deadline, as the timed queue calls want it.
timespec realtimeDeadline(long long ms)
{
    if (ms < 0)
        ms = 0;
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    t.tv_sec += static_cast<time_t>(ms / 1000);
    t.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (t.tv_nsec >= 1000000000L) {
        t.tv_sec += 1;
        t.tv_nsec -= 1000000000L;
    }
    return t;
}

}  // namespace

bool sendRaw(const void *data, size_t length, unsigned timeoutMs, const std::string &queue)
{
    mqd_t q = mq_open(queue.c_str(), O_WRONLY | O_CLOEXEC);
    if (q == (mqd_t)-1)
        return false;
    timespec deadline = realtimeDeadline(timeoutMs);
    int r;
    do {
        r = mq_timedsend(q, static_cast<const char *>(data), length, 0, &deadline);
    } while (r != 0 && errno == EINTR);
    mq_close(q);
    return r == 0;
}

bool queueExists(const std::string &queue)
{
    mqd_t q = mq_open(queue.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (q == (mqd_t)-1)
        return false;
    mq_close(q);
    return true;
}

std::optional<Bytes> receiveMessage(mqd_t queue, std::chrono::milliseconds timeout)
{
    mq_attr attr{};
    if (mq_getattr(queue, &attr) != 0)
        return std::nullopt;
    Bytes buf(static_cast<size_t>(attr.mq_msgsize));
    timespec deadline = realtimeDeadline(timeout.count());
    ssize_t n;
    do {
        n = mq_timedreceive(queue, reinterpret_cast<char *>(buf.data()), buf.size(), nullptr,
                            &deadline);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return std::nullopt;
    buf.resize(static_cast<size_t>(n));
    return buf;
}

mqd_t createQueue(const std::string &name, long maxMsg)
{
    mq_attr attr{};
    attr.mq_maxmsg = maxMsg;
    attr.mq_msgsize = ZTMSG_MAX;
    return mq_open(name.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0660, &attr);
}

}  // namespace zttest
