// The library's calls against a scripted firmware peer over real queues:
// what goes on the wire, delete lists at the size of one request, how answers
// come back, the bounds on waiting, and a firmware side that restarts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mqueue.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ztCtrlD.h"
#include "ztErrno.h"
#include "ztFirmwarePeer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class FirmwareLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer.ok());
        ASSERT_TRUE(ZtFirmwarePeer::openContext(&ctx));
    }
    void TearDown() override { ZtFirmwarePeer::closeContext(&ctx); }

    // The last request's arguments once the call returned `rc` 0.
    Bytes sent(int rc)
    {
        EXPECT_EQ(rc, 0);
        const auto all = peer.requests();
        return all.empty() ? Bytes() : all.back().payload;
    }

    ZtFirmwarePeer peer;
    ztc_msg_q_context_t ctx{};
};

// A request as the firmware side must see it, written out by hand: header,
// then 'A', 'B', 'W', 'S', 'D', 'C' and the end element.
Bytes expectedRequest(const std::string &kind, const Bytes &arg, uint8_t option, uint32_t seq)
{
    Bytes m = {0x00, 0x00, 0x00, 24};
    auto element = [&m](uint8_t type, const std::string &value) {
        m.insert(m.end(), {0x00, static_cast<uint8_t>(value.size() >> 8),
                           static_cast<uint8_t>(value.size()), type});
        m.insert(m.end(), value.begin(), value.end());
    };
    element('A', kind);
    element('B', std::string(arg.begin(), arg.end()));
    element('W', std::string(1, static_cast<char>(option)));
    element('S', std::string{static_cast<char>(seq), static_cast<char>(seq >> 8),
                             static_cast<char>(seq >> 16), static_cast<char>(seq >> 24)});
    element('D', "/to_ztCtlD2");
    element('C', "/to_ztnet");
    element(0xEE, "");
    m[0] = static_cast<uint8_t>(m.size() >> 8);
    m[1] = static_cast<uint8_t>(m.size());
    return m;
}

// Only the sequence number varies between runs; it is taken from the
// request (and the call succeeding shows the answer carried it back).
TEST_F(FirmwareLink, RequestsOfEachKindAreByteExactWithRisingSequenceNumbers)
{
    ctx.option = 1;
    ASSERT_EQ(ztc_shutter(&ctx, 1), 0);
    const Bytes shutter = {'z', 't', 'c', '_', 's', 'h', 'u', 't', 't', 'e', 'r', 0, 1};
    ctx.option = 0;
    const uint8_t payload[3] = {0x10, 0x20, 0x30};
    ASSERT_EQ(ztc_send_remote_api_payload(&ctx, 2, 91, payload, 3), 0);
    ASSERT_EQ(ztc_send_simple_remote_api(&ctx, 17, 10), 0);
    ctx.option = 7;
    ASSERT_EQ(ztc_send_auxmod_command(&ctx, "NI", "\x01\x01", 2, nullptr, nullptr), 0);
    EXPECT_EQ(ztc_send_auxmod_command(&ctx, "APX", nullptr, 0, nullptr, nullptr),
              ZT_ERR_INVALID_PARAM);

    const auto r = peer.requests();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].raw, expectedRequest("TC", shutter, 1, r[0].sequence));
    EXPECT_EQ(r[1].raw, expectedRequest("RA", {2, 91, 0x10, 0x20, 0x30}, 0, r[1].sequence));
    EXPECT_EQ(r[2].raw, expectedRequest("RA", {17, 10}, 0, r[2].sequence));
    EXPECT_EQ(r[3].raw, expectedRequest("AX", {'N', 'I', 1, 1}, 7, r[3].sequence));
    for (size_t i = 1; i < r.size(); ++i)
        EXPECT_EQ(r[i].sequence, r[i - 1].sequence + 1) << i;
}

// Delete lists at the size of one request: the longest list that fits goes
// out whole (count first, then the items as one range of packed 23-byte
// records), a longer one is refused before anything is sent, and a count
// whose byte size does not fit 32 bits is refused rather than wrapped.
TEST_F(FirmwareLink, DeleteListFillingOneRequestIsSentWholeAndALongerOneIsRefused)
{
    std::vector<file_list_item_t> items(62);
    for (size_t i = 0; i < items.size(); ++i) {
        items[i].code = static_cast<uint8_t>(i);
        snprintf(items[i].name, sizeof items[i].name, "GX%06u.MP4", static_cast<unsigned>(i));
    }
    // 61 items: a 1492-byte request with the default reply queue.
    const Bytes in = sent(ztc_storage_delete_list(&ctx, items.data(), 61));
    EXPECT_EQ(peer.requests().at(0).raw.size(), 1492u);
    ASSERT_EQ(in.size(), 4u + 2u + 61u * 23u);
    EXPECT_EQ(Bytes(in.begin(), in.begin() + 6), (Bytes{61, 0, 0, 0, 0x7B, 0x05}));
    EXPECT_EQ(0, memcmp(in.data() + 6, items.data(), 61 * 23));

    EXPECT_EQ(ztc_storage_delete_list(&ctx, items.data(), 62), ZT_ERR_INVALID_PARAM);
    // 23 * 186737709 is 2^32 + 11: a count whose size wraps must not pass as
    // an 11-byte list.
    EXPECT_EQ(ztc_storage_delete_list(&ctx, items.data(), 186737709u), ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(peer.requestCount(), 1u);
}

TEST_F(FirmwareLink, AnswerBytesAreBorrowedOrCopiedUpToTheCallersBuffer)
{
    Bytes status(394);
    for (size_t i = 0; i < status.size(); ++i)
        status[i] = static_cast<uint8_t>(i);
    peer.scriptRemote(8, 11, PeerAnswer::Bytes(status));
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    ASSERT_EQ(ztc_send_remote_api_for_response(&ctx, 8, 11, &answer, &length), 0);
    EXPECT_EQ(Bytes(answer, answer + length), status);

    uint8_t mine[16] = {};
    answer = mine;
    length = sizeof mine;
    ASSERT_EQ(ztc_send_remote_api_for_response(&ctx, 8, 11, &answer, &length), 0);
    EXPECT_EQ(answer, mine);
    EXPECT_EQ(Bytes(mine, mine + length), Bytes(status.begin(), status.begin() + 16));
}

TEST_F(FirmwareLink, OutputsAreUntouchedOnFailureAndFilledOnSuccess)
{
    int32_t app = 99, flat = -1;
    peer.scriptTypedOnce("ztc_app_get_mode_flat_mode", PeerAnswer::Status(ZT_ERR));
    EXPECT_EQ(ztc_app_get_mode_flat_mode(&ctx, &app, &flat), ZT_ERR);
    // Status 0 with too few output bytes is a failure too.
    peer.scriptTypedOnce("ztc_app_get_mode_flat_mode", PeerAnswer::Bytes({1, 0, 0, 0}));
    EXPECT_NE(ztc_app_get_mode_flat_mode(&ctx, &app, &flat), 0);
    EXPECT_EQ(std::make_pair(app, flat), std::make_pair(99, -1));
    peer.scriptTypedOnce("ztc_app_get_mode_flat_mode",
                         PeerAnswer::Bytes({1, 0, 0, 0, 12, 0, 0, 0}));
    ASSERT_EQ(ztc_app_get_mode_flat_mode(&ctx, &app, &flat), 0);
    EXPECT_EQ(std::make_pair(app, flat), std::make_pair(1, 12));
}

TEST_F(FirmwareLink, LateAnswerFailsWithinTheBoundAndIsNotTakenForTheNextCall)
{
    // The first answer comes 1300 ms late: after the first call gave up and
    // while the second call waits for its own, which comes later still.
    peer.scriptRemoteOnce(8, 11, PeerAnswer::Bytes({0xAA}).after(1300));
    peer.scriptRemoteOnce(8, 11, PeerAnswer::Bytes({0xBB}).after(500));
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    const auto start = Clock::now();
    EXPECT_EQ(ztc_send_remote_api_for_response(&ctx, 8, 11, &answer, &length), ZT_ERR_MQ_FAIL);
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, milliseconds(950));
    EXPECT_LT(waited, milliseconds(1500));
    EXPECT_EQ(answer, nullptr);
    ASSERT_EQ(ztc_send_remote_api_for_response(&ctx, 8, 11, &answer, &length), 0);
    ASSERT_EQ(length, 1);
    EXPECT_EQ(answer[0], 0xBB);
}

TEST_F(FirmwareLink, ForeignAndGarbageMessagesOnTheReplyQueueAreSkipped)
{
    ASSERT_TRUE(peer.postRaw({0x00, 0x05, 0x00, 25, 0xFF}, "/to_ztCtlD2"));
    ASSERT_TRUE(peer.postRaw({0x00, 0x0E, 0x00, 25, 0x00, 0x00, 0x02, 'A', 'R', 'A', 0, 0, 0, 0xEE},
                             "/to_ztCtlD2"));
    EXPECT_EQ(ztc_shutter(&ctx, 1), 0);
}

// A firmware side that restarts: the peer that owns "/to_ztnet" goes away
// and a new one creates the queue afresh while the context still holds a
// descriptor of the old queue.
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
