#include "ztFirmwarePeer.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <chrono>

#include "Msg.h"
#include "peer_messages.h"
#include "ztcArgs.h"
#include "ztcWire.h"

using peer::build;
using peer::le32;
using peer::str;

namespace {

constexpr mqd_t kNoQueue = static_cast<mqd_t>(-1);

int64_t nowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string text(const MsgElement *e)
{
    return e ? std::string(reinterpret_cast<const char *>(e->getData()), e->getLength())
             : std::string();
}

// Ten messages for the queues the peer creates.
mq_attr queueAttr(long depth = 10)
{
    mq_attr attr = {};
    attr.mq_maxmsg = depth;
    attr.mq_msgsize = ZTC_MSG_MAX;
    return attr;
}

mqd_t createQueue(const char *name)
{
    mq_unlink(name);
    mq_attr attr = queueAttr();
    return mq_open(name, O_RDONLY | O_CREAT | O_NONBLOCK, 0664, &attr);
}

// Output bytes of the typed calls that have outputs.
const std::map<std::string, uint32_t> kTypedOutputs = {{"ztc_app_get_mode_flat_mode", 8},
                                                       {"ztc_system_get_lenses", 2},
                                                       {"ztc_system_get_lens_type", 1},
                                                       {"ztc_system_get_power_profile", 1},
                                                       {"ztc_setup_get_camera_ux_mode", 1}};

// Parses the command and argument every request carries, and its sequence
// number when `sequenced`; on failure the request is one of kind "??".
bool parseRequest(Msg &msg, const uint8_t *data, size_t length, bool sequenced, PeerRequest &r)
{
    r.raw.assign(data, data + length);
    const bool parsed = msg.parse(data, static_cast<uint32_t>(length));
    const MsgElement *cmd = parsed ? msg.findElement(ZTC_EL_CMD) : nullptr;
    const MsgElement *seq = parsed ? msg.findElement(ZTC_EL_SEQ) : nullptr;
    if (!cmd || cmd->getLength() != 2 || !msg.findElement(ZTC_EL_CMDARG) || (sequenced && !seq)) {
        r.kind = "??";
        return false;
    }
    r.kind = text(cmd);
    r.sequence = seq ? seq->getUInt32() : 0;
    r.replyTo = text(msg.findElement(ZTC_EL_SRC));
    return true;
}

// CSI traffic: 'A', 'B', the result when there is one (then it is the
// answer to a get), 'E', source and destination.
std::vector<uint8_t> csiMessage(const char *command, const std::vector<uint8_t> &arg,
                                const std::vector<uint8_t> &value, const std::string &to,
                                const std::vector<uint8_t> &result = {})
{
    std::vector<std::pair<uint8_t, std::vector<uint8_t>>> elements = {{ZTC_EL_CMD, str(command)},
                                                                      {ZTC_EL_CMDARG, arg}};
    if (!result.empty())
        elements.push_back({ZTC_EL_RESULT, result});
    elements.push_back({ZTC_EL_RSPARG, value});
    elements.push_back({ZTC_EL_SRC, str(ZTC_QUEUE_CSI)});
    elements.push_back({ZTC_EL_DST, str(to)});
    return build(result.empty() ? ZTC_CAT_CSI_EVENT : ZTC_CAT_CSI_ANSWER, elements);
}

}  // namespace

ZtFirmwarePeer::ZtFirmwarePeer() : ZtFirmwarePeer(Options()) {}

ZtFirmwarePeer::ZtFirmwarePeer(const Options &options)
{
    if (pipe2(m_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    if (options.firmware)
        m_firmwareQueue = createQueue(ZTC_QUEUE_FIRMWARE);
    m_csiQueue = createQueue(ZTC_QUEUE_CSI);
    if ((options.firmware && m_firmwareQueue == kNoQueue) || m_csiQueue == kNoQueue)
        return;
    m_thread = std::thread([this] { run(); });
    m_ok = true;
}

ZtFirmwarePeer::~ZtFirmwarePeer()
{
    if (m_thread.joinable()) {
        (void)!write(m_wakePipe[1], "", 1);
        m_thread.join();
    }
    for (const auto &[q, name] : {std::make_pair(m_firmwareQueue, ZTC_QUEUE_FIRMWARE),
                                  std::make_pair(m_csiQueue, ZTC_QUEUE_CSI)})
        if (q != kNoQueue) {
            mq_close(q);
            mq_unlink(name);
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
        if ((poll(fds, 3, timeout) < 0 && errno != EINTR) || fds[0].revents)
            return;
        const auto receive = [&buffer](mqd_t q) {
            return mq_receive(q, reinterpret_cast<char *>(buffer), sizeof buffer, nullptr);
        };
        ssize_t n = (fds[1].revents & POLLIN) ? receive(m_firmwareQueue) : -1;
        if (n >= 0)
            serveFirmware(buffer, static_cast<size_t>(n));
        n = (fds[2].revents & POLLIN) ? receive(m_csiQueue) : -1;
        if (n >= 0)
            serveCsi(buffer, static_cast<size_t>(n));
        const int64_t after = nowMs();
        for (size_t i = 0; i < m_pending.size();) {
            if (m_pending[i].dueMs <= after) {
                postRaw(m_pending[i].message, m_pending[i].queue);
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
        postRaw(message, queue);
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
    if (!parseRequest(msg, data, length, true, r))
        return record(std::move(r));
    const MsgElement *arg = msg.findElement(ZTC_EL_CMDARG);
    if (const MsgElement *opt = msg.findElement(ZTC_EL_OPTION)) {
        r.hasOption = true;
        r.option = opt->getUInt8();
    }
    const uint8_t *b = arg->getData();
    const size_t n = arg->getLength();
    if (r.kind == ZTC_KIND_TYPED) {
        const uint8_t *nul = b ? static_cast<const uint8_t *>(memchr(b, 0, n)) : nullptr;
        r.name.assign(reinterpret_cast<const char *>(b), nul ? static_cast<size_t>(nul - b) : n);
        if (nul)
            r.payload.assign(nul + 1, b + n);
    } else if (n >= 2) {
        r.category = r.kind == ZTC_KIND_REMOTE ? b[0] : 0;
        r.identifier = r.kind == ZTC_KIND_REMOTE ? b[1] : 0;
        if (r.kind != ZTC_KIND_REMOTE)
            r.name.assign(reinterpret_cast<const char *>(b), 2);
        r.payload.assign(b + 2, b + n);
    }
    const PeerAnswer answer = answerFor(r);
    std::vector<std::pair<uint8_t, std::vector<uint8_t>>> elements = {
        {ZTC_EL_CMD, str(r.kind)},
        {ZTC_EL_CMDARG, std::vector<uint8_t>(b, b + (n < 2 ? n : 2))},
        {ZTC_EL_SEQ, le32({r.sequence})},
        {ZTC_EL_RESULT, le32({static_cast<uint32_t>(answer.status)})}};
    if (answer.hasBytes)
        elements.push_back({ZTC_EL_RSPARG, answer.bytes});
    elements.push_back({ZTC_EL_SRC, str(ZTC_QUEUE_FIRMWARE)});
    elements.push_back({ZTC_EL_DST, str(r.replyTo)});
    const std::string replyTo = r.replyTo;
    record(std::move(r));
    if (!answer.withhold && !replyTo.empty())
        schedule(replyTo, build(ZTC_CAT_LIB_ANSWER, elements), answer.delayMs);
}

PeerAnswer ZtFirmwarePeer::answerFor(const PeerRequest &r)
{
    const std::string key =
        r.kind + (r.kind == ZTC_KIND_REMOTE ? remoteKey(r.category, r.identifier) : r.name);
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
    const auto outputs = kTypedOutputs.find(r.kind == ZTC_KIND_TYPED ? r.name : "");
    return outputs != kTypedOutputs.end() ? PeerAnswer::Bytes(std::vector<uint8_t>(outputs->second))
                                          : PeerAnswer();
}

void ZtFirmwarePeer::serveCsi(const uint8_t *data, size_t length)
{
    Msg msg;
    PeerRequest r;
    if (!parseRequest(msg, data, length, false, r))
        return record(std::move(r));
    const MsgElement *arg = msg.findElement(ZTC_EL_CMDARG);
    r.payload.assign(arg->getData(), arg->getData() + arg->getLength());
    // The request is recorded only after its effect on the items, so a test
    // that saw it also sees the new value.
    const std::vector<uint8_t> answer = csiAnswer(r);
    const std::string replyTo = r.replyTo;
    record(std::move(r));
    if (!answer.empty())
        postRaw(answer, replyTo);
}

std::vector<uint8_t> ZtFirmwarePeer::csiAnswer(const PeerRequest &r)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ZtcArgReader in(r.payload.data(), static_cast<uint32_t>(r.payload.size()));
    const bool answering = !r.replyTo.empty();
    if (r.kind == ZTC_CSI_SET) {
        const uint32_t id = in.u32(), value = in.u32();
        if (!in.ok())
            return {};
        m_csiItems[id] = value;
        return answering ? csiMessage(ZTC_CSI_SET_RESPONSE, le32({id, value}), {0}, r.replyTo)
                         : std::vector<uint8_t>();
    }
    if (r.kind == ZTC_CSI_SUBSCRIBE) {
        std::vector<uint8_t> values;
        while (in.remaining() >= 4) {
            const auto it = m_csiItems.find(in.u32());
            const std::vector<uint8_t> v = le32({it == m_csiItems.end() ? 0u : it->second});
            values.insert(values.end(), v.begin(), v.end());
        }
        return answering ? csiMessage(ZTC_CSI_SUBSCRIBE_RESPONSE, r.payload, values, r.replyTo)
                         : std::vector<uint8_t>();
    }
    if (r.kind != ZTC_CSI_GET)
        return {};
    const uint32_t id = in.u32(), size = in.u32();
    if (!in.ok() || !answering)
        return {};
    const auto it = m_csiItems.find(id);
    const bool known = it != m_csiItems.end() && size >= 1 && size <= 4;
    // A known item answers its value in the size asked; an unknown one a zero byte.
    std::vector<uint8_t> value(known ? size : 1, 0);
    for (uint32_t i = 0; known && i < size; ++i)
        value[i] = static_cast<uint8_t>(it->second >> (8 * i));
    return csiMessage(ZTC_CSI_GET, le32({id}), value, r.replyTo, le32({known ? 0u : 0xFFFFFFFFu}));
}

// ---- The test-facing side; everything below runs on the test's threads.

void ZtFirmwarePeer::script(const std::string &kind, const std::string &key,
                            const PeerAnswer &answer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sticky[kind + key] = answer;
}

void ZtFirmwarePeer::scriptOnce(const std::string &kind, const std::string &key,
                                const PeerAnswer &answer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_once[kind + key].push_back(answer);
}

void ZtFirmwarePeer::clearScript()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sticky.clear();
    m_once.clear();
}

std::vector<PeerRequest> ZtFirmwarePeer::requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

size_t ZtFirmwarePeer::requestCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests.size();
}

void ZtFirmwarePeer::clearRequests()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
}

std::optional<PeerRequest> ZtFirmwarePeer::waitForRequest(
    const std::function<bool(const PeerRequest &)> &match, int timeoutMs, size_t from) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (size_t next = from;;) {
        for (; next < m_requests.size(); ++next)
            if (match(m_requests[next]))
                return m_requests[next];
        if (m_recorded.wait_until(lock, deadline) == std::cv_status::timeout &&
            next >= m_requests.size())
            return std::nullopt;
    }
}

void ZtFirmwarePeer::setCsiItem(uint32_t id, uint32_t value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_csiItems[id] = value;
}

std::optional<uint32_t> ZtFirmwarePeer::csiItem(uint32_t id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_csiItems.find(id);
    return it == m_csiItems.end() ? std::nullopt : std::optional<uint32_t>(it->second);
}

// Never blocks: a missing or full queue drops the message.
bool ZtFirmwarePeer::postRaw(const std::vector<uint8_t> &message, const std::string &queue)
{
    const mqd_t q = message.empty() ? kNoQueue : mq_open(queue.c_str(), O_WRONLY | O_NONBLOCK);
    if (q == kNoQueue)
        return false;
    const bool sent =
        mq_send(q, reinterpret_cast<const char *>(message.data()), message.size(), 0) == 0;
    mq_close(q);
    return sent;
}

bool ZtFirmwarePeer::postPresetEvent(uint8_t code, uint32_t id)
{
    std::vector<uint8_t> arg = le32({id});
    arg.insert(arg.begin(), code);
    return postRaw(build(ZTC_CAT_PRESET_EVENT, {{ZTC_EL_CMD, str("PU")},
                                                {ZTC_EL_CMDARG, arg},
                                                {ZTC_EL_SRC, str(ZTC_QUEUE_FIRMWARE)},
                                                {ZTC_EL_DST, str(ZTC_QUEUE_DAEMON)}}));
}

bool ZtFirmwarePeer::ensureQueue(const std::string &name)
{
    mq_attr attr = queueAttr();
    const mqd_t q = mq_open(name.c_str(), O_RDONLY | O_CREAT | O_EXCL, 0664, &attr);
    if (q == kNoQueue)
        return errno == EEXIST;
    mq_close(q);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_createdQueues.push_back(name);
    return true;
}

bool ZtFirmwarePeer::postSuspend(bool suspend, const std::string &replyQueue)
{
    return ensureQueue(replyQueue) &&
           postRaw(build(ZTC_CAT_SYS_REQUEST, {{ZTC_EL_CMD, str(suspend ? "JS" : "JR")},
                                               {ZTC_EL_CMDARG, {0}},
                                               {ZTC_EL_DST, str(ZTC_QUEUE_DAEMON)},
                                               {ZTC_EL_SRC, str(replyQueue)}}));
}

std::optional<std::vector<uint8_t>> ZtFirmwarePeer::waitForSysAnswer(const std::string &replyQueue,
                                                                     int timeoutMs)
{
    const mqd_t q = mq_open(replyQueue.c_str(), O_RDONLY | O_NONBLOCK);
    if (q == kNoQueue)
        return std::nullopt;
    std::vector<uint8_t> buffer(ZTC_MSG_MAX);
    pollfd pfd = {static_cast<int>(q), POLLIN, 0};
    ssize_t n = -1;
    if (poll(&pfd, 1, timeoutMs) == 1)
        n = mq_receive(q, reinterpret_cast<char *>(buffer.data()), buffer.size(), nullptr);
    mq_close(q);
    if (n < 0)
        return std::nullopt;
    buffer.resize(static_cast<size_t>(n));
    return buffer;
}

bool ZtFirmwarePeer::postCsiNotify(uint32_t id, uint32_t value)
{
    return postRaw(csiMessage(ZTC_CSI_NOTIFY, le32({id, value}), {0}, ZTC_QUEUE_DAEMON));
}

bool ZtFirmwarePeer::postCsiNotifyMany(const std::vector<std::pair<uint32_t, uint32_t>> &values)
{
    std::vector<uint8_t> arg;
    for (const auto &v : values) {
        const std::vector<uint8_t> pair = le32({v.first, v.second});
        arg.insert(arg.end(), pair.begin(), pair.end());
    }
    return postRaw(csiMessage(ZTC_CSI_NOTIFY_MANY, arg, {0}, ZTC_QUEUE_DAEMON));
}

bool ZtFirmwarePeer::openContext(ztc_msg_q_context_t *ctx)
{
    static const char kReply[] = ZTC_QUEUE_REPLY;
    *ctx = ztc_msg_q_context_t{};
    mq_unlink(kReply);
    mq_attr attr = queueAttr(5);
    ctx->reply_queue = mq_open(kReply, O_RDONLY | O_CREAT, 0664, &attr);
    ctx->request_queue = mq_open(ZTC_QUEUE_FIRMWARE, O_WRONLY);
    ctx->reply_queue_name = kReply;
    if (ctx->reply_queue != kNoQueue && ctx->request_queue != kNoQueue)
        return true;
    closeContext(ctx);
    return false;
}

void ZtFirmwarePeer::closeContext(ztc_msg_q_context_t *ctx)
{
    if (ctx->reply_queue != kNoQueue) {
        mq_close(ctx->reply_queue);
        mq_unlink(ZTC_QUEUE_REPLY);
    }
    if (ctx->request_queue != kNoQueue)
        mq_close(ctx->request_queue);
    *ctx = ztc_msg_q_context_t{};
    ctx->reply_queue = ctx->request_queue = kNoQueue;
}
