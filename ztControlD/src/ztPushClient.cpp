// Delivery of JSON notifications to TCP socket clients ("LENGTH:" frames) and
// to registered message queues (EventMsg records).
#include "ztPushClient.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Msg.h"
#include "MemStream.h"
#include "MsgElement.h"
#include "utils.h"
#include "ztTlv.h"
#include "ztcontrol_commands.h"

namespace {

// The notification record posted to queue clients; built like a client
// answer, with its own category.
class EventMsg : public Msg {
public:
    EventMsg() : Msg(CAT_CLIENT_EVT) {}
};

constexpr uint32_t kBufferSize = ZTMSG_MAX;

// A queue opened by name for writing without blocking, closed (errno kept)
// when it goes out of scope.
class OpenQueue {
public:
    explicit OpenQueue(const std::string &name)
        : m_queue(mq_open(name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC))
    {
    }
    ~OpenQueue()
    {
        const int saved = errno;
        if (m_queue != (mqd_t)-1)
            mq_close(m_queue);
        errno = saved;
    }
    OpenQueue(const OpenQueue &) = delete;
    OpenQueue &operator=(const OpenQueue &) = delete;
    bool ok() const { return m_queue != (mqd_t)-1; }
    mqd_t get() const { return m_queue; }

private:
    mqd_t m_queue;
};

}  // namespace

// ---- SocketNotificationClient ---------------------------------------------

SocketNotificationClient::SocketNotificationClient(int fd)
    : NotificationClient(CLIENT_TYPE_SOCKET), m_socket(fd)
{
    if (m_socket < 0)
        return;
    const int flags = fcntl(m_socket, F_GETFL);
    if (flags < 0 || fcntl(m_socket, F_SETFL, flags | O_NONBLOCK) != 0)
        ZTLOG(ZT_LOG_ERROR, "fcntl(O_NONBLOCK) failed: %s", strerror(errno));
    const int bufferBytes = kSendBufferBytes;
    if (setsockopt(m_socket, SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes) != 0)
        ZTLOG(ZT_LOG_ERROR, "setsockopt(SO_SNDBUF) failed: %s", strerror(errno));
}

SocketNotificationClient::~SocketNotificationClient()
{
    if (m_socket == -1)
        return;
    if (m_resetOnClose) {
        // A reader that stopped would keep the unsent bytes in kernel memory
        // for minutes of zero-window probing; a reset frees them at once.
        linger reset{1, 0};
        setsockopt(m_socket, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    close(m_socket);
}

ssize_t SocketNotificationClient::sendSome(const char *data, size_t length)
{
    for (;;) {
        const ssize_t sent = send(m_socket, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0)
            return sent;
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

bool SocketNotificationClient::flush()
{
    if (m_socket < 0)
        return false;
    while (!m_backlog.empty()) {
        const ssize_t sent = sendSome(m_backlog.data(), m_backlog.size());
        if (sent < 0)
            return false;
        if (sent == 0)
            return true;
        m_backlog.erase(0, static_cast<size_t>(sent));
    }
    return true;
}

bool SocketNotificationClient::Notify(eNotificationType_t type, std::stringstream &message)
{
    if (type == NOTIFICATION_TYPE_SHUTDOWN_PENDING) {
        if (m_shutdownSent)
            return true;
        m_shutdownSent = true;
    } else {
        m_shutdownSent = false;
    }
    if (m_socket < 0)
        return false;

    // The declared length counts the whole stream, the text's NUL included;
    // only the text up to that NUL is sent.
    const std::string content = message.str();
    const size_t textLength = strnlen(content.data(), content.size());
    std::string frame = "LENGTH:" + std::to_string(content.size()) + "\n\n";
    frame.append(content.data(), textLength);

    // Bytes go out in order: the backlog first, then the frame.
    if (!flush())
        return false;
    size_t written = 0;
    if (m_backlog.empty()) {
        const ssize_t sent = sendSome(frame.data(), frame.size());
        if (sent < 0)
            return false;
        written = static_cast<size_t>(sent);
    }
    const size_t rest = frame.size() - written;
    if (m_backlog.size() + rest > kMaxBacklogBytes) {
        ZTLOG(ZT_LOG_WARN, "Notification client is not reading (%zu bytes waiting)",
              m_backlog.size() + rest);
        m_resetOnClose = true;
        errno = EAGAIN;
        return false;
    }
    m_backlog.append(frame, written, rest);
    m_isNew = false;
    m_bytesSent += static_cast<uint32_t>(frame.size());
    return true;
}

bool SocketNotificationClient::drainInput()
{
    if (m_socket < 0)
        return false;
    char discard[4096];
    // A few reads at most: a peer that floods the connection gets no more
    // of the listener's time per wake-up than that.
    for (int reads = 0; reads < 16;) {
        const ssize_t got = recv(m_socket, discard, sizeof discard, MSG_DONTWAIT);
        if (got > 0) {
            ++reads;
            continue;
        }
        if (got == 0)
            return false;
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    return true;
}

bool SocketNotificationClient::isGone()
{
    if (m_socket < 0)
        return true;
    char byte;
    for (;;) {
        const ssize_t got = recv(m_socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (got > 0)
            return false;
        if (got == 0)
            return true;
        if (errno != EINTR)
            return errno != EAGAIN && errno != EWOULDBLOCK;
    }
}

// ---- MQNotificationClient --------------------------------------------------

MQNotificationClient::MQNotificationClient(const std::string &queueName)
    : NotificationClient(CLIENT_TYPE_MQUEUE), m_queueName(queueName)
{
}

MQNotificationClient::~MQNotificationClient() = default;

bool MQNotificationClient::isGone()
{
    const OpenQueue queue(m_queueName);
    return !queue.ok() && errno == ENOENT;
}

void MQNotificationClient::dump() const
{
    if (g_logLevel < ZT_LOG_DEBUG)
        return;
    ZTLOG(ZT_LOG_DEBUG, "======================");
    ZTLOG(ZT_LOG_DEBUG, "queue_name:%s", m_queueName.c_str());
}

bool MQNotificationClient::Notify(eNotificationType_t /*type*/, std::stringstream &message)
{
    // Opened by name for each delivery rather than once: a descriptor kept
    // open would go on reaching a queue its service deleted (and filling it
    // for nobody), so the client would never fail and would keep its slot
    // for ever. Opened by name, a deleted queue fails here and the client is
    // dropped; a queue created anew under the name is reached. Non-blocking,
    // so that a queue that fills between the depth check and the send below
    // drops the message instead of holding up the worker.
    const OpenQueue queue(m_queueName);
    if (!queue.ok()) {
        ZTLOG(ZT_LOG_ERROR, "mq_open() failed for '%s': %s\n", m_queueName.c_str(),
              strerror(errno));
        return false;
    }
    if (!m_buffer)
        m_buffer.reset(new uint8_t[kBufferSize]);

    const std::string content = message.str();
    int32_t result = 0;
    MsgElement resultElement(TLV_RESULT, &result, sizeof result);
    MsgElement textElement(TLV_RSPARG);
    MsgElement endElement(TLV_END);
    EventMsg event;
    event.addElement(&resultElement);
    if (!content.empty()) {
        // An 'E' element holds at most 65535 bytes; anything longer cannot
        // fit a queue message anyway and fails serialisation below.
        textElement.setData(content.data(), static_cast<uint16_t>(
                                                content.size() > 0xFFFF ? 0xFFFF : content.size()));
        event.addElement(&textElement);
    }
    event.addElement(&endElement);

    MemStream stream(m_buffer.get(), kBufferSize);
    stream << event;
    if (stream.fail() || stream.getLength() == 0) {
        // Larger than one queue message (a full state can be). Sending a cut
        // text would hand the receiver broken JSON, so the message is lost;
        // the client stays and moves on to change messages rather than
        // retrying a full state that will never fit.
        ZTLOG(ZT_LOG_ERROR, "notification of %zu bytes too large for '%s', dropped", content.size(),
              m_queueName.c_str());
        m_isNew = false;
        return true;
    }

    mq_attr attr{};
    if (mq_getattr(queue.get(), &attr) == 0 && attr.mq_curmsgs >= attr.mq_maxmsg) {
        ZTLOG(ZT_LOG_ERROR, "message queue full! dropping message");
        return true;
    }
    if (mq_send(queue.get(), reinterpret_cast<const char *>(m_buffer.get()), stream.getLength(),
                0) != 0) {
        if (errno == EAGAIN) {
            ZTLOG(ZT_LOG_ERROR, "message queue full! dropping message");
            return true;
        }
        ZTLOG(ZT_LOG_ERROR, "mq_send() failed for '%s': %s\n", m_queueName.c_str(),
              strerror(errno));
        return false;
    }
    m_isNew = false;
    return true;
}
