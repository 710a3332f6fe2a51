#include "ztFirmwarePeer.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <initializer_list>

#include "Msg.h"
#include "peer_messages.h"
#include "ztcArgs.h"
#include "ztcWire.h"

namespace {

int64_t nowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string bytesKey(const uint8_t *p, size_t n)
{
    return std::string(reinterpret_cast<const char *>(p), n);
}

const MsgElement *element(const Msg &msg, uint8_t type)
{
    return msg.findElement(type);
}

std::string text(const MsgElement *e)
{
    return e ? std::string(reinterpret_cast<const char *>(e->getData()), e->getLength())
             : std::string();
}

// Sends without blocking; a missing or full queue drops the message.
bool sendTo(const std::string &queue, const std::vector<uint8_t> &message)
{
    if (message.empty())
        return false;
    const mqd_t q = mq_open(queue.c_str(), O_WRONLY | O_NONBLOCK);
    if (q == static_cast<mqd_t>(-1))
        return false;
    const bool sent =
        mq_send(q, reinterpret_cast<const char *>(message.data()), message.size(), 0) == 0;
    mq_close(q);
    return sent;
}

mqd_t createQueue(const char *name, long depth)
{
    mq_unlink(name);
    mq_attr attr = {};
    attr.mq_maxmsg = depth;
    attr.mq_msgsize = ZTC_MSG_MAX;
    return mq_open(name, O_RDONLY | O_CREAT | O_NONBLOCK, 0664, &attr);
}

}  // namespace

using peer::build;
using peer::le32;
using peer::str;

ZtFirmwarePeer::ZtFirmwarePeer() : ZtFirmwarePeer(Options()) {}

ZtFirmwarePeer::ZtFirmwarePeer(const Options &options) : m_options(options)
{
    if (pipe2(m_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    if (options.firmware)
        m_firmwareQueue = createQueue(ZTC_QUEUE_FIRMWARE, options.depth);
    if (options.csi)
        m_csiQueue = createQueue(ZTC_QUEUE_CSI, options.depth);
    if ((options.firmware && m_firmwareQueue == static_cast<mqd_t>(-1)) ||
        (options.csi && m_csiQueue == static_cast<mqd_t>(-1)))
        return;
    m_thread = std::thread([this] { run(); });
    m_ok = true;
}

ZtFirmwarePeer::~ZtFirmwarePeer()
{
    if (m_thread.joinable()) {
        const char stop = 1;
        (void)!write(m_wakePipe[1], &stop, 1);
        m_thread.join();
    }
    if (m_firmwareQueue != static_cast<mqd_t>(-1)) {
        mq_close(m_firmwareQueue);
        mq_unlink(ZTC_QUEUE_FIRMWARE);
    }
    if (m_csiQueue != static_cast<mqd_t>(-1)) {
        mq_close(m_csiQueue);
        mq_unlink(ZTC_QUEUE_CSI);
    }
    for (const std::string &q : m_createdQueues)
        mq_unlink(q.c_str());
    for (int fd : m_wakePipe)
        if (fd >= 0)
            close(fd);
}

void ZtFirmwarePeer::run()
{
    uint8_t buffer[ZTC_MSG_MAX];
    for (;;) {
        int timeout = -1;
        const int64_t now = nowMs();
        for (const Pending &p : m_pending) {
            const int64_t left = p.dueMs > now ? p.dueMs - now : 0;
            if (timeout < 0 || left < timeout)
                timeout = static_cast<int>(left);
        }
        pollfd fds[3] = {{m_wakePipe[0], POLLIN, 0},
                         {static_cast<int>(m_firmwareQueue), POLLIN, 0},
                         {static_cast<int>(m_csiQueue), POLLIN, 0}};
        if (poll(fds, 3, timeout) < 0 && errno != EINTR)
            return;
        if (fds[0].revents)
            return;
        if (fds[1].revents & POLLIN) {
            const ssize_t n = mq_receive(m_firmwareQueue, reinterpret_cast<char *>(buffer),
                                         sizeof buffer, nullptr);
            if (n >= 0)
                serveFirmware(buffer, static_cast<size_t>(n));
        }
        if (fds[2].revents & POLLIN) {
            const ssize_t n =
                mq_receive(m_csiQueue, reinterpret_cast<char *>(buffer), sizeof buffer, nullptr);
            if (n >= 0)
                serveCsi(buffer, static_cast<size_t>(n));
        }
        const int64_t after = nowMs();
        for (size_t i = 0; i < m_pending.size();) {
            if (m_pending[i].dueMs <= after) {
                sendTo(m_pending[i].queue, m_pending[i].message);
                m_pending.erase(m_pending.begin() + static_cast<long>(i));
            } else {
                ++i;
            }
        }
    }
}

void ZtFirmwarePeer::schedule(const std::string &queue, std::vector<uint8_t> message, int delayMs)
{
    if (delayMs <= 0)
        sendTo(queue, message);
    else
        m_pending.push_back({nowMs() + delayMs, queue, std::move(message)});
}

void ZtFirmwarePeer::record(PeerRequest request)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back(std::move(request));
    m_recorded.notify_all();
}

void ZtFirmwarePeer::serveFirmware(const uint8_t *data, size_t length)
{
    Msg msg;
    PeerRequest r;
    r.raw.assign(data, data + length);
    const MsgElement *cmd = nullptr, *arg = nullptr;
    if (msg.parse(data, static_cast<uint32_t>(length))) {
        cmd = element(msg, ZTC_EL_CMD);
        arg = element(msg, ZTC_EL_CMDARG);
    }
    if (!cmd || cmd->getLength() != 2 || !arg || !element(msg, ZTC_EL_SEQ)) {
        r.kind = "??";
        record(std::move(r));
        return;
    }
    r.kind = text(cmd);
    r.sequence = element(msg, ZTC_EL_SEQ)->getUInt32();
    r.replyTo = text(element(msg, ZTC_EL_SRC));
    if (const MsgElement *opt = element(msg, ZTC_EL_OPTION)) {
        r.hasOption = true;
        r.option = opt->getUInt8();
    }
    const uint8_t *b = arg->getData();
    const size_t n = arg->getLength();
    if (r.kind == ZTC_KIND_TYPED) {
        const uint8_t *nul = b ? static_cast<const uint8_t *>(memchr(b, 0, n)) : nullptr;
        const size_t nameLength = nul ? static_cast<size_t>(nul - b) : n;
        r.name = bytesKey(b, nameLength);
        if (nul)
            r.payload.assign(nul + 1, b + n);
    } else if (n >= 2) {
        if (r.kind == ZTC_KIND_REMOTE) {
            r.category = b[0];
            r.identifier = b[1];
        } else {
            r.name = bytesKey(b, 2);
        }
        r.payload.assign(b + 2, b + n);
    }
    const std::vector<uint8_t> firstTwo(b, b + (n < 2 ? n : 2));
    const PeerAnswer answer = answerFor(r);
    const std::string replyTo = r.replyTo;
    const std::vector<uint8_t> kind = str(r.kind);
    const uint32_t sequence = r.sequence;
    record(std::move(r));
    if (answer.withhold || replyTo.empty())
        return;

    std::vector<std::pair<uint8_t, std::vector<uint8_t>>> elements = {
        {ZTC_EL_CMD, kind},
        {ZTC_EL_CMDARG, firstTwo},
        {ZTC_EL_SEQ, le32({sequence})},
        {ZTC_EL_RESULT, le32({static_cast<uint32_t>(answer.status)})}};
    if (answer.hasBytes)
        elements.push_back({ZTC_EL_RSPARG, answer.bytes});
    elements.push_back({ZTC_EL_SRC, str(ZTC_QUEUE_FIRMWARE)});
    elements.push_back({ZTC_EL_DST, str(replyTo)});
    schedule(replyTo, build(ZTC_CAT_LIB_ANSWER, elements), answer.delayMs);
}

PeerAnswer ZtFirmwarePeer::answerFor(const PeerRequest &r)
{
    std::string key = r.kind;
    if (r.kind == ZTC_KIND_REMOTE)
        key += std::string{static_cast<char>(r.category), static_cast<char>(r.identifier)};
    else
        key += r.name;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto once = m_once.find(key);
        if (once != m_once.end() && !once->second.empty()) {
            PeerAnswer a = once->second.front();
            once->second.pop_front();
            return a;
        }
        auto sticky = m_sticky.find(key);
        if (sticky != m_sticky.end())
            return sticky->second;
    }
    if (r.kind == ZTC_KIND_TYPED) {
        const uint32_t outputs = typedOutputSize(r.name);
        if (outputs)
            return PeerAnswer::Bytes(std::vector<uint8_t>(outputs, 0));
    }
    return PeerAnswer();
}

void ZtFirmwarePeer::serveCsi(const uint8_t *data, size_t length)
{
    Msg msg;
    PeerRequest r;
    r.raw.assign(data, data + length);
    const MsgElement *cmd = nullptr, *arg = nullptr;
    if (msg.parse(data, static_cast<uint32_t>(length))) {
        cmd = element(msg, ZTC_EL_CMD);
        arg = element(msg, ZTC_EL_CMDARG);
    }
    if (!cmd || cmd->getLength() != 2 || !arg) {
        r.kind = "??";
        record(std::move(r));
        return;
    }
    r.kind = text(cmd);
    r.replyTo = text(element(msg, ZTC_EL_SRC));
    r.payload.assign(arg->getData(), arg->getData() + arg->getLength());
    // The request is recorded only after its effect on the items, so a test
    // that saw it also sees the new value.
    const std::vector<uint8_t> answer = csiAnswer(r);
    const std::string replyTo = r.replyTo;
    record(std::move(r));
    if (!answer.empty())
        sendTo(replyTo, answer);
}

std::vector<uint8_t> ZtFirmwarePeer::csiAnswer(const PeerRequest &r)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ZtcArgReader in(r.payload.data(), static_cast<uint32_t>(r.payload.size()));
    if (r.kind == ZTC_CSI_SET) {
        const uint32_t id = in.u32(), value = in.u32();
        if (!in.ok())
            return {};
        m_csiItems[id] = value;
        if (!m_csiAnswering || r.replyTo.empty())
            return {};
        return build(ZTC_CAT_CSI_EVENT, {{ZTC_EL_CMD, str(ZTC_CSI_SET_RESPONSE)},
                                         {ZTC_EL_CMDARG, le32({id, value})},
                                         {ZTC_EL_RSPARG, {0}},
                                         {ZTC_EL_SRC, str(ZTC_QUEUE_CSI)},
                                         {ZTC_EL_DST, str(r.replyTo)}});
    }
    if (r.kind == ZTC_CSI_SUBSCRIBE) {
        std::vector<uint8_t> values;
        while (in.remaining() >= 4) {
            const auto it = m_csiItems.find(in.u32());
            const std::vector<uint8_t> v = le32({it == m_csiItems.end() ? 0u : it->second});
            values.insert(values.end(), v.begin(), v.end());
        }
        if (!m_csiAnswering || r.replyTo.empty())
            return {};
        return build(ZTC_CAT_CSI_EVENT, {{ZTC_EL_CMD, str(ZTC_CSI_SUBSCRIBE_RESPONSE)},
                                         {ZTC_EL_CMDARG, r.payload},
                                         {ZTC_EL_RSPARG, values},
                                         {ZTC_EL_SRC, str(ZTC_QUEUE_CSI)},
                                         {ZTC_EL_DST, str(r.replyTo)}});
    }
    if (r.kind == ZTC_CSI_GET) {
        const uint32_t id = in.u32(), size = in.u32();
        if (!in.ok() || !m_csiAnswering || r.replyTo.empty())
            return {};
        const auto it = m_csiItems.find(id);
        const bool known = it != m_csiItems.end() && size >= 1 && size <= 4;
        // A known item answers its value in the size asked; an unknown one a zero byte.
        std::vector<uint8_t> value(known ? size : 1, 0);
        for (uint32_t i = 0; known && i < size; ++i)
            value[i] = static_cast<uint8_t>(it->second >> (8 * i));
        return build(ZTC_CAT_CSI_ANSWER, {{ZTC_EL_CMD, str(ZTC_CSI_GET)},
                                          {ZTC_EL_CMDARG, le32({id})},
                                          {ZTC_EL_RESULT, le32({known ? 0u : 0xFFFFFFFFu})},
                                          {ZTC_EL_RSPARG, value},
                                          {ZTC_EL_SRC, str(ZTC_QUEUE_CSI)},
                                          {ZTC_EL_DST, str(r.replyTo)}});
    }
    return {};
}
