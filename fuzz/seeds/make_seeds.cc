// Writes the seed corpora of the fuzz targets: real messages of the kinds the
// daemon receives (client requests of every command area, firmware preset
// events, suspend and resume, CSI notifications, library answers) and every
// preset request message with typical values.
//
//   make_seeds DIR   ->  DIR/tlv, DIR/msg, DIR/receive, DIR/preset_request
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

#include "peer_messages.h"
#include "wsdkCommands/WSDK_RequestCreateCustomPreset.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace zp = ztcontrol::presets;

int g_written = 0;

void writeFile(const std::string &dir, const std::string &name, const Bytes &bytes)
{
    const std::string path = dir + "/" + name;
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) {
        perror(path.c_str());
        return;
    }
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    ++g_written;
}

Bytes text(const std::string &s, bool nul = true)
{
    Bytes b(s.begin(), s.end());
    if (nul)
        b.push_back(0);
    return b;
}

Bytes clientRequest(uint32_t command, const Bytes *argument, const std::string &replyQueue)
{
    std::vector<std::pair<uint8_t, Bytes>> elements = {{ZTC_EL_CMD, peer::le32({command})}};
    if (argument)
        elements.push_back({ZTC_EL_CMDARG, *argument});
    elements.push_back({ZTC_EL_SRC, peer::str(replyQueue)});
    return peer::build(ZTC_CAT_CLIENT_REQUEST, elements);
}

// One preset request: its name, the client command that carries it, and
// the fuzz target's input (table index, then the serialised message).
struct PresetSeed {
    std::string name;
    uint32_t command;
    Bytes input;
};

std::vector<PresetSeed> presetRequests()
{
    std::vector<PresetSeed> out;
    uint8_t index = 0;
    auto add = [&out, &index](const std::string &name, uint32_t command,
                              const google::protobuf::MessageLite &message) {
        Bytes b = {index++};
        const std::string s = message.SerializeAsString();
        b.insert(b.end(), s.begin(), s.end());
        out.push_back({name, command, b});
    };
    zp::ZTC_Preset_List_Req list;
    list.set_group_id(1000);
    list.set_include_info(true);
    add("list", 71, list);
    zp::ZTC_Preset_Info_Req info;
    info.set_preset_id(0x10000);
    add("info", 72, info);
    zp::ZTC_Preset_Custom_Create_Req create;
    create.set_group_id(1000);
    create.set_flat_mode(12);
    create.set_preset_icon(3);
    create.set_preset_name(94);
    create.set_preset_name_iterator(2);
    add("create", 73, create);
    zp::ZTC_Preset_Custom_Remove_Req remove;
    remove.set_preset_id(0x40000);
    add("remove", 74, remove);
    zp::ZTC_Preset_Set_Order_Req order;
    order.set_preset_id(0x40000);
    order.set_order(1);
    add("order", 75, order);
    zp::ZTC_Preset_Load_Req load;
    load.set_preset_id(0x10001);
    add("load", 76, load);
    zp::ZTC_Preset_Edit_Start_Req edit;
    edit.set_preset_id(0x10001);
    add("edit", 77, edit);
    zp::ZTC_Preset_Factory_Reset_Req reset;
    reset.set_preset_id(0x10002);
    add("factory_reset", 80, reset);
    zp::ZTC_Preset_Switch_Flatmode_Req flat;
    flat.set_flat_mode(13);
    add("flatmode", 82, flat);
    zp::ZTC_Preset_Set_Title_Icon_Req title;
    title.set_preset_name(5);
    title.set_preset_icon(9);
    add("title_icon", 83, title);
    wsdk_commands::WSDK_RequestCreateCustomPreset wsdk;
    add("wsdk_create", 73, wsdk);
    return out;
}

std::vector<std::pair<std::string, Bytes>> daemonMessages()
{
    std::vector<std::pair<std::string, Bytes>> out;
    const std::string reply = "/fuzz_reply";
    // Every command value without an argument, and with a 4-byte argument.
    const Bytes word = peer::le32({1});
    for (uint32_t command = 0; command <= 120; ++command) {
        out.push_back({"cmd" + std::to_string(command), clientRequest(command, nullptr, reply)});
        out.push_back(
            {"cmd" + std::to_string(command) + "_arg", clientRequest(command, &word, reply)});
    }
    const Bytes registerArg = {1, '/', 'q', 0};
    out.push_back({"register_queue", clientRequest(0, &registerArg, reply)});
    const Bytes setting = peer::le32({2, 9});
    out.push_back({"set_setting", clientRequest(30, &setting, reply)});
    const Bytes push = text("status=1");
    out.push_back({"push", clientRequest(43, &push, reply)});
    for (const auto &preset : presetRequests()) {
        const Bytes argument(preset.input.begin() + 1, preset.input.end());
        out.push_back({"preset_" + preset.name, clientRequest(preset.command, &argument, reply)});
    }
    Bytes event = {1};
    const Bytes id = peer::le32({0x10000});
    event.insert(event.end(), id.begin(), id.end());
    out.push_back({"preset_event",
                   peer::build(ZTC_CAT_PRESET_EVENT, {{ZTC_EL_CMD, peer::str("PU")},
                                                      {ZTC_EL_CMDARG, event},
                                                      {ZTC_EL_SRC, peer::str(ZTC_QUEUE_FIRMWARE)},
                                                      {ZTC_EL_DST, peer::str(ZTC_QUEUE_DAEMON)}})});
    for (const char *kind : {"JS", "JR"})
        out.push_back({std::string("sys_") + kind,
                       peer::build(ZTC_CAT_SYS_REQUEST, {{ZTC_EL_CMD, peer::str(kind)},
                                                         {ZTC_EL_CMDARG, {0}},
                                                         {ZTC_EL_DST, peer::str(ZTC_QUEUE_DAEMON)},
                                                         {ZTC_EL_SRC, peer::str(reply)}})});
    out.push_back({"csi_notify",
                   peer::build(ZTC_CAT_CSI_EVENT, {{ZTC_EL_CMD, peer::str(ZTC_CSI_NOTIFY)},
                                                   {ZTC_EL_CMDARG, peer::le32({123, 0x200})},
                                                   {ZTC_EL_RSPARG, {0}},
                                                   {ZTC_EL_SRC, peer::str(ZTC_QUEUE_CSI)},
                                                   {ZTC_EL_DST, peer::str(ZTC_QUEUE_DAEMON)}})});
    out.push_back(
        {"csi_many", peer::build(ZTC_CAT_CSI_EVENT, {{ZTC_EL_CMD, peer::str(ZTC_CSI_NOTIFY_MANY)},
                                                     {ZTC_EL_CMDARG, peer::le32({1, 2, 3, 4})},
                                                     {ZTC_EL_RSPARG, {0}},
                                                     {ZTC_EL_SRC, peer::str(ZTC_QUEUE_CSI)},
                                                     {ZTC_EL_DST, peer::str(ZTC_QUEUE_DAEMON)}})});
    out.push_back(
        {"lib_answer", peer::build(ZTC_CAT_LIB_ANSWER, {{ZTC_EL_CMD, peer::str("RA")},
                                                        {ZTC_EL_CMDARG, {2, 1}},
                                                        {ZTC_EL_SEQ, peer::le32({7})},
                                                        {ZTC_EL_RESULT, peer::le32({0})},
                                                        {ZTC_EL_RSPARG, {1, 2, 3}},
                                                        {ZTC_EL_SRC, peer::str(ZTC_QUEUE_FIRMWARE)},
                                                        {ZTC_EL_DST, peer::str(reply)}})});
    return out;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::string root = argv[1];
    for (const char *sub : {"", "/tlv", "/msg", "/receive", "/preset_request"})
        mkdir((root + sub).c_str(), 0755);
    for (const auto &m : daemonMessages()) {
        writeFile(root + "/receive", m.first, m.second);
        writeFile(root + "/msg", m.first, m.second);
        // The TLV target's first byte chooses the presentation: as received.
        Bytes tlv = {0};
        tlv.insert(tlv.end(), m.second.begin(), m.second.end());
        writeFile(root + "/tlv", m.first, tlv);
    }
    for (const auto &p : presetRequests())
        writeFile(root + "/preset_request", p.name, p.input);
    printf("%d seed files under %s\n", g_written, root.c_str());
    return 0;
}
