// ztctl's friendly subcommands for capture and modes (shutter, mode, zoom,
// live-view exposure and the rest). Pure functions; see Subcommand.h.
#include <cctype>

#include "CommandLine.h"
#include "Subcommand.h"
#include "wsdkCommands/WSDK_EnumFlatMode.pb.h"
#include "wsdkCommands/WSDK_EnumPresetGroup.pb.h"
#include "ztcontrol_commands.h"
#include "ztcontrol_layouts.h"

namespace ztctl {

namespace {

std::string upper(std::string text)
{
    for (char &c : text)
        c = c == '-' ? '_' : static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return text;
}

// Base modes of the mode commands: 0 video, 1 photo, 2 time lapse.
bool baseMode(const std::string &word, const char *what, uint32_t &mode, std::string &error)
{
    size_t index = 0;
    if (!wordChoice(word, {"video", "photo", "timelapse"}, 32, what, index, mode, error))
        return false;
    if (index < 3)
        mode = static_cast<uint32_t>(index);
    return true;
}

bool parseShutter(const std::vector<std::string> &w, Options &o, std::string &error)
{
    size_t index = 0;
    uint32_t value = 0;
    if (!wordCount(w, 1, 1, "shutter on|off|N", error) ||
        !wordChoice(w[0], {"off", "on"}, 8, "shutter", index, value, error))
        return false;
    o.command = ZTCONTROL_COMMAND_SHUTTER;
    o.argument = Bytes{static_cast<uint8_t>(index < 2 ? index : value)};
    return true;
}

bool parseMode(const std::vector<std::string> &w, Options &o, std::string &error)
{
    uint32_t mode = 0;
    if (!wordCount(w, 1, 1, "mode video|photo|timelapse|N", error) ||
        !baseMode(w[0], "mode", mode, error))
        return false;
    o.command = ZTCONTROL_MODE;
    o.argument = Bytes();
    appendLE(*o.argument, mode, 4);
    return true;
}

bool parseSubMode(const std::vector<std::string> &w, Options &o, std::string &error)
{
    uint32_t mode = 0, subMode = 0;
    if (!wordCount(w, 2, 2, "submode video|photo|timelapse|N SUB", error) ||
        !baseMode(w[0], "submode MODE", mode, error) ||
        !wordNumber(w[1], 32, "submode SUB", subMode, error))
        return false;
    o.command = ZTCONTROL_MODE_SUB_MODE;
    o.argument = Bytes(kZtModeSubModeArgSize, 0);
    putLE(*o.argument, kZtModeSubModeArgModeOffset, mode, 4);
    putLE(*o.argument, kZtModeSubModeArgSubModeOffset, subMode, 4);
    return true;
}

// A flat mode by its name ("video", "photo-night", "time-lapse-photo"), a
// preset group ("group-video" is 1000) or a number.
bool parseSetMode(const std::vector<std::string> &w, Options &o, std::string &error)
{
    const char *usage = "set-mode FLATMODE|group-video|group-photo|group-timelapse|N";
    if (!wordCount(w, 1, 1, usage, error))
        return false;
    uint32_t mode = 0;
    wsdk_commands::WSDK_EnumFlatMode flat;
    wsdk_commands::WSDK_EnumPresetGroup group;
    const std::string name = upper(w[0]);
    if (wsdk_commands::WSDK_EnumFlatMode_Parse("WSDK_FLAT_MODE_" + name, &flat) && flat >= 0) {
        mode = static_cast<uint32_t>(flat);
    } else if (name.rfind("GROUP_", 0) == 0 &&
               wsdk_commands::WSDK_EnumPresetGroup_Parse("WSDK_PRESET_GROUP_ID_" + name.substr(6),
                                                         &group)) {
        mode = static_cast<uint32_t>(group);
    } else if (!wordNumber(w[0], 16, usage, mode, error)) {
        return false;
    }
    o.command = ZTCONTROL_MODE_SET_MODE;
    o.argument = Bytes();
    appendLE(*o.argument, mode, 2);
    return true;
}

bool parseCaptureDelay(const std::vector<std::string> &w, Options &o, std::string &error)
{
    return oneNumber(w, ZTCONTROL_CAPTURE_DELAY, 32, "capture-delay N", o, error);
}

bool parseZoom(const std::vector<std::string> &w, Options &o, std::string &error)
{
    return oneNumber(w, ZTCONTROL_DIGITAL_ZOOM, 32, "zoom N", o, error);
}

bool parseQuickCapture(const std::vector<std::string> &w, Options &o, std::string &error)
{
    if (w.empty())
        return oneNumber({"1"}, ZTCONTROL_QUICK_CAPTURE_START, 8, "", o, error);
    return oneNumber(w, ZTCONTROL_QUICK_CAPTURE_START, 8, "quick-capture [N]", o, error);
}

// Live-view exposure: four words (exposure mode, x, y, lens); x and y are
// percentages of the picture.
bool parseExposure(const std::vector<std::string> &w, Options &o, std::string &error)
{
    const char *usage = "exposure reset | spot X Y | region X Y | lens X Y LENS";
    const std::string verb = w.empty() ? "" : w[0];
    uint32_t words[4] = {0, 0, 0, 0};
    if (verb == "reset") {
        if (!wordCount(w, 1, 1, usage, error))
            return false;
    } else if (verb == "spot" || verb == "region" || verb == "lens") {
        words[0] = verb == "spot" ? 1 : verb == "region" ? 2 : 3;
        const size_t count = verb == "lens" ? 4 : 3;
        if (!wordCount(w, count, count, usage, error))
            return false;
        for (size_t i = 1; i < count; ++i)
            if (!wordNumber(w[i], 32, usage, words[i], error))
                return false;
    } else {
        error = std::string("usage: ") + usage;
        return false;
    }
    static const size_t kOffsets[4] = {kZtLiveviewArgModeOffset, kZtLiveviewArgXOffset,
                                       kZtLiveviewArgYOffset, kZtLiveviewArgLensOffset};
    o.command = ZTCONTROL_LIVEVIEW_MODE_SET;
    o.argument = Bytes(kZtLiveviewArgSize, 0);
    for (size_t i = 0; i < 4; ++i)
        putLE(*o.argument, kOffsets[i], words[i], 4);
    return true;
}

bool parseBusy(const std::vector<std::string> &w, Options &o, std::string &error)
{
    if (!wordCount(w, 0, 0, "busy", error))
        return false;
    o.command = ZTCONTROL_GET_BUSY_STATUS;
    o.argument.reset();
    return true;
}

}  // namespace

const SubcommandArea &captureArea()
{
    static const SubcommandArea area{
        {
            {"shutter", "  shutter on|off|N               start or stop a capture\n", parseShutter},
            {"mode",
             "  mode video|photo|timelapse|N   change mode (flat-mode cameras take the\n"
             "                                 family's last flat mode)\n",
             parseMode},
            {"submode", "  submode MODE SUB               change mode and sub-mode\n",
             parseSubMode},
            {"set-mode",
             "  set-mode FLATMODE|group-NAME|N activate the preset of a flat mode\n"
             "                                 (video, photo-night, ...) or group\n",
             parseSetMode},
            {"capture-delay",
             "  capture-delay N                photo timer of the current preset\n",
             parseCaptureDelay},
            {"zoom", "  zoom N                         digital zoom\n", parseZoom},
            {"quick-capture", "  quick-capture [N]              quick capture (N defaults to 1)\n",
             parseQuickCapture},
            {"exposure",
             "  exposure reset|spot X Y|region X Y|lens X Y LENS\n"
             "                                 live-view exposure point (X, Y in %)\n",
             parseExposure},
            {"busy", "  busy                           is the camera busy\n", parseBusy},
        },
        nullptr,  // the preset answers some of these get are printed by the presets area
    };
    return area;
}

}  // namespace ztctl
