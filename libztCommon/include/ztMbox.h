/* Mailboxes: POSIX message queues wrapped for the camera's processes, which
 * post TLV messages (ztTlv.h) to each other's mailboxes. Opens retry with
 * short pauses, a send never blocks on a full peer, and receives can be
 * limited in time.
 *
 * Threads: the functions keep no state besides the global g_timedreceive; a
 * handle belongs to one thread at a time. The handle does not copy the
 * queue name, so the name must outlive the handle. Nothing is allocated.
 *
 * Results: 0 for success and -1 for failure unless said. Where the queue
 * system itself fails (a descriptor that is not open, a receive buffer
 * smaller than the queue's message size, a queue removed while waited on)
 * the call returns -1 at once with errno set; it never waits longer than
 * its documented time-out.
 */
#ifndef ZT_MBOX_H
#define ZT_MBOX_H

#include <mqueue.h>
#include <stdint.h>
#include <sys/types.h>
#include <time.h>

#include "ztTlv.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Depth a send handle starts with; used only when mq_getattr fails. */
#define ZTMBOX_TX_MAX_COUNT 40
/* Mode of every queue the library creates. */
#define ZTMBOX_MODE 0664
/* Private receive opens: attempts and pause between them. */
#define ZTMBOX_RX_ATTEMPTS 5
#define ZTMBOX_RX_PAUSE_MS 10
/* Shared receive opens: attempts; the pause after failure k is k * 100 ms. */
#define ZTMBOX_SHARED_ATTEMPTS 6
#define ZTMBOX_SHARED_PAUSE_STEP_MS 100

/* A mailbox handle (called ztattr in the assertion texts), usually on the
 * caller's stack. */
typedef struct ztattr {
    mqd_t mqd;           /* the open queue; -1 when an open failed */
    struct mq_attr attr; /* requested attributes on receive opens; refreshed
                            by mq_getattr before each send */
    const char *name;    /* the queue's name; not copied */
} ztattr_t;

/* Time-out in seconds of snztMbox_timedreceive; initially 10. */
extern int32_t g_timedreceive;

/* Fills a handle (flags 0, maxMessages, message size ZTMSG_MAX, no current
 * messages, the name, mqd -1) without opening anything. Returns 0. */
int ztMbox_init(const char *name, long maxMessages, ztattr_t *handle);

/* Opens the queue for reading, creating it (mode 0664) with these attributes
 * if needed. Up to 5 attempts 10 ms apart; each failure is logged at level 5
 * ("Warning: target Mbox=...  retry(n)"), the last at level 2. The result of
 * the last attempt lands in handle->mqd. Returns 0 or -1. */
int ztMbox_rxopen_ext(const char *name, long maxMessages, long messageSize, ztattr_t *handle);
int ztMbox_rxopen(const char *name, long maxMessages, ztattr_t *handle);

/* Creates the queue for reading, failing while a queue of that name exists:
 * a reply mailbox that only one exchange at a time may use. Up to 6 attempts
 * with pauses of 100, 200, 300, 400 and 500 ms (about 1.5 s in all).
 * Returns 0 or -1. */
int ztMbox_rxopen_shared_ext(const char *name, long maxMessages, long messageSize,
                             ztattr_t *handle);
int ztMbox_rxopen_shared(const char *name, long maxMessages, ztattr_t *handle);

/* Opens an existing queue for writing (no create). Returns 0 or -1. */
int ztMbox_txopen(const char *name, ztattr_t *handle);

/* Closes the handle's descriptor and marks it closed (mqd -1). Returns the
 * mq_close result. */
int ztMbox_close(ztattr_t *handle);

/* Makes sure the queue exists (opens it as ztMbox_rxopen_ext does and closes
 * it again). Always returns 0. */
int ztMbox_create_ext(const char *name, long maxMessages, long messageSize);
int ztMbox_create(const char *name, long maxMessages);

/* Removes the queue name. Returns 0 or -1. */
int ztMbox_unlink(const char *name);

/* Posts one message at priority 0 unless the mailbox is full: a full mailbox
 * drops the message, logs "No Longer an ASSERT: Mailbox Full..." at level 2
 * and returns 0, so a sender is never held up by a slow peer. Should the
 * queue fill between the depth check and the send, the send fails at once
 * (-1, errno ETIMEDOUT) instead of blocking. Otherwise returns the send
 * result (0 or -1). REQUIRES: length <= ZTMSG_MAX (asserted). */
int ztMbox_send(const void *data, uint32_t length, ztattr_t *handle);

/* Blocking receive into buffer (size bytes; must be at least the queue's
 * message size). Returns the received length, or -1 on failure. */
int snztMbox_receive(void *buffer, uint32_t size, ztattr_t *handle);

/* Receive that waits at most g_timedreceive seconds (a negative value counts
 * as 0). Returns the length, or -1 on time-out ("Warning: %d seconds timeout
 * expired" at level 5) or failure. */
int snztMbox_timedreceive(void *buffer, uint32_t size, ztattr_t *handle);

/* Takes mq_timedreceive's arguments, but timeout is relative and only its
 * whole seconds (the low 32 bits of tv_sec; negative or a NULL timeout
 * count as 0) are used.
 * Logs the time-out as snztMbox_timedreceive does. priority is not written
 * and may be NULL. Returns the length, or -1. */
ssize_t zt_mq_timedreceive(mqd_t mqd, char *buffer, size_t size, unsigned int *priority,
                           const struct timespec *timeout);

/* As zt_mq_timedreceive, but the whole relative timeout is used (nanoseconds
 * truncated to microseconds; a NULL timeout counts as 0) and nothing is
 * logged. */
ssize_t zt_mq_timedreceive2(mqd_t mqd, char *buffer, size_t size, unsigned int *priority,
                            const struct timespec *timeout);

#ifdef __cplusplus
}
#endif

#endif /* ZT_MBOX_H */
