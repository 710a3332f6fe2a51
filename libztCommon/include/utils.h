/* Logging and small utilities of the common runtime: the leveled log that
 * every module uses, the mask-driven debug print behind assertions and
 * transport errors, daemonising, camera model names, the media card
 * identifier, URL unescaping and trimming, and a stack trace.
 *
 * Threads: the logging functions and macros may be called from any thread
 * (records are built on the caller's stack). g_logLevel and g_debug_level are
 * read without a lock; a change takes effect at each thread's next call. The
 * card identifier functions and daemon_init* are meant for one thread.
 */
#ifndef ZT_UTILS_H
#define ZT_UTILS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define ZT_PRINTF_LIKE(fmt, first) __attribute__((format(printf, fmt, first)))
#define ZT_NORETURN __attribute__((noreturn))
#else
#define ZT_PRINTF_LIKE(fmt, first)
#define ZT_NORETURN
#endif

/* ---- Leveled log ------------------------------------------------------ */

/* Log levels; the record carries the level's name ("[ERROR]"). DEBUG ranks
 * below INFO: at level 4 INFO and TRACE messages are suppressed. */
enum {
    ZT_LOG_OFF = 0,
    ZT_LOG_FATAL = 1,
    ZT_LOG_ERROR = 2,
    ZT_LOG_WARN = 3,
    ZT_LOG_DEBUG = 4,
    ZT_LOG_INFO = 5,
    ZT_LOG_TRACE = 6,
};

/* A message of level L is logged only when L <= g_logLevel. Initially 2. */
extern int32_t g_logLevel;

/* Writes one record to the system log at priority LOG_ERR, whatever the
 * level: "[SSSSSmmm] [LEVEL] message @file:line", with the boot-time clock
 * as seconds (at least five digits) and milliseconds. The message part is cut
 * at offset 349 of the record; the " @file:line" suffix is never cut (a
 * single blank replaces a suffix that does not fit). Callers test the level
 * first; use ZTLOG. file is the caller's source base name. Records of a
 * source line that repeats too often are dropped and counted (see the repeat
 * limiter below). */
void ztUtilKlogMsgLevel(int level, int line, const char *file, const char *format, ...)
    ZT_PRINTF_LIKE(4, 5);

/* ---- Repeat limiter of the leveled log ---------------------------------
 * A hostile or broken peer can make one source line log at the rate it sends
 * messages; without a log daemon every record goes to the console at a cost
 * far above that of the message itself. So each source line (file and line
 * number) may write ZT_LOG_LIMIT_BURST records within ZT_LOG_LIMIT_WINDOW_MS
 * of the first one; the rest of that window's records are counted, not
 * written. The first log call after the window is over (from any line) first
 * writes one record "N similar messages suppressed" with the level, file and
 * line of the dropped ones, in the usual record layout; records still counted
 * at process exit are reported then. ztUtilKlogMsgLevel holds one limiter
 * under a lock; the functions below work on a caller's limiter, unlocked. */
#define ZT_LOG_LIMIT_BURST 128u
#define ZT_LOG_LIMIT_WINDOW_MS 10000
#define ZT_LOG_LIMIT_SITES 64
#define ZT_LOG_LIMIT_FILE 96 /* longer file names are told apart by this prefix */

/* Dropped records of one source line, as reported. */
typedef struct {
    char file[ZT_LOG_LIMIT_FILE];
    int line;
    int level;
    uint32_t suppressed;
} ztLogSuppressed_t;

/* One source line's current window; file[0] == '\0' marks a free slot. */
typedef struct {
    ztLogSuppressed_t site;
    int64_t windowStartMs;
    uint32_t written;
} ztLogLimitSlot_t;

typedef struct {
    uint32_t burst;   /* records written per window */
    int64_t windowMs; /* window length */
    ztLogLimitSlot_t slots[ZT_LOG_LIMIT_SITES];
} ztLogLimiter_t;

/* Returns 1 when the record of file:line at nowMs (any monotonic clock) is to
 * be written, 0 when it is dropped and counted. Windows over by nowMs that
 * dropped records are closed and copied to due (room entries, at least 1;
 * the record's own line first, others left for later calls when due is
 * full); *dueCount gets their number. When all slots hold lines inside their
 * window, a new line's record is written without being counted. */
int ztLogLimitAdmit(ztLogLimiter_t *limiter, const char *file, int line, int level, int64_t nowMs,
                    ztLogSuppressed_t *due, size_t room, size_t *dueCount);

/* Closes windows that dropped records, over or not, copying at most room of
 * them to due; returns their number (room again when more may be left). */
size_t ztLogLimitFlush(ztLogLimiter_t *limiter, ztLogSuppressed_t *due, size_t room);

/* Sets g_logLevel when 0 <= level <= 6; other values are ignored. */
void ztUtilSetLogLevel(int level);

/* Returns the part of path behind its last '/'. */
const char *ztUtilBaseName(const char *path);

#ifdef __FILE_NAME__
#define ZT_FILE_BASENAME __FILE_NAME__
#else
#define ZT_FILE_BASENAME ztUtilBaseName(__FILE__)
#endif

/* Logs fmt at level with the caller's line and file base name. The level is
 * tested here, so a suppressed message costs one comparison and its
 * arguments are not evaluated. */
#define ZTLOG(level, fmt, ...)                                                           \
    do {                                                                                 \
        if ((level) <= g_logLevel)                                                       \
            ztUtilKlogMsgLevel((level), __LINE__, ZT_FILE_BASENAME, fmt, ##__VA_ARGS__); \
    } while (0)

/* ---- Debug print ------------------------------------------------------ */

/* Debug mask. Bits 0..7 are the verbosity number compared with each
 * message's threshold; the other bits below select extras. Initially
 * 0x00285420 (verbosity 32, crash-handler note enabled). */
extern uint32_t g_debug_level;

#define ZT_DBG_VERBOSITY_MASK 0xFFu
#define ZT_DBG_FULL_HEXDUMP 0x00000200u /* hex dumps print whole */
#define ZT_DBG_CRASH_NOTE 0x00001000u   /* crash-handler start-up note */
#define ZT_DBG_TO_FILE 0x20000000u      /* copy to ZT_DBG_FILE */
#define ZT_DBG_TO_STDOUT 0x40000000u    /* copy to standard output */

#define ZT_DBG_FILE "/tmp/fuse_d/wifi_log.txt"

/* Thresholds: a debug print goes out when the verbosity number is strictly
 * above its threshold ("above 7" means verbosity 8 or more). */
#define ZT_DBG_THRESHOLD_ERR 7   /* assertion reports, transport errors */
#define ZT_DBG_THRESHOLD_TLV 15  /* message validation failures */
#define ZT_DBG_THRESHOLD_NOTE 23 /* crash-handler note (with ZT_DBG_CRASH_NOTE) */

/* Returns 1 when the verbosity number of g_debug_level is above threshold. */
int ztDebugEnabled(unsigned threshold);

/* When the verbosity number of g_debug_level is strictly above verbosity,
 * formats the message and writes it to the destinations g_debug_level
 * selects: standard output (bit 30) and ZT_DBG_FILE (bit 29) get a
 * "%b%d %H:%M:%S" local time stamp, a blank and the message; the system log
 * always gets the message alone at LOG_DEBUG, opened for the call with
 * LOG_CONS | LOG_PERROR and closed again. */
void ztDebugPrint(unsigned verbosity, const char *fmt, ...) ZT_PRINTF_LIKE(2, 3);

/* Writes text to the destinations as ztDebugPrint does, without a threshold
 * test; for callers that tested ztDebugEnabled themselves. */
void ztDebugOutput(const char *text);

/* Writes the "%b%d %H:%M:%S" local time stamp (at most 19 characters) into
 * buf and returns its length (0 when it does not fit). */
size_t ztDebugTimeStamp(char *buf, size_t size);

/* Transport error report: "[%16s:%4d] %s:\n\n" with the tag "DMSGERR", the
 * given number and text, above verbosity 7. */
#define ZT_DMSGERR(number, text) \
    ztDebugPrint(ZT_DBG_THRESHOLD_ERR, "[%16s:%4d] %s:\n\n", "DMSGERR", (int)(number), (text))

/* Reports a failed assertion through the debug print (above verbosity 7),
 * raises SIGABRT and, should that return, exits with status -1. */
void ztAssertFail(const char *file, const char *func, int line, const char *cond) ZT_NORETURN;

/* Programming-error check, always active. The report names the source path,
 * function, line and the condition's text. */
#define ZTASSERT(cond)                                         \
    do {                                                       \
        if (!(cond))                                           \
            ztAssertFail(__FILE__, __func__, __LINE__, #cond); \
    } while (0)

/* ---- Utilities -------------------------------------------------------- */

/* Detaches the process: unless its parent is process 1 already, forks (the
 * parent exits with 0), starts a new session, changes directory ("/", or
 * "/tmp/fuse_b/" with core dumps allowed and the core size unlimited) and
 * clears the file-creation mask. Returns the result of the change of
 * directory (0 or -1), 0 when already a daemon, -1 when fork fails. */
int daemon_init_ext(int allowCoreDump);
int daemon_init(void);

/* Returns the camera's model name ("lanterns" for 51), or NULL. */
const char *get_model_name(uint8_t model);

/* Returns the first character of s that is not a space or tab, or NULL for a
 * NULL, empty or all-blank s. s is not modified. */
char *trim(char *s);

/* Percent-decodes s in place, terminates it and stores the decoded length
 * through length. Never reads past the terminator; a '%' not followed by two
 * hexadecimal digits is kept as it is. Does nothing if either is NULL. */
void unescapeUrl(char *s, int *length);

/* Returns 1 when the first length characters of s (or all up to its
 * terminator) are decimal digits, else 0. Empty counts as valid. */
int validateCardID(const char *s, size_t length);

/* Size of the caller's card identifier buffer; the identifier itself is at
 * most ZT_CARD_ID_MAX digits. */
#define ZT_CARD_ID_BUF 32
#define ZT_CARD_ID_MAX 30

/* Fills out (ZT_CARD_ID_BUF bytes) with the media card's identifier from
 * the file "card" in "/tmp/fuse_d/MISC/" (or "/tmp/fuse_i/MISC/" for card
 * 1), creating folder, file and a new random identifier when needed. out
 * holds "0" on failure. Messages go to standard error. Returns 0 or -1. */
int getCardIDStrFromCard(char *out, int card);
int getCardIDStr(char *out);

/* Returns 1 when "/tmp/fuse_d/messages.txt" exists, else 0. */
int messages_txt_exists(void);

/* Prints the calling thread's stack (at most 100 frames), one symbolised
 * frame per line, on standard output. */
void print_stack_trace(void);

#ifdef __cplusplus
}
#endif

#endif /* ZT_UTILS_H */
