// The library against a firmware side that restarts: the peer that owns
// "/to_ztnet" goes away and a new one creates the queue afresh while the
// context still holds a descriptor of the old queue.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mqueue.h>

#include <chrono>
#include <memory>

#include "ztCtrlD.h"
#include "ztErrno.h"
#include "ztFirmwarePeer.h"

namespace {

using Clock = std::chrono::steady_clock;

class FirmwareRestart : public ::testing::Test {
protected:
    void SetUp() override
    {
        peer = std::make_unique<ZtFirmwarePeer>();
        ASSERT_TRUE(peer->ok());
        ASSERT_TRUE(ZtFirmwarePeer::openContext(&ctx));
        ASSERT_EQ(ztc_shutter(&ctx, 1), 0);
    }
    void TearDown() override { ZtFirmwarePeer::closeContext(&ctx); }

    void restartPeer()
    {
        peer.reset();
        peer = std::make_unique<ZtFirmwarePeer>();
        ASSERT_TRUE(peer->ok());
    }

    std::unique_ptr<ZtFirmwarePeer> peer;
    ztc_msg_q_context_t ctx{};
};

// The old queue is still open and has room: the request goes there and
// nobody answers. That call fails within its bound; the next one reaches the
// new firmware side. Twice, so a second restart is followed as well.
TEST_F(FirmwareRestart, CallAfterAnUnansweredOneReachesTheNewQueue)
{
    for (int restart = 0; restart < 2; ++restart) {
        SCOPED_TRACE(restart);
        restartPeer();
        int attempts = 0;
        int rc = ZT_ERR_MQ_FAIL;
        while (rc != 0 && attempts < 2) {
            ++attempts;
            const auto start = Clock::now();
            rc = ztc_shutter(&ctx, 0);
            EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
        }
        EXPECT_EQ(rc, 0) << "no call reached the new firmware side";
        ASSERT_EQ(peer->requestCount(), 1u);
        EXPECT_TRUE(peer->requests()[0].isTyped("ztc_shutter"));
    }
}

// The old queue filled up before the restart: the send fails, the new queue
// is opened and the same call is sent there, without waiting.
TEST_F(FirmwareRestart, FullOldQueueIsReplacedWithinTheSameCall)
{
    const mqd_t old = mq_open("/to_ztnet", O_WRONLY | O_NONBLOCK);
    ASSERT_NE(old, static_cast<mqd_t>(-1));
    restartPeer();
    int filled = 0;
    while (mq_send(old, "x", 1, 0) == 0)
        ++filled;
    mq_close(old);
    EXPECT_GT(filled, 0);

    const auto start = Clock::now();
    EXPECT_EQ(ztc_shutter(&ctx, 0), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(peer->requestCount(), 1u);
}

}  // namespace
