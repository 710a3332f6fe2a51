// Wi-Fi scanning in-process: the scan id answered on every path and the
// 492-byte scan list built from a module answer longer than the list holds.
#include <string.h>

#include "ClientMessages.h"
#include "HandlerFixture.h"
#include "ztcontrol_remote_ops.h"

using zttest::concat;
using zttest::u32Arg;
using zttest::u8Arg;
using Bytes = zttest::Bytes;

namespace {

// `text` at `at` in `size` zero bytes, at most `max` characters of it.
Bytes put(Bytes b, size_t at, const std::string &text, size_t max)
{
    memcpy(b.data() + at, text.data(), std::min(text.size(), max));
    return b;
}
// A 127-byte module list entry, and the 48-byte scan-list entry made of it.
Bytes moduleEntry(uint8_t first, uint8_t second, const std::string &name, uint32_t word)
{
    return concat({{first, second}, put(Bytes(116, 0), 0, name, 116), u32Arg(word), Bytes(5, 0)});
}
Bytes listEntry(uint8_t first, uint8_t second, const std::string &name, uint32_t word)
{
    return concat(
        {put(Bytes(36, 0), 0, name, 31), u32Arg(first), u32Arg(word), {second}, Bytes(3, 0)});
}
Bytes listHeader(uint8_t offset, uint8_t second, uint8_t count, uint8_t fifth)
{
    return {offset, 0, second, 0, count, 0, 0, 0, fifth, 0, 0, 0};
}
Bytes block(Bytes b)
{
    b.resize(kZtScanListSize);
    return b;
}

class Wireless : public zttest::HandlerFixture {};

TEST_F(Wireless, ScanAlwaysAnswersAFourByteScanId)
{
    const struct {
        std::optional<PeerAnswer> module;
        Bytes arg;
        int code;
        Bytes id;
    } cases[] = {{PeerAnswer::Bytes({0, 42}), {1}, 0, {42, 0, 0, 0}},
                 {PeerAnswer::Status(ZT_ERR_MQ_FAIL), {1}, ZT_ERR_MQ_FAIL, {0, 0, 0, 0}},
                 {std::nullopt, {0}, ZT_ERR_NOT_SUPPORTED, {0, 0, 0, 0}}};
    for (const auto &c : cases) {
        if (c.module)
            peer().scriptAuxmod("NI", *c.module);
        EXPECT_EQ(run(ZTCONTROL_WIFI_SSID_SCAN, c.arg), (Outcome{c.code, c.id, false}));
        EXPECT_EQ(sent().size(), c.module ? 1u : 0u);
        EXPECT_TRUE(!c.module || sentOnly("NI") == (Bytes{1, 1}));
    }
}

// Whole entries only, at most ten, names cut to 31 characters (the module's
// usual answer is in the golden sessions, a busy module in the scan
// scenarios); a header cut short gives the zeroed block.
TEST_F(Wireless, ScanListCopiesWholeEntriesAtMostTenIntoTheZeroedBlock)
{
    const auto name = [](uint8_t i) { return i == 1 ? std::string(40, 'L') : std::to_string(i); };
    Bytes eleven = {0, 1, 0, 0, 12, 12, 0}, ten = listHeader(7, 1, 10, 12);
    for (uint8_t i = 0; i < 11; ++i) {
        eleven = concat({eleven, moduleEntry(i, i % 3, name(i), 2400u + i)});
        if (i < 10)
            ten = concat({ten, listEntry(i, i % 3, name(i), 2400u + i)});
    }
    const std::pair<PeerAnswer, Outcome> cases[] = {
        {PeerAnswer::Bytes(eleven), {0, block(ten), false}},  // twelve reported
        {PeerAnswer::Bytes({0, 3, 0}), {ZT_ERR, Bytes(kZtScanListSize, 0), false}}};
    for (const auto &[module, outcome] : cases) {
        peer().scriptAuxmod("al", module);
        EXPECT_EQ(run(ZTCONTROL_WIFI_SSID_LIST, u8Arg(7)), outcome);
        EXPECT_EQ(sentOnly("al"), (Bytes{7, 10, 0xFF, 0xFF, 1}));
    }
}

}  // namespace
