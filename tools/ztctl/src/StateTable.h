// The camera's status and settings as a person reads them: members of the
// daemon's JSON ("ID":VALUE) turned into rows of name, value and unit or
// option name, or into JSON keyed by name for scripts. Pure functions; no I/O.
#ifndef ZTCTL_STATE_TABLE_H
#define ZTCTL_STATE_TABLE_H

#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

namespace ztctl {

struct Member {
    bool setting = false;  // a setting (option id), else a status item
    uint32_t id = 0;
    int64_t value = 0;
};

// One notification text of the daemon, read.
struct Notification {
    std::string kind;  // "full state", "changes" or "shutdown pending"
    std::vector<Member> members;
};

// Reads a notification text: {"status":{...},"settings":{...}} (changes),
// the full state (status members, a line break, settings members) or
// {"state":...} (shutdown pending). Nothing when it is none of them.
std::optional<Notification> parseNotification(const std::string &text);
// Appends the members of a list "ID":VALUE,... (no braces); false when the
// text is not such a list.
bool parseMembers(const std::string &list, bool setting, std::vector<Member> &out);

// The value as shown: preset ids in hex, everything else in decimal.
std::string valueText(const Member &m);
// The unit or option name of the value ("%", "15 s", "video"), or "".
std::string noteText(const Member &m);
// The member's name ("battery_percent"), or its id as text.
std::string memberName(const Member &m);
// True for status items the daemon throttles (counters and gauges).
bool isThrottled(const Member &m);

// Rows "  name  value  note", status items under "status:" and settings
// under "settings:" (headings only for kinds present).
std::string formatTable(const std::vector<Member> &members);
// {"status":{"battery_percent":87,...},"settings":{...}}, the members that
// are there, keyed by name; `extra` members (already JSON) come first.
std::string formatJson(const std::vector<Member> &members, const std::string &extra = "");

// Flat mode and preset group names ("photo-night", "video"), or "".
std::string flatModeName(int64_t mode);
std::string presetGroupName(int64_t group);

}  // namespace ztctl

#endif  // ZTCTL_STATE_TABLE_H
