// Messages and arguments met in the field at the edges of what the daemon
// accepts: command elements of the wrong width, requests posted as a whole
// padded buffer, empty file names for the deletes, a preset list request
// that parses only half-way; and the daemon binary's exported names.
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

namespace {

constexpr uint32_t kProbeCommand = 1;  // answered as unsupported
constexpr int32_t kNotSupported = -104;

// A client request whose command element holds exactly `command`.
Bytes requestWithCommandBytes(const Bytes &command, const std::string &replyQueue)
{
    return zttest::tlvMessage(
        CAT_CLIENT_CMD,
        {{TLV_CMD, command}, {TLV_SRC, zttest::textArg(replyQueue)}, {TLV_END, {}}});
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

}  // namespace
