// The full preset list (ZTCONTROL_PRESET_GET_PRESETS) through the real daemon
// against the scripted firmware peer: which firmware groups are fetched for
// each lens, power and ux state and how they are reported, model 60's single
// group and its order, the easy photo group's filter, the stash and what
// makes it stale, and a list too large for one answer.
#include <gtest/gtest.h>

#include "CommandFixture.h"
#include "PresetAnswers.h"
#include "StatusBlock.h"
#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"

using namespace zttest;
using wsdk_commands::WSDK_NotifyPresetStatus;

namespace {

constexpr uint32_t kGetPresets = 81;
constexpr uint32_t kGetActivePreset = 87;
constexpr uint32_t kModelItem = 1;
constexpr uint32_t kPresetChangedItem = 7;

struct Group {
    int id;
    int icon;
    bool canAdd;
    std::vector<int> presets;
    bool operator==(const Group &o) const
    {
        return id == o.id && icon == o.icon && canAdd == o.canAdd && presets == o.presets;
    }
};

std::ostream &operator<<(std::ostream &os, const Group &g)
{
    os << "{" << g.id << " icon " << g.icon << " add " << g.canAdd << " [" << std::hex;
    for (int p : g.presets)
        os << "0x" << p << " ";
    return os << std::dec << "]}";
}

std::vector<Group> groupsOf(const WSDK_NotifyPresetStatus &list)
{
    std::vector<Group> out;
    for (const auto &g : list.preset_group_array()) {
        Group group{g.id(), g.icon(), g.can_add_preset(), {}};
        for (const auto &p : g.preset_array())
            group.presets.push_back(p.id());
        out.push_back(group);
    }
    return out;
}

class PresetLists : public CommandFixture {
protected:
    static void SetUpTestSuite()
    {
        startSuite([](ZtFirmwarePeer &peer) { peer.setCsiItem(kModelItem, 57); });
    }

    // The camera state the next list is built for; the list is marked stale
    // first (see markStale) so that it is built again.
    static void staleInState(uint8_t lensType, uint8_t powerProfile, uint8_t uxMode)
    {
        markStale();
        peer().scriptTyped("ztc_system_get_lens_type", PeerAnswer::Bytes({lensType}));
        peer().scriptTyped("ztc_system_get_power_profile", PeerAnswer::Bytes({powerProfile}));
        peer().scriptTyped("ztc_setup_get_camera_ux_mode", PeerAnswer::Bytes({uxMode}));
    }

    // A firmware preset event (group reordered) marks the list stale; waits
    // until the daemon has handled it.
    static void markStale()
    {
        const size_t mark = peer().requestCount();
        ASSERT_TRUE(peer().postPresetEvent(4, 0));
        ASSERT_TRUE(peer().waitForRequest(
            [](const PeerRequest &r) { return r.isTyped("ztc_system_get_lenses"); }, 3000, mark))
            << daemon().log();
    }

    static void scriptFirmware(std::initializer_list<uint8_t> groups,
                               const std::vector<uint32_t> &ids, const PresetRecord &record = {})
    {
        peer().scriptRemote(kPresetOps, kOpListGroups, PeerAnswer::Bytes(groupList(groups)));
        peer().scriptRemote(kPresetOps, kOpListIds, PeerAnswer::Bytes(idList(ids)));
        peer().scriptRemote(kPresetOps, kOpGetInfo, PeerAnswer::Bytes(record.bytes()));
    }

    WSDK_NotifyPresetStatus getPresets(int32_t expected = 0)
    {
        m_reply = call(kGetPresets);
        EXPECT_EQ(m_reply.result, expected) << daemon().log();
        WSDK_NotifyPresetStatus list;
        EXPECT_TRUE(list.ParseFromArray(m_reply.payload.data(), (int)m_reply.payload.size()));
        return list;
    }

    // Payloads of the firmware requests of one preset operation since call().
    std::vector<Bytes> sentOp(uint8_t op) const
    {
        std::vector<Bytes> out;
        for (const auto &r : sent())
            if (r.isRemote(kPresetOps, op))
                out.push_back(r.payload);
        return out;
    }
    std::vector<int> groupsFetched() const
    {
        std::vector<int> out;
        for (const Bytes &p : sentOp(kOpListIds))
            out.push_back(p.empty() ? -1 : p[0]);
        return out;
    }

    Reply m_reply;
};

TEST_F(PresetLists, OfferedGroupsFollowLensPowerAndUxInFirmwareOrder)
{
    struct Case {
        uint8_t lensType, power, ux;
        std::vector<int> fetched;
        std::vector<Group> reported;
    };
    const Case cases[] = {
        {1,
         0,
         1,
         {5, 4, 3},
         {{1002, 7, false, {0xC0000}}, {1001, 6, false, {0xC0000}}, {1000, 5, false, {0xC0000}}}},
        {0,
         1,
         1,
         {8, 2, 1},
         {{1000, 4, false, {0xC0000}}, {1002, 2, true, {0xC0000}}, {1001, 1, true, {0xC0000}}}},
        {0,
         2,
         0,
         {14, 13, 12},
         {{1000, 3, false, {0xC0000}}, {1002, 2, false, {0xC0000}}, {1001, 1, false, {0xC0000}}}},
        {0,
         0,
         1,
         {2, 1, 0},
         {{1002, 2, true, {0xC0000}}, {1001, 1, true, {0xC0000}}, {1000, 0, true, {0xC0000}}}},
        // No group offered: an empty list, not a failure.
        {2, 0, 1, {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("lens type " + std::to_string(c.lensType) + " power " +
                     std::to_string(c.power) + " ux " + std::to_string(c.ux));
        staleInState(c.lensType, c.power, c.ux);
        scriptFirmware({14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}, {0xC0000});
        EXPECT_EQ(groupsOf(getPresets()), c.reported);
        EXPECT_EQ(groupsFetched(), c.fetched);
    }
}

TEST_F(PresetLists, EmptyFirmwareGroupListIsRefusedAndStaysStale)
{
    staleInState(0, 0, 1);
    peer().scriptRemote(kPresetOps, kOpListGroups, PeerAnswer::Bytes({}));
    EXPECT_EQ(call(kGetPresets).result, -1);
    scriptFirmware({0}, {0});
    EXPECT_EQ(groupsOf(getPresets()), (std::vector<Group>{{1000, 0, true, {0}}}))
        << "a failed rebuild must leave the list stale";
}

TEST_F(PresetLists, EasyPhotoGroupListsOnlyTheActivePhotoPreset)
{
    staleInState(0, 0, 0);
    scriptFirmware({12}, {0xC0000, 0xC0001});
    peer().scriptRemote(8, 11, PeerAnswer::Bytes(StatusBlock().photoPreset(0xC0001).bytes()));
    EXPECT_EQ(groupsOf(getPresets()), (std::vector<Group>{{1001, 1, false, {0xC0001}}}));
    EXPECT_EQ(sentOp(kOpGetInfo), (std::vector<Bytes>{leWords({0xC0001})}))
        << "filtered presets must not be fetched";
}

TEST_F(PresetLists, FailedStatusReadInEasyPhotoGroupFallsBackOrFailsTheList)
{
    staleInState(0, 0, 0);
    peer().scriptRemote(8, 11, PeerAnswer::Status(-5));
    scriptFirmware({12, 13}, {0xC0000, 0xC0001});
    EXPECT_EQ(groupsOf(getPresets()), (std::vector<Group>{{1001, 1, false, {0xC0000}},
                                                          {1002, 2, false, {0xC0000, 0xC0001}}}))
        << "the predefined easy photo preset stands in for the unknown active one";

    markStale();
    scriptFirmware({12, 13}, {0xC0001});
    EXPECT_EQ(call(kGetPresets).result, -1);
    EXPECT_EQ(groupsFetched(), (std::vector<int>{12})) << "the loop ends at the failed group";
    EXPECT_FALSE(call(kGetPresets).hasPayload);
    EXPECT_FALSE(sentOp(kOpListGroups).empty()) << "a failed list must be fetched again";
}

TEST_F(PresetLists, StashAnswersRepeatsUntilAPresetEvent)
{
    staleInState(0, 0, 1);
    scriptFirmware({0, 1}, {0, 1});
    const auto first = getPresets();
    const Bytes firstBytes = m_reply.payload;
    ASSERT_EQ(first.preset_group_array_size(), 2);
    EXPECT_EQ(sentOp(kOpGetInfo).size(), 4u);

    const size_t csiMark = peer().requestCount();
    getPresets();
    EXPECT_EQ(m_reply.payload, firstBytes);
    EXPECT_TRUE(sent().empty()) << "a fresh stash needs no firmware request";
    EXPECT_TRUE(
        peer().waitForRequest([](const PeerRequest &r) { return r.kind == "CW"; }, 3000, csiMark));
    EXPECT_EQ(peer().csiItem(kPresetChangedItem), 0u) << "answering clears the preset-change item";

    markStale();
    scriptFirmware({0}, {5});
    EXPECT_EQ(groupsOf(getPresets()), (std::vector<Group>{{1000, 0, true, {5}}}));
}

TEST_F(PresetLists, SeventhUserPresetClosesTheGroup)
{
    const PresetRecord user{12, true};
    for (size_t count : {6u, 7u}) {
        staleInState(0, 0, 1);
        std::vector<uint32_t> ids;
        for (uint32_t i = 0; i < count; ++i)
            ids.push_back(0x100 + i);
        scriptFirmware({0}, ids, user);
        const auto list = getPresets();
        ASSERT_EQ(list.preset_group_array_size(), 1);
        EXPECT_EQ(list.preset_group_array(0).can_add_preset(), count < 7)
            << count << " user presets";
    }
}

TEST_F(PresetLists, ListTooLargeForOneAnswerIsRefusedWithoutData)
{
    staleInState(0, 0, 1);
    std::vector<uint32_t> ids;
    for (uint32_t i = 0; i < 80; ++i)
        ids.push_back(0x100 + i);
    scriptFirmware({0}, ids, PresetRecord{12, true, 0, 20, 20});
    const Reply reply = call(kGetPresets);
    EXPECT_EQ(reply.result, -1);
    EXPECT_FALSE(reply.hasPayload);
    EXPECT_TRUE(call(kGetActivePreset).hasResult) << "the daemon goes on";
}

class PresetListsModel60 : public PresetLists {
protected:
    static void SetUpTestSuite()
    {
        startSuite([](ZtFirmwarePeer &peer) { peer.setCsiItem(kModelItem, 60); });
    }
};

TEST_F(PresetListsModel60, OneGroupWithOrbiPresetsAfterTheirCounterpartsEvenWhenEmpty)
{
    staleInState(0, 0, 1);
    peer().scriptRemote(kPresetOps, kOpListGroups,
                        PeerAnswer::Bytes(groupList({0, 1, 2, 3, 4, 5})));
    for (const std::vector<uint32_t> &ids : std::vector<std::vector<uint32_t>>{
             {0, 1}, {0x10000}, {0x20000, 0x20001}, {0x30000}, {0x40000}, {0x50000}})
        peer().scriptRemoteOnce(kPresetOps, kOpListIds, PeerAnswer::Bytes(idList(ids)));
    peer().scriptRemote(kPresetOps, kOpGetInfo, PeerAnswer::Bytes(PresetRecord().bytes()));
    EXPECT_EQ(groupsOf(getPresets()),
              (std::vector<Group>{
                  {1000, 5, false, {0, 0x30000, 1, 0x10000, 0x20000, 0x50000, 0x20001, 0x40000}}}));

    // The single group is reported even when no firmware group is offered.
    staleInState(0, 0, 1);
    scriptFirmware({7}, {0});
    EXPECT_EQ(groupsOf(getPresets()), (std::vector<Group>{{1000, 5, false, {}}}));
}

}  // namespace
