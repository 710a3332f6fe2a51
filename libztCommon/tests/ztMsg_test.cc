// Request/answer exchanges over real POSIX queues: between two processes,
// two exchanges competing for one reply mailbox, time-outs, missing peers
// and invalid answers. Runs in its own IPC namespace.
#include "ztMsg.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "utils.h"
#include "ztErrno.h"
#include "ztTestChild.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char *kServer = "/zt_msg_srv";
constexpr const char *kClient = "/zt_msg_cli";

long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool QueueExists(const char *name)
{
    mqd_t q = mq_open(name, O_RDONLY);
    if (q == (mqd_t)-1)
        return false;
    mq_close(q);
    return true;
}

std::string Field(const uint8_t *msg, int type)
{
    char value[ZTMSG_MAX];
    uint32_t n = sntlv_find(value, sizeof value, type, msg);
    return std::string(value, n);
}

// A message buffer with its own storage.
struct Buffer {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(ZTMSG_MAX);
    ztiobuf_t io{ZTMSG_MAX, 0, bytes.data()};
};

// The peer side: the server mailbox, received requests and their answers.
class Server {
public:
    Server() { ztMbox_rxopen(kServer, 4, &rx_); }
    ~Server()
    {
        ztMbox_close(&rx_);
        ztMbox_unlink(kServer);
    }

    // Receives one request within timeoutMs into request; false when none came.
    bool Receive(std::vector<uint8_t> &request, int timeoutMs)
    {
        request.assign(ZTMSG_MAX, 0);
        struct timespec t = {timeoutMs / 1000, (timeoutMs % 1000) * 1000000L};
        ssize_t n = zt_mq_timedreceive2(rx_.mqd, reinterpret_cast<char *>(request.data()),
                                        request.size(), nullptr, &t);
        if (n < 0)
            return false;
        request.resize(static_cast<size_t>(n));
        return true;
    }

    // Answers request on the mailbox its source names, with "pong:" and the
    // request's argument as the answer argument.
    static void Answer(const std::vector<uint8_t> &request)
    {
        uint8_t msg[ZTMSG_MAX];
        std::string cmd = Field(request.data(), TLV_CMD), arg = Field(request.data(), TLV_CMDARG);
        std::string to = Field(request.data(), TLV_SRC);
        const std::pair<int, std::string> elements[] = {
            {TLV_CMD, cmd}, {TLV_CMDARG, arg},           {TLV_SRC, kServer},
            {TLV_DST, to},  {TLV_RSPARG, "pong:" + arg}, {TLV_END, ""}};
        uint32_t len = sntlv_msg_init(msg, sizeof msg, static_cast<uint8_t>(request[3] + 1));
        for (const auto &[type, value] : elements)
            len += sntlv_add_bin(msg, sizeof msg, type, static_cast<uint32_t>(value.size()),
                                 value.data());
        SendRaw(to, msg, len);
    }

    static void SendRaw(const std::string &to, const void *data, uint32_t len)
    {
        ztattr_t tx;
        if (ztMbox_txopen(to.c_str(), &tx) != 0)
            return;
        ztMbox_send(data, len, &tx);
        ztMbox_close(&tx);
    }

private:
    ztattr_t rx_;
};

std::string Response(const ztiobuf_t &io)
{
    const uint8_t *data = nullptr;
    uint32_t length = 0;
    if (ztmsg_response(&io, &data, &length) == nullptr)
        return "<none>";
    return std::string(reinterpret_cast<const char *>(data), length);
}

TEST(MsgExchange, RequestAndAnswerBetweenTwoProcesses)
{
    Server server;
    std::vector<uint8_t> request;
    bool received = false;
    std::thread peer([&] {
        received = server.Receive(request, 10000);
        if (received)
            Server::Answer(request);
    });
    // The asking side is another process; it reports what it got back.
    auto child = zt_test::RunInChild([] {
        Buffer b;
        int added = ztmsg_build(&b.io, "JS", "ping", 4, 16);
        int rc = ztmsg_send_timedreceive(&b.io, kClient, "/zt_msg_named_dst", kServer, 1);
        printf("added=%d rc=%d len=%d cat=%d rsp=%s reply_mailbox_left=%d\n", added, rc,
               (int)b.io.len, b.bytes[3], Response(b.io).c_str(), QueueExists(kClient));
    });
    peer.join();
    ASSERT_TRUE(child.exitedWith(0)) << child.status;
    ASSERT_TRUE(received);

    EXPECT_EQ(16, request[3]);
    EXPECT_EQ("JS", Field(request.data(), TLV_CMD));
    EXPECT_EQ("ping", Field(request.data(), TLV_CMDARG));
    EXPECT_EQ(kClient, Field(request.data(), TLV_SRC));
    EXPECT_EQ("/zt_msg_named_dst", Field(request.data(), TLV_DST))
        << "sent via the server, still names its destination";
    EXPECT_EQ(0, tlv_validate(request.data()));
    EXPECT_EQ(static_cast<int>(request.size()), sntlv_msg_len(request.data()));

    const int answerLen = 4 + (4 + 2) + (4 + 4) + (4 + 11) + (4 + 11) + (4 + 9) + 4;
    EXPECT_EQ("added=8 rc=" + std::to_string(answerLen) + " len=" + std::to_string(answerLen) +
                  " cat=17 rsp=pong:ping reply_mailbox_left=0\n",
              child.out);
}

TEST(MsgExchange, SecondExchangeOnTheSameReplyMailboxWaitsForTheFirst)
{
    Server server;
    std::mutex m;
    std::condition_variable cv;
    bool firstArrived = false, secondStarted = false;
    bool quiet = false, secondArrived = false;

    std::thread peer([&] {
        std::vector<uint8_t> first, second;
        if (!server.Receive(first, 10000))
            return;
        {
            std::unique_lock<std::mutex> lock(m);
            firstArrived = true;
            cv.notify_all();
            cv.wait_for(lock, std::chrono::seconds(10), [&] { return secondStarted; });
        }
        // While the first exchange holds the reply mailbox, the second cannot
        // post its request.
        std::vector<uint8_t> early;
        quiet = !server.Receive(early, 300);
        Server::Answer(first);
        if (!quiet)
            Server::Answer(early);
        secondArrived = server.Receive(second, 5000);
        if (secondArrived)
            Server::Answer(second);
    });

    auto ask = [](const char *arg, std::string *rsp, int *rc) {
        Buffer b;
        ztmsg_build(&b.io, "EX", arg, static_cast<uint32_t>(strlen(arg)), 16);
        *rc = ztmsg_send_timedreceive(&b.io, kClient, kServer, nullptr, 0);
        *rsp = Response(b.io);
    };
    std::string rsp1, rsp2;
    int rc1 = 0, rc2 = 0;
    std::thread first(ask, "first", &rsp1, &rc1);
    {
        std::unique_lock<std::mutex> lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return firstArrived; }));
    }
    std::thread second(ask, "second", &rsp2, &rc2);
    {
        std::lock_guard<std::mutex> lock(m);
        secondStarted = true;
        cv.notify_all();
    }
    first.join();
    second.join();
    peer.join();

    EXPECT_TRUE(quiet) << "second request posted while the first exchange held the reply mailbox";
    EXPECT_TRUE(secondArrived);
    EXPECT_GT(rc1, 0);
    EXPECT_GT(rc2, 0);
    EXPECT_EQ("pong:first", rsp1);
    EXPECT_EQ("pong:second", rsp2);
    EXPECT_FALSE(QueueExists(kClient));
}

TEST(MsgExchange, TimeOutLeavesTheRequestInTheBufferAndRemovesTheReplyMailbox)
{
    Server server;
    Buffer b;
    ztmsg_build(&b.io, "TO", "x", 1, 16);
    g_timedreceive = 1;
    auto start = Clock::now();
    int rc = ztmsg_send_timedreceive(&b.io, kClient, kServer, nullptr, 0);
    long ms = MsSince(start);
    g_timedreceive = 10;

    EXPECT_EQ(-1, rc);
    EXPECT_EQ(UINT32_MAX, b.io.len);
    EXPECT_GE(ms, 995);
    EXPECT_LT(ms, 4000);
    EXPECT_FALSE(QueueExists(kClient));
    // The buffer still holds exactly the request that went out.
    std::vector<uint8_t> sent;
    ASSERT_TRUE(server.Receive(sent, 0));
    EXPECT_EQ(
        std::vector<uint8_t>(b.bytes.begin(), b.bytes.begin() + static_cast<long>(sent.size())),
        sent);
    EXPECT_EQ(0, tlv_validate(b.bytes.data()));
}

TEST(MsgExchange, SendPostsToTheDestinationAndAMissingOneFailsAtOnceRemovingTheReplyMailbox)
{
    Server server;
    Buffer b;
    ztmsg_build(&b.io, "AB", "", 0, 20);
    EXPECT_EQ(0, ztmsg_send(&b.io, kClient, kServer, nullptr, 0));
    std::vector<uint8_t> request;
    ASSERT_TRUE(server.Receive(request, 0));
    EXPECT_EQ(std::vector<uint8_t>(b.bytes.begin(), b.bytes.begin() + b.io.len), request);
    EXPECT_EQ(kServer, Field(request.data(), TLV_DST));

    Buffer lost;
    ztmsg_build(&lost.io, "AB", "", 0, 20);
    EXPECT_EQ(ZT_ERR_MQ_FAIL, ztmsg_send(&lost.io, kClient, "/zt_msg_nobody", nullptr, 0));

    Buffer asked;
    ztmsg_build(&asked.io, "MD", "x", 1, 16);
    auto start = Clock::now();
    EXPECT_EQ(ZT_ERR_MQ_FAIL,
              ztmsg_send_timedreceive(&asked.io, kClient, "/zt_msg_nobody", nullptr, 0));
    EXPECT_LT(MsSince(start), 1000)
        << "must not wait g_timedreceive for an answer that cannot come";
    EXPECT_EQ(UINT32_MAX, asked.io.len);
    EXPECT_FALSE(QueueExists(kClient));
}

TEST(MsgExchange, InvalidAnswerIsReportedWithItsLength)
{
    Server server;
    std::thread peer([&] {
        std::vector<uint8_t> request;
        if (server.Receive(request, 10000))
            Server::SendRaw(Field(request.data(), TLV_SRC), "garbage", 7);
    });
    Buffer b;
    ztmsg_build(&b.io, "IA", "x", 1, 16);
    int rc = ztmsg_send_timedreceive(&b.io, kClient, kServer, nullptr, 0);
    peer.join();
    EXPECT_EQ(ZT_ERR_INVALID_PARAM, rc);
    EXPECT_EQ(7u, b.io.len);
    EXPECT_FALSE(QueueExists(kClient));
}

TEST(MsgResponse, AbsentOrUnboundedAnswerArgumentLeavesOutputsUntouched)
{
    Buffer b;
    ztmsg_build(&b.io, "RS", "arg", 3, 17);
    const uint8_t *data = reinterpret_cast<const uint8_t *>(&b);
    uint32_t length = 77;
    EXPECT_EQ(nullptr, ztmsg_response(&b.io, &data, &length));
    EXPECT_EQ(reinterpret_cast<const uint8_t *>(&b), data);
    EXPECT_EQ(77u, length);

    sntlv_add_bin(b.bytes.data(), b.io.size, TLV_RSPARG, 2, "ok");
    EXPECT_EQ(b.bytes.data() + 4 + 6 + 7 + 4, ztmsg_response(&b.io, &data, &length));
    EXPECT_EQ(2u, length);

    ztiobuf_t small{10, 0, b.bytes.data()};  // header claims more than the buffer
    data = nullptr;
    EXPECT_EQ(nullptr, ztmsg_response(&small, &data, &length));
    EXPECT_EQ(nullptr, data);
}

TEST(MsgTrace, ChannelMaskSelectsWhichMessagesAreDumped)
{
    auto child = zt_test::RunInChild([] {
        Server server;
        g_debug_level = ZT_DBG_TO_STDOUT | ZTMSG_TRACE_BIT | 32;
        g_debug = 0x1;  // channel 1 only
        for (int trace : {1, 2, 0, 29, -1, 30}) {
            Buffer b;
            ztmsg_build(&b.io, "TR", "x", 1, 16);
            ztmsg_send(&b.io, kClient, kServer, nullptr, trace);
        }
    });
    ASSERT_TRUE(child.exitedWith(0)) << child.status;
    EXPECT_NE(std::string::npos, child.out.find(">CTLD       00000000  00310010")) << child.out;
    EXPECT_EQ(std::string::npos, child.out.find("CTLD>"));
    EXPECT_EQ(1u, [&] {
        size_t count = 0;
        for (size_t at = 0; (at = child.out.find("00000000  ", at)) != std::string::npos; at++)
            count++;
        return count;
    }());
}

}  // namespace
