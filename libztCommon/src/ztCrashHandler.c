/* Crash handler: installation and the crash report. */
#define _GNU_SOURCE
#include "ztCrashHandler.h"

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <execinfo.h>
#include <fcntl.h>
#include <fenv.h>
#include <stdint.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#define MAX_FRAMES 16
#define FD_DIR "/proc/self/fd"

static volatile unsigned int s_opts;
/* Set while a report is being written: a fatal signal raised by the report
 * itself must end the process instead of starting a second report. */
static volatile sig_atomic_t s_inHandler;
/* Static so installation allocates nothing that could leak or fail.
 * Sanitizer builds run the same report with far larger stack frames. */
#if defined(__SANITIZE_ADDRESS__)
#define ALTSTACK_BYTES (8 * ZTCH_ALTSTACK_SIZE)
#else
#define ALTSTACK_BYTES ZTCH_ALTSTACK_SIZE
#endif
static char s_altStack[ALTSTACK_BYTES];

static const char *prog(void)
{
    return program_invocation_short_name;
}

static void separator(FILE *out)
{
    fputs("\n", out);
    for (int i = 0; i < 40; i++)
        fputs(" -", out);
    fputs("\n", out);
}

static const char *signal_name(int sig)
{
    switch (sig) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGILL:
        return "SIGILL";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    case SIGABRT:
        return "SIGABRT";
    case SIGTERM:
        return "SIGTERM";
    case SIGINT:
        return "SIGINT";
    case SIGQUIT:
        return "SIGQUIT";
    case SIGKILL:
        return "SIGKILL";
    default:
        return "UNKNOWN";
    }
}

static const char *code_text(int sig, int code)
{
    static const char *const segv[] = {"Address not mapped to object",
                                       "Invalid permissions for mapped object"};
    static const char *const ill[] = {"Illegal opcode",          "Illegal operand",
                                      "Illegal addressing mode", "Illegal trap",
                                      "Privileged opcode",       "Privileged register",
                                      "Coprocessor error",       "Internal stack error"};
    static const char *const fpe[] = {
        "Integer divide by zero",           "Integer overlow",
        "Floating point divide by zero",    "Floating point overflow",
        "Floating point underflow",         "Floating point inexact result",
        "Floating point invalid operation", "Subscript out of range"};
    if (sig == SIGSEGV && code >= 1 && code <= 2)
        return segv[code - 1];
    if (sig == SIGILL && code >= 1 && code <= 8)
        return ill[code - 1];
    if (sig == SIGFPE && code >= 1 && code <= 8)
        return fpe[code - 1];
    return "unknown";
}

static const char *file_type(mode_t mode)
{
    if (S_ISREG(mode))
        return "file";
    if (S_ISDIR(mode))
        return "dir";
    if (S_ISCHR(mode))
        return "devc";
    if (S_ISBLK(mode))
        return "devb";
    if (S_ISFIFO(mode))
        return "fifo";
    if (S_ISLNK(mode))
        return "sym";
    if (S_ISSOCK(mode))
        return "sock";
    return "?";
}

static void list_open_files(FILE *out)
{
    fputs(" Open files:\n", out);
    DIR *dir = opendir(FD_DIR);
    if (dir == NULL) {
        fprintf(out, "   ! Could not open %s (%d)\n", FD_DIR, errno);
    } else {
        struct dirent *entry;
        while ((entry = readdir(dir)) != NULL) {
            if (entry->d_type != DT_LNK)
                continue;
            char path[32];
            int n = snprintf(path, sizeof path, FD_DIR "/%s", entry->d_name);
            if (n < 0 || n > 31) {
                fprintf(out, "   #%s\t???\n", entry->d_name);
                continue;
            }
            char target[256];
            ssize_t len = readlink(path, target, 255);
            if (len < 0) {
                fprintf(out, "   #%s\treadlink failed %d\n", entry->d_name, errno);
                continue;
            }
            target[len] = '\0';
            struct stat st;
            const char *type = stat(path, &st) == 0 ? file_type(st.st_mode) : "unkn";
            fprintf(out, "   #%s\t%s\t%s\n", entry->d_name, type, target);
        }
        closedir(dir);
    }
    fputs("\n", out);
    fflush(out);
}

static void copy_file_lines(FILE *out, const char *path)
{
    FILE *in = fopen(path, "r");
    if (in == NULL) {
        fprintf(out, "   -> could not open '%s' (%d)\n", path, errno);
        return;
    }
    char piece[128];
    while (fgets(piece, sizeof piece, in) != NULL)
        fprintf(out, "   %s", piece);
    fclose(in);
}

void ztch_backtrace(FILE *out)
{
    void *frames[MAX_FRAMES];
    int count = backtrace(frames, MAX_FRAMES);
    fputs(" Backtrace ", out);
    fprintf(out, "(%d frames):\n", count);
    for (int i = 0; i < count; i++) {
        /* dladdr instead of backtrace_symbols: no heap use, so a crash inside
         * the allocator still gets its stack. */
        char symbol[256];
        Dl_info info;
        if (dladdr(frames[i], &info) != 0 && info.dli_fname != NULL) {
            if (info.dli_sname != NULL)
                snprintf(symbol, sizeof symbol, "%s(%s+0x%lx)", info.dli_fname, info.dli_sname,
                         (unsigned long)((uintptr_t)frames[i] - (uintptr_t)info.dli_saddr));
            else
                snprintf(symbol, sizeof symbol, "%s(+0x%lx)", info.dli_fname,
                         (unsigned long)((uintptr_t)frames[i] - (uintptr_t)info.dli_fbase));
        } else {
            snprintf(symbol, sizeof symbol, "??");
        }
        fprintf(out, "   #%d\t%p\t%s\n", i, frames[i], symbol);
        fflush(out);
    }
    fputs("\n", out);
}

static void reraise_default(int sig)
{
    struct sigaction dfl;
    memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(sig, &dfl, NULL);
    raise(sig);
}

/* Opens the report file for a crash in progress: async-signal-safe calls
 * only, never blocking. The path is in a world-writable folder, so whatever
 * is found there was not made by this crash: another user's file (which
 * would receive the report and keep it readable to them) or a FIFO (which
 * would hold the handler up for good) is removed and the report created
 * afresh, exclusively, readable to this user only. A symbolic link is
 * refused, never followed (ELOOP, the report goes to standard output). When
 * what is there cannot be removed, creating fails and the report goes to
 * standard output too. Returns the descriptor, or -1 with errno set. */
static int open_report(const char *path)
{
    struct stat st;
    if (lstat(path, &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            errno = ELOOP;
            return -1;
        }
        unlink(path);
    }
    return open(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
}

void ztch_crash_handler(int sig, siginfo_t *info, void *context)
{
    (void)context;
    if (s_inHandler) {
        reraise_default(sig);
        return;
    }
    s_inHandler = 1;
    const unsigned int opts = s_opts;

    char path[256]; /* small: the handler may run on the alternate stack */
    snprintf(path, sizeof path, ZTCH_REPORT_PATH_FMT, prog());
    FILE *out = stdout;
    int openErr = 0;
    if (opts & ZTCH_OPT_REPORT_FILE) {
        int fd = open_report(path);
        if (fd >= 0) {
            out = fdopen(fd, "w+");
            if (out == NULL) {
                openErr = errno;
                close(fd);
                out = stdout;
            }
        } else {
            openErr = errno;
        }
    }

    separator(out);
    fprintf(out, "\tZT CRASH HANDLER (Opts: 0x%.8X)\n", opts);
    separator(out);
    if (!(opts & ZTCH_OPT_REPORT_FILE))
        fputs("     Report file: STDOUT\n", out);
    else if (out == stdout)
        fprintf(out, "     Report file: STDOUT (failed to open '%s' err:%d)\n", path, openErr);
    else
        fprintf(out, "     Report file: %s\n", path);

    char when[64] = "";
    time_t now = time(NULL);
    struct tm tm;
    if (localtime_r(&now, &tm) != NULL)
        strftime(when, sizeof when, "%x %H:%M:%S", &tm);
    fprintf(out, "       Date/Time: %s\n", when);
    fprintf(out, "         Program: %s\n", prog());
    fprintf(out, "      Process ID: %d (Parent: %d)\n", (int)getpid(), (int)getppid());
    fputs("\n", out);

    const int code = info ? info->si_code : 0;
    fprintf(out, "          Signal: %s\n", signal_name(sig));
    fprintf(out, "    Signal errno: %d\n", info ? info->si_errno : 0);
    fprintf(out, "     Signal code: %d (%s)\n", code, code_text(sig, code));
    fprintf(out, "   Fault address: %p\n", info ? info->si_addr : NULL);
    fputs("\n", out);
    separator(out);

    ztch_backtrace(out);
    separator(out);

    list_open_files(out);

    if ((opts & ZTCH_OPT_COPY_STDOUT) && out != stdout) {
        fflush(out);
        rewind(out);
        char piece[128];
        size_t n;
        while ((n = fread(piece, 1, sizeof piece, out)) > 0)
            fwrite(piece, 1, n, stdout);
        fflush(stdout);
        fseek(out, 0, SEEK_END); /* back to writing the rest of the report */
    }

    if (opts & ZTCH_OPT_STATUS_MAPS) {
        separator(out);
        fprintf(out, " %s\n", "Status: ");
        copy_file_lines(out, "/proc/self/status");
        fputs("\n", out);
        separator(out);
        fprintf(out, " %s\n", "Maps: ");
        copy_file_lines(out, "/proc/self/maps");
        fputs("\n", out);
    }

    if (out != stdout)
        fclose(out);
    else
        fflush(stdout);

    reraise_default(sig);
}

int ztch_prepare_fpe(unsigned int opts)
{
    int excepts = 0;
    if (opts & ZTCH_OPT_FE_DIVBYZERO)
        excepts |= FE_DIVBYZERO;
    if (opts & ZTCH_OPT_FE_OVERFLOW)
        excepts |= FE_OVERFLOW;
    if (opts & ZTCH_OPT_FE_UNDERFLOW)
        excepts |= FE_UNDERFLOW;
    if (opts & ZTCH_OPT_FE_INVALID)
        excepts |= FE_INVALID;
    if (opts & ZTCH_OPT_FE_INEXACT)
        excepts |= FE_INEXACT;
    return feenableexcept(excepts);
}

static int register_signal(int sig, const char *name, const struct sigaction *action)
{
    int ret = sigaction(sig, action, NULL);
    if (ret != 0)
        printf("\e[31mztch(%s): failed registering %s (ret: %d)\n\e[0m", prog(), name, ret);
    return ret;
}

int ztch_install_crash_handler(unsigned int opts)
{
    if (s_opts != 0)
        return ZTCH_ALREADY_INSTALLED;

    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_sigaction = ztch_crash_handler;
    action.sa_flags = SA_SIGINFO;

    if (opts & ZTCH_OPT_ALTSTACK) {
        stack_t stack;
        memset(&stack, 0, sizeof stack);
        stack.ss_sp = s_altStack;
        stack.ss_size = sizeof s_altStack;
        int ret = sigaltstack(&stack, NULL);
        if (ret != 0)
            printf("\e[31mztch(%s): failed running sigaltstack() (ret:%d)\n\e[0m", prog(), ret);
        else
            action.sa_flags |= SA_ONSTACK;
    }

    int ret = sigemptyset(&action.sa_mask);
    if (ret != 0) {
        printf("\e[31mztch(%s): failed running sigemptyset() (ret:%d)\n\e[0m", prog(), ret);
        return ret;
    }

    /* The first backtrace() loads the unwinder; do it now, not in a crash. */
    void *frame;
    backtrace(&frame, 1);

    static const struct {
        unsigned int bit;
        int sig;
        const char *name;
    } table[] = {
        {ZTCH_OPT_SIGSEGV, SIGSEGV, "SIGSEGV"},     {ZTCH_OPT_SIGILL, SIGILL, "SIGILL"},
        {ZTCH_OPT_SIGBUS, SIGBUS, "SIGBUS"},        {ZTCH_OPT_SIGTERM, SIGTERM, "SIGTERM"},
        {ZTCH_OPT_SIGABRT, SIGABRT, "SIGABRT"},     {ZTCH_OPT_SIGINT_QUIT, SIGINT, "SIGINT"},
        {ZTCH_OPT_SIGINT_QUIT, SIGQUIT, "SIGQUIT"},
    };
    for (size_t i = 0; i < sizeof table / sizeof table[0]; i++) {
        if (!(opts & table[i].bit))
            continue;
        ret = register_signal(table[i].sig, table[i].name, &action);
        if (ret != 0)
            return ret;
    }
    if (opts & ZTCH_OPT_SIGFPE) {
        ztch_prepare_fpe(opts);
        ret = register_signal(SIGFPE, "SIGFPE", &action);
        if (ret != 0)
            return ret;
    }

    s_opts = opts;
    return 0;
}

unsigned int ztch_get_opts(void)
{
    return s_opts;
}
