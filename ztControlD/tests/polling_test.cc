// Status and settings polling against the real daemon, the scripted firmware
// peer and real notification clients (queues and port 8081): when the camera
// is read at all, the exact bodies clients receive, full state for new
// clients, shutdown pending, a malformed status block and the corrections
// clients see.
//
// Synchronisation: the daemon polls once before every wait for a request, so
// after a change of the scripted blocks two answered requests prove that a
// whole pass has read the new blocks and delivered its messages.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "DaemonPeerTest.h"
#include "camera_status.h"
#include "ztErrno.h"
#include "ztcontrol_commands.h"
#include "ztcontrol_remote_ops.h"

namespace {

using namespace std::chrono_literals;
using zttest::Bytes;
using zttest::QueueNotifyReader;
using zttest::TcpNotifyClient;

// Retired: answered as unsupported, touches nothing.
constexpr ztcontrol_command_t kProbe = ZTCONTROL_EVENT_FILTER_IN;
constexpr uint8_t kModel = 57;
const std::string kShutdownText = "{\"state\":{\n        \"shutdown_pending\":true\n    }\n}";

// The two firmware blocks and the lens bytes the daemon adds.
struct Camera {
    all_status_settings_t block{};
    uint8_t &s(size_t n) { return block.status.raw[n]; }
    uint8_t &t(size_t n) { return block.settings.raw[n]; }
    void s32(size_t n, uint32_t v)
    {
        for (size_t i = 0; i < 4; ++i)
            block.status.raw[n + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    Bytes status() const
    {
        return Bytes(block.status.raw, block.status.raw + CAMERA_STATUS_BLOCK_SIZE);
    }
    Bytes settings() const
    {
        return Bytes(block.settings.raw, block.settings.raw + CAMERA_SETTINGS_BLOCK_SIZE);
    }
    // The full-state text of this block as the library writes it.
    std::string fullState() const
    {
        std::ostringstream out;
        out << '{';
        camera_status_serialize_status_to_json(out, &block.status, kModel);
        out << ",\n";
        camera_settings_serialize_to_json(out, &block.settings, &block.status, &block.system,
                                          kModel);
        out << '}';
        return out.str();
    }
};

bool isSettingsRead(const PeerRequest &r)
{
    return r.isRemote(kSetupCategory, kAllSettingsGet);
}
bool isBlockRead(const PeerRequest &r)
{
    return r.isRemote(kSystemCategory, kAllStatusGet) || isSettingsRead(r);
}
class Polling : public zttest::DaemonPeerTest {
protected:
    Polling() : DaemonPeerTest(kStartInBody)
    {
        m_peer.setCsiItem(1, kModel);
        m_peer.setCsiItem(123, 0x200);  // debug log level
        serve();
    }

    // Starts the daemon and waits until it read its status variables.
    void start()
    {
        startDaemon();
        ASSERT_TRUE(m_daemon.waitForLog("Initializing status variables", 10s)) << m_daemon.log();
        ASSERT_EQ(result(kProbe), ZT_ERR_NOT_SUPPORTED);
    }
    // Scripts the blocks the peer answers.
    void serve()
    {
        m_peer.scriptRemote(kSystemCategory, kAllStatusGet, PeerAnswer::Bytes(m_camera.status()));
        m_peer.scriptRemote(kSetupCategory, kAllSettingsGet,
                            PeerAnswer::Bytes(m_camera.settings()));
    }
    // Returns once a whole poll pass has run after the call.
    void settle()
    {
        for (int i = 0; i < 2; ++i)
            ASSERT_EQ(result(kProbe), ZT_ERR_NOT_SUPPORTED) << m_daemon.log();
    }
    bool registerQueue(QueueNotifyReader &reader, bool reg = true)
    {
        return result(ZTCONTROL_EVENT_REGISTER_MQUEUE, reader.registerArg(reg)) == 0;
    }
    bool push(bool on)
    {
        return result(ZTCONTROL_PUSH_NOTIFICATIONS,
                      zttest::textArg(on ? "status=1" : "status=0")) == 0;
    }
    // Connects a socket client and waits until the daemon counts `total`.
    bool connect(TcpNotifyClient &client, int total)
    {
        return client.connect(5s) &&
               m_daemon.waitForLog(
                   "Total PUSH_NOTIFICATION clients connected:" + std::to_string(total), 5s);
    }
    std::string next(QueueNotifyReader &reader)
    {
        auto event = reader.receive(10s);
        if (!event)
            return "<nothing>";
        EXPECT_EQ(event->payload.size(), event->payloadText().size() + 1) << "text and its NUL";
        return event->payloadText();
    }
    std::string next(TcpNotifyClient &client)
    {
        auto frame = client.readFrame(10s);
        if (!frame)
            return "<nothing: " + client.lastError() + ">";
        EXPECT_EQ(frame->declaredLength, frame->body.size() + 1) << "the length counts the NUL";
        return frame->body;
    }

    Camera m_camera;
};

TEST_F(Polling, CameraIsReadOnlyForListeningClientsAndNewOnesGetTheFullStateAlone)
{
    m_camera.s(5) = 1;   // busy (status 8)
    m_camera.t(42) = 1;  // video resolution (setting 2)
    serve();
    start();
    const size_t mark = m_peer.requestCount();
    settle();
    EXPECT_EQ(countRequests(mark, isBlockRead), 0u) << "read with no client at all";
    // A socket client starts paused: still nothing is read, even though it
    // waits for its full state.
    TcpNotifyClient paused;
    ASSERT_TRUE(connect(paused, 1));
    settle();
    EXPECT_EQ(countRequests(mark, isBlockRead), 0u) << "read for a paused client";

    // A listening queue client starts the poll, and the paused socket client
    // beside it receives the same messages. The first pass differs from the
    // empty cache everywhere, yet a new client gets the full state alone.
    QueueNotifyReader reader;
    ASSERT_TRUE(registerQueue(reader));
    EXPECT_EQ(next(reader), m_camera.fullState());
    EXPECT_EQ(next(paused), m_camera.fullState());
    settle();
    EXPECT_EQ(reader.depth(), 0) << "a change message reached a new client";

    // Pausing socket clients makes them new: while the queue keeps the poll
    // running, the paused client receives the full state again, and the
    // queue client, which is not new, nothing in that pass. (Change
    // messages to clients that are not new: the golden sessions.)
    ASSERT_TRUE(push(false));
    settle();
    EXPECT_EQ(next(paused), m_camera.fullState());
    EXPECT_EQ(reader.depth(), 0);
    EXPECT_FALSE(paused.readFrame(200ms)) << "the full state was sent twice";
    paused.close();
}

TEST_F(Polling, ShutdownPendingReachesSocketOnceAndQueueEveryPass)
{
    m_peer.scriptRemote(kSystemCategory, kAllStatusGet, PeerAnswer::Bytes({2}));
    start();
    TcpNotifyClient socket;
    ASSERT_TRUE(connect(socket, 1));
    QueueNotifyReader reader;
    ASSERT_TRUE(registerQueue(reader));
    ASSERT_TRUE(push(true));

    for (int pass = 0; pass < 3; ++pass)
        EXPECT_EQ(next(reader), kShutdownText) << "pass " << pass;
    EXPECT_EQ(next(socket), kShutdownText);
    settle();
    EXPECT_FALSE(socket.readFrame(100ms)) << "shutdown pending sent twice on the socket";
    EXPECT_EQ(countRequests(0, isSettingsRead), 0u) << "settings read after the status was refused";

    // The camera answers again: the clients got a message, so they are no
    // longer new and receive changes, not the full state.
    m_camera.s(5) = 1;
    serve();
    reader.drain();
    settle();
    reader.drain();
    EXPECT_EQ(next(socket), "{\"status\":{\"8\":1}}");
    m_camera.s(5) = 0;
    serve();
    settle();
    EXPECT_EQ(next(reader), "{\"status\":{\"8\":0}}");
}

TEST_F(Polling, MalformedStatusBlockSendsNothingAndLosesNoChange)
{
    m_peer.scriptRemote(kSystemCategory, kAllStatusGet, PeerAnswer::Bytes(Bytes(393, 0)));
    start();
    QueueNotifyReader reader;
    ASSERT_TRUE(registerQueue(reader));
    settle();
    EXPECT_EQ(reader.depth(), 0) << "a message came from a 393-byte status block";
    EXPECT_EQ(countRequests(0, isSettingsRead), 0u)
        << "settings read after a malformed status block";

    // Once both blocks read well the client gets the state it missed.
    serve();
    settle();
    EXPECT_EQ(next(reader), m_camera.fullState());
}

TEST_F(Polling, ClientsSeeTheDaemonsCorrectionsOfTheBlocks)
{
    m_peer.scriptTyped("ztc_system_get_lenses", PeerAnswer::Bytes({1, 2}));
    m_peer.scriptTyped("ztc_setup_get_camera_ux_mode", PeerAnswer::Bytes({1}));
    m_peer.scriptRemote(kVideoCategory, kHorizonSupportGet, PeerAnswer::Bytes({2}));
    m_camera.s32(19, 0);       // video group
    m_camera.s32(7, 0x1234);   // its current preset
    m_camera.s32(27, 0x1234);  // the modified preset is the current one
    m_camera.s(33) = 3;        // modified
    m_camera.t(25) = 26;       // a multi-shot flat mode
    m_camera.t(158) = 9;       // multi-shot resolution
    m_camera.t(160) = 19;      // multi-shot lens
    m_camera.t(43) = 5;        // frame rate
    m_camera.t(83) = 1;        // horizon levelling on
    serve();
    start();
    QueueNotifyReader reader;
    ASSERT_TRUE(registerQueue(reader));

    Camera seen = m_camera;
    seen.s(0) = 26;  // flat mode follows the setting
    seen.s(33) = 1;  // modified, and it is the current preset
    seen.t(42) = 9;  // resolution and lens from the multi-shot bytes
    seen.t(44) = 19;
    seen.t(34) = 1;              // ux mode as the camera reports it
    seen.t(83) = 2;              // the supported horizon option
    seen.block.system = {1, 2};  // lens mode and lens
    EXPECT_EQ(next(reader), seen.fullState());
}

}  // namespace
