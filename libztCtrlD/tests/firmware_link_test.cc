// The library's calls against a scripted firmware peer over real queues:
// what goes on the wire, how answers come back, and the bounds on waiting.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mqueue.h>

#include <chrono>
#include <string>
#include <vector>

#include "ztCtrlD.h"
#include "ztErrno.h"
#include "ztFirmwarePeer.h"

namespace {

using Bytes = std::vector<uint8_t>;

class FirmwareLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer.ok());
        ASSERT_TRUE(ZtFirmwarePeer::openContext(&ctx));
        ctx.option = 1;
    }
    void TearDown() override { ZtFirmwarePeer::closeContext(&ctx); }

    PeerRequest lastRequest()
    {
        auto all = peer.requests();
        EXPECT_FALSE(all.empty());
        return all.empty() ? PeerRequest() : all.back();
    }

    ZtFirmwarePeer peer;
    ztc_msg_q_context_t ctx{};
};

// A request as the firmware side must see it, written out by hand: header,
// then 'A', 'B', 'W', 'S', 'D', 'C' and the end element.
Bytes expectedRequest(const std::string &kind, const Bytes &arg, uint8_t option, uint32_t seq)
{
    Bytes m = {0x00, 0x00, 0x00, 24};
    auto element = [&m](uint8_t type, const Bytes &value) {
        m.insert(m.end(), {0x00, static_cast<uint8_t>(value.size() >> 8),
                           static_cast<uint8_t>(value.size()), type});
        m.insert(m.end(), value.begin(), value.end());
    };
    element('A', Bytes(kind.begin(), kind.end()));
    element('B', arg);
    element('W', {option});
    element('S', {static_cast<uint8_t>(seq), static_cast<uint8_t>(seq >> 8),
                  static_cast<uint8_t>(seq >> 16), static_cast<uint8_t>(seq >> 24)});
    const std::string reply = "/to_ztCtlD2", fw = "/to_ztnet";
    element('D', Bytes(reply.begin(), reply.end()));
    element('C', Bytes(fw.begin(), fw.end()));
    element(0xEE, {});
    m[0] = static_cast<uint8_t>(m.size() >> 8);
    m[1] = static_cast<uint8_t>(m.size());
    return m;
}

// Only the sequence number varies between runs; it is taken from the
// request (and the call succeeding shows the answer carried it back).
TEST_F(FirmwareLink, RequestsOfEachKindAreByteExactWithRisingSequenceNumbers)
{
    ASSERT_EQ(ztc_shutter(&ctx, 1), 0);
    PeerRequest r = lastRequest();
    const std::string name = "ztc_shutter";
    Bytes arg(name.begin(), name.end());
    arg.insert(arg.end(), {0x00, 0x01});
    EXPECT_EQ(r.raw, expectedRequest("TC", arg, 1, r.sequence));

    ctx.option = 0;
    const uint8_t payload[3] = {0x10, 0x20, 0x30};
    ASSERT_EQ(ztc_send_remote_api_payload(&ctx, 2, 91, payload, 3), 0);
    r = lastRequest();
    EXPECT_EQ(r.raw, expectedRequest("RA", {2, 91, 0x10, 0x20, 0x30}, 0, r.sequence));
    ASSERT_EQ(ztc_send_simple_remote_api(&ctx, 17, 10), 0);
    r = lastRequest();
    EXPECT_EQ(r.raw, expectedRequest("RA", {17, 10}, 0, r.sequence));

    ctx.option = 7;
    ASSERT_EQ(ztc_send_auxmod_command(&ctx, "NI", "\x01\x01", 2, nullptr, nullptr), 0);
    r = lastRequest();
    EXPECT_EQ(r.raw, expectedRequest("AX", {'N', 'I', 1, 1}, 7, r.sequence));
    EXPECT_EQ(ztc_send_auxmod_command(&ctx, "APX", nullptr, 0, nullptr, nullptr),
              ZT_ERR_INVALID_PARAM);

    const auto all = peer.requests();
    ASSERT_EQ(all.size(), 4u);
    for (size_t i = 1; i < all.size(); ++i)
        EXPECT_EQ(all[i].sequence, all[i - 1].sequence + 1) << i;
}

TEST_F(FirmwareLink, TypedCallArgumentsAreEncodedInDeclarationOrder)
{
    ctx.option = 0;
    ASSERT_EQ(ztc_app_set_mode_sub_mode(&ctx, 12, -1), 0);
    PeerRequest r = lastRequest();
    EXPECT_TRUE(r.isTyped("ztc_app_set_mode_sub_mode"));
    EXPECT_EQ(r.payload, (Bytes{12, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(r.option, 0);

    ASSERT_EQ(ztc_storage_tag_file(&ctx, "GX01.MP4", 8, 0x01020304, 7), 0);
    r = lastRequest();
    Bytes expected = {8, 0, 'G', 'X', '0', '1', '.', 'M', 'P', '4', 4, 3, 2, 1, 7, 0, 0, 0};
    EXPECT_EQ(r.payload, expected);

    file_list_item_t items[2] = {{1, "A.MP4"}, {2, "B.JPG"}};
    ASSERT_EQ(ztc_storage_delete_list(&ctx, items, 2), 0);
    r = lastRequest();
    ASSERT_EQ(r.payload.size(), 4u + 2u + 46u);
    EXPECT_EQ(r.payload[0], 2);   // count first
    EXPECT_EQ(r.payload[4], 46);  // then the items as one range
    EXPECT_EQ(r.payload[6], 1);   // first item's code
    EXPECT_EQ(r.payload[6 + 23], 2);

    ASSERT_EQ(camera_if_settings_set_value_int(&ctx, 2, 7, 31, 9, 1, nullptr, nullptr), 0);
    r = lastRequest();
    EXPECT_EQ(r.payload, (Bytes{2, 0, 0, 0, 7, 0, 0, 0, 31, 0, 0, 0, 9, 0, 0, 0, 1, 0, 0, 0}));
}

TEST_F(FirmwareLink, AnswerBytesAreBorrowedUntilTheNextCallAndPassUninterpreted)
{
    Bytes status(394);
    for (size_t i = 0; i < status.size(); ++i)
        status[i] = static_cast<uint8_t>(i);
    peer.scriptRemote(8, 11, PeerAnswer::Bytes(status));
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    ASSERT_EQ(ztc_send_remote_api_for_response(&ctx, 8, 11, &answer, &length), 0);
    ASSERT_EQ(length, 394);
    EXPECT_EQ(Bytes(answer, answer + length), status);

    peer.scriptAuxmod("PX", PeerAnswer::Bytes({2}));  // a lone byte is no status
    ASSERT_EQ(ztc_send_auxmod_command(&ctx, "PX", nullptr, 0, &answer, &length), 0);
    ASSERT_EQ(length, 1);
    EXPECT_EQ(answer[0], 2);

    peer.scriptTyped("ztc_shutter", PeerAnswer::Status(ZT_ERR_NOT_SUPPORTED));
    EXPECT_EQ(ztc_shutter(&ctx, 0), ZT_ERR_NOT_SUPPORTED);
    peer.scriptRemote(2, 90, PeerAnswer::Status(-1234));
    EXPECT_EQ(ztc_send_simple_remote_api(&ctx, 2, 90), -1234);
}

TEST_F(FirmwareLink, PresetBufferReceivesAtMostItsSize)
{
    peer.scriptRemote(7, 30, PeerAnswer::Bytes(Bytes(238, 0x5A)));
    uint8_t mine[16] = {};
    uint8_t *answer = mine;
    uint16_t length = sizeof mine;
    ASSERT_EQ(ztc_send_remote_api_for_response(&ctx, 7, 30, &answer, &length), 0);
    EXPECT_EQ(answer, mine);
    EXPECT_EQ(length, sizeof mine);
    EXPECT_EQ(mine[15], 0x5A);

    peer.scriptRemote(7, 26, PeerAnswer::Bytes({1, 2, 3}));
    uint8_t big[64] = {};
    answer = big;
    length = sizeof big;
    ASSERT_EQ(ztc_send_remote_api_payload_response(&ctx, 7, 26, "x", 1, &answer, &length), 0);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(big[2], 3);
    EXPECT_EQ(big[3], 0);
}

TEST_F(FirmwareLink, OutputsAreUntouchedOnFailureAndFilledOnSuccess)
{
    int32_t app = 99, flat = -1;
    peer.scriptTypedOnce("ztc_app_get_mode_flat_mode", PeerAnswer::Status(ZT_ERR));
    EXPECT_EQ(ztc_app_get_mode_flat_mode(&ctx, &app, &flat), ZT_ERR);
    EXPECT_EQ(app, 99);
    EXPECT_EQ(flat, -1);

    // Status 0 with too few output bytes is a failure, outputs untouched.
    peer.scriptTypedOnce("ztc_app_get_mode_flat_mode", PeerAnswer::Bytes({1, 0, 0, 0}));
    EXPECT_NE(ztc_app_get_mode_flat_mode(&ctx, &app, &flat), 0);
    EXPECT_EQ(flat, -1);

    peer.scriptTypedOnce("ztc_app_get_mode_flat_mode",
                         PeerAnswer::Bytes({1, 0, 0, 0, 12, 0, 0, 0}));
    ASSERT_EQ(ztc_app_get_mode_flat_mode(&ctx, &app, &flat), 0);
    EXPECT_EQ(app, 1);
    EXPECT_EQ(flat, 12);

    // Unscripted typed calls with outputs get zeros.
    signed char lensMode = 5, lens = 5;
    ASSERT_EQ(ztc_system_get_lenses(&ctx, &lensMode, &lens), 0);
    EXPECT_EQ(lensMode, 0);
    EXPECT_EQ(lens, 0);

    peer.scriptRemote(8, 11, PeerAnswer::Status(ZT_ERR_NAK));
    uint8_t *answer = reinterpret_cast<uint8_t *>(&app);
    uint16_t length = 0;
    EXPECT_EQ(ztc_send_remote_api_for_response(&ctx, 8, 11, &answer, &length), ZT_ERR_NAK);
    EXPECT_EQ(answer, reinterpret_cast<uint8_t *>(&app));
    EXPECT_EQ(length, 0);
}

TEST_F(FirmwareLink, WithheldAnswerFailsWithinTheBoundAndIsNotTakenLater)
{
    // The first answer comes 1300 ms late: after the first call gave up and
    // while the second call waits for its own.
    peer.scriptRemoteOnce(8, 11, PeerAnswer::Bytes({0xAA}).after(1300));
    peer.scriptRemote(8, 11, PeerAnswer::Bytes({0xBB}));
    uint8_t *answer = nullptr;
    uint16_t length = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ztc_send_remote_api_for_response(&ctx, 8, 11, &answer, &length), ZT_ERR_MQ_FAIL);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(950));
    EXPECT_LT(waited, std::chrono::milliseconds(1500));
    EXPECT_EQ(answer, nullptr);

    // Withhold the second answer until the late one has surely arrived.
    peer.scriptRemoteOnce(8, 11, PeerAnswer::Bytes({0xBB}).after(500));
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

TEST_F(FirmwareLink, ClosedInterfaceFailsAtOnce)
{
    ztc_msg_q_context_t closed{};
    closed.request_queue = closed.reply_queue = static_cast<mqd_t>(-1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ztc_shutter(&closed, 1), ZT_ERR_MQ_FAIL);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_EQ(peer.requestCount(), 0u);
}

TEST(FirmwareLinkFullQueue, FullRequestQueueFailsAtOnceWithoutBlocking)
{
    // A firmware side that does not read: "/to_ztnet" of depth 1, already full.
    mq_unlink("/to_ztnet");
    mq_attr attr = {};
    attr.mq_maxmsg = 1;
    attr.mq_msgsize = 1500;
    const mqd_t q = mq_open("/to_ztnet", O_RDWR | O_CREAT, 0664, &attr);
    ASSERT_NE(q, static_cast<mqd_t>(-1));
    ASSERT_EQ(mq_send(q, "x", 1, 0), 0);
    ztc_msg_q_context_t ctx{};
    ASSERT_TRUE(ZtFirmwarePeer::openContext(&ctx));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ztc_shutter(&ctx, 1), ZT_ERR_MQ_FAIL);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));

    ZtFirmwarePeer::closeContext(&ctx);
    mq_close(q);
    mq_unlink("/to_ztnet");
}

}  // namespace
