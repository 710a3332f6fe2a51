// Command server, preset-group state shared by the event handling, status
// polling and the preset commands: names of the firmware's preset events and
// the folding of firmware preset groups into the three base groups.
#include "ztcontrol_if_server.h"

const char *ZtcontrolCommandServer::PresetEventText(uint8_t event)
{
    static const char *const kNames[] = {
        "APPC_SYSTEM_PRESET_EDIT_START",
        "APPC_SYSTEM_PRESET_EDIT_STORE",
        "APPC_SYSTEM_PRESET_EDIT_CANCEL",
        "APPC_SYSTEM_PRESET_GROUP_PRESET_CREATED",
        "APPC_SYSTEM_PRESET_GROUP_REORDERED",
        "APPC_SYSTEM_PRESET_GROUP_PRESET_REMOVED",
        "APPC_SYSTEM_PRESET_ACTIVE_SET",
        "APPC_SYSTEM_PRESET_RESET",
        "APPC_SYSTEM_PRESET_CHANGED",
    };
    if (event < sizeof(kNames) / sizeof(kNames[0]))
        return kNames[event];
    return "unknown";
}

// Orbi-lens groups (3 to 5), the power-profile video groups (8, 9, 14) and
// the easy groups (10 to 13) are variants of video, photo and time lapse.
int ZtcontrolCommandServer::RemapPresetGroup(int group)
{
    switch (group) {
    case 3:
    case 8:
    case 9:
    case 10:
    case 11:
    case 14:
        return 0;
    case 4:
    case 12:
        return 1;
    case 5:
    case 13:
        return 2;
    default:
        return group;
    }
}
