// Queue notification receiver for tests; see QueueNotifyReader.h.
#include "QueueNotifyReader.h"

#include <algorithm>

namespace zttest {

QueueNotifyReader::QueueNotifyReader(std::string name, long maxMsg, bool create)
    : m_name(name.empty() ? uniqueQueueName("evt") : std::move(name)), m_maxMsg(maxMsg)
{
    mq_unlink(m_name.c_str());
    if (create)
        this->create();
}

QueueNotifyReader::~QueueNotifyReader()
{
    if (m_queue != (mqd_t)-1)
        mq_close(m_queue);
    mq_unlink(m_name.c_str());
}

bool QueueNotifyReader::create()
{
    if (m_queue == (mqd_t)-1)
        m_queue = createQueue(m_name, m_maxMsg);
    return ok();
}

std::optional<QueueEvent> QueueNotifyReader::receive(std::chrono::milliseconds timeout)
{
    if (!ok())
        return std::nullopt;
    auto bytes = receiveMessage(m_queue, timeout);
    if (!bytes)
        return std::nullopt;
    QueueEvent event;
    auto reply = parseReply(bytes->data(), bytes->size());
    if (!reply)
        return event;  // category 0, no text: the test sees a garbled message
    event.category = reply->category;
    event.result = reply->result;
    event.hasText = reply->hasPayload;
    event.textLength = reply->payload.size();
    event.text = reply->payloadText();
    return event;
}

long QueueNotifyReader::depth() const
{
    mq_attr attr{};
    if (!ok() || mq_getattr(m_queue, &attr) != 0)
        return -1;
    return attr.mq_curmsgs;
}

void QueueNotifyReader::drain()
{
    while (receive(std::chrono::milliseconds(0))) {
    }
}

}  // namespace zttest
