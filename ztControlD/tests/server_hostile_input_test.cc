// The real daemon fed messages it must drop without an answer and without
// reading past what it received, and requesters that do not read their
// answers. Each bad message is followed by a good request from the same
// requester: the daemon handles its queue in order, so when the next answer
// is the good request's, the bad message was answered by nothing.
#include <gtest/gtest.h>

#include <chrono>

#include "DaemonPeerTest.h"
#include "ztFirmwarePeer.h"

using namespace std::chrono_literals;
using zttest::Bytes;
using zttest::Requester;

namespace {

constexpr uint32_t kProbeCommand = 1;  // answered as unsupported
constexpr int32_t kNotSupported = -104;

void appendElement(Bytes &msg, uint8_t type, const Bytes &value)
{
    msg.push_back(0);
    msg.push_back(static_cast<uint8_t>(value.size() >> 8));
    msg.push_back(static_cast<uint8_t>(value.size()));
    msg.push_back(type);
    msg.insert(msg.end(), value.begin(), value.end());
}

void setLength(Bytes &msg, size_t length)
{
    msg[0] = static_cast<uint8_t>(length >> 8);
    msg[1] = static_cast<uint8_t>(length);
}

// A well-formed client request by hand, so single bytes can be broken.
Bytes clientRequest(uint8_t category, uint32_t command, const std::string &replyQueue,
                    bool withCommand = true, bool withSource = true)
{
    Bytes msg = {0, 0, 0, category};
    if (withCommand)
        appendElement(msg, 'A', zttest::u32Arg(command));
    if (withSource)
        appendElement(msg, 'D', zttest::textArg(replyQueue));
    appendElement(msg, 0xEE, {});
    setLength(msg, msg.size());
    return msg;
}

class ServerHostileInput : public zttest::DaemonPeerTest {
protected:
    // Sends raw bytes, then a probe; the next answer must be the probe's.
    void expectDroppedWithoutAnswer(const Bytes &message, const std::string &logLine)
    {
        const size_t mark = m_daemon.logMark();
        ASSERT_TRUE(zttest::sendRaw(message.data(), message.size()));
        auto reply = m_daemon.requester().call(kProbeCommand);
        ASSERT_TRUE(reply) << "daemon stopped answering\n" << m_daemon.log();
        EXPECT_EQ(reply->result, kNotSupported) << "the dropped message was answered";
        EXPECT_FALSE(m_daemon.requester().waitReply(200ms)) << "extra answer";
        if (!logLine.empty()) {
            EXPECT_TRUE(m_daemon.waitForLog(logLine, 2s, mark)) << m_daemon.log().substr(mark);
        }
        EXPECT_TRUE(m_daemon.isRunning());
    }

    std::string reply() { return m_daemon.requester().queueName(); }
};

TEST_F(ServerHostileInput, HeaderLengthDisagreeingWithReceivedBytesIsDropped)
{
    Bytes longer = clientRequest(20, kProbeCommand, reply());
    setLength(longer, longer.size() + 40);  // claims bytes that never arrived
    expectDroppedWithoutAnswer(longer, "header length differs from the bytes received");

    Bytes shorter = clientRequest(20, kProbeCommand, reply());
    setLength(shorter, shorter.size() - 4);  // hides the end element
    expectDroppedWithoutAnswer(shorter, "header length differs from the bytes received");

    expectDroppedWithoutAnswer(Bytes{0, 3, 0}, "shorter than its header");
}

TEST_F(ServerHostileInput, ElementRunningPastTheMessageIsDropped)
{
    Bytes msg = clientRequest(20, kProbeCommand, reply());
    // Source element's length pushed past the end of the message.
    msg[4 + 8 + 1] = 0x05;
    msg[4 + 8 + 2] = 0xDC;
    expectDroppedWithoutAnswer(msg, "element value runs past the message");

    Bytes head = clientRequest(20, kProbeCommand, reply());
    head.resize(head.size() - 2);  // end element cut inside its head
    setLength(head, head.size());
    expectDroppedWithoutAnswer(head, "element head runs past the message");

    // The same overrun on the event paths, which edit messages in place.
    Bytes suspend = {0, 0, 0, 16};
    appendElement(suspend, 'A', zttest::textArg("JS"));
    appendElement(suspend, 'D', zttest::textArg(reply()));
    suspend[4 + 6 + 2] = 0xFF;
    setLength(suspend, suspend.size());
    expectDroppedWithoutAnswer(suspend, "element value runs past the message");
}

TEST_F(ServerHostileInput, MisCategorisedAndIncompleteClientMessagesAreNotAnswered)
{
    expectDroppedWithoutAnswer(clientRequest(21, kProbeCommand, reply()),
                               "Invalid command category received: 21");
    expectDroppedWithoutAnswer(clientRequest(240, kProbeCommand, reply()),
                               "Invalid command category received: 240");
    expectDroppedWithoutAnswer(clientRequest(20, kProbeCommand, reply(), false),
                               "No command specified in message. Skipping");
    // Category 17 is for camera-state traffic only.
    Bytes response = {0, 0, 0, 17};
    appendElement(response, 'A', zttest::textArg("ZZ"));
    appendElement(response, 0xEE, {});
    setLength(response, response.size());
    expectDroppedWithoutAnswer(response, "Unexpected Response type on CSI subscribe response [ZZ]");
}

TEST_F(ServerHostileInput, RequestWithoutUsableReplyQueueIsHandledAndNotAnswered)
{
    expectDroppedWithoutAnswer(clientRequest(20, kProbeCommand, reply(), true, false),
                               "No requester SRC in the message received.");
    expectDroppedWithoutAnswer(clientRequest(20, kProbeCommand, "/zt_no_such_queue"),
                               "mq_open() failed for '/zt_no_such_queue'");
    expectDroppedWithoutAnswer(clientRequest(20, kProbeCommand, "not a queue name"),
                               "mq_open() failed for 'not a queue name'");
}

TEST_F(ServerHostileInput, FullRequesterQueueLosesTheAnswerWithoutStallingTheWorker)
{
    Requester stalled("", 1);
    ASSERT_TRUE(stalled.ok());
    ASSERT_TRUE(stalled.call(kProbeCommand)) << "first answer fills the one-slot queue";
    ASSERT_TRUE(stalled.send({kProbeCommand, {}, {}}));  // its answer does not fit
    ASSERT_TRUE(stalled.send({kProbeCommand, {}, {}}));
    ASSERT_TRUE(stalled.send({kProbeCommand, {}, {}}));

    // Someone else is still served at once.
    const auto sentAt = std::chrono::steady_clock::now();
    auto reply = m_daemon.requester().call(kProbeCommand, 3s);
    ASSERT_TRUE(reply) << m_daemon.log();
    EXPECT_LT(std::chrono::steady_clock::now() - sentAt, 2s);
    EXPECT_TRUE(m_daemon.waitForLog("mq_send() failed for '" + stalled.queueName() + "'", 2s));
}

TEST_F(ServerHostileInput, FloodOfGarbageNeverCrashesTheDaemon)
{
    // Deterministic pseudo-random lengths and bytes, with the header length
    // sometimes right so the element walk is exercised too.
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    for (int i = 0; i < 200; ++i) {
        Bytes msg(4 + next() % 120);
        for (auto &b : msg)
            b = static_cast<uint8_t>(next());
        if (i % 2 == 0)
            setLength(msg, msg.size());
        msg[3] = static_cast<uint8_t>(i % 3 == 0 ? 20 : (i % 3 == 1 ? 16 : 10));
        ASSERT_TRUE(zttest::sendRaw(msg.data(), msg.size(), 3000)) << "daemon queue stuck at " << i;
    }
    m_daemon.requester().drain();
    auto reply = m_daemon.requester().call(kProbeCommand, 10s);
    ASSERT_TRUE(reply) << m_daemon.log();
    EXPECT_EQ(reply->result, kNotSupported);
    EXPECT_TRUE(m_daemon.isRunning());
}

}  // namespace
