// The daemon owns what it serves: queues found under its names at start
// (squatted by another user, or left by a crashed run with commands still in
// them) are replaced by its own, created with its size, depth and mode; a
// second daemon started beside a running one leaves it undisturbed.
#include <gtest/gtest.h>
#include <mqueue.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "DaemonHarness.h"
#include "ztTestChild.h"
#include "ztFirmwarePeer.h"

using namespace std::chrono_literals;
using zttest::DaemonHarness;
using zttest::Requester;

namespace {

constexpr uint32_t kStopCommand = 101;
constexpr uid_t kOtherUser = 65534;  // nobody

// The queue under `name` is the daemon's: 5 messages of 1500 bytes, mode
// 0660, the daemon's user and group, and no other user may open it.
void expectOwnQueue(const char *name)
{
    SCOPED_TRACE(name);
    mqd_t q = mq_open(name, O_WRONLY | O_NONBLOCK);
    ASSERT_NE(q, (mqd_t)-1) << strerror(errno);
    struct mq_attr attr = {};
    ASSERT_EQ(mq_getattr(q, &attr), 0);
    EXPECT_EQ(attr.mq_maxmsg, 5);
    EXPECT_EQ(attr.mq_msgsize, 1500);
    struct stat st = {};
    ASSERT_EQ(fstat(q, &st), 0);
    mq_close(q);
    EXPECT_EQ(st.st_mode & 07777, 0660u);
    EXPECT_EQ(st.st_uid, geteuid());
    EXPECT_EQ(st.st_gid, getegid());
    const int opened = zt_test::RunAsUser(kOtherUser, [name] {
        mqd_t r = mq_open(name, O_RDONLY | O_NONBLOCK);
        mqd_t w = mq_open(name, O_WRONLY | O_NONBLOCK);
        return (r != (mqd_t)-1 ? 1 : 0) | (w != (mqd_t)-1 ? 2 : 0);
    });
    if (opened < 0)
        GTEST_SKIP() << "cannot switch to uid " << kOtherUser;
    EXPECT_EQ(opened, 0) << "another user opened the queue (1: reading, 2: writing)";
}

struct Planted {
    const char *what;
    long depth;
    long msgSize;
    mode_t mode;
    mode_t umask;  // the daemon sets its queues' mode whatever the umask it inherits
};

// A squatter's queue (world-writable, messages larger than the daemon reads)
// and a crashed run's leftover: both hold a stop command when the daemon
// starts. The daemon must start on fresh queues of its own, never run the
// stale command, and no descriptor to the old queues may reach it.
TEST(FieldOwnership, StaleOrSquattedQueuesAreReplacedAndTheirCommandsNeverRun)
{
    const Planted plants[] = {
        {"squatted, 8192-byte messages, 0666", 10, 8192, 0666, 077},
        {"left by a crashed run", 5, 1500, 0660, 022},
    };
    for (const Planted &plant : plants) {
        SCOPED_TRACE(plant.what);
        ZtFirmwarePeer peer;
        ASSERT_TRUE(peer.ok());
        mq_unlink("/to_ztCtlD");
        mq_unlink("/to_ztCtlD2");
        struct mq_attr attr = {};
        attr.mq_maxmsg = plant.depth;
        attr.mq_msgsize = plant.msgSize;
        const mode_t saved = umask(0);
        mqd_t squat =
            mq_open("/to_ztCtlD", O_RDWR | O_CREAT | O_EXCL | O_NONBLOCK, plant.mode, &attr);
        mqd_t squat2 =
            mq_open("/to_ztCtlD2", O_RDWR | O_CREAT | O_EXCL | O_NONBLOCK, plant.mode, &attr);
        ASSERT_NE(squat, (mqd_t)-1);
        ASSERT_NE(squat2, (mqd_t)-1);
        Requester stale;
        const zttest::ClientRequest stop{kStopCommand, std::nullopt, std::nullopt};
        ASSERT_TRUE(stale.send(stop));

        umask(plant.umask);
        DaemonHarness daemon;
        const bool started = daemon.start();
        umask(saved);
        ASSERT_TRUE(started);
        // The harness's first request must not land in the planted queue.
        ASSERT_TRUE(daemon.waitForLog("Removed a queue '/to_ztCtlD2'", 15s)) << daemon.log();
        ASSERT_TRUE(daemon.waitReady()) << daemon.log();
        expectOwnQueue("/to_ztCtlD");
        expectOwnQueue("/to_ztCtlD2");

        // A stop sent through the squatter's old descriptor reaches nothing.
        const zttest::Bytes raw = zttest::buildClientRequest(stop, stale.queueName());
        ASSERT_EQ(mq_send(squat, reinterpret_cast<const char *>(raw.data()), raw.size(), 0), 0);
        auto answer = daemon.requester().call(1);
        ASSERT_TRUE(answer && answer->hasResult) << daemon.log();
        EXPECT_FALSE(stale.waitReply(300ms)) << "a stop the daemon never received was answered";
        EXPECT_TRUE(daemon.isRunning());
        mq_close(squat);
        mq_close(squat2);

        auto status = daemon.stop();
        EXPECT_TRUE(status && status->ok()) << daemon.log();
    }
}

// A second daemon exits at once with a message and a non-zero status; the
// first keeps its queues (reachable by name) and still answers and stops.
TEST(FieldOwnership, SecondDaemonExitsWithoutDisturbingTheRunningOne)
{
    ZtFirmwarePeer peer;
    ASSERT_TRUE(peer.ok());
    DaemonHarness first;
    ASSERT_TRUE(first.startAndWaitReady()) << first.log();

    DaemonHarness second;
    ASSERT_TRUE(second.start());
    auto secondStatus = second.waitExit(10s);
    ASSERT_TRUE(secondStatus) << second.log();
    EXPECT_FALSE(secondStatus->ok()) << secondStatus->describe();
    EXPECT_EQ(second.countInLog("Another ztControlD is already running"), 1u) << second.log();

    // A requester created now finds the first daemon's queues by name.
    Requester fresh;
    auto answer = fresh.call(1);
    ASSERT_TRUE(answer && answer->hasResult) << first.log();
    expectOwnQueue("/to_ztCtlD");
    auto status = first.stop();
    EXPECT_TRUE(status && status->ok()) << first.log();
}

}  // namespace
