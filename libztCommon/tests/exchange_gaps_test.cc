// Mailboxes and request/answer exchanges over real POSIX queues, own IPC
// namespace. Exchanges: the
// request on the wire, the answer in the caller's buffer, a busy reply
// mailbox, time-outs, missing peers and invalid answers, and what callers met
// in the field at the edges: a caller buffer smaller than the largest
// message, an answer followed by bytes it does not declare, a send that
// fails after the destination opened, the byte writers given less room than
// they need.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "utils.h"
#include "ztErrno.h"
#include "ztMbox.h"
#include "ztMsg.h"
#include "ztTestChild.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
constexpr const char *kServer = "/zt_gap_srv";
constexpr const char *kClient = "/zt_gap_cli";

long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool QueueExists(const char *name)
{
    mqd_t q = mq_open(name, O_RDONLY);
    return q != (mqd_t)-1 && mq_close(q) == 0;
}

std::string Field(const uint8_t *msg, int type)
{
    char value[ZTMSG_MAX];
    return std::string(value, sntlv_find(value, sizeof value, type, msg));
}

// A request built in a caller's buffer of `size` bytes.
struct Request {
    Request(const char *command, const std::string &arg = "x", uint32_t size = ZTMSG_MAX)
        : bytes(size), io{size, 0, bytes.data()}
    {
        ztmsg_build(&io, command, arg.data(), uint32_t(arg.size()), 16);
    }
    std::string answer() const
    {
        const uint8_t *data = nullptr;
        uint32_t length = 0;
        return ztmsg_response(&io, &data, &length) ? std::string((const char *)data, length) : "-";
    }
    Bytes bytes;
    ztiobuf_t io;
};

// The peer's mailbox. serve() answers the next request in the background on
// the mailbox its source names: CMD, CMDARG, SRC, DST and `text` as the
// answer argument, `padding` zero bytes sent behind it, a header claiming
// `claimExtra` bytes more than it has.
class Peer {
public:
    Peer() { ztMbox_rxopen(kServer, 4, &m_rx); }
    ~Peer()
    {
        posted();
        ztMbox_close(&m_rx);
        ztMbox_unlink(kServer);
    }
    Bytes receive(int timeoutMs)
    {
        Bytes r(ZTMSG_MAX);
        struct timespec t = {timeoutMs / 1000, (timeoutMs % 1000) * 1000000L};
        ssize_t n = zt_mq_timedreceive2(m_rx.mqd, (char *)r.data(), r.size(), nullptr, &t);
        r.resize(std::max<ssize_t>(n, 0));
        return r;
    }
    void serve(std::string text, uint32_t padding = 0, uint32_t claimExtra = 0)
    {
        m_thread = std::thread([=] {
            m_request = receive(10000);
            m_posted = !m_request.empty() && answer(text, padding, claimExtra);
        });
    }
    // Waits for serve() to finish; true when its answer was posted.
    bool posted()
    {
        if (m_thread.joinable())
            m_thread.join();
        return m_posted;
    }
    Bytes m_request;

private:
    bool answer(const std::string &text, uint32_t padding, uint32_t claimExtra)
    {
        const Bytes &request = m_request;
        const std::string to = Field(request.data(), TLV_SRC);
        uint8_t msg[2 * ZTMSG_MAX] = {};
        uint32_t len = sntlv_msg_init(msg, ZTMSG_MAX, uint8_t(request[3] + 1));
        const std::pair<int, std::string> elements[] = {
            {TLV_CMD, Field(request.data(), TLV_CMD)},
            {TLV_CMDARG, Field(request.data(), TLV_CMDARG)},
            {TLV_SRC, kServer},
            {TLV_DST, to},
            {TLV_RSPARG, text},
            {TLV_END, ""}};
        for (const auto &[type, value] : elements)
            len += sntlv_add_bin(msg, ZTMSG_MAX, type, uint32_t(value.size()), value.data());
        msg[0] = uint8_t((len + claimExtra) >> 8);
        msg[1] = uint8_t(len + claimExtra);
        ztattr_t tx;
        if (ztMbox_txopen(to.c_str(), &tx) != 0)
            return false;
        bool ok = ztMbox_send(msg, len + padding, &tx) == 0;
        ztMbox_close(&tx);
        return ok;
    }
    ztattr_t m_rx;
    std::thread m_thread;
    bool m_posted = false;
};

// The answer to a request "XY" with argument "x" from kClient by kServer.
constexpr int kAnswerLength = 4 + (4 + 2) + (4 + 1) + (4 + 11) + (4 + 11) + 4;

TEST(MsgExchange, RequestGoesOutWholeAndTheAnswerComesBackInItsBuffer)
{
    Peer peer;
    peer.serve("pong");
    Request r("JS", "ping");
    int rc = ztmsg_send_timedreceive(&r.io, kClient, "/zt_gap_dst", kServer, 0);
    EXPECT_TRUE(peer.posted());
    EXPECT_EQ(std::string(peer.m_request.begin(), peer.m_request.end()),
              std::string("\0\x34\0\x10\0\0\2AJS\0\0\4Bping\0\0\x0b"
                          "D/zt_gap_cli\0\0\x0b"
                          "C/zt_gap_dst\0\0\0\xEE",
                          52));  // sent via the server
    EXPECT_EQ(rc, 60);
    EXPECT_TRUE(r.io.len == 60 && r.bytes[3] == 17 && r.answer() == "pong" &&
                !QueueExists(kClient));
    r.io.size = 59;  // an answer argument past the buffer is none
    EXPECT_EQ(r.answer(), "-");
}

TEST(MsgExchange, MissingPeerFailsAtOnceKeepingTheRequest)
{
    Request asked("MD");
    const auto start = Clock::now();
    EXPECT_EQ(ZT_ERR_MQ_FAIL,
              ztmsg_send_timedreceive(&asked.io, kClient, "/zt_gap_nobody", nullptr, 0));
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_EQ(UINT32_MAX, asked.io.len);
    EXPECT_EQ(0, tlv_validate(asked.bytes.data()));
}

// Answers that fit a caller buffer smaller than the largest message are
// taken; one longer than the buffer cannot be posted into its reply mailbox,
// so the caller sees none after the time-out. An answer is taken by its declared length, never
// beyond what arrived: padding behind it is ignored, a header claiming bytes
// that never came is refused.
TEST(ExchangeGaps, AnswerIsTakenByItsDeclaredLengthWhenItFitsTheCallersBuffer)
{
    const int fits = kAnswerLength + 10;  // "pong:x"
    const struct {
        std::string text;
        uint32_t bufferSize, padding, claimExtra;
        bool posted;
        int rc;
    } cases[] = {{"pong:x", 128, 0, 0, true, fits},
                 {std::string(200, 'y'), 128, 0, 0, false, ZT_ERR},
                 {"pong:x", ZTMSG_MAX, 40, 0, true, fits},
                 {"pong:x", ZTMSG_MAX, 0, 8, true, ZT_ERR_INVALID_PARAM}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.substr(0, 8) + " " + std::to_string(c.bufferSize));
        Peer peer;
        peer.serve(c.text, c.padding, c.claimExtra);
        Request b("SB", "x", c.bufferSize);
        g_timedreceive = 1;
        const auto start = Clock::now();
        EXPECT_EQ(c.rc, ztmsg_send_timedreceive(&b.io, kClient, kServer, nullptr, 0));
        EXPECT_TRUE(c.rc != ZT_ERR || (MsSince(start) >= 995 && MsSince(start) < 4000));
        g_timedreceive = 10;
        EXPECT_EQ(c.posted, peer.posted());
        if (c.claimExtra == 0) {  // what arrived, or nothing
            EXPECT_EQ(c.rc == fits ? uint32_t(fits) : UINT32_MAX, b.io.len);
            EXPECT_EQ(c.rc == fits ? "pong:x" : "-", b.answer());
        }
        EXPECT_FALSE(QueueExists(kClient));
    }
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
    Request b("SF");
    EXPECT_EQ(0, ztmsg_send(&b.io, kClient, "/zt_gap_tiny", nullptr, 0));
    struct mq_attr after = {};
    mq_getattr(tiny, &after);
    EXPECT_EQ(0, after.mq_curmsgs);
    mq_close(tiny);
    mq_unlink("/zt_gap_tiny");
}

TEST(ExchangeGaps, ByteWritersReturnTheCountAndStayInsideAShortBuffer)
{
    uint8_t buf[6] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    EXPECT_EQ(4u, snLoclItoI(buf, 4, 4, 0x01020304));  // no room for the terminator
    EXPECT_EQ(Bytes({1, 2, 3, 0, 0xAA, 0xAA}), Bytes(buf, buf + 6));
    const uint8_t src[5] = {5, 6, 7, 8, 9};
    EXPECT_EQ(0u, snLoclbin(buf, 4, 5, src));
    EXPECT_EQ(4u, snLoclbin(buf, 4, 4, src));
    EXPECT_EQ(Bytes({5, 6, 7, 8, 0xAA}), Bytes(buf, buf + 5));
}

// Mailboxes themselves: open retries and their bounds, the exclusive reply
// mailbox, the full-mailbox drop, and receives that must end on time or fail
// at once.
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
