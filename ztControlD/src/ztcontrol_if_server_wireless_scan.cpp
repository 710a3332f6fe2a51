// Command server: Wi-Fi network scans, the scan start with its scan
// identifier and the 492-byte scan list built from the wireless module's list
// answer. Both answer with their data block in every case. Worker thread,
// m_commandMutex held.
#include <string.h>

#include "utils.h"
#include "ztcontrol_bytes.h"
#include "ztErrno.h"
#include "ztcontrol_if_server.h"

namespace {

ztc_msg_q_context_t *context()
{
    return &ZtcontrolCommandServer::m_cameraContext;
}

// The scan-list answer and the module's list answer it is built from.
constexpr size_t kListSize = 492;
constexpr size_t kListEntriesOffset = 12;
constexpr size_t kListEntrySize = 48;
constexpr size_t kListMaxEntries = 10;
constexpr size_t kListNameMax = 31;
constexpr size_t kModuleHeaderSize = 7;
constexpr size_t kModuleEntrySize = 127;
constexpr size_t kModuleNameOffset = 2;
constexpr size_t kModuleWordOffset = 118;

// Fills the scan-list answer from a successful module answer with status 0.
// Only entries that the module's bytes hold completely are copied, at most
// ten; the entry count says how many were copied.
void fillScanList(uint8_t *list, uint8_t offset, const uint8_t *answer, size_t length)
{
    const size_t reported = answer[4];
    const size_t present = (length - kModuleHeaderSize) / kModuleEntrySize;
    size_t count = reported < present ? reported : present;
    if (count > kListMaxEntries)
        count = kListMaxEntries;
    if (count != reported)
        ZTLOG(ZT_LOG_ERROR, "Scan list: module reports %zu entries, %zu present, passing %zu",
              reported, present, count);
    list[0] = offset;
    writeLE(list, 2, answer[1], 2);
    writeLE(list, 4, static_cast<uint32_t>(count), 2);
    writeLE(list, 8, answer[5], 4);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t *from = answer + kModuleHeaderSize + i * kModuleEntrySize;
        uint8_t *to = list + kListEntriesOffset + i * kListEntrySize;
        const char *name = reinterpret_cast<const char *>(from + kModuleNameOffset);
        memcpy(to, name, strnlen(name, kListNameMax));  // the rest stays 0: the NUL
        writeLE(to, 36, from[0], 4);
        memcpy(to + 40, from + kModuleWordOffset, 4);
        to[44] = from[1];
    }
}

}  // namespace

// Answers with the result and the 4-byte scan identifier, also on failure.
ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::wifiScanStart(
    Msg &request, const MsgElement *argument)
{
    uint8_t scanId[4] = {0, 0, 0, 0};
    int rc = ZT_OK;
    if (!hasBytes(argument, 1)) {
        rc = invalidParam();
    } else {
        const uint8_t start = argument->getUInt8();
        ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_WIFI_SSID_SCAN: start:%d", start);
        if (start != 1) {
            rc = ZT_ERR_NOT_SUPPORTED;
        } else {
            const uint8_t payload[2] = {1, 1};
            uint8_t *answer = nullptr;
            uint16_t answerLength = 0;
            rc = ztc_send_auxmod_command(context(), "NI", payload, sizeof payload, &answer,
                                         &answerLength);
            if (rc != ZT_OK)
                ZTLOG(ZT_LOG_ERROR, "ztc_send_auxmod_command AUXMOD_CMD_SSID_SCAN_START error, %d",
                      rc);
            if (!answer || answerLength < 2)
                ZTLOG(ZT_LOG_ERROR, "Results from scan start not long enough to hold a scan id");
            else
                scanId[0] = answer[1];
        }
    }
    sendResponse(request, rc, scanId, sizeof scanId);
    CommandOutcome outcome;
    outcome.code = rc;
    outcome.answered = true;
    return outcome;
}

// Answers with the result and all 492 bytes of the scan list, in every case.
ZtcontrolCommandServer::CommandOutcome ZtcontrolCommandServer::wifiScanList(
    Msg &request, const MsgElement *argument)
{
    uint8_t list[kListSize];
    memset(list, 0, sizeof list);
    int rc = ZT_OK;
    if (!hasBytes(argument, 1)) {
        rc = invalidParam();
    } else {
        const uint8_t offset = argument->getUInt8();
        ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_WIFI_SSID_LIST: offset:%d", offset);
        const uint8_t payload[5] = {offset, kListMaxEntries, 0xFF, 0xFF, 1};
        uint8_t *answer = nullptr;
        uint16_t answerLength = 0;
        rc = ztc_send_auxmod_command(context(), "al", payload, sizeof payload, &answer,
                                     &answerLength);
        if (rc != ZT_OK) {
            ZTLOG(ZT_LOG_ERROR, "ztc_send_auxmod_command AUXMOD_CMD_SSID_SCAN_LIST_GET error, %d",
                  rc);
        } else if (answer && answerLength > 0) {
            if (answer[0] != 0) {
                rc = ZT_ERR;
            } else if (answerLength < kModuleHeaderSize) {
                ZTLOG(ZT_LOG_ERROR, "Scan list answer of %d bytes holds no header", answerLength);
                rc = ZT_ERR;
            } else {
                fillScanList(list, offset, answer, answerLength);
            }
        }
    }
    sendResponse(request, rc, list, sizeof list);
    CommandOutcome outcome;
    outcome.code = rc;
    outcome.answered = true;
    return outcome;
}
