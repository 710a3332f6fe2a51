// The real daemon against the scripted firmware peer: every command value
// gets exactly one answer. The stop command and a start-up failure (a port
// already taken): field_restart_test.cc.
#include <gtest/gtest.h>

#include <set>

#include "CommandFixture.h"
#include "ztErrno.h"
#include "ztcontrol_commands.h"

using namespace std::chrono_literals;

namespace {

using ServerLifecycle = zttest::DaemonPeerTest;

TEST_F(ServerLifecycle, EveryCommandValueGetsExactlyOneAnswer)
{
    // Whatever a branch does with a request that carries no argument, it
    // answers exactly once; values without a branch answer as unsupported.
    const std::set<uint32_t> withoutBranch = {ZTCONTROL_EVENT_FILTER_IN, ZTCONTROL_FILTER_OUT,
                                              ZTCONTROL_TRANSCODE_PHOTO_TO_VIDEO,
                                              ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_1X_SET};
    for (uint32_t command = 0; command < ZTCONTROL_CMD_LAST; ++command) {
        const int32_t got = result(command);
        EXPECT_EQ(m_reply->category, CAT_CLIENT_RSP);
        if (command == ZTCONTROL_EVENT_REGISTER_MQUEUE || command == ZTCONTROL_PUSH_NOTIFICATIONS ||
            withoutBranch.count(command)) {
            EXPECT_EQ(got,
                      withoutBranch.count(command) ? ZT_ERR_NOT_SUPPORTED : ZT_ERR_INVALID_PARAM)
                << command;
        }
    }
    for (uint32_t command = ZTCONTROL_CMD_LAST + 1; command <= 110; ++command)
        EXPECT_EQ(result(command), ZT_ERR_NOT_SUPPORTED) << "command " << command;
    EXPECT_FALSE(m_daemon.requester().waitReply(300ms)) << "a command was answered twice";
}

}  // namespace
