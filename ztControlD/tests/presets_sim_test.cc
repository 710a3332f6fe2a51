// The preset commands and list end to end, against the firmware simulator
// (its own preset store and preset events): the list follows every step.
#include <gtest/gtest.h>

#include <chrono>

#include "SimulatorDaemonTest.h"
#include "PresetAnswers.h"
#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"
#include "wsdkCommands/WSDK_RequestCreateCustomPreset.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"

using namespace std::chrono_literals;
using namespace zttest;
namespace zp = ztcontrol::presets;

namespace {

enum : uint32_t { kGetInfo = 72, kCreate, kRemove, kSetOrder, kLoad };
enum : uint32_t { kGetPresets = 81, kSwitchFlatMode, kActivePreset = 87 };

Bytes bytesOf(const google::protobuf::MessageLite &message)
{
    const std::string s = message.SerializeAsString();
    return Bytes(s.begin(), s.end());
}

template <typename Request>
Bytes idReq(uint32_t id)
{
    Request r;
    r.set_preset_id(id);
    return bytesOf(r);
}

class PresetsOnSimulator : public SimulatorDaemonTest {
protected:
    // The answer's payload parsed as Message; the command must give `result`.
    template <typename Message = wsdk_commands::WSDK_Preset>
    Message ask(uint32_t command, std::optional<Bytes> arg = std::nullopt, int32_t result = 0)
    {
        const Reply reply = call(command, std::move(arg));
        EXPECT_EQ(reply.result, result) << "command " << command << "\n" << daemon().log();
        Message m;
        m.ParseFromArray(reply.payload.data(), static_cast<int>(reply.payload.size()));
        return m;
    }
    // The video group's presets in list order, asked for again until they
    // are `expected` (the simulator's preset event may reach the daemon just
    // after the command's answer), for at most five seconds.
    std::vector<int> videoPresets(const std::vector<int> &expected = {})
    {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        std::vector<int> ids;
        do {
            ids.clear();
            const auto list = ask<wsdk_commands::WSDK_NotifyPresetStatus>(kGetPresets);
            for (const auto &group : list.preset_group_array())
                for (const auto &p : group.preset_array())
                    if (group.id() == 1000)
                        ids.push_back(p.id());
        } while (ids != expected && !expected.empty() &&
                 std::chrono::steady_clock::now() < deadline);
        return ids;
    }
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
    const int id =
        ask<wsdk_commands::WSDK_ResponseCreateCustomPreset>(kCreate, bytesOf(create)).preset_id();
    std::vector<int> expected = before;
    expected.push_back(id);
    EXPECT_EQ(videoPresets(expected), expected) << "the new preset ends its group";
    EXPECT_TRUE(ask(kGetInfo, idReq<zp::ZTC_Preset_Info_Req>(id)).user_defined());

    // The new preset is current: its flat mode may change.
    zp::ZTC_Preset_Switch_Flatmode_Req flat;
    flat.set_flat_mode(15);
    ask(kSwitchFlatMode, bytesOf(flat));
    EXPECT_EQ(ask(kGetInfo, idReq<zp::ZTC_Preset_Info_Req>(id)).mode(),
              wsdk_commands::WSDK_FLAT_MODE_LOOPING);

    zp::ZTC_Preset_Set_Order_Req order;
    order.set_preset_id(id);
    order.set_order(0);
    ask(kSetOrder, bytesOf(order));
    expected.pop_back();
    expected.insert(expected.begin(), id);
    EXPECT_EQ(videoPresets(expected), expected) << "moved to the front";

    const auto first = static_cast<uint32_t>(before.front());
    ask(kLoad, idReq<zp::ZTC_Preset_Load_Req>(first));
    EXPECT_EQ(call(kActivePreset).payload, leWords({first}));
    ask(kSwitchFlatMode, bytesOf(flat), -1);  // a predefined preset keeps its flat mode
    ask(kRemove, idReq<zp::ZTC_Preset_Custom_Remove_Req>(id));
    EXPECT_EQ(videoPresets(before), before);
}

}  // namespace
