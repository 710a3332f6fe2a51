// The preset commands end to end: the real daemon against the firmware
// simulator (a real process with its own preset store and preset events).
// A custom preset is created, edited, reordered, loaded away from and
// removed, and the preset list the daemon answers follows every step.
#include <gtest/gtest.h>

#include <chrono>

#include "ChildProcess.h"
#include "DaemonHarness.h"
#include "PresetAnswers.h"
#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"
#include "wsdkCommands/WSDK_RequestCreateCustomPreset.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"

using namespace std::chrono_literals;
using namespace zttest;
namespace zp = ztcontrol::presets;
using wsdk_commands::WSDK_NotifyPresetStatus;
using wsdk_commands::WSDK_Preset;

namespace {

enum : uint32_t {
    kListIds = 71,
    kGetInfo = 72,
    kCreate = 73,
    kRemove = 74,
    kSetOrder = 75,
    kLoad = 76,
    kGetPresets = 81,
    kSwitchFlatMode = 82,
    kTitleIcon = 83,
    kActivePreset = 87,
};

Bytes bytesOf(const google::protobuf::MessageLite &message)
{
    std::string s;
    message.SerializeToString(&s);
    return Bytes(s.begin(), s.end());
}

template <typename Request>
Bytes idReq(uint32_t id)
{
    Request r;
    r.set_preset_id(id);
    return bytesOf(r);
}

template <typename Message>
bool parse(const Reply &reply, Message &message)
{
    return message.ParseFromArray(reply.payload.data(), static_cast<int>(reply.payload.size()));
}

class PresetsOnSimulator : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sim.start(DaemonHarness::binDir() + "/ztFirmwareSim", {"--no-console"}))
            << m_sim.error() << " (build the ztFirmwareSim target)";
        ASSERT_TRUE(m_sim.waitForOutput("serving /to_ztnet", 10s)) << m_sim.output();
        ASSERT_TRUE(m_daemon.startAndWaitReady()) << m_daemon.log();
        m_started = true;
    }
    void TearDown() override
    {
        if (m_started) {
            auto status = m_daemon.stop();
            EXPECT_TRUE(status && status->ok()) << m_daemon.log();
        }
    }

    Reply call(uint32_t command, std::optional<Bytes> arg = std::nullopt)
    {
        auto reply = m_daemon.requester().call({command, std::move(arg), std::nullopt});
        EXPECT_TRUE(reply && reply->hasResult) << "command " << command << "\n" << m_daemon.log();
        return reply ? *reply : Reply{};
    }

    // The presets of the video group (1000), in list order.
    std::vector<int> videoPresets()
    {
        const Reply reply = call(kGetPresets);
        WSDK_NotifyPresetStatus list;
        EXPECT_EQ(reply.result, 0);
        EXPECT_TRUE(parse(reply, list));
        for (const auto &group : list.preset_group_array())
            if (group.id() == 1000) {
                std::vector<int> ids;
                for (const auto &p : group.preset_array())
                    ids.push_back(p.id());
                return ids;
            }
        ADD_FAILURE() << "no video group in " << list.ShortDebugString();
        return {};
    }

    // The simulator reports a change with a preset event that may reach the
    // daemon just after the command's answer reached the test; the list is
    // asked for again until it shows the change, for at most five seconds.
    ::testing::AssertionResult videoPresetsBecome(const std::vector<int> &expected)
    {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        std::vector<int> seen;
        do {
            seen = videoPresets();
            if (seen == expected)
                return ::testing::AssertionSuccess();
        } while (std::chrono::steady_clock::now() < deadline);
        ::testing::AssertionResult failure = ::testing::AssertionFailure() << "video group holds";
        for (int id : seen)
            failure << " " << id;
        return failure;
    }

    WSDK_Preset info(uint32_t id)
    {
        const Reply reply = call(kGetInfo, idReq<zp::ZTC_Preset_Info_Req>(id));
        WSDK_Preset preset;
        EXPECT_EQ(reply.result, 0);
        EXPECT_TRUE(parse(reply, preset));
        return preset;
    }

    ChildProcess m_sim;
    DaemonHarness m_daemon;
    bool m_started = false;
};

TEST_F(PresetsOnSimulator, CustomPresetLifecycleShowsInTheList)
{
    const std::vector<int> before = videoPresets();
    ASSERT_FALSE(before.empty());

    zp::ZTC_Preset_Custom_Create_Req create;
    create.set_group_id(1000);
    create.set_flat_mode(12);
    create.set_preset_icon(20);
    create.set_preset_name(20);
    create.set_preset_name_iterator(0);
    Reply reply = call(kCreate, bytesOf(create));
    ASSERT_EQ(reply.result, 0) << m_daemon.log();
    wsdk_commands::WSDK_ResponseCreateCustomPreset created;
    ASSERT_TRUE(parse(reply, created));
    const int id = created.preset_id();
    std::vector<int> expected = before;
    expected.push_back(id);
    EXPECT_TRUE(videoPresetsBecome(expected)) << "the new preset ends its group";
    EXPECT_TRUE(info(id).user_defined());

    // The new preset is current: title, icon and flat mode apply to it.
    zp::ZTC_Preset_Set_Title_Icon_Req title;
    title.set_preset_name(29);
    title.set_preset_icon(29);
    EXPECT_EQ(call(kTitleIcon, bytesOf(title)).result, 0);
    zp::ZTC_Preset_Switch_Flatmode_Req flat;
    flat.set_flat_mode(15);
    EXPECT_EQ(call(kSwitchFlatMode, bytesOf(flat)).result, 0);
    const WSDK_Preset edited = info(id);
    EXPECT_EQ(edited.title_id(), 29);
    EXPECT_EQ(edited.icon(), 29);
    EXPECT_EQ(edited.mode(), wsdk_commands::WSDK_FLAT_MODE_LOOPING);

    zp::ZTC_Preset_Set_Order_Req order;
    order.set_preset_id(id);
    order.set_order(0);
    EXPECT_EQ(call(kSetOrder, bytesOf(order)).result, 0);
    expected.pop_back();
    expected.insert(expected.begin(), id);
    EXPECT_TRUE(videoPresetsBecome(expected)) << "moved to the front";
    zp::ZTC_Preset_List_Req ids;
    ids.set_group_id(1000);
    reply = call(kListIds, bytesOf(ids));
    zp::ZTC_Preset_List_Resp idList;
    ASSERT_TRUE(parse(reply, idList));
    EXPECT_EQ(std::vector<int>(idList.presets().begin(), idList.presets().end()), expected);

    const auto first = static_cast<uint32_t>(before.front());
    EXPECT_EQ(call(kLoad, idReq<zp::ZTC_Preset_Load_Req>(first)).result, 0);
    EXPECT_EQ(call(kActivePreset).payload, leWords({first}));
    EXPECT_EQ(call(kSwitchFlatMode, bytesOf(flat)).result, -1)
        << "a predefined preset keeps its flat mode";

    EXPECT_EQ(call(kRemove, idReq<zp::ZTC_Preset_Custom_Remove_Req>(id)).result, 0);
    EXPECT_TRUE(videoPresetsBecome(before));
}

}  // namespace
