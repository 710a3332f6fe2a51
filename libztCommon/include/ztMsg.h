/* Request/answer exchange of TLV messages (ztTlv.h) between the camera's
 * processes, on top of the mailboxes of ztMbox.h: a request names its source
 * mailbox and its destination, is posted to the destination's mailbox, and
 * the sender may wait on its own (reply) mailbox for the answer.
 *
 * Threads: the functions keep no state besides the read-only trace tables
 * and the globals g_debug, g_debug_level and g_timedreceive; a buffer
 * belongs to the calling thread. Two exchanges that use the same reply
 * mailbox name exclude each other (in any thread or process): the second
 * waits, up to about 1.5 s, until the first has removed the mailbox.
 *
 * Results where the environment or the peer fails (the exchange has no
 * answer to give): the functions return a negative ztErrno at once rather
 * than wait longer than g_timedreceive seconds:
 *   -1  (ZT_ERR)                no answer within g_timedreceive seconds;
 *   -5  (ZT_ERR_MQ_FAIL)        destination mailbox missing or not
 *                               writable, reply mailbox not creatable after
 *                               its six attempts, or a send or receive that
 *                               failed (nothing is waited for then);
 *   -3  (ZT_ERR_INVALID_PARAM)  an answer arrived but is not a valid TLV
 *                               message even at the second look.
 * A buffer under ZTMSG_MAX receives answers up to its size; a longer answer
 * cannot be posted to its reply mailbox and counts as no answer (-1).
 * After any failure of ztmsg_send_timedreceive the reply mailbox is closed
 * and removed again.
 *
 * Trace channels: the trace argument (0..29) picks a label and a mask. When
 * bit 8 (0x100) of g_debug_level is set and the channel's mask shares a bit
 * with g_debug, the outgoing message is hex-dumped under the label. Channels
 * 1..20 come in groups of four per peer, 21..28 in pairs; the label is the
 * peer's tag with the mark before it for messages to the peer and after it
 * for messages from it ('>' requests, '<' answers). Channels 0 and 29 are
 * never traced; other values are ignored.
 */
#ifndef ZT_MSG_H
#define ZT_MSG_H

#include <stdint.h>

#include "ztMbox.h"
#include "ztTlv.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Depth of the reply mailbox of ztmsg_send_timedreceive. */
#define ZTMSG_MAX_COUNT_SM 2
/* Number of trace channels. */
#define ZTMSG_TRACE_CHANNELS 30
/* The trace-enable bit of g_debug_level. */
#define ZTMSG_TRACE_BIT 0x100u

/* A message buffer, owned by the caller. buf must hold size bytes. */
typedef struct ztiobuf {
    uint32_t size; /* capacity of buf */
    uint32_t len;  /* current message length; (uint32_t)-1 when no answer */
    uint8_t *buf;  /* the TLV message */
} ztiobuf_t;

/* Trace mask compared with the channel masks; initially 0x30000000. */
extern uint32_t g_debug;

/* Starts a request in iobuf: the header with category, a 2-byte TLV_CMD
 * from command and a TLV_CMDARG of argumentLength bytes; sets len. Returns
 * the size added by the argument element (0 when it did not fit).
 * REQUIRES: command holds at least 2 bytes. */
int ztmsg_build(ztiobuf_t *iobuf, const char *command, const void *argument,
                uint32_t argumentLength, uint8_t category);

/* Completes the request (TLV_SRC from, TLV_DST to, the end element), traces
 * it on channel trace, validates it and posts it to via, or to to when via
 * is NULL (TLV_DST names to either way). A request that does not validate
 * is a programming error and aborts the process. Returns ZT_ERR_MQ_FAIL when
 * the destination cannot be opened, otherwise the result of closing the send
 * handle, also when the send failed (logged). A full destination drops the
 * message and still returns 0. */
int ztmsg_send(ztiobuf_t *iobuf, const char *from, const char *to, const char *via, int trace);

/* As ztmsg_send, then waits up to g_timedreceive seconds for the answer on
 * the reply mailbox from, which it creates (exclusively) before sending and
 * removes afterwards. The answer overwrites the request in buf. Returns the
 * answer's declared length, also stored in len (bytes received after it are
 * ignored). On a failure (see above) len is
 * (uint32_t)-1 and buf still holds the request, except for an invalid
 * answer, which stays in buf with its length in len. */
int ztmsg_send_timedreceive(ztiobuf_t *iobuf, const char *from, const char *to, const char *via,
                            int trace);

/* Finds the TLV_RSPARG of the message in buf. Returns a pointer to its value
 * and stores that pointer and the value length through data and length;
 * returns NULL (outputs untouched) when there is none or the message's
 * length does not fit the buffer. */
const uint8_t *ztmsg_response(const ztiobuf_t *iobuf, const uint8_t **data, uint32_t *length);

#ifdef __cplusplus
}
#endif

#endif /* ZT_MSG_H */
