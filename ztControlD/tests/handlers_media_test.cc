// Tag and delete commands in-process: what reaches the library calls byte for
// byte. Their one-request relatives and the queries are in
// handlers_system_test.cc.
#include <string.h>

#include "ClientMessages.h"
#include "HandlerFixture.h"
#include "ztcontrol_remote_ops.h"

using zttest::concat;
using zttest::textArg;
using zttest::u16Arg;
using zttest::u32Arg;

namespace {

using Media = zttest::HandlerFixture;

// `text` at `at` in `size` zero bytes, cut to the size.
zttest::Bytes field(size_t size, const std::string &text, size_t at = 0)
{
    zttest::Bytes b(size, 0);
    memcpy(b.data() + at, text.data(), std::min(text.size(), size - at));
    return b;
}

// Names reach the library without their terminator (a name filling its field
// has none, one without a NUL ends with the element); the delete list passes
// whole items only, none as a count of zero.
TEST_F(Media, NamesAndDeleteListItemsReachTheLibraryByteForByte)
{
    const std::string name = "100ZTCAM/ZT010001.MP4", longName(kZtTagArgNameField, 'n');
    const auto tag = [](const std::string &text) {
        return concat({u32Arg(0xCAFE), field(kZtTagArgNameField, text), u32Arg(1234)});
    };
    const Bytes items = concat(
        {{1}, field(kZtDeleteItemNameField, name), {2}, field(kZtDeleteItemNameField, "b.JPG")});
    const Bytes full = concat({{0}, Bytes(kZtDeleteItemNameField, 'F')});  // no NUL
    const struct {
        ztcontrol_command_t command;
        Bytes arg;
        std::string function;
        Bytes inputs;
    } cases[] = {
        {ZTCONTROL_KEYMARK_TAG_PLAYBACK, tag(name), "ztc_storage_tag_file",
         concat({u16Arg(21), textArg(name), u32Arg(1234), u32Arg(0xCAFE)})},
        {ZTCONTROL_KEYMARK_TAG_PLAYBACK, tag(longName), "ztc_storage_tag_file",
         concat({u16Arg(kZtTagArgNameField), textArg(longName), u32Arg(1234), u32Arg(0xCAFE)})},
        {ZTCONTROL_DELETE, textArg("ZT010001.MP4", true), "ztc_storage_delete_file",
         concat({u16Arg(12), textArg("ZT010001.MP4")})},
        {ZTCONTROL_DELETE_GROUP, textArg("ZT020003.JPG"), "ztc_storage_delete_group",
         concat({u16Arg(12), textArg("ZT020003.JPG")})},
        {ZTCONTROL_DELETE_LIST, concat({items, {9, 9, 9, 9}}), "ztc_storage_delete_list",
         concat({u32Arg(2), u16Arg(2 * kZtDeleteItemSize), items})},
        {ZTCONTROL_DELETE_LIST, Bytes(10, 'x'), "ztc_storage_delete_list",
         concat({u32Arg(0), u16Arg(0)})},
        {ZTCONTROL_DELETE_LIST, full, "ztc_storage_delete_list",
         concat({u32Arg(1), u16Arg(kZtDeleteItemSize), full})}};
    for (const auto &c : cases) {
        EXPECT_EQ(run(c.command, c.arg).code, 0) << c.command;
        EXPECT_EQ(sentTyped(c.function), c.inputs) << c.command;
    }
}

}  // namespace
