// Request/answer exchanges over real POSIX queues: the answer, a busy reply
// mailbox, time-outs, missing peers and invalid answers. Runs in its own IPC
// namespace.
#include "ztMsg.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "utils.h"
#include "ztErrno.h"
#include "ztTestChild.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;
constexpr const char *kServer = "/zt_msg_srv";
constexpr const char *kClient = "/zt_msg_cli";

long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool QueueExists(const char *name)
{
    mqd_t q = mq_open(name, O_RDONLY);
    return q != (mqd_t)-1 && mq_close(q) == 0;
}

// A request in a buffer of its own.
struct Request {
    Bytes bytes = Bytes(ZTMSG_MAX);
    ztiobuf_t io{ZTMSG_MAX, 0, bytes.data()};
    Request(const char *command, const std::string &arg)
    {
        ztmsg_build(&io, command, arg.data(), uint32_t(arg.size()), 16);
    }
    std::string Answer() const
    {
        const uint8_t *data = nullptr;
        uint32_t length = 0;
        return ztmsg_response(&io, &data, &length) ? std::string((const char *)data, length) : "-";
    }
};

// The peer's mailbox. Receive takes one request within timeoutMs and, given
// rsp, answers on the mailbox the request's source names: with the request
// as an answer (category + 1) with rsp as its argument, or with rsp alone.
struct Server {
    ztattr_t rx;
    Server() { ztMbox_rxopen(kServer, 4, &rx); }
    ~Server()
    {
        ztMbox_close(&rx);
        ztMbox_unlink(kServer);
    }
    Bytes Receive(int timeoutMs, const std::string &rsp = "", bool raw = false)
    {
        Bytes r(ZTMSG_MAX);
        struct timespec t = {timeoutMs / 1000, (timeoutMs % 1000) * 1000000L};
        ssize_t n = zt_mq_timedreceive2(rx.mqd, (char *)r.data(), r.size(), nullptr, &t);
        Bytes request(r.begin(), r.begin() + std::max<ssize_t>(n, 0));
        char src[64] = "";
        ztattr_t tx;
        if (rsp.empty() || sntlv_find(src, sizeof src, TLV_SRC, r.data()) == 0)
            return request;
        r[3]++;
        sntlv_remove(r.data(), ZTMSG_MAX, TLV_END);
        sntlv_add_bin(r.data(), ZTMSG_MAX, TLV_RSPARG, uint32_t(rsp.size()), rsp.data());
        sntlv_add_bin(r.data(), ZTMSG_MAX, TLV_END, 0, nullptr);
        if (ztMbox_txopen(src, &tx) == 0)
            ztMbox_send(raw ? (const void *)rsp.data() : r.data(),
                        raw ? rsp.size() : sntlv_msg_len(r.data()), &tx);
        ztMbox_close(&tx);
        return request;
    }
};

TEST(MsgExchange, RequestGoesOutWholeAndTheAnswerComesBackInItsBuffer)
{
    Server server;
    Bytes request;
    std::thread peer([&] { request = server.Receive(10000, "pong"); });
    Request r("JS", "ping");
    int rc = ztmsg_send_timedreceive(&r.io, kClient, "/zt_msg_named_dst", kServer, 0);
    peer.join();
    EXPECT_EQ(std::string(request.begin(), request.end()),
              std::string("\0\x3a\0\x10\0\0\2AJS\0\0\4Bping\0\0\x0b"
                          "D/zt_msg_cli\0\0\x11"
                          "C/zt_msg_named_dst\0\0\0\xEE",
                          58));  // sent via the server
    EXPECT_EQ(rc, 66);
    EXPECT_TRUE(r.io.len == 66 && r.bytes[3] == 17 && r.Answer() == "pong" &&
                !QueueExists(kClient));

    Request plain("RS", "arg");  // no answer argument, or one past the buffer
    const uint8_t *data = nullptr;
    uint32_t length = 77;
    EXPECT_TRUE(ztmsg_response(&plain.io, &data, &length) == nullptr && !data && length == 77);
    r.io.size = 65;
    EXPECT_EQ(r.Answer(), "-");
}

TEST(MsgExchange, ExchangeWaitsWhileItsReplyMailboxIsInUse)
{
    Server server;
    ztattr_t holder;
    ASSERT_EQ(0, ztMbox_rxopen_shared(kClient, 2, &holder));
    int rc = 0;
    std::string answer;
    std::thread asker([&] {
        Request r("EX", "second");
        rc = ztmsg_send_timedreceive(&r.io, kClient, kServer, nullptr, 0);
        answer = r.Answer();
    });
    EXPECT_TRUE(server.Receive(300).empty()) << "posted while the reply mailbox was held";
    ztMbox_close(&holder);
    ztMbox_unlink(kClient);
    EXPECT_FALSE(server.Receive(5000, "ok").empty());
    asker.join();
    EXPECT_TRUE(rc > 0 && answer == "ok" && !QueueExists(kClient)) << rc << answer;
}

TEST(MsgExchange, TimeOutMissingPeerAndInvalidAnswerFailKeepingTheRequest)
{
    Server server;
    Request r("TO", "x"), posted("AB", ""), lost("AB", ""), asked("MD", "x");
    g_timedreceive = 1;
    auto start = Clock::now();
    EXPECT_EQ(ZT_ERR, ztmsg_send_timedreceive(&r.io, kClient, kServer, nullptr, 0));
    EXPECT_TRUE(MsSince(start) >= 995 && MsSince(start) < 4000) << MsSince(start);
    g_timedreceive = 10;
    EXPECT_EQ(UINT32_MAX, r.io.len);
    Bytes sent = server.Receive(0);
    EXPECT_EQ(Bytes(r.bytes.begin(), r.bytes.begin() + long(sent.size())), sent);
    EXPECT_EQ(0, tlv_validate(r.bytes.data()));

    EXPECT_EQ(0, ztmsg_send(&posted.io, kClient, kServer, nullptr, 0));
    EXPECT_EQ(Bytes(posted.bytes.begin(), posted.bytes.begin() + posted.io.len), server.Receive(0));
    EXPECT_EQ(ZT_ERR_MQ_FAIL, ztmsg_send(&lost.io, kClient, "/zt_msg_nobody", nullptr, 0));
    start = Clock::now();
    EXPECT_EQ(ZT_ERR_MQ_FAIL,
              ztmsg_send_timedreceive(&asked.io, kClient, "/zt_msg_nobody", nullptr, 0));
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_EQ(UINT32_MAX, asked.io.len);

    std::thread peer([&] { server.Receive(10000, "garbage", true); });
    Request invalid("IA", "x");
    EXPECT_EQ(ZT_ERR_INVALID_PARAM,
              ztmsg_send_timedreceive(&invalid.io, kClient, kServer, nullptr, 0));
    peer.join();
    EXPECT_EQ(7u, invalid.io.len);
    EXPECT_FALSE(QueueExists(kClient));
}

TEST(MsgTrace, ChannelMaskSelectsWhichMessagesAreDumped)
{
    auto child = zt_test::RunInChild([] {
        Server server;
        g_debug_level = ZT_DBG_TO_STDOUT | ZTMSG_TRACE_BIT | 32;
        g_debug = 0x1;  // channel 1 only
        for (int trace : {1, 2, 0, 29, -1, 30}) {
            Request r("TR", "x");
            ztmsg_send(&r.io, kClient, kServer, nullptr, trace);
        }
    });
    EXPECT_NE(std::string::npos, child.out.find(">CTLD       00000000  00310010")) << child.out;
    EXPECT_EQ(child.out.find("00000000  "), child.out.rfind("00000000  ")) << "one dump only";
}

}  // namespace
