// The list of ztctl's friendly subcommand areas and the word parsing they
// share; see Subcommand.h.
#include "Subcommand.h"

#include "CommandLine.h"

namespace ztctl {

std::vector<const SubcommandArea *> subcommandAreas() {
    return {
        &captureArea(),
        &presetsArea(),
        &settingsArea(),
        &systemArea(),
        &wirelessArea(),
        &mediaArea(),
    };
}

const Subcommand *findSubcommand(const std::string &name) {
    for (const SubcommandArea *area : subcommandAreas())
        for (const Subcommand &s : area->subcommands)
            if (name == s.name) return &s;
    return nullptr;
}

std::string subcommandUsage() {
    std::string out;
    for (const SubcommandArea *area : subcommandAreas())
        for (const Subcommand &s : area->subcommands) out += s.usage;
    return out;
}

bool wordNumber(const std::string &word, unsigned bits, const char *what, uint32_t &value,
                std::string &error) {
    auto n = parseNumber(word, bits);
    if (!n) {
        error = std::string(what) + ": '" + word + "' is not a " + std::to_string(bits) + "-bit number";
        return false;
    }
    value = *n;
    return true;
}

void appendLE(std::vector<uint8_t> &out, uint32_t value, unsigned bytes) {
    for (unsigned i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace ztctl
