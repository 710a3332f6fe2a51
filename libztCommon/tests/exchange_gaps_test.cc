// What callers met in the field at the edges of the message exchange: a
// caller buffer smaller than the largest message, an answer followed by
// bytes it does not declare, a send that fails after the destination opened,
// and the byte writer given less room than it needs. Real queues, own IPC
// namespace.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "ztErrno.h"
#include "ztMsg.h"
#include "ztTestChild.h"

namespace {

constexpr const char *kServer = "/zt_gap_srv";
constexpr const char *kClient = "/zt_gap_cli";

std::string Field(const uint8_t *msg, int type)
{
    char value[ZTMSG_MAX];
    return std::string(value, sntlv_find(value, sizeof value, type, msg));
}

std::string Response(const ztiobuf_t &io)
{
    const uint8_t *data = nullptr;
    uint32_t length = 0;
    if (ztmsg_response(&io, &data, &length) == nullptr)
        return "<none>";
    return std::string(reinterpret_cast<const char *>(data), length);
}

// A peer that answers one request with an answer argument of answerText,
// sending `padding` zero bytes behind the answer and optionally a header
// that claims `claimExtra` bytes more than the answer has. Records whether
// its answer could be posted.
class OneShotPeer {
public:
    OneShotPeer(std::string answerText, uint32_t padding = 0, uint32_t claimExtra = 0)
    {
        ztMbox_rxopen(kServer, 4, &m_rx);
        m_thread = std::thread([=] { serve(answerText, padding, claimExtra); });
    }
    ~OneShotPeer()
    {
        if (m_thread.joinable())
            m_thread.join();
        ztMbox_close(&m_rx);
        ztMbox_unlink(kServer);
    }
    // Waits for the peer to finish; true when it posted its answer.
    bool Posted()
    {
        m_thread.join();
        return m_posted;
    }

private:
    void serve(const std::string &answerText, uint32_t padding, uint32_t claimExtra)
    {
        std::vector<uint8_t> request(ZTMSG_MAX);
        struct timespec wait = {10, 0};
        if (zt_mq_timedreceive2(m_rx.mqd, reinterpret_cast<char *>(request.data()), request.size(),
                                nullptr, &wait) < 0)
            return;
        const std::string to = Field(request.data(), TLV_SRC);
        uint8_t msg[2 * ZTMSG_MAX] = {};
        uint32_t len = sntlv_msg_init(msg, ZTMSG_MAX, static_cast<uint8_t>(request[3] + 1));
        const std::pair<int, std::string> elements[] = {
            {TLV_CMD, Field(request.data(), TLV_CMD)},
            {TLV_CMDARG, Field(request.data(), TLV_CMDARG)},
            {TLV_SRC, kServer},
            {TLV_DST, to},
            {TLV_RSPARG, answerText},
            {TLV_END, ""}};
        for (const auto &[type, value] : elements)
            len += sntlv_add_bin(msg, ZTMSG_MAX, type, static_cast<uint32_t>(value.size()),
                                 value.data());
        msg[0] = static_cast<uint8_t>((len + claimExtra) >> 8);
        msg[1] = static_cast<uint8_t>(len + claimExtra);
        ztattr_t tx;
        if (ztMbox_txopen(to.c_str(), &tx) != 0)
            return;
        m_posted = ztMbox_send(msg, len + padding, &tx) == 0;
        ztMbox_close(&tx);
    }

    ztattr_t m_rx;
    std::thread m_thread;
    bool m_posted = false;
};

// A caller's own buffer of `size` bytes.
struct Buffer {
    explicit Buffer(uint32_t size) : bytes(size), io{size, 0, bytes.data()} {}
    std::vector<uint8_t> bytes;
    ztiobuf_t io;
};

const int kPongLength = 4 + (4 + 2) + (4 + 1) + (4 + 11) + (4 + 11) + (4 + 6) + 4;

TEST(ExchangeGaps, SmallCallerBufferTakesAnswersThatFitIt)
{
    {
        OneShotPeer peer("pong:x");
        Buffer b(128);
        ztmsg_build(&b.io, "SB", "x", 1, 16);
        EXPECT_EQ(kPongLength, ztmsg_send_timedreceive(&b.io, kClient, kServer, nullptr, 0));
        EXPECT_EQ(static_cast<uint32_t>(kPongLength), b.io.len);
        EXPECT_EQ("pong:x", Response(b.io));
        EXPECT_TRUE(peer.Posted());
    }
    // An answer longer than the buffer cannot be delivered into it: the peer
    // cannot post it and the caller sees no answer, its buffer untouched
    // beyond its size.
    OneShotPeer peer(std::string(200, 'y'));
    Buffer b(128);
    ztmsg_build(&b.io, "SB", "x", 1, 16);
    g_timedreceive = 1;
    const int rc = ztmsg_send_timedreceive(&b.io, kClient, kServer, nullptr, 0);
    g_timedreceive = 10;
    EXPECT_EQ(ZT_ERR, rc);
    EXPECT_EQ(UINT32_MAX, b.io.len);
    EXPECT_FALSE(peer.Posted());
}

TEST(ExchangeGaps, AnswerIsTakenByItsDeclaredLengthNeverBeyondWhatArrived)
{
    {
        OneShotPeer peer("pong:x", 40);  // a peer posting a padded buffer
        Buffer b(ZTMSG_MAX);
        ztmsg_build(&b.io, "PA", "x", 1, 16);
        EXPECT_EQ(kPongLength, ztmsg_send_timedreceive(&b.io, kClient, kServer, nullptr, 0));
        EXPECT_EQ(static_cast<uint32_t>(kPongLength), b.io.len);
        EXPECT_EQ("pong:x", Response(b.io));
    }
    // A header claiming bytes that never arrived is still refused.
    OneShotPeer peer("pong:x", 0, 8);
    Buffer b(ZTMSG_MAX);
    ztmsg_build(&b.io, "PA", "x", 1, 16);
    EXPECT_EQ(ZT_ERR_INVALID_PARAM, ztmsg_send_timedreceive(&b.io, kClient, kServer, nullptr, 0));
}

TEST(ExchangeGaps, SendThatFailsAfterOpeningReturnsTheCloseResult)
{
    // A destination whose messages are too small for the request: it opens,
    // but the send itself fails.
    struct mq_attr attr = {};
    attr.mq_maxmsg = 4;
    attr.mq_msgsize = 16;
    mqd_t tiny = mq_open("/zt_gap_tiny", O_RDONLY | O_CREAT, 0664, &attr);
    ASSERT_NE((mqd_t)-1, tiny);
    Buffer b(ZTMSG_MAX);
    ztmsg_build(&b.io, "SF", "x", 1, 20);
    EXPECT_EQ(0, ztmsg_send(&b.io, kClient, "/zt_gap_tiny", nullptr, 0));
    struct mq_attr after = {};
    mq_getattr(tiny, &after);
    EXPECT_EQ(0, after.mq_curmsgs);
    mq_close(tiny);
    mq_unlink("/zt_gap_tiny");

    Buffer lost(ZTMSG_MAX);
    ztmsg_build(&lost.io, "SF", "x", 1, 20);
    EXPECT_EQ(ZT_ERR_MQ_FAIL, ztmsg_send(&lost.io, kClient, "/zt_gap_nobody", nullptr, 0));
}

TEST(ExchangeGaps, ByteWriterReturnsTheCountAndStaysInsideAShortBuffer)
{
    uint8_t buf[6] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    EXPECT_EQ(4u, snLoclItoI(buf, 4, 4, 0x01020304));  // no room for the terminator
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 0, 0xAA, 0xAA}), std::vector<uint8_t>(buf, buf + 6));
    std::fill(buf, buf + 6, 0xAA);
    EXPECT_EQ(3u, snLoclItoI(buf, 2, 3, 0x0A0B0C));
    EXPECT_EQ((std::vector<uint8_t>{0x0A, 0, 0xAA, 0xAA}), std::vector<uint8_t>(buf, buf + 4));
    EXPECT_EQ(2u, snLoclItoI(buf, 0, 2, 0x0102));
    EXPECT_EQ((std::vector<uint8_t>{0x0A, 0, 0xAA}), std::vector<uint8_t>(buf, buf + 3));
}

}  // namespace
