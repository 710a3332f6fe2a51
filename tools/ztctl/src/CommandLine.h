// Command-line parsing of ztctl: turns argv into one action (send a command,
// stop, list, watch, help) with the request's argument bytes built in the
// order the options were given. Pure functions; no I/O.
#ifndef ZTCTL_COMMAND_LINE_H
#define ZTCTL_COMMAND_LINE_H

#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

namespace ztctl {

using Bytes = std::vector<uint8_t>;

enum class Action { Send, List, Watch, Top, Help };

struct Options {
    Action action = Action::Help;
    uint32_t command = 0;
    std::optional<Bytes> argument;  // element 'B'; absent unless an argument option was given
    std::optional<uint8_t> option;  // element 'W'
    unsigned timeoutMs = 5000;      // wait for the answer (watch: for each message)
    std::string replyQueue;         // empty: a name unique to the process
    bool rawOutput = false;         // payload as hex only, no decoding
    unsigned watchCount = 0;        // watch: stop after this many messages (0: no limit)
    unsigned watchIdleMs = 0;       // watch: stop after this long without one (0: no limit)
    uint16_t port = 8081;           // watch, top
    bool json = false;              // answers and notifications as JSON keyed by name
    bool verbose = false;           // preset lists with every setting
    bool all = false;               // watch: the throttled counters too
    bool once = false;              // top: one frame without escape codes
    bool force = false;             // send a setting change without checking its option
    // setting: (setting, option), checked against the camera model's options
    // before it is sent.
    std::optional<std::pair<uint32_t, uint32_t>> settingChange;
};

// Parses argv[1..]. On failure returns nothing and sets `error` to the cause
// and one line of help, separated by a line break.
std::optional<Options> parseCommandLine(int argc, const char *const *argv, std::string &error);

// Command value of a name ("ZTCONTROL_GET_BUSY_STATUS", "GET_BUSY_STATUS",
// "get_busy_status", "get-busy-status"), of a number (decimal or 0x hex, any
// u32, so unknown values can be sent too) or of "stop" (101).
std::optional<uint32_t> lookupCommand(const std::string &text);
// The known words nearest to `word` by edit distance (subcommands and
// command names; options when `word` starts with '-'), at most three, or
// none when nothing is near.
std::vector<std::string> suggestions(const std::string &word);

// Name of a command value 0..101, or nullptr.
const char *commandName(uint32_t command);

// Parses an unsigned number (decimal, 0x hex) that fits `bits` bits; a
// leading '-' is accepted for signed values in two's complement.
std::optional<uint32_t> parseNumber(const std::string &text, unsigned bits);
// Parses hex bytes: pairs of hex digits, optionally separated by blanks,
// ':' or '-' ("01 ff", "01ff", "01:ff"). Nothing on odd digits or other text.
std::optional<Bytes> parseHex(const std::string &text);

extern const char *const kUsage;

}  // namespace ztctl

#endif  // ZTCTL_COMMAND_LINE_H
