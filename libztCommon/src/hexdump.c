/* Hex dumps into a caller's buffer and through the debug print. */
#include "hexdump.h"

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "utils.h"

/* Bounded appender over the caller's buffer: once a write does not fit the
 * buffer is left terminated after the last whole piece and nothing more is
 * written. */
typedef struct {
    char *buf;
    unsigned int size;
    unsigned int pos;
    int full;
} writer_t;

static int put(writer_t *w, const char *fmt, ...) ZT_PRINTF_LIKE(2, 3);

static int put(writer_t *w, const char *fmt, ...)
{
    if (w->full)
        return 0;
    unsigned int room = w->size - w->pos;
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(w->buf + w->pos, room, fmt, ap);
    va_end(ap);
    if (n < 0 || (unsigned int)n >= room) {
        w->buf[w->pos] = '\0';
        w->full = 1;
        return 0;
    }
    w->pos += (unsigned int)n;
    return 1;
}

static char printable(uint8_t c)
{
    return (c >= 32 && c <= 126) ? (char)c : '.';
}

/* One line of snhexdump: the 16 positions from line, of which only those in
 * [first, end) belong to the data. */
static void put_line(writer_t *w, const char *prefix, unsigned int address, uintptr_t line,
                     uintptr_t first, uintptr_t end)
{
    char cols[16 * 3 + 4 + 1];
    char text[16 + 1];
    size_t c = 0;
    for (int i = 0; i < HEXDUMP_LINE_BYTES; i++) {
        uintptr_t p = line + (uintptr_t)i;
        if (p >= first && p < end) {
            uint8_t b = *(const uint8_t *)p;
            snprintf(cols + c, sizeof cols - c, "%02X ", b);
            text[i] = printable(b);
        } else {
            memcpy(cols + c, "   ", 3);
            text[i] = ' ';
        }
        c += 3;
        if (i % 4 == 3)
            cols[c++] = ' ';
    }
    cols[c] = '\0';
    text[16] = '\0';
    put(w, "%s%0*X  %s%s\n", prefix, 8, address, cols, text);
}

static int dump(char *buf, unsigned int size, const void *data, size_t len, const char *prefix,
                int absolute)
{
    if (buf == NULL || size == 0)
        return 0;
    buf[0] = '\0';
    if (prefix == NULL)
        prefix = "";
    if (len == 0 || data == NULL) {
        int n = snprintf(buf, size, "%p\n", data);
        if (n < 0)
            return 0;
        if ((unsigned int)n >= size)
            return (int)(size - 1);
        return n + 1;
    }

    uintptr_t first = (uintptr_t)data;
    uintptr_t start = absolute ? (first & ~(uintptr_t)15) : first;
    uintptr_t end = first + len;
    if (end <= start)
        return 0; /* the range wraps around the address space */

    writer_t w = {buf, size, 0, 0};
    uintptr_t prev = 0;
    int prevFull = 0;
    uintptr_t line = start;
    while (line < end && !w.full) {
        if (prevFull && end - line >= 16 &&
            memcmp((const void *)line, (const void *)prev, 16) == 0) {
            do {
                line += 16;
            } while (end - line >= 16 && memcmp((const void *)line, (const void *)prev, 16) == 0);
            if (line >= end)
                break;
            put(&w, "...\n");
        }
        unsigned int address = absolute ? (unsigned int)line : (unsigned int)(line - start);
        put_line(&w, prefix, address, line, first, end);
        prevFull = line >= first && end - line >= 16;
        prev = line;
        line += 16;
    }
    return (int)w.pos;
}

int snhexdump(char *buf, unsigned int size, const void *data, size_t len, const char *prefix)
{
    return dump(buf, size, data, len, prefix, 1);
}

int snhexdump0(char *buf, unsigned int size, const void *data, size_t len, const char *prefix)
{
    return dump(buf, size, data, len, prefix, 0);
}

int hexline(char *buf, int size, const char *tag, unsigned int *address, int *offset,
            const void *data, int len)
{
    const uint8_t *bytes = data;
    char cols[16 * 2 + 3 + 1];
    char text[16 + 1];
    size_t c = 0;
    for (int i = 0; i < HEXDUMP_LINE_BYTES; i++) {
        long idx = (long)*offset + i;
        if (bytes != NULL && idx >= 0 && idx < len) {
            snprintf(cols + c, sizeof cols - c, "%02x", bytes[idx]);
            text[i] = printable(bytes[idx]);
        } else {
            memcpy(cols + c, "  ", 2);
            text[i] = ' ';
        }
        c += 2;
        if (i == 3 || i == 7 || i == 11)
            cols[c++] = ' ';
    }
    cols[c] = '\0';
    text[16] = '\0';

    int n = -1;
    if (buf != NULL && size > 0)
        n = snprintf(buf, (size_t)size, "%-11s%08x  %s  %s", tag ? tag : "", *address, cols, text);
    *address += 16;
    *offset += 16;
    return (n < 0 || n >= size) ? -1 : n;
}

void hexprint(const char *tag, unsigned int address, const void *data, int len)
{
    if (!ztDebugEnabled(ZT_DBG_THRESHOLD_ERR))
        return;
    ztDebugOutput("\n");
    if (data == NULL || len <= 0)
        return;

    /* Long dumps keep their head and tail unless the full dump is asked for. */
    const int whole = (g_debug_level & ZT_DBG_FULL_HEXDUMP) != 0;
    unsigned int lineAddress = address & ~15u;
    int offset = -(int)(address & 15u);
    while (offset < len) {
        char line[HEXLINE_BUF_SIZE];
        const int lineEnd = offset + 16;
        hexline(line, (int)sizeof line - 1, tag, &lineAddress, &offset, data, len);
        if (whole || lineEnd <= 79 || len - lineEnd <= 31) {
            size_t n = strlen(line);
            line[n] = '\n';
            line[n + 1] = '\0';
            ztDebugOutput(line);
        }
    }
}

void hexprint_noaddr(const char *tag, unsigned int address, const void *data, int len)
{
    (void)address;
    if (!ztDebugEnabled(ZT_DBG_THRESHOLD_ERR))
        return;
    if (data == NULL || len < 1) {
        ztDebugOutput("\n");
        return;
    }
    const uint8_t *bytes = data;
    /* Tag (cut at 100 characters), 16 bytes, up to 4 group blanks, line end
     * and terminator. */
    char line[100 + 32 + 4 + 1 + 1];
    int n = snprintf(line, sizeof line, "%.100s", tag ? tag : "");
    if (n < 0)
        n = 0;
    for (int i = 0; i < len; i++) {
        if (i > 0 && i % 16 == 0) {
            line[n++] = '\n';
            line[n] = '\0';
            ztDebugOutput(line);
            n = 0;
        }
        if (i % 16 != 0 && (len - i) % 4 == 0)
            line[n++] = ' ';
        n += snprintf(line + n, sizeof line - (size_t)n, "%02x", bytes[i]);
    }
    line[n++] = '\n';
    line[n] = '\0';
    ztDebugOutput(line);
}
