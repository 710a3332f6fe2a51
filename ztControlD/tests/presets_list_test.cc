// The full preset list through the real daemon against the scripted peer:
// the stash and the preset event that makes it stale (model 60's pro list,
// with the second lens's presets after their counterparts, is in the model's
// golden session).
#include <gtest/gtest.h>

#include "CommandFixture.h"
#include "PresetAnswers.h"
#include "StatusBlock.h"
#include "ztcontrol_commands.h"
#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"

using namespace zttest;

namespace {

class PresetLists : public CommandFixture {
protected:
    static void SetUpTestSuite()
    {
        startSuite([](ZtFirmwarePeer &peer) { peer.setCsiItem(1, 57); });
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
    static void firmware(std::initializer_list<uint8_t> groups, const std::vector<uint32_t> &ids)
    {
        markStale();
        peer().scriptTyped("ztc_setup_get_camera_ux_mode", PeerAnswer::Bytes({1}));
        peer().scriptRemote(kPresetCategory, kPresetListGroups,
                            PeerAnswer::Bytes(groupList(groups)));
        peer().scriptRemote(kPresetCategory, kPresetListIds, PeerAnswer::Bytes(idList(ids)));
        peer().scriptRemote(kPresetCategory, kPresetGetInfo,
                            PeerAnswer::Bytes(PresetRecord{}.bytes()));
    }
    // The listed groups' ids, each followed by its presets' ids.
    std::vector<int> presets()
    {
        m_reply = call(ZTCONTROL_PRESET_GET_PRESETS);
        EXPECT_EQ(m_reply.result, 0) << daemon().log();
        wsdk_commands::WSDK_NotifyPresetStatus list;
        EXPECT_TRUE(list.ParseFromArray(m_reply.payload.data(), (int)m_reply.payload.size()));
        std::vector<int> out;
        for (const auto &g : list.preset_group_array()) {
            out.push_back(g.id());
            for (const auto &p : g.preset_array())
                out.push_back(p.id());
        }
        return out;
    }
    Reply m_reply;
};

TEST_F(PresetLists, StashAnswersRepeatsUntilAPresetEvent)
{
    firmware({0, 1}, {0, 1});
    EXPECT_EQ(presets(), (std::vector<int>{1000, 0, 1, 1001, 0, 1}));
    const Bytes first = m_reply.payload;
    const size_t csiMark = peer().requestCount();
    presets();
    EXPECT_EQ(m_reply.payload, first);
    EXPECT_TRUE(sent().empty()) << "a fresh stash needs no firmware request";
    EXPECT_TRUE(
        peer().waitForRequest([](const PeerRequest &r) { return r.kind == "CW"; }, 3000, csiMark));
    EXPECT_EQ(peer().csiItem(7), 0u) << "answering clears the preset-change item";
    firmware({0}, {5});
    EXPECT_EQ(presets(), (std::vector<int>{1000, 5}));
}

// In easy mode the photo group lists only the active photo preset.
TEST_F(PresetLists, EasyPhotoGroupListsOnlyTheActivePhotoPreset)
{
    firmware({12}, {0xC0000, 0xC0001});
    peer().scriptTyped("ztc_setup_get_camera_ux_mode", PeerAnswer::Bytes({0}));
    peer().scriptRemote(kSystemCategory, kAllStatusGet,
                        PeerAnswer::Bytes(StatusBlock().photoPreset(0xC0001).bytes()));
    EXPECT_EQ(presets(), (std::vector<int>{1001, 0xC0001}));
}

}  // namespace
