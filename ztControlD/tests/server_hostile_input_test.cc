// The real daemon fed messages it must drop without an answer and without
// reading past what it received, and requesters that do not read their
// answers. Each bad message is followed by a probe from the same requester:
// the daemon handles its queue in order, so when every answer is a probe's,
// no bad message was answered.
#include <gtest/gtest.h>

#include "CommandFixture.h"
#include "ztErrno.h"
#include "ztcontrol_commands.h"

using namespace std::chrono_literals;
using zttest::Bytes;
using zttest::textArg;
using zttest::tlvMessage;

namespace {

constexpr ztcontrol_command_t kProbe =
    ZTCONTROL_EVENT_FILTER_IN;  // retired: answered as unsupported

class ServerHostileInput : public zttest::DaemonPeerTest {};

TEST_F(ServerHostileInput, MalformedMisdirectedAndUnanswerableMessagesGetNoAnswer)
{
    const std::string q = m_daemon.requester().queueName();
    const Bytes cmd = zttest::u32Arg(kProbe), end;
    const Bytes good =
        tlvMessage(CAT_CLIENT_CMD, {{TLV_CMD, cmd}, {TLV_SRC, textArg(q)}, {TLV_END, end}});
    auto withLength = [](Bytes msg, size_t length) {
        msg[0] = static_cast<uint8_t>(length >> 8);
        msg[1] = static_cast<uint8_t>(length);
        return msg;
    };
    Bytes pastEnd = good;  // the source element's length runs past the message
    pastEnd[13] = 0x05;
    pastEnd[14] = 0xDC;
    const Bytes cutHead(good.begin(), good.end() - 2);  // end element cut inside its head
    // The same overrun on the event path, which edits messages in place.
    Bytes suspend = tlvMessage(CAT_SYS_CMD, {{TLV_CMD, textArg("JS")}, {TLV_SRC, textArg(q)}});
    suspend[12] = 0xFF;
    const Bytes cases[] = {
        withLength(good, good.size() + 40),  // claims more than arrived
        withLength(good, good.size() - 4),   // ends before its end element
        Bytes{0, 3, 0},                      // shorter than a header
        pastEnd,
        withLength(cutHead, cutHead.size()),
        suspend,
        tlvMessage(CAT_CLIENT_RSP, {{TLV_CMD, cmd}, {TLV_SRC, textArg(q)}, {TLV_END, end}}),
        tlvMessage(CAT_CLIENT_CMD, {{TLV_SRC, textArg(q)}, {TLV_END, end}}),  // no command
        // Category 17 is for camera-state traffic only.
        tlvMessage(CAT_SYS_RSP, {{TLV_CMD, textArg("ZZ")}, {TLV_END, end}}),
        tlvMessage(CAT_CLIENT_CMD, {{TLV_CMD, cmd}, {TLV_END, end}}),  // no reply queue
        tlvMessage(CAT_CLIENT_CMD,
                   {{TLV_CMD, cmd}, {TLV_SRC, textArg("not a queue name")}, {TLV_END, end}}),
    };
    for (const Bytes &message : cases) {
        ASSERT_TRUE(zttest::sendRaw(message.data(), message.size()));
        EXPECT_EQ(result(kProbe), ZT_ERR_NOT_SUPPORTED) << "after message " << &message - cases;
    }
    EXPECT_FALSE(m_daemon.requester().waitReply(200ms)) << "a dropped message was answered";
}

TEST_F(ServerHostileInput, FullRequesterQueueLosesTheAnswerWithoutStallingTheWorker)
{
    zttest::Requester stalled("", 1);
    ASSERT_TRUE(stalled.call(kProbe)) << "the first answer fills the one-slot queue";
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(stalled.send({kProbe, {}, {}}));  // their answers do not fit
    const auto sentAt = std::chrono::steady_clock::now();
    EXPECT_EQ(result(kProbe, {}, {}, 3s), ZT_ERR_NOT_SUPPORTED) << "someone else is served at once";
    EXPECT_LT(std::chrono::steady_clock::now() - sentAt, 2s);
}

}  // namespace
