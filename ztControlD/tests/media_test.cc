// The real daemon's date, tag, delete and voice commands against the
// scripted firmware peer: what reaches the library calls and firmware
// operations byte for byte (name lengths without terminators, whole delete-
// list items only), the answers passed back (NAK-OFF, result bytes of any
// length), and the refusals that must send nothing.
#include <gtest/gtest.h>

#include <string.h>

#include "CommandFixture.h"

using zttest::Bytes;
using zttest::concat;

namespace {

enum : uint32_t {
    kSetDate = 6,
    kTagRecording = 7,
    kTagPlayback = 8,
    kDelete = 9,
    kDeleteLast = 10,
    kDeleteGroup = 11,
    kDeleteAll = 12,
    kVoicePhoto = 52,
    kVoiceMode = 59,
    kVoiceDeleteLast = 63,
    kDeleteList = 93,
    kDeleteListResult = 94,
    kGetDate = 98,
};
constexpr int32_t kErr = -1;
constexpr int32_t kInvalid = -3;
constexpr int32_t kMqFail = -5;
constexpr int32_t kNakOff = -103;
constexpr int32_t kNotSupported = -104;

using zttest::textArg;
using zttest::u16Arg;
using zttest::u32Arg;

// The 268-byte tag argument: leading word, name field of 260 bytes, offset.
Bytes tagArg(uint32_t word, const std::string &name, uint32_t offset, size_t size = 268)
{
    Bytes b = u32Arg(word);
    Bytes field(260, 0);
    memcpy(field.data(), name.data(), std::min<size_t>(name.size(), 260));
    b = concat({b, field, u32Arg(offset)});
    b.resize(size);
    return b;
}

// A 23-byte delete-list item.
Bytes item(uint8_t code, const std::string &name)
{
    Bytes b(23, 0);
    b[0] = code;
    memcpy(b.data() + 1, name.data(), std::min<size_t>(name.size(), 22));
    return b;
}

class Media : public zttest::CommandFixture {
protected:
    // The one firmware operation sent since the last call() was (category, id).
    bool sentRemote(uint8_t category, uint8_t id, const Bytes &payload = {}) const
    {
        auto request = sentOne();
        return request && request->isRemote(category, id) && request->payload == payload;
    }
};

TEST_F(Media, DeleteListPassesWholeItemsOnlyAndACountOfZero)
{
    const Bytes items = concat({item(1, "100ZTCAM/ZT010001.MP4"), item(2, "ZT010002.JPG")});
    EXPECT_EQ(call(kDeleteList, concat({items, {9, 9, 9, 9}})).result, 0);  // 50 bytes: 2 items
    EXPECT_EQ(sentTyped("ztc_storage_delete_list"), concat({u32Arg(2), u16Arg(46), items}));

    EXPECT_EQ(call(kDeleteList, Bytes(10, 'x')).result, 0);
    EXPECT_EQ(sentTyped("ztc_storage_delete_list"), concat({u32Arg(0), u16Arg(0)}));
    EXPECT_EQ(call(kDeleteList, Bytes{}).result, 0);
    EXPECT_EQ(sentTyped("ztc_storage_delete_list"), concat({u32Arg(0), u16Arg(0)}));

    // A name filling its 22 bytes without NUL is passed on as it is.
    const Bytes full = item(0, std::string(22, 'F'));
    EXPECT_EQ(call(kDeleteList, full).result, 0);
    EXPECT_EQ(sentTyped("ztc_storage_delete_list"), concat({u32Arg(1), u16Arg(23), full}));

    peer().scriptTyped("ztc_storage_delete_list", PeerAnswer::Status(kErr));
    EXPECT_EQ(call(kDeleteList, items).result, kErr);

    EXPECT_EQ(call(kDeleteList).result, kInvalid);
    EXPECT_TRUE(sent().empty());
}

TEST_F(Media, DeleteListResultPassesTheAnswerBytesThroughWhateverTheirLength)
{
    const Bytes answers[] = {{1, 4, 2}, {0}, {7, 6, 5, 4, 3, 2, 1, 0, 9}, {2}};
    for (const Bytes &bytes : answers) {
        peer().scriptRemote(9, 23, PeerAnswer::Bytes(bytes));
        EXPECT_EQ(answer(kDeleteListResult),
                  (Answer{0, bytes}));  // no NAK-OFF rule: the byte 2 too
        EXPECT_TRUE(sentRemote(9, 23));
    }
    peer().scriptRemote(9, 23, PeerAnswer::Status(kMqFail));
    EXPECT_EQ(answer(kDeleteListResult), (Answer{kMqFail, {}}));

    EXPECT_EQ(call(kDeleteListResult, Bytes{1}).result, kInvalid);
    EXPECT_TRUE(sent().empty());
}

TEST_F(Media, TagPlaybackSendsTheNameWithoutTerminatorAndBothWords)
{
    EXPECT_EQ(call(kTagPlayback, tagArg(0xCAFE, "100ZTCAM/ZT010001.MP4", 1234)).result, 0);
    EXPECT_EQ(sentTyped("ztc_storage_tag_file"),
              concat({u16Arg(21), textArg("100ZTCAM/ZT010001.MP4"), u32Arg(1234), u32Arg(0xCAFE)}));

    // A name filling the whole field stops at the field's end.
    EXPECT_EQ(call(kTagPlayback, tagArg(0, std::string(260, 'n'), 5)).result, 0);
    EXPECT_EQ(sentTyped("ztc_storage_tag_file"),
              concat({u16Arg(260), textArg(std::string(260, 'n')), u32Arg(5), u32Arg(0)}));

    EXPECT_EQ(call(kTagPlayback, tagArg(0, "short.MP4", 5, 267)).result, kInvalid);
    EXPECT_EQ(call(kTagPlayback).result, kInvalid);
    EXPECT_TRUE(sent().empty());

    EXPECT_EQ(call(kTagRecording).result, 0);
    EXPECT_TRUE(sentRemote(9, 12));
    peer().scriptRemote(9, 12, PeerAnswer::Status(kErr));
    EXPECT_EQ(call(kTagRecording).result, kErr);
}

TEST_F(Media, DeleteOneOrGroupSendsTheNameWithoutTerminator)
{
    EXPECT_EQ(call(kDelete, textArg("ZT010001.MP4", true)).result, 0);
    EXPECT_EQ(sentTyped("ztc_storage_delete_file"), concat({u16Arg(12), textArg("ZT010001.MP4")}));

    // A name that ends with the element, without NUL, is read no further.
    EXPECT_EQ(call(kDeleteGroup, textArg("ZT020003.JPG")).result, 0);
    EXPECT_EQ(sentTyped("ztc_storage_delete_group"), concat({u16Arg(12), textArg("ZT020003.JPG")}));

    peer().scriptTyped("ztc_storage_delete_file", PeerAnswer::Status(kErr));
    EXPECT_EQ(call(kDelete, textArg("missing", true)).result, kErr);

    // An empty name goes to the firmware too; its answer is the answer.
    EXPECT_EQ(call(kDelete, Bytes{0, 'x'}).result, kErr);
    EXPECT_EQ(sentTyped("ztc_storage_delete_file"), u16Arg(0));
    EXPECT_EQ(call(kDelete).result, kInvalid);
    EXPECT_EQ(call(kDeleteGroup, Bytes{}).result, kInvalid);
    EXPECT_TRUE(sent().empty());

    EXPECT_EQ(call(kDeleteLast).result, 0);
    EXPECT_TRUE(sentRemote(9, 9));
    EXPECT_EQ(call(kDeleteAll).result, 0);
    EXPECT_TRUE(sentRemote(9, 10));
    EXPECT_EQ(call(kDeleteAll, Bytes{1}).result, kInvalid);
    EXPECT_TRUE(sent().empty());
}

TEST_F(Media, DateTimeBytesPassThroughAndTheRefusalByteAnswersNakOff)
{
    const Bytes date = {0xEA, 0x07, 12, 5, 19, 30, 0};
    EXPECT_EQ(call(kSetDate, date).result, 0);
    EXPECT_TRUE(sentRemote(7, 27, date));
    EXPECT_EQ(call(kSetDate).result, kInvalid);
    EXPECT_TRUE(sent().empty());

    peer().scriptRemote(7, 26, PeerAnswer::Bytes(date));
    EXPECT_EQ(answer(kGetDate), (Answer{0, date}));
    EXPECT_TRUE(sentRemote(7, 26));

    // The refusal follows a successful query: no "returned ztErrno" line.
    peer().scriptRemote(7, 26, PeerAnswer::Bytes({2}));
    size_t mark = daemon().logMark();
    auto reply = call(kGetDate);
    EXPECT_EQ(reply.result, kNakOff);
    EXPECT_FALSE(reply.hasPayload);
    EXPECT_EQ(call(kSetDate).result, kInvalid);  // logs its line after any line of the refusal
    ASSERT_TRUE(
        daemon().waitForLog("Command: ZTCONTROL_SET_DATE_TIME (6)", std::chrono::seconds(2), mark));
    EXPECT_EQ(daemon().log().find("Command: ZTCONTROL_GET_DATE_TIME", mark), std::string::npos);

    peer().scriptRemote(7, 26, PeerAnswer::Bytes({2, 0}));  // not the refusal byte
    EXPECT_EQ(answer(kGetDate), (Answer{0, (Bytes{2, 0})}));

    peer().scriptRemote(7, 26, PeerAnswer::Status(kMqFail));
    reply = call(kGetDate);
    EXPECT_EQ(reply.result, kMqFail);
    EXPECT_FALSE(reply.hasPayload);

    EXPECT_EQ(call(kGetDate, Bytes{}).result, kInvalid);
    EXPECT_TRUE(sent().empty());
}

TEST_F(Media, VoiceCommandsSendTheirOperationsAndDeleteLastIsRefused)
{
    const std::pair<uint32_t, uint8_t> operations[] = {{52, 0}, {53, 1}, {54, 2}, {55, 3},
                                                       {56, 4}, {57, 5}, {58, 6}, {62, 10}};
    for (const auto &op : operations) {
        EXPECT_EQ(call(op.first).result, 0) << "command " << op.first;
        EXPECT_TRUE(sentRemote(15, op.second)) << "command " << op.first;
    }
    EXPECT_EQ(call(kVoiceMode, zttest::u8Arg(2)).result, 0);
    EXPECT_TRUE(sentRemote(15, 9, {2}));

    const size_t mark = daemon().logMark();
    EXPECT_EQ(call(kVoiceDeleteLast).result, kNotSupported);
    EXPECT_TRUE(sent().empty());
    EXPECT_TRUE(daemon().waitForLog("NOT SUPPORTED 63", std::chrono::seconds(2), mark));

    peer().scriptRemote(15, 0, PeerAnswer::Status(kErr));
    EXPECT_EQ(call(kVoicePhoto).result, kErr);

    EXPECT_EQ(call(kVoiceMode).result, kInvalid);
    EXPECT_EQ(call(kVoicePhoto, Bytes{1}).result, kInvalid);
    EXPECT_TRUE(sent().empty());
}

}  // namespace
