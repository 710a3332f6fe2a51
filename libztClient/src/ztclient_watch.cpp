// Notification watches: the daemon's TCP port ("LENGTH:" frames) or a
// registered queue (category-22 records whose element 'E' holds the text).
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "ClientState.h"
#include "ztTlv.h"
#include "ztcontrol_commands.h"

using Clock = std::chrono::steady_clock;

struct ztclient_watch_handle {
    ztclient_t *client = nullptr;
    int fd = -1;
    mqd_t queue = (mqd_t)-1;
    std::string queueName;
    std::string pending;  // socket bytes not yet part of a returned frame
    std::string text;     // the last notification's text
    std::vector<ztclient_item_t> items;
    // The daemon adds a connection on its accept thread, possibly after it
    // handled our switch, which leaves the connection paused; the switch is
    // sent again until the first notification arrives.
    bool heardFromDaemon = false;
    int switchesSent = 0;
    Clock::time_point lastSwitch;
};

namespace {

constexpr uint16_t kNotifyPort = 8081;
constexpr long kEventQueueDepth = 10;
// Larger than any message the daemon sends, so none is refused for size.
constexpr long kEventMessageSize = 4096;
constexpr int kSwitchAttempts = 5;
constexpr auto kSwitchInterval = std::chrono::seconds(1);

int remainingMs(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

int registerQueue(ztclient_t *client, const std::string &name, bool on, unsigned deadlineMs)
{
    std::vector<uint8_t> arg(kZtRegisterArgNameOffset, 0);
    arg[kZtRegisterArgFlagOffset] = on ? 1 : 0;
    arg.insert(arg.end(), name.begin(), name.end());
    arg.push_back(0);
    return ztclient_internal::exchange(client, ZTCONTROL_EVENT_REGISTER_MQUEUE, arg.data(),
                                       arg.size(), nullptr, deadlineMs);
}

// A whole frame from w->pending into w->text: 1 when taken, 0 when more
// bytes are needed, -1 when the bytes are no frame.
int takeFrame(ztclient_watch_t *w)
{
    static const std::string kTag = "LENGTH:";
    const size_t have = w->pending.size();
    if (w->pending.compare(0, std::min(have, kTag.size()), kTag, 0, std::min(have, kTag.size())))
        return -1;
    const size_t blank = w->pending.find("\n\n");
    if (blank == std::string::npos)
        return have > kTag.size() + 10 ? -1 : 0;
    const std::string digits = w->pending.substr(kTag.size(), blank - kTag.size());
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    // The declared length counts the text's final NUL, which is not sent.
    const size_t declared = std::stoul(digits);
    const size_t body = declared ? declared - 1 : 0;
    if (w->pending.size() < blank + 2 + body)
        return 0;
    w->text = w->pending.substr(blank + 2, body);
    w->pending.erase(0, blank + 2 + body);
    return 1;
}

int nextFromSocket(ztclient_watch_t *w, Clock::time_point deadline)
{
    for (;;) {
        const int taken = takeFrame(w);
        if (taken != 0)
            return taken > 0 ? 0 : ZTCLIENT_BAD_ANSWER;
        int waitMs = remainingMs(deadline);
        if (!w->heardFromDaemon && w->switchesSent < kSwitchAttempts) {
            if (Clock::now() - w->lastSwitch >= kSwitchInterval) {
                ztclient_push_notifications(w->client, 1);
                ++w->switchesSent;
                w->lastSwitch = Clock::now();
            }
            waitMs = std::min(waitMs, remainingMs(w->lastSwitch + kSwitchInterval));
        }
        pollfd p{w->fd, POLLIN, 0};
        const int r = poll(&p, 1, waitMs);
        if (r < 0 && errno != EINTR)
            return ZTCLIENT_SYSTEM;
        if (r > 0) {
            char buf[4096];
            const ssize_t got = recv(w->fd, buf, sizeof buf, 0);
            if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN))
                return ZTCLIENT_CLOSED;
            if (got > 0) {
                w->heardFromDaemon = true;
                w->pending.append(buf, static_cast<size_t>(got));
            }
        } else if (Clock::now() >= deadline) {
            return ZTCLIENT_TIMEOUT;
        }
    }
}

int nextFromQueue(ztclient_watch_t *w, Clock::time_point deadline)
{
    std::vector<uint8_t> buf(kEventMessageSize);
    for (;;) {
        // A Linux message queue descriptor can be polled like a socket.
        pollfd p{static_cast<int>(w->queue), POLLIN, 0};
        const int r = poll(&p, 1, remainingMs(deadline));
        if (r < 0 && errno != EINTR)
            return ZTCLIENT_SYSTEM;
        if (r == 0)
            return ZTCLIENT_TIMEOUT;
        if (r < 0)
            continue;
        const timespec now{};
        const ssize_t n = mq_timedreceive(w->queue, reinterpret_cast<char *>(buf.data()),
                                          buf.size(), nullptr, &now);
        if (n < TLV_HDR_LEN || sntlv_msg_len(buf.data()) != n || buf[3] != CAT_CLIENT_EVT)
            continue;  // not a notification record
        const uint8_t *head = tlv_find(buf.data(), TLV_RSPARG);
        if (!head)
            continue;
        const size_t len = static_cast<size_t>(head[1]) << 8 | head[2];
        const char *data = reinterpret_cast<const char *>(head + 4);
        w->text.assign(data, strnlen(data, len));
        return 0;
    }
}

}  // namespace

extern "C" {

int ztclient_watch_tcp(ztclient_t *client, uint16_t port, unsigned deadlineMs,
                       ztclient_watch_t **watch)
{
    if (!client || !watch)
        return ZTCLIENT_INVALID;
    *watch = nullptr;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port ? port : kNotifyPort);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(deadlineMs);
    int fd = -1;
    for (;;) {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return ZTCLIENT_SYSTEM;
        if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0)
            break;
        const int err = errno;
        close(fd);
        if (err != ECONNREFUSED)
            return ZTCLIENT_SYSTEM;
        if (Clock::now() >= deadline)
            return ZTCLIENT_NO_DAEMON;
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::min(100, remainingMs(deadline))));
    }
    auto *w = new ztclient_watch_handle;
    w->client = client;
    w->fd = fd;
    const int rc = ztclient_push_notifications(client, 1);
    if (rc != 0) {
        ztclient_watch_close(w);
        return rc;
    }
    w->switchesSent = 1;
    w->lastSwitch = Clock::now();
    *watch = w;
    return 0;
}

int ztclient_watch_queue(ztclient_t *client, unsigned deadlineMs, ztclient_watch_t **watch)
{
    return client ? ztclient_watch_queue_as(client, (client->replyName + "_events").c_str(),
                                            deadlineMs, watch)
                  : ZTCLIENT_INVALID;
}

int ztclient_watch_queue_as(ztclient_t *client, const char *name, unsigned deadlineMs,
                            ztclient_watch_t **watch)
{
    if (!client || !watch || !name || name[0] != '/' || !client->eventsName.empty())
        return ZTCLIENT_INVALID;
    *watch = nullptr;
    auto *w = new ztclient_watch_handle;
    w->client = client;
    w->queueName = name;
    w->queue = ztclient_internal::createQueue(w->queueName, kEventQueueDepth, kEventMessageSize,
                                              O_NONBLOCK);
    // Writable by the daemon, which may run as another user; set after the
    // creation so the process's umask is left alone.
    if (w->queue != (mqd_t)-1)
        fchmod(static_cast<int>(w->queue), 0622);
    if (w->queue == (mqd_t)-1) {
        delete w;
        return ZTCLIENT_SYSTEM;
    }
    client->eventsName = w->queueName;
    const int rc = registerQueue(client, w->queueName, true, deadlineMs);
    if (rc != 0) {
        ztclient_watch_close(w);
        return rc;
    }
    *watch = w;
    return 0;
}

int ztclient_watch_next(ztclient_watch_t *w, unsigned timeoutMs, ztclient_notification_t *out)
{
    if (!w || !out)
        return ZTCLIENT_INVALID;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const int rc = w->fd >= 0 ? nextFromSocket(w, deadline) : nextFromQueue(w, deadline);
    if (rc != 0)
        return rc;
    out->kind = ztclient_internal::parseItems(w->text.data(), w->text.size(), w->items);
    out->count = w->items.size();
    out->items = w->items.data();
    out->text = w->text.c_str();
    return out->kind ? 0 : ZTCLIENT_BAD_ANSWER;
}

int ztclient_watch_fd(const ztclient_watch_t *w)
{
    return !w ? -1 : w->fd >= 0 ? w->fd : static_cast<int>(w->queue);
}

void ztclient_watch_close(ztclient_watch_t *w)
{
    if (!w)
        return;
    if (w->fd >= 0)
        close(w->fd);
    if (w->queue != (mqd_t)-1) {
        // Unregistered before removal, so the daemon frees the slot now
        // rather than at its next failed delivery.
        registerQueue(w->client, w->queueName, false, 1000);
        mq_close(w->queue);
        mq_unlink(w->queueName.c_str());
        w->client->eventsName.clear();
    }
    delete w;
}

}  // extern "C"
