// ztctl's settings, status and system subcommands: the argument layouts they
// build (the daemon reads them at fixed offsets and refuses argument
// elements where none is taken), the button words packed into the raw state
// word, and the block answers printed as the daemon's notification JSON.
#include <gtest/gtest.h>

#include "CommandLine.h"
#include "ReplyFormatter.h"
#include "camera_status.h"

namespace {

using ztctl::Bytes;
using P = std::pair<uint32_t, Bytes>;

std::optional<ztctl::Options> parse(std::vector<const char *> args)
{
    args.insert(args.begin(), "ztctl");
    std::string error;
    return ztctl::parseCommandLine(static_cast<int>(args.size()), args.data(), error);
}

// Command value and argument bytes ({0xAA} for no argument element), or
// {0, {0xEE}} when parsing fails.
P built(std::vector<const char *> args)
{
    auto o = parse(std::move(args));
    if (!o)
        return {0, Bytes{0xEE}};
    return {o->command, o->argument.value_or(Bytes{0xAA})};
}

TEST(SettingsSystemSubcommands, WordsBuildTheDaemonsArgumentLayouts)
{
    EXPECT_EQ(built({"setting", "2", "1"}), (P{30, {2, 0, 0, 0, 1, 0, 0, 0}}));
    EXPECT_EQ(built({"setting", "0x90", "300"}), (P{30, {0x90, 0, 0, 0, 0x2C, 1, 0, 0}}));
    EXPECT_EQ(built({"settings"}), (P{32, {0xAA}}));
    EXPECT_EQ(built({"status"}), (P{33, {0xAA}}));
    EXPECT_EQ(built({"state"}), (P{34, {0xAA}}));
    EXPECT_EQ(built({"advset-reset"}), (P{68, {0xAA}}));
    EXPECT_EQ(built({"advset-reset", "photo"}), (P{28, {0xAA}}));
    EXPECT_EQ(built({"speed-ramp", "3"}), (P{85, {3, 0, 0, 0}}));
    EXPECT_EQ(built({"speed-ramp-active", "1"}), (P{86, {1, 0, 0, 0}}));
    EXPECT_EQ(built({"calibration-file"}), (P{64, {0xAA}}));

    EXPECT_EQ(built({"shutdown"}), (P{35, {0xAA}}));
    EXPECT_EQ(built({"sleep"}), (P{36, {0xAA}}));
    EXPECT_EQ(built({"locate", "on"}), (P{37, {1}}));
    EXPECT_EQ(built({"analytics"}), (P{39, {0xAA}}));
    EXPECT_EQ(built({"analytics", "clear"}), (P{40, {0xAA}}));
    EXPECT_EQ(built({"log-level", "4"}), (P{42, {4, 0, 0, 0}}));
    EXPECT_EQ(built({"usb-control", "off"}), (P{96, {0}}));
    EXPECT_EQ(built({"auto-clear", "on"}), (P{97, {1}}));
}

TEST(SettingsSystemSubcommands, ButtonWordsPackStateAndRotationCode)
{
    EXPECT_EQ(built({"button", "mode", "release", "180"}), (P{88, {1, 0, 0, 0, 0x21, 0, 0, 0}}));
    EXPECT_EQ(built({"button", "shutter", "press"}), (P{88, {0, 0, 0, 0, 0, 0, 0, 0}}));
    EXPECT_EQ(built({"multicam", "shutter", "off"}), (P{88, {16, 0, 0, 0, 1, 0, 0, 0}}));
    EXPECT_EQ(built({"multicam", "mode", "default"}), (P{88, {17, 0, 0, 0, 3, 0, 0, 0}}));
}

TEST(SettingsSystemSubcommands, MalformedWordsAreRefusedBeforeSending)
{
    EXPECT_FALSE(parse({"setting", "2"}));
    EXPECT_FALSE(parse({"setting", "2", "x"}));
    EXPECT_FALSE(parse({"status", "now"}));
    EXPECT_FALSE(parse({"shutdown", "1"}));
    EXPECT_FALSE(parse({"advset-reset", "audio"}));
    EXPECT_FALSE(parse({"locate", "256"}));
    EXPECT_FALSE(parse({"button", "power", "press"}));
    EXPECT_FALSE(parse({"button", "mode", "press", "45"}));
    EXPECT_FALSE(parse({"multicam", "mode", "slomo"}));
}

TEST(SettingsSystemSubcommands, BlocksArePrintedAsNotificationJson)
{
    all_status_settings_t block{};
    uint32_t count = 0;
    const camera_status_item_t *item = camera_status_items(&count);
    ASSERT_TRUE(item && count > 0);
    camera_status_write(&block.status, item, 1);
    const uint8_t *raw = reinterpret_cast<const uint8_t *>(&block);

    const std::string status = ztctl::decodePayload(33, Bytes(raw, raw + 394));
    const std::string member = "\"" + std::to_string(item->id) + "\":1";
    EXPECT_EQ(status.rfind("{\"status\":{", 0), 0u) << status;
    EXPECT_NE(status.find(member), std::string::npos) << status;
    EXPECT_EQ(status.back(), '}');

    const std::string both = ztctl::decodePayload(34, Bytes(raw, raw + 634));
    EXPECT_NE(both.find(member), std::string::npos) << both;
    EXPECT_NE(both.find(",\n\"settings\":{"), std::string::npos) << both;
    EXPECT_NE(both.find("\"193\":0"), std::string::npos) << "lens mode as setting 193: " << both;

    EXPECT_EQ(ztctl::decodePayload(32, Bytes(238, 0)).rfind("{\"settings\":{", 0), 0u);
    // A refusal or a short block is not decoded.
    EXPECT_EQ(ztctl::decodePayload(33, Bytes{2}).find("status"), std::string::npos);
    EXPECT_EQ(ztctl::decodePayload(34, Bytes(633, 0)).find("status"), std::string::npos);
}

}  // namespace
