// The repeat limiter of the leveled log: per source line, a burst of records
// per window is written and the rest counted; the count comes out once, as a
// record of its own, when the window is over or the process exits. Checked
// through the log function in a child process with a short window.
#include <gtest/gtest.h>
#include <poll.h>
#include <time.h>

#include <chrono>
#include <sstream>
#include <string>

#include "utils.h"
#include "ztTestChild.h"

// Test-only: the process limiter's burst and window.
extern "C" void ztUtilSetLogLimit(uint32_t burst, int64_t windowMs);

namespace {

TEST(LogLimit, EndedWindowIsReportedBeforeTheNextRecordOfAnyLineAndANewBurstFollows)
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
        // A new window: a full burst again, the three not reported twice.
        for (int i = 0; i < 2; i++)
            ztUtilKlogMsgLevel(ZT_LOG_WARN, 3, "a.c", "again");
    });  // leaves through _exit: no exit report
    ASSERT_TRUE(child.exitedWith(0)) << child.err;
    // The records without ident and boot stamp, one per line.
    std::string records;
    std::istringstream lines(child.err);
    for (std::string record; std::getline(lines, record);)
        records += record.substr(record.find("] [") + 2) + "\n";
    EXPECT_EQ(records,
              "[WARN ] again @a.c:3\n[WARN ] again @a.c:3\n"
              "[WARN ] 3 similar messages suppressed @a.c:3\n[ERROR] other @b.c:9\n"
              "[WARN ] again @a.c:3\n[WARN ] again @a.c:3\n");
}

}  // namespace
