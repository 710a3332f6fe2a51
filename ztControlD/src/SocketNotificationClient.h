// A notification client on a TCP connection accepted by the notification
// listener. Each message goes out as "LENGTH:" + length + "\n\n" + text, the
// length counting the text's final NUL, which is not sent. Used under the
// registry's m_clientsMutex only (see NotificationClient).
#ifndef SOCKET_NOTIFICATION_CLIENT_H
#define SOCKET_NOTIFICATION_CLIENT_H

#include "NotificationClient.h"

class SocketNotificationClient : public NotificationClient {
public:
    // A peer that stops reading makes a write wait at most this long; the
    // write then fails and the client is dropped, so one stalled receiver
    // never holds up the worker (and every other client) for longer.
    static constexpr int kSendTimeoutMs = 2000;
    // Kernel send buffer of each client. Fixed rather than auto-tuned (which
    // grows to megabytes), so a reader that stopped is found out after a
    // bounded backlog of messages and ten clients cannot pin much memory.
    static constexpr int kSendBufferBytes = 256 * 1024;

    // Takes ownership of the connected socket `fd` (closed by the
    // destructor), bounds its writes by kSendTimeoutMs and its backlog by
    // kSendBufferBytes. Starts paused:
    // socket clients receive messages once the push-notification command
    // resumes them.
    explicit SocketNotificationClient(int fd);
    ~SocketNotificationClient() override;

    // Writes one frame with a single send (MSG_NOSIGNAL: a closed peer is an
    // error, not a signal). Shutdown-pending messages are sent once per
    // episode: a repeat is swallowed (true, nothing written) until a message
    // of another type has been delivered. False on an error or short write.
    bool Notify(eNotificationType_t type, std::stringstream &message) override;

    int getSocket() const { return m_socket; }

private:
    int m_socket;                 // connected TCP socket, -1 when none
    bool m_shutdownSent = false;  // shutdown-pending delivered, nothing since
};

#endif  // SOCKET_NOTIFICATION_CLIENT_H
