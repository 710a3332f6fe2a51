// ztctl's notification watcher; see NotifyWatcher.h.
#include "NotifyWatcher.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "Msg.h"
#include "MsgElement.h"

namespace ztctl {

namespace {

volatile sig_atomic_t s_stopRequested = 0;

constexpr uint8_t kEventCategory = 22;
constexpr uint8_t kTextElement = 'E';
constexpr long kQueueDepth = 10;
// Larger than any message the daemon sends, so none is refused for size.
constexpr long kQueueMessageSize = 4096;

}  // namespace

std::string NotifyWatcher::timeStamp()
{
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local {};
    localtime_r(&now.tv_sec, &local);
    char text[32];
    snprintf(text, sizeof text, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min, local.tm_sec,
             now.tv_nsec / 1000000);
    return text;
}

bool NotifyWatcher::stopRequested()
{
    return s_stopRequested != 0;
}

NotifyWatcher::~NotifyWatcher()
{
    if (m_fd >= 0)
        close(m_fd);
    if (m_queue != (mqd_t)-1) {
        mq_close(m_queue);
        mq_unlink(m_queueName.c_str());
    }
}

bool NotifyWatcher::connect(uint16_t port, unsigned retryMs)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    constexpr unsigned kRetryStepMs = 100;
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
    m_pending.clear();
    m_closed = false;
    m_error.clear();
    for (unsigned waited = 0;; waited += kRetryStepMs) {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0) {
            m_error = std::string("socket: ") + strerror(errno);
            return false;
        }
        if (::connect(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0)
            return true;
        const int err = errno;
        close(m_fd);
        m_fd = -1;
        m_error = "cannot connect to port " + std::to_string(port) + ": " + strerror(err);
        if (err != ECONNREFUSED || waited >= retryMs || s_stopRequested)
            return false;
        struct timespec step = {0, static_cast<long>(kRetryStepMs) * 1000000};
        if (nanosleep(&step, nullptr) != 0)
            return false;  // interrupted
    }
}

bool NotifyWatcher::openQueue(const std::string &name)
{
    mq_attr attr{};
    attr.mq_maxmsg = kQueueDepth;
    attr.mq_msgsize = kQueueMessageSize;
    m_queue = mq_open(name.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0622, &attr);
    if (m_queue == (mqd_t)-1) {
        m_error = "cannot create queue " + name + ": " + strerror(errno);
        return false;
    }
    m_queueName = name;
    return true;
}

void NotifyWatcher::requestStop()
{
    s_stopRequested = 1;
}

bool NotifyWatcher::waitReadable(int fd, unsigned idleMs)
{
    unsigned waited = 0;
    while (!s_stopRequested) {
        const unsigned slice = idleMs ? std::min(kStopCheckMs, idleMs - waited) : kStopCheckMs;
        pollfd p{fd, POLLIN, 0};
        const int r = poll(&p, 1, static_cast<int>(slice));
        if (r > 0)
            return true;
        if (r < 0 && errno != EINTR)
            return false;
        waited += slice;
        if (idleMs && waited >= idleMs)
            return false;
    }
    return false;
}

bool NotifyWatcher::fill(size_t n, unsigned idleMs)
{
    char buf[4096];
    while (m_pending.size() < n) {
        if (!waitReadable(m_fd, idleMs))
            return false;
        const ssize_t got = recv(m_fd, buf, sizeof buf, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            m_closed = true;
            return false;
        }
        m_pending.append(buf, static_cast<size_t>(got));
    }
    return true;
}

std::optional<std::string> NotifyWatcher::nextFromSocket(unsigned idleMs)
{
    static const std::string kTag = "LENGTH:";
    if (!fill(kTag.size(), idleMs))
        return std::nullopt;
    if (m_pending.compare(0, kTag.size(), kTag) != 0) {
        m_error = "malformed frame";
        return std::nullopt;
    }
    size_t blank;
    while ((blank = m_pending.find("\n\n")) == std::string::npos) {
        if (m_pending.size() > kTag.size() + 12) {
            m_error = "malformed frame";
            return std::nullopt;
        }
        if (!fill(m_pending.size() + 1, idleMs))
            return std::nullopt;
    }
    const std::string digits = m_pending.substr(kTag.size(), blank - kTag.size());
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        m_error = "malformed frame length '" + digits + "'";
        return std::nullopt;
    }
    // The declared length counts the text's final NUL, which is not sent.
    const size_t declared = std::stoul(digits);
    const size_t body = declared > 0 ? declared - 1 : 0;
    if (!fill(blank + 2 + body, idleMs))
        return std::nullopt;
    std::string text = m_pending.substr(blank + 2, body);
    m_pending.erase(0, blank + 2 + body);
    return text;
}

std::optional<std::string> NotifyWatcher::nextFromQueue(unsigned idleMs)
{
    std::vector<uint8_t> buffer(kQueueMessageSize);
    for (;;) {
        // A Linux message queue descriptor can be polled like a socket.
        if (!waitReadable(static_cast<int>(m_queue), idleMs))
            return std::nullopt;
        const ssize_t n =
            mq_receive(m_queue, reinterpret_cast<char *>(buffer.data()), buffer.size(), nullptr);
        if (n < 0)
            return std::nullopt;
        Msg msg;
        const MsgElement *text = nullptr;
        if (msg.parse(buffer.data(), static_cast<uint32_t>(n)) &&
            msg.getCategory() == kEventCategory)
            text = msg.findElement(kTextElement);
        if (!text)
            continue;  // not a notification: skip it
        const char *data = reinterpret_cast<const char *>(text->getData());
        return data ? std::string(data, strnlen(data, text->getLength())) : std::string();
    }
}

std::optional<std::string> NotifyWatcher::next(unsigned idleMs)
{
    return m_queue != (mqd_t)-1 ? nextFromQueue(idleMs) : nextFromSocket(idleMs);
}

}  // namespace ztctl
