// The command server's answer path and stop handling inside the test
// process, over real queues with the scripted firmware peer: an answer past
// the message limit, and a shutdown that comes before the worker
// thread has reached its loop. Answers without a payload (a refusal, a quiet
// result) are checked through the daemon: server_events_test and the
// golden sessions.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "ClientMessages.h"
#include "ztErrno.h"
#include "ztFirmwarePeer.h"
#include "ztcontrol_commands.h"
#include "ztcontrol_if_server.h"

using namespace std::chrono_literals;

namespace {

class ServerResponse : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_peer.ok());
        ASSERT_TRUE(m_requester.ok());
        m_server = ZtcontrolCommandServer::getInstance();
        ASSERT_EQ(m_server->interfaceOpen(), 0);
        m_source.setData(m_requester.queueName().data(),
                         static_cast<uint16_t>(m_requester.queueName().size()));
        m_request.addElement(&m_source);
    }
    void TearDown() override
    {
        m_server->interfaceClose();
        ZtcontrolCommandServer::destroy();
    }

    std::optional<zttest::Reply> answerWith(int result, size_t payloadLength)
    {
        std::vector<uint8_t> payload(payloadLength, 0x5A);
        m_server->sendResponse(m_request, result, payload.data(),
                               static_cast<unsigned short>(payloadLength));
        return m_requester.waitReply(2s);
    }

    ZtFirmwarePeer m_peer;
    zttest::Requester m_requester;
    ZtcontrolCommandServer *m_server = nullptr;
    Msg m_request{CAT_CLIENT_CMD};
    MsgElement m_source{TLV_SRC};
};

// 4 header + 8 result + 4 payload head + 1480 + 4 end = 1500 bytes, the
// queue's message size; a longer answer becomes a plain failure, sent once.
TEST_F(ServerResponse, AnswerPastOneMessageBecomesAPlainFailure)
{
    auto reply = answerWith(0, 1481);
    ASSERT_TRUE(reply) << "no answer for a payload of 1481";
    EXPECT_EQ(reply->raw, zttest::tlvMessage(CAT_CLIENT_RSP, {{TLV_RESULT, zttest::u32Arg(ZT_ERR)},
                                                              {TLV_END, {}}}));
    EXPECT_FALSE(m_requester.waitReply(100ms)) << "more than one answer per call";
}

TEST(ServerShutdown, StopRequestedBeforeTheWorkerRunsIsNotLost)
{
    ZtFirmwarePeer peer;
    ASSERT_TRUE(peer.ok());
    for (int round = 0; round < 20; ++round) {
        ZtcontrolCommandServer *server = ZtcontrolCommandServer::getInstance();
        ASSERT_EQ(server->start(), 0);
        // shutdown() straight after start() races the worker's first steps;
        // it must return once the worker has ended, whichever came first.
        auto done = std::async(std::launch::async, [server] { return server->shutdown(); });
        if (done.wait_for(5s) != std::future_status::ready) {
            ADD_FAILURE() << "shutdown hung in round " << round;
            abort();  // the worker cannot be stopped any other way
        }
        EXPECT_EQ(done.get(), 0);
        EXPECT_FALSE(server->isRunning());
        ZtcontrolCommandServer::destroy();
        EXPECT_FALSE(zttest::queueExists("/to_ztCtlD"));
    }
}

}  // namespace
