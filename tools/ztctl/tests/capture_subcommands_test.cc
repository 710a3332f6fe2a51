// ztctl's capture and mode subcommands: the command values and argument
// layouts they build (the daemon reads them at fixed offsets), the names they
// accept for modes and groups, and the printing of a preset answer.
#include <gtest/gtest.h>

#include "CommandLine.h"
#include "ReplyFormatter.h"
#include "wsdkCommands/WSDK_Preset.pb.h"

namespace {

using ztctl::Bytes;

std::optional<ztctl::Options> parse(std::vector<const char *> args)
{
    args.insert(args.begin(), "ztctl");
    std::string error;
    return ztctl::parseCommandLine(static_cast<int>(args.size()), args.data(), error);
}

// Command value and argument bytes, or {0, "refused"} when parsing fails.
std::pair<uint32_t, Bytes> built(std::vector<const char *> args)
{
    auto o = parse(std::move(args));
    if (!o)
        return {0, Bytes{0xEE}};
    return {o->command, o->argument.value_or(Bytes{0xAA})};
}

TEST(CaptureSubcommands, WordsBuildTheDaemonsArgumentLayouts)
{
    using P = std::pair<uint32_t, Bytes>;
    EXPECT_EQ(built({"shutter", "on"}), (P{3, {1}}));
    EXPECT_EQ(built({"shutter", "off"}), (P{3, {0}}));
    EXPECT_EQ(built({"mode", "photo"}), (P{4, {1, 0, 0, 0}}));
    EXPECT_EQ(built({"mode", "18"}), (P{4, {18, 0, 0, 0}}));
    EXPECT_EQ(built({"submode", "video", "4"}), (P{5, {0, 0, 0, 0, 4, 0, 0, 0}}));
    EXPECT_EQ(built({"set-mode", "photo-night"}), (P{67, {18, 0}}));
    EXPECT_EQ(built({"set-mode", "TIME_LAPSE_VIDEO"}), (P{67, {13, 0}}));
    EXPECT_EQ(built({"set-mode", "group-timelapse"}), (P{67, {0xEA, 0x03}}));
    EXPECT_EQ(built({"capture-delay", "3"}), (P{66, {3, 0, 0, 0}}));
    EXPECT_EQ(built({"zoom", "0x105"}), (P{61, {5, 1, 0, 0}}));
    EXPECT_EQ(built({"quick-capture"}), (P{99, {1}}));
    EXPECT_EQ(built({"exposure", "reset"}), (P{51, Bytes(16, 0)}));
    EXPECT_EQ(built({"exposure", "lens", "30", "40", "1"}),
              (P{51, {3, 0, 0, 0, 30, 0, 0, 0, 40, 0, 0, 0, 1, 0, 0, 0}}));
    EXPECT_EQ(built({"busy"}), (P{100, {0xAA}})) << "busy sends no argument element";
}

TEST(CaptureSubcommands, MalformedWordsAreRefusedBeforeSending)
{
    EXPECT_FALSE(parse({"shutter", "maybe"}));
    EXPECT_FALSE(parse({"shutter", "256"}));
    EXPECT_FALSE(parse({"submode", "video"}));
    EXPECT_FALSE(parse({"set-mode", "unknown"}));
    EXPECT_FALSE(parse({"set-mode", "70000"}));
    EXPECT_FALSE(parse({"exposure", "spot", "1"}));
    EXPECT_FALSE(parse({"busy", "now"}));
}

TEST(CaptureSubcommands, PresetAnswerIsPrintedAsProtobufText)
{
    wsdk_commands::WSDK_Preset preset;
    preset.set_id(0x10003);
    preset.set_mode(wsdk_commands::WSDK_FLAT_MODE_PHOTO_NIGHT);
    std::string bytes;
    ASSERT_TRUE(preset.SerializeToString(&bytes));
    const std::string text = ztctl::decodePayload(72, Bytes(bytes.begin(), bytes.end()));
    EXPECT_NE(text.find("WSDK_Preset {"), std::string::npos) << text;
    EXPECT_NE(text.find("  id: 65539"), std::string::npos) << text;
    EXPECT_NE(text.find("  mode: WSDK_FLAT_MODE_PHOTO_NIGHT"), std::string::npos) << text;
    EXPECT_EQ(ztctl::decodePayload(72, Bytes{0xFF, 0xFF}).find("WSDK_Preset"), std::string::npos)
        << "bytes that do not parse are not printed as a preset";
}

}  // namespace
