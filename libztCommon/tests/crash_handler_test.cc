// Crash reports produced by real signals in child processes, read back from
// the report file; installation rules. Each child gets its own program name
// so concurrent runs never share a report file under /tmp.
#include "ztCrashHandler.h"

#include <errno.h>
#include <fcntl.h>
#include <fenv.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "utils.h"
#include "ztTestChild.h"

// The sanitizer's own fatal-signal handlers would report and exit before
// ours runs; the crash children need the real signals.
extern "C" const char *__asan_default_options()
{
    return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0";
}

namespace {

struct Crash {
    zt_test::ChildResult child;
    std::string path;    // the report file's path
    std::string report;  // its contents ("" when absent)
};

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string UniqueName()
{
    static int counter;
    return "zt_crash_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
}

std::string ReportPath(const std::string &name)
{
    return "/tmp/crash_report_" + name + ".log";
}

// Installs the handler with opts in a child named name, runs fault there and
// collects the report file. prepare runs in the parent before the child.
Crash CrashWith(unsigned opts, const std::function<void()> &fault,
                const std::string &name = UniqueName())
{
    Crash crash;
    crash.path = ReportPath(name);
    crash.child = zt_test::RunInChild([&] {
        program_invocation_short_name = const_cast<char *>(name.c_str());
        if (ztch_install_crash_handler(opts) != 0)
            _exit(3);
        fault();
        _exit(4);
    });
    crash.report = ReadFile(crash.path);
    unlink(crash.path.c_str());
    return crash;
}

// Faults the compiler and the sanitizers must not turn into something else.
__attribute__((no_sanitize("address", "undefined"), noinline)) void WriteToNull()
{
    volatile int *volatile p = nullptr;
    *p = 1;
}

__attribute__((no_sanitize("address", "undefined"), noinline)) int DivideByZero()
{
    // Both operands opaque: the compiler rewrites 1 / x without a division.
    volatile int dividend = 7;
    volatile int zero = 0;
    volatile int quotient = dividend / zero;
    return quotient;
}

bool Has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

TEST(CrashHandler, SegvAtNullGivesCodeTextFaultAddressAndFullReport)
{
    const std::string name = UniqueName();
    const std::string open = "/tmp/" + name + ".open";
    {
        std::ofstream(open) << "x";
    }
    Crash c = CrashWith(
        ZTCH_OPTS_DAEMON,
        [&] {
            int fd = ::open(open.c_str(), O_RDONLY);  // shows in the open-file list
            (void)fd;
            WriteToNull();
        },
        name);
    unlink(open.c_str());

    EXPECT_TRUE(c.child.killedBy(SIGSEGV)) << c.child.status << c.child.err;
    const std::string &r = c.report;
    EXPECT_TRUE(Has(r, "\tZT CRASH HANDLER (Opts: 0x0F0001FF)\n")) << r;
    EXPECT_TRUE(Has(r, "     Report file: " + c.path + "\n"));
    EXPECT_TRUE(Has(r, "         Program: " + name + "\n"));
    EXPECT_TRUE(Has(r, "          Signal: SIGSEGV\n"));
    EXPECT_TRUE(Has(r, "     Signal code: 1 (Address not mapped to object)\n"));
    EXPECT_TRUE(Has(r, "   Fault address: (nil)\n"));
    EXPECT_TRUE(Has(r, " Backtrace ("));
    EXPECT_TRUE(Has(r, "   #0\t0x"));
    EXPECT_TRUE(Has(r, "\tfile\t" + open + "\n")) << "open regular file listed";
    EXPECT_TRUE(Has(r, "\tfifo\tpipe:[")) << "standard output (a pipe) listed";
    EXPECT_TRUE(Has(r, " Status: \n") && Has(r, "   Name:\t"));
    EXPECT_TRUE(Has(r, " Maps: \n"));
    EXPECT_LT(r.find(" Open files:"), r.find(" Status: "));
    // The copy to standard output holds the report up to the open files.
    EXPECT_TRUE(Has(c.child.out, "          Signal: SIGSEGV\n"));
    EXPECT_TRUE(Has(c.child.out, " Open files:\n"));
    EXPECT_FALSE(Has(c.child.out, " Maps: \n"));
}

TEST(CrashHandler, IntegerDivisionByZeroReportsSigfpe)
{
#if !defined(__x86_64__) && !defined(__i386__)
    GTEST_SKIP() << "integer division by zero does not trap on this architecture";
#endif
    Crash c = CrashWith(ZTCH_OPT_SIGFPE | ZTCH_OPT_REPORT_FILE, [] { DivideByZero(); });
    EXPECT_TRUE(c.child.killedBy(SIGFPE)) << c.child.status;
    EXPECT_TRUE(Has(c.report, "          Signal: SIGFPE\n")) << c.report;
    EXPECT_TRUE(Has(c.report, "     Signal code: 1 (Integer divide by zero)\n"));
}

TEST(CrashHandler, FailedAssertionReportsSigabrt)
{
    Crash c = CrashWith(ZTCH_OPT_SIGABRT | ZTCH_OPT_REPORT_FILE | ZTCH_OPT_ALTSTACK, [] {
        volatile int one = 1;
        ZTASSERT(one == 2);
    });
    EXPECT_TRUE(c.child.killedBy(SIGABRT)) << c.child.status;
    EXPECT_TRUE(Has(c.report, "          Signal: SIGABRT\n")) << c.report;
    EXPECT_TRUE(Has(c.report, " (unknown)\n"));
}

TEST(CrashHandler, CaughtTerminationWritesReportToStdoutThenEndsWithTheSignal)
{
    Crash c = CrashWith(ZTCH_OPT_SIGTERM, [] { raise(SIGTERM); });
    EXPECT_TRUE(c.child.killedBy(SIGTERM)) << c.child.status;
    EXPECT_EQ("", c.report);
    EXPECT_TRUE(Has(c.child.out, "     Report file: STDOUT\n")) << c.child.out;
    EXPECT_TRUE(Has(c.child.out, "          Signal: SIGTERM\n"));
}

TEST(CrashHandler, LinkPlantedAtReportPathIsNotFollowed)
{
    const std::string name = UniqueName();
    const std::string victim = "/tmp/" + name + ".victim";
    {
        std::ofstream(victim) << "keep";
    }
    ASSERT_EQ(0, symlink(victim.c_str(), ReportPath(name).c_str()));
    Crash c = CrashWith(ZTCH_OPT_SIGSEGV | ZTCH_OPT_REPORT_FILE, WriteToNull, name);
    EXPECT_EQ("keep", ReadFile(victim));
    unlink(victim.c_str());
    EXPECT_TRUE(c.child.killedBy(SIGSEGV));
    EXPECT_TRUE(Has(c.child.out, "     Report file: STDOUT (failed to open '" + c.path +
                                     "' err:" + std::to_string(ELOOP) + ")\n"))
        << c.child.out;
    EXPECT_TRUE(Has(c.child.out, "          Signal: SIGSEGV\n"));
}

TEST(CrashHandler, SecondInstallationAnswers114AndKeepsTheOptions)
{
    auto child = zt_test::RunInChild([] {
        if (ztch_get_opts() != 0)
            _exit(1);
        if (ztch_install_crash_handler(ZTCH_OPT_SIGSEGV) != 0)
            _exit(2);
        if (ztch_install_crash_handler(ZTCH_OPT_SIGTERM) != ZTCH_ALREADY_INSTALLED)
            _exit(3);
        if (ztch_get_opts() != ZTCH_OPT_SIGSEGV)
            _exit(4);
        struct sigaction sa;
        sigaction(SIGTERM, nullptr, &sa);
        _exit(sa.sa_handler == SIG_DFL ? 0 : 5);
    });
    EXPECT_TRUE(child.exitedWith(0)) << child.status;
}

TEST(CrashHandler, DaemonOptionsRegisterEverySignalOnTheAltStackAndOnlyTheDivideTrap)
{
    auto child = zt_test::RunInChild([] {
        if (ztch_install_crash_handler(ZTCH_OPTS_DAEMON) != 0)
            _exit(1);
        for (int sig : {SIGSEGV, SIGILL, SIGBUS, SIGTERM, SIGABRT, SIGINT, SIGQUIT, SIGFPE}) {
            struct sigaction sa;
            sigaction(sig, nullptr, &sa);
            if (sa.sa_sigaction != ztch_crash_handler || !(sa.sa_flags & SA_SIGINFO) ||
                !(sa.sa_flags & SA_ONSTACK))
                _exit(10 + sig);
        }
        struct sigaction pipe;
        sigaction(SIGPIPE, nullptr, &pipe);
        if (pipe.sa_handler != SIG_DFL)
            _exit(2);
#if defined(__x86_64__) || defined(__i386__)
        if (fegetexcept() != FE_DIVBYZERO)
            _exit(3);
#endif
        _exit(0);
    });
    EXPECT_TRUE(child.exitedWith(0)) << WEXITSTATUS(child.status);
}

}  // namespace
