// ztctl's notification watcher; see NotifyWatcher.h.
#include "NotifyWatcher.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ztctl {

NotifyWatcher::~NotifyWatcher() {
    if (m_fd >= 0) close(m_fd);
}

bool NotifyWatcher::connect(uint16_t port) {
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        m_error = std::string("socket: ") + strerror(errno);
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        m_error = "cannot connect to port " + std::to_string(port) + ": " + strerror(errno);
        return false;
    }
    return true;
}

bool NotifyWatcher::fill(size_t n, unsigned idleMs) {
    char buf[4096];
    while (m_pending.size() < n) {
        pollfd p{m_fd, POLLIN, 0};
        const int r = poll(&p, 1, static_cast<int>(idleMs));
        if (r < 0 && errno == EINTR) return false;  // a signal ends the watch
        if (r <= 0) return false;
        const ssize_t got = recv(m_fd, buf, sizeof buf, 0);
        if (got <= 0) return false;
        m_pending.append(buf, static_cast<size_t>(got));
    }
    return true;
}

unsigned NotifyWatcher::run(FILE *out, unsigned count, unsigned idleMs) {
    static const std::string kTag = "LENGTH:";
    unsigned printed = 0;
    while (count == 0 || printed < count) {
        if (!fill(kTag.size(), idleMs)) break;
        if (m_pending.compare(0, kTag.size(), kTag) != 0) {
            m_error = "malformed frame";
            break;
        }
        size_t blank;
        while ((blank = m_pending.find("\n\n")) == std::string::npos) {
            if (m_pending.size() > kTag.size() + 12 || !fill(m_pending.size() + 1, idleMs)) {
                m_error = "malformed frame";
                return printed;
            }
        }
        const std::string digits = m_pending.substr(kTag.size(), blank - kTag.size());
        if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) {
            m_error = "malformed frame length '" + digits + "'";
            break;
        }
        // The declared length counts the text's final NUL, which is not sent.
        const size_t declared = std::stoul(digits);
        const size_t body = declared > 0 ? declared - 1 : 0;
        if (!fill(blank + 2 + body, idleMs)) break;
        fprintf(out, "%s\n", m_pending.substr(blank + 2, body).c_str());
        fflush(out);
        m_pending.erase(0, blank + 2 + body);
        ++printed;
    }
    return printed;
}

}  // namespace ztctl
