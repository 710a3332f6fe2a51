// Capture commands through the real daemon on the flat-mode dual-lens camera
// (model 51, read once per daemon): base modes translated from the status
// block and the zoom edit stored by the worker timer. The byte rules are in the in-process
// handlers_*_test.cc; a happy path of each command family and the retired values are in the golden
// sessions (ztFirmwareSim/sessions).
#include <chrono>
#include <thread>

#include "CommandFixture.h"
#include "StatusBlock.h"
#include "ztErrno.h"
#include "ztcontrol_commands.h"
#include "ztcontrol_remote_ops.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using zttest::Bytes;
using zttest::u32Arg;
using zttest::words;
using Trace = std::vector<std::string>;

namespace {

constexpr uint32_t kActivePreset = 0x00020003;

class Commands : public zttest::CommandFixture {
protected:
    static void SetUpTestSuite()
    {
        startSuite([](ZtFirmwarePeer &peer) { peer.setCsiItem(1, 51); });
    }
    static PeerAnswer status(const zttest::StatusBlock &block)
    {
        return PeerAnswer::Bytes(block.bytes());
    }
    // The edit, zoom and mode-change requests from request `from` on.
    static Trace editTrace(size_t from)
    {
        Trace out;
        const auto all = peer().requests();
        for (size_t i = from; i < all.size(); ++i) {
            const PeerRequest &r = all[i];
            if (r.isRemote(kPresetCategory, kPresetEditStart))
                out.push_back(r.payload == u32Arg(kActivePreset) ? "start" : "start?");
            else if (r.isRemote(kPresetCategory, kPresetEditStore))
                out.push_back("store");
            else if (r.isTyped("ztc_app_set_digital_zoom"))
                out.push_back("zoom");
            else if (r.isTyped("ztc_app_set_mode") || r.isTyped("ztc_app_set_mode_sub_mode") ||
                     r.isRemote(kPresetCategory, kPresetActiveSet))
                out.push_back("mode");
        }
        return out;
    }
    static bool storeArrives(int timeoutMs, size_t from)
    {
        const auto store = [](const PeerRequest &r) {
            return r.isRemote(kPresetCategory, kPresetEditStore);
        };
        return peer().waitForRequest(store, timeoutMs, from).has_value();
    }
};

// Base modes become the flat mode last selected in their family, or the
// family's default when the status cannot tell; other modes pass unchanged.
TEST_F(Commands, BaseModesBecomeTheSelectedOrDefaultFlatMode)
{
    const struct {
        PeerAnswer status;
        uint32_t mode, sent;
        size_t requests;  // with the video-format reset: 3
    } cases[] = {{status(zttest::StatusBlock().selectedFlatModes(13, 18, 21)), 0, 13, 3},
                 {PeerAnswer::Bytes({0, 0, 0}), 5, 5, 2},
                 {PeerAnswer::Bytes({0, 0, 0}), 2, 20, 2}};  // too short to read
    for (const auto &c : cases) {
        peer().scriptRemote(kSystemCategory, kAllStatusGet, c.status);
        EXPECT_EQ(call(ZTCONTROL_MODE, u32Arg(c.mode)).result, 0);
        const auto requests = sent();
        ASSERT_EQ(requests.size(), c.requests) << "mode " << c.mode;
        EXPECT_TRUE(requests[0].isRemote(kSystemCategory, kAllStatusGet) &&
                    requests[1].isTyped("ztc_app_set_mode"));
        EXPECT_EQ(requests[1].payload, u32Arg(c.sent)) << "mode " << c.mode;
    }
}

// One edit is held open across a run of zoom steps and stored by the worker
// timer 200 ms after the last step (armed with the command mutex released).
TEST_F(Commands, ZoomRunOpensOneEditStoredAfterTheLastStep)
{
    peer().scriptRemote(kSystemCategory, kAllStatusGet,
                        status(zttest::StatusBlock().group(0).videoPreset(kActivePreset)));
    const size_t mark = peer().requestCount();
    const auto firstStep = Clock::now();
    ASSERT_EQ(call(ZTCONTROL_DIGITAL_ZOOM, u32Arg(10)).result, 0);
    std::this_thread::sleep_for(100ms);  // the user's next step, inside the window
    const auto lastStep = Clock::now();
    ASSERT_EQ(call(ZTCONTROL_DIGITAL_ZOOM, u32Arg(20)).result, 0);
    if (Clock::now() - firstStep >= 195ms)  // too loaded: the first window may have closed
        GTEST_SKIP() << "the second step was handled too late to fall inside the first window";
    EXPECT_EQ(editTrace(mark), (Trace{"start", "zoom", "zoom"})) << "each step restarts the window";

    ASSERT_TRUE(storeArrives(3000, mark)) << daemon().log();
    const auto waited = Clock::now() - lastStep;  // armed after the step, never earlier
    EXPECT_GE(waited, 195ms);
    EXPECT_LT(waited, 1500ms);

    const size_t next = peer().requestCount();  // the next run needs an edit of its own
    ASSERT_EQ(call(ZTCONTROL_DIGITAL_ZOOM, u32Arg(30)).result, 0);
    ASSERT_TRUE(storeArrives(3000, next)) << daemon().log();
    EXPECT_EQ(editTrace(mark), (Trace{"start", "zoom", "zoom", "store", "start", "zoom", "store"}));
}

TEST_F(Commands, ModeChangesStoreAnOpenZoomEditFirstAndTouchNoEditWithoutZoom)
{
    peer().scriptRemote(kSystemCategory, kAllStatusGet,
                        status(zttest::StatusBlock().group(0).videoPreset(kActivePreset)));
    size_t mark = peer().requestCount();
    ASSERT_EQ(call(ZTCONTROL_MODE, u32Arg(12)).result, 0);
    EXPECT_EQ(editTrace(mark), Trace{"mode"});
    // Every mode command ends an open zoom edit through the same call.
    mark = peer().requestCount();
    ASSERT_EQ(call(ZTCONTROL_DIGITAL_ZOOM, u32Arg(10)).result, 0);
    ASSERT_EQ(call(ZTCONTROL_MODE_SUB_MODE, words({1, 2})).result, 0);
    const Trace trace = editTrace(mark);
    ASSERT_GE(trace.size(), 4u);
    EXPECT_EQ(Trace(trace.begin(), trace.begin() + 4), (Trace{"start", "zoom", "store", "mode"}));
    EXPECT_FALSE(storeArrives(600, peer().requestCount())) << "the timer must not store again";
}

}  // namespace
