// The repeat limiter of the leveled log: per source line, a burst of records
// per window is written and the rest counted; the count comes out once, as a
// record of its own, when the window is over or the process exits. Checked on
// a limiter of the test's own with a clock of its own, then through the log
// function in a child process (the order of the report and the next record).
#include <gtest/gtest.h>
#include <poll.h>
#include <time.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "utils.h"
#include "ztTestChild.h"

// Test-only: the process limiter's burst and window.
extern "C" void ztUtilSetLogLimit(uint32_t burst, int64_t windowMs);

namespace {

struct Decision {
    bool written;
    std::vector<ztLogSuppressed_t> due;
};

class Limiter {
public:
    Limiter(uint32_t burst, int64_t windowMs)
    {
        m_limiter.burst = burst;
        m_limiter.windowMs = windowMs;
    }
    Decision admit(const char *file, int line, int64_t nowMs, int level = 2)
    {
        const size_t room = 4;
        std::vector<ztLogSuppressed_t> due(room);
        size_t count = 99;
        const int written =
            ztLogLimitAdmit(&m_limiter, file, line, level, nowMs, due.data(), room, &count);
        EXPECT_LE(count, room);
        due.resize(count);
        return {written == 1, due};
    }

private:
    ztLogLimiter_t m_limiter{};
};

std::string site(const ztLogSuppressed_t &s)
{
    return std::string(s.file) + ":" + std::to_string(s.line) + " x" +
           std::to_string(s.suppressed) + " level " + std::to_string(s.level);
}

TEST(LogLimiter, LineWritesItsBurstThenCountsAndReportsOnceWhenItsWindowIsOver)
{
    Limiter limiter(3, 100);
    for (int i = 0; i < 3; i++)
        EXPECT_TRUE(limiter.admit("a.c", 10, i).written) << i;
    for (int i = 0; i < 5; i++) {
        Decision d = limiter.admit("a.c", 10, 50 + i * 10, ZT_LOG_WARN);
        EXPECT_FALSE(d.written) << i;
        EXPECT_TRUE(d.due.empty()) << "reported inside its window";
    }
    // Window [0, 100): the first call at 100 reports the five and opens a new
    // window, which gets a full burst again.
    Decision d = limiter.admit("a.c", 10, 100);
    EXPECT_TRUE(d.written);
    ASSERT_EQ(d.due.size(), 1u);
    EXPECT_EQ(site(d.due[0]), "a.c:10 x5 level 3");
    EXPECT_TRUE(limiter.admit("a.c", 10, 101).written);
    EXPECT_TRUE(limiter.admit("a.c", 10, 102).written);
    d = limiter.admit("a.c", 10, 103);
    EXPECT_FALSE(d.written);
    EXPECT_TRUE(d.due.empty()) << "the five were reported twice";
}

// The records a child wrote to the system log, ident removed, one per line.
std::vector<std::string> Records(const std::string &err)
{
    std::vector<std::string> records;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);)
        records.push_back(zt_test::StripSyslogIdent(line));
    return records;
}

TEST(LogLimit, EndedWindowIsReportedBeforeTheNextRecordOfAnyLine)
{
    auto child = zt_test::RunInChild([] {
        zt_test::CaptureSyslogAt(LOG_ERR);
        ztUtilSetLogLimit(2, 300);
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 5; i++)
            ztUtilKlogMsgLevel(ZT_LOG_WARN, 3, "a.c", "again");
        // Wait for the clock to pass the end of the window.
        while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(350))
            poll(nullptr, 0, 10);
        ztUtilKlogMsgLevel(ZT_LOG_ERROR, 9, "b.c", "other");
    });  // leaves through _exit: no exit report
    ASSERT_TRUE(child.exitedWith(0)) << child.err;
    std::string records;
    for (const auto &record : Records(child.err))
        records += record.substr(record.find("] [") + 2) + "\n";
    EXPECT_EQ(records,
              "[WARN ] again @a.c:3\n[WARN ] again @a.c:3\n"
              "[WARN ] 3 similar messages suppressed @a.c:3\n[ERROR] other @b.c:9\n");
}

}  // namespace
