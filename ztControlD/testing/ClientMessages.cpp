// Client side of the daemon for tests; see ClientMessages.h.
#include "ClientMessages.h"

#include <errno.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

#include "ztTlv.h"
#include "ztcontrol_commands.h"

namespace zttest {

namespace {

size_t valueLength(const uint8_t *head)
{
    return (static_cast<size_t>(head[1]) << 8) | head[2];
}

// Absolute CLOCK_REALTIME deadline, as the timed queue calls want it.
timespec realtimeDeadline(long long ms)
{
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    const long long ns = t.tv_nsec + std::max(ms, 0LL) % 1000 * 1000000LL;
    t.tv_sec += static_cast<time_t>(std::max(ms, 0LL) / 1000 + ns / 1000000000LL);
    t.tv_nsec = static_cast<long>(ns % 1000000000LL);
    return t;
}

}  // namespace

std::string Reply::payloadText() const
{
    return std::string(payload.begin(), std::find(payload.begin(), payload.end(), 0));
}

Bytes buildClientRequest(const ClientRequest &request, const std::string &replyQueue)
{
    Bytes msg(ZTMSG_MAX);
    uint8_t *m = msg.data();
    sntlv_msg_init(m, ZTMSG_MAX, CAT_CLIENT_CMD);
    bool ok = sntlv_add_dat(m, ZTMSG_MAX, TLV_CMD, 4, request.command) != 0;
    if (ok && request.arg)
        ok = sntlv_add_bin(m, ZTMSG_MAX, TLV_CMDARG, static_cast<uint32_t>(request.arg->size()),
                           request.arg->data()) != 0;
    if (ok && request.option)
        ok = sntlv_add_dat(m, ZTMSG_MAX, TLV_OPTION, 1, *request.option) != 0;
    if (ok && !replyQueue.empty())
        ok = sntlv_add_bin(m, ZTMSG_MAX, TLV_SRC, static_cast<uint32_t>(replyQueue.size()),
                           replyQueue.data()) != 0;
    if (!ok || !sntlv_add_bin(m, ZTMSG_MAX, TLV_END, 0, nullptr))
        return {};
    msg.resize(static_cast<size_t>(sntlv_msg_len(m)));
    return msg;
}

std::optional<Reply> parseReply(const uint8_t *data, size_t length)
{
    if (length < TLV_HDR_LEN || length > ZTMSG_MAX ||
        static_cast<size_t>(sntlv_msg_len(data)) != length)
        return std::nullopt;
    // Element heads must add up to the total, ending with the end element.
    size_t off = TLV_HDR_LEN;
    uint8_t lastType = 0;
    for (; off + TLV_ELEM_HDR_LEN <= length; off += TLV_ELEM_HDR_LEN + valueLength(data + off))
        lastType = data[off + 3];
    if (off != length || lastType != TLV_END)
        return std::nullopt;

    Reply reply;
    reply.raw.assign(data, data + length);
    reply.category = data[3];
    const uint8_t *head = tlv_find(data, TLV_RESULT);
    if (head && valueLength(head) == 4) {
        reply.hasResult = true;
        reply.result = static_cast<int32_t>(head[4] | (uint32_t(head[5]) << 8) |
                                            (uint32_t(head[6]) << 16) | (uint32_t(head[7]) << 24));
    }
    if ((head = tlv_find(data, TLV_RSPARG))) {
        reply.hasPayload = true;
        reply.payload.assign(head + TLV_ELEM_HDR_LEN, head + TLV_ELEM_HDR_LEN + valueLength(head));
    }
    return reply;
}

Bytes tlvMessage(uint8_t category, std::initializer_list<std::pair<uint8_t, Bytes>> elements)
{
    Bytes msg = {0, 0, 0, category};
    for (const auto &e : elements) {
        msg.insert(msg.end(),
                   {0, uint8_t(e.second.size() >> 8), uint8_t(e.second.size()), e.first});
        msg.insert(msg.end(), e.second.begin(), e.second.end());
    }
    msg[0] = static_cast<uint8_t>(msg.size() >> 8);
    msg[1] = static_cast<uint8_t>(msg.size());
    return msg;
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
    for (uint32_t v : values)
        out = concat({out, u32Arg(v)});
    return out;
}
Bytes registerQueueArg(bool reg, const std::string &queueName)
{
    return concat({u32Arg(reg ? 1 : 0), textArg(queueName, true)});
}

std::string uniqueQueueName(const std::string &tag)
{
    static std::atomic<unsigned> counter{0};
    return "/zt_t" + std::to_string(getpid()) + "_" + tag + std::to_string(counter++);
}

bool sendRaw(const void *data, size_t length, unsigned timeoutMs, const std::string &queue)
{
    mqd_t q = mq_open(queue.c_str(), O_WRONLY | O_CLOEXEC);
    if (q == (mqd_t)-1)
        return false;
    const timespec deadline = realtimeDeadline(timeoutMs);
    int r;
    do
        r = mq_timedsend(q, static_cast<const char *>(data), length, 0, &deadline);
    while (r != 0 && errno == EINTR);
    mq_close(q);
    return r == 0;
}

bool queueExists(const std::string &queue)
{
    mqd_t q = mq_open(queue.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (q != (mqd_t)-1)
        mq_close(q);
    return q != (mqd_t)-1;
}

std::optional<Bytes> receiveMessage(mqd_t queue, std::chrono::milliseconds timeout)
{
    mq_attr attr{};
    if (mq_getattr(queue, &attr) != 0)
        return std::nullopt;
    Bytes buf(static_cast<size_t>(attr.mq_msgsize));
    const timespec deadline = realtimeDeadline(timeout.count());
    ssize_t n;
    do
        n = mq_timedreceive(queue, reinterpret_cast<char *>(buf.data()), buf.size(), nullptr,
                            &deadline);
    while (n < 0 && errno == EINTR);
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

OwnedQueue::OwnedQueue(std::string name, const std::string &tag, long maxMsg)
    : m_name(name.empty() ? uniqueQueueName(tag) : std::move(name))
{
    mq_unlink(m_name.c_str());  // a stale queue of a killed run would hold old messages
    m_queue = createQueue(m_name, maxMsg);
}

OwnedQueue::~OwnedQueue()
{
    if (ok())
        mq_close(m_queue);
    mq_unlink(m_name.c_str());
}

std::optional<Reply> OwnedQueue::receive(std::chrono::milliseconds timeout)
{
    auto bytes = ok() ? receiveMessage(m_queue, timeout) : std::nullopt;
    if (!bytes)
        return std::nullopt;
    if (auto reply = parseReply(bytes->data(), bytes->size()))
        return reply;
    Reply garbled;
    garbled.raw = std::move(*bytes);
    return garbled;
}

void OwnedQueue::drain()
{
    while (receive(std::chrono::milliseconds(0))) {
    }
}

long OwnedQueue::depth() const
{
    mq_attr attr{};
    return ok() && mq_getattr(m_queue, &attr) == 0 ? attr.mq_curmsgs : -1;
}

bool Requester::send(const ClientRequest &request)
{
    const Bytes msg = buildClientRequest(request, name());
    return !msg.empty() && sendRaw(msg.data(), msg.size());
}

std::optional<Reply> Requester::call(const ClientRequest &request,
                                     std::chrono::milliseconds timeout)
{
    return send(request) ? waitReply(timeout) : std::nullopt;
}

}  // namespace zttest
