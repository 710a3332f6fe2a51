// ztctl's request/answer exchange with the daemon; see DaemonLink.h.
#include "DaemonLink.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "ztTlv.h"
#include "ztcontrol_commands.h"

namespace ztctl {

namespace {

constexpr const char *kCommandQueue = "/to_ztCtlD";
constexpr long kReplyQueueDepth = 4;

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

}  // namespace

DaemonLink::DaemonLink(std::string replyQueue)
{
    const bool byPid = replyQueue.empty();
    m_name = byPid ? "/ztctl_" + std::to_string(getpid()) : std::move(replyQueue);
    mq_attr attr{};
    attr.mq_maxmsg = kReplyQueueDepth;
    attr.mq_msgsize = ZTMSG_MAX;
    // Exclusive: answers meant for another ztctl must not be taken for ours.
    m_queue = mq_open(m_name.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600, &attr);
    if (m_queue == (mqd_t)-1 && errno == EEXIST && byPid) {
        // Left by a killed ztctl whose process id is ours now, so its owner
        // is gone and the queue can be replaced.
        mq_unlink(m_name.c_str());
        m_queue = mq_open(m_name.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600, &attr);
    }
    if (m_queue == (mqd_t)-1)
        m_error = "cannot create reply queue " + m_name + ": " + strerror(errno);
}

DaemonLink::~DaemonLink()
{
    if (m_queue != (mqd_t)-1) {
        mq_close(m_queue);
        mq_unlink(m_name.c_str());
    }
}

std::vector<uint8_t> DaemonLink::buildRequest(uint32_t command,
                                              const std::optional<std::vector<uint8_t>> &argument,
                                              std::optional<uint8_t> option,
                                              const std::string &replyQueue)
{
    std::vector<uint8_t> msg(ZTMSG_MAX);
    uint8_t *m = msg.data();
    sntlv_msg_init(m, ZTMSG_MAX, CAT_CLIENT_CMD);
    bool fits = sntlv_add_dat(m, ZTMSG_MAX, TLV_CMD, 4, command) != 0;
    if (fits && argument)
        fits = sntlv_add_bin(m, ZTMSG_MAX, TLV_CMDARG, static_cast<uint32_t>(argument->size()),
                             argument->data()) != 0;
    if (fits && option)
        fits = sntlv_add_dat(m, ZTMSG_MAX, TLV_OPTION, 1, *option) != 0;
    if (fits && !replyQueue.empty())
        fits = sntlv_add_bin(m, ZTMSG_MAX, TLV_SRC, static_cast<uint32_t>(replyQueue.size()),
                             replyQueue.data()) != 0;
    if (fits)
        fits = sntlv_add_bin(m, ZTMSG_MAX, TLV_END, 0, nullptr) != 0;
    if (!fits)
        return {};
    msg.resize(static_cast<size_t>(sntlv_msg_len(m)));
    return msg;
}

std::optional<Answer> DaemonLink::call(uint32_t command,
                                       const std::optional<std::vector<uint8_t>> &argument,
                                       std::optional<uint8_t> option, unsigned timeoutMs)
{
    if (!ok())
        return std::nullopt;
    const std::vector<uint8_t> request = buildRequest(command, argument, option, m_name);
    if (request.empty()) {
        m_error =
            "the argument does not fit one message of " + std::to_string(ZTMSG_MAX) + " bytes";
        return std::nullopt;
    }
    mqd_t daemon = mq_open(kCommandQueue, O_WRONLY | O_CLOEXEC);
    if (daemon == (mqd_t)-1) {
        m_error = std::string("cannot open ") + kCommandQueue +
                  " (is ztControlD running?): " + strerror(errno);
        return std::nullopt;
    }
    // One deadline for both waits: room on the daemon's queue, then the answer.
    const timespec deadline = deadlineAfter(timeoutMs);
    const int sent = mq_timedsend(daemon, reinterpret_cast<const char *>(request.data()),
                                  request.size(), 0, &deadline);
    const int sendErrno = errno;
    mq_close(daemon);
    if (sent != 0) {
        m_error = sendErrno == ETIMEDOUT ? std::string(kCommandQueue) + " stayed full"
                                         : std::string("cannot send: ") + strerror(sendErrno);
        return std::nullopt;
    }
    std::vector<uint8_t> buffer(ZTMSG_MAX);
    for (;;) {
        const ssize_t n = mq_timedreceive(m_queue, reinterpret_cast<char *>(buffer.data()),
                                          buffer.size(), nullptr, &deadline);
        if (n < 0) {
            m_error = errno == ETIMEDOUT ? "no answer within " + std::to_string(timeoutMs) + " ms"
                      : errno == EINTR   ? std::string("interrupted")
                                         : std::string("receive failed: ") + strerror(errno);
            return std::nullopt;
        }
        if (auto answer = parseAnswer(buffer.data(), static_cast<size_t>(n)))
            return answer;
    }
}

}  // namespace ztctl
