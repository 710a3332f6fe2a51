// Command server: Wi-Fi access point and saved networks, remote-control
// pairing, Bluetooth over-the-air mode and the firmware-update download. Most
// branches talk to the wireless accessory module with two-letter module
// commands; their payload bytes belong to the module and are sent exactly as
// laid out here. Worker thread, m_commandMutex held.
#include <string.h>

#include "utils.h"
#include "ztcontrol_bytes.h"
#include "ztErrno.h"
#include "ztcontrol_if_server.h"
#include "ztcontrol_remote_ops.h"

namespace {

ztc_msg_q_context_t *context()
{
    return &ZtcontrolCommandServer::m_cameraContext;
}

// Network argument of the access-point and network commands: SSID in 33
// bytes at 0 and password in 67 bytes at 33, each NUL-terminated within its
// field (a field without NUL is taken whole), authentication type (u32) at
// 100 and access-point mode word (u32) at 104.
constexpr size_t kSsidField = 33;
constexpr size_t kPasswordOffset = 33;
constexpr size_t kPasswordField = 67;
constexpr size_t kAuthOffset = 100;
constexpr size_t kModeOffset = 104;

// The 128-byte payload of "CT", "CL" and "CD": SSID at 4 (31 characters and
// a NUL at most), password at 37 (62 characters and a NUL at most).
constexpr size_t kNetPayloadSize = 128;
constexpr size_t kNetSsidOffset = 4;
constexpr size_t kNetSsidMax = 31;
constexpr size_t kNetPasswordOffset = 37;
constexpr size_t kNetPasswordMax = 62;

// The texts of a network argument, bounded by their fields and the element.
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
    Network n{bytes, strnlen(bytes, length < kSsidField ? length : kSsidField), "", 0};
    if (length >= kPasswordOffset + kPasswordField) {
        n.password = bytes + kPasswordOffset;
        n.passwordLength = strnlen(n.password, kPasswordField);
    }
    return n;
}

int sendModule(const char *command, const uint8_t *payload, uint16_t length, const char *failure)
{
    const int rc = ztc_send_auxmod_command(context(), command, payload, length, nullptr, nullptr);
    if (rc != ZT_OK)
        ZTLOG(ZT_LOG_ERROR, failure, rc);
    return rc;
}

int apControl(const MsgElement *argument)
{
    if (!hasBytes(argument, 1))
        return invalidParam();
    const uint32_t action = argument->getUInt32();
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
    return sendModule("AP", payload, sizeof payload, "ztc_send_auxmod_command AP config error, %d");
}

int apSsidConfig(const MsgElement *argument)
{
    if (!hasBytes(argument, kModeOffset + 4))
        return invalidParam();
    const Network n = readNetwork(argument);
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_WIFI_AP_SSID_CONFIG: ssid[%.*s] password[%.*s]",
          (int)n.ssidLength, n.ssid, (int)n.passwordLength, n.password);
    if (n.ssidLength == 0 || n.passwordLength == 0)
        return invalidParam();
    // Mode code, 1, password length and bytes, SSID length and bytes; the
    // lengths are single bytes, so they are taken modulo 256.
    uint8_t payload[4 + kPasswordField + kSsidField];
    size_t at = 0;
    payload[at++] = readU32(argument->getData() + kModeOffset) == 1 ? 0 : 6;
    payload[at++] = 1;
    payload[at++] = static_cast<uint8_t>(n.passwordLength);
    memcpy(payload + at, n.password, n.passwordLength);
    at += n.passwordLength;
    payload[at++] = static_cast<uint8_t>(n.ssidLength);
    memcpy(payload + at, n.ssid, n.ssidLength);
    at += n.ssidLength;
    return sendModule("AP", payload, static_cast<uint16_t>(at),
                      "ztc_send_auxmod_command AP ssid config error, %d");
}

int bandSelect(const MsgElement *argument)
{
    if (!hasBytes(argument, 1))
        return invalidParam();
    const uint32_t band = argument->getUInt32();
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_WIFI_BAND_SELECT: band:%d", (int)band);
    if (band > 1)
        return invalidParam();
    const uint8_t payload = static_cast<uint8_t>(band);
    const int rc =
        ztc_send_remote_api_payload(context(), kWirelessCategory, kWirelessBandSet, &payload, 1);
    if (rc != ZT_OK)
        ZTLOG(ZT_LOG_ERROR, "REMOTE_WIRELESS_BAND_SET error, %d", rc);
    return rc;
}

int ssidSave(const MsgElement *argument)
{
    if (!hasBytes(argument, kPasswordOffset + kPasswordField))
        return invalidParam();
    const Network n = readNetwork(argument);
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_WIFI_SSID_SAVE: ssid[%.*s] password[%.*s]", (int)n.ssidLength,
          n.ssid, (int)n.passwordLength, n.password);
    // The SSID and its NUL, then a non-empty password and its NUL.
    if (n.ssidLength < 1 || n.ssidLength > 32 || n.passwordLength > 63)
        return invalidParam();
    uint8_t payload[kSsidField + 64];
    memcpy(payload, n.ssid, n.ssidLength);
    payload[n.ssidLength] = 0;
    size_t length = n.ssidLength + 1;
    if (n.passwordLength > 0) {
        memcpy(payload + length, n.password, n.passwordLength);
        length += n.passwordLength;
        payload[length++] = 0;
    }
    return sendModule("CQ", payload, static_cast<uint16_t>(length),
                      "ztc_send_auxmod_command AUXMOD_CMD_SSID_CONNECT_QUICK error, %d");
}

void putNetworkText(uint8_t *payload, size_t offset, const char *text, size_t length, size_t max)
{
    memcpy(payload + offset, text, length < max ? length : max);  // NUL: payload is zeroed
}

int ssidSelect(const MsgElement *argument)
{
    if (!hasBytes(argument, kAuthOffset + 4))
        return invalidParam();
    const Network n = readNetwork(argument);
    const uint32_t auth = readU32(argument->getData() + kAuthOffset);
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
    return sendModule(n.passwordLength > 0 ? "CT" : "CL", payload, sizeof payload,
                      "ztc_send_auxmod_command AUXMOD_CMD_SSID_CONNECT_PASS error, %d");
}

// Only the SSID is read, so a shorter argument holding just the SSID will do.
int ssidDelete(const MsgElement *argument)
{
    if (!hasBytes(argument, 1))
        return invalidParam();
    const Network n = readNetwork(argument);
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_WIFI_SSID_DELETE: ssid[%.*s]", (int)n.ssidLength, n.ssid);
    if (n.ssidLength == 0)
        return invalidParam();
    uint8_t payload[kNetPayloadSize];
    memset(payload, 0, sizeof payload);
    payload[1] = 127;
    putNetworkText(payload, kNetSsidOffset, n.ssid, n.ssidLength, kNetSsidMax);
    return sendModule("CD", payload, sizeof payload,
                      "ztc_send_auxmod_command AUXMOD_CMD_SSID_DELETE error, %d");
}

int ssidDeleteAll()
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_WIFI_SSID_DELETE_ALL:");
    uint8_t payload[kNetPayloadSize];
    memset(payload, 0, sizeof payload);
    payload[0] = 1;
    payload[1] = 127;
    return sendModule("CD", payload, sizeof payload,
                      "ztc_send_auxmod_command AUXMOD_CMD_SSID_DELETE (all) error, %d");
}

// Success only when the module answers exactly the one byte 0.
int pairCancel()
{
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_RC_PAIR_CANCEL:");
    uint8_t *answer = nullptr;
    uint16_t answerLength = 0;
    const int rc = ztc_send_auxmod_command(context(), "PX", nullptr, 0, &answer, &answerLength);
    if (rc != ZT_OK) {
        ZTLOG(ZT_LOG_ERROR, "ztc_send_auxmod_command AUXMOD_CMD_PAIRING_CANCEL error, %d", rc);
        return rc;
    }
    return answer && answerLength == 1 && answer[0] == 0 ? ZT_OK : ZT_ERR;
}

int firmwareUpdate(ztcontrol_command_t command, const MsgElement *argument)
{
    int rc;
    if (command == ZTCONTROL_FW_UPDATE_START) {
        ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_FW_UPDATE_START:");
        return ztc_fwupdate_download_start(context());
    }
    if (command == ZTCONTROL_FW_UPDATE_CANCEL) {
        ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_FW_UPDATE_CANCEL:");
        rc = ztc_fwupdate_download_cancel(context());
        if (rc != ZT_OK)
            ZTLOG(ZT_LOG_ERROR, "ztc_fwupdate_download_cancel error, %d", rc);
        return rc;
    }
    if (!hasBytes(argument, 1))
        return invalidParam();
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_FW_UPDATE_DONE:");
    rc = ztc_fwupdate_download_done(context(), argument->getUInt8() != 0);
    if (rc != ZT_OK)
        ZTLOG(ZT_LOG_ERROR, "ztc_fwupdate_download_done error, %d", rc);
    return rc;
}

}  // namespace

ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::handleWirelessCommand(
    Msg &request, ztcontrol_command_t command, const MsgElement *argument)
{
    CommandOutcome outcome;
    // Commands without arguments refuse an argument element; the Bluetooth
    // command ignores it.
    switch (command) {
    case ZTCONTROL_FW_UPDATE_START:
    case ZTCONTROL_FW_UPDATE_CANCEL:
    case ZTCONTROL_WIFI_SSID_DELETE_ALL:
    case ZTCONTROL_RC_PAIR:
    case ZTCONTROL_RC_PAIR_CANCEL:
        if (argument) {
            outcome.code = invalidParam();
            return outcome;
        }
        break;
    default:
        break;
    }

    switch (command) {
    case ZTCONTROL_FW_UPDATE_START:
    case ZTCONTROL_FW_UPDATE_CANCEL:
    case ZTCONTROL_FW_UPDATE_DONE:
        outcome.code = firmwareUpdate(command, argument);
        break;
    case ZTCONTROL_WIFI_AP_CONTROL:
        outcome.code = apControl(argument);
        break;
    case ZTCONTROL_WIFI_AP_SSID_CONFIG:
        outcome.code = apSsidConfig(argument);
        break;
    case ZTCONTROL_WIFI_BAND_SELECT:
        outcome.code = bandSelect(argument);
        break;
    case ZTCONTROL_WIFI_SSID_SCAN:
        return wifiScanStart(request, argument);
    case ZTCONTROL_WIFI_SSID_LIST:
        return wifiScanList(request, argument);
    case ZTCONTROL_WIFI_SSID_SAVE:
        outcome.code = ssidSave(argument);
        break;
    case ZTCONTROL_WIFI_SSID_SELECT:
        outcome.code = ssidSelect(argument);
        break;
    case ZTCONTROL_WIFI_SSID_DELETE:
        outcome.code = ssidDelete(argument);
        break;
    case ZTCONTROL_WIFI_SSID_DELETE_ALL:
        outcome.code = ssidDeleteAll();
        break;
    case ZTCONTROL_RC_PAIR: {
        ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_RC_PAIR:");
        const uint8_t payload[2] = {1, 2};
        outcome.code = sendModule("PD", payload, sizeof payload,
                                  "ztc_send_auxmod_command AUXMOD_CMD_PAIRING_START error, %d");
        break;
    }
    case ZTCONTROL_RC_PAIR_CANCEL:
        outcome.code = pairCancel();
        break;
    case ZTCONTROL_BLE_CONTROL: {
        ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_BLE_CONTROL");
        const uint8_t payload[2] = {0x24, 0};
        outcome.code = sendModule("AP", payload, sizeof payload,
                                  "ztc_send_auxmod_command AP config smart ota ble off error, %d");
        break;
    }
    default:
        return notBuiltYet(command);
    }
    return outcome;
}
