// Command server, registry of notification clients: adding clients (from the
// notification listener on the main thread), freeing slots of a full
// registry, watching the socket clients' connections for the listener,
// registering queue clients and switching socket notifications for the
// registry commands, and fan-out that drops failing clients.
// Every access to m_notificationClients holds m_clientsMutex; the worker
// takes it inside m_commandMutex, never the other way round.
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <string>

#include "camera_settings.h"
#include "utils.h"
#include "ztcontrol_bytes.h"
#include "ztErrno.h"
#include "ztcontrol_if_server.h"

bool ZtcontrolCommandServer::makeRoom()
{
    // Clients known to be gone first: a closed connection the listener has
    // not seen yet, a queue deleted while nothing was delivered to it.
    for (size_t i = 0; i < m_notificationClients.size();) {
        NotificationClient *client = m_notificationClients[i];
        if (client && !client->isGone()) {
            ++i;
            continue;
        }
        ZTLOG(ZT_LOG_WARN, "Notification client is gone, freeing its slot");
        delete client;
        m_notificationClients.erase(m_notificationClients.begin() + static_cast<long>(i));
    }
    if (m_notificationClients.size() < kMaxClients)
        return true;

    // Then the oldest that never resumed and has had its grace: connected
    // and never asked for anything, it is using a slot a newcomer needs.
    const auto cutoff =
        std::chrono::steady_clock::now() - std::chrono::seconds(kResumeGraceSeconds);
    for (auto it = m_notificationClients.begin(); it != m_notificationClients.end(); ++it) {
        NotificationClient *client = *it;
        if (client->everResumed() || client->since() > cutoff)
            continue;
        ZTLOG(ZT_LOG_WARN,
              "Registry full: a client that never resumed gives its slot to a new one");
        delete client;
        m_notificationClients.erase(it);
        return true;
    }
    return false;
}

bool ZtcontrolCommandServer::addNotificationClient(NotificationClient *client)
{
    Lock hold(m_clientsMutex);
    if (m_notificationClients.size() >= kMaxClients && !makeRoom()) {
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

// No delivery ever waits: a socket client keeps what its connection does not
// take in a bounded backlog and fails once that overflows, a full queue drops
// the message. A stalled receiver is dropped, never waited for, so it cannot
// hold up the worker or the other clients.
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

void ZtcontrolCommandServer::watchSocketClients(std::vector<pollfd> &watch)
{
    Lock hold(m_clientsMutex);
    for (NotificationClient *client : m_notificationClients) {
        if (!client || client->getClientType() != NotificationClient::CLIENT_TYPE_SOCKET)
            continue;
        auto *socketClient = static_cast<SocketNotificationClient *>(client);
        if (socketClient->getSocket() < 0)
            continue;
        const short events = socketClient->hasBacklog() ? POLLIN | POLLOUT : POLLIN;
        watch.push_back({socketClient->getSocket(), events, 0});
    }
}

// The worker may have dropped a watched client (and closed its descriptor)
// while the listener polled, and the descriptor may since have been reused,
// but never by another socket client: only the listener adds those, after
// this. So an entry that matches no socket client now is stale and skipped.
void ZtcontrolCommandServer::serviceSocketClients(const std::vector<pollfd> &watch)
{
    Lock hold(m_clientsMutex);
    for (const pollfd &entry : watch) {
        if (!(entry.revents & (POLLIN | POLLOUT | POLLHUP | POLLERR)))
            continue;
        for (size_t i = 0; i < m_notificationClients.size(); ++i) {
            NotificationClient *client = m_notificationClients[i];
            if (!client || client->getClientType() != NotificationClient::CLIENT_TYPE_SOCKET ||
                static_cast<SocketNotificationClient *>(client)->getSocket() != entry.fd)
                continue;
            auto *socketClient = static_cast<SocketNotificationClient *>(client);
            // A hang-up or a pending error ends the connection whatever
            // is left to read; input is read only to find its end.
            const bool ended = (entry.revents & (POLLHUP | POLLERR)) ||
                               ((entry.revents & POLLIN) && !socketClient->drainInput());
            if (ended) {
                ZTLOG(ZT_LOG_WARN, "Notification client closed the connection, removing client");
            } else if ((entry.revents & POLLOUT) && !socketClient->flush()) {
                ZTLOG(ZT_LOG_WARN, "Notification client connection failed, removing client [%s]",
                      strerror(errno));
            } else {
                break;
            }
            delete client;
            m_notificationClients.erase(m_notificationClients.begin() + static_cast<long>(i));
            break;
        }
    }
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
