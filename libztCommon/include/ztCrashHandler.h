/* Crash handler: catches fatal (and terminating) signals, writes a crash
 * report (signal, cause, fault address, stack, open files, optionally the
 * process status and memory map) to a file or standard output, then lets the
 * signal take its default effect so the process still ends (and dumps core)
 * as it would have without the handler.
 *
 * Threads: install once, early, from the main thread (the alternate signal
 * stack is registered for the installing thread only). The handler runs on
 * whichever thread received the signal; it uses buffered standard I/O, so a
 * second fatal signal on another thread during a report is not protected
 * against. A fatal signal raised inside the handler itself ends the process
 * with the default action at once.
 */
#ifndef ZT_CRASH_HANDLER_H
#define ZT_CRASH_HANDLER_H

#include <signal.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Installation options (one word, kept process-wide). */
#define ZTCH_OPT_SIGSEGV 0x00000001u      /* catch SIGSEGV */
#define ZTCH_OPT_SIGILL 0x00000002u       /* catch SIGILL */
#define ZTCH_OPT_SIGTERM 0x00000004u      /* catch SIGTERM */
#define ZTCH_OPT_SIGABRT 0x00000008u      /* catch SIGABRT */
#define ZTCH_OPT_SIGINT_QUIT 0x00000010u  /* catch SIGINT and SIGQUIT */
#define ZTCH_OPT_SIGBUS 0x00000020u       /* catch SIGBUS */
#define ZTCH_OPT_SIGFPE 0x00000080u       /* catch SIGFPE, traps below first */
#define ZTCH_OPT_FE_DIVBYZERO 0x00000100u /* trap FP divide by zero */
#define ZTCH_OPT_FE_OVERFLOW 0x00000200u  /* trap FP overflow */
#define ZTCH_OPT_FE_UNDERFLOW 0x00000400u /* trap FP underflow */
#define ZTCH_OPT_FE_INVALID 0x00000800u   /* trap invalid FP operation */
#define ZTCH_OPT_FE_INEXACT 0x00001000u   /* trap inexact FP result */
#define ZTCH_OPT_REPORT_FILE 0x01000000u  /* report to ZTCH_REPORT_PATH_FMT */
#define ZTCH_OPT_ALTSTACK 0x02000000u     /* handler on an alternate stack */
#define ZTCH_OPT_COPY_STDOUT 0x04000000u  /* copy the report file to stdout */
#define ZTCH_OPT_STATUS_MAPS 0x08000000u  /* append status and memory map */

/* What the daemon installs: every signal, divide-by-zero traps, report
 * file, alternate stack, copy to standard output, status and map. */
#define ZTCH_OPTS_DAEMON 0x0F0001FFu

/* Report file; %s is the program's short name (program_invocation_short_name).
 * The file is opened without following a symbolic link at its path. */
#define ZTCH_REPORT_PATH_FMT "/tmp/crash_report_%s.log"

/* Size of the alternate signal stack. */
#define ZTCH_ALTSTACK_SIZE 13120

/* Result of a second installation (EALREADY on Linux). */
#define ZTCH_ALREADY_INSTALLED 114

/* Installs the handler for the signals opts selects, in the order SIGSEGV,
 * SIGILL, SIGBUS, SIGTERM, SIGABRT, SIGINT, SIGQUIT, SIGFPE. Returns 0,
 * ZTCH_ALREADY_INSTALLED when options are installed already (they stay
 * unchanged), or the failing call's result (signals registered before the
 * failure stay registered; the options are not stored). */
int ztch_install_crash_handler(unsigned int opts);

/* The installed options; 0 when not installed. */
unsigned int ztch_get_opts(void);

/* Enables the floating-point traps selected by bits 8 to 12 of opts and
 * returns the result of feenableexcept (the previous trap set, or -1). */
int ztch_prepare_fpe(unsigned int opts);

/* Writes the calling thread's stack, at most 16 frames, to out:
 * " Backtrace (%d frames):\n", then "   #%d\t%p\t%s\n" per frame (index,
 * return address, "object(symbol+0xoffset)"), flushing after each line, and
 * an empty line. Symbolises without allocating, so it is usable after heap
 * corruption. */
void ztch_backtrace(FILE *out);

/* The SA_SIGINFO handler: writes the report, restores the default action of
 * signal and raises it again; the signal, blocked while the handler runs,
 * then ends the process as soon as the handler returns. */
void ztch_crash_handler(int signal, siginfo_t *info, void *context);

#ifdef __cplusplus
}
#endif

#endif /* ZT_CRASH_HANDLER_H */
