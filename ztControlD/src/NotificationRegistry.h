// What the registry commands (register a queue client, switch socket
// notifications) may do to the notification clients. The command server
// implements it; the registry commands call it on the worker thread with
// m_commandMutex held, never with m_clientsMutex held.
#ifndef ZTCONTROL_NOTIFICATION_REGISTRY_H
#define ZTCONTROL_NOTIFICATION_REGISTRY_H

#include <string>

#include "NotificationClient.h"

class NotificationRegistry {
public:
    virtual ~NotificationRegistry() = default;
    // Takes ownership of client when it returns true; the caller keeps it
    // otherwise.
    virtual bool addNotificationClient(NotificationClient *client) = 0;
    // Applies a "status=0|1" parameter text to every socket client;
    // ZT_OK or ZT_ERR_INVALID_PARAM.
    virtual int ConfigureSocketNotifications(unsigned char *params) = 0;
    // Registers a queue client by name, or resumes the one already
    // registered under it; ZT_OK or ZT_ERR when the registry is full.
    virtual int registerQueueClient(const std::string &queueName) = 0;
    // Drops the queue client of that name, if any.
    virtual void unregisterQueueClient(const std::string &queueName) = 0;
};

#endif  // ZTCONTROL_NOTIFICATION_REGISTRY_H
