// Files the runtime writes under world-writable folders: crash reports from
// real signals in child processes (each child named apart, so concurrent runs
// never share a report file under /tmp), the debug-print copy and the card
// identifier. Against what another user may have planted there first: a FIFO
// must never hold up the crash handler or a caller, and another user's file
// must never receive what the process writes nor stay readable to them.
// Every child is bounded in time.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "utils.h"
#include "ztCrashHandler.h"
#include "ztTestChild.h"

extern "C" void ztUtilSetPathRoot(const char *root);

// The crash children need the real fatal signals, not the sanitizer's report.
extern "C" const char *__asan_default_options()
{
    return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0";
}

namespace {

namespace fs = std::filesystem;

constexpr uid_t kOtherUser = 65534;  // nobody
constexpr int kBoundMs = 5000;       // a blocked child is killed after this

std::string ReadFd(int fd)
{
    std::string text;
    char buf[4096];
    ssize_t n;
    lseek(fd, 0, SEEK_SET);
    while ((n = read(fd, buf, sizeof buf)) > 0)
        text.append(buf, static_cast<size_t>(n));
    return text;
}

// Never blocks, even when a FIFO is left at path.
std::string ReadFile(const std::string &path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return "";
    std::string text = ReadFd(fd);
    close(fd);
    return text;
}

// Another user plants a regular file, readable and writable to all, holding
// "planted". Returns a descriptor the test keeps to the planted file, -1 when
// the other user is not available.
int PlantOthersFile(const std::string &path)
{
    unlink(path.c_str());
    int rc = zt_test::RunAsUser(kOtherUser, [&] {
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd < 0 || fchmod(fd, 0666) != 0 || write(fd, "planted", 7) != 7)
            return 1;
        return 0;
    });
    if (rc != 0)
        return -1;
    return open(path.c_str(), O_RDONLY);
}

mode_t Masked(mode_t mode)
{
    const mode_t mask = umask(0);
    umask(mask);
    return mode & ~mask;
}

// The file at path is one this process made: regular, its owner, mode `mode`.
void ExpectOwnFile(const std::string &path, mode_t mode)
{
    struct stat st = {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0) << path;
    EXPECT_TRUE(S_ISREG(st.st_mode)) << path;
    EXPECT_EQ(st.st_uid, geteuid()) << path;
    EXPECT_EQ(st.st_mode & 07777, Masked(mode)) << path;  // what keeps other users out
}

__attribute__((no_sanitize("address", "undefined"), noinline)) void WriteToNull()
{
    volatile int *volatile p = nullptr;
    *p = 1;
}

std::string CrashName(const char *what)
{
    return std::string("zt_plant_") + what + "_" + std::to_string(getpid());
}

bool Has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// The child's standard output, then "|", the report file (removed) and "|".
// fault runs in a child named name after installing the handler with opts;
// given `own`, the report must be a file of this process with that mode.
std::string Crash(unsigned opts, int sig, const std::function<void()> &fault,
                  const std::string &name, mode_t own = 0)
{
    const std::string path = "/tmp/crash_report_" + name + ".log";
    auto child = zt_test::RunInChild(
        [&] {
            program_invocation_short_name = const_cast<char *>(name.c_str());
            if (ztch_install_crash_handler(opts) == 0)
                fault();
        },
        kBoundMs);
    EXPECT_TRUE(child.killedBy(sig))
        << name << " finished " << child.finished << " status " << child.status;
    if (own)
        ExpectOwnFile(path, own);
    std::string report = ReadFile(path);
    unlink(path.c_str());
    return child.out + "|" + report + "|";
}

// Another user's file at the report path keeps its contents; the report is
// a new file of the crashing process that the other user cannot read.
TEST(PlantedCrashReport, OtherUsersFileNeverReceivesTheReport)
{
    const std::string name = CrashName("other");
    const int planted = PlantOthersFile("/tmp/crash_report_" + name + ".log");
    if (planted < 0)
        GTEST_SKIP() << "cannot act as uid " << kOtherUser;
    EXPECT_TRUE(Has(Crash(ZTCH_OPTS_DAEMON, SIGSEGV, WriteToNull, name, 0600),
                    "          Signal: SIGSEGV\n"));
    EXPECT_EQ(ReadFd(planted), "planted");
    close(planted);
}

// The report's sections, in the file and in the copy on standard output. A
// FIFO is planted at the report path: it once made the handler block for
// good (the process no longer ended).
TEST(CrashHandler, SegvReportHasCauseFaultAddressStackOpenFilesStatusAndMapAndEndsTheProcess)
{
    const std::string name = CrashName("segv");
    const std::string open = "/tmp/" + name + ".open";
    std::ofstream(open) << "x";
    unlink(("/tmp/crash_report_" + name + ".log").c_str());
    ASSERT_EQ(mkfifo(("/tmp/crash_report_" + name + ".log").c_str(), 0666), 0);
    std::string r = Crash(
        ZTCH_OPTS_DAEMON, SIGSEGV,
        [&] {
            (void)::open(open.c_str(), O_RDONLY);  // shows in the open-file list
            WriteToNull();
        },
        name, 0600);
    unlink(open.c_str());
    std::string copy = r.substr(0, r.find('|')), report = r.substr(copy.size());
    for (const std::string &part : std::vector<std::string>{
             "     Report file: /tmp/crash_report_" + name + ".log\n",
             "          Signal: SIGSEGV\n", "     Signal code: 1 (Address not mapped to object)\n",
             "   Fault address: (nil)\n", ")\n   #1\t0x", "\tfile\t" + open + "\n"}) {
        EXPECT_TRUE(Has(report, part)) << part << report;
        EXPECT_TRUE(Has(copy, part)) << part << "(copy)";
    }
}

// A symbolic link planted at the report path is not followed: the report
// goes to standard output with the reason.
TEST(PlantedCrashReport, LinkSendsTheReportToStandardOutput)
{
    const std::string name = CrashName("link");
    const std::string victim = "/tmp/" + name + ".victim";
    std::ofstream(victim) << "keep";
    symlink(victim.c_str(), ("/tmp/crash_report_" + name + ".log").c_str());
    std::string segv = Crash(ZTCH_OPT_SIGSEGV | ZTCH_OPT_REPORT_FILE, SIGSEGV, WriteToNull, name);
    EXPECT_EQ(ReadFile(victim), "keep");
    unlink(victim.c_str());
    EXPECT_TRUE(Has(segv, "     Report file: STDOUT (failed to open '/tmp/crash_report_" + name +
                              ".log' err:" + std::to_string(ELOOP) + ")\n"))
        << segv;
}

// The debug-print copy and the card identifier under a scratch tree whose
// card folders anyone may write, as /tmp.
class PlantedCardFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/zt_plant_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        fs::create_directories(root_ + "/tmp/fuse_d/MISC");
        for (const char *dir : {"", "/tmp"})
            chmod((root_ + dir).c_str(), 0755);
        for (const char *dir : {"/tmp/fuse_d", "/tmp/fuse_d/MISC"})
            chmod((root_ + dir).c_str(), 01777);
        ztUtilSetPathRoot(root_.c_str());
    }
    void TearDown() override
    {
        ztUtilSetPathRoot("");
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    std::string Path(const std::string &p) const { return root_ + p; }
    void Write(const std::string &path, const std::string &text)
    {
        std::ofstream(root_ + path) << text;
    }

    static zt_test::ChildResult PrintTwice()
    {
        return zt_test::RunInChild(
            [] {
                g_debug_level = ZT_DBG_TO_FILE | 8;
                ztDebugPrint(7, "one\n");
                ztDebugPrint(7, "two\n");
            },
            kBoundMs);
    }
    // "rc id" and the messages of a card identifier request in a child.
    static std::string CardId()
    {
        auto child = zt_test::RunInChild(
            [&] {
                char out[ZT_CARD_ID_BUF];
                memset(out, 'Z', sizeof out);
                int rc = getCardIDStr(out);
                printf("%d %.*s", rc, ZT_CARD_ID_BUF, out);
            },
            kBoundMs);
        EXPECT_TRUE(child.finished);
        return child.out + child.err;
    }

    std::string root_;
};

// A FIFO is replaced by a file of this process, which later runs append to.
// (A link and another user's file go through the same checks; the card
// identifier's test plants those.)
TEST_F(PlantedCardFiles, DebugCopyIsAppendedAndTakesNoFifo)
{
    const std::string copy = Path(ZT_DBG_FILE);
    ASSERT_EQ(mkfifo(copy.c_str(), 0666), 0);
    auto child = PrintTwice();
    EXPECT_TRUE(child.exitedWith(0)) << child.status;
    ExpectOwnFile(copy, 0644);

    // A copy of the process's own user goes on growing across runs.
    const std::string before = ReadFile(copy);
    EXPECT_NE(before.find(" one\n"), std::string::npos) << before;
    EXPECT_TRUE(PrintTwice().exitedWith(0));
    const std::string after = ReadFile(copy);
    EXPECT_EQ(after.compare(0, before.size(), before), 0) << after;
    EXPECT_GT(after.size(), before.size());
}

TEST_F(PlantedCardFiles, CardIdIsCreatedOnItsOwnCardKeptWhenValidAndReplacedWhenNot)
{
    const std::regex fresh("0 [1-9]\\d{0,29}");
    for (std::string saved : {"12a", "link", "fifo"}) {
        const std::string card = Path("/tmp/fuse_d/MISC/card");
        fs::remove(card);
        if (saved == "link")
            fs::create_symlink(Path("/tmp/fuse_d/messages.txt"), card);
        else if (saved == "fifo")
            ASSERT_EQ(mkfifo(card.c_str(), 0666), 0);
        else
            Write("/tmp/fuse_d/MISC/card", saved);
        std::string id = CardId();
        EXPECT_TRUE(std::regex_match(id, fresh)) << saved << " -> " << id;
        EXPECT_EQ("0 " + ReadFile(card), id) << saved;
        ExpectOwnFile(card, 0644);
    }
    EXPECT_EQ(messages_txt_exists(), 0);  // the link was removed, not followed
    Write("/tmp/fuse_d/MISC/card", std::string(40, '7'));
    EXPECT_EQ(CardId(), "0 " + std::string(30, '7'));
    EXPECT_EQ(ReadFile(Path("/tmp/fuse_d/MISC/card")), std::string(40, '7'));

    // An identifier of another user's choosing is not taken.
    const std::string card = Path("/tmp/fuse_d/MISC/card");
    const int planted = PlantOthersFile(card);
    if (planted < 0)
        GTEST_SKIP() << "cannot act as uid " << kOtherUser;
    std::ofstream(card) << "4242";
    std::string id = CardId();
    EXPECT_TRUE(std::regex_match(id, fresh)) << id;
    EXPECT_NE(id, "0 4242");
    EXPECT_EQ(ReadFd(planted), "4242");
    close(planted);
    ExpectOwnFile(card, 0644);
    EXPECT_EQ("0 " + ReadFile(card), id);
}

}  // namespace
