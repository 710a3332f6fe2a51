// Leveled log records as they reach the system log, the debug print and
// assertions, error names, the card identifier file and the small text
// utilities. Anything that logs, aborts or forks runs in a child process.
#include "utils.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "ztErrno.h"
#include "ztTestChild.h"

// Test-only: prefixes the fixed /tmp paths with a scratch tree.
extern "C" void ztUtilSetPathRoot(const char *root);

namespace {

namespace fs = std::filesystem;

// One leveled record as the system log received it, ident removed.
std::string LogInChild(const std::function<void()> &fn, int priority = LOG_ERR)
{
    auto child = zt_test::RunInChild([&] {
        zt_test::CaptureSyslogAt(priority);
        fn();
    });
    EXPECT_TRUE(child.exitedWith(0));
    return child.err.empty() ? "" : zt_test::StripSyslogIdent(child.err);
}

// Compares text with a shape in which 'A' stands for an upper-case letter,
// 'a' for a lower-case letter and '9' for a digit; other characters match
// themselves.
bool Matches(const std::string &text, const std::string &shape)
{
    if (text.size() != shape.size())
        return false;
    for (size_t i = 0; i < text.size(); i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        bool ok = shape[i] == 'A'   ? isupper(c)
                  : shape[i] == 'a' ? islower(c)
                  : shape[i] == '9' ? isdigit(c)
                                    : c == shape[i];
        if (!ok)
            return false;
    }
    return true;
}

// The debug print's local time stamp, "Dec05 18:42:06".
constexpr const char *kStamp = "Aaa99 99:99:99";

long BootMillis()
{
    timespec t{};
    clock_gettime(CLOCK_BOOTTIME, &t);
    return t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

TEST(LevelLog, RecordHasBootStampLevelMessageAndSuffixAtLogErr)
{
    long before = BootMillis();
    auto child = zt_test::RunInChild([] {
        zt_test::CaptureSyslogAt(LOG_ERR);
        g_logLevel = 2;
        // clang-format off
    printf("%d", __LINE__); ZTLOG(ZT_LOG_ERROR, "camera said %d", 7);
        // clang-format on
    });
    long after = BootMillis();
    std::string rec = zt_test::StripSyslogIdent(child.err);
    // "[" seconds (five digits or more) and milliseconds (three digits) "] ".
    size_t close = rec.find("] ");
    ASSERT_NE(close, std::string::npos) << rec;
    std::string digits = rec.substr(1, close - 1);
    ASSERT_EQ(rec[0], '[');
    ASSERT_GE(digits.size(), 8u);
    ASSERT_TRUE(Matches(digits, std::string(digits.size(), '9'))) << rec;
    long stamp = std::stol(digits);  // seconds * 1000 + milliseconds
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
    EXPECT_EQ(rec.substr(close + 2), "[ERROR] camera said 7 @utils_test.cc:" + child.out + "\n");
}

TEST(LevelLog, EveryLevelNamedAllSentAtLogErrAndOutOfRangeLevelsStayInTheNames)
{
    const char *names[] = {"[ OFF ]", "[FATAL]", "[ERROR]", "[WARN ]",
                           "[DEBUG]", "[INFO ]", "[TRACE]"};
    std::string recs = LogInChild([] {
        for (int level : {0, 1, 2, 3, 4, 5, 6})
            ztUtilKlogMsgLevel(level, 12, "f.c", "m");
        for (int level : {7, -1, INT_MAX})
            ztUtilKlogMsgLevel(level, 1, "f.c", "m");
    });
    for (const char *name : names)
        EXPECT_NE(recs.find(std::string("] ") + name + " m @f.c:12\n"), std::string::npos) << recs;
    EXPECT_EQ(std::count(recs.begin(), recs.end(), '\n'), 10);
    // Nothing reaches a log that does not take LOG_ERR.
    EXPECT_EQ(LogInChild([] { ztUtilKlogMsgLevel(6, 1, "f.c", "m"); }, LOG_DEBUG), "");
}

// One record at level 2 for msg from file:line, without its line end.
std::string Record(const std::string &file, int line, const std::string &msg)
{
    std::string rec =
        LogInChild([&] { ztUtilKlogMsgLevel(2, line, file.c_str(), "%s", msg.c_str()); });
    return rec.empty() ? rec : rec.substr(0, rec.size() - 1);
}

TEST(LevelLog, LongRecordIsCutAtOffset349AndKeepsTheSuffixOnlyWhenItFits)
{
    std::string cut = Record("long.c", 4321, std::string(1000, 'x'));
    ASSERT_EQ(cut.size(), 349u + strlen(" @long.c:4321")) << cut;
    EXPECT_EQ(cut.substr(349), " @long.c:4321");
    size_t prefix = cut.find("[ERROR] ") + strlen("[ERROR] ");
    EXPECT_EQ(cut.substr(prefix, 349 - prefix), std::string(349 - prefix, 'x'));

    // 349 - prefix characters fill the room exactly, terminator included.
    prefix = Record("f.c", 1, "").size() - strlen(" @f.c:1");
    std::string fits = std::string(348 - prefix, 'y') + "z";
    EXPECT_EQ(Record("f.c", 1, fits).substr(prefix), fits + " @f.c:1");

    // A suffix longer than the 91 bytes left after a cut message, or too long
    // even behind a short one, becomes one blank.
    std::string noSuffix = Record(std::string(100, 'n'), 1, std::string(500, 'x'));
    ASSERT_EQ(noSuffix.size(), 350u);
    EXPECT_EQ(noSuffix.substr(340), "xxxxxxxxx ");
    std::string shortMsg = Record(std::string(420, 'n'), 1, "hi");
    EXPECT_EQ(shortMsg.substr(shortMsg.size() - 3), "hi ");
}

TEST(LevelLog, MacroFiltersByLevelWithoutEvaluatingSuppressedArguments)
{
    auto child = zt_test::RunInChild([] {
        zt_test::CaptureSyslogAt(LOG_ERR);
        int evaluated = 0;
        ztUtilSetLogLevel(4);
        ZTLOG(ZT_LOG_INFO, "info %d", ++evaluated);
        ZTLOG(ZT_LOG_TRACE, "trace %d", ++evaluated);
        ZTLOG(ZT_LOG_DEBUG, "debug %d", ++evaluated);
        ZTLOG(ZT_LOG_ERROR, "error %d", ++evaluated);
        printf("%d", evaluated);
    });
    EXPECT_EQ(child.out, "2");
    EXPECT_EQ(child.err.find("info"), std::string::npos);
    EXPECT_EQ(child.err.find("trace"), std::string::npos);
    EXPECT_NE(child.err.find("[DEBUG] debug 1 @"), std::string::npos) << child.err;
    EXPECT_NE(child.err.find("[ERROR] error 2 @"), std::string::npos) << child.err;
}

TEST(LevelLog, SetLogLevelIgnoresValuesOutsideZeroToSix)
{
    int32_t saved = g_logLevel;
    for (int good : {0, 6, 3}) {
        ztUtilSetLogLevel(good);
        EXPECT_EQ(g_logLevel, good);
    }
    for (int bad : {7, -1, INT_MIN, INT_MAX}) {
        ztUtilSetLogLevel(bad);
        EXPECT_EQ(g_logLevel, 3) << bad;
    }
    g_logLevel = saved;
}

TEST(ErrorNames, KnownCodesNamedOnceOthersUnknown)
{
    const std::pair<int, const char *> names[] = {{ZT_OK, "ZT_OK"},
                                                  {-103, "ZT_ERR_NAK_OFF"},
                                                  {-100, "ZT_ERR_DOWNLOAD_FAILED"},
                                                  {-17, "ZT_ERR_ACCESS_DENIED"},
                                                  {-13, "UNKNOWN"},
                                                  {1, "UNKNOWN"},
                                                  {INT_MIN, "UNKNOWN"}};
    for (const auto &[code, name] : names)
        EXPECT_STREQ(ztErrno2Str(code), name) << code;
    std::set<int> codes;
    for (const auto &row : ztErrnoStrMap) {
        EXPECT_TRUE(codes.insert(row.code).second) << row.name;
        EXPECT_STREQ(ztErrno2Str(row.code), row.name);
    }
}

TEST(DebugPrint, PrintsOnlyAboveThresholdToTheSelectedDestinations)
{
    auto child = zt_test::RunInChild([] {
        zt_test::CaptureSyslogAt(LOG_DEBUG);
        g_debug_level = 7;
        ztDebugPrint(7, "quiet\n");
        g_debug_level = ZT_DBG_TO_STDOUT | 8;
        ztDebugPrint(7, "[%16s:%4d] %s:\n\n", "DMSGERR", 261, "text");
    });
    EXPECT_EQ(zt_test::StripSyslogIdent(child.err), "[         DMSGERR: 261] text:\n\n");
    EXPECT_TRUE(Matches(child.out, std::string(kStamp) + " [         DMSGERR: 261] text:\n\n"))
        << child.out;
}

class ScratchTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/zt_utils_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        fs::create_directories(root_ + "/tmp/fuse_d");
        fs::create_directories(root_ + "/tmp/fuse_i");
        ztUtilSetPathRoot(root_.c_str());
    }
    void TearDown() override
    {
        ztUtilSetPathRoot("");
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    std::string Path(const std::string &p) const { return root_ + p; }
    static std::string Read(const std::string &path)
    {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void Write(const std::string &path, const std::string &text)
    {
        std::ofstream(path) << text;
    }

    std::string root_;
};

using DebugFile = ScratchTree;

TEST_F(DebugFile, CopiesAreAppendedAndPlantedLinksNotFollowed)
{
    auto print = [] {
        g_debug_level = ZT_DBG_TO_FILE | 8;
        ztDebugPrint(7, "one\n");
        ztDebugPrint(7, "two\n");
    };
    zt_test::RunInChild(print);
    std::string copy = Read(Path(ZT_DBG_FILE));
    EXPECT_TRUE(Matches(copy, std::string(kStamp) + " one\n" + kStamp + " two\n")) << copy;

    fs::remove(Path(ZT_DBG_FILE));
    Write(Path("/victim"), "keep");
    fs::create_symlink(Path("/victim"), Path(ZT_DBG_FILE));
    zt_test::RunInChild(print);
    EXPECT_EQ(Read(Path("/victim")), "keep");
}

TEST(Assertion, ReportsConditionAndAbortsEvenWhenReportIsOffOrAbortIgnored)
{
    auto child = zt_test::RunInChild([] {
        zt_test::CaptureSyslogAt(LOG_DEBUG);
        g_debug_level = 8;
        // clang-format off
    printf("%d", __LINE__); fflush(stdout); ZTASSERT(1 + 1 == 3);
        // clang-format on
    });
    EXPECT_TRUE(child.killedBy(SIGABRT));
    std::string expected = std::string("\033[31mASSERT:") + __FILE__ + "/operator():" + child.out +
                           ":1 + 1 == 3\n\033[0m";
    expected += '\n';  // the system log's copy adds a line end to a record without one
    EXPECT_EQ(zt_test::StripSyslogIdent(child.err), expected);

    auto silent = zt_test::RunInChild([] {
        zt_test::CaptureSyslogAt(LOG_DEBUG);
        g_debug_level = 7;
        ZTASSERT(false);
    });
    EXPECT_TRUE(silent.killedBy(SIGABRT));
    EXPECT_EQ(silent.err, "");

    auto ignored = zt_test::RunInChild([] {
        g_debug_level = 0;
        signal(SIGABRT, SIG_IGN);
        ZTASSERT(false);
    });
    EXPECT_TRUE(ignored.exitedWith(255));
}

TEST(TextUtils, ModelNamesTrimAndCardIdStayInsideTheirInput)
{
    EXPECT_STREQ(get_model_name(51), "lanterns");
    EXPECT_EQ(get_model_name(62), nullptr);
    EXPECT_EQ(get_model_name(255), nullptr);  // not confused with the table's end row

    char text[] = "  \tabc ", blanks[] = "   ", empty[] = "", newline[] = "\nx";
    EXPECT_EQ(trim(text), text + 3);
    EXPECT_STREQ(text, "  \tabc ");  // never modified
    EXPECT_EQ(trim(blanks), nullptr);
    EXPECT_EQ(trim(empty), nullptr);
    EXPECT_EQ(trim(nullptr), nullptr);
    EXPECT_EQ(trim(newline), newline);  // only space and tab are blanks

    EXPECT_EQ(validateCardID("0123456789", 10), 1);
    EXPECT_EQ(validateCardID("12a", 3), 0);
    EXPECT_EQ(validateCardID("12\n", 30), 0);
    EXPECT_EQ(validateCardID("12ab", 2), 1);
    EXPECT_EQ(validateCardID("12", 30), 1);  // stops at the terminator
    EXPECT_EQ(validateCardID("", 30), 1);
    EXPECT_EQ(validateCardID("x", 0), 1);
}

// Decodes text in a heap buffer of exactly its size.
std::pair<std::string, int> Unescape(const std::string &text)
{
    std::unique_ptr<char[]> buf(new char[text.size() + 1]);
    memcpy(buf.get(), text.c_str(), text.size() + 1);
    int length = -7;
    unescapeUrl(buf.get(), &length);
    return {std::string(buf.get(), length < 0 ? 0 : static_cast<size_t>(length)), length};
}

TEST(TextUtils, UnescapeDecodesBothCasesAndNeverReadsPastTheTerminatorOfMalformedInput)
{
    const std::pair<std::string, std::string> cases[] = {{"a%2Fb%2fc", "a/b/c"},
                                                         {"a+b%20c", "a+b c"},
                                                         {"%41%00z", std::string("A\0z", 3)},
                                                         {"", ""},
                                                         // Malformed escapes stay as they are.
                                                         {"%", "%"},
                                                         {"%4", "%4"},
                                                         {"ab%", "ab%"},
                                                         {"ab%f", "ab%f"},
                                                         {"%G1", "%G1"},
                                                         {"%1G", "%1G"},
                                                         {"%%41", "%A"},
                                                         {"%\t1", "%\t1"},
                                                         {"%-1", "%-1"}};
    for (const auto &[in, out] : cases)
        EXPECT_EQ(Unescape(in), std::make_pair(out, static_cast<int>(out.size()))) << in;

    int length = 3;
    unescapeUrl(nullptr, &length);
    EXPECT_EQ(length, 3);
    char text[] = "%41";
    unescapeUrl(text, nullptr);
    EXPECT_STREQ(text, "%41");
}

using CardId = ScratchTree;

struct CardResult {
    int rc = 99;
    std::string id;
    std::string err;
};

CardResult GetCardId(const std::string &root, int card)
{
    CardResult r;
    auto child = zt_test::RunInChild([&] {
        ztUtilSetPathRoot(root.c_str());
        char out[ZT_CARD_ID_BUF];
        memset(out, 'Z', sizeof out);
        int rc = getCardIDStrFromCard(out, card);
        printf("%d %.*s", rc, ZT_CARD_ID_BUF, out);
    });
    std::istringstream s(child.out);
    s >> r.rc >> r.id;
    r.err = child.err;
    return r;
}

bool IsNumericId(const std::string &id)
{
    return !id.empty() && id != "0" && id.size() <= ZT_CARD_ID_MAX &&
           validateCardID(id.c_str(), id.size());
}

TEST_F(CardId, CreatesFolderFileAndIdOfItsOwnCardThenReadsTheSameIdBack)
{
    CardResult second = GetCardId(root_, 1);
    EXPECT_EQ(second.rc, 0);
    EXPECT_EQ(Read(Path("/tmp/fuse_i/MISC/card")), second.id);
    EXPECT_FALSE(fs::exists(Path("/tmp/fuse_d/MISC")));

    CardResult first = GetCardId(root_, 0);
    ASSERT_EQ(first.rc, 0) << first.err;
    EXPECT_TRUE(IsNumericId(first.id)) << first.id;
    EXPECT_TRUE(fs::is_directory(Path("/tmp/fuse_d/MISC")));
    EXPECT_EQ(Read(Path("/tmp/fuse_d/MISC/card")), first.id);

    Write(Path("/tmp/fuse_d/MISC/card"), "4242");
    CardResult again = GetCardId(root_, 0);
    EXPECT_EQ(again.rc, 0);
    EXPECT_EQ(again.id, "4242");
    EXPECT_EQ(Read(Path("/tmp/fuse_d/MISC/card")), "4242");
}

TEST_F(CardId, InvalidOrEmptyFileIsReplacedByNewNumericId)
{
    fs::create_directories(Path("/tmp/fuse_d/MISC"));
    for (std::string saved : {"12a", "12\n", "", "-5", " 1"}) {
        Write(Path("/tmp/fuse_d/MISC/card"), saved);
        CardResult r = GetCardId(root_, 0);
        EXPECT_EQ(r.rc, 0) << saved;
        EXPECT_TRUE(IsNumericId(r.id)) << saved << " -> " << r.id;
        EXPECT_EQ(Read(Path("/tmp/fuse_d/MISC/card")), r.id) << saved;
    }
    // Only the first 30 characters are read; they make a valid identifier.
    Write(Path("/tmp/fuse_d/MISC/card"), std::string(40, '7'));
    EXPECT_EQ(GetCardId(root_, 0).id, std::string(30, '7'));
}

TEST_F(CardId, FolderProblemsFailWithTheirMessage)
{
    Write(Path("/tmp/fuse_d/MISC"), "not a folder");
    CardResult file = GetCardId(root_, 0);
    EXPECT_EQ(file.rc, -1);
    EXPECT_EQ(file.id, "0");
    EXPECT_EQ(file.err, "Path:" + Path("/tmp/fuse_d/MISC/") + " exists and is a NOT folder\n");

    fs::remove_all(Path("/tmp/fuse_i"));  // parent missing: folder cannot be made
    CardResult noParent = GetCardId(root_, 1);
    EXPECT_EQ(noParent.rc, -1);
    EXPECT_EQ(noParent.err, "Failed to create folder:" + Path("/tmp/fuse_i/MISC/") + "\n");

    auto nullOut = zt_test::RunInChild([] { printf("%d", getCardIDStr(nullptr)); });
    EXPECT_EQ(nullOut.out, "-1");
    EXPECT_EQ(nullOut.err, "Cannot call with null pointer\n");
}

TEST_F(CardId, PlantedLinkIsNotFollowed)
{
    fs::create_directories(Path("/tmp/fuse_d/MISC"));
    Write(Path("/victim"), "precious");
    fs::create_symlink(Path("/victim"), Path("/tmp/fuse_d/MISC/card"));
    CardResult r = GetCardId(root_, 0);
    EXPECT_EQ(r.rc, 0);
    EXPECT_TRUE(IsNumericId(r.id));
    EXPECT_EQ(Read(Path("/victim")), "precious");
    EXPECT_FALSE(fs::is_symlink(Path("/tmp/fuse_d/MISC/card")));
}

TEST_F(ScratchTree, MessagesTxtExistence)
{
    EXPECT_EQ(messages_txt_exists(), 0);
    Write(Path("/tmp/fuse_d/messages.txt"), "");
    EXPECT_EQ(messages_txt_exists(), 1);
}

TEST(StackTrace, PrintsOneIndentedFramePerLine)
{
    auto child = zt_test::RunInChild([] { print_stack_trace(); });
    std::istringstream lines(child.out);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        EXPECT_EQ(line.compare(0, 8, "        "), 0) << line;
        EXPECT_NE(line[8], ' ') << line;
        count++;
    }
    EXPECT_GE(count, 3);
    EXPECT_LE(count, 100);
}

// What a daemonised process reports about itself through its standard output.
struct DaemonState {
    int rc = 99;
    pid_t pidBefore = 0, pid = 0, sid = 0;
    unsigned mask = 0;
    int coreUnlimited = 0;
    std::string cwd;
};

DaemonState ParseState(const std::string &out)
{
    DaemonState s;
    std::istringstream in(out.substr(out.rfind('|') + 1));
    in >> s.rc >> s.pidBefore >> s.pid >> s.sid >> s.mask >> s.coreUnlimited >> s.cwd;
    return s;
}

void DaemoniseAndReport(int allowCoreDump)
{
    pid_t before = getpid();
    umask(022);
    int rc = daemon_init_ext(allowCoreDump);
    char cwd[256] = "?";
    if (getcwd(cwd, sizeof cwd) == nullptr)
        strcpy(cwd, "?");
    unsigned mask = umask(0);
    rlimit core{};
    getrlimit(RLIMIT_CORE, &core);
    int unlimited = core.rlim_cur == RLIM_INFINITY && core.rlim_max == RLIM_INFINITY;
    printf("|%d %d %d %d %u %d %s\n", rc, before, getpid(), getsid(0), mask, unlimited, cwd);
}

TEST(Daemonise, DetachesIntoNewSessionWithClearedMaskAndCoreVariantLiftsTheCoreLimit)
{
    for (int allowCoreDump : {0, 1}) {
        auto child = zt_test::RunInChild([&] { DaemoniseAndReport(allowCoreDump); });
        EXPECT_TRUE(child.exitedWith(0));  // the original process left with 0
        DaemonState s = ParseState(child.out);
        EXPECT_NE(s.pid, s.pidBefore);
        EXPECT_EQ(s.sid, s.pid);
        EXPECT_EQ(s.mask, 0u);
        if (allowCoreDump) {
            EXPECT_EQ(child.out.rfind("daemon_init_ext: Note: Daemon can generate core dump.|", 0),
                      0u)
                << child.out;
            EXPECT_EQ(s.coreUnlimited, 1);
            EXPECT_EQ(s.rc, access("/tmp/fuse_b/", X_OK) == 0 ? 0 : -1);
        } else {
            EXPECT_EQ(s.rc, 0);
            EXPECT_EQ(s.cwd, "/");
        }
    }
}

TEST(Daemonise, ChildOfProcessOneStaysPut)
{
    // A new process namespace makes our child process 1, so its own child is
    // a process whose parent is process 1.
    auto child = zt_test::RunInChild([] {
        if (unshare(CLONE_NEWPID) != 0) {
            printf("skip");
            return;
        }
        pid_t init = fork();
        if (init == 0) {
            pid_t grandchild = fork();
            if (grandchild == 0) {
                DaemoniseAndReport(0);
                fflush(stdout);
                _exit(0);
            }
            int status = 0;
            waitpid(grandchild, &status, 0);
            _exit(0);
        }
        int status = 0;
        waitpid(init, &status, 0);
    });
    if (child.out == "skip")
        GTEST_SKIP() << "no process namespaces here";
    DaemonState s = ParseState(child.out);
    EXPECT_EQ(s.rc, 0);
    EXPECT_EQ(s.pid, s.pidBefore);
    EXPECT_EQ(s.mask, 022u);  // nothing changed
}

}  // namespace
