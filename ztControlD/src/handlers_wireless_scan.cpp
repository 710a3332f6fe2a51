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
#include "ztcontrol_layouts.h"

namespace {

// The scan-list answer (kZtScanList..., kZtScanEntry...) is filled from the
// module's list answer: a 7-byte header (status at 0, scan identifier at 1,
// entry count at 4, networks found at 5), then 127-byte entries (bars at 0,
// flags at 1, name at 2, four bytes of the entry's word at 118).
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
    if (count > kZtScanListMaxEntries)
        count = kZtScanListMaxEntries;
    if (count != reported)
        ZTLOG(ZT_LOG_ERROR, "Scan list: module reports %zu entries, %zu present, passing %zu",
              reported, present, count);
    list[kZtScanListOffsetOffset] = offset;
    writeLE(list, kZtScanListScanIdOffset, answer[1], 2);
    writeLE(list, kZtScanListCountOffset, static_cast<uint32_t>(count), 2);
    writeLE(list, kZtScanListFoundOffset, answer[5], 4);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t *from = answer + kModuleHeaderSize + i * kModuleEntrySize;
        uint8_t *to = list + kZtScanListEntriesOffset + i * kZtScanListEntrySize;
        const char *name = reinterpret_cast<const char *>(from + kModuleNameOffset);
        memcpy(to + kZtScanEntryNameOffset, name,
               strnlen(name, kZtScanEntryNameMax));  // the rest stays 0: the NUL
        writeLE(to, kZtScanEntryBarsOffset, from[0], 4);
        memcpy(to + kZtScanEntryWordOffset, from + kModuleWordOffset, 4);
        to[kZtScanEntryFlagsOffset] = from[1];
    }
}

}  // namespace

// Argument: one byte, 1 to start a scan (anything else is not supported).
// Answers the result and the 4-byte scan identifier (zero when unknown).
CommandResult cmdWifiSsidScan(CommandScope &scope, const CommandArgs &args)
{
    uint8_t *scanId = scope.answerBuffer;
    memset(scanId, 0, kZtScanIdAnswerSize);
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
                scanId[kZtScanIdAnswerIdOffset] = answer[1];
        }
    }
    return CommandResult::withData(rc, scanId, kZtScanIdAnswerSize);
}

// Argument: one byte, the offset of the first network to list. Answers the
// result and all 492 bytes of the scan list (zero where nothing was listed).
CommandResult cmdWifiSsidList(CommandScope &scope, const CommandArgs &args)
{
    uint8_t *list = scope.answerBuffer;
    memset(list, 0, kZtScanListSize);
    int rc = ZT_OK;
    if (!hasBytes(args.argument, 1)) {
        rc = invalidParam();
    } else {
        const uint8_t offset = args.argument->getUInt8();
        ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_WIFI_SSID_LIST: offset:%d", offset);
        const uint8_t payload[5] = {offset, kZtScanListMaxEntries, 0xFF, 0xFF, 1};
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
    return CommandResult::withData(rc, list, kZtScanListSize);
}
