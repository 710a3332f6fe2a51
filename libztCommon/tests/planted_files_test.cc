// Files the runtime writes under world-writable folders, against what another
// user may have planted there first: a FIFO must never hold up the crash
// handler or a caller, and another user's file must never receive what the
// process writes nor stay readable to them. Every child is bounded in time.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

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

// The file at path is one this process made: regular, its owner, mode `mode`,
// and the other user cannot read it.
void ExpectOwnFile(const std::string &path, mode_t mode)
{
    struct stat st = {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0) << path;
    EXPECT_TRUE(S_ISREG(st.st_mode)) << path;
    EXPECT_EQ(st.st_uid, geteuid()) << path;
    EXPECT_EQ(st.st_mode & 07777, Masked(mode)) << path;
    if (!(mode & 04)) {
        // Where this process cannot become the other user (no CAP_SETUID in a
        // container), the mode above is what keeps them out.
        const int readable = zt_test::RunAsUser(
            kOtherUser, [&] { return open(path.c_str(), O_RDONLY | O_NONBLOCK) >= 0 ? 1 : 0; });
        EXPECT_NE(readable, 1) << "another user can read " << path;
    }
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

// Crashes a child named `name` with the daemon's handler options.
zt_test::ChildResult CrashChild(const std::string &name, int sig)
{
    return zt_test::RunInChild(
        [&] {
            program_invocation_short_name = const_cast<char *>(name.c_str());
            if (ztch_install_crash_handler(ZTCH_OPTS_DAEMON) != 0)
                _exit(3);
            if (sig == SIGSEGV)
                WriteToNull();
            else
                raise(sig);
            _exit(4);
        },
        kBoundMs);
}

// A FIFO at the report path once made the handler block for good (the
// process no longer ended on SIGSEGV or SIGTERM).
TEST(PlantedCrashReport, FifoNeverHoldsUpTheHandler)
{
    for (int sig : {SIGSEGV, SIGTERM}) {
        SCOPED_TRACE(sig);
        const std::string name = CrashName("fifo");
        const std::string path = "/tmp/crash_report_" + name + ".log";
        unlink(path.c_str());
        ASSERT_EQ(mkfifo(path.c_str(), 0666), 0);
        auto child = CrashChild(name, sig);
        EXPECT_TRUE(child.killedBy(sig))
            << "finished " << child.finished << " status " << child.status;
        ExpectOwnFile(path, 0600);
        EXPECT_NE(ReadFile(path).find("          Signal: "), std::string::npos);
        unlink(path.c_str());
    }
}

// Another user's file at the report path keeps its contents; the report is
// a new file of the crashing process that the other user cannot read.
TEST(PlantedCrashReport, OtherUsersFileNeverReceivesTheReport)
{
    const std::string name = CrashName("other");
    const std::string path = "/tmp/crash_report_" + name + ".log";
    const int planted = PlantOthersFile(path);
    if (planted < 0)
        GTEST_SKIP() << "cannot act as uid " << kOtherUser;
    auto child = CrashChild(name, SIGSEGV);
    EXPECT_TRUE(child.killedBy(SIGSEGV)) << child.status;
    EXPECT_EQ(ReadFd(planted), "planted");
    close(planted);
    ExpectOwnFile(path, 0600);
    EXPECT_NE(ReadFile(path).find("          Signal: SIGSEGV\n"), std::string::npos);
    unlink(path.c_str());
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
    static zt_test::ChildResult CardId()
    {
        return zt_test::RunInChild(
            [] {
                char out[ZT_CARD_ID_BUF];
                int rc = getCardIDStr(out);
                printf("%d %s", rc, out);
            },
            kBoundMs);
    }

    std::string root_;
};

TEST_F(PlantedCardFiles, DebugCopyTakesNoFifoNorOtherUsersFileButKeepsItsOwn)
{
    const std::string copy = Path(ZT_DBG_FILE);
    ASSERT_EQ(mkfifo(copy.c_str(), 0666), 0);
    auto child = PrintTwice();
    EXPECT_TRUE(child.exitedWith(0)) << child.status;
    ExpectOwnFile(copy, 0644);
    EXPECT_NE(ReadFile(copy).find(" two\n"), std::string::npos);

    const int planted = PlantOthersFile(copy);
    if (planted < 0)
        GTEST_SKIP() << "cannot act as uid " << kOtherUser;
    EXPECT_TRUE(PrintTwice().exitedWith(0));
    EXPECT_EQ(ReadFd(planted), "planted");
    close(planted);
    ExpectOwnFile(copy, 0644);

    // A copy of the process's own user goes on growing across runs.
    const std::string before = ReadFile(copy);
    EXPECT_TRUE(PrintTwice().exitedWith(0));
    const std::string after = ReadFile(copy);
    EXPECT_EQ(after.compare(0, before.size(), before), 0) << after;
    EXPECT_GT(after.size(), before.size());
}

TEST_F(PlantedCardFiles, CardIdTakesNoFifoNorOtherUsersFile)
{
    const std::string card = Path("/tmp/fuse_d/MISC/card");
    ASSERT_EQ(mkfifo(card.c_str(), 0666), 0);
    auto child = CardId();
    ASSERT_TRUE(child.exitedWith(0)) << "finished " << child.finished;
    const std::string id = child.out.substr(2);
    EXPECT_EQ(child.out.substr(0, 2), "0 ");
    EXPECT_GT(id.size(), 1u);
    ExpectOwnFile(card, 0644);
    EXPECT_EQ(ReadFile(card), id);

    const int planted = PlantOthersFile(card);
    if (planted < 0)
        GTEST_SKIP() << "cannot act as uid " << kOtherUser;
    {
        // An identifier of the other user's choosing is not taken.
        std::ofstream(card) << "4242";
    }
    child = CardId();
    EXPECT_TRUE(child.exitedWith(0));
    EXPECT_NE(child.out, "0 4242");
    EXPECT_EQ(ReadFd(planted), "4242");
    close(planted);
    ExpectOwnFile(card, 0644);
    EXPECT_EQ("0 " + ReadFile(card), child.out);
}

}  // namespace
