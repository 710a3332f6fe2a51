// Command server, registry of notification clients: adding clients (from the
// notification listener on the main thread), registering queue clients and
// switching socket notifications for the registry commands, and fan-out that
// drops failing clients.
// Every access to m_notificationClients holds m_clientsMutex; the worker
// takes it inside m_commandMutex, never the other way round.
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "camera_settings.h"
#include "utils.h"
#include "ztcontrol_bytes.h"
#include "ztErrno.h"
#include "ztcontrol_if_server.h"

bool ZtcontrolCommandServer::addNotificationClient(NotificationClient *client)
{
    Lock hold(m_clientsMutex);
    if (m_notificationClients.size() >= kMaxClients) {
        ZTLOG(ZT_LOG_ERROR, "Too many push clients connected, rejecting!");
        return false;
    }
    m_notificationClients.push_back(client);
    ZTLOG(ZT_LOG_DEBUG, "Total PUSH_NOTIFICATION clients connected:%d",
          (int)m_notificationClients.size());
    return true;
}

int ZtcontrolCommandServer::ConfigureSocketNotifications(unsigned char *params)
{
    char value[32];
    if (!params ||
        parseParam(reinterpret_cast<const char *>(params), "status=", value, sizeof(value)) < 0)
        return ZT_ERR_INVALID_PARAM;
    // An empty or non-numeric value reads as 0; the test is unsigned, so
    // negative values are refused like anything else but 0 and 1.
    const unsigned long status = static_cast<unsigned long>(strtol(value, nullptr, 10));
    if (status > 1)
        return ZT_ERR_INVALID_PARAM;

    Lock hold(m_clientsMutex);
    for (NotificationClient *client : m_notificationClients) {
        if (client && client->getClientType() == NotificationClient::CLIENT_TYPE_SOCKET)
            client->Pause(status == 0);
    }
    return ZT_OK;
}

int ZtcontrolCommandServer::registerQueueClient(const std::string &queueName)
{
    {
        Lock hold(m_clientsMutex);
        for (NotificationClient *client : m_notificationClients) {
            if (client && client->getClientType() == NotificationClient::CLIENT_TYPE_MQUEUE &&
                static_cast<MQNotificationClient *>(client)->getQueueName() == queueName) {
                client->Pause(false);
                return ZT_OK;
            }
        }
    }
    MQNotificationClient *client = new MQNotificationClient(queueName);
    if (!addNotificationClient(client)) {
        ZTLOG(ZT_LOG_ERROR, "Unable to add client");
        delete client;
        return ZT_ERR;
    }
    Lock hold(m_clientsMutex);
    client->Pause(false);
    return ZT_OK;
}

void ZtcontrolCommandServer::unregisterQueueClient(const std::string &queueName)
{
    Lock hold(m_clientsMutex);
    for (auto it = m_notificationClients.begin(); it != m_notificationClients.end(); ++it) {
        NotificationClient *client = *it;
        if (client && client->getClientType() == NotificationClient::CLIENT_TYPE_MQUEUE &&
            static_cast<MQNotificationClient *>(client)->getQueueName() == queueName) {
            delete client;
            m_notificationClients.erase(it);
            return;
        }
    }
}

// Deliveries are bounded by the clients themselves (a socket write waits at
// most about 2 s, a full queue drops the message), so one stalled receiver
// costs one bounded wait and is then dropped; it never stalls the worker for
// good or starves the other clients.
size_t ZtcontrolCommandServer::deliverToClients(NotificationClient::eNotificationType_t type,
                                                std::stringstream &message, Recipients recipients)
{
    size_t removed = 0;
    for (size_t i = 0; i < m_notificationClients.size();) {
        NotificationClient *client = m_notificationClients[i];
        const bool wanted = recipients == Recipients::All ||
                            (client && client->isNew() == (recipients == Recipients::OnlyNew));
        if (!wanted || (client && client->Notify(type, message))) {
            ++i;
            continue;
        }
        ZTLOG(ZT_LOG_WARN, "Failed to send notifications to client, removing client! [%s]",
              strerror(errno));
        delete client;
        // The walk goes on with the client that moved into this position.
        m_notificationClients.erase(m_notificationClients.begin() + static_cast<long>(i));
        ++removed;
    }
    return removed;
}

size_t ZtcontrolCommandServer::clientCount()
{
    Lock hold(m_clientsMutex);
    return m_notificationClients.size();
}

size_t ZtcontrolCommandServer::activeClientCount()
{
    Lock hold(m_clientsMutex);
    size_t active = 0;
    for (NotificationClient *client : m_notificationClients)
        if (client && !client->isPaused())
            ++active;
    return active;
}
