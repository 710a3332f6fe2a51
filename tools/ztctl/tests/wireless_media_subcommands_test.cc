// ztctl's friendly subcommands: the command values and argument layouts they
// build (the daemon reads them at fixed offsets), the fallback to the
// catalogue command of the same name, and the decoded scan list and date.
#include <gtest/gtest.h>

#include <string.h>

#include "CommandLine.h"
#include "ReplyFormatter.h"

namespace {

using ztctl::Bytes;

std::optional<ztctl::Options> parse(std::vector<const char *> args, std::string *error = nullptr)
{
    args.insert(args.begin(), "ztctl");
    std::string e;
    auto o = ztctl::parseCommandLine(static_cast<int>(args.size()), args.data(), e);
    if (error)
        *error = e;
    return o;
}

TEST(WifiSubcommands, BuildTheNetworkArgumentAtItsFixedOffsets)
{
    auto o = parse({"wifi", "ap-config", "Cam", "secret", "2"});
    ASSERT_TRUE(o);
    EXPECT_EQ(o->command, 17u);
    ASSERT_EQ(o->argument->size(), 108u);
    EXPECT_STREQ(reinterpret_cast<const char *>(o->argument->data()), "Cam");
    EXPECT_STREQ(reinterpret_cast<const char *>(o->argument->data() + 33), "secret");
    EXPECT_EQ((*o->argument)[104], 2);

    o = parse({"wifi", "connect", "Home", "pw", "3", "--timeout", "100"});
    ASSERT_TRUE(o);
    EXPECT_EQ(o->command, 22u);
    EXPECT_EQ((*o->argument)[100], 3);
    EXPECT_EQ(o->timeoutMs, 100u);

    std::string error;
    EXPECT_FALSE(parse({"wifi", "save", std::string(33, 's').c_str()}, &error));
    EXPECT_NE(error.find("SSID"), std::string::npos);
    EXPECT_FALSE(parse({"wifi", "connect"}, &error));
    EXPECT_FALSE(parse({"wifi", "ap", "maybe"}, &error));
}

TEST(WifiSubcommands, WordsMapToTheirCommandsAndArguments)
{
    struct Case {
        std::vector<const char *> words;
        uint32_t command;
        std::optional<Bytes> argument;
    } cases[] = {
        {{"wifi", "ap", "on"}, 16, Bytes{1, 0, 0, 0}},
        {{"wifi", "ap", "off"}, 16, Bytes{0, 0, 0, 0}},
        {{"wifi", "band", "1"}, 18, Bytes{1, 0, 0, 0}},
        {{"wifi", "scan"}, 19, Bytes{1}},
        {{"wifi", "list"}, 20, Bytes{0}},
        {{"wifi", "list", "10"}, 20, Bytes{10}},
        {{"wifi", "forget-all"}, 24, std::nullopt},
        {{"pair", "start"}, 25, std::nullopt},
        {{"pair", "cancel"}, 26, std::nullopt},
        {{"ble", "off"}, 65, std::nullopt},
        {{"fwupdate", "done", "failed"}, 15, Bytes{0}},
        {{"date"}, 98, std::nullopt},
        {{"date", "set", "2026-12-05T19:30:07"}, 6, Bytes{0xEA, 0x07, 12, 5, 19, 30, 7}},
        {{"tag"}, 7, std::nullopt},
        {{"delete", "A.MP4"}, 9, Bytes{'A', '.', 'M', 'P', '4', 0}},
        {{"delete"}, 9, std::nullopt},  // the catalogue command, as sent raw
        {{"delete-last"}, 10, std::nullopt},
        {{"delete-result"}, 94, std::nullopt},
        {{"voice", "mode", "2"}, 59, Bytes{2}},
        {{"voice", "delete-last"}, 63, std::nullopt},
    };
    for (const Case &c : cases) {
        auto o = parse(c.words);
        ASSERT_TRUE(o) << c.words[0];
        EXPECT_EQ(o->command, c.command) << c.words[0];
        EXPECT_EQ(o->argument, c.argument) << c.words[0] << " " << (c.words.size() > 1 ? c.words[1] : "");
    }
    EXPECT_FALSE(parse({"date", "set", "2026-13-05T19:30:07"}));
    EXPECT_FALSE(parse({"voice", "sing"}));
}

TEST(MediaSubcommands, TagAndDeleteListUseTheDaemonsRecordLayouts)
{
    auto o = parse({"tag", "100ZTCAM/ZT010001.MP4", "1234", "7"});
    ASSERT_TRUE(o);
    EXPECT_EQ(o->command, 8u);
    ASSERT_EQ(o->argument->size(), 268u);
    EXPECT_EQ((*o->argument)[0], 7);
    EXPECT_STREQ(reinterpret_cast<const char *>(o->argument->data() + 4), "100ZTCAM/ZT010001.MP4");
    EXPECT_EQ((*o->argument)[264], 1234 & 0xFF);
    EXPECT_EQ((*o->argument)[265], 1234 >> 8);

    o = parse({"delete-list", "A.MP4", "B.JPG:3"});
    ASSERT_TRUE(o);
    EXPECT_EQ(o->command, 93u);
    ASSERT_EQ(o->argument->size(), 46u);
    EXPECT_EQ((*o->argument)[0], 0);
    EXPECT_STREQ(reinterpret_cast<const char *>(o->argument->data() + 1), "A.MP4");
    EXPECT_EQ((*o->argument)[23], 3);
    EXPECT_STREQ(reinterpret_cast<const char *>(o->argument->data() + 24), "B.JPG");
    EXPECT_FALSE(parse({"delete-list", std::string(22, 'n').c_str()}));  // no room for the NUL
}

TEST(SubcommandDecoding, ScanListShowsOnlyTheCountedEntries)
{
    Bytes list(492, 0);
    list[0] = 2;
    list[2] = 9;
    list[4] = 1;
    list[8] = 5;
    memcpy(&list[12], "ZT-Home", 7);
    list[12 + 36] = 4;
    list[12 + 40] = 0x85;  // 2437
    list[12 + 41] = 0x09;
    list[12 + 44] = 0x05;
    memcpy(&list[60], "not counted", 11);
    const std::string text = ztctl::decodePayload(20, list);
    EXPECT_NE(text.find("offset 2, scan id 9, 1 entries, 5 networks found"), std::string::npos) << text;
    EXPECT_NE(text.find("ZT-Home"), std::string::npos);
    EXPECT_NE(text.find("bars 4  flags 0x05  word 2437"), std::string::npos) << text;
    EXPECT_EQ(text.find("not counted"), std::string::npos);
    EXPECT_EQ(ztctl::decodePayload(20, Bytes(491, 0)), "");

    EXPECT_EQ(ztctl::decodePayload(98, {0xEA, 0x07, 1, 2, 3, 4, 5}), "date: 2026-01-02 03:04:05");
}

}  // namespace
