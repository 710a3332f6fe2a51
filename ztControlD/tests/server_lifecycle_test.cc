// The real daemon against the scripted firmware peer: start-up, start-up
// failures with their exit statuses, the stop command, and that every
// command value gets exactly one answer.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <set>

#include "DaemonPeerTest.h"

using namespace std::chrono_literals;
using zttest::DaemonHarness;
using zttest::Requester;

namespace {

constexpr int32_t kNotSupported = -104;
constexpr int32_t kInvalidParam = -3;
constexpr uint32_t kStopCommand = 101;

// A start that must fail: the daemon exits with status 255 within `wait`
// and leaves none of its queues behind.
void expectStartFailsWith255(DaemonHarness &daemon, std::chrono::seconds wait)
{
    ASSERT_TRUE(daemon.start());
    auto status = daemon.waitExit(wait);
    ASSERT_TRUE(status) << daemon.log();
    EXPECT_TRUE(status->exited);
    EXPECT_EQ(status->code, 255);
    EXPECT_FALSE(zttest::queueExists("/to_ztCtlD"));
    EXPECT_FALSE(zttest::queueExists("/to_ztCtlD2"));
}

TEST(ServerLifecycle, StopCommandIsAnsweredZeroAndProcessExitsCleanly)
{
    ZtFirmwarePeer peer;
    ASSERT_TRUE(peer.ok());
    DaemonHarness daemon;
    ASSERT_TRUE(daemon.startAndWaitReady()) << daemon.log();

    Requester &req = daemon.requester();
    const auto sentAt = std::chrono::steady_clock::now();
    auto reply = req.call(kStopCommand);
    ASSERT_TRUE(reply) << daemon.log();
    EXPECT_EQ(reply->category, 21);
    ASSERT_TRUE(reply->hasResult);
    EXPECT_EQ(reply->result, 0);
    EXPECT_FALSE(reply->hasPayload);

    auto status = daemon.waitExit(6s);
    ASSERT_TRUE(status) << "daemon still running after the stop command\n" << daemon.log();
    EXPECT_TRUE(status->ok()) << status->describe();
    // One accept-loop period (2 s) plus the worker's receive time-out.
    EXPECT_LT(std::chrono::steady_clock::now() - sentAt, 4s);
    EXPECT_EQ(daemon.countInLog("Command: ZTCONTROL_CMD_LAST"), 0u);

    // The daemon removes the queues it created and leaves the firmware's.
    EXPECT_FALSE(zttest::queueExists("/to_ztCtlD"));
    EXPECT_FALSE(zttest::queueExists("/to_ztCtlD2"));
    EXPECT_TRUE(zttest::queueExists("/to_ztnet"));
}

using ServerCommandValues = zttest::DaemonPeerTest;

TEST_F(ServerCommandValues, EveryCommandValueGetsExactlyOneAnswer)
{
    DaemonHarness &daemon = m_daemon;
    Requester &req = daemon.requester();

    // Whatever a branch does with a request that carries no argument, it
    // answers exactly once; values without a branch answer as unsupported.
    const std::set<uint32_t> withoutBranch = {1, 2, 45, 69};
    for (uint32_t command = 0; command <= 110; ++command) {
        if (command == kStopCommand)
            continue;
        zttest::ClientRequest request;
        request.command = command;
        ASSERT_TRUE(req.send(request));
        auto reply = req.waitReply(5s);
        ASSERT_TRUE(reply) << "no answer to command " << command << "\n" << daemon.log();
        EXPECT_EQ(reply->category, 21);
        ASSERT_TRUE(reply->hasResult) << "command " << command;
        if (command == 0 || command == 43) {
            EXPECT_EQ(reply->result, kInvalidParam) << "command " << command << " without argument";
        } else if (command > 100 || withoutBranch.count(command)) {
            EXPECT_EQ(reply->result, kNotSupported) << "command " << command;
        }
    }
    EXPECT_FALSE(req.waitReply(300ms)) << "a command was answered twice";
    EXPECT_TRUE(daemon.isRunning());
    // The result line names catalogue values only.
    EXPECT_EQ(daemon.countInLog("Command: ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_1X_SET (69) returned "
                                "ztErrno:(-104=ZT_ERR_NOT_SUPPORTED)"),
              1u);
    EXPECT_EQ(daemon.countInLog("Unhandled command 110"), 1u);
    EXPECT_EQ(daemon.countInLog("(110) returned"), 0u);
}

TEST(ServerLifecycle, MissingFirmwareQueueFailsStartWithStatus255)
{
    ZtFirmwarePeer::Options options;
    options.firmware = false;  // CSI only: "/to_ztnet" never appears
    ZtFirmwarePeer peer(options);
    ASSERT_TRUE(peer.ok());
    DaemonHarness daemon;
    expectStartFailsWith255(daemon, 10s);
    EXPECT_EQ(daemon.countInLog("mq_open() failed for '/to_ztnet'"), 6u) << daemon.log();
    EXPECT_EQ(daemon.countInLog("Retrying 1"), 1u);
    EXPECT_EQ(daemon.countInLog("Failed to start daemon ["), 1u);
    // Camera-state item 123 is unknown to this peer: the level stays at 2.
    EXPECT_EQ(daemon.countInLog("[DEBUG]"), 0u);
}

TEST(ServerLifecycle, TakenPortShutsTheServerDownAndExitsWith255)
{
    ZtFirmwarePeer peer;
    ASSERT_TRUE(peer.ok());
    const int blocker = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(blocker, 0);
    struct sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(zttest::kNotifyPort);
    ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    ASSERT_EQ(listen(blocker, 1), 0);

    // The server had started: its shutdown must have removed its queues.
    DaemonHarness daemon;
    expectStartFailsWith255(daemon, 15s);
    close(blocker);
    EXPECT_EQ(daemon.countInLog("bind() failed on socket, Exiting daemon"), 1u) << daemon.log();
}

}  // namespace
