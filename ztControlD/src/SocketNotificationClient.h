// A notification client on a TCP connection accepted by the notification
// listener. Each message goes out as "LENGTH:" + length + "\n\n" + text, the
// length counting the text's final NUL, which is not sent. Used under the
// registry's m_clientsMutex only (see NotificationClient).
#ifndef SOCKET_NOTIFICATION_CLIENT_H
#define SOCKET_NOTIFICATION_CLIENT_H

#include <sys/types.h>

#include <string>

#include "NotificationClient.h"

class SocketNotificationClient : public NotificationClient {
public:
    // Kernel send buffer of each client. Fixed rather than auto-tuned (which
    // grows to megabytes), so a reader that stopped is found out after a
    // bounded backlog of messages and ten clients cannot pin much memory.
    static constexpr int kSendBufferBytes = 256 * 1024;
    // Bytes kept by the client itself once the kernel buffer is full: the
    // unsent tail of a frame (a frame is never cut, or the reader would lose
    // its framing) and whole frames behind it. A full state is a few KiB and
    // a change message far less, so this holds many messages: a reader that
    // pauses for a moment (a radio link fading) loses nothing. A reader that
    // lets it overflow has stopped; it is dropped rather than waited for, so
    // no receiver ever holds up the worker and with it everyone else.
    static constexpr size_t kMaxBacklogBytes = 64 * 1024;

    // Takes ownership of the connected socket `fd` (closed by the
    // destructor), makes it non-blocking and fixes its kernel buffer at
    // kSendBufferBytes. Starts paused: socket clients receive messages once
    // the push-notification command resumes them.
    explicit SocketNotificationClient(int fd);
    ~SocketNotificationClient() override;

    // Queues one frame behind any backlog and writes what the socket takes
    // now, never waiting (MSG_NOSIGNAL: a closed peer is an error, not a
    // signal). Shutdown-pending messages are sent once per episode: a repeat
    // is swallowed (true, nothing written) until a message of another type
    // has been delivered. False on a socket error, or when the frame would
    // take the backlog past kMaxBacklogBytes (errno EAGAIN; the connection
    // is then reset when the client is destroyed, freeing its buffers).
    bool Notify(eNotificationType_t type, std::stringstream &message) override;

    // Writes as much of the backlog as the socket takes now; false on a
    // socket error. For the listener, when the socket became writable.
    bool flush();
    bool hasBacklog() const { return !m_backlog.empty(); }
    // Reads and discards what the peer sent (a notification client has
    // nothing to say on this connection), a bounded amount per call. False
    // when the peer closed the connection (end of stream) or it failed.
    bool drainInput();
    // True when the connection has ended (looks without reading data).
    bool isGone() override;

    int getSocket() const { return m_socket; }

private:
    // Sends from `data` without waiting: bytes written, 0 when the socket
    // takes nothing now, -1 on an error.
    ssize_t sendSome(const char *data, size_t length);

    int m_socket;                 // connected TCP socket, -1 when none
    bool m_shutdownSent = false;  // shutdown-pending delivered, nothing since
    bool m_resetOnClose = false;  // dropped for not reading: reset, do not linger
    std::string m_backlog;        // bytes not yet taken by the socket, in order
};

#endif  // SOCKET_NOTIFICATION_CLIENT_H
