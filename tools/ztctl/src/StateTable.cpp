// ztctl's status and settings tables; see StateTable.h.
#include "StateTable.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

#include "camera_status.h"
#include "wsdkCommands/WSDK_EnumFlatMode.pb.h"
#include "wsdkCommands/WSDK_EnumPresetGroup.pb.h"

namespace ztctl {

namespace {

// Status items holding preset ids, shown in hex as the presets are.
bool isPresetId(const Item &m)
{
    return m.kind != ZTCLIENT_SETTING && m.id >= 93 && m.id <= 98 && m.id != 96;
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

}  // namespace

std::string notificationKind(int kind)
{
    return kind == ZTCLIENT_FULL_STATE         ? "full state"
           : kind == ZTCLIENT_SHUTDOWN_PENDING ? "shutdown pending"
                                               : "changes";
}

std::vector<Item> settingItems(const std::vector<std::pair<uint32_t, int64_t>> &settings)
{
    std::string text = "{\"settings\":{";
    for (const auto &[id, value] : settings)
        text += (text.back() == '{' ? "\"" : ",\"") + std::to_string(id) +
                "\":" + std::to_string(value);
    text += "}}";
    std::vector<Item> items(settings.size());
    size_t count = 0;
    ztclient_parse_notification(text.data(), text.size(), items.data(), items.size(), &count);
    items.resize(std::min(count, items.size()));
    return items;
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

std::string valueText(const Item &m)
{
    char text[32];
    if (isPresetId(m))
        snprintf(text, sizeof text, "0x%llx",
                 static_cast<unsigned long long>(m.value & 0xFFFFFFFF));
    else
        snprintf(text, sizeof text, "%lld", static_cast<long long>(m.value));
    return text;
}

std::string noteText(const Item &m)
{
    const bool setting = m.kind == ZTCLIENT_SETTING;
    if ((setting && m.id == 144) || (!setting && m.id == 89))
        return flatModeName(m.value);
    if (!setting && m.id == 96)
        return presetGroupName(m.value);
    const char *note = setting ? m.option : m.unit;
    return note ? note : "";
}

std::string memberName(const Item &m)
{
    return m.name ? m.name : std::to_string(m.id);
}

bool isThrottled(const Item &m)
{
    if (m.kind == ZTCLIENT_SETTING)
        return false;
    const camera_status_item_t *item = camera_status_find_item(m.id);
    return item && item->change_class == CAMERA_STATUS_CLASS_THROTTLED;
}

std::string formatTable(const std::vector<Item> &members)
{
    std::string out;
    for (bool setting : {false, true}) {
        bool heading = false;
        for (const Item &m : members) {
            if ((m.kind == ZTCLIENT_SETTING) != setting)
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

std::string formatJson(const std::vector<Item> &members, const std::string &extra)
{
    std::string out = "{" + extra;
    for (bool setting : {false, true}) {
        std::string part;
        for (const Item &m : members)
            if ((m.kind == ZTCLIENT_SETTING) == setting)
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
