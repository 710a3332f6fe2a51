/* Request/answer exchange of TLV messages over mailboxes. */
#include "ztMsg.h"

#include <errno.h>
#include <string.h>

#include "hexdump.h"
#include "utils.h"
#include "ztErrno.h"

uint32_t g_debug = 0x30000000u;

/* Labels of the trace channels, 12 characters each (see ztMsg.h). */
static const char s_dmsgstr[ZTMSG_TRACE_CHANNELS][13] = {
    "            ", ">CTLD       ", "CTLD>       ", "<CTLD       ", "CTLD<       ", ">NET        ",
    "NET>        ", "<NET        ", "NET<        ", ">CSI        ", "CSI>        ", "<CSI        ",
    "CSI<        ", ">FW         ", "FW>         ", "<FW         ", "FW<         ", ">UI         ",
    "UI>         ", "<UI         ", "UI<         ", ">BT         ", "BT>         ", ">WIFI       ",
    "WIFI>       ", ">USB        ", "USB>        ", ">APP        ", "APP>        ", "",
};

static const uint32_t s_dmsghex[ZTMSG_TRACE_CHANNELS] = {
    0,         0x1,        0x2,        0x4,       0x8,       0x10,      0x20,      0x40,
    0x80,      0x100,      0x200,      0x400,     0x800,     0x10000,   0x20000,   0x40000,
    0x80000,   0x100000,   0x200000,   0x400000,  0x800000,  0x1000000, 0x2000000, 0x4000000,
    0x8000000, 0x10000000, 0x20000000, 0x4000000, 0x8000000, 0,
};

#define NO_ANSWER ((uint32_t)-1)

static void trace_message(const ztiobuf_t *iobuf, int trace)
{
    if (trace < 0 || trace >= ZTMSG_TRACE_CHANNELS)
        return;
    if (!(g_debug_level & ZTMSG_TRACE_BIT))
        return;
    if (!(s_dmsghex[trace] & g_debug))
        return;
    hexprint(s_dmsgstr[trace], 0, iobuf->buf, (int)iobuf->len);
}

int ztmsg_build(ztiobuf_t *iobuf, const char *command, const void *argument,
                uint32_t argumentLength, uint8_t category)
{
    ZTASSERT(command != NULL);
    iobuf->len = sntlv_msg_init(iobuf->buf, iobuf->size, category);
    iobuf->len += sntlv_add_bin(iobuf->buf, iobuf->size, TLV_CMD, 2, command);
    uint32_t added = sntlv_add_bin(iobuf->buf, iobuf->size, TLV_CMDARG, argumentLength, argument);
    iobuf->len += added;
    return (int)added;
}

/* Appends source, destination and end, traces and validates. */
static void complete_request(ztiobuf_t *iobuf, const char *from, const char *to, int trace)
{
    ZTASSERT(from != NULL && to != NULL);
    iobuf->len += sntlv_add_bin(iobuf->buf, iobuf->size, TLV_SRC, (uint32_t)strlen(from), from);
    iobuf->len += sntlv_add_bin(iobuf->buf, iobuf->size, TLV_DST, (uint32_t)strlen(to), to);
    iobuf->len += sntlv_add_bin(iobuf->buf, iobuf->size, TLV_END, 0, NULL);
    trace_message(iobuf, trace);
    ZTASSERT(0 == tlv_validate(iobuf->buf));
}

/* Opens the destination, posts len bytes and closes it again. Returns
 * ZT_ERR_MQ_FAIL when the destination does not open; otherwise the close
 * result, with whether the send itself went through in *sent. */
static int post(const ztiobuf_t *iobuf, const char *dest, int *sent)
{
    ztattr_t txq;
    *sent = 0;
    if (ztMbox_txopen(dest, &txq) != 0)
        return ZT_ERR_MQ_FAIL;
    *sent = ztMbox_send(iobuf->buf, iobuf->len, &txq) == 0;
    if (!*sent)
        ZTLOG(ZT_LOG_ERROR, "Mbox send fail=\"%s\" errno=\"%s\"", dest, strerror(errno));
    return ztMbox_close(&txq);
}

/* A plain post returns the close result also when the send failed (logged
 * above), as it does when a full destination drops the message: nobody waits
 * on its fate. */
int ztmsg_send(ztiobuf_t *iobuf, const char *from, const char *to, const char *via, int trace)
{
    complete_request(iobuf, from, to, trace);
    int sent;
    return post(iobuf, via != NULL ? via : to, &sent);
}

static void remove_reply_mailbox(ztattr_t *rxq, const char *from)
{
    ztMbox_close(rxq);
    if (ztMbox_unlink(from) != 0)
        ZTLOG(ZT_LOG_ERROR, "Mbox unlink fail=\"%s\" errno=\"%s\"", from, strerror(errno));
}

/* An answer counts when it validates within what was received: a header
 * claiming more would have the validation read stale request bytes behind a
 * short datagram. Bytes after the declared length (a peer posting a padded
 * buffer) are not part of the answer. */
static int answer_valid(const ztiobuf_t *iobuf, uint32_t received)
{
    int declared = sntlv_msg_len(iobuf->buf);
    return declared >= TLV_HDR_LEN && (uint32_t)declared <= received &&
           tlv_validate(iobuf->buf) == 0;
}

int ztmsg_send_timedreceive(ztiobuf_t *iobuf, const char *from, const char *to, const char *via,
                            int trace)
{
    complete_request(iobuf, from, to, trace);

    /* The reply mailbox exists before the request leaves, so the answer
     * cannot arrive first, and no other exchange can share it meanwhile. Its
     * messages are no larger than the caller's buffer (a queue cannot be
     * read into less than its message size): a buffer under ZTMSG_MAX takes
     * the answers that fit it; a longer answer cannot be posted to it, and
     * the caller sees no answer. */
    long messageSize = iobuf->size < ZTMSG_MAX ? (long)iobuf->size : ZTMSG_MAX;
    ztattr_t rxq;
    if (ztMbox_rxopen_shared_ext(from, ZTMSG_MAX_COUNT_SM, messageSize, &rxq) != 0) {
        iobuf->len = NO_ANSWER;
        return ZT_ERR_MQ_FAIL;
    }
    int sent;
    int posted = post(iobuf, via != NULL ? via : to, &sent);
    if (posted != 0 || !sent) {
        remove_reply_mailbox(&rxq, from);
        iobuf->len = NO_ANSWER;
        return ZT_ERR_MQ_FAIL;
    }

    int received = snztMbox_timedreceive(iobuf->buf, iobuf->size, &rxq);
    int rxErrno = errno;
    remove_reply_mailbox(&rxq, from);
    if (received < 0) {
        iobuf->len = NO_ANSWER;
        return rxErrno == ETIMEDOUT ? ZT_ERR : ZT_ERR_MQ_FAIL;
    }
    iobuf->len = (uint32_t)received;
    if (!answer_valid(iobuf, (uint32_t)received)) {
        ZT_DMSGERR(261, "ztmsg_send_timedreceive");
        hexprint("ERROR", 0, iobuf->buf, received);
        if (!answer_valid(iobuf, (uint32_t)received))
            return ZT_ERR_INVALID_PARAM;
    }
    iobuf->len = (uint32_t)sntlv_msg_len(iobuf->buf);
    return (int)iobuf->len;
}

const uint8_t *ztmsg_response(const ztiobuf_t *iobuf, const uint8_t **data, uint32_t *length)
{
    int total = sntlv_msg_len(iobuf->buf);
    if (total < TLV_HDR_LEN || (uint32_t)total > iobuf->size)
        return NULL;
    const uint8_t *element = tlv_find(iobuf->buf, TLV_RSPARG);
    if (element == NULL)
        return NULL;
    const uint8_t *value = element + TLV_ELEM_HDR_LEN;
    *data = value;
    *length = ((uint32_t)element[1] << 8) | element[2];
    return value;
}
