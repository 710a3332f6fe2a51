// Command handlers: Wi-Fi network scans, the scan start with its scan
// identifier and the 492-byte scan list built from the wireless module's list
// answer. Both answer with their data block in every case, failures and
// refused arguments included, so clients can always read a fixed-size block.
// Worker thread, m_commandMutex held.
#include <string.h>

#include "CommandHandler.h"
#include "utils.h"
#include "ztErrno.h"
#include "ztcontrol_bytes.h"

namespace {

// The scan-start answer: the scan identifier in byte 0 of four.
constexpr size_t kScanIdSize = 4;

// The scan-list answer: the requested offset at 0, byte 1 of the module's
// answer as u16 at 2, the entry count (u16) at 4, byte 5 of the module's
// answer as u32 at 8, then up to ten 48-byte entries from 12. An entry holds
// the name at 0 (31 characters and a NUL at most), the module entry's byte 0
// as u32 at 36, its four bytes at 118 at 40 and its byte 1 at 44.
constexpr size_t kListSize = 492;
constexpr size_t kListEntriesOffset = 12;
constexpr size_t kListEntrySize = 48;
constexpr size_t kListMaxEntries = 10;
constexpr size_t kListNameMax = 31;
// The module's list answer: a 7-byte header (status at 0, entry count at
// 4), then 127-byte entries with the name at 2.
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

// Argument: one byte, 1 to start a scan (anything else is not supported).
// Answers the result and the 4-byte scan identifier (zero when unknown).
CommandResult cmdWifiSsidScan(CommandScope &scope, const CommandArgs &args)
{
    uint8_t *scanId = scope.answerBuffer;
    memset(scanId, 0, kScanIdSize);
    int rc = ZT_OK;
    if (!hasBytes(args.argument, 1)) {
        rc = invalidParam();
    } else {
        const uint8_t start = args.argument->getUInt8();
        ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_WIFI_SSID_SCAN: start:%d", start);
        if (start != 1) {
            rc = ZT_ERR_NOT_SUPPORTED;
        } else {
            const uint8_t payload[2] = {1, 1};
            uint8_t *answer = nullptr;
            uint16_t answerLength = 0;
            rc = ZT_LOGGED(ztc_send_auxmod_command(&scope.camera, "NI", payload, sizeof payload,
                                                   &answer, &answerLength),
                           "ztc_send_auxmod_command AUXMOD_CMD_SSID_SCAN_START");
            if (!answer || answerLength < 2)
                ZTLOG(ZT_LOG_ERROR, "Results from scan start not long enough to hold a scan id");
            else
                scanId[0] = answer[1];
        }
    }
    return CommandResult::withData(rc, scanId, kScanIdSize);
}

// Argument: one byte, the offset of the first network to list. Answers the
// result and all 492 bytes of the scan list (zero where nothing was listed).
CommandResult cmdWifiSsidList(CommandScope &scope, const CommandArgs &args)
{
    uint8_t *list = scope.answerBuffer;
    memset(list, 0, kListSize);
    int rc = ZT_OK;
    if (!hasBytes(args.argument, 1)) {
        rc = invalidParam();
    } else {
        const uint8_t offset = args.argument->getUInt8();
        ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_WIFI_SSID_LIST: offset:%d", offset);
        const uint8_t payload[5] = {offset, kListMaxEntries, 0xFF, 0xFF, 1};
        uint8_t *answer = nullptr;
        uint16_t answerLength = 0;
        rc = ZT_LOGGED(ztc_send_auxmod_command(&scope.camera, "al", payload, sizeof payload,
                                               &answer, &answerLength),
                       "ztc_send_auxmod_command AUXMOD_CMD_SSID_SCAN_LIST_GET");
        if (rc == ZT_OK && answer && answerLength > 0) {
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
    return CommandResult::withData(rc, list, kListSize);
}
