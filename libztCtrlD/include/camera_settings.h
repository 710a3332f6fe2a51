// Per-model settings tables: for every setting id, how the library sets it
// and which options it offers (option id <-> firmware value). Constant data;
// safe on any thread.
#ifndef CAMERA_SETTINGS_H
#define CAMERA_SETTINGS_H

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// One entry of the settings id table, 48 bytes, indexed by setting id. The
// daemon passes the words at offsets 16, 20 and 24 to
// camera_if_settings_set_value_int unchanged.
typedef struct camera_settings_id_entry {
    uint32_t id;             // 0: the setting id (equal to the index)
    uint16_t block_offset;   // 4: byte in the settings block, 0xFFFF if none
    uint8_t width;           // 6: value width in bytes (0: not in the block)
    uint8_t flags;           // 7: CAMERA_SETTING_FLAG_*
    uint32_t option_count;   // 8: options this model offers
    uint32_t reserved;       // 12
    uint32_t fw_category;    // 16: firmware operation category of the set
    uint32_t fw_identifier;  // 20: firmware operation identifier of the set
    uint32_t value_width;    // 24: bytes of the value in the set's payload
    char name[20];           // 28: short name, NUL-terminated
} camera_settings_id_entry_t;

#ifdef __cplusplus
static_assert(sizeof(camera_settings_id_entry_t) == 48, "entries are 48 bytes");
#endif

enum {
    CAMERA_SETTING_FLAG_SUPPORTED = 1,  // the model has this setting
    CAMERA_SETTING_FLAG_NO_EDIT = 2,    // changing it needs no preset edit
    CAMERA_SETTING_FLAG_SIGNED = 4,     // values are signed
};

// The table for `model` (every model the library knows, and a default for
// others), *count entries long (above 181). Never null for a known model;
// null with *count 0 for model 0.
const camera_settings_id_entry_t *camera_settings_id_table(int model, uint32_t *count);

// Option id of a firmware value of a setting on a model. A setting without
// an option table carries its value as its option id (returned unchanged);
// a setting with one returns `notFound` (the daemon passes 0xFFFFFFFF) for a
// value it does not list.
uint32_t getOptionIdByValue(int model, uint32_t setting, int32_t value, uint32_t notFound);
// Firmware value of an option of a setting on a model. An option the table
// does not know is returned unchanged, so settings without an option table
// carry their option id as the value.
int32_t getOptionValueById(int model, uint32_t setting, uint32_t option);
// The option ids `setting` offers on `model`, in table order, each once:
// writes up to `max` of them to `options` and returns how many there are
// (0 for a setting whose values are its option ids).
uint32_t camera_setting_options(int model, uint32_t setting, uint32_t *options, uint32_t max);

// True when changing `setting` on `model` needs no preset edit (settings that
// are camera-wide rather than part of a preset). Always false for -1.
bool bypassPresetEditStart(int setting, int model);

// Finds `key` in a text of key=value pairs separated by '&', ',', ';' or
// white space, and copies its value (up to the next separator) into `value`
// (NUL-terminated, truncated to valueSize - 1). `key` may be given with or
// without its '='. Returns the value's full length, or -1 when the key is
// absent (then `value` is set to ""  when valueSize > 0).
int parseParam(const char *text, const char *key, char *value, uint32_t valueSize);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // CAMERA_SETTINGS_H
