// A notification client that is a local service's POSIX message queue,
// registered by ZTCONTROL_EVENT_REGISTER_MQUEUE. Each message goes out as an
// EventMsg (category 22: result 0, the JSON text with its NUL, end). Used
// under the registry's m_clientsMutex only (see NotificationClient).
#ifndef MQ_NOTIFICATION_CLIENT_H
#define MQ_NOTIFICATION_CLIENT_H

#include <mqueue.h>
#include <stdint.h>

#include <memory>
#include <string>

#include "NotificationClient.h"

class MQNotificationClient : public NotificationClient {
public:
    // The queue is opened at each delivery, not here: a service may
    // register before it has created its queue.
    explicit MQNotificationClient(const std::string &queueName);
    ~MQNotificationClient() override;

    // Opens the queue by name (false when it cannot be opened, for example
    // because it was deleted) and posts the EventMsg without ever blocking:
    // on a full queue the message is dropped and the client kept (true).
    // False when the send fails otherwise.
    bool Notify(eNotificationType_t type, std::stringstream &message) override;
    // True when no queue of that name exists (any longer).
    bool isGone() override;

    // Logs the queue name at the debug level.
    void dump() const;

    const std::string &getQueueName() const { return m_queueName; }

private:
    std::string m_queueName;              // as registered
    std::unique_ptr<uint8_t[]> m_buffer;  // 1500-byte serialisation buffer
};

#endif  // MQ_NOTIFICATION_CLIENT_H
