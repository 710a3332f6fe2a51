// Friendly subcommands of ztctl ("ztctl wifi scan", "ztctl date"): each
// command area lists its own in a cmd_<area>.cpp file and may decode the
// answers of its commands. Pure functions and constant tables; no I/O.
//
// Adding an area: write cmd_<area>.cpp with a `const SubcommandArea
// &<area>Area()`, declare it below and add it to subcommandAreas() in
// CommandLine.cpp.
#ifndef ZTCTL_SUBCOMMAND_H
#define ZTCTL_SUBCOMMAND_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace ztctl {

struct Options;

// How answers are shown: JSON keyed by name for scripts, or every detail
// (a preset list with every setting).
struct Display {
    bool json = false;
    bool verbose = false;
};

struct Subcommand {
    const char *name;   // first word on the command line, e.g. "wifi"
    const char *usage;  // help lines, each starting with two blanks and ending in '\n'
    // Turns the words after the name into o.command and o.argument. False
    // with `error` set when the words do not fit. When the name is also a
    // catalogue command name and no words follow, ztctl sends that catalogue
    // command instead (so "ztctl delete --textz NAME" still works).
    bool (*parse)(const std::vector<std::string> &words, Options &o, std::string &error);
};

struct SubcommandArea {
    std::vector<Subcommand> subcommands;
    // Decoded lines (without the final '\n') of an answer payload of one of
    // the area's commands, or "" when the area has no decoding for it. May be
    // null.
    std::string (*decode)(uint32_t command, const std::vector<uint8_t> &payload,
                          const Display &display);
};

// The areas, one per cmd_<area>.cpp.
const SubcommandArea &wirelessArea();
const SubcommandArea &mediaArea();
const SubcommandArea &captureArea();
const SubcommandArea &presetsArea();
const SubcommandArea &settingsArea();
const SubcommandArea &systemArea();

// "" when `option` is one of the options `setting` has on `model` (or the
// setting takes any value), else the cause, naming the options there are.
std::string checkSettingOption(int model, uint32_t setting, uint32_t option);

// Every area, in the order of the help text.
std::vector<const SubcommandArea *> subcommandAreas();
// The subcommand named `name`, or null.
const Subcommand *findSubcommand(const std::string &name);
// Help lines of every subcommand.
std::string subcommandUsage();

// Shared word parsing for the areas.
// A number of at most `bits` bits into `value`; false with `error` naming `what`.
bool wordNumber(const std::string &word, unsigned bits, const char *what, uint32_t &value,
                std::string &error);
// Appends a little-endian word of `bytes` bytes.
void appendLE(std::vector<uint8_t> &out, uint32_t value, unsigned bytes);
// Writes a little-endian word of `bytes` bytes at `offset`; the caller has
// sized `out` to hold them.
void putLE(std::vector<uint8_t> &out, size_t offset, uint32_t value, unsigned bytes);
// The little-endian word of `bytes` bytes at `offset`; the caller has checked
// that they are there.
uint32_t readLE(const std::vector<uint8_t> &in, size_t offset, unsigned bytes);
// True when there are `low` to `high` words; else false with `error` set to
// "usage: " and `usage`.
bool wordCount(const std::vector<std::string> &words, size_t low, size_t high, const char *usage,
               std::string &error);
// A subcommand without words: sets o.command.
bool noWords(const std::vector<std::string> &words, uint32_t command, const char *usage, Options &o,
             std::string &error);
// One of `choices` (its index in `index`) or, when `bits` is not 0, a
// number of at most `bits` bits (`index` then set to choices.size() and the
// number in `value`). False with `error` naming the choices otherwise.
bool wordChoice(const std::string &word, const std::vector<const char *> &choices, unsigned bits,
                const char *what, size_t &index, uint32_t &value, std::string &error);
// A subcommand of one number of `bits` bits, sent as a word of bits / 8 bytes.
bool oneNumber(const std::vector<std::string> &words, uint32_t command, unsigned bits,
               const char *usage, Options &o, std::string &error);

}  // namespace ztctl

#endif  // ZTCTL_SUBCOMMAND_H
