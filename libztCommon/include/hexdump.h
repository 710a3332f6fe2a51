/* Hex dumps of memory as classic hex-and-text lines: into a caller's buffer
 * (snhexdump, snhexdump0) or line by line through the debug print of utils.h
 * (hexprint, hexprint_noaddr). The functions keep no state and may be called
 * from any thread; the debug-print forms read g_debug_level.
 */
#ifndef ZT_HEXDUMP_H
#define ZT_HEXDUMP_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Bytes per dump line. */
#define HEXDUMP_LINE_BYTES 16
/* Room hexline needs for one line and its line end. */
#define HEXLINE_BUF_SIZE 98

/* Formats len bytes at data into buf (size bytes, always terminated when
 * size > 0). Each line is: prefix, the address as 8 upper-case hexadecimal
 * digits, two blanks, 16 byte columns ("XX " or three blanks outside the
 * data, one more blank after every fourth column), the 16 text characters
 * (printable ASCII as itself, others as '.', blanks outside the data), "\n".
 *
 * snhexdump starts at data rounded down to 16 and prints the low 32 bits of
 * the real addresses; snhexdump0 starts at data and prints offsets from 0.
 * Runs of full lines equal to the line before are replaced by one "...\n"
 * line; a run that reaches the end of the data ends the dump without it.
 *
 * Returns the number of characters stored (without the terminator). An
 * empty range writes "%p\n" with data and returns that length plus one.
 * prefix may be NULL (no prefix). */
int snhexdump(char *buf, unsigned int size, const void *data, size_t len, const char *prefix);
int snhexdump0(char *buf, unsigned int size, const void *data, size_t len, const char *prefix);

/* Formats one line of hexprint into buf (size bytes, HEXLINE_BUF_SIZE is
 * enough): the tag left-aligned in 11 columns, *address as 8 lower-case
 * hexadecimal digits, two blanks, 16 columns "%02x" of data[*offset + i]
 * (two blanks where that index is outside 0..len-1) with a blank after the
 * 4th, 8th and 12th column, two blanks and the 16 text characters. No line
 * end is written. Advances *address and *offset by 16. Returns the number of
 * characters stored, or -1 when the line does not fit. */
int hexline(char *buf, int size, const char *tag, unsigned int *address, int *offset,
            const void *data, int len);

/* Dumps len bytes at data through the debug print (verbosity above 7): the
 * first line starts at address rounded down to 16, the bytes before the data
 * shown as blanks. Unless bit 9 (ZT_DBG_FULL_HEXDUMP) of g_debug_level is
 * set, only the lines that end at offset 79 or earlier, or that have at most
 * 31 bytes of the data behind them, are printed. */
void hexprint(const char *tag, unsigned int address, const void *data, int len);

/* Compact dump through the debug print: the tag, then the bytes as "%02x",
 * 16 per line, groups of four separated by a blank and counted so that the
 * last group ends with the data. address is not printed. A len below 1
 * prints an empty line. */
void hexprint_noaddr(const char *tag, unsigned int address, const void *data, int len);

#ifdef __cplusplus
}
#endif

#endif /* ZT_HEXDUMP_H */
