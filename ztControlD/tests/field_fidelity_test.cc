// Messages and arguments met in the field at the edges of what the daemon
// accepts: command elements of the wrong width, requests posted as a whole
// padded buffer, empty file names for the deletes, a preset list request
// that parses only half-way; malformed and misdirected messages and
// requesters that do not read their answers; and the daemon binary's
// exported names.
#include <gtest/gtest.h>
#include <stdio.h>

#include <chrono>
#include <set>
#include <string>

#include "DaemonPeerTest.h"
#include "HandlerFixture.h"
#include "ztErrno.h"
#include "ztFirmwarePeer.h"
#include "ztTlv.h"
#include "ztcontrol_commands.h"

using namespace std::chrono_literals;
using zttest::Bytes;
using zttest::Requester;
using zttest::textArg;
using zttest::tlvMessage;

namespace {

constexpr uint32_t kProbeCommand = 1;  // answered as unsupported
constexpr int32_t kNotSupported = -104;

// A client request whose command element holds exactly `command`.
Bytes requestWithCommandBytes(const Bytes &command, const std::string &replyQueue)
{
    return tlvMessage(CAT_CLIENT_CMD,
                      {{TLV_CMD, command}, {TLV_SRC, textArg(replyQueue)}, {TLV_END, {}}});
}

class FieldMessages : public zttest::DaemonPeerTest {
protected:
    // Sends `message` (naming m_silent as its reply queue), then a probe from
    // the main requester. The daemon handles its queue in order, so once the
    // probe is answered, an answer to `message` would already be waiting.
    void expectNotAnswered(const Bytes &message, const std::string &what)
    {
        ASSERT_TRUE(zttest::sendRaw(message.data(), message.size())) << what;
        auto probe = m_daemon.requester().call(kProbeCommand);
        ASSERT_TRUE(probe) << what << ": daemon stopped answering\n" << m_daemon.log();
        EXPECT_EQ(probe->result, kNotSupported) << what;
        EXPECT_FALSE(m_silent.waitReply(0ms)) << what << " was answered";
    }

    Requester m_silent{"", 10};
};

TEST_F(FieldMessages, CommandElementThatIsNotFourBytesIsDroppedUnanswered)
{
    ASSERT_TRUE(m_silent.ok());
    const std::string to = m_silent.queueName();
    const size_t mark = m_daemon.logMark();
    // Read as a number these would be commands 0 (register a queue), 100
    // (busy status), 101 (stop the daemon), 1 and 1.
    for (const Bytes &command :
         {Bytes{}, Bytes{100}, Bytes{101}, Bytes{101, 0}, Bytes{1, 0, 0}, Bytes{1, 0, 0, 0, 0}})
        expectNotAnswered(requestWithCommandBytes(command, to),
                          std::to_string(command.size()) + "-byte command");
    EXPECT_TRUE(m_daemon.waitForLog("Command element of 0 bytes is not a 4-byte command", 2s, mark))
        << m_daemon.log().substr(mark);

    // The same request with a 4-byte command is answered.
    const Bytes four = requestWithCommandBytes({1, 0, 0, 0}, to);
    ASSERT_TRUE(zttest::sendRaw(four.data(), four.size()));
    auto reply = m_silent.waitReply(5s);
    ASSERT_TRUE(reply) << m_daemon.log();
    EXPECT_EQ(reply->result, kNotSupported);
}

TEST_F(FieldMessages, PaddedRequestIsAnsweredAsItsDeclaredMessage)
{
    ASSERT_TRUE(m_silent.ok());
    const Bytes plain =
        zttest::buildClientRequest({kProbeCommand, Bytes{1, 2, 3}, 1}, m_silent.queueName());
    ASSERT_TRUE(zttest::sendRaw(plain.data(), plain.size()));
    auto plainReply = m_silent.waitReply(5s);
    ASSERT_TRUE(plainReply) << m_daemon.log();

    // The client posts its whole 1500-byte buffer, the message at its start.
    Bytes padded = plain;
    padded.resize(ZTMSG_MAX, 0x5A);
    ASSERT_TRUE(zttest::sendRaw(padded.data(), padded.size()));
    auto paddedReply = m_silent.waitReply(5s);
    ASSERT_TRUE(paddedReply) << "padded request not answered\n" << m_daemon.log();
    EXPECT_EQ(paddedReply->raw, plainReply->raw);
}

using FieldHandlers = zttest::HandlerFixture;

TEST_F(FieldHandlers, EmptyFileNameIsPassedToTheLibraryAndItsAnswerReturned)
{
    EXPECT_EQ(run(ZTCONTROL_DELETE, Bytes{0}).code, 0);
    EXPECT_EQ(sentTyped("ztc_storage_delete_file"), (Bytes{0, 0}));  // a range of 0 bytes

    peer().scriptTyped("ztc_storage_delete_group", PeerAnswer::Status(-7));
    EXPECT_EQ(run(ZTCONTROL_DELETE_GROUP, Bytes{0, 'x'}).code, -7);
    EXPECT_EQ(sentTyped("ztc_storage_delete_group"), (Bytes{0, 0}));
}

TEST_F(FieldHandlers, PresetListRequestThatFailsToParseAfterItsGroupIsRefused)
{
    // group_id 5, then field 2 without its value.
    EXPECT_EQ(run(ZTCONTROL_PRESET_LIST_IDS, Bytes{0x08, 0x05, 0x10}).code, ZT_ERR_INVALID_PARAM);
    EXPECT_TRUE(sent().empty());
}

// Names listed by `nm` with `flags` for `file`: the last word of each line.
std::set<std::string> symbols(const std::string &flags, const std::string &file)
{
    std::set<std::string> names;
    const std::string command = "nm " + flags + " '" + file + "' 2>/dev/null";
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return names;
    char line[512];
    while (fgets(line, sizeof line, pipe)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        const size_t space = text.rfind(' ');
        if (space != std::string::npos && text.back() != ':')
            names.insert(text.substr(space + 1));
    }
    pclose(pipe);
    return names;
}

TEST(DaemonBinary, ExportsEveryNameOfTheCommonLibrary)
{
    const std::string daemon = zttest::DaemonHarness::binDir() + "/ztControlD";
    const auto exported = symbols("-D --defined-only", daemon);
    ASSERT_FALSE(exported.empty()) << "nm -D found nothing in " << daemon;
    const auto common = symbols("-g --defined-only", ZT_COMMON_ARCHIVE);
    ASSERT_GT(common.size(), 20u) << ZT_COMMON_ARCHIVE;
    for (const char *name : {"ztmsg_send", "ztmsg_send_timedreceive", "g_debug", "ztMbox_send"})
        EXPECT_TRUE(common.count(name)) << name << " is not in " << ZT_COMMON_ARCHIVE;
    for (const auto &name : common)
        EXPECT_TRUE(exported.count(name)) << name << " is not exported by the daemon";
}

// Messages the daemon must drop without an answer and without reading past
// what it received, and requesters that do not read their answers. Each bad
// message is followed by a probe from the same requester: the daemon handles
// its queue in order, so when every answer is a probe's, no bad message was
// answered.
class ServerHostileInput : public zttest::DaemonPeerTest {};

TEST_F(ServerHostileInput, MalformedMisdirectedAndUnanswerableMessagesGetNoAnswer)
{
    const std::string q = m_daemon.requester().queueName();
    const Bytes cmd = zttest::u32Arg(kProbeCommand), end;
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
        EXPECT_EQ(result(kProbeCommand), ZT_ERR_NOT_SUPPORTED)
            << "after message " << &message - cases;
    }
    EXPECT_FALSE(m_daemon.requester().waitReply(200ms)) << "a dropped message was answered";
}

TEST_F(ServerHostileInput, FullRequesterQueueLosesTheAnswerWithoutStallingTheWorker)
{
    zttest::Requester stalled("", 1);
    ASSERT_TRUE(stalled.call(kProbeCommand)) << "the first answer fills the one-slot queue";
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(stalled.send({kProbeCommand, {}, {}}));  // their answers do not fit
    const auto sentAt = std::chrono::steady_clock::now();
    EXPECT_EQ(result(kProbeCommand, {}, {}, 3s), ZT_ERR_NOT_SUPPORTED)
        << "someone else is served at once";
    EXPECT_LT(std::chrono::steady_clock::now() - sentAt, 2s);
}

}  // namespace
