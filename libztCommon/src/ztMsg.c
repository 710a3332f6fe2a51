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

/* Opens the destination, posts len bytes and closes it again. */
static int post(const ztiobuf_t *iobuf, const char *dest)
{
    ztattr_t txq;
    if (ztMbox_txopen(dest, &txq) != 0)
        return ZT_ERR_MQ_FAIL;
    int sent = ztMbox_send(iobuf->buf, iobuf->len, &txq);
    int closed = ztMbox_close(&txq);
    return sent != 0 ? ZT_ERR_MQ_FAIL : closed;
}

int ztmsg_send(ztiobuf_t *iobuf, const char *from, const char *to, const char *via, int trace)
{
    complete_request(iobuf, from, to, trace);
    return post(iobuf, via != NULL ? via : to);
}

static void remove_reply_mailbox(ztattr_t *rxq, const char *from)
{
    ztMbox_close(rxq);
    if (ztMbox_unlink(from) != 0)
        ZTLOG(ZT_LOG_ERROR, "Mbox unlink fail=\"%s\" errno=\"%s\"", from, strerror(errno));
}

/* An answer counts when it validates and its header claims exactly what
 * was received (no stale request bytes behind a short datagram). */
static int answer_valid(const ztiobuf_t *iobuf)
{
    return tlv_validate(iobuf->buf) == 0 && sntlv_msg_len(iobuf->buf) == (int)iobuf->len;
}

int ztmsg_send_timedreceive(ztiobuf_t *iobuf, const char *from, const char *to, const char *via,
                            int trace)
{
    complete_request(iobuf, from, to, trace);
    if (iobuf->size < ZTMSG_MAX) { /* could not take any answer */
        iobuf->len = NO_ANSWER;
        return ZT_ERR_INVALID_PARAM;
    }

    /* The reply mailbox exists before the request leaves, so the answer
     * cannot arrive first, and no other exchange can share it meanwhile. */
    ztattr_t rxq;
    if (ztMbox_rxopen_shared(from, ZTMSG_MAX_COUNT_SM, &rxq) != 0) {
        iobuf->len = NO_ANSWER;
        return ZT_ERR_MQ_FAIL;
    }
    int posted = post(iobuf, via != NULL ? via : to);
    if (posted != 0) {
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
    if (answer_valid(iobuf))
        return received;

    ZT_DMSGERR(261, "ztmsg_send_timedreceive");
    hexprint("ERROR", 0, iobuf->buf, received);
    if (answer_valid(iobuf))
        return received;
    return ZT_ERR_INVALID_PARAM;
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
