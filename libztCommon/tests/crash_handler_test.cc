// Crash reports produced by real signals in child processes, read back from
// the report file, and the installation rules. Each child gets its own
// program name so concurrent runs never share a report file under /tmp.
#include "ztCrashHandler.h"

#include <errno.h>
#include <fcntl.h>
#include <fenv.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "utils.h"
#include "ztTestChild.h"

// The sanitizer's own fatal-signal handlers would report and exit before
// ours runs; the crash children need the real signals.
extern "C" const char *__asan_default_options()
{
    return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0";
}

namespace {

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Faults the compiler and the sanitizers must not turn into something else.
__attribute__((no_sanitize("address", "undefined"), noinline)) void WriteToNull()
{
    volatile int *volatile p = nullptr;
    *p = 1;
}

[[maybe_unused]] __attribute__((no_sanitize("address", "undefined"), noinline)) void DivideByZero()
{
    volatile int dividend = 7, zero = 0;
    volatile int quotient = dividend / zero;
    (void)quotient;
}

// The child's standard output, then "|", the report file (removed) and "|".
// fault runs in a child named name after installing the handler with opts.
std::string Crash(unsigned opts, int sig, const std::function<void()> &fault,
                  const std::string &name)
{
    const std::string path = "/tmp/crash_report_" + name + ".log";
    auto child = zt_test::RunInChild([&] {
        program_invocation_short_name = const_cast<char *>(name.c_str());
        if (ztch_install_crash_handler(opts) == 0)
            fault();
    });
    EXPECT_TRUE(child.killedBy(sig)) << name << " " << child.status;
    std::string report = ReadFile(path);
    unlink(path.c_str());
    return child.out + "|" + report + "|";
}

bool Has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

TEST(CrashHandler, SegvReportHasCauseFaultAddressStackOpenFilesStatusAndMapAndEndsTheProcess)
{
    const std::string name = "zt_crash_segv_" + std::to_string(getpid());
    const std::string open = "/tmp/" + name + ".open";
    std::ofstream(open) << "x";
    std::string r = Crash(
        ZTCH_OPTS_DAEMON, SIGSEGV,
        [&] {
            (void)::open(open.c_str(), O_RDONLY);  // shows in the open-file list
            WriteToNull();
        },
        name);
    unlink(open.c_str());
    std::string copy = r.substr(0, r.find('|')), report = r.substr(copy.size());
    for (const std::string &part :
         std::vector<std::string>{"\tZT CRASH HANDLER (Opts: 0x0F0001FF)\n",
                                  "     Report file: /tmp/crash_report_" + name + ".log\n",
                                  "         Program: " + name + "\n", "          Signal: SIGSEGV\n",
                                  "     Signal code: 1 (Address not mapped to object)\n",
                                  "   Fault address: (nil)\n", " Backtrace (", ")\n   #1\t0x",
                                  "\tfile\t" + open + "\n", "\tfifo\tpipe:[", " Open files:\n"}) {
        EXPECT_TRUE(Has(report, part)) << part << report;
        EXPECT_TRUE(Has(copy, part)) << part << "(copy)";
    }
    EXPECT_TRUE(Has(report, " Status: \n") && Has(report, "   Name:\t") &&
                Has(report, " Maps: \n"));
    EXPECT_LT(report.find(" Open files:"), report.find(" Status: "));
    EXPECT_FALSE(Has(copy, " Maps: \n"));
}

TEST(CrashHandler, SignalsNameTheirCauseAndPlantedLinkSendsTheReportToStandardOutput)
{
    const std::string name = "zt_crash_" + std::to_string(getpid());
    std::string abrt = Crash(
        ZTCH_OPT_SIGABRT | ZTCH_OPT_REPORT_FILE | ZTCH_OPT_ALTSTACK, SIGABRT,
        [] { ZTASSERT(errno == -1); }, name + "a");
    EXPECT_TRUE(abrt.rfind("|\n", 0) == 0 &&
                Has(abrt, "          Signal: SIGABRT\n    Signal errno: 0\n"))
        << abrt;
    EXPECT_TRUE(Has(abrt, " (unknown)\n   Fault address: ")) << abrt;
    std::string term = Crash(
        ZTCH_OPT_SIGTERM, SIGTERM, [] { raise(SIGTERM); }, name + "t");
    EXPECT_TRUE(Has(term, "     Report file: STDOUT\n") &&
                Has(term, "          Signal: SIGTERM\n") && Has(term, "||"))
        << term;
#if defined(__x86_64__) || defined(__i386__)
    std::string fpe =
        Crash(ZTCH_OPT_SIGFPE | ZTCH_OPT_REPORT_FILE, SIGFPE, DivideByZero, name + "f");
    EXPECT_TRUE(Has(fpe,
                    "          Signal: SIGFPE\n    Signal errno: 0\n     Signal code: 1 (Integer "
                    "divide by zero)\n"))
        << fpe;
#endif
    const std::string victim = "/tmp/" + name + ".victim";
    std::ofstream(victim) << "keep";
    symlink(victim.c_str(), ("/tmp/crash_report_" + name + "l.log").c_str());
    std::string segv =
        Crash(ZTCH_OPT_SIGSEGV | ZTCH_OPT_REPORT_FILE, SIGSEGV, WriteToNull, name + "l");
    EXPECT_EQ(ReadFile(victim), "keep");
    unlink(victim.c_str());
    EXPECT_TRUE(Has(segv, "     Report file: STDOUT (failed to open '/tmp/crash_report_" + name +
                              "l.log' err:" + std::to_string(ELOOP) + ")\n"))
        << segv;
}

TEST(CrashHandler, InstallsOnceAndDaemonOptionsRegisterEverySignalOnTheAltStackAndOnlyTheDivideTrap)
{
    auto child = zt_test::RunInChild([] {
        printf("%u ", ztch_get_opts());
        printf("%d ", ztch_install_crash_handler(ZTCH_OPTS_DAEMON));
        printf("%d ", ztch_install_crash_handler(ZTCH_OPT_SIGTERM));
        printf("%x ", ztch_get_opts());
        for (int sig :
             {SIGSEGV, SIGILL, SIGBUS, SIGTERM, SIGABRT, SIGINT, SIGQUIT, SIGFPE, SIGPIPE}) {
            struct sigaction sa;
            sigaction(sig, nullptr, &sa);
            printf("%d", sa.sa_sigaction == ztch_crash_handler && (sa.sa_flags & SA_SIGINFO) &&
                             (sa.sa_flags & SA_ONSTACK));
        }
#if defined(__x86_64__) || defined(__i386__)
        printf(" %d", fegetexcept() == FE_DIVBYZERO);
#else
        printf(" 1");  // the traps are not available
#endif
    });
    EXPECT_EQ(child.out, "0 0 114 f0001ff 111111110 1");
}

}  // namespace
