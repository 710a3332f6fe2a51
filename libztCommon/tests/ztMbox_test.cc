// Mailboxes over real POSIX queues: open retries and their bounds, the
// exclusive reply mailbox, the full-mailbox drop, and receives that must end
// on time or fail at once. Runs in its own IPC namespace.
#include "ztMbox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "utils.h"
#include "ztTestChild.h"

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(MboxOpen, UncreatableNameGivesUpAfterFiveAttemptsABusySharedOneAfterAboutOneAndHalfSeconds)
{
    ztattr_t h;
    auto start = Clock::now();
    EXPECT_EQ(-1, ztMbox_rxopen_ext("no-slash", 4, 64, &h));
    EXPECT_TRUE(MsSince(start) >= 50 && MsSince(start) < 1000) << "five 10 ms pauses";
    EXPECT_EQ((mqd_t)-1, h.mqd);

    ztattr_t holder, second;
    ASSERT_EQ(0, ztMbox_rxopen_shared("/zt_mbox_shared", 2, &holder));
    start = Clock::now();
    EXPECT_EQ(-1, ztMbox_rxopen_shared("/zt_mbox_shared", 2, &second));
    EXPECT_TRUE(MsSince(start) >= 1450 && MsSince(start) < 4000) << MsSince(start);
    EXPECT_EQ((mqd_t)-1, second.mqd);
    ztMbox_close(&holder);
    EXPECT_EQ(0, ztMbox_unlink("/zt_mbox_shared"));
}

TEST(MboxSend, FullMailboxDropsTheMessageWithoutBlockingOrError)
{
    auto child = zt_test::RunInChild([] {
        zt_test::CaptureSyslogAt(LOG_ERR);
        ztattr_t rx, tx;
        ztMbox_rxopen("/zt_mbox_full", 2, &rx);
        ztMbox_txopen("/zt_mbox_full", &tx);
        printf("%d",
               ztMbox_send("one", 4, &tx) + ztMbox_send("two", 4, &tx) + ztMbox_send("3", 2, &tx));
        char buf[ZTMSG_MAX];
        for (int i = 0; i < 3; i++) {
            struct timespec none = {0, 0};
            ssize_t n = zt_mq_timedreceive2(rx.mqd, buf, sizeof buf, nullptr, &none);
            printf(" %zd:%s", n, n > 0 ? buf : "");
        }
        ztMbox_unlink("/zt_mbox_full");
    });
    EXPECT_EQ(child.out, "0 4:one 4:two -1:");
}

TEST(MboxReceive, WaitsTheGivenTimeTakesAMessageArrivingMeanwhileAndFailsAtOnceOnErrors)
{
    ztattr_t rx;
    ASSERT_EQ(0, ztMbox_rxopen("/zt_mbox_rx", 4, &rx));
    char buf[ZTMSG_MAX];
    struct timespec t = {0, 200 * 1000 * 1000};
    auto start = Clock::now();
    EXPECT_EQ(-1, zt_mq_timedreceive2(rx.mqd, buf, sizeof buf, nullptr, &t));
    EXPECT_TRUE(MsSince(start) >= 195 && MsSince(start) < 2000) << MsSince(start);

    std::thread sender([] {
        ztattr_t tx;
        if (ztMbox_txopen("/zt_mbox_rx", &tx) == 0 && ztMbox_send("hello", 6, &tx) == 0)
            ztMbox_close(&tx);
    });
    t = {5, 0};
    EXPECT_EQ(6, zt_mq_timedreceive(rx.mqd, buf, sizeof buf, nullptr, &t));
    sender.join();
    EXPECT_STREQ("hello", buf);

    start = Clock::now();
    EXPECT_EQ(-1,
              zt_mq_timedreceive2((mqd_t)5000, buf, sizeof buf, nullptr, &t));  // beyond select()
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_EQ(0, ztMbox_close(&rx) + ztMbox_unlink("/zt_mbox_rx"));
    EXPECT_EQ(-1, ztMbox_unlink("/zt_mbox_rx"));
}

}  // namespace
