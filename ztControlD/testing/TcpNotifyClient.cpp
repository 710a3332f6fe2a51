// TCP notification client for tests; see TcpNotifyClient.h.
#include "TcpNotifyClient.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace zttest {

using Clock = std::chrono::steady_clock;

namespace {

int msLeft(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

TcpNotifyClient::~TcpNotifyClient()
{
    close();
}

void TcpNotifyClient::close()
{
    if (m_fd >= 0) {
        // Abortive close (RST): the daemon's end of the connection ends at once
        // instead of lingering in TIME_WAIT on port 8081, which would make the
        // next daemon's bind fail (its listener sets no address reuse).
        linger abort{1, 0};
        setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        ::close(m_fd);
    }
    m_fd = -1;
    m_pending.clear();
    m_eof = false;
}

bool TcpNotifyClient::connect(std::chrono::milliseconds timeout, uint16_t port, int receiveBuffer)
{
    close();
    auto deadline = Clock::now() + timeout;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (;;) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            m_error = std::string("socket: ") + strerror(errno);
            return false;
        }
        if (receiveBuffer > 0)
            setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) {
            m_fd = fd;
            return true;
        }
        m_error = std::string("connect: ") + strerror(errno);
        ::close(fd);
        // Only a listener that is not up yet is worth another try.
        if (errno != ECONNREFUSED || msLeft(deadline) == 0)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool TcpNotifyClient::fill(size_t n, Clock::time_point deadline)
{
    char buf[4096];
    while (m_pending.size() < n) {
        if (m_fd < 0 || m_eof)
            return false;
        pollfd p{m_fd, POLLIN, 0};
        int r = poll(&p, 1, msLeft(deadline));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            m_error = "time-out";
            return false;
        }
        ssize_t got = recv(m_fd, buf, sizeof buf, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            m_eof = true;
            m_error = got == 0 ? "end of stream" : std::string("recv: ") + strerror(errno);
            return false;
        }
        m_pending.append(buf, static_cast<size_t>(got));
    }
    return true;
}

std::optional<Frame> TcpNotifyClient::readFrame(std::chrono::milliseconds timeout)
{
    static const std::string kTag = "LENGTH:";
    auto deadline = Clock::now() + timeout;
    if (!fill(kTag.size(), deadline))
        return std::nullopt;
    if (m_pending.compare(0, kTag.size(), kTag) != 0) {
        m_error = "frame does not start with LENGTH: " + m_pending.substr(0, 32);
        return std::nullopt;
    }
    // Digits up to the blank line; a length has at most a few digits.
    size_t end;
    for (;;) {
        end = m_pending.find("\n\n", kTag.size());
        if (end != std::string::npos)
            break;
        if (m_pending.size() > kTag.size() + 12) {
            m_error = "no blank line after the length";
            return std::nullopt;
        }
        if (!fill(m_pending.size() + 1, deadline))
            return std::nullopt;
    }
    std::string digits = m_pending.substr(kTag.size(), end - kTag.size());
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        m_error = "bad length '" + digits + "'";
        return std::nullopt;
    }
    Frame frame;
    frame.declaredLength = std::stoul(digits);
    size_t bodyLength = frame.declaredLength > 0 ? frame.declaredLength - 1 : 0;
    size_t headerLength = end + 2;
    if (!fill(headerLength + bodyLength, deadline))
        return std::nullopt;
    frame.body = m_pending.substr(headerLength, bodyLength);
    m_pending.erase(0, headerLength + bodyLength);
    return frame;
}

std::string TcpNotifyClient::readRaw(size_t maxBytes, std::chrono::milliseconds timeout)
{
    fill(maxBytes, Clock::now() + timeout);
    std::string out = m_pending.substr(0, maxBytes);
    m_pending.erase(0, out.size());
    return out;
}

bool TcpNotifyClient::waitClosedByPeer(std::chrono::milliseconds timeout)
{
    auto deadline = Clock::now() + timeout;
    for (;;) {
        m_pending.clear();
        if (m_eof)
            return true;
        if (m_fd < 0)
            return false;
        if (!fill(1, deadline) && !m_eof)
            return false;
    }
}

}  // namespace zttest
