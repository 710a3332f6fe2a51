// The real daemon and a TCP notification client for tests; see DaemonHarness.h.
#include "DaemonHarness.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "ztErrno.h"
#include "ztcontrol_commands.h"

namespace zttest {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

milliseconds leftUntil(Clock::time_point deadline)
{
    return std::max(std::chrono::duration_cast<milliseconds>(deadline - Clock::now()),
                    milliseconds(0));
}

}  // namespace

bool tcpPortInState(uint16_t port, const char *state)
{
    std::ifstream tcp("/proc/net/tcp");
    char wanted[8];
    snprintf(wanted, sizeof wanted, ":%04X", port);
    std::string line, slot, local, remote, st;
    std::getline(tcp, line);  // column titles
    while (std::getline(tcp, line)) {
        std::istringstream fields(line);
        if (fields >> slot >> local >> remote >> st && st == state && local.size() > 5 &&
            local.compare(local.size() - 5, 5, wanted) == 0)
            return true;
    }
    return false;
}

bool waitUntil(const std::function<bool()> &ready, milliseconds timeout,
               const std::function<bool()> &alive)
{
    const auto deadline = Clock::now() + timeout;
    while (!ready()) {
        if ((alive && !alive()) || Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(milliseconds(20));
    }
    return true;
}

std::string DaemonHarness::binDir()
{
    const char *dir = getenv("ZT_BIN_DIR");
    return dir && *dir ? dir : "bin";
}

DaemonHarness::~DaemonHarness()
{
    if (pid() <= 0)
        return;
    auto status = isRunning() ? kill() : waitExit(milliseconds(0));
    // An orderly stop unlinks the daemon's queues; anything else may leave them.
    if (!status || !status->ok()) {
        mq_unlink("/to_ztCtlD");
        mq_unlink("/to_ztCtlD2");
    }
}

Requester &DaemonHarness::requester()
{
    if (!m_requester)
        m_requester.emplace();
    return *m_requester;
}

bool DaemonHarness::waitReady(milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    Requester &req = requester();
    auto alive = [this] { return isRunning(); };
    // The command queue appears once the server has opened its interface; the
    // listener opens after the worker announced itself (up to a second later).
    if (!req.ok() || !waitUntil(
                         [&] {
                             return req.send({ZTCONTROL_EVENT_FILTER_IN, {}, {}});
                         },
                         leftUntil(deadline), alive))
        return false;
    auto reply = req.waitReply(leftUntil(deadline));
    return reply && reply->hasResult &&
           waitUntil([] { return tcpPortInState(kNotifyPort, "0A"); }, leftUntil(deadline), alive);
}

std::optional<ExitStatus> DaemonHarness::stop(milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    requester().drain();
    auto reply = requester().call(ZTCONTROL_CMD_LAST, leftUntil(deadline));
    if (!reply || !reply->hasResult || reply->result != ZT_OK)
        return std::nullopt;
    return waitExit(leftUntil(deadline));
}

void TcpNotifyClient::close(bool reset)
{
    if (m_fd >= 0 && reset) {
        linger abort{1, 0};  // RST instead of FIN: nothing lingers on port 8081
        setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_pending.clear();
    m_eof = false;
}

bool TcpNotifyClient::connect(milliseconds timeout, uint16_t port, int receiveBuffer)
{
    close();
    const auto deadline = Clock::now() + timeout;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (;;) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receiveBuffer > 0)
            setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) {
            m_fd = fd;
            return true;
        }
        m_error = std::string("connect: ") + strerror(errno);
        ::close(fd);
        // Only a listener that is not up yet is worth another try.
        if (errno != ECONNREFUSED || Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(milliseconds(20));
    }
}

bool TcpNotifyClient::fill(size_t n, Clock::time_point deadline)
{
    char buf[4096];
    while (m_pending.size() < n) {
        if (m_fd < 0 || m_eof)
            return false;
        pollfd p{m_fd, POLLIN, 0};
        const int r = poll(&p, 1, static_cast<int>(leftUntil(deadline).count()));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            m_error = "time-out";
            return false;
        }
        const ssize_t got = recv(m_fd, buf, sizeof buf, 0);
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

std::optional<Frame> TcpNotifyClient::readFrame(milliseconds timeout)
{
    static const std::string kTag = "LENGTH:";
    const auto deadline = Clock::now() + timeout;
    if (!fill(kTag.size(), deadline))
        return std::nullopt;
    size_t end = std::string::npos;
    // Digits up to the blank line; a length has at most a few digits.
    while (m_pending.compare(0, kTag.size(), kTag) == 0 &&
           (end = m_pending.find("\n\n", kTag.size())) == std::string::npos &&
           m_pending.size() <= kTag.size() + 12)
        if (!fill(m_pending.size() + 1, deadline))
            return std::nullopt;
    const std::string digits =
        end == std::string::npos ? "" : m_pending.substr(kTag.size(), end - kTag.size());
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        m_error = "bad frame head: " + m_pending.substr(0, 32);
        return std::nullopt;
    }
    Frame frame;
    frame.declaredLength = std::stoul(digits);
    const size_t bodyLength = frame.declaredLength > 0 ? frame.declaredLength - 1 : 0;
    if (!fill(end + 2 + bodyLength, deadline))
        return std::nullopt;
    frame.body = m_pending.substr(end + 2, bodyLength);
    m_pending.erase(0, end + 2 + bodyLength);
    return frame;
}

bool TcpNotifyClient::waitClosedByPeer(milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        m_pending.clear();
        if (m_eof)
            return true;
        if (m_fd < 0 || (!fill(1, deadline) && !m_eof))
            return false;
    }
}

}  // namespace zttest
