// The real daemon's Wi-Fi, pairing, Bluetooth and firmware-update commands
// against the scripted firmware peer: the exact module payloads the wireless
// module depends on, the scan id and the 492-byte scan list built from module
// answers of any shape, and the refusals that must send nothing.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>

#include "CommandFixture.h"

using zttest::Bytes;
using zttest::concat;
using zttest::textArg;

namespace {

enum : uint32_t {
    kFwStart = 13,
    kFwCancel = 14,
    kFwDone = 15,
    kApControl = 16,
    kApSsidConfig = 17,
    kBand = 18,
    kScan = 19,
    kList = 20,
    kSave = 21,
    kSelect = 22,
    kDelete = 23,
    kDeleteAll = 24,
    kPair = 25,
    kPairCancel = 26,
    kBle = 65,
};
constexpr int32_t kErr = -1;
constexpr int32_t kInvalid = -3;
constexpr int32_t kMqFail = -5;
constexpr int32_t kNotSupported = -104;

// The network argument: SSID field of 33 bytes, password field of 67, auth
// word at 100, access-point mode word at 104. Texts are copied whole, so a
// text as long as its field has no NUL.
Bytes networkArg(const std::string &ssid, const std::string &password, uint32_t auth = 0,
                 uint32_t mode = 0, size_t size = 108)
{
    Bytes b(108, 0);
    memcpy(b.data(), ssid.data(), std::min<size_t>(ssid.size(), 33));
    memcpy(b.data() + 33, password.data(), std::min<size_t>(password.size(), 67));
    for (int i = 0; i < 4; ++i) {
        b[100 + i] = static_cast<uint8_t>(auth >> (8 * i));
        b[104 + i] = static_cast<uint8_t>(mode >> (8 * i));
    }
    b.resize(size);
    return b;
}

// A 128-byte "CT"/"CL"/"CD" payload as the module expects it.
Bytes netPayload(uint8_t b0, uint8_t auth, const std::string &ssid, const std::string &password)
{
    Bytes p(128, 0);
    p[0] = b0;
    p[1] = 127;
    p[2] = auth;
    memcpy(p.data() + 4, ssid.data(), ssid.size());
    memcpy(p.data() + 37, password.data(), password.size());
    return p;
}

// A module list entry of 127 bytes.
Bytes moduleEntry(uint8_t first, uint8_t second, const std::string &name, uint32_t word)
{
    Bytes e(127, 0);
    e[0] = first;
    e[1] = second;
    memcpy(e.data() + 2, name.data(), std::min<size_t>(name.size(), 116));
    for (int i = 0; i < 4; ++i)
        e[118 + i] = static_cast<uint8_t>(word >> (8 * i));
    return e;
}

uint32_t le(const Bytes &b, size_t at, int width)
{
    uint32_t v = 0;
    for (int i = 0; i < width; ++i)
        v |= static_cast<uint32_t>(b[at + i]) << (8 * i);
    return v;
}

class Wireless : public zttest::CommandFixture {};

TEST_F(Wireless, AccessPointActionsSendTheirModuleCodesAndRefuseUnknownActions)
{
    const std::pair<uint32_t, uint8_t> codes[] = {{1, 1}, {0, 3}, {2, 6}};
    for (const auto &c : codes) {
        EXPECT_EQ(call(kApControl, zttest::u32Arg(c.first)).result, 0);
        EXPECT_EQ(sentModule("AP"), (Bytes{c.second, 0})) << "action " << c.first;
    }
    EXPECT_EQ(call(kApControl, zttest::u32Arg(3)).result, kInvalid);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(call(kApControl).result, kInvalid);
    EXPECT_TRUE(sent().empty());

    // Bluetooth off ignores whatever argument comes with it.
    EXPECT_EQ(call(kBle, zttest::u8Arg(7)).result, 0);
    EXPECT_EQ(sentModule("AP"), (Bytes{0x24, 0}));

    peer().scriptAuxmod("AP", PeerAnswer::Status(kMqFail));
    EXPECT_EQ(call(kApControl, zttest::u32Arg(1)).result, kMqFail);
}

TEST_F(Wireless, AccessPointNameAndPasswordAreSentAsLengthPrefixedTextsWithoutTerminators)
{
    EXPECT_EQ(call(kApSsidConfig, networkArg("Cam", "secret12", 0, 1)).result, 0);
    EXPECT_EQ(sentModule("AP"), concat({{0, 1, 8}, textArg("secret12"), {3}, textArg("Cam")}));

    // Any other mode word gives mode code 6; a name filling its whole field
    // has no terminator and counts 33.
    const std::string full(33, 'N');
    EXPECT_EQ(call(kApSsidConfig, networkArg(full, "pw", 0, 7)).result, 0);
    EXPECT_EQ(sentModule("AP"), concat({{6, 1, 2}, textArg("pw"), {33}, textArg(full)}));

    EXPECT_EQ(call(kApSsidConfig, networkArg("", "secret12", 0, 1)).result, kInvalid);
    EXPECT_EQ(call(kApSsidConfig, networkArg("Cam", "", 0, 1)).result, kInvalid);
    EXPECT_EQ(call(kApSsidConfig, networkArg("Cam", "secret12", 0, 1, 107)).result, kInvalid);
    EXPECT_TRUE(sent().empty());
}

TEST_F(Wireless, ConnectSendsThe128BytePayloadWithTruncatedTextsAndPicksTheModuleCommand)
{
    EXPECT_EQ(call(kSelect, networkArg("Home", "pass1234", 3)).result, 0);
    EXPECT_EQ(sentModule("CT"), netPayload(1, 3, "Home", "pass1234"));

    EXPECT_EQ(call(kSelect, networkArg("Open", "", 255)).result, 0);
    EXPECT_EQ(sentModule("CL"), netPayload(1, 255, "Open", ""));

    // At most 31 SSID and 62 password characters, each followed by a NUL.
    const std::string ssid(33, 's'), password(66, 'p');
    EXPECT_EQ(call(kSelect, networkArg(ssid, password, 4)).result, 0);
    EXPECT_EQ(sentModule("CT"), netPayload(1, 4, ssid.substr(0, 31), password.substr(0, 62)));

    EXPECT_EQ(call(kSelect, networkArg("Home", "pass1234", 256)).result, kInvalid);
    EXPECT_EQ(call(kSelect, networkArg("", "pass1234", 3)).result, kInvalid);
    EXPECT_EQ(call(kSelect, networkArg("Home", "pass1234", 3, 0, 103)).result, kInvalid);
    EXPECT_TRUE(sent().empty());
}

TEST_F(Wireless, DeleteSendsOneSsidOrTheDeleteAllPayload)
{
    EXPECT_EQ(call(kDelete, networkArg("Home", "ignored")).result, 0);
    EXPECT_EQ(sentModule("CD"), netPayload(0, 0, "Home", ""));

    // Only the SSID is read: a bare name with its NUL is enough.
    EXPECT_EQ(call(kDelete, textArg("Cafe", true)).result, 0);
    EXPECT_EQ(sentModule("CD"), netPayload(0, 0, "Cafe", ""));

    EXPECT_EQ(call(kDeleteAll).result, 0);
    EXPECT_EQ(sentModule("CD"), netPayload(1, 0, "", ""));

    peer().scriptAuxmod("CD", PeerAnswer::Status(kErr));
    EXPECT_EQ(call(kDelete, networkArg("Gone", "")).result, kErr);

    EXPECT_EQ(call(kDelete, networkArg("", "")).result, kInvalid);
    EXPECT_EQ(call(kDelete, Bytes{}).result, kInvalid);
    EXPECT_EQ(call(kDeleteAll, Bytes{}).result, kInvalid);
    EXPECT_TRUE(sent().empty());
}

TEST_F(Wireless, QuickConnectSendsTerminatedTextsAndEnforcesTheirLengths)
{
    const std::string ssid32(32, 'x');
    EXPECT_EQ(call(kSave, networkArg(ssid32, "")).result, 0);
    EXPECT_EQ(sentModule("CQ"), concat({textArg(ssid32), {0}}));

    EXPECT_EQ(call(kSave, networkArg("Home", "pw")).result, 0);
    EXPECT_EQ(sentModule("CQ"), concat({textArg("Home"), {0}, textArg("pw"), {0}}));

    EXPECT_EQ(call(kSave, networkArg(std::string(33, 'x'), "")).result, kInvalid);
    EXPECT_EQ(call(kSave, networkArg("Home", std::string(64, 'p'))).result, kInvalid);
    EXPECT_EQ(call(kSave, networkArg("", "pw")).result, kInvalid);
    EXPECT_EQ(call(kSave, networkArg("Home", "pw", 0, 0, 99)).result, kInvalid);
    EXPECT_TRUE(sent().empty());
}

TEST_F(Wireless, ScanAlwaysAnswersAFourByteScanId)
{
    const struct {
        std::optional<PeerAnswer> module;
        std::optional<Bytes> arg;
        int32_t result;
        Bytes id;
    } cases[] = {
        {PeerAnswer::Bytes({0, 42}), zttest::u8Arg(1), 0, {42, 0, 0, 0}},
        {PeerAnswer::Bytes({0}), zttest::u8Arg(1), 0, {0, 0, 0, 0}},
        {PeerAnswer::Status(kMqFail), zttest::u8Arg(1), kMqFail, {0, 0, 0, 0}},
        {std::nullopt, zttest::u8Arg(0), kNotSupported, {0, 0, 0, 0}},
        {std::nullopt, std::nullopt, kInvalid, {0, 0, 0, 0}},
    };
    for (const auto &c : cases) {
        if (c.module)
            peer().scriptAuxmod("NI", *c.module);
        EXPECT_EQ(answer(kScan, c.arg), (Answer{c.result, c.id}));
        if (c.module)
            EXPECT_EQ(sentModule("NI"), (Bytes{1, 1}));
        else
            EXPECT_TRUE(sent().empty());
    }
}

TEST_F(Wireless, ScanListCopiesCountedEntriesIntoTheFixedBlock)
{
    Bytes module = {0, 9, 0, 0, 3, 5, 0};
    module =
        concat({module, moduleEntry(4, 1, "Alpha", 2437),
                moduleEntry(2, 6, std::string(40, 'L'), 5180), moduleEntry(0, 0, "", 0xA1B2C3D4)});
    peer().scriptAuxmod("al", PeerAnswer::Bytes(module));
    auto reply = call(kList, zttest::u8Arg(7));
    EXPECT_EQ(sentModule("al"), (Bytes{7, 10, 0xFF, 0xFF, 1}));
    EXPECT_EQ(reply.result, 0);
    ASSERT_EQ(reply.payload.size(), 492u);
    const Bytes &list = reply.payload;
    EXPECT_EQ(list[0], 7);
    EXPECT_EQ(le(list, 2, 2), 9u);
    EXPECT_EQ(le(list, 4, 2), 3u);
    EXPECT_EQ(le(list, 8, 4), 5u);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&list[12])), "Alpha");
    EXPECT_EQ(le(list, 12 + 36, 4), 4u);
    EXPECT_EQ(le(list, 12 + 40, 4), 2437u);
    EXPECT_EQ(list[12 + 44], 1);
    // A long name keeps 31 characters and its NUL.
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&list[60])), std::string(31, 'L'));
    EXPECT_EQ(list[60 + 44], 6);
    EXPECT_EQ(le(list, 108 + 40, 4), 0xA1B2C3D4u);
    EXPECT_TRUE(
        std::all_of(list.begin() + 12 + 3 * 48, list.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(Wireless, ScanListNeverCopiesMoreThanTenOrMoreThanTheModuleSent)
{
    // Eleven entries present, twelve reported: ten fit the block.
    Bytes module = {0, 1, 0, 0, 12, 12, 0};
    for (int i = 0; i < 11; ++i)
        module =
            concat({module, moduleEntry(static_cast<uint8_t>(i), 0, "net" + std::to_string(i), i)});
    peer().scriptAuxmod("al", PeerAnswer::Bytes(module));
    auto reply = call(kList, zttest::u8Arg(0));
    EXPECT_EQ(reply.result, 0);
    ASSERT_EQ(reply.payload.size(), 492u);
    EXPECT_EQ(le(reply.payload, 4, 2), 10u);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&reply.payload[12 + 9 * 48])), "net9");

    // Five reported, two present: only the two are copied.
    module = concat(
        {{0, 1, 0, 0, 5, 5, 0}, moduleEntry(1, 0, "a", 1), moduleEntry(2, 0, "b", 2), {9, 9}});
    peer().scriptAuxmod("al", PeerAnswer::Bytes(module));
    reply = call(kList, zttest::u8Arg(0));
    ASSERT_EQ(reply.payload.size(), 492u);
    EXPECT_EQ(le(reply.payload, 4, 2), 2u);
    EXPECT_TRUE(std::all_of(reply.payload.begin() + 12 + 2 * 48, reply.payload.end(),
                            [](uint8_t b) { return b == 0; }));

    // Zero entries: just the header fields.
    peer().scriptAuxmod("al", PeerAnswer::Bytes({0, 3, 0, 0, 0, 0, 0}));
    Bytes expected(492, 0);
    expected[0] = 2;
    expected[2] = 3;
    EXPECT_EQ(answer(kList, zttest::u8Arg(2)), (Answer{0, expected}));
}

TEST_F(Wireless, ScanListFailuresStillAnswerTheZeroedBlock)
{
    const std::pair<PeerAnswer, int32_t> failures[] = {
        {PeerAnswer::Bytes({1, 3, 0, 0, 2, 2, 0}), kErr},  // module busy
        {PeerAnswer::Bytes({0, 3, 0}), kErr},              // header cut short
        {PeerAnswer::Status(kMqFail), kMqFail},
    };
    for (const auto &[module, expected] : failures) {
        peer().scriptAuxmod("al", module);
        EXPECT_EQ(answer(kList, zttest::u8Arg(0)), (Answer{expected, Bytes(492, 0)}));
    }
    EXPECT_EQ(answer(kList), (Answer{kInvalid, Bytes(492, 0)}));
}

TEST_F(Wireless, PairCancelSucceedsOnlyOnTheSingleByteZero)
{
    EXPECT_EQ(call(kPair).result, 0);
    EXPECT_EQ(sentModule("PD"), (Bytes{1, 2}));

    peer().scriptAuxmod("PX", PeerAnswer::Bytes({0}));
    EXPECT_EQ(call(kPairCancel).result, 0);
    EXPECT_TRUE(sentModule("PX").empty());
    const std::vector<uint8_t> refusals[] = {{1}, {0, 0}, {}};
    for (const auto &bytes : refusals) {
        peer().scriptAuxmod("PX", PeerAnswer::Bytes(bytes));
        EXPECT_EQ(call(kPairCancel).result, kErr) << bytes.size() << " answer bytes";
    }
    peer().scriptAuxmod("PX", PeerAnswer::Status(0));  // no answer bytes at all
    EXPECT_EQ(call(kPairCancel).result, kErr);
    peer().scriptAuxmod("PX", PeerAnswer::Status(kMqFail));
    EXPECT_EQ(call(kPairCancel).result, kMqFail);

    EXPECT_EQ(call(kPair, zttest::u8Arg(1)).result, kInvalid);
    EXPECT_EQ(call(kPairCancel, zttest::u8Arg(1)).result, kInvalid);
    EXPECT_TRUE(sent().empty());
}

TEST_F(Wireless, BandSelectSendsOneByteAndRefusesOtherBands)
{
    EXPECT_EQ(call(kBand, zttest::u32Arg(1)).result, 0);
    auto request = sentOne();
    EXPECT_TRUE(request && request->isRemote(6, 19) && request->payload == Bytes{1});
    EXPECT_EQ(call(kBand, zttest::u32Arg(2)).result, kInvalid);
    EXPECT_EQ(call(kBand).result, kInvalid);
    EXPECT_TRUE(sent().empty());
}

TEST_F(Wireless, FirmwareUpdateCallsPassTheFlagAndTheLibraryResult)
{
    EXPECT_EQ(call(kFwStart).result, 0);
    EXPECT_TRUE(sentTyped("ztc_fwupdate_download_start").empty());
    peer().scriptTyped("ztc_fwupdate_download_cancel", PeerAnswer::Status(kErr));
    EXPECT_EQ(call(kFwCancel).result, kErr);

    for (const auto &[arg, flag] : {std::pair<uint8_t, uint8_t>{5, 1}, {0, 0}}) {
        EXPECT_EQ(call(kFwDone, zttest::u8Arg(arg)).result, 0);
        EXPECT_EQ(sentTyped("ztc_fwupdate_download_done"), Bytes{flag}) << "argument " << int(arg);
    }
    EXPECT_EQ(call(kFwStart, zttest::u8Arg(1)).result, kInvalid);
    EXPECT_EQ(call(kFwDone).result, kInvalid);
    EXPECT_TRUE(sent().empty());
}

}  // namespace
