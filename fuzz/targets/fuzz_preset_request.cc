// Fuzz target: every preset request message a client may send in a command's
// argument. The first input byte picks the message type from the table, the
// rest is parsed as that message. A message that parses must survive a
// serialise-parse round trip unchanged, and its reported size must be what
// it serialises to. A new request type is one more line in kRequests.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "wsdkCommands/WSDK_RequestCreateCustomPreset.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"

namespace {

using google::protobuf::MessageLite;
namespace zp = ztcontrol::presets;

const MessageLite *const kRequests[] = {
    &zp::ZTC_Preset_List_Req::default_instance(),
    &zp::ZTC_Preset_Info_Req::default_instance(),
    &zp::ZTC_Preset_Custom_Create_Req::default_instance(),
    &zp::ZTC_Preset_Custom_Remove_Req::default_instance(),
    &zp::ZTC_Preset_Set_Order_Req::default_instance(),
    &zp::ZTC_Preset_Load_Req::default_instance(),
    &zp::ZTC_Preset_Edit_Start_Req::default_instance(),
    &zp::ZTC_Preset_Factory_Reset_Req::default_instance(),
    &zp::ZTC_Preset_Switch_Flatmode_Req::default_instance(),
    &zp::ZTC_Preset_Set_Title_Icon_Req::default_instance(),
    &wsdk_commands::WSDK_RequestCreateCustomPreset::default_instance(),
};
constexpr size_t kRequestCount = sizeof(kRequests) / sizeof(kRequests[0]);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const MessageLite &prototype = *kRequests[data[0] % kRequestCount];
    std::unique_ptr<MessageLite> first(prototype.New());
    if (!first->ParseFromArray(data + 1, static_cast<int>(size - 1)))
        return 0;
    std::string once;
    if (!first->SerializeToString(&once) || once.size() != first->ByteSizeLong())
        abort();
    std::unique_ptr<MessageLite> second(prototype.New());
    if (!second->ParseFromString(once))
        abort();
    std::string twice;
    if (!second->SerializeToString(&twice) || twice != once)
        abort();
    return 0;
}
