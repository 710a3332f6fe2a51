// Delivery of JSON notifications to TCP socket clients ("LENGTH:" frames) and
// to registered message queues (EventMsg records).
#include "ztPushClient.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
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

}  // namespace

// ---- SocketNotificationClient ---------------------------------------------

SocketNotificationClient::SocketNotificationClient(int fd)
    : NotificationClient(CLIENT_TYPE_SOCKET), m_socket(fd)
{
    timeval limit{};
    limit.tv_sec = kSendTimeoutMs / 1000;
    limit.tv_usec = (kSendTimeoutMs % 1000) * 1000;
    if (m_socket < 0)
        return;
    if (setsockopt(m_socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0)
        ZTLOG(ZT_LOG_ERROR, "setsockopt(SO_SNDTIMEO) failed: %s", strerror(errno));
    const int bufferBytes = kSendBufferBytes;
    if (setsockopt(m_socket, SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes) != 0)
        ZTLOG(ZT_LOG_ERROR, "setsockopt(SO_SNDBUF) failed: %s", strerror(errno));
}

SocketNotificationClient::~SocketNotificationClient()
{
    if (m_socket != -1)
        close(m_socket);
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

    // One blocking send, bounded by SO_SNDTIMEO: a stalled reader gives a
    // short write or EAGAIN, and the caller drops the client.
    ssize_t sent;
    do {
        sent = send(m_socket, frame.data(), frame.size(), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0 || static_cast<size_t>(sent) != frame.size())
        return false;
    m_isNew = false;
    m_bytesSent += static_cast<uint32_t>(frame.size());
    return true;
}

// ---- MQNotificationClient --------------------------------------------------

MQNotificationClient::MQNotificationClient(const std::string &queueName)
    : NotificationClient(CLIENT_TYPE_MQUEUE), m_queueName(queueName)
{
}

MQNotificationClient::~MQNotificationClient()
{
    if (m_queue != (mqd_t)-1)
        mq_close(m_queue);
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
    if (m_queue == (mqd_t)-1) {
        // Non-blocking, so that a queue that fills between the depth check and
        // the send below drops the message instead of holding up the worker.
        m_queue = mq_open(m_queueName.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (m_queue == (mqd_t)-1) {
            ZTLOG(ZT_LOG_ERROR, "mq_open() failed for '%s': %s\n", m_queueName.c_str(),
                  strerror(errno));
            return false;
        }
        if (!m_buffer)
            m_buffer.reset(new uint8_t[kBufferSize]);
    }

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
    if (mq_getattr(m_queue, &attr) == 0 && attr.mq_curmsgs >= attr.mq_maxmsg) {
        ZTLOG(ZT_LOG_ERROR, "message queue full! dropping message");
        return true;
    }
    if (mq_send(m_queue, reinterpret_cast<const char *>(m_buffer.get()), stream.getLength(), 0) !=
        0) {
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
