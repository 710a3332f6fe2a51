// ztctl watch: a notification client of the daemon that prints each
// notification as it arrives. It listens either on the daemon's TCP port
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
    // connection is refused (a daemon that is still starting). False with
    // the reason in error().
    bool connect(uint16_t port, unsigned retryMs = 0);
    // Creates the queue `name` for reading (it must not exist yet, so two
    // watchers never share one). False with the reason in error().
    bool openQueue(const std::string &name);

    // Prints messages to `out` until `count` have arrived (0: no limit), none
    // came for `idleMs` (0: no limit), the daemon closed the connection or a
    // signal interrupted the wait. `raw` prints each text on one line as it
    // came; otherwise each gets a time-stamped heading and indented JSON.
    // Returns the number printed; error() tells a malformed message.
    unsigned run(FILE *out, unsigned count, unsigned idleMs, bool raw);
    const std::string &error() const { return m_error; }

    // Makes run() return at its next check (within kStopCheckMs). Safe to
    // call from a signal handler: a signal that lands between two waits is
    // not lost.
    static void requestStop();
    // True when the connection has bytes to read within `ms` (nothing is
    // consumed); false on time-out or stop.
    bool awaitData(unsigned ms) { return m_fd >= 0 && waitReadable(m_fd, ms); }
    static constexpr unsigned kStopCheckMs = 200;

    // The readable form of one notification text: a heading line with the
    // local time `stamp` and the kind of message (full state, changes,
    // shutdown pending), then the JSON indented by two blanks per level. A
    // full state, whose status and settings members the daemon sends as one
    // flat list split by a line break, is shown as two objects "status" and
    // "settings".
    static std::string formatNotification(const std::string &text, const std::string &stamp);
    // `text` indented by two blanks per level, one member per line. Text that
    // is not an object is returned as it is.
    static std::string prettyJson(const std::string &text);

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
};

}  // namespace ztctl

#endif  // ZTCTL_NOTIFY_WATCHER_H
