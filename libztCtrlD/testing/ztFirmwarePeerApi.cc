// The test-facing side of ZtFirmwarePeer: script, records, CSI state and
// posting events. Everything here runs on the test's threads.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <time.h>

#include <chrono>

#include "Msg.h"
#include "peer_messages.h"
#include "ztFirmwarePeer.h"
#include "ztcWire.h"

using peer::build;
using peer::le32;
using peer::str;

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

void ZtFirmwarePeer::scriptRemote(uint8_t category, uint8_t id, const PeerAnswer &answer)
{
    script(ZTC_KIND_REMOTE, std::string{static_cast<char>(category), static_cast<char>(id)},
           answer);
}

void ZtFirmwarePeer::scriptRemoteOnce(uint8_t category, uint8_t id, const PeerAnswer &answer)
{
    scriptOnce(ZTC_KIND_REMOTE, std::string{static_cast<char>(category), static_cast<char>(id)},
               answer);
}

void ZtFirmwarePeer::scriptTyped(const std::string &function, const PeerAnswer &answer)
{
    script(ZTC_KIND_TYPED, function, answer);
}

void ZtFirmwarePeer::scriptTypedOnce(const std::string &function, const PeerAnswer &answer)
{
    scriptOnce(ZTC_KIND_TYPED, function, answer);
}

void ZtFirmwarePeer::scriptAuxmod(const std::string &command, const PeerAnswer &answer)
{
    script(ZTC_KIND_AUXMOD, command, answer);
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
    size_t next = from;
    for (;;) {
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
    if (it == m_csiItems.end())
        return std::nullopt;
    return it->second;
}

void ZtFirmwarePeer::setCsiAnswering(bool answering)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_csiAnswering = answering;
}

bool ZtFirmwarePeer::postRaw(const std::vector<uint8_t> &message, const std::string &queue)
{
    if (message.empty())
        return false;
    const mqd_t q = mq_open(queue.c_str(), O_WRONLY | O_NONBLOCK);
    if (q == static_cast<mqd_t>(-1))
        return false;
    mq_attr attr;
    bool sent = false;
    if (mq_getattr(q, &attr) == 0 && attr.mq_curmsgs < attr.mq_maxmsg)
        sent = mq_send(q, reinterpret_cast<const char *>(message.data()), message.size(), 0) == 0;
    mq_close(q);
    return sent;
}

bool ZtFirmwarePeer::postPresetEvent(uint8_t code, uint32_t id)
{
    std::vector<uint8_t> arg = {code};
    const std::vector<uint8_t> idBytes = le32({id});
    arg.insert(arg.end(), idBytes.begin(), idBytes.end());
    return postRaw(build(ZTC_CAT_PRESET_EVENT, {{ZTC_EL_CMD, str("PU")},
                                                {ZTC_EL_CMDARG, arg},
                                                {ZTC_EL_SRC, str(ZTC_QUEUE_FIRMWARE)},
                                                {ZTC_EL_DST, str(ZTC_QUEUE_DAEMON)}}));
}

bool ZtFirmwarePeer::ensureQueue(const std::string &name)
{
    mq_attr attr = {};
    attr.mq_maxmsg = m_options.depth;
    attr.mq_msgsize = ZTC_MSG_MAX;
    const mqd_t q = mq_open(name.c_str(), O_RDONLY | O_CREAT | O_EXCL, 0664, &attr);
    if (q != static_cast<mqd_t>(-1)) {
        mq_close(q);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_createdQueues.push_back(name);
        return true;
    }
    return errno == EEXIST;
}

bool ZtFirmwarePeer::postSuspend(bool suspend, const std::string &replyQueue)
{
    if (!ensureQueue(replyQueue))
        return false;
    return postRaw(build(ZTC_CAT_SYS_REQUEST, {{ZTC_EL_CMD, str(suspend ? "JS" : "JR")},
                                               {ZTC_EL_CMDARG, {0}},
                                               {ZTC_EL_DST, str(ZTC_QUEUE_DAEMON)},
                                               {ZTC_EL_SRC, str(replyQueue)}}));
}

std::optional<std::vector<uint8_t>> ZtFirmwarePeer::waitForSysAnswer(const std::string &replyQueue,
                                                                     int timeoutMs)
{
    const mqd_t q = mq_open(replyQueue.c_str(), O_RDONLY | O_NONBLOCK);
    if (q == static_cast<mqd_t>(-1))
        return std::nullopt;
    std::optional<std::vector<uint8_t>> result;
    pollfd pfd = {static_cast<int>(q), POLLIN, 0};
    if (poll(&pfd, 1, timeoutMs) == 1) {
        std::vector<uint8_t> buffer(ZTC_MSG_MAX);
        const ssize_t n =
            mq_receive(q, reinterpret_cast<char *>(buffer.data()), buffer.size(), nullptr);
        if (n >= 0) {
            buffer.resize(static_cast<size_t>(n));
            result = std::move(buffer);
        }
    }
    mq_close(q);
    return result;
}

bool ZtFirmwarePeer::postCsiNotify(uint32_t id, uint32_t value)
{
    return postRaw(build(ZTC_CAT_CSI_EVENT, {{ZTC_EL_CMD, str(ZTC_CSI_NOTIFY)},
                                             {ZTC_EL_CMDARG, le32({id, value})},
                                             {ZTC_EL_RSPARG, {0}},
                                             {ZTC_EL_SRC, str(ZTC_QUEUE_CSI)},
                                             {ZTC_EL_DST, str(ZTC_QUEUE_DAEMON)}}));
}

bool ZtFirmwarePeer::postCsiNotifyMany(const std::vector<std::pair<uint32_t, uint32_t>> &values)
{
    std::vector<uint8_t> arg;
    for (const auto &v : values) {
        const std::vector<uint8_t> pair = le32({v.first, v.second});
        arg.insert(arg.end(), pair.begin(), pair.end());
    }
    return postRaw(build(ZTC_CAT_CSI_EVENT, {{ZTC_EL_CMD, str(ZTC_CSI_NOTIFY_MANY)},
                                             {ZTC_EL_CMDARG, arg},
                                             {ZTC_EL_RSPARG, {0}},
                                             {ZTC_EL_SRC, str(ZTC_QUEUE_CSI)},
                                             {ZTC_EL_DST, str(ZTC_QUEUE_DAEMON)}}));
}

uint32_t ZtFirmwarePeer::typedOutputSize(const std::string &function)
{
    if (function == "ztc_app_get_mode_flat_mode")
        return 8;
    if (function == "ztc_system_get_lenses")
        return 2;
    if (function == "ztc_system_get_lens_type" || function == "ztc_system_get_power_profile" ||
        function == "ztc_setup_get_camera_ux_mode")
        return 1;
    return 0;
}

bool ZtFirmwarePeer::openContext(ztc_msg_q_context_t *ctx)
{
    static const char kReply[] = ZTC_QUEUE_REPLY;
    *ctx = ztc_msg_q_context_t{};
    mq_unlink(kReply);
    mq_attr attr = {};
    attr.mq_maxmsg = 5;
    attr.mq_msgsize = ZTC_MSG_MAX;
    ctx->reply_queue = mq_open(kReply, O_RDONLY | O_CREAT, 0664, &attr);
    ctx->request_queue = mq_open(ZTC_QUEUE_FIRMWARE, O_WRONLY);
    ctx->reply_queue_name = kReply;
    if (ctx->reply_queue == static_cast<mqd_t>(-1) ||
        ctx->request_queue == static_cast<mqd_t>(-1)) {
        closeContext(ctx);
        return false;
    }
    return true;
}

void ZtFirmwarePeer::closeContext(ztc_msg_q_context_t *ctx)
{
    if (ctx->reply_queue != static_cast<mqd_t>(-1)) {
        mq_close(ctx->reply_queue);
        mq_unlink(ZTC_QUEUE_REPLY);
    }
    if (ctx->request_queue != static_cast<mqd_t>(-1))
        mq_close(ctx->request_queue);
    *ctx = ztc_msg_q_context_t{};
    ctx->reply_queue = ctx->request_queue = static_cast<mqd_t>(-1);
}
