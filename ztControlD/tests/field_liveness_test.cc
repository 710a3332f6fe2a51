// The real daemon against the real firmware simulator when its resume
// request meets a full command queue or is lost: the daemon must be working
// again within a bound. The simulator's console is fed through a FIFO so the
// test says when it suspends and resumes. A firmware side that restarts
// under the daemon: firmware_link_test (FirmwareRestart).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mqueue.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>

#include "SimulatorDaemonTest.h"

using namespace std::chrono_literals;

namespace {

constexpr uint32_t kBusyQuery = 100;  // answered from the firmware
constexpr int32_t kSuspendedNak = 1;

class FieldLiveness : public zttest::SimulatorDaemonTest {
protected:
    bool startSimulator() override
    {
        char dir[] = "/tmp/zt_liveness_XXXXXX";
        if (!mkdtemp(dir))
            return false;
        m_dir = dir;
        m_fifo = m_dir + "/console";
        // Read-write: opening never blocks, and the simulator never sees
        // the end of its console while the test runs.
        if (mkfifo(m_fifo.c_str(), 0600) != 0 ||
            (m_console = open(m_fifo.c_str(), O_RDWR | O_CLOEXEC)) < 0)
            return false;
        return m_sim.start("/bin/sh", {"-c", "exec \"$0\" < \"$1\"",
                                       zttest::DaemonHarness::binDir() + "/ztFirmwareSim", m_fifo});
    }
    void TearDown() override
    {
        m_daemon.signal(SIGCONT);  // a failed test may leave it stopped
        SimulatorDaemonTest::TearDown();
        if (m_console >= 0)
            close(m_console);
        unlink(m_fifo.c_str());
        rmdir(m_dir.c_str());
    }

    void console(const std::string &line)
    {
        const std::string text = line + "\n";
        ASSERT_EQ(write(m_console, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    // Suspends the daemon through the simulator and checks that it is.
    void suspendDaemon()
    {
        const size_t mark = m_sim.outputMark();
        console("js");
        ASSERT_TRUE(m_sim.waitForOutput("daemon answered JS", 3s, mark)) << m_sim.output();
        ASSERT_EQ(result(kBusyQuery), kSuspendedNak);
    }

    // The resume must take effect: the daemon answers it, and a command
    // that needs the firmware then succeeds.
    void expectResumed(size_t simMark)
    {
        EXPECT_TRUE(m_sim.waitForOutput("daemon answered JR", 5s, simMark))
            << m_sim.output() << m_daemon.log();
        EXPECT_EQ(result(kBusyQuery), 0);
    }

    std::string m_dir, m_fifo;
    int m_console = -1;
};

// The daemon is stopped (as if busy) with its queue of depth 5 full of
// client requests when the simulator resumes it; once it goes on and has
// answered those, the resume still arrives.
TEST_F(FieldLiveness, ResumeMeetingAFullQueueStillArrives)
{
    suspendDaemon();
    ASSERT_TRUE(m_daemon.pause(3s)) << "the daemon did not stop";
    const mqd_t queue = mq_open("/to_ztCtlD", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_NE(queue, static_cast<mqd_t>(-1));
    mq_attr attr{};
    int sent = 0;
    while (mq_getattr(queue, &attr) == 0 && attr.mq_curmsgs < attr.mq_maxmsg && sent < 64) {
        ASSERT_TRUE(m_daemon.requester().send({kBusyQuery, std::nullopt, std::nullopt}));
        ++sent;
    }
    mq_close(queue);
    ASSERT_EQ(attr.mq_curmsgs, attr.mq_maxmsg);

    const size_t mark = m_sim.outputMark();
    console("jr");
    ASSERT_TRUE(m_sim.waitForOutput("/to_ztCtlD full", 3s, mark)) << m_sim.output();
    ASSERT_TRUE(m_daemon.signal(SIGCONT));
    for (int i = 0; i < sent; ++i) {
        auto reply = m_daemon.requester().waitReply(5s);
        ASSERT_TRUE(reply && reply->hasResult) << m_daemon.log();
        EXPECT_EQ(reply->result, kSuspendedNak);
    }
    expectResumed(mark);
}

// The resume reaches the queue but never the daemon (the test takes it
// out while the daemon is stopped): the simulator posts it again until the
// daemon answers.
TEST_F(FieldLiveness, LostResumeIsRepeatedUntilAnswered)
{
    suspendDaemon();
    ASSERT_TRUE(m_daemon.pause(3s)) << "the daemon did not stop";
    const mqd_t queue = mq_open("/to_ztCtlD", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_NE(queue, static_cast<mqd_t>(-1));

    const size_t mark = m_sim.outputMark();
    console("jr");
    pollfd pfd = {static_cast<int>(queue), POLLIN, 0};
    ASSERT_EQ(poll(&pfd, 1, 3000), 1) << m_sim.output();
    char stolen[1500];
    const ssize_t n = mq_receive(queue, stolen, sizeof stolen, nullptr);
    mq_close(queue);
    ASSERT_GT(n, 4);
    EXPECT_EQ(stolen[3], 16);
    EXPECT_NE(std::string(stolen, static_cast<size_t>(n)).find("JR"), std::string::npos);

    ASSERT_TRUE(m_daemon.signal(SIGCONT));
    expectResumed(mark);
}

}  // namespace
