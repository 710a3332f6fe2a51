// One receiver of the daemon's JSON notifications, behind which the status
// poll offers every message to each client the same way. The registry owns
// clients through base pointers and destroys them through the virtual
// destructor. Every member is used under the registry's m_clientsMutex, by
// whichever thread holds it (the notification listener adding clients and
// watching their connections, the worker pausing, resuming and notifying
// them).
#ifndef NOTIFICATION_CLIENT_H
#define NOTIFICATION_CLIENT_H

#include <stdint.h>

#include <chrono>
#include <sstream>

class NotificationClient {
public:
    // Kinds of message handed to Notify.
    enum eNotificationType_t {
        NOTIFICATION_TYPE_STATE = 2,             // status/settings changes or the full state
        NOTIFICATION_TYPE_SHUTDOWN_PENDING = 3,  // the camera is about to power off
    };

    // Values of m_clientType.
    enum : uint32_t {
        CLIENT_TYPE_SOCKET = 1,
        CLIENT_TYPE_MQUEUE = 2,
    };

    NotificationClient(const NotificationClient &) = delete;
    NotificationClient &operator=(const NotificationClient &) = delete;
    virtual ~NotificationClient() = default;

    // Pausing takes the client out of the listeners that make the poll run
    // and marks it new, so that once it receives messages again the first is
    // the full state.
    virtual void Pause(bool paused)
    {
        m_paused = paused;
        if (paused)
            m_isNew = true;
        else
            m_everResumed = true;
    }
    virtual bool isPaused() const { return m_paused; }
    // True once the client has been resumed at least once (a queue client
    // at its registration, a socket client by the push-notification
    // switch). A full registry may give the slot of a client that never was
    // to a newcomer.
    bool everResumed() const { return m_everResumed; }
    // When the client was created (connected or registered).
    std::chrono::steady_clock::time_point since() const { return m_since; }

    // True when the receiver is known to be gone for good (the connection
    // was closed, the queue deleted), so its slot can be freed without
    // waiting for a delivery to fail. Looks without blocking.
    virtual bool isGone() { return false; }

    // Delivers one message: the JSON text followed by one NUL byte (the
    // stream's content size counts that NUL). Returns true while the client
    // stays usable (delivered, or a message deliberately not delivered),
    // false when delivery failed and the caller should drop the client. A
    // successful delivery clears the new flag.
    virtual bool Notify(eNotificationType_t type, std::stringstream &message) = 0;

    uint32_t getBytesSent() const { return m_bytesSent; }
    uint32_t getClientType() const { return m_clientType; }
    // The client must receive the full state before any change message.
    bool isNew() const { return m_isNew; }

protected:
    explicit NotificationClient(uint32_t clientType) : m_clientType(clientType) {}

    uint32_t m_bytesSent = 0;  // socket clients: bytes of frames accepted for sending
    uint32_t m_clientType;     // CLIENT_TYPE_SOCKET or CLIENT_TYPE_MQUEUE
    bool m_isNew = true;       // cleared by each successful delivery
    bool m_paused = true;      // a paused client does not make the poll run
    bool m_everResumed = false;
    std::chrono::steady_clock::time_point m_since = std::chrono::steady_clock::now();
};

#endif  // NOTIFICATION_CLIENT_H
