// The client library: the real daemon on the firmware simulator driven
// through the C++ layer (and so the C functions under it), the reply queues'
// life cycle against a daemon that never answers, and notification texts.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mqueue.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "ClientMessages.h"
#include "SimulatorDaemonTest.h"
#include "ztclient.hpp"

using namespace std::chrono;
using zttest::SimulatorDaemonTest;

namespace {

// Messages waiting on a queue; -1 when it does not exist.
long waiting(const std::string &name)
{
    const mqd_t q = mq_open(name.c_str(), O_WRONLY);
    mq_attr attr{};
    if (q == (mqd_t)-1 || mq_getattr(q, &attr) != 0)
        return -1;
    mq_close(q);
    return attr.mq_curmsgs;
}

class ClientOnSimulator : public SimulatorDaemonTest {};

// Preset answers arrive as messages; the decoded state holds status and
// settings; refusals and broken rules come back as named result codes with
// their reason, and a client shared by threads keeps answers apart. (Watching
// and recording through the C++ layer are the highlight example's end-to-end
// test; the queue watcher, the status by name and a plain refusal the Python
// package's.)
TEST_F(ClientOnSimulator, PresetsStateRefusalsAndThreads)
{
    ztclient::Client camera;
    const uint32_t created = camera.createPreset(1000, 12, 20, 20);
    EXPECT_EQ(camera.presetInfo(created).id(), static_cast<int32_t>(created));
    camera.removePreset(created);
    const auto state = camera.state();
    EXPECT_TRUE(std::any_of(state.begin(), state.end(), [](const ztclient_item_t &i) {
        return i.kind == ZTCLIENT_STATUS && i.name &&
               std::string(i.name) == "video_progress_seconds";
    }));
    EXPECT_TRUE(std::any_of(state.begin(), state.end(),
                            [](const ztclient_item_t &i) { return i.kind == ZTCLIENT_SETTING; }));

    try {
        camera.tagRecording();  // the simulator tags only while recording
        ADD_FAILURE() << "a tag without recording was accepted";
    } catch (const ztclient::Error &e) {
        EXPECT_LT(e.code(), 0);
        EXPECT_EQ(std::string(e.what()).rfind("ZT_ERR", 0), 0u) << e.what();
        ASSERT_TRUE(ztclient_result_reason(e.code()));
        EXPECT_NE(std::string(e.what()).find(ztclient_result_reason(e.code())), std::string::npos);
    }
    // ZTCONTROL_KEYMARK_TAG_RECORDING takes no argument.
    EXPECT_EQ(camera.call(ZTCONTROL_KEYMARK_TAG_RECORDING, std::vector<uint8_t>{1}).result,
              ZT_ERR_INVALID_PARAM);

    const uint32_t active = camera.activePreset();
    std::thread other([&] {
        for (int i = 0; i < 50; ++i)
            EXPECT_FALSE(camera.busy());
    });
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(camera.activePreset(), active);
    other.join();
}

// Reply queues: exclusive per client, removed on close, and those of a
// client that died are removed by the next open. With a daemon that never
// answers every call ends by its deadline, and a late answer is not taken for
// the next call's. (A missing daemon is ztctl's exit status 3.)
TEST(ClientQueues, LifeCycleAndBoundedWaits)
{
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    if (child == 0) {
        ztclient_t *c = nullptr;
        if (ztclient_open(&c) == 0) {
            const std::string name = ztclient_reply_queue(c);
            (void)!write(pipeFds[1], name.c_str(), name.size());
        }
        _exit(0);  // no close: the queue stays behind
    }
    close(pipeFds[1]);
    char buf[64] = {};
    ASSERT_GT(read(pipeFds[0], buf, sizeof buf - 1), 0);
    close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    // The queue the child left, marked by a message (a new client may take
    // the same name, but never the old queue).
    const std::string left = buf;
    const mqd_t old = mq_open(left.c_str(), O_WRONLY);
    ASSERT_NE(old, (mqd_t)-1);
    ASSERT_EQ(mq_send(old, "x", 1, 0), 0);
    mq_close(old);

    std::string mine;
    {
        ztclient::Client a, b;
        EXPECT_LE(waiting(left), 0);
        EXPECT_NE(a.replyQueue(), b.replyQueue());
        mine = a.replyQueue();
        EXPECT_TRUE(zttest::queueExists(mine));

        // A daemon queue nobody reads: no answer; an answer that comes
        // after the call gave up is not taken for the next call's; then no
        // room.
        const mqd_t mute = zttest::createQueue(zttest::kCommandQueue, 1);
        ASSERT_NE(mute, (mqd_t)-1) << strerror(errno);
        int32_t result = 0;
        auto busyCall = [&] {
            return ztclient_call(a.handle(), ZTCONTROL_GET_BUSY_STATUS, nullptr, 0, -1, 200,
                                 &result, nullptr, 0, nullptr);
        };
        EXPECT_EQ(busyCall(), ZTCLIENT_TIMEOUT);
        ASSERT_TRUE(zttest::receiveMessage(mute, 1s));
        const zttest::Bytes late =
            zttest::tlvMessage(CAT_CLIENT_RSP, {{TLV_RESULT, zttest::u32Arg(0)}, {TLV_END, {}}});
        ASSERT_TRUE(zttest::sendRaw(late.data(), late.size(), 1000, a.replyQueue()));
        EXPECT_EQ(busyCall(), ZTCLIENT_TIMEOUT);
        EXPECT_EQ(busyCall(), ZTCLIENT_DAEMON_BUSY);
        mq_close(mute);
        mq_unlink(zttest::kCommandQueue);
    }
    EXPECT_FALSE(zttest::queueExists(mine));
}

// The notification kinds the daemon's texts carry, with more items than fit
// still counted. (The full state's unbraced halves, names, units and options
// are what ztctl's watch and printing tests show.)
TEST(ClientNotifications, TextsParse)
{
    std::vector<ztclient_item_t> items(8);
    size_t n = 0;
    const std::string changes = "{\"status\":{\"10\":1,\"89\":-1},\n\"settings\":{\"2\":9}\n}";
    EXPECT_EQ(ztclient_parse_notification(changes.c_str(), changes.size(), items.data(), 1, &n),
              ZTCLIENT_CHANGES);
    EXPECT_EQ(n, 3u);  // counted, though only one fits
    EXPECT_STREQ(items[0].name, "encoding");
    EXPECT_EQ(items[0].value, 1);

    const std::string off = "{\"state\":{\n        \"shutdown_pending\":true\n    }\n}";
    EXPECT_EQ(ztclient_parse_notification(off.c_str(), off.size(), items.data(), items.size(), &n),
              ZTCLIENT_SHUTDOWN_PENDING);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(ztclient_parse_notification("LENGTH:3", 8, items.data(), items.size(), &n), 0);
}

}  // namespace
