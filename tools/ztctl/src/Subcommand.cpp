// The list of ztctl's friendly subcommand areas and the word parsing they
// share; see Subcommand.h.
#include "Subcommand.h"

#include "CommandLine.h"

namespace ztctl {

std::vector<const SubcommandArea *> subcommandAreas()
{
    return {
        &captureArea(), &presetsArea(),  &settingsArea(),
        &systemArea(),  &wirelessArea(), &mediaArea(),
    };
}

const Subcommand *findSubcommand(const std::string &name)
{
    for (const SubcommandArea *area : subcommandAreas())
        for (const Subcommand &s : area->subcommands)
            if (name == s.name)
                return &s;
    return nullptr;
}

std::string subcommandUsage()
{
    std::string out;
    for (const SubcommandArea *area : subcommandAreas())
        for (const Subcommand &s : area->subcommands)
            out += s.usage;
    return out;
}

bool wordNumber(const std::string &word, unsigned bits, const char *what, uint32_t &value,
                std::string &error)
{
    auto n = parseNumber(word, bits);
    if (!n) {
        error =
            std::string(what) + ": '" + word + "' is not a " + std::to_string(bits) + "-bit number";
        return false;
    }
    value = *n;
    return true;
}

bool wordChoice(const std::string &word, const std::vector<const char *> &choices, unsigned bits,
                const char *what, size_t &index, uint32_t &value, std::string &error)
{
    for (index = 0; index < choices.size(); ++index)
        if (word == choices[index])
            return true;
    if (bits && parseNumber(word, bits))
        return wordNumber(word, bits, what, value, error);
    std::string list;
    for (const char *c : choices)
        list += (list.empty() ? "" : ", ") + std::string(c);
    error = std::string(what) + ": '" + word + "' is not one of: " + list +
            (bits ? " (or a number)" : "");
    return false;
}

void appendLE(std::vector<uint8_t> &out, uint32_t value, unsigned bytes)
{
    for (unsigned i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void putLE(std::vector<uint8_t> &out, size_t offset, uint32_t value, unsigned bytes)
{
    for (unsigned i = 0; i < bytes; ++i)
        out[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t readLE(const std::vector<uint8_t> &in, size_t offset, unsigned bytes)
{
    uint32_t v = 0;
    for (unsigned i = 0; i < bytes; ++i)
        v |= static_cast<uint32_t>(in[offset + i]) << (8 * i);
    return v;
}

bool wordCount(const std::vector<std::string> &words, size_t low, size_t high, const char *usage,
               std::string &error)
{
    if (words.size() >= low && words.size() <= high)
        return true;
    error = std::string("usage: ") + usage;
    return false;
}

bool noWords(const std::vector<std::string> &words, uint32_t command, const char *usage, Options &o,
             std::string &error)
{
    if (!wordCount(words, 0, 0, usage, error))
        return false;
    o.command = command;
    return true;
}

bool oneNumber(const std::vector<std::string> &words, uint32_t command, unsigned bits,
               const char *usage, Options &o, std::string &error)
{
    uint32_t n = 0;
    if (!wordCount(words, 1, 1, usage, error) || !wordNumber(words[0], bits, usage, n, error))
        return false;
    o.command = command;
    o.argument = Bytes();
    appendLE(*o.argument, n, bits / 8);
    return true;
}

}  // namespace ztctl
