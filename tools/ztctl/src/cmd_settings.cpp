// ztctl's friendly subcommands for settings and status: one setting change,
// the status and settings blocks (printed as the JSON the daemon pushes to
// its notification clients), the advanced-settings resets, the speed ramp and
// the calibration queries. Pure functions; see Subcommand.h.
//
// Blocks are decoded with the camera control library's tables for the
// default camera model (57); the few settings whose options differ on other
// models print their option ids as that model would.
#include <algorithm>
#include <sstream>

#include "CommandLine.h"
#include "Subcommand.h"
#include "camera_status.h"
#include "ztcontrol_commands.h"
#include "ztcontrol_layouts.h"

namespace ztctl {

namespace {

constexpr uint8_t kDecodeModel = 57;

bool parseSetting(const std::vector<std::string> &w, Options &o, std::string &error)
{
    uint32_t setting = 0, option = 0;
    if (w.size() != 2 || !wordNumber(w[0], 32, "setting ID", setting, error) ||
        !wordNumber(w[1], 32, "setting OPTION", option, error)) {
        if (error.empty())
            error = "usage: setting ID OPTION";
        return false;
    }
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

std::string statusJson(const appc_system_all_status &status)
{
    std::ostringstream out;
    out << "\"status\":{";
    camera_status_serialize_status_to_json(out, &status, kDecodeModel);
    out << '}';
    return out.str();
}

std::string settingsJson(const appc_setup_all_settings &settings,
                         const ztcontrol_system_settings *system)
{
    std::ostringstream out;
    out << "\"settings\":{";
    camera_settings_serialize_to_json(out, &settings, nullptr, system, kDecodeModel);
    out << '}';
    return out.str();
}

// Blocks of exactly their size only; a refusal or a short answer is shown as
// bytes.
std::string decodeSettings(uint32_t command, const std::vector<uint8_t> &p)
{
    all_status_settings_t block{};
    switch (command) {
    case ZTCONTROL_GET_ALL_STATUS:
        if (p.size() != sizeof block.status)
            return "";
        std::copy(p.begin(), p.end(), block.status.raw);
        return "{" + statusJson(block.status) + "}";
    case ZTCONTROL_GET_ALL_SETTINGS:
        if (p.size() != sizeof block.settings)
            return "";
        std::copy(p.begin(), p.end(), block.settings.raw);
        return "{" + settingsJson(block.settings, nullptr) + "}";
    case ZTCONTROL_GET_ALL_SETTINGS_STATUS:
        if (p.size() != sizeof block)
            return "";
        std::copy(p.begin(), p.end(), reinterpret_cast<uint8_t *>(&block));
        return "{" + statusJson(block.status) + ",\n" +
               settingsJson(block.settings, &block.system) + "}";
    default:
        return "";
    }
}

}  // namespace

const SubcommandArea &settingsArea()
{
    static const SubcommandArea area{
        {
            {"setting",
             "  setting ID OPTION              change one setting to one of its options\n",
             parseSetting},
            {"settings",
             "  settings | status | state      the settings, the status, or both, as JSON\n",
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
