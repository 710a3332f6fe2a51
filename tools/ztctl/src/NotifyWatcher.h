// ztctl watch and top: a notification client of the daemon that hands out
// each notification text as it arrives. It listens either on the daemon's TCP port
// ("LENGTH:" framed texts) or on a message queue of its own that the caller
// registers with the daemon (category-22 records whose element 'E' holds the
// text). Used by one thread; a signal interrupts its waits.
#ifndef ZTCTL_NOTIFY_WATCHER_H
#define ZTCTL_NOTIFY_WATCHER_H

#include <mqueue.h>
#include <stdint.h>

#include <cstdio>
#include <optional>
#include <string>

namespace ztctl {

class NotifyWatcher {
public:
    NotifyWatcher() = default;
    // Closes the connection; closes and removes a queue it created.
    ~NotifyWatcher();
    NotifyWatcher(const NotifyWatcher &) = delete;
    NotifyWatcher &operator=(const NotifyWatcher &) = delete;

    // Connects to 127.0.0.1:port, trying again for up to retryMs while the
    // connection is refused (a daemon that is still starting); a connection
    // held before is closed first. False with the reason in error().
    bool connect(uint16_t port, unsigned retryMs = 0);
    // Creates the queue `name` for reading (it must not exist yet, so two
    // watchers never share one). False with the reason in error().
    bool openQueue(const std::string &name);

    // The next notification text: nothing when none came for `idleMs` (0: no
    // limit), the daemon closed the connection (then closed() is true), a
    // stop was requested or a message was malformed (then error() tells).
    std::optional<std::string> next(unsigned idleMs);
    bool closed() const { return m_closed; }
    const std::string &error() const { return m_error; }
    static bool stopRequested();

    // Makes run() return at its next check (within kStopCheckMs). Safe to
    // call from a signal handler: a signal that lands between two waits is
    // not lost.
    static void requestStop();
    // True when the connection has bytes to read within `ms` (nothing is
    // consumed); false on time-out or stop.
    bool awaitData(unsigned ms) { return m_fd >= 0 && waitReadable(m_fd, ms); }
    static constexpr unsigned kStopCheckMs = 200;

    // Local time with milliseconds, "HH:MM:SS.mmm".
    static std::string timeStamp();

private:
    // The next text: nothing on time-out, end, interruption or a malformed
    // message (then error() is set).
    std::optional<std::string> nextFromSocket(unsigned idleMs);
    std::optional<std::string> nextFromQueue(unsigned idleMs);
    // Reads until m_pending holds `n` bytes; false on time-out, end or stop.
    bool fill(size_t n, unsigned idleMs);
    // Waits for the next receive, in slices so that a stop request is seen:
    // true when the socket or queue has data, false on stop or idle time-out.
    bool waitReadable(int fd, unsigned idleMs);

    int m_fd = -1;
    mqd_t m_queue = (mqd_t)-1;
    std::string m_queueName;
    std::string m_pending;
    std::string m_error;
    bool m_closed = false;
};

}  // namespace ztctl

#endif  // ZTCTL_NOTIFY_WATCHER_H
