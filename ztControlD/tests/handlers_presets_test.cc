// The preset commands in-process: request rules and the preset operations
// each sends (the full list is in every golden session and presets_list_test).
#include <array>

#include "ClientMessages.h"
#include "HandlerFixture.h"
#include "PresetAnswers.h"
#include "StatusBlock.h"
#include "wsdkCommands/WSDK_Preset.pb.h"
#include "wsdkCommands/WSDK_RequestCreateCustomPreset.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"

using namespace zttest;
namespace zp = ztcontrol::presets;

namespace {

using Ops = std::vector<std::pair<int, std::vector<uint8_t>>>;

std::vector<uint8_t> bytesOf(const google::protobuf::MessageLite &message)
{
    const std::string s = message.SerializeAsString();
    return {s.begin(), s.end()};
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

// A request whose field 1 (the preset or group id of every such request) is v.
std::vector<uint8_t> idReq(uint32_t v)
{
    zp::ZTC_Preset_Info_Req r;
    r.set_preset_id(v);
    return bytesOf(r);
}

template <typename Message>
Message parsed(const std::vector<uint8_t> &payload)
{
    Message m;
    EXPECT_TRUE(m.ParseFromArray(payload.data(), static_cast<int>(payload.size())));
    return m;
}

class Presets : public HandlerFixture {
protected:
    // Makes id the current preset and the one the status block reports.
    void makeCurrent(uint32_t id)
    {
        state().m_currentPreset = id;
        state().m_refreshCurrentPreset = false;
        peer().scriptRemote(kSystemCategory, kAllStatusGet,
                            PeerAnswer::Bytes(StatusBlock().group(0).videoPreset(id).bytes()));
    }
    // Preset operations (category 17) of the last run().
    Ops presetOps() const
    {
        Ops out;
        for (const auto &r : sent())
            if (r.kind == "RA" && r.category == kPresetCategory)
                out.emplace_back(r.identifier, r.payload);
        return out;
    }
};

// Requests that are missing, garbled or lack a field the command needs are
// refused before the firmware is asked; so are groups above 14 and a custom
// preset's group, flat mode, icon or title outside the custom ranges.
TEST_F(Presets, MissingGarbledIncompleteOrOutOfRangeRequestsAreRefusedBeforeTheFirmware)
{
    zp::ZTC_Preset_Set_Order_Req orderOnlyId;
    orderOnlyId.set_preset_id(1);
    auto createNoIterator = createReq(0, 12, 18, 18);
    createNoIterator.clear_preset_name_iterator();
    const Bytes garbled{0x0A, 0x05, 0x01};  // field 1 claims five bytes, has one
    const std::pair<ztcontrol_command_t, std::optional<Bytes>> cases[] = {
        {ZTCONTROL_PRESET_GET_INFO, std::nullopt},
        {ZTCONTROL_PRESET_GET_INFO, garbled},
        {ZTCONTROL_PRESET_LIST_IDS, idReq(1015)},
        {ZTCONTROL_PRESET_CUSTOM_CREATE, bytesOf(createNoIterator)},
        {ZTCONTROL_PRESET_SET_ORDER, bytesOf(orderOnlyId)},
        {ZTCONTROL_PRESET_SWITCH_FLATMODE, Bytes{}},  // parses, but names no flat mode
        {ZTCONTROL_PRESET_CUSTOM_CREATE, bytesOf(createReq(3, 12, 18, 18))},
        {ZTCONTROL_PRESET_CUSTOM_CREATE, bytesOf(createReq(0, 11, 18, 18))},
        {ZTCONTROL_PRESET_CUSTOM_CREATE, bytesOf(createReq(0, 32, 18, 18))},
        {ZTCONTROL_PRESET_CUSTOM_CREATE, bytesOf(createReq(0, 12, 17, 18))},
        {ZTCONTROL_PRESET_CUSTOM_CREATE, bytesOf(createReq(0, 12, 1002, 18))},
        {ZTCONTROL_PRESET_CUSTOM_CREATE, bytesOf(createReq(0, 12, 18, 17))},
        {ZTCONTROL_PRESET_CUSTOM_CREATE, bytesOf(createReq(0, 12, 18, 80))}};
    for (const auto &[command, arg] : cases) {
        EXPECT_EQ(run(command, arg).code, ZT_ERR_INVALID_PARAM) << command;
        EXPECT_TRUE(presetOps().empty());
    }
}

// The id list asks for the group the lens type, ux mode and power profile
// make of the client's group; none past the three groups or the profiles.
// (The group list's client numbers are in every golden session.)
TEST_F(Presets, IdListUsesTheGroupOfTheCameraState)
{
    const std::array<int, 5> cases[] = {
        {0, 0, 0, 1001, 12},  {0, 0, 2, 1000, 14}, {0, 1, 2, 1000, 9},   {0, 1, 3, 1000, 255},
        {0, 3, 0, 1000, 255}, {0, 1, 0, 2, 2},     {0, 1, 0, 1005, 255}, {1, 1, 0, 1002, 5}};
    peer().scriptRemote(kPresetCategory, kPresetListIds,
                        PeerAnswer::Bytes(idList({0x10000, 0x100})));
    for (const auto &[lens, ux, power, group, sent] : cases) {
        peer().scriptTyped("ztc_system_get_lens_type", PeerAnswer::Bytes({uint8_t(lens)}));
        peer().scriptTyped("ztc_setup_get_camera_ux_mode", PeerAnswer::Bytes({uint8_t(ux)}));
        peer().scriptTyped("ztc_system_get_power_profile", PeerAnswer::Bytes({uint8_t(power)}));
        const Outcome out = run(ZTCONTROL_PRESET_LIST_IDS, idReq(group));
        EXPECT_EQ(out.code, 0);
        EXPECT_EQ(presetOps(), (Ops{{kPresetListIds, {uint8_t(sent)}}})) << "group " << group;
        const auto ids = parsed<zp::ZTC_Preset_List_Resp>(out.payload);
        EXPECT_EQ(std::vector<uint32_t>(ids.presets().begin(), ids.presets().end()),
                  (std::vector<uint32_t>{0x10000, 0x100}));
    }
}

TEST_F(Presets, InfoTranslatesTheRecordAndRefusesOtherSizes)
{
    const PresetRecord record{20, true, 0x101, 17, 70, 2};  // mode, user, id, icon, title, number
    peer().scriptRemote(kPresetCategory, kPresetGetInfo, PeerAnswer::Bytes(record.bytes()));
    Outcome out = run(ZTCONTROL_PRESET_GET_INFO, idReq(0x101));
    EXPECT_EQ(presetOps(), (Ops{{kPresetGetInfo, words({0x101})}}));
    const auto preset = parsed<wsdk_commands::WSDK_Preset>(out.payload);
    EXPECT_EQ(std::make_tuple(out.code, preset.id(), int(preset.icon()), preset.title_number()),
              std::make_tuple(0, 0x101, int(wsdk_commands::WSDK_PRESET_ICON_TIMELAPSE_PHOTO), 2));
    Bytes shortRecord = record.bytes();
    shortRecord.pop_back();
    peer().scriptRemote(kPresetCategory, kPresetGetInfo, PeerAnswer::Bytes(shortRecord));
    EXPECT_EQ(run(ZTCONTROL_PRESET_GET_INFO, idReq(0x101)), (Outcome{ZT_ERR, {}, false}));
}

TEST_F(Presets, CreateNumbersTheTitleItselfAndReportsTheNewIdEvenWhenCompletionFails)
{
    peer().scriptRemote(kPresetCategory, kPresetListIds,
                        PeerAnswer::Bytes(idList({0x100, 0x101, 0x102, 0x103})));
    const std::pair<uint32_t, uint32_t> titles[] = {{20, 0}, {20, 1}, {21, 2}, {20, 3}};
    for (const auto &[title, number] : titles)
        peer().scriptRemoteOnce(
            kPresetCategory, kPresetGetInfo,
            PeerAnswer::Bytes(PresetRecord{12, true, 0, 0, title, number}.bytes()));
    peer().scriptRemote(kPresetCategory, kPresetCustomCreate, PeerAnswer::Bytes(words({0x104})));
    // Group 1002, the flat mode's low byte (0x10C is 12), icon 1000 sent as 8.
    Outcome out = run(ZTCONTROL_PRESET_CUSTOM_CREATE, bytesOf(createReq(1002, 0x10C, 1000, 20)));
    EXPECT_EQ(out.code, 0);
    const Ops ops = presetOps();
    ASSERT_EQ(ops.size(), 8u);
    EXPECT_EQ(ops[0], (Ops::value_type{kPresetListIds, {2}}));
    EXPECT_EQ(ops[5],
              (Ops::value_type{kPresetCustomCreate, concat({{2, 12}, words({8, 20, 2, 0})})}));
    EXPECT_EQ(Ops(ops.begin() + 6, ops.end()),
              (Ops{{kPresetsFlatModeSwitch, {12}}, {kPresetEditStore, {}}}));
    auto created = parsed<wsdk_commands::WSDK_ResponseCreateCustomPreset>(out.payload);
    EXPECT_EQ(std::make_pair(created.preset_id(), int(created.result())),
              std::make_pair(0x104, int(RESULT_SUCCESS)));

    // An empty group needs no record: number 0.
    peer().scriptRemote(kPresetCategory, kPresetListIds, PeerAnswer::Bytes(idList({})));
    peer().scriptRemote(kPresetCategory, kPresetCustomCreate, PeerAnswer::Bytes(words({0x100})));
    peer().scriptRemote(kPresetCategory, kPresetsFlatModeSwitch, PeerAnswer::Status(-5));
    out = run(ZTCONTROL_PRESET_CUSTOM_CREATE, bytesOf(createReq(0, 13, 18, 18)));
    EXPECT_EQ(out.code, -5);
    EXPECT_EQ(presetOps().at(1),
              (Ops::value_type{kPresetCustomCreate, concat({{0, 13}, words({18, 18, 0, 0})})}));
    EXPECT_EQ(parsed<wsdk_commands::WSDK_ResponseCreateCustomPreset>(out.payload).preset_id(),
              0x100);
    // A failed or malformed id list or record leaves no title number: no create.
    const PeerAnswer ids = PeerAnswer::Bytes(idList({0x100, 0x101}));
    const PeerAnswer record = PeerAnswer::Bytes(PresetRecord{}.bytes());
    const std::pair<PeerAnswer, PeerAnswer> broken[] = {
        {PeerAnswer::Status(-5), record},
        {PeerAnswer::Bytes({2, 0, 1, 0, 0, 0, 1, 0}), record},  // the second id cut short
        {ids, PeerAnswer::Bytes(Bytes(80, 0))}};
    for (const auto &[list, info] : broken) {
        peer().scriptRemote(kPresetCategory, kPresetListIds, list);
        peer().scriptRemote(kPresetCategory, kPresetGetInfo, info);
        EXPECT_EQ(run(ZTCONTROL_PRESET_CUSTOM_CREATE, bytesOf(createReq(0, 13, 18, 18))).code,
                  ZT_ERR);
        EXPECT_NE(presetOps().back().first, kPresetCustomCreate);
    }
}

TEST_F(Presets, FlatModeTitleAndIconChangeTheCurrentCustomPresetInsideAnEdit)
{
    zp::ZTC_Preset_Switch_Flatmode_Req flat;
    flat.set_flat_mode(15);
    makeCurrent(0x10000);
    EXPECT_EQ(run(ZTCONTROL_PRESET_SWITCH_FLATMODE, bytesOf(flat)).code, ZT_ERR);
    EXPECT_TRUE(presetOps().empty()) << "predefined presets keep their flat mode";
    makeCurrent(0x101);
    EXPECT_EQ(run(ZTCONTROL_PRESET_SWITCH_FLATMODE, bytesOf(flat)).code, 0);
    EXPECT_EQ(presetOps(), (Ops{{kPresetEditStart, words({0x101})},
                                {kPresetsFlatModeSwitch, {15}},
                                {kPresetEditStore, {}}}));
    peer().scriptRemote(kPresetCategory, kPresetsFlatModeSwitch, PeerAnswer::Status(-5));
    EXPECT_EQ(run(ZTCONTROL_PRESET_SWITCH_FLATMODE, bytesOf(flat)).code, -5);
    EXPECT_EQ(presetOps().back().first, kPresetEditStore) << "the edit is closed after a failure";

    // The record's id is not used (the current preset's is), nor its user data 3.
    peer().scriptRemote(kPresetCategory, kPresetGetInfo,
                        PeerAnswer::Bytes(PresetRecord{12, true, 0, 20, 21, 3, 9}.bytes()));
    zp::ZTC_Preset_Set_Title_Icon_Req title;
    title.set_preset_name(25);
    EXPECT_EQ(run(ZTCONTROL_PRESET_SET_TITLE_AND_ICON, bytesOf(title)).code, 0);
    EXPECT_EQ(presetOps(), (Ops{{kPresetGetInfo, words({0x101})},
                                {kPresetEditStart, words({0x101})},
                                {kPresetUserDataEdit, words({0x101, 20, 25, 3, 0})},
                                {kPresetEditStore, {}}}));
}

// One row per shared request path: an id operation, a plain one, the order.
TEST_F(Presets, OnePresetOperationsSendTheIdAndPassTheStatusOn)
{
    zp::ZTC_Preset_Set_Order_Req order;
    order.set_preset_id(0x102);
    order.set_order(4);
    const std::tuple<ztcontrol_command_t, Bytes, Ops::value_type> cases[] = {
        {ZTCONTROL_PRESET_CUSTOM_REMOVE, idReq(0x102), {kPresetCustomRemove, words({0x102})}},
        {ZTCONTROL_PRESET_FACTORY_RESET, idReq(2), {kPresetPredefinedRestore, words({2})}},
        {ZTCONTROL_PRESET_SET_ORDER, bytesOf(order), {kPresetSetOrder, words({0x102, 4})}},
        {ZTCONTROL_PRESET_EDIT_CANCEL, {}, {kPresetEditCancel, {}}},
    };
    for (const auto &[command, arg, op] : cases) {
        const auto argument = arg.empty() ? std::nullopt : std::optional(arg);
        EXPECT_EQ(run(command, argument).code, 0);
        EXPECT_EQ(presetOps(), (Ops{op})) << command;
        peer().scriptRemoteOnce(kPresetCategory, uint8_t(op.first), PeerAnswer::Status(-7));
        EXPECT_EQ(run(command, argument).code, -7);
    }
}

// The active queries' readable answers are in every golden session; an
// unreadable block still answers four bytes.
TEST_F(Presets, ShortcutsResetRunsInsideAPresetEditAndActiveQueriesAnswerFourBytes)
{
    makeCurrent(0x101);
    EXPECT_EQ(run(ZTCONTROL_ONSCREEN_SHORTCUTS_RESET).code, 0);
    EXPECT_EQ(trace(), (std::vector<std::string>{"ztc_app_get_mode_flat_mode", "8,11", "17,8",
                                                 "ztc_preset_onscreen_shortcuts_reset", "17,10"}));

    peer().scriptRemote(kSystemCategory, kAllStatusGet,
                        PeerAnswer::Bytes({2}));  // unreadable: no preset, group 0
    EXPECT_EQ(run(ZTCONTROL_PRESET_GET_ACTIVE_PRESET), (Outcome{ZT_ERR, words({0})}));
    EXPECT_EQ(run(ZTCONTROL_PRESET_GET_ACTIVE_GROUP), (Outcome{0, words({0})}));
}

}  // namespace
