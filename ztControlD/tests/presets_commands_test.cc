// The preset commands through the real daemon against the scripted firmware
// peer: the request-message rule every command shares, the exact preset
// operations and payloads each command sends, custom create's validation and
// computed title number, the refusals around the current preset, and the
// answers' messages.
#include <gtest/gtest.h>

#include "CommandFixture.h"
#include "PresetAnswers.h"
#include "StatusBlock.h"
#include "wsdkCommands/WSDK_Preset.pb.h"
#include "wsdkCommands/WSDK_RequestCreateCustomPreset.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"

using namespace zttest;
namespace zp = ztcontrol::presets;

namespace {

enum : uint32_t {
    kListGroups = 70,
    kListIds = 71,
    kGetInfo = 72,
    kCreate = 73,
    kRemove = 74,
    kSetOrder = 75,
    kLoad = 76,
    kEditStart = 77,
    kEditCancel = 78,
    kEditStore = 79,
    kFactoryReset = 80,
    kGetPresets = 81,
    kSwitchFlatMode = 82,
    kTitleIcon = 83,
    kShortcutsReset = 84,
    kActivePreset = 87,
    kActiveGroup = 89,
    kDigitalZoom = 61,
};
constexpr int32_t kErr = -1;
constexpr int32_t kInvalid = -3;
constexpr uint32_t kModelItem = 1;

Bytes bytesOf(const google::protobuf::MessageLite &message)
{
    std::string s;
    message.SerializeToString(&s);
    return Bytes(s.begin(), s.end());
}

zp::ZTC_Preset_Custom_Create_Req createReq(uint32_t group, uint32_t mode, uint32_t icon,
                                           uint32_t title)
{
    zp::ZTC_Preset_Custom_Create_Req r;
    r.set_group_id(group);
    r.set_flat_mode(mode);
    r.set_preset_icon(icon);
    r.set_preset_name(title);
    r.set_preset_name_iterator(9);
    return r;
}

template <typename Request>
Bytes idReq(uint32_t id)
{
    Request r;
    r.set_preset_id(id);
    return bytesOf(r);
}

// The answer's payload as `Message` (a test failure when it does not parse).
template <typename Message>
Message parsed(const Reply &reply)
{
    Message m;
    EXPECT_TRUE(m.ParseFromArray(reply.payload.data(), (int)reply.payload.size()));
    return m;
}

class PresetCommands : public CommandFixture {
protected:
    static void SetUpTestSuite()
    {
        startSuite([](ZtFirmwarePeer &peer) { peer.setCsiItem(kModelItem, 57); });
    }

    // The firmware's active-set event makes id the daemon's current preset.
    static void makeCurrent(uint32_t id)
    {
        const size_t mark = peer().requestCount();
        ASSERT_TRUE(peer().postPresetEvent(6, id));
        ASSERT_TRUE(peer().waitForRequest(
            [](const PeerRequest &r) { return r.isTyped("ztc_system_get_lenses"); }, 3000, mark))
            << daemon().log();
        peer().scriptRemote(8, 11,
                            PeerAnswer::Bytes(StatusBlock().group(0).videoPreset(id).bytes()));
    }

    // Preset operations (category 17) since call(), as (operation, payload).
    std::vector<std::pair<int, Bytes>> presetOps() const
    {
        std::vector<std::pair<int, Bytes>> out;
        for (const auto &r : sent())
            if (r.kind == "RA" && r.category == kPresetOps)
                out.emplace_back(r.identifier, r.payload);
        return out;
    }
};

using Ops = std::vector<std::pair<int, Bytes>>;

TEST_F(PresetCommands, MissingGarbledIncompleteOrOutOfRangeRequestsAreRefusedBeforeTheFirmware)
{
    zp::ZTC_Preset_Set_Order_Req orderOnlyId;
    orderOnlyId.set_preset_id(1);
    auto createNoIterator = createReq(0, 12, 18, 18);
    createNoIterator.clear_preset_name_iterator();
    zp::ZTC_Preset_List_Req groupTooHigh;
    groupTooHigh.set_group_id(1015);
    const Bytes garbled{0x0A, 0x05, 0x01};  // field 1 claims five bytes, has one

    struct Case {
        uint32_t command;
        Bytes incomplete;
    };
    const Case cases[] = {
        {kListIds, bytesOf(groupTooHigh)},
        {kGetInfo, {}},
        {kCreate, bytesOf(createNoIterator)},
        {kRemove, {}},
        {kSetOrder, bytesOf(orderOnlyId)},
        {kLoad, {}},
        {kEditStart, {}},
        {kFactoryReset, {}},
        {kSwitchFlatMode, {}},
        {kTitleIcon, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("command " + std::to_string(c.command));
        EXPECT_EQ(call(c.command).result, kInvalid) << "no argument";
        EXPECT_TRUE(presetOps().empty());
        EXPECT_EQ(call(c.command, garbled).result, kInvalid) << "garbled";
        EXPECT_TRUE(presetOps().empty());
        EXPECT_EQ(call(c.command, c.incomplete).result, kInvalid) << "incomplete";
        EXPECT_TRUE(presetOps().empty());
    }
    for (uint32_t command : {kListGroups, kEditCancel, kEditStore, kGetPresets}) {
        EXPECT_EQ(call(command, Bytes{}).result, kInvalid) << "argument to " << command;
        EXPECT_TRUE(presetOps().empty());
    }
    // Custom create: group, flat mode, icon and title outside the custom ranges.
    for (const auto &req :
         {createReq(3, 12, 18, 18), createReq(1003, 12, 18, 18), createReq(0, 11, 18, 18),
          createReq(0, 32, 18, 18), createReq(0, 12, 17, 18), createReq(0, 12, 1002, 18),
          createReq(0, 12, 18, 17), createReq(0, 12, 18, 80)}) {
        EXPECT_EQ(call(kCreate, bytesOf(req)).result, kInvalid) << req.ShortDebugString();
        EXPECT_TRUE(presetOps().empty());
    }
}

TEST_F(PresetCommands, GroupListLeavesOutOrbiGroupsAndKeepsFirmwareNumbers)
{
    peer().scriptRemote(kPresetOps, kOpListGroups, PeerAnswer::Bytes(groupList({0, 3, 1, 12})));
    Reply reply = call(kListGroups);
    ASSERT_EQ(reply.result, 0);
    const auto groups = parsed<zp::ZTC_Preset_Group_List_Resp>(reply);
    EXPECT_EQ(std::vector<uint32_t>(groups.preset_groups().begin(), groups.preset_groups().end()),
              (std::vector<uint32_t>{1000, 1001, 1012}));

    peer().scriptRemote(kPresetOps, kOpListGroups, PeerAnswer::Bytes({}));
    reply = call(kListGroups);
    EXPECT_EQ(reply.result, 0);
    EXPECT_FALSE(reply.hasPayload);
    peer().scriptRemote(kPresetOps, kOpListGroups, PeerAnswer::Status(-5));
    EXPECT_EQ(call(kListGroups).result, -5);
}

TEST_F(PresetCommands, IdListAsksForTheGroupTheCameraStateUses)
{
    struct Case {
        uint8_t ux, power;
        uint32_t group;
        uint8_t sent;
    };
    const Case cases[] = {{0, 0, 1001, 12}, {1, 2, 1000, 9}, {1, 0, 2, 2}, {1, 0, 1005, 255}};
    peer().scriptRemote(kPresetOps, kOpListIds, PeerAnswer::Bytes(idList({0x10000, 0x100})));
    for (const Case &c : cases) {
        peer().scriptTyped("ztc_setup_get_camera_ux_mode", PeerAnswer::Bytes({c.ux}));
        peer().scriptTyped("ztc_system_get_power_profile", PeerAnswer::Bytes({c.power}));
        zp::ZTC_Preset_List_Req req;
        req.set_group_id(c.group);
        req.set_include_info(true);
        const Reply reply = call(kListIds, bytesOf(req));
        EXPECT_EQ(reply.result, 0);
        EXPECT_EQ(presetOps(), (Ops{{kOpListIds, {c.sent}}})) << "group " << c.group;
        const auto list = parsed<zp::ZTC_Preset_List_Resp>(reply);
        EXPECT_EQ(std::vector<uint32_t>(list.presets().begin(), list.presets().end()),
                  (std::vector<uint32_t>{0x10000, 0x100}));
        EXPECT_FALSE(list.has_preset_group());
    }
}

TEST_F(PresetCommands, InfoTranslatesTheRecordAndRefusesOtherSizes)
{
    const PresetRecord record{20, true, 0x101, 17, 70, 2};  // mode, user, id, icon, title, number
    peer().scriptRemote(kPresetOps, kOpGetInfo, PeerAnswer::Bytes(record.bytes()));
    Reply reply = call(kGetInfo, idReq<zp::ZTC_Preset_Info_Req>(0x101));
    ASSERT_EQ(reply.result, 0);
    EXPECT_EQ(presetOps(), (Ops{{kOpGetInfo, leWords({0x101})}}));
    const auto preset = parsed<wsdk_commands::WSDK_Preset>(reply);
    EXPECT_EQ(preset.id(), 0x101);
    EXPECT_EQ(preset.mode(), wsdk_commands::WSDK_FLAT_MODE_TIME_LAPSE_PHOTO);
    EXPECT_EQ(preset.icon(), wsdk_commands::WSDK_PRESET_ICON_TIMELAPSE_PHOTO);
    EXPECT_EQ(preset.title_id(), wsdk_commands::WSDK_PRESET_TITLE_PHOTO);
    EXPECT_EQ(preset.title_number(), 2);
    EXPECT_TRUE(preset.user_defined());

    Bytes shortRecord = record.bytes();
    shortRecord.pop_back();
    peer().scriptRemote(kPresetOps, kOpGetInfo, PeerAnswer::Bytes(shortRecord));
    reply = call(kGetInfo, idReq<zp::ZTC_Preset_Info_Req>(0x101));
    EXPECT_EQ(reply.result, kErr);
    EXPECT_FALSE(reply.hasPayload);
}

TEST_F(PresetCommands, CreateNumbersTheTitleItselfAndCompletesTheNewPreset)
{
    peer().scriptRemote(kPresetOps, kOpListIds,
                        PeerAnswer::Bytes(idList({0x100, 0x101, 0x102, 0x103})));
    const std::pair<uint32_t, uint32_t> titles[] = {{20, 0}, {20, 1}, {21, 2}, {20, 3}};
    for (const auto &t : titles)
        peer().scriptRemoteOnce(
            kPresetOps, kOpGetInfo,
            PeerAnswer::Bytes(PresetRecord{12, true, 0, 0, t.first, t.second}.bytes()));
    peer().scriptRemote(kPresetOps, kOpCreate, PeerAnswer::Bytes(leWords({0x104})));
    // Group 1002 and the flat mode's low byte (0x10C is 12).
    const Reply reply = call(kCreate, bytesOf(createReq(1002, 0x10C, 1000, 20)));
    EXPECT_EQ(reply.result, 0);
    Bytes create{2, 12};
    for (uint8_t b : leWords({8, 20, 2, 0}))
        create.push_back(b);
    const Ops ops = presetOps();
    ASSERT_EQ(ops.size(), 8u);
    EXPECT_EQ(ops[0], (std::pair<int, Bytes>{kOpListIds, {2}}));
    EXPECT_EQ(ops[5], (std::pair<int, Bytes>{kOpCreate, create}));
    EXPECT_EQ(ops[6], (std::pair<int, Bytes>{kOpFlatModeSwitch, {12}}));
    EXPECT_EQ(ops[7], (std::pair<int, Bytes>{kOpEditStore, {}}));
    const auto created = parsed<wsdk_commands::WSDK_ResponseCreateCustomPreset>(reply);
    EXPECT_EQ(created.preset_id(), 0x104);
    EXPECT_EQ(created.result(), RESULT_SUCCESS);
}

TEST_F(PresetCommands, CreateReportsTheNewIdEvenWhenCompletionFails)
{
    peer().scriptRemote(kPresetOps, kOpListIds, PeerAnswer::Bytes(idList({})));
    peer().scriptRemote(kPresetOps, kOpCreate, PeerAnswer::Bytes(leWords({0x100})));
    peer().scriptRemote(kPresetOps, kOpFlatModeSwitch, PeerAnswer::Status(-5));
    Reply reply = call(kCreate, bytesOf(createReq(0, 13, 18, 18)));
    EXPECT_EQ(reply.result, -5);
    EXPECT_EQ(parsed<wsdk_commands::WSDK_ResponseCreateCustomPreset>(reply).preset_id(), 0x100);

    peer().scriptRemote(kPresetOps, kOpCreate, PeerAnswer::Bytes({1, 2, 3}));
    reply = call(kCreate, bytesOf(createReq(0, 13, 18, 18)));
    EXPECT_EQ(reply.result, kErr) << "a short create answer names no preset";
    EXPECT_FALSE(reply.hasPayload);

    peer().scriptRemote(kPresetOps, kOpListIds, PeerAnswer::Status(-5));
    EXPECT_EQ(call(kCreate, bytesOf(createReq(0, 13, 18, 18))).result, kErr);
    EXPECT_EQ(presetOps().size(), 1u) << "no create without a title number";
}

TEST_F(PresetCommands, FlatModeSwitchIsRefusedForPredefinedPresets)
{
    makeCurrent(0x10000);
    zp::ZTC_Preset_Switch_Flatmode_Req req;
    req.set_flat_mode(15);
    EXPECT_EQ(call(kSwitchFlatMode, bytesOf(req)).result, kErr);
    EXPECT_TRUE(presetOps().empty());

    makeCurrent(0x101);
    EXPECT_EQ(call(kSwitchFlatMode, bytesOf(req)).result, 0);
    EXPECT_EQ(
        presetOps(),
        (Ops{{kOpEditStart, leWords({0x101})}, {kOpFlatModeSwitch, {15}}, {kOpEditStore, {}}}));
    peer().scriptRemote(kPresetOps, kOpFlatModeSwitch, PeerAnswer::Status(-5));
    EXPECT_EQ(call(kSwitchFlatMode, bytesOf(req)).result, -5);
    EXPECT_EQ(presetOps().back().first, kOpEditStore) << "the edit is closed after a failed switch";
}

TEST_F(PresetCommands, TitleAndIconKeepTheRecordsOtherWords)
{
    makeCurrent(0x101);
    // The record's id is not used (the current preset's is), nor its user data 3.
    const PresetRecord record{12, true, 0, 20, 21, 3, 9};
    peer().scriptRemote(kPresetOps, kOpGetInfo, PeerAnswer::Bytes(record.bytes()));

    zp::ZTC_Preset_Set_Title_Icon_Req title;
    title.set_preset_name(25);
    EXPECT_EQ(call(kTitleIcon, bytesOf(title)).result, 0);
    EXPECT_EQ(presetOps(), (Ops{{kOpGetInfo, leWords({0x101})},
                                {kOpEditStart, leWords({0x101})},
                                {kOpUserDataEdit, leWords({0x101, 20, 25, 3, 0})},
                                {kOpEditStore, {}}}));

    zp::ZTC_Preset_Set_Title_Icon_Req icon;
    icon.set_preset_icon(1000);
    EXPECT_EQ(call(kTitleIcon, bytesOf(icon)).result, 0);
    EXPECT_EQ(presetOps().at(2),
              (std::pair<int, Bytes>{kOpUserDataEdit, leWords({0x101, 8, 21, 3, 0})}));
}

TEST_F(PresetCommands, OnePresetOperationsSendTheIdAndPassTheStatusOn)
{
    struct Case {
        uint32_t command;
        Bytes arg;
        std::pair<int, Bytes> op;
    };
    zp::ZTC_Preset_Set_Order_Req order;
    order.set_preset_id(0x102);
    order.set_order(4);
    const Case cases[] = {
        {kRemove, idReq<zp::ZTC_Preset_Custom_Remove_Req>(0x102), {kOpRemove, leWords({0x102})}},
        {kLoad, idReq<zp::ZTC_Preset_Load_Req>(0x10001), {kOpActiveSet, leWords({0x10001})}},
        {kEditStart, idReq<zp::ZTC_Preset_Edit_Start_Req>(7), {kOpEditStart, leWords({7})}},
        {kFactoryReset, idReq<zp::ZTC_Preset_Factory_Reset_Req>(2), {kOpRestore, leWords({2})}},
        {kSetOrder, bytesOf(order), {kOpSetOrder, leWords({0x102, 4})}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(call(c.command, c.arg).result, 0);
        EXPECT_EQ(presetOps(), (Ops{c.op})) << "command " << c.command;
        peer().scriptRemoteOnce(kPresetOps, (uint8_t)c.op.first, PeerAnswer::Status(-7));
        EXPECT_EQ(call(c.command, c.arg).result, -7);
    }
    EXPECT_EQ(call(kEditCancel).result, 0);
    EXPECT_EQ(presetOps(), (Ops{{kOpEditCancel, {}}}));
    EXPECT_EQ(call(kEditStore).result, 0);
    EXPECT_EQ(presetOps(), (Ops{{kOpEditStore, {}}}));
}

TEST_F(PresetCommands, LoadStoresAnOpenZoomEditFirst)
{
    makeCurrent(0x101);
    const size_t mark = peer().requestCount();
    ASSERT_EQ(call(kDigitalZoom, u32Arg(30)).result, 0);
    EXPECT_EQ(call(kLoad, idReq<zp::ZTC_Preset_Load_Req>(0x10000)).result, 0);
    // The load stores the zoom's edit (or, on a slow machine, the zoom timer
    // already did), but never after the new preset became active.
    std::vector<int> ops;
    const auto all = peer().requests();
    for (size_t i = mark; i < all.size(); ++i)
        if (all[i].kind == "RA" && all[i].category == kPresetOps)
            ops.push_back(all[i].identifier);
    EXPECT_EQ(ops, (std::vector<int>{kOpEditStart, kOpEditStore, kOpActiveSet})) << daemon().log();
}

TEST_F(PresetCommands, ShortcutsResetRunsInsideAPresetEdit)
{
    makeCurrent(0x101);
    EXPECT_EQ(call(kShortcutsReset).result, 0);
    const auto requests = sent();
    std::vector<std::string> steps;
    for (const auto &r : requests)
        if (r.kind == "TC" && r.name == "ztc_preset_onscreen_shortcuts_reset")
            steps.push_back("reset");
        else if (r.isRemote(kPresetOps, kOpEditStart))
            steps.push_back("start");
        else if (r.isRemote(kPresetOps, kOpEditStore))
            steps.push_back("store");
    EXPECT_EQ(steps, (std::vector<std::string>{"start", "reset", "store"}));

    // In playback no edit can be opened.
    peer().scriptTyped("ztc_app_get_mode_flat_mode", PeerAnswer::Bytes(leWords({0, 4})));
    EXPECT_EQ(call(kShortcutsReset).result, kErr);
    EXPECT_TRUE(presetOps().empty());
}

TEST_F(PresetCommands, ActivePresetAndGroupAnswerFourBytes)
{
    auto answer = [this](uint32_t command, std::optional<Bytes> arg = std::nullopt) {
        const Reply reply = call(command, std::move(arg));
        return std::make_pair(reply.result, reply.payload);
    };
    peer().scriptRemote(8, 11,
                        PeerAnswer::Bytes(StatusBlock().group(4).photoPreset(0x40000).bytes()));
    // The argument is not examined.
    EXPECT_EQ(answer(kActivePreset, Bytes{1}), std::make_pair(0, leWords({0x40000})));
    EXPECT_EQ(answer(kActiveGroup), std::make_pair(0, leWords({4})));
    // An unreadable status block: no preset, group 0.
    peer().scriptRemote(8, 11, PeerAnswer::Bytes({2}));
    EXPECT_EQ(answer(kActivePreset), std::make_pair(kErr, leWords({0})));
    EXPECT_EQ(answer(kActiveGroup), std::make_pair(0, leWords({0})));
}

}  // namespace
