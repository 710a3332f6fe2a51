// ztctl's friendly subcommands for settings and status: one setting change,
// the status and settings blocks (printed as tables of name, value and unit
// or option name, or as JSON keyed by name), the advanced-settings resets,
// the speed ramp and the calibration queries. Pure functions; see
// Subcommand.h.
//
// Blocks are decoded by the client library with the tables of the default
// camera model (57); the few settings whose options differ on other
// models print their option ids as that model would.
#include <algorithm>

#include "CommandLine.h"
#include "StateTable.h"
#include "Subcommand.h"
#include "camera_settings.h"
#include "ztcontrol_items.h"
#include "ztcontrol_commands.h"
#include "ztcontrol_layouts.h"

namespace ztctl {

namespace {

// setting ID|NAME OPTION|OPTION-NAME: names from the wire vocabulary. The
// option is checked against the camera model's options before sending.
bool parseSetting(const std::vector<std::string> &w, Options &o, std::string &error)
{
    uint32_t setting = 0, option = 0;
    if (!wordCount(w, 2, 2, "setting ID|NAME OPTION|OPTION-NAME", error))
        return false;
    if (const zt_item_info_t *info = zt_setting_by_name(w[0].c_str())) {
        setting = info->id;
    } else if (!parseNumber(w[0], 32)) {
        error = "setting: '" + w[0] + "' is not a setting (ztctl settings lists them)";
        return false;
    } else if (!wordNumber(w[0], 32, "setting ID", setting, error)) {
        return false;
    }
    if (zt_option_by_name(setting, w[1].c_str(), &option) != 0 &&
        !wordNumber(w[1], 32, "setting OPTION", option, error))
        return false;
    o.settingChange = std::make_pair(setting, option);
    o.command = ZTCONTROL_SET_SETTING_ID;
    o.argument = Bytes(kZtSettingArgSize, 0);
    putLE(*o.argument, kZtSettingArgIdOffset, setting, 4);
    putLE(*o.argument, kZtSettingArgOptionOffset, option, 4);
    return true;
}

bool parseSettings(const std::vector<std::string> &w, Options &o, std::string &error)
{
    return noWords(w, ZTCONTROL_GET_ALL_SETTINGS, "settings", o, error);
}

bool parseStatus(const std::vector<std::string> &w, Options &o, std::string &error)
{
    return noWords(w, ZTCONTROL_GET_ALL_STATUS, "status", o, error);
}

bool parseState(const std::vector<std::string> &w, Options &o, std::string &error)
{
    return noWords(w, ZTCONTROL_GET_ALL_SETTINGS_STATUS, "state", o, error);
}

bool parseGeocal(const std::vector<std::string> &w, Options &o, std::string &error)
{
    return noWords(w, ZTCONTROL_SYSTEM_GET_GEOCAL, "geocal", o, error);
}

bool parseCalibrationFile(const std::vector<std::string> &w, Options &o, std::string &error)
{
    return noWords(w, ZTCONTROL_SYSTEM_GET_SHADINGDATA_FILE, "calibration-file", o, error);
}

// advset-reset [video|photo|multishot]: without a family, the current flat
// mode's.
bool parseAdvsetReset(const std::vector<std::string> &w, Options &o, std::string &error)
{
    if (w.empty()) {
        o.command = ZTCONTROL_ADVSET_RESET;
        return true;
    }
    static const struct {
        const char *word;
        ztcontrol_command_t command;
    } kFamilies[] = {{"video", ZTCONTROL_VIDEO_ADVSET_RESET},
                     {"photo", ZTCONTROL_PHOTO_ADVSET_RESET},
                     {"multishot", ZTCONTROL_MULTI_ADVSET_RESET}};
    for (const auto &f : kFamilies) {
        if (w.size() == 1 && w[0] == f.word) {
            o.command = f.command;
            return true;
        }
    }
    error = "usage: advset-reset [video|photo|multishot]";
    return false;
}

bool parseSpeedRamp(const std::vector<std::string> &w, Options &o, std::string &error)
{
    return oneNumber(w, ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_RAMP_SET, 32, "speed-ramp N", o, error);
}

bool parseSpeedRampActive(const std::vector<std::string> &w, Options &o, std::string &error)
{
    return oneNumber(w, ZTCONTROL_VIDEO_SWIFTLAPSE_SPEED_RAMP_ACTIVE_SET, 32, "speed-ramp-active N",
                     o, error);
}

// Blocks of exactly their size only; a refusal or a short answer is not
// decoded.
std::string decodeSettings(uint32_t command, const std::vector<uint8_t> &p, const Display &display)
{
    std::vector<Item> members(512);
    size_t count = 0;
    if (ztclient_decode_state(static_cast<int32_t>(command), p.data(), p.size(), members.data(),
                              members.size(), &count) != 0)
        return "";
    members.resize(std::min(count, members.size()));
    if (display.json)
        return formatJson(members);
    std::string table = formatTable(members);
    table.pop_back();  // the caller ends the text
    return table;
}

}  // namespace

std::string checkSettingOption(int model, uint32_t setting, uint32_t option)
{
    const zt_item_info_t *info = zt_setting_info(setting);
    const std::string name = info ? info->name : "setting " + std::to_string(setting);
    const std::string where = "model " + std::to_string(model);
    uint32_t count = 0;
    const camera_settings_id_entry_t *table = camera_settings_id_table(model, &count);
    if (!table || setting >= count || !(table[setting].flags & CAMERA_SETTING_FLAG_SUPPORTED))
        return where + " has no " + name;
    uint32_t options[64];
    const uint32_t n = std::min<uint32_t>(camera_setting_options(model, setting, options, 64), 64);
    if (n == 0 || std::count(options, options + n, option) > 0)
        return "";
    std::string list;
    for (uint32_t i = 0; i < n; ++i) {
        const char *optionName = zt_option_name(setting, options[i]);
        list += (i ? ", " : "") + std::to_string(options[i]) +
                (optionName ? " (" + std::string(optionName) + ")" : "");
    }
    return name + ": " + std::to_string(option) + " is not an option on " + where +
           "; its options: " + list;
}

const SubcommandArea &settingsArea()
{
    static const SubcommandArea area{
        {
            {"setting",
             "  setting ID|NAME OPTION         change one setting to one of its options\n"
             "                                 (by id or name; checked against the\n"
             "                                 camera's options unless --force)\n",
             parseSetting},
            {"settings",
             "  settings | status | state      the settings, the status, or both: name,\n"
             "                                 value, unit or option (--json for scripts)\n",
             parseSettings},
            {"status", "", parseStatus},
            {"state", "", parseState},
            {"advset-reset",
             "  advset-reset [video|photo|multishot]\n"
             "                                 reset the advanced settings (default: of\n"
             "                                 the current mode)\n",
             parseAdvsetReset},
            {"speed-ramp",
             "  speed-ramp N | speed-ramp-active N\n"
             "                                 speed ramp of the stabilised hyper-lapse\n",
             parseSpeedRamp},
            {"speed-ramp-active", "", parseSpeedRampActive},
            {"geocal", "  geocal | calibration-file      calibration data, calibration file name\n",
             parseGeocal},
            {"calibration-file", "", parseCalibrationFile},
        },
        decodeSettings,
    };
    return area;
}

}  // namespace ztctl
