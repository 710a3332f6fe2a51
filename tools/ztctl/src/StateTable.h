// The camera's status and settings as a person reads them: the items the
// client library decodes turned into rows of name, value and unit or option
// name, or into JSON keyed by name for scripts. Pure functions; no I/O.
#ifndef ZTCTL_STATE_TABLE_H
#define ZTCTL_STATE_TABLE_H

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "ztclient.h"

namespace ztctl {

// Items of the library's decoding (ztclient.h): kind, id, value and the
// names the wire vocabulary gives them.
using Item = ztclient_item_t;

// "full state", "changes" or "shutdown pending" for a notification kind.
std::string notificationKind(int kind);
// Settings given by id and value, named as a notification's would be.
std::vector<Item> settingItems(const std::vector<std::pair<uint32_t, int64_t>> &settings);

// The value as shown: preset ids in hex, everything else in decimal.
std::string valueText(const Item &m);
// The unit or option name of the value ("%", "15 s", "video"), or "".
std::string noteText(const Item &m);
// The member's name ("battery_percent"), or its id as text.
std::string memberName(const Item &m);
// True for status items the daemon throttles (counters and gauges).
bool isThrottled(const Item &m);

// Rows "  name  value  note", status items under "status:" and settings
// under "settings:" (headings only for kinds present).
std::string formatTable(const std::vector<Item> &members);
// {"status":{"battery_percent":87,...},"settings":{...}}, the members that
// are there, keyed by name; `extra` members (already JSON) come first.
std::string formatJson(const std::vector<Item> &members, const std::string &extra = "");

// Flat mode and preset group names ("photo-night", "video"), or "".
std::string flatModeName(int64_t mode);
std::string presetGroupName(int64_t group);

}  // namespace ztctl

#endif  // ZTCTL_STATE_TABLE_H
