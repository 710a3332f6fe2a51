/* Mailboxes over POSIX message queues. */
#define _GNU_SOURCE
#include "ztMbox.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/stat.h>

#include "utils.h"

int32_t g_timedreceive = 10;

/* An expired absolute time: mq_timedsend/mq_timedreceive with it act at once
 * when they can and fail with ETIMEDOUT instead of blocking. */
static const struct timespec s_expired = {0, 0};

static const char *name_of(const char *name)
{
    return name ? name : "(null)";
}

static void pause_ms(long ms)
{
    struct timespec left = {ms / 1000, (ms % 1000) * 1000000L};
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &left, &left) == EINTR) {
    }
}

static void fill_attr(ztattr_t *handle, const char *name, long maxMessages, long messageSize)
{
    memset(&handle->attr, 0, sizeof handle->attr);
    handle->attr.mq_flags = 0;
    handle->attr.mq_maxmsg = maxMessages;
    handle->attr.mq_msgsize = messageSize;
    handle->attr.mq_curmsgs = 0;
    handle->name = name;
}

int ztMbox_init(const char *name, long maxMessages, ztattr_t *handle)
{
    fill_attr(handle, name, maxMessages, ZTMSG_MAX);
    handle->mqd = (mqd_t)-1;
    return 0;
}

static mqd_t open_rx(const char *name, int extraFlags, struct mq_attr *attr)
{
    if (name == NULL) {
        errno = EINVAL;
        return (mqd_t)-1;
    }
    return mq_open(name, O_RDONLY | O_CREAT | extraFlags, ZTMBOX_MODE, attr);
}

int ztMbox_rxopen_ext(const char *name, long maxMessages, long messageSize, ztattr_t *handle)
{
    fill_attr(handle, name, maxMessages, messageSize);
    for (int attempt = 0; attempt < ZTMBOX_RX_ATTEMPTS; attempt++) {
        handle->mqd = open_rx(name, 0, &handle->attr);
        if (handle->mqd != (mqd_t)-1)
            return 0;
        ZTLOG(ZT_LOG_INFO, "Warning: target Mbox=\"%s\" errno=\"%d\"  retry(%d)", name_of(name),
              errno, attempt);
        pause_ms(ZTMBOX_RX_PAUSE_MS);
    }
    ZTLOG(ZT_LOG_ERROR, "target Mbox=\"%s\" errno=\"%s\"", name_of(name), strerror(errno));
    return -1;
}

int ztMbox_rxopen(const char *name, long maxMessages, ztattr_t *handle)
{
    return ztMbox_rxopen_ext(name, maxMessages, ZTMSG_MAX, handle);
}

int ztMbox_rxopen_shared_ext(const char *name, long maxMessages, long messageSize, ztattr_t *handle)
{
    fill_attr(handle, name, maxMessages, messageSize);
    for (int attempt = 1;; attempt++) {
        handle->mqd = open_rx(name, O_EXCL, &handle->attr);
        if (handle->mqd != (mqd_t)-1)
            return 0;
        if (attempt == ZTMBOX_SHARED_ATTEMPTS)
            break;
        ZTLOG(ZT_LOG_INFO, "Warning: Shared Mbox in use (retry) =\"%s\" errno=\"%s\"  retry(%d)",
              name_of(name), strerror(errno), attempt);
        pause_ms((long)attempt * ZTMBOX_SHARED_PAUSE_STEP_MS);
    }
    int err = errno;
    ZTLOG(ZT_LOG_ERROR, "Shared Mbox will not open =\"%s\" errno=%d\"%s\"", name_of(name), err,
          strerror(err));
    errno = err;
    return -1;
}

int ztMbox_rxopen_shared(const char *name, long maxMessages, ztattr_t *handle)
{
    return ztMbox_rxopen_shared_ext(name, maxMessages, ZTMSG_MAX, handle);
}

int ztMbox_txopen(const char *name, ztattr_t *handle)
{
    ztMbox_init(name, ZTMBOX_TX_MAX_COUNT, handle);
    if (name == NULL) {
        errno = EINVAL;
    } else {
        handle->mqd = mq_open(name, O_WRONLY);
        if (handle->mqd != (mqd_t)-1)
            return 0;
    }
    ZTLOG(ZT_LOG_ERROR, "target Mbox=\"%s\" errno=\"%s\"", name_of(name), strerror(errno));
    return -1;
}

int ztMbox_close(ztattr_t *handle)
{
    int ret = mq_close(handle->mqd);
    handle->mqd = (mqd_t)-1;
    return ret;
}

int ztMbox_create_ext(const char *name, long maxMessages, long messageSize)
{
    ztattr_t handle;
    if (ztMbox_rxopen_ext(name, maxMessages, messageSize, &handle) == 0)
        ztMbox_close(&handle);
    return 0;
}

int ztMbox_create(const char *name, long maxMessages)
{
    return ztMbox_create_ext(name, maxMessages, ZTMSG_MAX);
}

int ztMbox_unlink(const char *name)
{
    if (name == NULL) {
        errno = EINVAL;
        return -1;
    }
    return mq_unlink(name) == 0 ? 0 : -1;
}

int ztMbox_send(const void *data, uint32_t length, ztattr_t *handle)
{
    uint32_t len = length;
    ZTASSERT(len <= ZTMSG_MAX);
    /* On failure the handle keeps its last attributes (a fresh send handle
     * starts with ZTMBOX_TX_MAX_COUNT). */
    mq_getattr(handle->mqd, &handle->attr);
    if (handle->attr.mq_curmsgs < handle->attr.mq_maxmsg)
        return mq_timedsend(handle->mqd, data, len, 0, &s_expired);
    ZTLOG(ZT_LOG_ERROR, "No Longer an ASSERT: Mailbox Full: mbox=\"%s\" >= %ld messages",
          name_of(handle->name), (long)handle->attr.mq_maxmsg);
    return 0;
}

int snztMbox_receive(void *buffer, uint32_t size, ztattr_t *handle)
{
    ssize_t n;
    do {
        n = mq_receive(handle->mqd, buffer, size, NULL);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : (int)n;
}

enum { RX_FAILED = -1, RX_TIMED_OUT = -2 };

static struct timespec ts_add(struct timespec a, struct timespec b)
{
    a.tv_sec += b.tv_sec;
    a.tv_nsec += b.tv_nsec;
    if (a.tv_nsec >= 1000000000L) {
        a.tv_sec++;
        a.tv_nsec -= 1000000000L;
    }
    return a;
}

/* Waits for mqd to become readable until the monotonic deadline, then takes
 * one message without blocking. poll rather than select: any descriptor
 * value is safe, with no fd_set to overflow. A message taken by another
 * reader between the wait and the receive sends the loop back to waiting. */
static ssize_t receive_until(mqd_t mqd, char *buffer, size_t size, struct timespec relative)
{
    if (mqd < 0) {
        errno = EBADF;
        return RX_FAILED;
    }
    if (relative.tv_sec < 0)
        relative.tv_sec = 0;
    if (relative.tv_sec > INT32_MAX)
        relative.tv_sec = INT32_MAX; /* no wrap */
    struct timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline = ts_add(deadline, relative);
    for (;;) {
        struct timespec now, left;
        clock_gettime(CLOCK_MONOTONIC, &now);
        left.tv_sec = deadline.tv_sec - now.tv_sec;
        left.tv_nsec = deadline.tv_nsec - now.tv_nsec;
        if (left.tv_nsec < 0) {
            left.tv_sec--;
            left.tv_nsec += 1000000000L;
        }
        if (left.tv_sec < 0)
            left.tv_sec = left.tv_nsec = 0;

        struct pollfd pfd = {.fd = mqd, .events = POLLIN, .revents = 0};
        int ready = ppoll(&pfd, 1, &left, NULL);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return RX_FAILED;
        }
        if (ready == 0)
            return RX_TIMED_OUT;
        if (pfd.revents & (POLLNVAL | POLLERR)) {
            errno = EBADF;
            return RX_FAILED;
        }
        ssize_t n = mq_timedreceive(mqd, buffer, size, NULL, &s_expired);
        if (n >= 0)
            return n;
        if (errno != ETIMEDOUT && errno != EAGAIN && errno != EINTR)
            return RX_FAILED;
    }
}

static ssize_t receive_seconds(mqd_t mqd, char *buffer, size_t size, int32_t seconds)
{
    struct timespec relative = {seconds < 0 ? 0 : seconds, 0};
    ssize_t n = receive_until(mqd, buffer, size, relative);
    if (n == RX_TIMED_OUT) {
        ZTLOG(ZT_LOG_INFO, "Warning: %d seconds timeout expired", (int)seconds);
        errno = ETIMEDOUT;
    }
    return n < 0 ? -1 : n;
}

int snztMbox_timedreceive(void *buffer, uint32_t size, ztattr_t *handle)
{
    return (int)receive_seconds(handle->mqd, buffer, size, g_timedreceive);
}

ssize_t zt_mq_timedreceive(mqd_t mqd, char *buffer, size_t size, unsigned int *priority,
                           const struct timespec *timeout)
{
    (void)priority;
    int32_t seconds = timeout ? (int32_t)timeout->tv_sec : 0;
    return receive_seconds(mqd, buffer, size, seconds);
}

ssize_t zt_mq_timedreceive2(mqd_t mqd, char *buffer, size_t size, unsigned int *priority,
                            const struct timespec *timeout)
{
    (void)priority;
    struct timespec relative = {0, 0};
    if (timeout != NULL && timeout->tv_nsec >= 0 && timeout->tv_nsec < 1000000000L) {
        relative.tv_sec = timeout->tv_sec;
        relative.tv_nsec = timeout->tv_nsec / 1000 * 1000;
    }
    ssize_t n = receive_until(mqd, buffer, size, relative);
    if (n == RX_TIMED_OUT)
        errno = ETIMEDOUT;
    return n < 0 ? -1 : n;
}
