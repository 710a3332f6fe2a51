/* TLV messages in caller buffers: building, searching, editing, validating.
 * Nothing here allocates or keeps state. Every walk over the elements is
 * bounded by the header's total length, so a corrupt element length can end
 * a search early but never makes it read outside the message. */
#include "ztTlv.h"

#include <stdio.h>
#include <string.h>

#include "utils.h"

static uint8_t tlv_byte(int type)
{
    return (uint8_t)type;
}

static int rd16(const uint8_t *p)
{
    return (int)(int16_t)(uint16_t)((p[0] << 8) | p[1]);
}

static uint32_t rd16u(const uint8_t *p)
{
    return (uint32_t)((p[0] << 8) | p[1]);
}

static void wr16(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)(v >> 8);
    p[1] = (uint8_t)v;
}

uint32_t sntlv_msg_init(void *msg, uint32_t size, uint8_t category)
{
    (void)size;
    uint8_t *m = msg;
    wr16(m, TLV_HDR_LEN);
    m[2] = 0;
    m[3] = category;
    return TLV_HDR_LEN;
}

int sntlv_msg_len(const void *msg)
{
    return rd16(msg);
}

uint32_t sntlv_add_bin(void *msg, uint32_t size, int atype, uint32_t alen, const void *data)
{
    uint8_t *m = msg;
    int total = sntlv_msg_len(m);
    /* 64-bit sum: a huge alen must not wrap around and pass the room test. */
    uint64_t newTotal = (uint64_t)(total < 0 ? 0 : total) + TLV_ELEM_HDR_LEN + alen;
    if (newTotal > size)
        return 0;
    /* A header without a valid length, or a total the 16-bit signed length
     * field cannot carry, would make the message unreadable. */
    if (total < TLV_HDR_LEN || newTotal > INT16_MAX)
        return 0;
    ZTASSERT((atype != TLV_SRC) || (alen > 0));
    ZTASSERT((atype != TLV_DST) || (alen > 0));
    uint8_t *e = m + total;
    e[0] = 0;
    wr16(e + 1, alen);
    e[3] = tlv_byte(atype);
    if (alen > 0)
        memcpy(e + TLV_ELEM_HDR_LEN, data, alen);
    wr16(m, (uint32_t)newTotal);
    return TLV_ELEM_HDR_LEN + alen;
}

uint32_t sntlv_add_dat(void *msg, uint32_t size, int type, uint32_t len, uint32_t value)
{
    uint8_t bytes[4] = {(uint8_t)value, (uint8_t)(value >> 8), (uint8_t)(value >> 16),
                        (uint8_t)(value >> 24)};
    if (len > sizeof bytes)
        len = sizeof bytes;
    return sntlv_add_bin(msg, size, type, len, bytes);
}

uint8_t *tlv_find(const void *msg, int type)
{
    const uint8_t *m = msg;
    int total = sntlv_msg_len(m);
    int payload = total - TLV_HDR_LEN;
    if (payload <= 0)
        return NULL;
    const uint8_t *elems = m + TLV_HDR_LEN;
    int off = 0;
    while (off < payload) {
        if (payload - off < TLV_ELEM_HDR_LEN)
            return NULL;
        const uint8_t *e = elems + off;
        int next = off + TLV_ELEM_HDR_LEN + (int)rd16u(e + 1);
        if (next > payload)
            return NULL;
        if (e[3] == tlv_byte(type))
            return (uint8_t *)e;
        off = next;
    }
    return NULL;
}

uint32_t sntlv_find(void *dst, uint32_t dstSize, int type, const void *msg)
{
    const uint8_t *e = tlv_find(msg, type);
    if (e == NULL)
        return 0;
    uint32_t len = rd16u(e + 1);
    if (len >= dstSize)
        return 0;
    if (len > 0)
        memcpy(dst, e + TLV_ELEM_HDR_LEN, len);
    return len;
}

void sntlv_void(void *msg, int type)
{
    uint8_t *tlv = tlv_find(msg, type);
    ZTASSERT(tlv != NULL);
    tlv[3] = TLV_VOID;
    memset(tlv + TLV_ELEM_HDR_LEN, 0, rd16u(tlv + 1));
}

int sntlv_remove(void *msg, uint32_t size, int type)
{
    (void)size;
    uint8_t *m = msg;
    uint8_t *tlvend = tlv_find(m, type);
    ZTASSERT(tlvend != NULL);
    int removed = TLV_ELEM_HDR_LEN + (int)rd16u(tlvend + 1);
    wr16(m, (uint32_t)(sntlv_msg_len(m) - removed));
    return -removed;
}

/* The command element's value as text, for validation reports. Bounded by
 * the element's length so a command element without a following element
 * cannot make the report read past the message. */
static void value_text(const uint8_t *e, char *out, size_t outSize)
{
    out[0] = '\0';
    if (e == NULL)
        return;
    snprintf(out, outSize, "%.*s", (int)rd16u(e + 1), (const char *)e + TLV_ELEM_HDR_LEN);
}

#define TLV_REPORT(...) ztDebugPrint(ZT_DBG_THRESHOLD_TLV, __VA_ARGS__)

int tlv_validate(const void *msg)
{
    const uint8_t *m = msg;
    int total = sntlv_msg_len(m);
    if (total < TLV_MIN_MSG_LEN) {
        TLV_REPORT("TLV_ERROR: MSG len is too short (%d < %d)\n", total, TLV_MIN_MSG_LEN);
        return -1;
    }
    if (total > ZTMSG_MAX) {
        TLV_REPORT("TLV_ERROR: MSG len is too long (%d > 1500)\n", total);
        return -1;
    }

    int payload = total - TLV_HDR_LEN;
    int sum = 0;
    while (sum < payload) {
        /* An element head cut by the end of the message cannot be read; it is
         * a mismatch like any other. */
        if (payload - sum < TLV_ELEM_HDR_LEN)
            break;
        sum += TLV_ELEM_HDR_LEN + (int)rd16u(m + TLV_HDR_LEN + sum + 1);
    }
    if (sum != payload) {
        TLV_REPORT("TLV_ERROR: MSG length (%d) does not match internal length (%d0.\n", sum,
                   payload);
        return -1;
    }
    if (m[total - 1] != TLV_END) {
        TLV_REPORT("TLV_ERROR: MSG is missing ending TLV: 0xEE\n");
        return -1;
    }

    const uint8_t *cmd = tlv_find(m, TLV_CMD);
    if (cmd == NULL) {
        TLV_REPORT("TLV_ERROR: MSG needs a CMD\n");
        return -3;
    }
    char cmdText[ZTMSG_MAX];
    value_text(cmd, cmdText, sizeof cmdText);

    const uint8_t *dst = tlv_find(m, TLV_DST);
    if (dst == NULL) {
        TLV_REPORT("TLV_ERROR: :%s MSG needs a DST\n", cmdText);
        return -3;
    }
    const uint8_t *src = tlv_find(m, TLV_SRC);
    if (src == NULL) {
        TLV_REPORT("TLV_ERROR: :%s MSG needs a SRC\n", cmdText);
        return -3;
    }
    if (tlv_find(m, TLV_END) != m + total - TLV_ELEM_HDR_LEN) {
        TLV_REPORT("TLV_ERROR: :%s MSG has too many ending TLV: 0xEE\n", cmdText);
        return -1;
    }
    uint8_t category = m[3];
    if (category > TLV_MAX_CATEGORY) {
        TLV_REPORT("TLV_ERROR: :%s MSG needs a known CATagory. CAT=0x%02x\n", cmdText, category);
        return -2;
    }
    int isAnswer = category & 1;
    if (tlv_find(m, TLV_CMDARG) == NULL) {
        if (isAnswer)
            TLV_REPORT("TLV_ERROR: MSG :%s RSP needs a CMDARG\n", cmdText);
        else
            TLV_REPORT("TLV_ERROR: MSG :%s CMD needs a CMDARG\n", cmdText);
        return -3;
    }
    if (isAnswer && tlv_find(m, TLV_RSPARG) == NULL && ztDebugEnabled(ZT_DBG_THRESHOLD_TLV)) {
        char srcText[ZTMSG_MAX];
        char dstText[ZTMSG_MAX];
        value_text(src, srcText, sizeof srcText);
        value_text(dst, dstText, sizeof dstText);
        /* The source name is shown from its fourth character on; a shorter name
         * shows as empty. */
        const char *srcTail = strlen(srcText) > 3 ? srcText + 3 : "";
        TLV_REPORT("TLV_WARNING: MSG :%s RSP needs a RSPARG fr%s %s\n", cmdText, srcTail, dstText);
    }
    return 0;
}

uint32_t snLoclItoI(void *buf, uint32_t bufSize, uint32_t count, uint32_t value)
{
    if (count == 0 || count > 4)
        return 0;
    /* Each byte is written with its terminator, so count + 1 bytes are
     * needed. A shorter buffer gets what fits, as the formatted print cuts
     * it (the last position then holds a terminator), never more; the count
     * is returned all the same. */
    char *b = buf;
    for (uint32_t i = 0; i < count && i < bufSize; i++) {
        unsigned shift = 8 * (count - 1 - i);
        snprintf(b + i, bufSize - i, "%c", (int)(uint8_t)(value >> shift));
    }
    return count;
}

uint32_t snLoclbin(void *dst, uint32_t dstSize, uint32_t len, const void *src)
{
    if (len == 0 || len > dstSize)
        return 0;
    memcpy(dst, src, len);
    return len;
}
