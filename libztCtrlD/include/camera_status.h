// The layout of the camera's status and settings blocks (which item sits at
// which byte) and the JSON serialisers that turn blocks, or the difference
// between two blocks, into "ID":VALUE members for notification clients.
// The tables are constant; every function is safe on any thread as long as
// each boss cache is used by one thread at a time.
#ifndef CAMERA_STATUS_H
#define CAMERA_STATUS_H

#include <stdint.h>

#include <ostream>

#include "camera_blocks.h"

// Change classes of status items: class 1 items are compared on every poll,
// class 2 items (fast-moving counters and gauges) at most once a second.
enum {
    CAMERA_STATUS_CLASS_EVERY_POLL = 1,
    CAMERA_STATUS_CLASS_THROTTLED = 2,
};

// The items' names and units are in the wire vocabulary (ztcontrol_items.h:
// zt_status_item_info, zt_setting_info).

// One status item: a little-endian unsigned value of `width` bytes (1, 2 or
// 4) at `offset` in the 394-byte status block. `is_signed` items are read
// as two's complement of their width.
typedef struct camera_status_item {
    uint16_t id;
    uint16_t offset;
    uint8_t width;
    uint8_t change_class;
    uint8_t is_signed;
} camera_status_item_t;

// One setting: a little-endian value of `width` bytes at `offset` in the
// 238-byte settings block.
typedef struct camera_setting_item {
    uint16_t id;
    uint16_t offset;
    uint8_t width;
    uint8_t is_signed;
} camera_setting_item_t;

// The tables, sorted by id; *count receives the number of entries.
const camera_status_item_t *camera_status_items(uint32_t *count);
const camera_setting_item_t *camera_setting_items(uint32_t *count);
// Lookup by id; null when the id is not in the table.
const camera_status_item_t *camera_status_find_item(uint32_t id);
const camera_setting_item_t *camera_setting_find_item(uint32_t id);
// The item's name from the wire vocabulary ("" for an id it lacks).
const char *camera_status_item_name(const camera_status_item_t *item);
const char *camera_setting_item_name(const camera_setting_item_t *item);

// Reads / writes an item's value in a block (status items in a status block,
// settings in a settings block). Reads sign-extend signed items; writes store
// the low `width` bytes.
int32_t camera_status_read(const appc_system_all_status *status, const camera_status_item_t *item);
void camera_status_write(appc_system_all_status *status, const camera_status_item_t *item,
                         int32_t value);
int32_t camera_setting_read(const appc_setup_all_settings *settings,
                            const camera_setting_item_t *item);
void camera_setting_write(appc_setup_all_settings *settings, const camera_setting_item_t *item,
                          int32_t value);

// State of the change serialiser for one model: which status items the
// model reports. Starts empty, in which case the model passed to each call
// decides; camera_status_init_bossCache fills it for a model.
struct camera_status_boss_cache_t {
    uint8_t model = 0;
    bool initialized = false;
    uint64_t hidden[8] = {};  // bit per status id the model does not report
};

void camera_status_init_bossCache(uint8_t model, camera_status_boss_cache_t *cache);

// Serialisers. Each appends members "ID":VALUE (decimal id, integer value)
// separated by commas, without braces or a trailing comma, to `out`, and
// returns the number of members written. Settings are written as option ids
// (getOptionIdByValue); a value without an option is written as the raw
// value.

// Status items of `changeClass` whose bytes differ between the two blocks.
// `cache` may be null (the model decides, as with an empty cache).
int camera_status_serialize_status_changes_to_json(std::ostream &out, int changeClass,
                                                   const all_status_settings_t *newBlock,
                                                   const all_status_settings_t *oldBlock,
                                                   uint8_t model,
                                                   const camera_status_boss_cache_t *cache);
// Settings whose bytes differ between the two blocks (the lens bytes 632 and
// 633 count as settings 193 and 194).
int camera_status_serialize_settings_changes_to_json(std::ostream &out,
                                                     const all_status_settings_t *newBlock,
                                                     const all_status_settings_t *oldBlock,
                                                     uint8_t model);
// Every status item (full state).
int camera_status_serialize_status_to_json(std::ostream &out, const appc_system_all_status *status,
                                           uint8_t model);
// Every setting the model has (full state), then the two lens bytes as
// settings 193 and 194 when `system` is given. `status` may be null; the
// settings do not depend on it in this library.
int camera_settings_serialize_to_json(std::ostream &out, const appc_setup_all_settings *settings,
                                      const appc_system_all_status *status,
                                      const ztcontrol_system_settings *system, uint8_t model);

#endif  // CAMERA_STATUS_H
