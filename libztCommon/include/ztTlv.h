/* TLV messages: the byte layout of every message on the daemon's POSIX
 * queues, and the functions that build, search, edit and validate one in a
 * caller's buffer. The functions keep no state and may be called from any
 * thread; one message buffer must not be changed by two threads at once.
 *
 * Layout (multi-byte fields big-endian):
 *
 *   header   [0..1] total length, header included (read as signed 16-bit)
 *            [2]    0
 *            [3]    category: even for a request, the next odd value for its
 *                   answer; 0..239 are valid
 *   element  [0]    0
 *            [1..2] value length
 *            [3]    type
 *            [4..]  value
 *
 * Elements follow the header back to back; the last one is the empty end
 * element (type TLV_END). Because every element starts with a zero byte, a
 * text value that is followed by another element can be read in place as a
 * zero-terminated text. A message is at most ZTMSG_MAX bytes.
 */
#ifndef ZT_TLV_H
#define ZT_TLV_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZTMSG_MAX 1500

/* Sizes of the message header and of an element head. */
#define TLV_HDR_LEN 4
#define TLV_ELEM_HDR_LEN 4
/* Shortest message tlv_validate accepts. */
#define TLV_MIN_MSG_LEN 18
/* Highest valid category. */
#define TLV_MAX_CATEGORY 239

/* Element types. */
#define TLV_CMD 'A'     /* the command */
#define TLV_CMDARG 'B'  /* the command's argument */
#define TLV_DST 'C'     /* destination queue name, never empty */
#define TLV_SRC 'D'     /* source queue name, never empty */
#define TLV_RSPARG 'E'  /* the answer's argument */
#define TLV_VOID 'X'    /* an element blanked by sntlv_void */
#define TLV_RESULT 0xEC /* 32-bit result code of a client answer */
#define TLV_END 0xEE    /* end element, value length 0, exactly one and last */

/* Element types are passed as int and compared as their low byte, so TLV_END
 * may be given as 0xEE or as -18. */

/* Writes the header of an empty message (length 4, byte 2 zero, the
 * category). REQUIRES: msg has room for 4 bytes; size is not used.
 * Returns 4. */
uint32_t sntlv_msg_init(void *msg, uint32_t size, uint8_t category);

/* Returns the header's total length, read big-endian as signed 16-bit. */
int sntlv_msg_len(const void *msg);

/* Appends an element with len bytes copied from data. Returns the bytes added
 * (4 + len), or 0 with the message unchanged when the element does not fit
 * in size bytes, the header holds no valid length (below 4) or the new total
 * would not fit the 16-bit length field. An empty TLV_SRC or TLV_DST element
 * is a programming error and aborts the process; the room test comes first,
 * so an element that does not fit is refused with 0 even then. */
uint32_t sntlv_add_bin(void *msg, uint32_t size, int type, uint32_t len, const void *data);

/* As sntlv_add_bin, with the value being the first len bytes of the 32-bit
 * value, least significant byte first; a len above 4 is taken as 4. */
uint32_t sntlv_add_dat(void *msg, uint32_t size, int type, uint32_t len, uint32_t value);

/* Returns the head of the first element of type, walking from the first
 * element, or NULL. A total length of 4 or less holds nothing. The walk never
 * reads past the total length: an element whose head or value runs past it
 * ends the walk and is not returned. */
uint8_t *tlv_find(const void *msg, int type);

/* Copies the value of the first element of type to dst when its length is
 * below dstSize (no terminating zero is added). Returns the value length, or
 * 0 when there is no such element or it does not fit. */
uint32_t sntlv_find(void *dst, uint32_t dstSize, int type, const void *msg);

/* Blanks the first element of type in place: type becomes TLV_VOID and the
 * value zeros; length and layout stay. A missing element aborts the process. */
void sntlv_void(void *msg, int type);

/* Removes the first element of type by shortening the total length, without
 * moving bytes: correct only for the last element, in practice the end
 * element before more elements are appended. Returns -(4 + value length).
 * A missing element aborts the process. */
int sntlv_remove(void *msg, uint32_t size, int type);

/* Checks a received or built message without changing it. Returns 0 (valid,
 * possibly with a warning for an answer without TLV_RSPARG), -1 (framing:
 * length, element sum, end element), -2 (category) or -3 (missing element).
 * Each failure is reported through the debug print (verbosity above 15).
 * REQUIRES: the buffer holds at least min(total length, ZTMSG_MAX) bytes. */
int tlv_validate(const void *msg);

/* Writes the low count bytes (1..4) of value, most significant first, each
 * as a one-character formatted print. Returns count, or 0 (nothing written)
 * for a count of 0 or above 4. A buffer without room for count + 1 bytes gets
 * only the bytes that fit, its last position a terminator; nothing is written
 * past bufSize. */
uint32_t snLoclItoI(void *buf, uint32_t bufSize, uint32_t count, uint32_t value);

/* Copies len bytes when 0 < len <= dstSize. Returns len, or 0. */
uint32_t snLoclbin(void *dst, uint32_t dstSize, uint32_t len, const void *src);

#ifdef __cplusplus
}
#endif

#endif /* ZT_TLV_H */
