// ztctl's friendly subcommands for system commands: power, locate, reset,
// analytics, the log level, the system flags and button presses of remotes
// and multi-camera controllers. Pure functions; see Subcommand.h.
#include "CommandLine.h"
#include "Subcommand.h"
#include "ztcontrol_commands.h"
#include "ztcontrol_layouts.h"

namespace ztctl {

namespace {

// One byte: on (1), off (0) or a number.
bool oneByte(const std::vector<std::string> &w, uint32_t command, const char *usage, Options &o,
             std::string &error)
{
    if (w.size() != 1) {
        error = std::string("usage: ") + usage;
        return false;
    }
    uint32_t value = 0;
    size_t index = 0;
    if (!wordChoice(w[0], {"off", "on"}, 8, usage, index, value, error))
        return false;
    if (index < 2)
        value = static_cast<uint32_t>(index);
    o.command = command;
    o.argument = Bytes{static_cast<uint8_t>(value)};
    return true;
}

bool parseShutdown(const std::vector<std::string> &w, Options &o, std::string &error)
{
    return noWords(w, ZTCONTROL_SYSTEM_SHUTDOWN, "shutdown", o, error);
}

bool parseSleep(const std::vector<std::string> &w, Options &o, std::string &error)
{
    return noWords(w, ZTCONTROL_SYSTEM_SLEEP, "sleep", o, error);
}

bool parseLocate(const std::vector<std::string> &w, Options &o, std::string &error)
{
    return oneByte(w, ZTCONTROL_LOCATE, "locate on|off", o, error);
}

bool parseFactoryReset(const std::vector<std::string> &w, Options &o, std::string &error)
{
    return oneByte(w, ZTCONTROL_FACTORY_RESET, "factory-reset TYPE", o, error);
}

bool parseAnalytics(const std::vector<std::string> &w, Options &o, std::string &error)
{
    if (w.size() == 1 && w[0] == "clear") {
        o.command = ZTCONTROL_ANALYTICS_CLEAR;
        return true;
    }
    return noWords(w, ZTCONTROL_ANALYTICS_FILENAME_GET, "analytics [clear]", o, error);
}

bool parseLogLevel(const std::vector<std::string> &w, Options &o, std::string &error)
{
    uint32_t level = 0;
    if (w.size() != 1 || !wordNumber(w[0], 32, "log-level", level, error)) {
        if (error.empty())
            error = "usage: log-level 0..6";
        return false;
    }
    o.command = ZTCONTROL_SET_LOG_LEVEL;
    o.argument = Bytes();
    appendLE(*o.argument, level, 4);
    return true;
}

bool parseContextualMenu(const std::vector<std::string> &w, Options &o, std::string &error)
{
    return oneByte(w, ZTCONTROL_SET_IN_CONTEXTUAL_MENU, "contextual-menu on|off", o, error);
}

bool parseCameraControl(const std::vector<std::string> &w, Options &o, std::string &error)
{
    return oneByte(w, ZTCONTROL_SET_CAMERA_CONTROL_STATUS, "camera-control N", o, error);
}

bool parseUsbControl(const std::vector<std::string> &w, Options &o, std::string &error)
{
    return oneByte(w, ZTCONTROL_SET_WIRED_USB_CONTROL, "usb-control on|off", o, error);
}

bool parseAutoClear(const std::vector<std::string> &w, Options &o, std::string &error)
{
    return oneByte(w, ZTCONTROL_SET_CAH_AUTO_CLEAR, "auto-clear on|off", o, error);
}

bool parseWebcamExit(const std::vector<std::string> &w, Options &o, std::string &error)
{
    return noWords(w, ZTCONTROL_WEBCAM_REQUEST_EXIT, "webcam-exit", o, error);
}

// The button argument (kZtButtonArg...): type, and the raw word holding the
// state and the rotation code.
void buttonArgument(Options &o, uint32_t type, uint32_t state, uint32_t rotationCode)
{
    o.command = ZTCONTROL_SYSTEM_BUTTON_SET;
    const uint32_t raw = (state & kZtButtonStateMask) |
                         ((rotationCode & kZtButtonStateMask) << kZtButtonRotationShift);
    o.argument = Bytes(kZtButtonArgSize, 0);
    putLE(*o.argument, kZtButtonArgTypeOffset, type, 4);
    putLE(*o.argument, kZtButtonArgStateOffset, raw, 4);
}

// button shutter|mode|hilight press|release [ROTATION]
bool parseButton(const std::vector<std::string> &w, Options &o, std::string &error)
{
    static const char kUsage[] = "usage: button shutter|mode|hilight press|release [0|90|180|270]";
    static const char *const kButtons[] = {"shutter", "mode", "hilight"};
    if (w.size() < 2 || w.size() > 3 || (w[1] != "press" && w[1] != "release")) {
        error = kUsage;
        return false;
    }
    uint32_t type = 3;
    for (uint32_t i = 0; i < 3; ++i)
        if (w[0] == kButtons[i])
            type = i;
    uint32_t rotation = 0;
    if (w.size() == 3) {
        static const char *const kDegrees[] = {"0", "90", "180", "270"};
        rotation = 4;
        for (uint32_t i = 0; i < 4; ++i)
            if (w[2] == kDegrees[i])
                rotation = i;
    }
    if (type > 2 || rotation > 3) {
        error = kUsage;
        return false;
    }
    buttonArgument(o, type, w[1] == "press" ? 0 : 1, rotation);
    return true;
}

// multicam shutter on|off | multicam mode video|photo|timelapse|default
bool parseMulticam(const std::vector<std::string> &w, Options &o, std::string &error)
{
    if (w.size() == 2 && w[0] == "shutter" && (w[1] == "on" || w[1] == "off")) {
        buttonArgument(o, 16, w[1] == "on" ? 0 : 1, 0);
        return true;
    }
    static const char *const kModes[] = {"video", "photo", "timelapse", "default"};
    for (uint32_t i = 0; w.size() == 2 && w[0] == "mode" && i < 4; ++i) {
        if (w[1] == kModes[i]) {
            buttonArgument(o, 17, i, 0);
            return true;
        }
    }
    error = "usage: multicam shutter on|off | multicam mode video|photo|timelapse|default";
    return false;
}

}  // namespace

const SubcommandArea &systemArea()
{
    static const SubcommandArea area{
        {
            {"shutdown",
             "  shutdown | sleep               power the camera off, or put it to sleep\n",
             parseShutdown},
            {"sleep", "", parseSleep},
            {"locate",
             "  locate on|off                  make the camera findable (beeps, lights)\n",
             parseLocate},
            {"factory-reset",
             "  factory-reset TYPE             reset the camera (TYPE: the firmware's)\n",
             parseFactoryReset},
            {"analytics",
             "  analytics [clear]              analytics file name, or clear the analytics\n",
             parseAnalytics},
            {"log-level",
             "  log-level N                    the daemon's log level (0 off .. 6 trace)\n",
             parseLogLevel},
            {"contextual-menu",
             "  contextual-menu on|off         tell the camera a contextual menu is shown\n",
             parseContextualMenu},
            {"camera-control", "  camera-control N               external camera control status\n",
             parseCameraControl},
            {"usb-control",
             "  usb-control on|off             allow camera control over wired USB\n",
             parseUsbControl},
            {"auto-clear", "  auto-clear on|off              automatic clearing\n", parseAutoClear},
            {"webcam-exit", "  webcam-exit                    leave webcam mode\n",
             parseWebcamExit},
            {"button",
             "  button shutter|mode|hilight press|release [0|90|180|270]\n"
             "                                 a remote's button, with its rotation\n",
             parseButton},
            {"multicam",
             "  multicam shutter on|off | multicam mode video|photo|timelapse|default\n"
             "                                 a multi-camera controller's press\n",
             parseMulticam},
        },
        nullptr,
    };
    return area;
}

}  // namespace ztctl
