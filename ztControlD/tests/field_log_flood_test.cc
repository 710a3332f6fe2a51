// The real daemon flooded with malformed messages where no log daemon listens
// (this test's namespace has none; the daemon's standard error carries every
// record): the error line of each dropped message is written for a burst, the
// rest are counted, and one record gives the count.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>

#include "DaemonHarness.h"
#include "utils.h"
#include "ztFirmwarePeer.h"

using namespace std::chrono_literals;
using zttest::Bytes;
using zttest::DaemonHarness;

namespace {

constexpr uint32_t kProbeCommand = 1;  // answered as unsupported
constexpr int32_t kNotSupported = -104;
constexpr int kFlood = 1000;
constexpr const char *kDropped = "Dropping malformed message of 4 bytes";

TEST(FieldLogFlood, MalformedFloodWritesABurstAndOneCountOfTheRest)
{
    ZtFirmwarePeer peer;
    ASSERT_TRUE(peer.ok());
    DaemonHarness daemon;
    ASSERT_TRUE(daemon.startAndWaitReady()) << daemon.log();
    daemon.requester().drain();
    const size_t mark = daemon.logMark();

    // A header that claims 64 bytes in a 4-byte message.
    const Bytes bad = {0, 64, 0, 20};
    for (int i = 0; i < kFlood; i++)
        ASSERT_TRUE(zttest::sendRaw(bad.data(), bad.size(), 5000)) << "queue stuck at " << i;
    // The queue is handled in order: the probe's answer comes after the flood.
    auto reply = daemon.requester().call(kProbeCommand, 10s);
    ASSERT_TRUE(reply && reply->hasResult) << daemon.log().substr(mark);
    EXPECT_EQ(reply->result, kNotSupported);

    const size_t written = daemon.countInLog(kDropped);  // none before the flood
    EXPECT_GE(written, 1u);
    // One window's burst; two if the flood straddled a window's end.
    EXPECT_LE(written, 2 * ZT_LOG_LIMIT_BURST) << "lines not bounded";

    auto status = daemon.stop();
    ASSERT_TRUE(status && status->ok()) << daemon.log().substr(mark);
    // Every dropped message is accounted for, in reports in the record layout
    // naming the dropping line; the last comes out at exit at the latest.
    const std::string all = daemon.log().substr(mark);
    const std::regex report(
        "\\[[0-9]{8,}\\] \\[ERROR\\] ([0-9]+) similar messages suppressed "
        "@ztcontrol_if_server_receive\\.cpp:[0-9]+\n");
    size_t suppressed = 0, reports = 0;
    for (std::sregex_iterator it(all.begin(), all.end(), report), end; it != end; ++it) {
        suppressed += std::stoul((*it)[1]);
        reports++;
    }
    EXPECT_GE(reports, 1u) << all;
    EXPECT_EQ(daemon.countInLog(kDropped) + suppressed, static_cast<size_t>(kFlood)) << all;
}

}  // namespace
