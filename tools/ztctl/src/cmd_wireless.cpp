// ztctl's friendly subcommands for Wi-Fi, pairing, Bluetooth and the
// firmware-update download, and the decoding of the scan list. Pure
// functions; see Subcommand.h.
#include <stdio.h>
#include <string.h>

#include "CommandLine.h"
#include "Subcommand.h"
#include "ztcontrol_commands.h"
#include "ztcontrol_layouts.h"

namespace ztctl {

namespace {

// The daemon's network argument (kZtNetworkArg...), always sent whole.
bool networkArg(const std::string &ssid, const std::string &password, uint32_t auth, uint32_t mode,
                Options &o, std::string &error)
{
    if (ssid.size() >= kZtNetworkArgSsidField) {
        error =
            "the SSID has at most " + std::to_string(kZtNetworkArgSsidField - 1) + " characters";
        return false;
    }
    if (password.size() >= kZtNetworkArgPasswordField) {
        error = "the password has at most " + std::to_string(kZtNetworkArgPasswordField - 1) +
                " characters";
        return false;
    }
    Bytes arg(kZtNetworkArgSize, 0);
    memcpy(arg.data() + kZtNetworkArgSsidOffset, ssid.data(), ssid.size());
    memcpy(arg.data() + kZtNetworkArgPasswordOffset, password.data(), password.size());
    putLE(arg, kZtNetworkArgAuthOffset, auth, 4);
    putLE(arg, kZtNetworkArgModeOffset, mode, 4);
    o.argument = arg;
    return true;
}

bool parseWifi(const std::vector<std::string> &w, Options &o, std::string &error)
{
    const std::string verb = w.empty() ? "" : w[0];
    uint32_t n = 0;
    if (verb == "ap") {
        if (!wordCount(w, 2, 2, "wifi ap on|off|ACTION", error))
            return false;
        o.command = ZTCONTROL_WIFI_AP_CONTROL;
        size_t index = 0;
        if (!wordChoice(w[1], {"off", "on"}, 32, "wifi ap", index, n, error))
            return false;
        if (index < 2)
            n = static_cast<uint32_t>(index);
        o.argument = Bytes();
        appendLE(*o.argument, n, 4);
        return true;
    }
    if (verb == "ap-config") {
        if (!wordCount(w, 3, 4, "wifi ap-config SSID PASSWORD [MODE]", error))
            return false;
        uint32_t mode = 1;
        if (w.size() == 4 && !wordNumber(w[3], 32, "wifi ap-config MODE", mode, error))
            return false;
        o.command = ZTCONTROL_WIFI_AP_SSID_CONFIG;
        return networkArg(w[1], w[2], 0, mode, o, error);
    }
    if (verb == "band") {
        if (!wordCount(w, 2, 2, "wifi band BAND", error))
            return false;
        if (!wordNumber(w[1], 32, "wifi band", n, error))
            return false;
        o.command = ZTCONTROL_WIFI_BAND_SELECT;
        o.argument = Bytes();
        appendLE(*o.argument, n, 4);
        return true;
    }
    if (verb == "scan") {
        if (!wordCount(w, 1, 1, "wifi scan", error))
            return false;
        o.command = ZTCONTROL_WIFI_SSID_SCAN;
        o.argument = Bytes{1};
        return true;
    }
    if (verb == "list") {
        if (!wordCount(w, 1, 2, "wifi list [OFFSET]", error))
            return false;
        if (w.size() == 2 && !wordNumber(w[1], 8, "wifi list", n, error))
            return false;
        o.command = ZTCONTROL_WIFI_SSID_LIST;
        o.argument = Bytes{static_cast<uint8_t>(n)};
        return true;
    }
    if (verb == "save") {
        if (!wordCount(w, 2, 3, "wifi save SSID [PASSWORD]", error))
            return false;
        o.command = ZTCONTROL_WIFI_SSID_SAVE;
        return networkArg(w[1], w.size() == 3 ? w[2] : "", 0, 0, o, error);
    }
    if (verb == "connect") {
        if (!wordCount(w, 2, 4, "wifi connect SSID [PASSWORD [AUTH]]", error))
            return false;
        if (w.size() == 4 && !wordNumber(w[3], 32, "wifi connect AUTH", n, error))
            return false;
        o.command = ZTCONTROL_WIFI_SSID_SELECT;
        return networkArg(w[1], w.size() >= 3 ? w[2] : "", n, 0, o, error);
    }
    if (verb == "forget") {
        if (!wordCount(w, 2, 2, "wifi forget SSID", error))
            return false;
        o.command = ZTCONTROL_WIFI_SSID_DELETE;
        return networkArg(w[1], "", 0, 0, o, error);
    }
    if (verb == "forget-all") {
        if (!wordCount(w, 1, 1, "wifi forget-all", error))
            return false;
        o.command = ZTCONTROL_WIFI_SSID_DELETE_ALL;
        return true;
    }
    error = "wifi: expected ap, ap-config, band, scan, list, save, connect, forget or forget-all";
    return false;
}

bool parsePair(const std::vector<std::string> &w, Options &o, std::string &error)
{
    if (w.size() == 1 && w[0] == "start") {
        o.command = ZTCONTROL_RC_PAIR;
        return true;
    }
    if (w.size() == 1 && w[0] == "cancel") {
        o.command = ZTCONTROL_RC_PAIR_CANCEL;
        return true;
    }
    error = "usage: pair start|cancel";
    return false;
}

bool parseBle(const std::vector<std::string> &w, Options &o, std::string &error)
{
    if (w.size() != 1 || w[0] != "off") {
        error = "usage: ble off";
        return false;
    }
    o.command = ZTCONTROL_BLE_CONTROL;
    return true;
}

bool parseFwUpdate(const std::vector<std::string> &w, Options &o, std::string &error)
{
    const std::string verb = w.empty() ? "" : w[0];
    if (w.size() == 1 && verb == "start") {
        o.command = ZTCONTROL_FW_UPDATE_START;
        return true;
    }
    if (w.size() == 1 && verb == "cancel") {
        o.command = ZTCONTROL_FW_UPDATE_CANCEL;
        return true;
    }
    if (w.size() == 2 && verb == "done" && (w[1] == "ok" || w[1] == "failed")) {
        o.command = ZTCONTROL_FW_UPDATE_DONE;
        o.argument = Bytes{static_cast<uint8_t>(w[1] == "ok" ? 1 : 0)};
        return true;
    }
    error = "usage: fwupdate start|cancel|done ok|failed";
    return false;
}

std::string decodeScanList(const std::vector<uint8_t> &p)
{
    if (p.size() != kZtScanListSize)
        return "";
    const uint32_t count = readLE(p, kZtScanListCountOffset, 2);
    char line[160];
    snprintf(line, sizeof line, "offset %u, scan id %u, %u entries, %u networks found",
             p[kZtScanListOffsetOffset], readLE(p, kZtScanListScanIdOffset, 2), count,
             readLE(p, kZtScanListFoundOffset, 4));
    std::string out = line;
    for (size_t i = 0; i < count && i < kZtScanListMaxEntries; ++i) {
        const size_t e = kZtScanListEntriesOffset + i * kZtScanListEntrySize;
        const char *name = reinterpret_cast<const char *>(&p[e + kZtScanEntryNameOffset]);
        snprintf(line, sizeof line, "\n  %2zu  %-32.*s  bars %u  flags 0x%02x  word %u", i,
                 static_cast<int>(strnlen(name, kZtScanEntryNameMax + 1)), name,
                 readLE(p, e + kZtScanEntryBarsOffset, 4), p[e + kZtScanEntryFlagsOffset],
                 readLE(p, e + kZtScanEntryWordOffset, 4));
        out += line;
    }
    return out;
}

std::string decodeWireless(uint32_t command, const std::vector<uint8_t> &payload, const Display &)
{
    if (command == ZTCONTROL_WIFI_SSID_LIST)
        return decodeScanList(payload);
    return "";
}

}  // namespace

const SubcommandArea &wirelessArea()
{
    static const SubcommandArea area{
        {
            {"wifi",
             "  wifi ap on|off|ACTION          access point on (1), off (0) or another action\n"
             "  wifi ap-config SSID PASSWORD [MODE]\n"
             "                                 access point name and password (mode word, default "
             "1)\n"
             "  wifi band BAND                 Wi-Fi band number (0 or 1)\n"
             "  wifi scan                      start a network scan; prints the scan id\n"
             "  wifi list [OFFSET]             scan results from OFFSET (default 0), decoded\n"
             "  wifi save SSID [PASSWORD]      quick connect, saving the network\n"
             "  wifi connect SSID [PASSWORD [AUTH]]\n"
             "                                 connect (authentication type, default 0)\n"
             "  wifi forget SSID | forget-all  delete one or every saved network\n",
             parseWifi},
            {"pair", "  pair start|cancel              remote-control pairing\n", parsePair},
            {"ble", "  ble off                        Bluetooth off\n", parseBle},
            {"fwupdate",
             "  fwupdate start|cancel|done ok|failed\n"
             "                                 firmware-update download\n",
             parseFwUpdate},
        },
        decodeWireless,
    };
    return area;
}

}  // namespace ztctl
