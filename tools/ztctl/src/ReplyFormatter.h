// Turns a daemon answer into the text ztctl prints: the decoded payload where
// the command's answer has a known shape, the result's name and reason when
// it is not 0; JSON for scripts; the result code and the payload as hex when
// asked for raw bytes. Pure functions; no I/O.
#ifndef ZTCTL_REPLY_FORMATTER_H
#define ZTCTL_REPLY_FORMATTER_H

#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

#include "Subcommand.h"

namespace ztctl {

// An answer as the client library hands it over: the result, and the
// payload when the daemon sent one.
struct Answer {
    bool hasResult = false;
    int32_t result = 0;
    std::optional<std::vector<uint8_t>> payload;
};

// The answer as printed, lines each ending in '\n'. Raw: "result: -104
// (ZT_ERR_NOT_SUPPORTED)", "payload: N bytes" and a hex dump. Otherwise the
// decoded payload (or "ok" for none), preceded by "refused: NAME (CODE):
// reason" for a result other than 0; with display.json one JSON object.
std::string formatAnswer(uint32_t command, const Answer &answer, bool raw,
                         const Display &display = {});
// "ZT_ERR_NAK_OFF (-103): the camera is off or refusing commands for now"
std::string describeResult(int32_t result);

// Hex dump, 16 bytes a line: "  0000  01 02 ...  |..|".
std::string hexDump(const std::vector<uint8_t> &bytes);

// Decoded form of a payload for commands whose answer shape is known (a
// busy flag, a preset or group id, a file name, any printable text), or "".
std::string decodePayload(uint32_t command, const std::vector<uint8_t> &payload,
                          const Display &display = {});

}  // namespace ztctl

#endif  // ZTCTL_REPLY_FORMATTER_H
