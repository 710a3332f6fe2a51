// ztctl's answer printing; see ReplyFormatter.h.
#include "ReplyFormatter.h"

#include <stdio.h>

#include "StateTable.h"
#include "Subcommand.h"
#include "ztErrno.h"
#include "ztTlv.h"
#include "ztcontrol_commands.h"
#include "ztcontrol_items.h"

namespace ztctl {

namespace {

uint32_t readU32(const std::vector<uint8_t> &b)
{
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

// Printable text, optionally ending in NUL bytes.
bool isText(const std::vector<uint8_t> &b, std::string &text)
{
    size_t end = b.size();
    while (end > 0 && b[end - 1] == 0)
        --end;
    if (end == 0)
        return false;
    for (size_t i = 0; i < end; ++i)
        if (b[i] < 0x20 || b[i] > 0x7E)
            return false;
    text.assign(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(end));
    return true;
}

}  // namespace

std::string hexDump(const std::vector<uint8_t> &bytes)
{
    std::string out;
    char cell[24];
    for (size_t line = 0; line < bytes.size(); line += 16) {
        snprintf(cell, sizeof cell, "  %04zx ", line);
        out += cell;
        std::string ascii;
        for (size_t i = line; i < line + 16; ++i) {
            if (i < bytes.size()) {
                snprintf(cell, sizeof cell, " %02x", bytes[i]);
                out += cell;
                ascii += bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '.';
            } else {
                out += "   ";
            }
        }
        out += "  |" + ascii + "|\n";
    }
    return out;
}

std::string decodePayload(uint32_t command, const std::vector<uint8_t> &payload,
                          const Display &display)
{
    for (const SubcommandArea *area : subcommandAreas()) {
        const std::string decoded = area->decode ? area->decode(command, payload, display) : "";
        if (!decoded.empty())
            return decoded;
    }
    char line[96];
    switch (command) {
    case ZTCONTROL_GET_BUSY_STATUS:
        if (payload.size() == 1) {
            snprintf(line, sizeof line, "busy: %u", payload[0]);
            return line;
        }
        break;
    case ZTCONTROL_PRESET_GET_ACTIVE_PRESET:
        if (payload.size() == 4) {
            snprintf(line, sizeof line, "active preset id: 0x%x", readU32(payload));
            return line;
        }
        break;
    case ZTCONTROL_PRESET_GET_ACTIVE_GROUP:
        if (payload.size() == 4) {
            const std::string name = presetGroupName(readU32(payload));
            snprintf(line, sizeof line, "active preset group: %u%s%s", readU32(payload),
                     name.empty() ? "" : " ", name.c_str());
            return line;
        }
        break;
    case ZTCONTROL_WIFI_SSID_SCAN:
        if (payload.size() == 4) {
            snprintf(line, sizeof line, "scan id: %u", readU32(payload));
            return line;
        }
        break;
    default:
        break;
    }
    std::string text;
    if (isText(payload, text))
        return "text: \"" + text + "\"";
    return "";
}

std::string describeResult(int32_t result)
{
    const char *reason = zt_result_reason(result);
    return std::string(ztErrno2Str(result)) + " (" + std::to_string(result) + ")" +
           (reason ? std::string(": ") + reason : "");
}

std::string formatAnswer(uint32_t command, const Answer &answer, bool raw, const Display &display)
{
    std::string out;
    char line[96];
    if (raw) {
        if (answer.hasResult) {
            snprintf(line, sizeof line, "result: %d (%s)\n", answer.result,
                     ztErrno2Str(answer.result));
            out += line;
        } else {
            out += "result: missing\n";
        }
        if (!answer.payload)
            return out;
        snprintf(line, sizeof line, "payload: %zu bytes\n", answer.payload->size());
        return out + line + hexDump(*answer.payload);
    }
    const std::string decoded =
        answer.payload ? decodePayload(command, *answer.payload, display) : "";
    if (display.json) {
        const char *name = command <= ZTCONTROL_CMD_LAST ? g_ztcontrolCommandNames[command] : "";
        out = "{\"command\":" + std::to_string(command) + ",\"name\":\"" + name + "\"";
        if (answer.hasResult)
            out += ",\"result\":" + std::to_string(answer.result) + ",\"result_name\":\"" +
                   ztErrno2Str(answer.result) + "\"";
        if (decoded.size() > 2 && decoded.front() == '{')
            out += "," + decoded.substr(1, decoded.size() - 2);
        else if (answer.payload) {
            out += ",\"payload\":\"";
            for (uint8_t b : *answer.payload) {
                snprintf(line, sizeof line, "%02x", b);
                out += line;
            }
            out += "\"";
        }
        return out + "}\n";
    }
    if (!answer.hasResult)
        out += "no result in the answer\n";
    else if (answer.result != 0)
        out += "refused: " + describeResult(answer.result) + "\n";
    if (!decoded.empty())
        out += decoded + "\n";
    else if (answer.payload && !answer.payload->empty())
        out += std::to_string(answer.payload->size()) + " bytes of payload (--raw shows them)\n";
    else if (answer.hasResult && answer.result == 0)
        out += "ok\n";
    return out;
}

}  // namespace ztctl
