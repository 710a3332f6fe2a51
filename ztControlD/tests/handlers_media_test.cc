// Date, tag, delete and voice commands in-process: what reaches the library
// calls and operations byte for byte (names without terminators, whole
// delete-list items only), the answers passed back, the refusals.
#include <string.h>

#include "ClientMessages.h"
#include "HandlerFixture.h"
#include "ztcontrol_remote_ops.h"

using zttest::concat;
using zttest::textArg;
using zttest::u16Arg;
using zttest::u32Arg;

namespace {

class Media : public zttest::HandlerFixture {
protected:
    // The last run sent only operation (category, id) with `payload`.
    bool sentRemote(uint8_t category, uint8_t id, const Bytes &payload = {}) const
    {
        const auto r = sent();
        return r.size() == 1 && r[0].isRemote(category, id) && r[0].payload == payload;
    }
};

// `text` at `at` in `size` zero bytes, cut to the size.
zttest::Bytes field(size_t size, const std::string &text, size_t at = 0)
{
    zttest::Bytes b(size, 0);
    memcpy(b.data() + at, text.data(), std::min(text.size(), size - at));
    return b;
}

TEST_F(Media, DeleteListPassesWholeItemsOnlyAndACountOfZero)
{
    const Bytes items = concat({{1},
                                field(kZtDeleteItemNameField, "100ZTCAM/ZT010001.MP4"),
                                {2},
                                field(kZtDeleteItemNameField, "b.JPG")});
    const Bytes full =
        concat({{0}, Bytes(kZtDeleteItemNameField, 'F')});  // no NUL: passed on as it is
    const std::pair<Bytes, Bytes> cases[] = {
        {concat({items, {9, 9, 9, 9}}), concat({u32Arg(2), u16Arg(2 * kZtDeleteItemSize), items})},
        {Bytes(10, 'x'), concat({u32Arg(0), u16Arg(0)})},
        {Bytes{}, concat({u32Arg(0), u16Arg(0)})},
        {full, concat({u32Arg(1), u16Arg(kZtDeleteItemSize), full})}};
    for (const auto &[arg, inputs] : cases) {
        EXPECT_EQ(run(ZTCONTROL_DELETE_LIST, arg).code, 0);
        EXPECT_EQ(sentTyped("ztc_storage_delete_list"), inputs);
    }
    EXPECT_EQ(run(ZTCONTROL_DELETE_LIST).code, ZT_ERR_INVALID_PARAM);
    EXPECT_TRUE(sent().empty());

    for (const Bytes &bytes : {Bytes{1, 4, 2}, Bytes{2}}) {  // no NAK-OFF rule: the byte 2 too
        peer().scriptRemote(kStorageCategory, kListDeleteStatusGet, PeerAnswer::Bytes(bytes));
        EXPECT_EQ(run(ZTCONTROL_GET_DELETE_LIST_RESULT), (Outcome{0, bytes, false}));
        EXPECT_TRUE(sentRemote(kStorageCategory, kListDeleteStatusGet));
    }
    peer().scriptRemote(kStorageCategory, kListDeleteStatusGet, PeerAnswer::Status(ZT_ERR_MQ_FAIL));
    EXPECT_EQ(run(ZTCONTROL_GET_DELETE_LIST_RESULT), (Outcome{ZT_ERR_MQ_FAIL, {}, false}));
}

TEST_F(Media, TagsAndDeletesSendTheNameWithoutTerminator)
{
    const std::string name = "100ZTCAM/ZT010001.MP4", longName(kZtTagArgNameField, 'n');
    const std::pair<std::string, Bytes> playbackTags[] = {
        // the long name ends with its field
        {name, concat({u16Arg(21), textArg(name), u32Arg(1234), u32Arg(0xCAFE)})},
        {longName,
         concat({u16Arg(kZtTagArgNameField), textArg(longName), u32Arg(1234), u32Arg(0xCAFE)})}};
    for (const auto &[text, inputs] : playbackTags) {
        EXPECT_EQ(run(ZTCONTROL_KEYMARK_TAG_PLAYBACK,
                      concat({u32Arg(0xCAFE), field(kZtTagArgNameField, text), u32Arg(1234)}))
                      .code,
                  0);
        EXPECT_EQ(sentTyped("ztc_storage_tag_file"), inputs);
    }
    EXPECT_EQ(run(ZTCONTROL_DELETE, textArg("ZT010001.MP4", true)).code, 0);
    EXPECT_EQ(sentTyped("ztc_storage_delete_file"), concat({u16Arg(12), textArg("ZT010001.MP4")}));
    EXPECT_EQ(run(ZTCONTROL_DELETE_GROUP, textArg("ZT020003.JPG")).code,
              0);  // ends with the element
    EXPECT_EQ(sentTyped("ztc_storage_delete_group"), concat({u16Arg(12), textArg("ZT020003.JPG")}));

    const std::pair<ztcontrol_command_t, uint8_t> simple[] = {
        {ZTCONTROL_KEYMARK_TAG_RECORDING, kKeymarkTag},
        {ZTCONTROL_DELETE_LAST, kLatestFileDelete},
        {ZTCONTROL_DELETE_ALL, kAllDelete}};
    for (const auto &[command, id] : simple) {
        EXPECT_EQ(run(command).code, 0);
        EXPECT_TRUE(sentRemote(kStorageCategory, id)) << command;
        EXPECT_EQ(run(command, Bytes{}).code, ZT_ERR_INVALID_PARAM);
    }
}

TEST_F(Media, DateTimeBytesPassThroughAndTheRefusalByteIsAQuietNakOff)
{
    const Bytes date = {0xEA, 0x07, 12, 5, 19, 30, 0};
    EXPECT_EQ(run(ZTCONTROL_SET_DATE_TIME, date).code, 0);
    EXPECT_TRUE(sentRemote(kSetupCategory, kDateTimeSet, date));
    const std::pair<PeerAnswer, Outcome> answers[] = {
        {PeerAnswer::Bytes(date), {0, date, false}},
        {PeerAnswer::Bytes({2}), {ZT_ERR_NAK_OFF, {}, true}},
        {PeerAnswer::Bytes({2, 0}), {0, {2, 0}, false}},  // not the refusal byte
        {PeerAnswer::Status(ZT_ERR_MQ_FAIL), {ZT_ERR_MQ_FAIL, {}, false}}};
    for (const auto &[answer, outcome] : answers) {
        peer().scriptRemote(kSetupCategory, kDateTimeGet, answer);
        EXPECT_EQ(run(ZTCONTROL_GET_DATE_TIME), outcome);
        EXPECT_TRUE(sentRemote(kSetupCategory, kDateTimeGet));
    }
    EXPECT_EQ(run(ZTCONTROL_GET_DATE_TIME, Bytes{}).code, ZT_ERR_INVALID_PARAM);
    EXPECT_TRUE(sent().empty());
}

TEST_F(Media, VoiceModeSendsItsByte)
{
    EXPECT_EQ(run(ZTCONTROL_VOICE_MODE, Bytes{2}).code, 0);
    EXPECT_TRUE(sentRemote(kVoiceCategory, 9, {2}));
    EXPECT_EQ(run(ZTCONTROL_VOICE_PHOTO_TAKE).code, 0);
    EXPECT_TRUE(sentRemote(kVoiceCategory, 0));
    EXPECT_EQ(run(ZTCONTROL_VOICE_DELETE_LAST, Bytes{}).code, ZT_ERR_INVALID_PARAM);
    EXPECT_EQ(run(ZTCONTROL_VOICE_PHOTO_TAKE, Bytes{}).code, ZT_ERR_INVALID_PARAM);
}

}  // namespace
