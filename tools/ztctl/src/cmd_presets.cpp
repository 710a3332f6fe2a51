// ztctl's friendly subcommands for presets ("ztctl presets", "ztctl preset
// info ID", "ztctl preset create ..."): requests built as the daemon's preset
// request messages from names and numbers, and the preset answers printed as
// compact tables (ids in hex; --verbose adds every setting by name) or as
// JSON. Pure functions; see Subcommand.h.
#include <google/protobuf/util/json_util.h>
#include <stdio.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "CommandLine.h"
#include "StateTable.h"
#include "Subcommand.h"
#include "wsdkCommands/WSDK_EnumFlatMode.pb.h"
#include "wsdkCommands/WSDK_EnumPresetIcon.pb.h"
#include "wsdkCommands/WSDK_EnumPresetTitle.pb.h"
#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"
#include "wsdkCommands/WSDK_RequestCreateCustomPreset.pb.h"
#include "ztControlCommands/ztControl_presets.pb.h"
#include "ztcontrol_commands.h"

namespace ztctl {

namespace {

namespace zp = ztcontrol::presets;
namespace wsdk = wsdk_commands;

const char *const kPresetUsage =
    "preset groups | ids GROUP | info ID | create GROUP FLATMODE ICON TITLE | remove ID |\n"
    "  order ID POSITION | load ID | edit ID | cancel | store | factory-reset ID |\n"
    "  flatmode FLATMODE | title-icon [title=TITLE] [icon=ICON] | shortcuts-reset |\n"
    "  active | active-group";

std::string enumName(const std::string &prefix, const std::string &word)
{
    std::string name = prefix;
    for (char c : word)
        name += c == '-' ? '_' : static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return name;
}

// A value given by its enumeration name without the prefix ("photo-night",
// "custom") or as a number.
template <typename Enum>
bool namedValue(const std::string &word, const std::string &prefix,
                bool (*parse)(const std::string &, Enum *), const char *what, uint32_t &value,
                std::string &error)
{
    Enum e;
    if (parse(enumName(prefix, word), &e) && static_cast<int>(e) >= 0) {
        value = static_cast<uint32_t>(e);
        return true;
    }
    if (parseNumber(word, 32))
        return wordNumber(word, 32, what, value, error);
    error = std::string(what) + ": '" + word + "' is neither a name nor a number";
    return false;
}

bool flatModeWord(const std::string &word, uint32_t &value, std::string &error)
{
    return namedValue<wsdk::WSDK_EnumFlatMode>(
        word, "WSDK_FLAT_MODE_", wsdk::WSDK_EnumFlatMode_Parse, "FLATMODE", value, error);
}
bool iconWord(const std::string &word, uint32_t &value, std::string &error)
{
    return namedValue<wsdk::WSDK_EnumPresetIcon>(
        word, "WSDK_PRESET_ICON_", wsdk::WSDK_EnumPresetIcon_Parse, "ICON", value, error);
}
bool titleWord(const std::string &word, uint32_t &value, std::string &error)
{
    return namedValue<wsdk::WSDK_EnumPresetTitle>(
        word, "WSDK_PRESET_TITLE_", wsdk::WSDK_EnumPresetTitle_Parse, "TITLE", value, error);
}

// A base group: video, photo, timelapse, a group id (1000...) or a number.
bool groupWord(const std::string &word, uint32_t &value, std::string &error)
{
    static const char *const kNames[] = {"video", "photo", "timelapse"};
    for (uint32_t i = 0; i < 3; ++i)
        if (word == kNames[i]) {
            value = 1000 + i;
            return true;
        }
    return wordNumber(word, 32, "GROUP", value, error);
}

void setMessage(Options &o, uint32_t command, const google::protobuf::MessageLite &message)
{
    o.command = command;
    std::string bytes;
    message.SerializeToString(&bytes);
    o.argument = Bytes(bytes.begin(), bytes.end());
}

void setBare(Options &o, uint32_t command)
{
    o.command = command;
    o.argument.reset();
}

bool usageError(std::string &error)
{
    error = std::string("usage: ") + kPresetUsage;
    return false;
}

// Verbs that name one preset and send a message with its preset_id.
template <typename Request>
bool idRequest(const std::vector<std::string> &w, uint32_t command, Options &o, std::string &error)
{
    uint32_t id = 0;
    if (w.size() != 2)
        return usageError(error);
    if (!wordNumber(w[1], 32, "ID", id, error))
        return false;
    Request request;
    request.set_preset_id(id);
    setMessage(o, command, request);
    return true;
}

bool parseCreate(const std::vector<std::string> &w, Options &o, std::string &error)
{
    if (w.size() != 5)
        return usageError(error);
    uint32_t group = 0, mode = 0, icon = 0, title = 0;
    if (!groupWord(w[1], group, error) || !flatModeWord(w[2], mode, error) ||
        !iconWord(w[3], icon, error) || !titleWord(w[4], title, error))
        return false;
    zp::ZTC_Preset_Custom_Create_Req request;
    request.set_group_id(group);
    request.set_flat_mode(mode);
    request.set_preset_icon(icon);
    request.set_preset_name(title);
    // Required on the wire; the daemon numbers the title itself.
    request.set_preset_name_iterator(0);
    setMessage(o, ZTCONTROL_PRESET_CUSTOM_CREATE, request);
    return true;
}

bool parseTitleIcon(const std::vector<std::string> &w, Options &o, std::string &error)
{
    if (w.size() < 2 || w.size() > 3)
        return usageError(error);
    zp::ZTC_Preset_Set_Title_Icon_Req request;
    for (size_t i = 1; i < w.size(); ++i) {
        uint32_t value = 0;
        if (w[i].rfind("title=", 0) == 0 && !request.has_preset_name()) {
            if (!titleWord(w[i].substr(6), value, error))
                return false;
            request.set_preset_name(value);
        } else if (w[i].rfind("icon=", 0) == 0 && !request.has_preset_icon()) {
            if (!iconWord(w[i].substr(5), value, error))
                return false;
            request.set_preset_icon(value);
        } else {
            return usageError(error);
        }
    }
    setMessage(o, ZTCONTROL_PRESET_SET_TITLE_AND_ICON, request);
    return true;
}

bool parsePreset(const std::vector<std::string> &w, Options &o, std::string &error)
{
    if (w.empty())
        return usageError(error);
    const std::string &verb = w[0];
    struct Bare {
        const char *verb;
        uint32_t command;
    };
    static const Bare kBare[] = {
        {"groups", ZTCONTROL_PRESET_LIST_GROUPS},
        {"cancel", ZTCONTROL_PRESET_EDIT_CANCEL},
        {"store", ZTCONTROL_PRESET_EDIT_STORE},
        {"shortcuts-reset", ZTCONTROL_ONSCREEN_SHORTCUTS_RESET},
        {"active", ZTCONTROL_PRESET_GET_ACTIVE_PRESET},
        {"active-group", ZTCONTROL_PRESET_GET_ACTIVE_GROUP},
    };
    for (const Bare &b : kBare)
        if (verb == b.verb) {
            if (w.size() != 1)
                return usageError(error);
            setBare(o, b.command);
            return true;
        }
    if (verb == "info")
        return idRequest<zp::ZTC_Preset_Info_Req>(w, ZTCONTROL_PRESET_GET_INFO, o, error);
    if (verb == "remove")
        return idRequest<zp::ZTC_Preset_Custom_Remove_Req>(w, ZTCONTROL_PRESET_CUSTOM_REMOVE, o,
                                                           error);
    if (verb == "load")
        return idRequest<zp::ZTC_Preset_Load_Req>(w, ZTCONTROL_PRESET_LOAD, o, error);
    if (verb == "edit")
        return idRequest<zp::ZTC_Preset_Edit_Start_Req>(w, ZTCONTROL_PRESET_EDIT_START, o, error);
    if (verb == "factory-reset")
        return idRequest<zp::ZTC_Preset_Factory_Reset_Req>(w, ZTCONTROL_PRESET_FACTORY_RESET, o,
                                                           error);
    if (verb == "create")
        return parseCreate(w, o, error);
    if (verb == "title-icon")
        return parseTitleIcon(w, o, error);
    if (verb == "ids") {
        uint32_t group = 0;
        if (w.size() != 2)
            return usageError(error);
        if (!groupWord(w[1], group, error))
            return false;
        zp::ZTC_Preset_List_Req request;
        request.set_group_id(group);
        setMessage(o, ZTCONTROL_PRESET_LIST_IDS, request);
        return true;
    }
    if (verb == "order") {
        uint32_t id = 0, order = 0;
        if (w.size() != 3)
            return usageError(error);
        if (!wordNumber(w[1], 32, "ID", id, error) ||
            !wordNumber(w[2], 32, "POSITION", order, error))
            return false;
        zp::ZTC_Preset_Set_Order_Req request;
        request.set_preset_id(id);
        request.set_order(order);
        setMessage(o, ZTCONTROL_PRESET_SET_ORDER, request);
        return true;
    }
    if (verb == "flatmode") {
        uint32_t mode = 0;
        if (w.size() != 2)
            return usageError(error);
        if (!flatModeWord(w[1], mode, error))
            return false;
        zp::ZTC_Preset_Switch_Flatmode_Req request;
        request.set_flat_mode(mode);
        setMessage(o, ZTCONTROL_PRESET_SWITCH_FLATMODE, request);
        return true;
    }
    return usageError(error);
}

bool parsePresets(const std::vector<std::string> &w, Options &o, std::string &error)
{
    if (!w.empty()) {
        error = "usage: presets";
        return false;
    }
    setBare(o, ZTCONTROL_PRESET_GET_PRESETS);
    return true;
}

// An enumeration value's name without its prefix, lower case, '-' for '_';
// the number when the value has no name.
std::string enumWord(const google::protobuf::EnumDescriptor *type, int value,
                     const std::string &prefix)
{
    const google::protobuf::EnumValueDescriptor *v = type->FindValueByNumber(value);
    if (!v || v->name().compare(0, prefix.size(), prefix) != 0)
        return std::to_string(value);
    std::string out;
    for (char c : v->name().substr(prefix.size()))
        out += c == '_' ? '-' : static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string hexId(uint32_t id)
{
    char text[16];
    snprintf(text, sizeof text, "0x%x", id);
    return text;
}

const char kPresetHeading[] =
    "id        group      title               mode                modified";

// One preset as a row of the compact table; `verbose` adds its settings.
std::string presetRow(const wsdk::WSDK_Preset &p, const std::string &group, bool verbose)
{
    std::string title =
        enumWord(wsdk::WSDK_EnumPresetTitle_descriptor(), p.title_id(), "WSDK_PRESET_TITLE_");
    if (p.title_number() > 0)
        title += " " + std::to_string(p.title_number());
    char line[200];
    snprintf(line, sizeof line, "%-9s %-10s %-19s %-19s %s",
             hexId(static_cast<uint32_t>(p.id())).c_str(), group.c_str(), title.c_str(),
             flatModeName(p.mode()).c_str(), p.is_modified() ? "yes" : "no");
    std::string out = line;
    if (!verbose)
        return out;
    std::vector<std::pair<uint32_t, int64_t>> settings;
    for (const wsdk::WSDK_PresetSetting &s : p.setting_array())
        settings.emplace_back(static_cast<uint32_t>(s.id()), s.value());
    std::string table = formatTable(settingItems(settings));
    // Indented under the preset, without the "settings:" heading.
    for (size_t start = table.find('\n') + 1; start < table.size();) {
        const size_t end = table.find('\n', start);
        out += "\n  " + table.substr(start, end - start);
        start = end + 1;
    }
    return out;
}

std::string presetTable(const wsdk::WSDK_NotifyPresetStatus &status, bool verbose)
{
    std::string out = kPresetHeading;
    for (const wsdk::WSDK_PresetGroup &g : status.preset_group_array()) {
        const std::string group = presetGroupName(g.id());
        for (const wsdk::WSDK_Preset &p : g.preset_array())
            out += "\n" + presetRow(p, group.empty() ? std::to_string(g.id()) : group, verbose);
    }
    return out;
}

std::string groupList(const google::protobuf::RepeatedField<uint32_t> &ids, bool hex)
{
    std::string out;
    for (uint32_t id : ids) {
        const std::string name = hex ? "" : presetGroupName(id);
        out += (out.empty() ? "" : " ") + (hex ? hexId(id) : std::to_string(id)) +
               (name.empty() ? "" : " (" + name + ")");
    }
    return out;
}

std::string decodePresets(uint32_t command, const std::vector<uint8_t> &payload,
                          const Display &display)
{
    std::unique_ptr<google::protobuf::Message> message;
    switch (command) {
    case ZTCONTROL_PRESET_LIST_GROUPS:
        message = std::make_unique<zp::ZTC_Preset_Group_List_Resp>();
        break;
    case ZTCONTROL_PRESET_LIST_IDS:
        message = std::make_unique<zp::ZTC_Preset_List_Resp>();
        break;
    case ZTCONTROL_PRESET_GET_INFO:
        message = std::make_unique<wsdk::WSDK_Preset>();
        break;
    case ZTCONTROL_PRESET_CUSTOM_CREATE:
        message = std::make_unique<wsdk::WSDK_ResponseCreateCustomPreset>();
        break;
    case ZTCONTROL_PRESET_GET_PRESETS:
        message = std::make_unique<wsdk::WSDK_NotifyPresetStatus>();
        break;
    default:
        return "";
    }
    if (!message->ParseFromArray(payload.data(), static_cast<int>(payload.size())))
        return "";
    if (display.json) {
        std::string json;
        google::protobuf::util::MessageToJsonString(*message, &json);
        return json;
    }
    switch (command) {
    case ZTCONTROL_PRESET_LIST_GROUPS:
        return "groups: " +
               groupList(static_cast<zp::ZTC_Preset_Group_List_Resp &>(*message).preset_groups(),
                         false);
    case ZTCONTROL_PRESET_LIST_IDS:
        return "presets: " +
               groupList(static_cast<zp::ZTC_Preset_List_Resp &>(*message).presets(), true);
    case ZTCONTROL_PRESET_GET_INFO: {
        // A preset id carries its group's index (video, photo, time lapse)
        // in its upper half.
        const auto &preset = static_cast<wsdk::WSDK_Preset &>(*message);
        const uint32_t index = static_cast<uint32_t>(preset.id()) >> 16;
        const std::string group =
            index <= 2 ? presetGroupName(wsdk::WSDK_PRESET_GROUP_ID_VIDEO + index) : "";
        return std::string(kPresetHeading) + "\n" + presetRow(preset, group, true);
    }
    case ZTCONTROL_PRESET_CUSTOM_CREATE: {
        const auto &created = static_cast<wsdk::WSDK_ResponseCreateCustomPreset &>(*message);
        return "created preset " + hexId(static_cast<uint32_t>(created.preset_id()));
    }
    default:
        return presetTable(static_cast<wsdk::WSDK_NotifyPresetStatus &>(*message), display.verbose);
    }
}

}  // namespace

const SubcommandArea &presetsArea()
{
    static const SubcommandArea area{
        {
            {"presets",
             "  presets                        the offered presets: id, group, title, mode,\n"
             "                                 modified (--verbose: every setting)\n",
             parsePresets},
            {"preset",
             "  preset groups                  preset group ids the firmware has\n"
             "  preset ids GROUP               preset ids of video|photo|timelapse|N\n"
             "  preset info ID                 one preset (ids decimal or 0x hex)\n"
             "  preset create GROUP FLATMODE ICON TITLE\n"
             "                                 new custom preset, e.g. video video bike bike\n"
             "  preset remove ID | load ID | edit ID | factory-reset ID\n"
             "  preset order ID POSITION       move a preset within its group\n"
             "  preset cancel | store          end the edit started with preset edit\n"
             "  preset flatmode FLATMODE       flat mode of the current custom preset\n"
             "  preset title-icon [title=T] [icon=I]  title and icon of the current preset\n"
             "  preset shortcuts-reset | active | active-group\n",
             parsePreset},
        },
        decodePresets,
    };
    return area;
}

}  // namespace ztctl
