// Command handlers: Wi-Fi access point and saved networks, remote-control
// pairing, Bluetooth over-the-air mode and the firmware-update download. Most
// talk to the wireless accessory module with two-letter module commands;
// their payload bytes belong to the module and are sent exactly as laid out
// here. The network scans are in handlers_wireless_scan.cpp. Worker thread,
// m_commandMutex held.
#include <string.h>

#include "CommandHandler.h"
#include "utils.h"
#include "ztErrno.h"
#include "ztcontrol_bytes.h"
#include "ztcontrol_layouts.h"
#include "ztcontrol_remote_ops.h"

namespace {

// The 128-byte payload of "CT", "CL" and "CD": SSID at 4 (31 characters and
// a NUL at most), password at 37 (62 characters and a NUL at most).
constexpr size_t kNetPayloadSize = 128;
constexpr size_t kNetSsidOffset = 4;
constexpr size_t kNetSsidMax = 31;
constexpr size_t kNetPasswordOffset = 37;
constexpr size_t kNetPasswordMax = 62;

// The texts of a network argument (kZtNetworkArg...), bounded by their
// fields and the element.
struct Network {
    const char *ssid;
    size_t ssidLength;
    const char *password;
    size_t passwordLength;
};

Network readNetwork(const MsgElement *argument)
{
    const char *bytes = reinterpret_cast<const char *>(argument->getData());
    const size_t length = argument->getLength();
    static_assert(kZtNetworkArgSsidOffset == 0, "the SSID starts the network argument");
    Network n{bytes,
              strnlen(bytes, length < kZtNetworkArgSsidField ? length : kZtNetworkArgSsidField), "",
              0};
    if (length >= kZtNetworkArgTextsSize) {
        n.password = bytes + kZtNetworkArgPasswordOffset;
        n.passwordLength = strnlen(n.password, kZtNetworkArgPasswordField);
    }
    return n;
}

// One module command without an answer; `what` names it in the failure line.
int sendModule(ztc_msg_q_context_t &camera, const char *command, const uint8_t *payload,
               uint16_t length, const char *what)
{
    return ZT_LOGGED(ztc_send_auxmod_command(&camera, command, payload, length, nullptr, nullptr),
                     what);
}

void putNetworkText(uint8_t *payload, size_t offset, const char *text, size_t length, size_t max)
{
    memcpy(payload + offset, text, length < max ? length : max);  // NUL: payload is zeroed
}

}  // namespace

// The commands without arguments refuse an argument element.
CommandResult cmdFwUpdateStart(CommandScope &scope, const CommandArgs &)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_FW_UPDATE_START:");
    return ztc_fwupdate_download_start(&scope.camera);
}

CommandResult cmdFwUpdateCancel(CommandScope &scope, const CommandArgs &)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_FW_UPDATE_CANCEL:");
    return ZT_LOGGED(ztc_fwupdate_download_cancel(&scope.camera), "ztc_fwupdate_download_cancel");
}

// Argument: one byte, non-zero when the download succeeded.
CommandResult cmdFwUpdateDone(CommandScope &scope, const CommandArgs &args)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_FW_UPDATE_DONE:");
    return ZT_LOGGED(ztc_fwupdate_download_done(&scope.camera, args.argument->getUInt8() != 0),
                     "ztc_fwupdate_download_done");
}

// Argument: the action 1, 0 or 2, sent as the module's access-point code 1,
// 3 or 6.
CommandResult cmdWifiApControl(CommandScope &scope, const CommandArgs &args)
{
    const uint32_t action = args.argument->getUInt32();
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_WIFI_AP_CONTROL: action:%d", (int)action);
    uint8_t payload[2] = {0, 0};
    switch (action) {
    case 1:
        payload[0] = 1;
        break;
    case 0:
        payload[0] = 3;
        break;
    case 2:
        payload[0] = 6;
        break;
    default:
        return invalidParam();
    }
    return sendModule(scope.camera, "AP", payload, sizeof payload,
                      "ztc_send_auxmod_command AP config");
}

// Needs a non-empty SSID and password.
CommandResult cmdWifiApSsidConfig(CommandScope &scope, const CommandArgs &args)
{
    const Network n = readNetwork(args.argument);
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_WIFI_AP_SSID_CONFIG: ssid[%.*s] password[%.*s]",
          (int)n.ssidLength, n.ssid, (int)n.passwordLength, n.password);
    if (n.ssidLength == 0 || n.passwordLength == 0)
        return invalidParam();
    // Mode code, 1, password length and bytes, SSID length and bytes; the
    // lengths are single bytes, so they are taken modulo 256.
    uint8_t payload[4 + kZtNetworkArgPasswordField + kZtNetworkArgSsidField];
    size_t at = 0;
    payload[at++] = readU32(args.argument->getData(), kZtNetworkArgModeOffset) == 1 ? 0 : 6;
    payload[at++] = 1;
    payload[at++] = static_cast<uint8_t>(n.passwordLength);
    memcpy(payload + at, n.password, n.passwordLength);
    at += n.passwordLength;
    payload[at++] = static_cast<uint8_t>(n.ssidLength);
    memcpy(payload + at, n.ssid, n.ssidLength);
    at += n.ssidLength;
    return sendModule(scope.camera, "AP", payload, static_cast<uint16_t>(at),
                      "ztc_send_auxmod_command AP ssid config");
}

// Argument: the band, 0 or 1.
CommandResult cmdWifiBandSelect(CommandScope &scope, const CommandArgs &args)
{
    const uint32_t band = args.argument->getUInt32();
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_WIFI_BAND_SELECT: band:%d", (int)band);
    if (band > 1)
        return invalidParam();
    const uint8_t payload = static_cast<uint8_t>(band);
    return ZT_LOGGED(ztc_send_remote_api_payload(&scope.camera, kWirelessCategory, kWirelessBandSet,
                                                 &payload, 1),
                     "REMOTE_WIRELESS_BAND_SET");
}

// Connects to a network and saves it: SSID of 1 to 32 characters, password
// of at most 63 (empty for an open network).
CommandResult cmdWifiSsidSave(CommandScope &scope, const CommandArgs &args)
{
    const Network n = readNetwork(args.argument);
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_WIFI_SSID_SAVE: ssid[%.*s] password[%.*s]", (int)n.ssidLength,
          n.ssid, (int)n.passwordLength, n.password);
    // The SSID and its NUL, then a non-empty password and its NUL.
    if (n.ssidLength < 1 || n.ssidLength > 32 || n.passwordLength > 63)
        return invalidParam();
    uint8_t payload[kZtNetworkArgSsidField + 64];
    memcpy(payload, n.ssid, n.ssidLength);
    payload[n.ssidLength] = 0;
    size_t length = n.ssidLength + 1;
    if (n.passwordLength > 0) {
        memcpy(payload + length, n.password, n.passwordLength);
        length += n.passwordLength;
        payload[length++] = 0;
    }
    return sendModule(scope.camera, "CQ", payload, static_cast<uint16_t>(length),
                      "ztc_send_auxmod_command AUXMOD_CMD_SSID_CONNECT_QUICK");
}

// Connects to a saved or new network: "CT" with a password, "CL" without.
CommandResult cmdWifiSsidSelect(CommandScope &scope, const CommandArgs &args)
{
    const Network n = readNetwork(args.argument);
    const uint32_t auth = readU32(args.argument->getData(), kZtNetworkArgAuthOffset);
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_WIFI_SSID_SELECT: ssid[%.*s] password[%.*s] auth_type:%d",
          (int)n.ssidLength, n.ssid, (int)n.passwordLength, n.password, (int)auth);
    if (n.ssidLength == 0 || auth > 255)
        return invalidParam();
    uint8_t payload[kNetPayloadSize];
    memset(payload, 0, sizeof payload);
    payload[0] = 1;
    payload[1] = 127;
    payload[2] = static_cast<uint8_t>(auth);
    putNetworkText(payload, kNetSsidOffset, n.ssid, n.ssidLength, kNetSsidMax);
    if (n.passwordLength > 0)
        putNetworkText(payload, kNetPasswordOffset, n.password, n.passwordLength, kNetPasswordMax);
    return sendModule(scope.camera, n.passwordLength > 0 ? "CT" : "CL", payload, sizeof payload,
                      "ztc_send_auxmod_command AUXMOD_CMD_SSID_CONNECT_PASS");
}

// Only the SSID is read, so a shorter argument holding just the SSID will do.
CommandResult cmdWifiSsidDelete(CommandScope &scope, const CommandArgs &args)
{
    const Network n = readNetwork(args.argument);
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_WIFI_SSID_DELETE: ssid[%.*s]", (int)n.ssidLength, n.ssid);
    if (n.ssidLength == 0)
        return invalidParam();
    uint8_t payload[kNetPayloadSize];
    memset(payload, 0, sizeof payload);
    payload[1] = 127;
    putNetworkText(payload, kNetSsidOffset, n.ssid, n.ssidLength, kNetSsidMax);
    return sendModule(scope.camera, "CD", payload, sizeof payload,
                      "ztc_send_auxmod_command AUXMOD_CMD_SSID_DELETE");
}

CommandResult cmdWifiSsidDeleteAll(CommandScope &scope, const CommandArgs &)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_WIFI_SSID_DELETE_ALL:");
    uint8_t payload[kNetPayloadSize];
    memset(payload, 0, sizeof payload);
    payload[0] = 1;
    payload[1] = 127;
    return sendModule(scope.camera, "CD", payload, sizeof payload,
                      "ztc_send_auxmod_command AUXMOD_CMD_SSID_DELETE (all)");
}

CommandResult cmdRcPair(CommandScope &scope, const CommandArgs &)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_RC_PAIR:");
    const uint8_t payload[2] = {1, 2};
    return sendModule(scope.camera, "PD", payload, sizeof payload,
                      "ztc_send_auxmod_command AUXMOD_CMD_PAIRING_START");
}

// Success only when the module answers exactly the one byte 0.
CommandResult cmdRcPairCancel(CommandScope &scope, const CommandArgs &)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_RC_PAIR_CANCEL:");
    uint8_t *answer = nullptr;
    uint16_t answerLength = 0;
    const int rc =
        ZT_LOGGED(ztc_send_auxmod_command(&scope.camera, "PX", nullptr, 0, &answer, &answerLength),
                  "ztc_send_auxmod_command AUXMOD_CMD_PAIRING_CANCEL");
    if (rc != ZT_OK)
        return rc;
    return answer && answerLength == 1 && answer[0] == 0 ? ZT_OK : ZT_ERR;
}

// Turns the module's over-the-air Bluetooth mode off; any argument is ignored.
CommandResult cmdBleControl(CommandScope &scope, const CommandArgs &)
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_BLE_CONTROL");
    const uint8_t payload[2] = {0x24, 0};
    return sendModule(scope.camera, "AP", payload, sizeof payload,
                      "ztc_send_auxmod_command AP config smart ota ble off");
}
