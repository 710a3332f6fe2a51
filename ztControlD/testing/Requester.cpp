// Test requester with its own reply queue; see Requester.h.
#include "Requester.h"

#include <fcntl.h>

namespace zttest {

Requester::Requester(std::string queueName, long maxMsg)
    : m_name(queueName.empty() ? uniqueQueueName("req") : std::move(queueName))
{
    mq_unlink(m_name.c_str());  // a stale queue of a killed run would hold old answers
    m_queue = createQueue(m_name, maxMsg);
}

Requester::~Requester()
{
    if (m_queue != (mqd_t)-1) {
        mq_close(m_queue);
        mq_unlink(m_name.c_str());
    }
}

bool Requester::send(const ClientRequest &request)
{
    Bytes msg = buildClientRequest(request, m_name);
    return !msg.empty() && sendRaw(msg.data(), msg.size());
}

std::optional<Reply> Requester::waitReply(std::chrono::milliseconds timeout)
{
    if (!ok())
        return std::nullopt;
    auto bytes = receiveMessage(m_queue, timeout);
    if (!bytes)
        return std::nullopt;
    if (auto reply = parseReply(bytes->data(), bytes->size()))
        return reply;
    Reply garbled;
    garbled.raw = std::move(*bytes);
    return garbled;
}

void Requester::drain()
{
    while (waitReply(std::chrono::milliseconds(0))) {
    }
}

std::optional<Reply> Requester::call(const ClientRequest &request,
                                     std::chrono::milliseconds timeout)
{
    if (!send(request))
        return std::nullopt;
    return waitReply(timeout);
}

std::optional<Reply> Requester::call(uint32_t command, std::chrono::milliseconds timeout)
{
    ClientRequest r;
    r.command = command;
    return call(r, timeout);
}

std::optional<Reply> Requester::call(uint32_t command, const Bytes &arg,
                                     std::chrono::milliseconds timeout)
{
    ClientRequest r;
    r.command = command;
    r.arg = arg;
    return call(r, timeout);
}

}  // namespace zttest
