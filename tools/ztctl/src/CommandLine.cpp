// ztctl's command-line parsing; see CommandLine.h.
#include "CommandLine.h"

#include <ctype.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "Subcommand.h"
#include "ztcontrol_commands.h"

namespace ztctl {

const char *const kUsage =
    "Usage: ztctl [options] COMMAND [argument options]\n"
    "       ztctl stop | list | top [--once] | --help\n"
    "       ztctl watch [--all] [--json|--raw] [--queue NAME] [--count N] [--idle MS]\n"
    "\n"
    "Sends one command to the camera daemon (queue /to_ztCtlD), waits for its\n"
    "answer and prints it decoded, or the reason when the daemon refused it.\n"
    "\n"
    "COMMAND is a name (ZTCONTROL_GET_BUSY_STATUS, GET_BUSY_STATUS,\n"
    "get-busy-status) or a value (100, 0x64; any 32-bit value is sent).\n"
    "\n"
    "Argument bytes (element 'B'), appended in the order given:\n"
    "  --u8 N | --u16 N | --u32 N  little-endian word (decimal, 0x hex, or negative)\n"
    "  --hex BYTES                 raw bytes: \"01 ff 3a\", 01ff3a or 01:ff:3a\n"
    "  --text TEXT                 text bytes, no terminating NUL\n"
    "  --textz TEXT                text bytes and a terminating NUL\n"
    "  --param KEY=VALUE           key=value text; several are joined with '&'\n"
    "  --empty                     send an argument element without bytes\n"
    "Other options:\n"
    "  --option N                  option byte (element 'W')\n"
    "  --timeout MS                wait this long for the answer (default 5000)\n"
    "  --queue NAME                reply queue to create (default: a free\n"
    "                              /ztclient_<uid>_<n> of the client library);\n"
    "                              watch: the notification queue to create\n"
    "  --raw                       the result code and the payload as hex; watch:\n"
    "                              the texts as sent\n"
    "  --json                      answers and notifications as JSON keyed by name\n"
    "  --verbose                   presets: every setting of every preset\n"
    "  --force                     setting: send without checking the option\n"
    "  --all                       watch: the fast counters too (uptime, ...)\n"
    "  --once                      top: print one frame and end\n"
    "  --count N                   watch: stop after N messages\n"
    "  --idle MS                   watch: stop after MS ms without a message\n"
    "  --port N                    watch: notification port (default 8081)\n"
    "  -h, --help                  this text\n"
    "\n"
    "Subcommands:\n"
    "  stop    sends ZTCONTROL_CMD_LAST (101): the daemon answers and exits\n"
    "  list    prints every command value and name\n"
    "  watch   connects to the notification port, switches socket\n"
    "          notifications on and prints each notification as it arrives (the\n"
    "          full state first, then the changes) by name, until Ctrl-C,\n"
    "          --count messages or --idle ms without one; reconnects when the\n"
    "          daemon drops it. With --queue NAME it listens on a message queue\n"
    "          NAME instead, registered with the daemon while it watches\n"
    "  top     a live view of the camera, updated from the notifications\n"
    "\n"
    "Exit status: 0 result 0; 1 non-zero result; 2 usage error;\n"
    "3 daemon not reachable or no answer in time.\n";

namespace {

std::string normalise(const std::string &text)
{
    std::string out;
    for (char c : text)
        out += c == '-' ? '_' : static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return out;
}

// "; did you mean: a, b" for an unknown word, or "".
std::string didYouMean(const std::string &word)
{
    std::string out;
    for (const std::string &s : suggestions(word))
        out += (out.empty() ? "; did you mean: " : ", ") + s;
    return out;
}

// The help line of a subcommand: its usage column ("shutter on|off|N").
std::string usageLine(const Subcommand &s)
{
    std::string usage = s.usage;
    const size_t gap = usage.find("  ", 2);
    usage = usage.substr(2, gap == std::string::npos ? std::string::npos : gap - 2);
    usage.erase(usage.find_last_not_of(" \n") + 1);
    return "usage: ztctl " + (usage.empty() ? std::string(s.name) + " ..." : usage);
}

void append(Options &o, const Bytes &bytes)
{
    if (!o.argument)
        o.argument.emplace();
    o.argument->insert(o.argument->end(), bytes.begin(), bytes.end());
}

Bytes littleEndian(uint32_t v, unsigned bytes)
{
    Bytes b;
    for (unsigned i = 0; i < bytes; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return b;
}

}  // namespace

const char *commandName(uint32_t command)
{
    return command <= ZTCONTROL_CMD_LAST ? g_ztcontrolCommandNames[command] : nullptr;
}

namespace {

size_t editDistance(const std::string &a, const std::string &b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

const char *const kOptionNames[] = {
    "--u8",    "--u16",    "--u32",     "--hex",   "--text", "--textz", "--param",
    "--empty", "--option", "--timeout", "--queue", "--raw",  "--json",  "--verbose",
    "--force", "--all",    "--once",    "--count", "--idle", "--port",  "--help"};

}  // namespace

std::vector<std::string> suggestions(const std::string &word)
{
    std::vector<std::string> candidates;
    if (!word.empty() && word[0] == '-') {
        candidates.assign(std::begin(kOptionNames), std::end(kOptionNames));
    } else {
        candidates = {"list", "watch", "top", "help", "stop"};
        for (const SubcommandArea *area : subcommandAreas())
            for (const Subcommand &s : area->subcommands)
                candidates.push_back(s.name);
        for (uint32_t v = 0; v <= ZTCONTROL_CMD_LAST; ++v) {
            std::string name = g_ztcontrolCommandNames[v] + strlen("ZTCONTROL_");
            for (char &c : name)
                c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
            candidates.push_back(name);
        }
    }
    // Near: at most a third of the word's letters off (one for short words).
    const size_t limit = std::max<size_t>(1, word.size() / 3);
    std::vector<std::pair<size_t, std::string>> near;
    for (const std::string &c : candidates) {
        const size_t d = editDistance(word, c);
        if (d <= limit && std::find_if(near.begin(), near.end(),
                                       [&](const auto &n) { return n.second == c; }) == near.end())
            near.emplace_back(d, c);
    }
    std::stable_sort(near.begin(), near.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<std::string> out;
    for (size_t i = 0; i < near.size() && i < 3; ++i)
        out.push_back(near[i].second);
    return out;
}

std::optional<uint32_t> lookupCommand(const std::string &text)
{
    if (text.empty())
        return std::nullopt;
    if (isdigit(static_cast<unsigned char>(text[0])))
        return parseNumber(text, 32);
    const std::string wanted = normalise(text);
    if (wanted == "STOP")
        return static_cast<uint32_t>(ZTCONTROL_CMD_LAST);
    for (uint32_t v = 0; v <= ZTCONTROL_CMD_LAST; ++v) {
        const std::string name = g_ztcontrolCommandNames[v];
        if (name == wanted || name == "ZTCONTROL_" + wanted)
            return v;
    }
    return std::nullopt;
}

std::optional<uint32_t> parseNumber(const std::string &text, unsigned bits)
{
    if (text.empty() || isspace(static_cast<unsigned char>(text[0])))
        return std::nullopt;
    const bool negative = text[0] == '-';
    const char *digits = text.c_str() + (negative ? 1 : 0);
    if (!isdigit(static_cast<unsigned char>(*digits)))
        return std::nullopt;
    errno = 0;
    char *end = nullptr;
    unsigned long long v = strtoull(digits, &end, 0);
    if (errno != 0 || *end != '\0')
        return std::nullopt;
    const unsigned long long max = bits >= 32 ? 0xFFFFFFFFull : ((1ull << bits) - 1);
    if (negative) {
        // Two's complement of the signed range of `bits` bits.
        if (v > (max >> 1) + 1)
            return std::nullopt;
        return static_cast<uint32_t>((~v + 1) & max);
    }
    if (v > max)
        return std::nullopt;
    return static_cast<uint32_t>(v);
}

std::optional<Bytes> parseHex(const std::string &text)
{
    Bytes out;
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == ':' || c == '-' || c == '\t') {
            if (high >= 0)
                return std::nullopt;  // a digit pair was split
            continue;
        }
        if (!isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        const int nibble =
            isdigit(static_cast<unsigned char>(c)) ? c - '0' : (tolower(c) - 'a' + 10);
        if (high < 0) {
            high = nibble;
        } else {
            out.push_back(static_cast<uint8_t>(high << 4 | nibble));
            high = -1;
        }
    }
    if (high >= 0)
        return std::nullopt;
    return out;
}

std::optional<Options> parseCommandLine(int argc, const char *const *argv, std::string &error)
{
    Options o;
    bool haveAction = false;
    bool haveParam = false;
    const Subcommand *subcommand = nullptr;  // a friendly subcommand and its words
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char *what) -> std::optional<std::string> {
            if (i + 1 >= argc) {
                error = arg + " needs " + what;
                return std::nullopt;
            }
            return std::string(argv[++i]);
        };
        auto number = [&](unsigned bits) -> std::optional<uint32_t> {
            auto text = value("a number");
            if (!text)
                return std::nullopt;
            auto n = parseNumber(*text, bits);
            if (!n)
                error = arg + ": '" + *text + "' is not a " + std::to_string(bits) + "-bit number";
            return n;
        };
        if (arg == "-h" || arg == "--help") {
            o.action = Action::Help;
            return o;
        } else if (arg == "--u8" || arg == "--u16" || arg == "--u32") {
            const unsigned bits = arg == "--u8" ? 8 : arg == "--u16" ? 16 : 32;
            auto n = number(bits);
            if (!n)
                return std::nullopt;
            append(o, littleEndian(*n, bits / 8));
        } else if (arg == "--hex") {
            auto text = value("hex bytes");
            if (!text)
                return std::nullopt;
            auto bytes = parseHex(*text);
            if (!bytes) {
                error = "--hex: '" + *text + "' is not a sequence of hex byte pairs";
                return std::nullopt;
            }
            append(o, *bytes);
        } else if (arg == "--text" || arg == "--textz") {
            auto text = value("a text");
            if (!text)
                return std::nullopt;
            Bytes b(text->begin(), text->end());
            if (arg == "--textz")
                b.push_back(0);
            append(o, b);
        } else if (arg == "--param") {
            auto text = value("KEY=VALUE");
            if (!text)
                return std::nullopt;
            if (text->find('=') == std::string::npos || text->front() == '=') {
                error = "--param: '" + *text + "' is not KEY=VALUE";
                return std::nullopt;
            }
            std::string piece = (haveParam ? "&" : "") + *text;
            haveParam = true;
            append(o, Bytes(piece.begin(), piece.end()));
        } else if (arg == "--empty") {
            if (!o.argument)
                o.argument.emplace();
        } else if (arg == "--option") {
            auto n = number(8);
            if (!n)
                return std::nullopt;
            o.option = static_cast<uint8_t>(*n);
        } else if (arg == "--timeout") {
            auto n = number(32);
            if (!n)
                return std::nullopt;
            o.timeoutMs = *n;
        } else if (arg == "--queue") {
            auto text = value("a queue name");
            if (!text)
                return std::nullopt;
            if (text->size() < 2 || (*text)[0] != '/' || text->find('/', 1) != std::string::npos) {
                error = "--queue: a queue name is '/' followed by a name without '/'";
                return std::nullopt;
            }
            o.replyQueue = *text;
        } else if (arg == "--raw") {
            o.rawOutput = true;
        } else if (arg == "--json") {
            o.json = true;
        } else if (arg == "--verbose" || arg == "-v") {
            o.verbose = true;
        } else if (arg == "--all") {
            o.all = true;
        } else if (arg == "--once") {
            o.once = true;
        } else if (arg == "--force") {
            o.force = true;
        } else if (arg == "--count") {
            auto n = number(32);
            if (!n)
                return std::nullopt;
            o.watchCount = *n;
        } else if (arg == "--idle") {
            auto n = number(32);
            if (!n)
                return std::nullopt;
            o.watchIdleMs = *n;
        } else if (arg == "--port") {
            auto n = number(16);
            if (!n)
                return std::nullopt;
            o.port = static_cast<uint16_t>(*n);
        } else if (arg.size() > 1 && arg[0] == '-' &&
                   !isdigit(static_cast<unsigned char>(arg[1]))) {
            error = "unknown option " + arg + didYouMean(arg);
            return std::nullopt;
        } else if (subcommand) {
            words.push_back(arg);
        } else if (haveAction) {
            error = "more than one command: '" + arg + "'";
            return std::nullopt;
        } else {
            haveAction = true;
            if (arg == "list") {
                o.action = Action::List;
            } else if (arg == "watch") {
                o.action = Action::Watch;
            } else if (arg == "top") {
                o.action = Action::Top;
            } else if (arg == "help") {
                o.action = Action::Help;
            } else if ((subcommand = findSubcommand(arg))) {
                o.action = Action::Send;
            } else if (auto command = lookupCommand(arg)) {
                o.action = Action::Send;
                o.command = *command;
            } else {
                error = "unknown command '" + arg + "'" + didYouMean(arg) +
                        "\nztctl --help lists the subcommands, ztctl list every command";
                return std::nullopt;
            }
        }
    }
    if (!haveAction) {
        error = "no command given";
        return std::nullopt;
    }
    if (subcommand) {
        auto catalogue = lookupCommand(subcommand->name);
        if (words.empty() && catalogue) {
            o.command = *catalogue;
        } else if (!subcommand->parse(words, o, error)) {
            if (error.rfind("usage: ", 0) == 0) {
                // The words do not fit: the subcommand's own usage is the help.
                std::string given = subcommand->name;
                for (const std::string &w : words)
                    given += " " + w;
                error = "'" + given + (words.empty() ? "' needs more words" : "' does not fit") +
                        "\nusage: ztctl " + error.substr(7);
            } else {
                error += "\n" + usageLine(*subcommand);
            }
            return std::nullopt;
        }
    }
    return o;
}

}  // namespace ztctl
