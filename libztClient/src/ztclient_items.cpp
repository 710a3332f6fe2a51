// Status and settings as named items: the daemon's JSON texts (notifications,
// and the blocks put through the same serialisers the daemon uses) read into
// id/value pairs, named with the wire vocabulary's names, units and option
// names.
#include <string.h>

#include <sstream>
#include <string>

#include "ClientState.h"
#include "camera_status.h"
#include "ztcontrol_commands.h"
#include "ztcontrol_items.h"

namespace {

// The daemon's own blocks carry no model; they are read with the tables of
// the default camera, as the notifications of that camera are written.
constexpr uint8_t kDecodeModel = 57;

void name(ztclient_item_t &item)
{
    const zt_item_info_t *info =
        item.kind == ZTCLIENT_STATUS ? zt_status_item_info(item.id) : zt_setting_info(item.id);
    if (info) {
        item.name = info->name;
        item.unit = info->unit && *info->unit ? info->unit : nullptr;
    }
    if (item.kind == ZTCLIENT_SETTING && item.value >= 0)
        item.option = zt_option_name(item.id, static_cast<uint32_t>(item.value));
}

bool allDigits(const std::string &s)
{
    return !s.empty() && s.size() <= 5 && s.find_first_not_of("0123456789") == std::string::npos;
}

// Copies a vector of items to the caller's array.
int deliver(const std::vector<ztclient_item_t> &items, ztclient_item_t *out, size_t capacity,
            size_t *count)
{
    if (count)
        *count = items.size();
    for (size_t i = 0; i < items.size() && i < capacity && out; ++i)
        out[i] = items[i];
    return 0;
}

// A block command's answer decoded through the daemon's serialisers; false
// when the payload has not the block's size.
bool decodeBlocks(int32_t command, const std::vector<uint8_t> &p,
                  std::vector<ztclient_item_t> &items)
{
    all_status_settings_t block{};
    std::ostringstream text;
    text << '{';
    if (command == ZTCONTROL_GET_ALL_STATUS && p.size() == sizeof block.status) {
        memcpy(block.status.raw, p.data(), p.size());
        text << "\"status\":{";
        camera_status_serialize_status_to_json(text, &block.status, kDecodeModel);
    } else if (command == ZTCONTROL_GET_ALL_SETTINGS && p.size() == sizeof block.settings) {
        memcpy(block.settings.raw, p.data(), p.size());
        text << "\"settings\":{";
        camera_settings_serialize_to_json(text, &block.settings, nullptr, nullptr, kDecodeModel);
    } else if (command == ZTCONTROL_GET_ALL_SETTINGS_STATUS && p.size() == sizeof block) {
        memcpy(&block, p.data(), p.size());
        text << "\"status\":{";
        camera_status_serialize_status_to_json(text, &block.status, kDecodeModel);
        text << "},\"settings\":{";
        camera_settings_serialize_to_json(text, &block.settings, nullptr, &block.system,
                                          kDecodeModel);
    } else {
        return false;
    }
    text << "}}";
    const std::string s = text.str();
    ztclient_internal::parseItems(s.data(), s.size(), items);
    return true;
}

// One block command and its decoding.
int getBlocks(ztclient_t *client, int32_t command, std::vector<ztclient_item_t> &items)
{
    std::vector<uint8_t> p;
    const int rc = ztclient_internal::exchange(client, command, nullptr, 0, &p);
    if (rc != 0)
        return rc;
    return decodeBlocks(command, p, items) ? 0 : ZTCLIENT_BAD_ANSWER;
}

}  // namespace

namespace ztclient_internal {

// The daemon writes three shapes, each one object:
//   full state  {ID:V,...,\nID:V,...}   status members, a line break, settings
//   changes     {"status":{ID:V,...},\n"settings":{ID:V,...}\n}  (either may be missing)
//   shutdown    {"state":{"shutdown_pending":true}}
int parseItems(const char *text, size_t length, std::vector<ztclient_item_t> &items)
{
    items.clear();
    const std::string s(text, strnlen(text, length));
    size_t end = s.find_last_not_of(" \n\r\t");
    if (s.empty() || s[0] != '{' || end == std::string::npos || s[end] != '}')
        return 0;
    int kind = ZTCLIENT_CHANGES;
    int depth = 0;
    bool topSettings = false;  // past the line break of a full state
    std::string section;       // key of the object at depth 2
    std::string key;
    for (size_t i = 0; i <= end; ++i) {
        const char c = s[i];
        if (c == '{') {
            if (++depth == 2)
                section = key;
            if (depth == 2 && key == "state")
                kind = ZTCLIENT_SHUTDOWN_PENDING;
        } else if (c == '}') {
            --depth;
        } else if (c == ',' && depth == 1 && i + 1 <= end && s[i + 1] == '\n') {
            topSettings = true;
        } else if (c == '"') {
            const size_t close = s.find('"', i + 1);
            if (close == std::string::npos)
                return 0;
            key = s.substr(i + 1, close - i - 1);
            i = close;
        } else if ((c == '-' || (c >= '0' && c <= '9')) && allDigits(key)) {
            char *stop = nullptr;
            const long value = strtol(s.c_str() + i, &stop, 10);
            ztclient_item_t item{};
            if (depth == 1) {
                kind = ZTCLIENT_FULL_STATE;
                item.kind = topSettings ? ZTCLIENT_SETTING : ZTCLIENT_STATUS;
            } else if (depth == 2 && (section == "status" || section == "settings")) {
                item.kind = section == "status" ? ZTCLIENT_STATUS : ZTCLIENT_SETTING;
            }
            if (item.kind) {
                item.id = static_cast<uint16_t>(std::stoul(key));
                item.value = static_cast<int32_t>(value);
                name(item);
                items.push_back(item);
            }
            key.clear();
            i = static_cast<size_t>(stop - s.c_str()) - 1;
        }
    }
    return depth == 0 ? kind : 0;
}

}  // namespace ztclient_internal

extern "C" {

int ztclient_parse_notification(const char *text, size_t length, ztclient_item_t *items,
                                size_t capacity, size_t *count)
{
    if (!text)
        return 0;
    std::vector<ztclient_item_t> found;
    const int kind = ztclient_internal::parseItems(text, length, found);
    deliver(found, items, capacity, count);
    return kind;
}

int ztclient_decode_state(int32_t command, const void *payload, size_t length,
                          ztclient_item_t *items, size_t capacity, size_t *count)
{
    std::vector<ztclient_item_t> found;
    const auto *bytes = static_cast<const uint8_t *>(payload);
    if (!bytes || !decodeBlocks(command, std::vector<uint8_t>(bytes, bytes + length), found))
        return ZTCLIENT_BAD_ANSWER;
    return deliver(found, items, capacity, count);
}

int ztclient_get_status(ztclient_t *client, ztclient_item_t *items, size_t capacity, size_t *count)
{
    std::vector<ztclient_item_t> found;
    const int rc = getBlocks(client, ZTCONTROL_GET_ALL_STATUS, found);
    return rc ? rc : deliver(found, items, capacity, count);
}

int ztclient_get_settings(ztclient_t *client, ztclient_item_t *items, size_t capacity,
                          size_t *count)
{
    std::vector<ztclient_item_t> found;
    const int rc = getBlocks(client, ZTCONTROL_GET_ALL_SETTINGS, found);
    return rc ? rc : deliver(found, items, capacity, count);
}

int ztclient_get_state(ztclient_t *client, ztclient_item_t *items, size_t capacity, size_t *count)
{
    std::vector<ztclient_item_t> found;
    const int rc = getBlocks(client, ZTCONTROL_GET_ALL_SETTINGS_STATUS, found);
    return rc ? rc : deliver(found, items, capacity, count);
}

int ztclient_status_id(const char *wanted)
{
    const zt_item_info_t *info = wanted ? zt_status_item_by_name(wanted) : nullptr;
    return info ? info->id : -1;
}

int ztclient_setting_id(const char *wanted)
{
    const zt_item_info_t *info = wanted ? zt_setting_by_name(wanted) : nullptr;
    return info ? info->id : -1;
}

const char *ztclient_result_reason(int code)
{
    switch (code) {
    case ZTCLIENT_NO_DAEMON:
        return "the daemon is not running (no queue /to_ztCtlD)";
    case ZTCLIENT_DAEMON_BUSY:
        return "the daemon's queue stayed full";
    case ZTCLIENT_TIMEOUT:
        return "no answer in time";
    case ZTCLIENT_TOO_LONG:
        return "the argument does not fit one message";
    case ZTCLIENT_SYSTEM:
        return "a system call failed";
    case ZTCLIENT_BAD_ANSWER:
        return "the answer has not the command's form";
    case ZTCLIENT_CLOSED:
        return "the daemon closed the connection";
    case ZTCLIENT_INVALID:
        return "a bad argument to the library";
    case ZTCLIENT_NO_SLOT:
        return "too many clients of this user";
    default:
        return code < 0 ? zt_result_reason(code) : nullptr;
    }
}

}  // extern "C"
