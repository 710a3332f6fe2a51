// CSI reads and the CSI listener against the scripted peer's CSI service.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mqueue.h>

#include <chrono>
#include <vector>

#include "ZTCSIListener.h"
#include "csi.h"
#include "ztCtrlD.h"
#include "ztErrno.h"
#include "ztFirmwarePeer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(CsiGet, ReadsTheValueInTheRequestedSizeAndRefusesBadArgumentsUnsent)
{
    ZtFirmwarePeer peer;
    ASSERT_TRUE(peer.ok());
    uint32_t status = 7, value = 77;
    EXPECT_EQ(csi_get(1, 5, nullptr, &value), ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(peer.requestCount(), 0u) << "a refused size was asked for";

    peer.setCsiItem(123, 0x12345678);
    ASSERT_EQ(csi_get(123, 4, &status, &value), 0);
    EXPECT_EQ(std::make_pair(status, value), std::make_pair(0u, 0x12345678u));
    EXPECT_EQ(peer.requests().at(0).payload, (Bytes{123, 0, 0, 0, 4, 0, 0, 0}));
    ASSERT_EQ(csi_get(123, 2, nullptr, &value), 0);
    EXPECT_EQ(value, 0x5678u);

    EXPECT_NE(csi_get(999, 4, &status, &value), 0);  // unknown item: value untouched
    EXPECT_EQ(std::make_pair(status, value), std::make_pair(0xFFFFFFFFu, 0x5678u));
}

TEST(CsiGet, MissingServiceFailsAtOnceAndASilentOneWithinTheBound)
{
    mq_unlink("/to_csi");
    uint32_t value = 77;
    auto start = Clock::now();
    EXPECT_NE(csi_get(123, 4, nullptr, &value), 0);
    EXPECT_NE(ztc_state_get_model_number(reinterpret_cast<uint8_t *>(&value)), 0);
    EXPECT_LT(Clock::now() - start, milliseconds(300));
    EXPECT_EQ(value, 77u);

    // A CSI service that never reads its queue.
    mq_attr attr = {};
    attr.mq_maxmsg = 4;
    attr.mq_msgsize = 1500;
    const mqd_t silent = mq_open("/to_csi", O_RDONLY | O_CREAT, 0664, &attr);
    ASSERT_NE(silent, static_cast<mqd_t>(-1));
    start = Clock::now();
    EXPECT_NE(csi_get(123, 4, nullptr, &value), 0);
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, milliseconds(950));
    EXPECT_LT(waited, milliseconds(1500));
    EXPECT_EQ(value, 77u);
    mq_close(silent);
    mq_unlink("/to_csi");
}

// The listener talks to the CSI service and gets its answers on the daemon
// queue; the test plays the daemon, reading that queue and passing each
// message on as the daemon does.
class Listener : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer.ok());
        mq_unlink("/to_ztCtlD");
        mq_attr attr = {};
        attr.mq_maxmsg = 5;
        attr.mq_msgsize = 1500;
        daemonQueue = mq_open("/to_ztCtlD", O_RDONLY | O_CREAT, 0664, &attr);
        ASSERT_NE(daemonQueue, static_cast<mqd_t>(-1));
        listener->Init(false, "/to_ztCtlD");
        listener->Resume();
    }
    void TearDown() override
    {
        mq_close(daemonQueue);
        mq_unlink("/to_ztCtlD");
    }

    // Receives one message for the daemon within a second (empty: none).
    Bytes receive()
    {
        Bytes buffer(1500);
        timespec until;
        clock_gettime(CLOCK_REALTIME, &until);
        until.tv_sec += 1;
        const ssize_t n = mq_timedreceive(daemonQueue, reinterpret_cast<char *>(buffer.data()),
                                          buffer.size(), nullptr, &until);
        buffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return buffer;
    }
    unsigned int value(unsigned int id)
    {
        unsigned int v = 0;
        EXPECT_TRUE(listener->GetCSIValue(id, &v)) << id;
        return v;
    }

    ZtFirmwarePeer peer;
    mqd_t daemonQueue = static_cast<mqd_t>(-1);
    ZTCSIListener *listener = ZTCSIListener::GetInstance();
};

TEST_F(Listener, SetSendsOnEveryCallEvenWhenUnchanged)
{
    ASSERT_EQ(listener->SetCSIValue(7, 0x8FFFFFF), 0);
    ASSERT_EQ(listener->SetCSIValue(7, 0x8FFFFFF), 0);
    // The service answers each set with "CI" on the daemon queue.
    for (int i = 0; i < 2; ++i) {
        Bytes answer = receive();
        ASSERT_FALSE(answer.empty()) << "set " << i;
        EXPECT_EQ(listener->HandleSetResponse(reinterpret_cast<char *>(answer.data())), 0);
    }
    const Bytes raw = {0x00, 0x33, 0x00, 26,               // header
                       0x00, 0x00, 0x02, 'A',  'C',  'W',  // set
                       0x00, 0x00, 0x08, 'B',  7,    0,    0,    0,   0xFF, 0xFF, 0xFF,
                       0x08, 0x00, 0x00, 0x0A, 'D',  '/',  't',  'o', '_',  'z',  't',
                       'C',  't',  'l',  'D',  0x00, 0x00, 0x07, 'C', '/',  't',  'o',
                       '_',  'c',  's',  'i',  0x00, 0x00, 0x00, 0xEE};
    EXPECT_EQ(peer.requests().at(0).raw, raw);
    EXPECT_EQ(peer.csiItem(7), 0x8FFFFFFu);
}

TEST_F(Listener, NotificationsAreKeptAndIgnoredWhileSuspended)
{
    ASSERT_TRUE(peer.postCsiNotify(151, 1));
    Bytes one = receive();
    ASSERT_EQ(listener->HandleCSIMessage(reinterpret_cast<char *>(one.data())), 0);
    EXPECT_EQ(value(151), 1u);

    listener->Suspend();
    ASSERT_TRUE(peer.postCsiNotifyMany({{151, 2}, {152, 3}}));
    Bytes many = receive();
    ASSERT_EQ(listener->HandleCSIMessage(reinterpret_cast<char *>(many.data())), 0);
    EXPECT_EQ(value(151), 1u);
    listener->Resume();
    ASSERT_EQ(listener->HandleCSIMessage(reinterpret_cast<char *>(many.data())), 0);
    EXPECT_EQ(std::make_pair(value(151), value(152)), std::make_pair(2u, 3u));

    // Refused: "CN" with a 3-byte argument.
    Bytes shortArg = {0x00, 0x15, 0x00, 17, 0, 0, 2, 'A', 'C', 'N', 0,
                      0,    3,    'B',  1,  2, 3, 0, 0,   0,   0xEE};
    EXPECT_NE(listener->HandleCSIMessage(reinterpret_cast<char *>(shortArg.data())), 0);
}

}  // namespace
