// Turns a daemon answer into the text ztctl prints: the result code with its
// name, then the payload as hex, plus a decoded line where the command's
// answer has a known shape. Pure functions; no I/O.
#ifndef ZTCTL_REPLY_FORMATTER_H
#define ZTCTL_REPLY_FORMATTER_H

#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

namespace ztctl {

struct Answer {
    bool hasResult = false;  // element 0xEC with 4 bytes
    int32_t result = 0;
    std::optional<std::vector<uint8_t>> payload;  // element 'E'
};

// Reads a received message. Nothing when it is not a well-framed TLV message
// of category 21 (client answer).
std::optional<Answer> parseAnswer(const uint8_t *data, size_t length);

// "result: -104 (ZT_ERR_NOT_SUPPORTED)", then the payload lines, each ending
// in '\n'. `raw` leaves out the decoded line.
std::string formatAnswer(uint32_t command, const Answer &answer, bool raw);

// Hex dump, 16 bytes a line: "  0000  01 02 ...  |..|".
std::string hexDump(const std::vector<uint8_t> &bytes);

// Decoded form of a payload for commands whose answer shape is known (a
// busy flag, a preset or group id, a file name, any printable text), or "".
std::string decodePayload(uint32_t command, const std::vector<uint8_t> &payload);

}  // namespace ztctl

#endif  // ZTCTL_REPLY_FORMATTER_H
