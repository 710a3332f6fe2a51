// Leveled log records as the system log receives them, the debug print and
// assertions, error names and the text utilities.
// Anything that logs, aborts or forks runs in a child process.
#include "utils.h"

#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <string>

#include "ztErrno.h"
#include "ztTestChild.h"

namespace {

// The system log's copies of the records fn writes at priority, with the
// ident and the given pattern (by default the leveled log's boot stamp) removed.
std::string Log(const std::function<void()> &fn, int priority = LOG_ERR,
                const char *drop = R"(zt: (\[\d{8,}\] )?)")
{
    auto child = zt_test::RunInChild([&] {
        zt_test::CaptureSyslogAt(priority);
        fn();
    });
    return std::regex_replace(child.err + child.out, std::regex(drop), "");
}

long BootMillis()
{
    timespec t{};
    clock_gettime(CLOCK_BOOTTIME, &t);
    return t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

TEST(LevelLog, RecordHasBootStampLevelMessageAndCallerAtLogErr)
{
    long before = BootMillis();
    std::string rec = Log(
        [] {
            dprintf(1, "%d", __LINE__ + 1);
            ZTLOG(ZT_LOG_ERROR, "camera said %d", 7);
        },
        LOG_ERR, "zt: ");
    long after = BootMillis();
    std::smatch m;
    const std::regex shape(R"(\[(\d{8,})\] \[ERROR\] camera said 7 @utils_test.cc:(\d+)\n(\d+))");
    ASSERT_TRUE(std::regex_match(rec, m, shape)) << rec;
    EXPECT_EQ(m[2], m[3]);
    EXPECT_TRUE(std::stol(m[1]) >= before && std::stol(m[1]) <= after) << rec;

    EXPECT_EQ(Log([] {
                  for (int level : {0, 6, 7, -1})
                      ztUtilKlogMsgLevel(level, 12, "f.c", "m");
              }),
              "[ OFF ] m @f.c:12\n[TRACE] m @f.c:12\n[?????] m @f.c:12\n[?????] m @f.c:12\n");
}

TEST(ErrorNames, KnownCodesNamedOthersUnknown)
{
    EXPECT_STREQ(ztErrno2Str(ZT_OK), "ZT_OK");
    EXPECT_STREQ(ztErrno2Str(-100), "ZT_ERR_DOWNLOAD_FAILED");  // the table's last row
    EXPECT_STREQ(ztErrno2Str(-13), "UNKNOWN");
}

TEST(DebugPrint, PrintsOnlyAboveThresholdToTheSelectedDestinationsAndAssertionsAbort)
{
    const char *stamp = "[A-Z][a-z]{2}\\d\\d \\d\\d:\\d\\d:\\d\\d ";
    EXPECT_EQ(Log(
                  [] {
                      g_debug_level = 7;
                      ztDebugPrint(7, "quiet\n");
                      g_debug_level = ZT_DBG_TO_STDOUT | 8;
                      ztDebugPrint(7, "[%16s:%4d] %s:\n\n", "DMSGERR", 261, "text");
                  },
                  LOG_DEBUG, (std::string("zt: |") + stamp).c_str()),
              "[         DMSGERR: 261] text:\n\n[         DMSGERR: 261] text:\n\n");

    EXPECT_TRUE(zt_test::RunInChild([] { ZTASSERT(1 + 1 == 3); }).killedBy(SIGABRT));
}

TEST(TextUtils, ModelNamesTrimAndUnescapeStayInsideTheirInput)
{
    EXPECT_STREQ(get_model_name(51), "lanterns");
    EXPECT_EQ(get_model_name(255), nullptr);  // not confused with the table's end row

    char text[] = "  \tabc ", blanks[] = " \t ", newline[] = "\nx";
    EXPECT_EQ(trim(text), text + 3);
    EXPECT_STREQ(text, "  \tabc ");  // never modified
    EXPECT_EQ(trim(blanks), nullptr);
    EXPECT_EQ(trim(newline), newline);  // only space and tab are blanks

    // Decoded in heap buffers of exactly their size; malformed escapes stay.
    const char *cases[] = {"a%2Fb%2fc", "a/b/c", "a+b%20c", "a+b c", "%41%00z", "A_z",  "%",
                           "%",         "ab%f",  "ab%f",    "%1G",   "%1G",     "%%41", "%A"};
    for (int i = 0; i < 14; i += 2) {
        std::unique_ptr<char[]> buf(new char[strlen(cases[i]) + 1]);
        strcpy(buf.get(), cases[i]);
        int length = -7;
        unescapeUrl(buf.get(), &length);
        std::string decoded(buf.get(), std::max(length, 0));
        std::replace(decoded.begin(), decoded.end(), '\0', '_');
        EXPECT_TRUE(decoded == cases[i + 1] && length == int(strlen(cases[i + 1]))) << cases[i];
    }
}

}  // namespace
