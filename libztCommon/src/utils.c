/* The leveled log, the debug print, assertion reports, error names and the
 * small utilities of the common runtime. Log records are built in fixed stack
 * buffers; nothing here allocates except the symbolised stack trace. */
#define _GNU_SOURCE
#include <errno.h>
#include <execinfo.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include "utils.h"
#include "ztErrno.h"

int32_t g_logLevel = ZT_LOG_ERROR;
uint32_t g_debug_level = 0x00285420u;

static const char *const s_levelNames[] = {
    "[ OFF ]", "[FATAL]", "[ERROR]", "[WARN ]", "[DEBUG]", "[INFO ]", "[TRACE]",
};
#define LEVEL_COUNT (int)(sizeof s_levelNames / sizeof s_levelNames[0])

/* Record layout: time stamp, level name and message share the first
 * RECORD_MSG_ROOM bytes (terminator included); a message that does not fit
 * is cut so that the " @file:line" suffix starts at RECORD_CUT_AT, where the
 * rest of the RECORD_SIZE bytes leave it 91 bytes of room. */
enum { RECORD_SIZE = 441, RECORD_MSG_ROOM = 350, RECORD_CUT_AT = 349 };

/* Prefix for the fixed paths under /tmp; empty on the camera. Only tests set
 * it (declared where they use it), to work in a scratch tree instead of the
 * real card folders. Not synchronised: set it before any other call. */
static char s_pathRoot[256];

void ztUtilSetPathRoot(const char *root);
void ztUtilSetPathRoot(const char *root)
{
    snprintf(s_pathRoot, sizeof s_pathRoot, "%s", root != NULL ? root : "");
}

/* Returns 0, or -1 when the rooted path does not fit. */
static int ztUtilPath(char *out, size_t size, const char *path)
{
    int n = snprintf(out, size, "%s%s", s_pathRoot, path);
    return (n < 0 || (size_t)n >= size) ? -1 : 0;
}

const char *ztUtilBaseName(const char *path)
{
    if (path == NULL)
        return "";
    const char *slash = strrchr(path, '/');
    return slash != NULL ? slash + 1 : path;
}

/* ---- Repeat limiter ---- */

/* True when the slot's copy names file (compared up to the copy's room). */
static int limit_same_file(const char *copy, const char *file)
{
    size_t n = strlen(copy);
    return strncmp(copy, file, n) == 0 && (file[n] == '\0' || n == ZT_LOG_LIMIT_FILE - 1);
}

static int limit_window_over(const ztLogLimiter_t *limiter, const ztLogLimitSlot_t *slot,
                             int64_t nowMs)
{
    return nowMs - slot->windowStartMs >= limiter->windowMs;
}

/* Copies the slot's count to due and clears it; the window stays closed. */
static void limit_report(ztLogLimitSlot_t *slot, ztLogSuppressed_t *due)
{
    *due = slot->site;
    slot->site.suppressed = 0;
}

static void limit_open_window(ztLogLimitSlot_t *slot, int level, int64_t nowMs)
{
    slot->site.level = level;
    slot->site.suppressed = 0;
    slot->windowStartMs = nowMs;
    slot->written = 1;
}

int ztLogLimitAdmit(ztLogLimiter_t *limiter, const char *file, int line, int level, int64_t nowMs,
                    ztLogSuppressed_t *due, size_t room, size_t *dueCount)
{
    *dueCount = 0;
    if (file == NULL)
        file = "";
    ztLogLimitSlot_t *own = NULL;
    ztLogLimitSlot_t *spare = NULL;
    for (size_t i = 0; i < ZT_LOG_LIMIT_SITES; i++) {
        ztLogLimitSlot_t *slot = &limiter->slots[i];
        if (slot->site.file[0] == '\0') {
            if (spare == NULL)
                spare = slot;
        } else if (own == NULL && slot->site.line == line &&
                   limit_same_file(slot->site.file, file)) {
            own = slot;
        }
    }
    /* The line's own report first, so its new window starts clean. */
    if (own != NULL && own->site.suppressed > 0 && limit_window_over(limiter, own, nowMs) &&
        room > 0)
        limit_report(own, &due[(*dueCount)++]);
    for (size_t i = 0; i < ZT_LOG_LIMIT_SITES; i++) {
        ztLogLimitSlot_t *slot = &limiter->slots[i];
        if (slot == own || slot->site.file[0] == '\0' || !limit_window_over(limiter, slot, nowMs))
            continue;
        if (slot->site.suppressed > 0 && *dueCount < room)
            limit_report(slot, &due[(*dueCount)++]);
        if (slot->site.suppressed == 0 && spare == NULL)
            spare = slot;
    }

    if (own != NULL) {
        if (limit_window_over(limiter, own, nowMs) && own->site.suppressed == 0) {
            limit_open_window(own, level, nowMs);
            return 1;
        }
        if (own->written < limiter->burst) {
            own->written++;
            return 1;
        }
        own->site.level = level;
        own->site.suppressed++;
        return 0;
    }
    /* An empty file name would read as a free slot: written uncounted, as
     * when no slot is left. */
    if (spare == NULL || file[0] == '\0')
        return 1;
    snprintf(spare->site.file, sizeof spare->site.file, "%s", file);
    spare->site.line = line;
    limit_open_window(spare, level, nowMs);
    return 1;
}

size_t ztLogLimitFlush(ztLogLimiter_t *limiter, ztLogSuppressed_t *due, size_t room)
{
    size_t count = 0;
    for (size_t i = 0; i < ZT_LOG_LIMIT_SITES && count < room; i++) {
        ztLogLimitSlot_t *slot = &limiter->slots[i];
        if (slot->site.file[0] != '\0' && slot->site.suppressed > 0)
            limit_report(slot, &due[count++]);
    }
    return count;
}

/* The process's limiter, behind s_limiterLock; the lock is held only to
 * decide, never while writing. */
static ztLogLimiter_t s_limiter = {.burst = ZT_LOG_LIMIT_BURST, .windowMs = ZT_LOG_LIMIT_WINDOW_MS};
static pthread_mutex_t s_limiterLock = PTHREAD_MUTEX_INITIALIZER;
static pthread_once_t s_exitReportOnce = PTHREAD_ONCE_INIT;
/* Reports written per log call; the rest wait for the next call. */
enum { LIMIT_DUE_PER_CALL = 4 };

/* Only tests change the limits (declared where they use it); call it before
 * anything logs. */
void ztUtilSetLogLimit(uint32_t burst, int64_t windowMs);
void ztUtilSetLogLimit(uint32_t burst, int64_t windowMs)
{
    pthread_mutex_lock(&s_limiterLock);
    s_limiter.burst = burst;
    s_limiter.windowMs = windowMs;
    pthread_mutex_unlock(&s_limiterLock);
}

static void write_record(const struct timespec *now, int level, int line, const char *file,
                         const char *format, va_list ap)
{
    char record[RECORD_SIZE];
    memset(record, 0, sizeof record);

    char stamp[48];
    snprintf(stamp, sizeof stamp, "[%.5ld%.3ld] ", (long)now->tv_sec, now->tv_nsec / 1000000L);

    /* Callers pass 1..6; anything else gets a neutral name rather than a read
     * past the table. */
    const char *name = (level >= 0 && level < LEVEL_COUNT) ? s_levelNames[level] : "[?????]";
    int n = snprintf(record, RECORD_MSG_ROOM, "%s%s ", stamp, name);
    if (n < 0 || n >= RECORD_MSG_ROOM)
        n = 0;

    int room = RECORD_MSG_ROOM - n;
    int written = vsnprintf(record + n, (size_t)room, format, ap);

    int at;
    int suffixRoom;
    if (written < 0 || written >= room) {
        at = RECORD_CUT_AT;
        suffixRoom = RECORD_SIZE - RECORD_CUT_AT - 1;
    } else {
        at = n + written;
        suffixRoom = RECORD_SIZE - 1 - at;
    }
    int s = snprintf(record + at, (size_t)suffixRoom, " @%s:%d", file != NULL ? file : "", line);
    if (s < 0 || s >= suffixRoom) {
        record[at] = ' ';
        record[at + 1] = '\0';
    }
    syslog(LOG_ERR, "%s", record);
}

static void write_recordf(const struct timespec *now, int level, int line, const char *file,
                          const char *format, ...) ZT_PRINTF_LIKE(5, 6);
static void write_recordf(const struct timespec *now, int level, int line, const char *file,
                          const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    write_record(now, level, line, file, format, ap);
    va_end(ap);
}

static void write_suppressed(const ztLogSuppressed_t *due, size_t count)
{
    struct timespec now = {0, 0};
    clock_gettime(CLOCK_BOOTTIME, &now);
    for (size_t i = 0; i < count; i++)
        write_recordf(&now, due[i].level, due[i].line, due[i].file,
                      "%u similar messages suppressed", (unsigned)due[i].suppressed);
}

static void report_suppressed_at_exit(void)
{
    ztLogSuppressed_t due[LIMIT_DUE_PER_CALL];
    size_t count;
    do {
        pthread_mutex_lock(&s_limiterLock);
        count = ztLogLimitFlush(&s_limiter, due, LIMIT_DUE_PER_CALL);
        pthread_mutex_unlock(&s_limiterLock);
        write_suppressed(due, count);
    } while (count == LIMIT_DUE_PER_CALL);
}

static void register_exit_report(void)
{
    atexit(report_suppressed_at_exit);
}

void ztUtilKlogMsgLevel(int level, int line, const char *file, const char *format, ...)
{
    struct timespec now = {0, 0};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const int64_t nowMs = (int64_t)now.tv_sec * 1000 + now.tv_nsec / 1000000L;

    ztLogSuppressed_t due[LIMIT_DUE_PER_CALL];
    size_t dueCount = 0;
    pthread_mutex_lock(&s_limiterLock);
    const int admit =
        ztLogLimitAdmit(&s_limiter, file, line, level, nowMs, due, LIMIT_DUE_PER_CALL, &dueCount);
    pthread_mutex_unlock(&s_limiterLock);
    if (!admit)
        pthread_once(&s_exitReportOnce, register_exit_report);
    write_suppressed(due, dueCount);
    if (!admit)
        return;

    va_list ap;
    va_start(ap, format);
    write_record(&now, level, line, file, format, ap);
    va_end(ap);
}

void ztUtilSetLogLevel(int level)
{
    if ((unsigned)level <= (unsigned)ZT_LOG_TRACE)
        g_logLevel = level;
}

const ztErrnoStr_t ztErrnoStrMap[ZT_ERRNO_STR_MAP_LEN] = {
    {"ZT_OK", ZT_OK},
    {"ZT_ERR", ZT_ERR},
    {"ZT_ERR_OUTOFMEM", ZT_ERR_OUTOFMEM},
    {"ZT_ERR_INVALID_PARAM", ZT_ERR_INVALID_PARAM},
    {"ZT_ERR_INCOMPLETE_CGI_PARAM", ZT_ERR_INCOMPLETE_CGI_PARAM},
    {"ZT_ERR_MQ_FAIL", ZT_ERR_MQ_FAIL},
    {"ZT_ERR_NO_SDCARD", ZT_ERR_NO_SDCARD},
    {"ZT_ERR_SDCARD_FULL", ZT_ERR_SDCARD_FULL},
    {"ZT_ERR_CREATING_MISC_DIR", ZT_ERR_CREATING_MISC_DIR},
    {"ZT_ERR_UPLOADED_FILE", ZT_ERR_UPLOADED_FILE},
    {"ZT_ERR_FILE_OPEN", ZT_ERR_FILE_OPEN},
    {"ZT_ERR_FILE_READ", ZT_ERR_FILE_READ},
    {"ZT_ERR_FILE_WRITE", ZT_ERR_FILE_WRITE},
    {"ZT_ERR_REMOTE_FILE_OPEN", ZT_ERR_REMOTE_FILE_OPEN},
    {"ZT_ERR_REMOTE_FILE_READ", ZT_ERR_REMOTE_FILE_READ},
    {"ZT_ERR_REMOTE_FILE_WRITE", ZT_ERR_REMOTE_FILE_WRITE},
    {"ZT_ERR_ACCESS_DENIED", ZT_ERR_ACCESS_DENIED},
    {"ZT_ERR_NAK", ZT_ERR_NAK},
    {"ZT_ERR_RESPONSE_ALREADY_SENT", ZT_ERR_RESPONSE_ALREADY_SENT},
    {"ZT_ERR_NAK_OFF", ZT_ERR_NAK_OFF},
    {"ZT_ERR_NOT_SUPPORTED", ZT_ERR_NOT_SUPPORTED},
    {"ZT_ERR_DOWNLOAD_FAILED", ZT_ERR_DOWNLOAD_FAILED},
};

const char *ztErrno2Str(int code)
{
    for (int i = 0; i < ZT_ERRNO_STR_MAP_LEN; i++) {
        if (ztErrnoStrMap[i].code == code)
            return ztErrnoStrMap[i].name;
    }
    return "UNKNOWN";
}

int ztDebugEnabled(unsigned threshold)
{
    return (g_debug_level & ZT_DBG_VERBOSITY_MASK) > threshold;
}

size_t ztDebugTimeStamp(char *buf, size_t size)
{
    if (buf == NULL || size == 0)
        return 0;
    time_t now = time(NULL);
    struct tm local;
    if (localtime_r(&now, &local) == NULL) {
        buf[0] = '\0';
        return 0;
    }
    size_t n = strftime(buf, size, "%b%d %H:%M:%S", &local);
    if (n == 0)
        buf[0] = '\0';
    return n;
}

/* Files this runtime writes sit in folders anyone may write (under /tmp, on
 * the card), where another user may have planted something first under the
 * same name. Nothing is ever opened through a symbolic link (O_NOFOLLOW) nor
 * blocks on a FIFO (O_NONBLOCK), and a file is written only when it is one
 * this process just created exclusively or one it may trust (below). */

/* Removes what is at path and creates a new file there, exclusively: the
 * descriptor names a file this call made, or -1 (for instance when another
 * user's file in a sticky folder cannot be removed). */
static int create_fresh(const char *path, int flags, mode_t mode)
{
    unlink(path);
    return open(path, flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
}

/* A file found at path may be used when it is a regular file with no other
 * name, owned by this user or by the owner of its folder (who could replace
 * it anyway; on the card every file belongs to the card's owner). */
static int trusted_file(int fd, const char *path)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1)
        return 0;
    if (st.st_uid == geteuid())
        return 1;
    char folder[512];
    const char *slash = strrchr(path, '/');
    if (slash == NULL || (size_t)(slash - path) >= sizeof folder)
        return 0;
    snprintf(folder, sizeof folder, "%.*s", slash == path ? 1 : (int)(slash - path), path);
    struct stat dir;
    return stat(folder, &dir) == 0 && dir.st_uid == st.st_uid;
}

/* Opens the file at path that is kept across runs with `flags` (no O_CREAT),
 * or -1 when nothing trusted is there. */
static int open_trusted(const char *path, int flags)
{
    int fd = open(path, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0 && !trusted_file(fd, path)) {
        close(fd);
        return -1;
    }
    return fd;
}

/* The copy grows across runs and processes while it is trusted; anything
 * else at its path is replaced by a new copy. */
static void append_debug_file(const char *stamp, const char *text)
{
    char path[512];
    if (ztUtilPath(path, sizeof path, ZT_DBG_FILE) != 0)
        return;
    int fd = open_trusted(path, O_WRONLY | O_APPEND);
    if (fd < 0)
        fd = create_fresh(path, O_WRONLY | O_APPEND, 0644);
    if (fd < 0)
        return;
    FILE *f = fdopen(fd, "a");
    if (f == NULL) {
        close(fd);
        return;
    }
    fprintf(f, "%s %s", stamp, text);
    fclose(f);
}

void ztDebugOutput(const char *text)
{
    if (text == NULL)
        text = "";
    char stamp[32];
    ztDebugTimeStamp(stamp, sizeof stamp);
    uint32_t mask = g_debug_level;
    if (mask & ZT_DBG_TO_STDOUT) {
        printf("%s %s", stamp, text);
        fflush(stdout);
    }
    if (mask & ZT_DBG_TO_FILE)
        append_debug_file(stamp, text);
    openlog(NULL, LOG_CONS | LOG_PERROR, LOG_USER);
    syslog(LOG_DEBUG, "%s", text);
    closelog();
}

void ztDebugPrint(unsigned verbosity, const char *fmt, ...)
{
    if (!ztDebugEnabled(verbosity))
        return;
    char text[2048];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    if (n < 0)
        text[0] = '\0';
    ztDebugOutput(text);
}

void ztAssertFail(const char *file, const char *func, int line, const char *cond)
{
    ztDebugPrint(ZT_DBG_THRESHOLD_ERR, "\033[31mASSERT:%s/%s:%d:%s\n\033[0m", file, func, line,
                 cond);
    raise(SIGABRT);
    exit(-1);
}

int daemon_init_ext(int allowCoreDump)
{
    if (getppid() == 1)
        return 0;
    /* Flushed first so text still buffered is not written twice; the parent
     * leaves without running exit handlers that belong to the daemon. */
    fflush(NULL);
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid > 0)
        _exit(0);
    setsid();
    int rc;
    if (allowCoreDump) {
        struct rlimit unlimited = {RLIM_INFINITY, RLIM_INFINITY};
        if (setrlimit(RLIMIT_CORE, &unlimited) != 0)
            printf("%s: Error: unable to set core limit in order to generate core dump!", __func__);
        rc = chdir("/tmp/fuse_b/");
        printf("%s: Note: Daemon can generate core dump.", __func__);
    } else {
        rc = chdir("/");
    }
    umask(0);
    return rc;
}

int daemon_init(void)
{
    return daemon_init_ext(0);
}

static const struct {
    uint32_t number;
    const char *name;
} s_models[] = {
    {61, "61"}, {60, "60"},       {58, "58"},   {57, "57"},
    {55, "55"}, {51, "lanterns"}, {50, "okra"}, {0xFFFFFFFFu, NULL},
};

const char *get_model_name(uint8_t model)
{
    for (size_t i = 0; s_models[i].number != 0xFFFFFFFFu; i++) {
        if (s_models[i].number == model)
            return s_models[i].name;
    }
    return NULL;
}

char *trim(char *s)
{
    if (s == NULL)
        return NULL;
    while (*s == ' ' || *s == '\t')
        s++;
    return *s != '\0' ? s : NULL;
}

static int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void unescapeUrl(char *s, int *length)
{
    if (s == NULL || length == NULL)
        return;
    int r = 0;
    int w = 0;
    while (s[r] != '\0') {
        char c = s[r++];
        if (c == '%') {
            /* s[r] is tested before s[r + 1] is read, so a '%' at the very end
             * never makes the decoder look behind the terminator. */
            int hi = hex_value(s[r]);
            int lo = hi >= 0 ? hex_value(s[r + 1]) : -1;
            if (lo >= 0) {
                c = (char)(((hi % 16) << 4) | lo);
                r += 2;
            }
        }
        s[w++] = c;
    }
    s[w] = '\0';
    *length = w;
}

int validateCardID(const char *s, size_t length)
{
    if (s == NULL)
        return 0;
    for (size_t i = 0; i < length && s[i] != '\0'; i++) {
        if (s[i] < '0' || s[i] > '9')
            return 0;
    }
    return 1;
}

static void card_id_reset(char *out)
{
    memset(out, 0, ZT_CARD_ID_BUF);
    out[0] = '0';
}

/* Reads the first line of the card file into out. The file sits on the
 * card, which anyone may write: only a trusted file is read; anything else
 * there (a link, a FIFO, another user's file) is left to be replaced.
 * Returns 1 when out holds a valid identifier. */
static int card_id_read(char *out, const char *file)
{
    int fd = open_trusted(file, O_RDONLY);
    if (fd < 0)
        return 0;
    FILE *f = fdopen(fd, "r");
    if (f == NULL) {
        close(fd);
        return 0;
    }
    char *line = fgets(out, ZT_CARD_ID_MAX + 1, f);
    fclose(f);
    if (line == NULL) {
        card_id_reset(out);
        return 0;
    }
    if (validateCardID(out, ZT_CARD_ID_MAX))
        return 1;
    card_id_reset(out);
    unlink(file);
    return 0;
}

int getCardIDStrFromCard(char *out, int card)
{
    if (out == NULL) {
        fprintf(stderr, "Cannot call with null pointer\n");
        return -1;
    }
    const char *folderName = card == 1 ? "/tmp/fuse_i/MISC/" : "/tmp/fuse_d/MISC/";
    char folder[512];
    char file[512];
    card_id_reset(out);
    if (ztUtilPath(folder, sizeof folder, folderName) != 0 ||
        snprintf(file, sizeof file, "%scard", folder) >= (int)sizeof file) {
        fprintf(stderr, "Failed to create folder:%s\n", folderName);
        return -1;
    }

    /* Tested without the trailing '/', which would make stat fail on a
     * non-folder instead of reporting what it is. */
    char dir[512];
    snprintf(dir, sizeof dir, "%.*s", (int)strlen(folder) - 1, folder);
    struct stat st;
    if (stat(dir, &st) == 0) {
        if (!S_ISDIR(st.st_mode)) {
            fprintf(stderr, "Path:%s exists and is a NOT folder\n", folder);
            return -1;
        }
    } else if (mkdir(dir, 0777) != 0) {
        fprintf(stderr, "Failed to create folder:%s\n", folder);
        return -1;
    }

    if (card_id_read(out, file))
        return 0;

    /* Whatever was there held no identifier to keep: a new file replaces it. */
    int fd = create_fresh(file, O_WRONLY, 0644);
    FILE *f = fd >= 0 ? fdopen(fd, "w") : NULL;
    if (f == NULL) {
        if (fd >= 0)
            close(fd);
        fprintf(stderr, "Failed to create file  %s\n", file);
        return -1;
    }

    srand((unsigned)time(NULL));
    for (int draw = 0; draw < 10; draw++) {
        long long r = rand();
        if (r == 0)
            continue;
        long long id = r * r - 1;
        snprintf(out, ZT_CARD_ID_BUF, "%lld", id);
        int wrote = fprintf(f, "%lld", id);
        if (fclose(f) != 0 || wrote < 0) {
            fprintf(stderr, "Failed to get write card_id to file\n");
            return -1;
        }
        return 0;
    }
    fprintf(stderr, "Failed to get random number\n");
    fclose(f);
    return -1;
}

int getCardIDStr(char *out)
{
    return getCardIDStrFromCard(out, 0);
}

int messages_txt_exists(void)
{
    char path[512];
    if (ztUtilPath(path, sizeof path, "/tmp/fuse_d/messages.txt") != 0)
        return 0;
    return access(path, F_OK) == 0 ? 1 : 0;
}

void print_stack_trace(void)
{
    void *frames[100];
    int count = backtrace(frames, 100);
    char **symbols = backtrace_symbols(frames, count);
    if (symbols == NULL) {
        ZTLOG(ZT_LOG_ERROR, "backtrace_symbols err");
        return;
    }
    for (int i = 0; i < count; i++)
        printf("        %s\n", symbols[i]);
    free(symbols);
}
