// ztctl watch: a notification client on the daemon's TCP port that prints
// each "LENGTH:" framed message as it arrives. Used by one thread.
#ifndef ZTCTL_NOTIFY_WATCHER_H
#define ZTCTL_NOTIFY_WATCHER_H

#include <stdint.h>

#include <cstdio>
#include <string>

namespace ztctl {

class NotifyWatcher {
public:
    NotifyWatcher() = default;
    ~NotifyWatcher();
    NotifyWatcher(const NotifyWatcher &) = delete;
    NotifyWatcher &operator=(const NotifyWatcher &) = delete;

    // Connects to 127.0.0.1:port. False with the reason in error().
    bool connect(uint16_t port);
    // Prints messages to `out` until `count` have arrived (0: no limit), no
    // message came for `idleMs`, or the daemon closed the connection.
    // Returns the number printed; error() tells a malformed frame.
    unsigned run(FILE *out, unsigned count, unsigned idleMs);
    const std::string &error() const { return m_error; }

private:
    // Reads until m_pending holds `n` bytes; false on time-out or end.
    bool fill(size_t n, unsigned idleMs);

    int m_fd = -1;
    std::string m_pending;
    std::string m_error;
};

}  // namespace ztctl

#endif  // ZTCTL_NOTIFY_WATCHER_H
