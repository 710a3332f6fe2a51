// ztctl's friendly subcommands for the date and time, tags, media deletes and
// voice commands, and the decoding of their answers. Pure functions apart from
// reading the clock for "date set now"; see Subcommand.h.
//
// Date and time bytes: the daemon passes them through; ztctl uses the
// camera's 7-byte form (kZtDateTime..., in UTC).
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "CommandLine.h"
#include "Subcommand.h"
#include "ztcontrol_commands.h"
#include "ztcontrol_layouts.h"

namespace ztctl {

namespace {

Bytes dateBytes(const tm &t)
{
    Bytes b(kZtDateTimeSize, 0);
    putLE(b, kZtDateTimeYearOffset, static_cast<uint32_t>(t.tm_year + 1900), 2);
    b[kZtDateTimeMonthOffset] = static_cast<uint8_t>(t.tm_mon + 1);
    b[kZtDateTimeDayOffset] = static_cast<uint8_t>(t.tm_mday);
    b[kZtDateTimeHourOffset] = static_cast<uint8_t>(t.tm_hour);
    b[kZtDateTimeMinuteOffset] = static_cast<uint8_t>(t.tm_min);
    b[kZtDateTimeSecondOffset] = static_cast<uint8_t>(t.tm_sec);
    return b;
}

bool parseDate(const std::vector<std::string> &w, Options &o, std::string &error)
{
    if (w.empty()) {
        o.command = ZTCONTROL_GET_DATE_TIME;
        return true;
    }
    if (w.size() != 2 || w[0] != "set") {
        error = "usage: date [set now|YYYY-MM-DDThh:mm:ss]";
        return false;
    }
    tm t{};
    if (w[1] == "now") {
        const time_t now = time(nullptr);
        gmtime_r(&now, &t);
    } else {
        int y, mo, d, h, mi, s;
        char sep, extra;
        if (sscanf(w[1].c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%c", &y, &mo, &d, &sep, &h, &mi, &s,
                   &extra) != 7 ||
            (sep != 'T' && sep != ' ') || y < 1970 || mo < 1 || mo > 12 || d < 1 || d > 31 ||
            h > 23 || h < 0 || mi < 0 || mi > 59 || s < 0 || s > 59) {
            error = "date set: '" + w[1] + "' is not YYYY-MM-DDThh:mm:ss";
            return false;
        }
        t.tm_year = y - 1900;
        t.tm_mon = mo - 1;
        t.tm_mday = d;
        t.tm_hour = h;
        t.tm_min = mi;
        t.tm_sec = s;
    }
    o.command = ZTCONTROL_SET_DATE_TIME;
    o.argument = dateBytes(t);
    return true;
}

bool parseTag(const std::vector<std::string> &w, Options &o, std::string &error)
{
    if (w.empty()) {
        o.command = ZTCONTROL_KEYMARK_TAG_RECORDING;
        return true;
    }
    uint32_t offset = 0, word = 0;
    if (w.size() < 2 || w.size() > 3 || !wordNumber(w[1], 32, "tag OFFSET", offset, error) ||
        (w.size() == 3 && !wordNumber(w[2], 32, "tag WORD", word, error))) {
        if (error.empty())
            error = "usage: tag [FILE OFFSET [WORD]]";
        return false;
    }
    if (w[0].size() >= kZtTagArgNameField) {
        error = "tag: the file name has at most " + std::to_string(kZtTagArgNameField - 1) +
                " characters";
        return false;
    }
    Bytes arg(kZtTagArgSize, 0);
    putLE(arg, kZtTagArgWordOffset, word, 4);
    putLE(arg, kZtTagArgOffsetOffset, offset, 4);
    memcpy(arg.data() + kZtTagArgNameOffset, w[0].data(), w[0].size());
    o.command = ZTCONTROL_KEYMARK_TAG_PLAYBACK;
    o.argument = arg;
    return true;
}

bool fileName(const std::vector<std::string> &w, uint32_t command, const char *usage, Options &o,
              std::string &error)
{
    if (w.size() != 1 || w[0].empty()) {
        error = std::string("usage: ") + usage;
        return false;
    }
    o.command = command;
    o.argument = Bytes(w[0].begin(), w[0].end());
    o.argument->push_back(0);
    return true;
}

bool parseDelete(const std::vector<std::string> &w, Options &o, std::string &error)
{
    return fileName(w, ZTCONTROL_DELETE, "delete FILE", o, error);
}

bool parseDeleteGroup(const std::vector<std::string> &w, Options &o, std::string &error)
{
    return fileName(w, ZTCONTROL_DELETE_GROUP, "delete-group FILE", o, error);
}

// Each word is FILE or FILE:CODE (code 0 to 255, default 0).
bool parseDeleteList(const std::vector<std::string> &w, Options &o, std::string &error)
{
    Bytes arg;
    for (const std::string &word : w) {
        const size_t colon = word.rfind(':');
        const std::string name = colon == std::string::npos ? word : word.substr(0, colon);
        uint32_t code = 0;
        if (colon != std::string::npos &&
            !wordNumber(word.substr(colon + 1), 8, "delete-list CODE", code, error))
            return false;
        if (name.empty() || name.size() >= kZtDeleteItemNameField) {
            error = "delete-list: '" + name + "': names have 1 to " +
                    std::to_string(kZtDeleteItemNameField - 1) + " characters";
            return false;
        }
        Bytes item(kZtDeleteItemSize, 0);
        item[kZtDeleteItemCodeOffset] = static_cast<uint8_t>(code);
        memcpy(item.data() + kZtDeleteItemNameOffset, name.data(), name.size());
        arg.insert(arg.end(), item.begin(), item.end());
    }
    o.command = ZTCONTROL_DELETE_LIST;
    o.argument = arg;
    return true;
}

bool parseDeleteResult(const std::vector<std::string> &w, Options &o, std::string &error)
{
    if (!w.empty()) {
        error = "usage: delete-result";
        return false;
    }
    o.command = ZTCONTROL_GET_DELETE_LIST_RESULT;
    return true;
}

bool parseVoice(const std::vector<std::string> &w, Options &o, std::string &error)
{
    static const struct {
        const char *word;
        ztcontrol_command_t command;
    } kVoice[] = {
        {"photo", ZTCONTROL_VOICE_PHOTO_TAKE},
        {"video-start", ZTCONTROL_VOICE_VIDEO_START},
        {"video-stop", ZTCONTROL_VOICE_VIDEO_STOP},
        {"timelapse-start", ZTCONTROL_VOICE_TIMELAPSE_START},
        {"timelapse-stop", ZTCONTROL_VOICE_TIMELAPSE_STOP},
        {"burst", ZTCONTROL_VOICE_BURST_TAKE},
        {"tag", ZTCONTROL_VOICE_TAG},
        {"edit-story", ZTCONTROL_VOICE_EDIT_MY_STORY},
        {"delete-last", ZTCONTROL_VOICE_DELETE_LAST},
    };
    if (w.size() == 2 && w[0] == "mode") {
        uint32_t mode = 0;
        if (!wordNumber(w[1], 8, "voice mode", mode, error))
            return false;
        o.command = ZTCONTROL_VOICE_MODE;
        o.argument = Bytes{static_cast<uint8_t>(mode)};
        return true;
    }
    for (const auto &v : kVoice) {
        if (w.size() == 1 && w[0] == v.word) {
            o.command = static_cast<uint32_t>(v.command);
            return true;
        }
    }
    error =
        "usage: voice photo|video-start|video-stop|timelapse-start|timelapse-stop|burst|tag|"
        "edit-story|delete-last|mode N";
    return false;
}

std::string decodeMedia(uint32_t command, const std::vector<uint8_t> &p, const Display &)
{
    char line[96];
    if (command == ZTCONTROL_GET_DATE_TIME && p.size() == kZtDateTimeSize) {
        snprintf(line, sizeof line, "date: %04u-%02u-%02u %02u:%02u:%02u",
                 readLE(p, kZtDateTimeYearOffset, 2), p[kZtDateTimeMonthOffset],
                 p[kZtDateTimeDayOffset], p[kZtDateTimeHourOffset], p[kZtDateTimeMinuteOffset],
                 p[kZtDateTimeSecondOffset]);
        return line;
    }
    if (command == ZTCONTROL_GET_DELETE_LIST_RESULT && !p.empty()) {
        if (p.size() >= kZtDeleteResultCountsSize)
            snprintf(line, sizeof line, "delete list result: %u (deleted %u, missing %u)",
                     p[kZtDeleteResultOutcomeOffset], p[kZtDeleteResultDeletedOffset],
                     p[kZtDeleteResultMissingOffset]);
        else
            snprintf(line, sizeof line, "delete list result: %u", p[kZtDeleteResultOutcomeOffset]);
        return line;
    }
    return "";
}

}  // namespace

const SubcommandArea &mediaArea()
{
    static const SubcommandArea area{
        {
            {"date",
             "  date [set now|YYYY-MM-DDThh:mm:ss]\n"
             "                                 read or set the camera clock (UTC)\n",
             parseDate},
            {"tag",
             "  tag [FILE OFFSET [WORD]]       tag the recording, or a stored file at OFFSET\n",
             parseTag},
            {"delete",
             "  delete FILE                    delete one file (delete-last, delete-all: no "
             "FILE)\n",
             parseDelete},
            {"delete-group", "  delete-group FILE              delete the file's group\n",
             parseDeleteGroup},
            {"delete-list",
             "  delete-list FILE[:CODE]...     delete several files; delete-result asks how it "
             "went\n",
             parseDeleteList},
            {"delete-result", "", parseDeleteResult},
            {"voice",
             "  voice photo|video-start|video-stop|timelapse-start|timelapse-stop|burst|\n"
             "        tag|edit-story|delete-last|mode N\n"
             "                                 voice-control commands\n",
             parseVoice},
        },
        decodeMedia,
    };
    return area;
}

}  // namespace ztctl
