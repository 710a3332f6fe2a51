// ztctl's status and settings tables; see StateTable.h.
#include "StateTable.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>

#include "camera_status.h"
#include "wsdkCommands/WSDK_EnumFlatMode.pb.h"
#include "wsdkCommands/WSDK_EnumPresetGroup.pb.h"
#include "ztcontrol_items.h"

namespace ztctl {

namespace {

// Status items holding preset ids, shown in hex as the presets are.
bool isPresetId(const Member &m)
{
    return !m.setting && m.id >= 93 && m.id <= 98 && m.id != 96;
}

// An enumeration name without its prefix, lower case, '-' for '_'.
std::string shortName(const std::string &full, const std::string &prefix)
{
    if (full.compare(0, prefix.size(), prefix) != 0)
        return "";
    std::string out;
    for (size_t i = prefix.size(); i < full.size(); ++i)
        out +=
            full[i] == '_' ? '-' : static_cast<char>(tolower(static_cast<unsigned char>(full[i])));
    return out;
}

// The object after "key": in text, without its braces, or nothing.
std::optional<std::string> object(const std::string &text, const std::string &key)
{
    const size_t at = text.find("\"" + key + "\":{");
    if (at == std::string::npos)
        return std::nullopt;
    const size_t open = at + key.size() + 4;
    const size_t close = text.find('}', open);
    if (close == std::string::npos)
        return std::nullopt;
    return text.substr(open, close - open);
}

}  // namespace

bool parseMembers(const std::string &list, bool setting, std::vector<Member> &out)
{
    size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && isspace(static_cast<unsigned char>(list[i])))
            ++i;
        if (i == list.size())
            break;
        if (list[i] != '"')
            return false;
        char *end = nullptr;
        const unsigned long id = strtoul(list.c_str() + i + 1, &end, 10);
        if (end == list.c_str() + i + 1 || end[0] != '"' || end[1] != ':')
            return false;
        const char *valueStart = end + 2;
        const long long value = strtoll(valueStart, &end, 10);
        if (end == valueStart)
            return false;
        out.push_back({setting, static_cast<uint32_t>(id), value});
        i = static_cast<size_t>(end - list.c_str());
        while (i < list.size() && isspace(static_cast<unsigned char>(list[i])))
            ++i;
        if (i < list.size() && list[i] != ',')
            return false;
        ++i;
    }
    return true;
}

std::optional<Notification> parseNotification(const std::string &text)
{
    Notification n;
    if (text.rfind("{\"state\":", 0) == 0) {
        n.kind = "shutdown pending";
        return n;
    }
    if (text.size() < 2 || text.front() != '{' || text.back() != '}')
        return std::nullopt;
    const auto status = object(text, "status");
    const auto settings = object(text, "settings");
    if (status || settings) {
        n.kind = "changes";
        if ((status && !parseMembers(*status, false, n.members)) ||
            (settings && !parseMembers(*settings, true, n.members)))
            return std::nullopt;
        return n;
    }
    // Full state: the status members, a line break, the settings members.
    const size_t split = text.find(",\n");
    if (split == std::string::npos)
        return std::nullopt;
    n.kind = "full state";
    if (!parseMembers(text.substr(1, split - 1), false, n.members) ||
        !parseMembers(text.substr(split + 2, text.size() - split - 3), true, n.members))
        return std::nullopt;
    return n;
}

std::string flatModeName(int64_t mode)
{
    if (mode < 0 || !wsdk_commands::WSDK_EnumFlatMode_IsValid(static_cast<int>(mode)))
        return "";
    return shortName(
        wsdk_commands::WSDK_EnumFlatMode_Name(static_cast<wsdk_commands::WSDK_EnumFlatMode>(mode)),
        "WSDK_FLAT_MODE_");
}

std::string presetGroupName(int64_t group)
{
    if (group < 0 || !wsdk_commands::WSDK_EnumPresetGroup_IsValid(static_cast<int>(group)))
        return "";
    return shortName(wsdk_commands::WSDK_EnumPresetGroup_Name(
                         static_cast<wsdk_commands::WSDK_EnumPresetGroup>(group)),
                     "WSDK_PRESET_GROUP_ID_");
}

std::string valueText(const Member &m)
{
    char text[32];
    if (isPresetId(m))
        snprintf(text, sizeof text, "0x%llx",
                 static_cast<unsigned long long>(m.value & 0xFFFFFFFF));
    else
        snprintf(text, sizeof text, "%lld", static_cast<long long>(m.value));
    return text;
}

std::string noteText(const Member &m)
{
    if ((m.setting && m.id == 144) || (!m.setting && m.id == 89))
        return flatModeName(m.value);
    if (!m.setting && m.id == 96)
        return presetGroupName(m.value);
    if (m.setting) {
        const char *name =
            m.value >= 0 ? zt_option_name(m.id, static_cast<uint32_t>(m.value)) : nullptr;
        return name ? name : "";
    }
    const zt_item_info_t *info = zt_status_item_info(m.id);
    return info ? info->unit : "";
}

std::string memberName(const Member &m)
{
    const zt_item_info_t *info = m.setting ? zt_setting_info(m.id) : zt_status_item_info(m.id);
    return info ? info->name : std::to_string(m.id);
}

bool isThrottled(const Member &m)
{
    if (m.setting)
        return false;
    const camera_status_item_t *item = camera_status_find_item(m.id);
    return item && item->change_class == CAMERA_STATUS_CLASS_THROTTLED;
}

std::string formatTable(const std::vector<Member> &members)
{
    std::string out;
    for (bool setting : {false, true}) {
        bool heading = false;
        for (const Member &m : members) {
            if (m.setting != setting)
                continue;
            if (!heading)
                out += setting ? "settings:\n" : "status:\n";
            heading = true;
            char line[160];
            snprintf(line, sizeof line, "  %-26s %10s  %s", memberName(m).c_str(),
                     valueText(m).c_str(), noteText(m).c_str());
            std::string row = line;
            row.erase(row.find_last_not_of(' ') + 1);
            out += row + "\n";
        }
    }
    return out;
}

std::string formatJson(const std::vector<Member> &members, const std::string &extra)
{
    std::string out = "{" + extra;
    for (bool setting : {false, true}) {
        std::string part;
        for (const Member &m : members)
            if (m.setting == setting)
                part +=
                    (part.empty() ? "\"" : ",\"") + memberName(m) + "\":" + std::to_string(m.value);
        if (part.empty())
            continue;
        if (out.size() > 1)
            out += ",";
        out += std::string(setting ? "\"settings\":{" : "\"status\":{") + part + "}";
    }
    return out + "}";
}

}  // namespace ztctl
