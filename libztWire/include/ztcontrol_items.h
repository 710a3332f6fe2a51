/* The display vocabulary of the camera's state: the name and unit of every
 * status item and setting, the names of the setting options whose meaning
 * is documented, and a short reason for every result code. The daemon's
 * serialisers, the camera control library's layout tables, ztctl and client
 * programs all take their names from here. Constant data; any thread may
 * use it.
 */
#ifndef ZTCONTROL_ITEMS_H
#define ZTCONTROL_ITEMS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A status item or setting by id: its name ("battery_percent") and its unit
 * ("%", "s", "KiB", ...; "" when the value has none). */
typedef struct zt_item_info {
    uint16_t id;
    const char *name;
    const char *unit;
} zt_item_info_t;

/* A named option of a setting: the option id (not the firmware value) and
 * its name ("auto", "15 s"). */
typedef struct zt_option_name {
    uint16_t setting;
    uint16_t option;
    const char *name;
} zt_option_name_t;

/* The tables, sorted by id; *count receives the number of entries. The
 * settings table holds the settings block's settings and those reported
 * beside it (55, 193 and 194). */
const zt_item_info_t *zt_status_item_infos(uint32_t *count);
const zt_item_info_t *zt_setting_infos(uint32_t *count);
const zt_option_name_t *zt_option_names(uint32_t *count);

/* Lookup by id; null when the id is not in the table. */
const zt_item_info_t *zt_status_item_info(uint32_t id);
const zt_item_info_t *zt_setting_info(uint32_t id);

/* The status item or setting with this name; null when there is none. */
const zt_item_info_t *zt_status_item_by_name(const char *name);
const zt_item_info_t *zt_setting_by_name(const char *name);

/* The name of option `option` of `setting`, or null when its meaning is not
 * documented (print the number then). */
const char *zt_option_name(uint32_t setting, uint32_t option);

/* The option of `setting` called `name`: 0 and *option set when found,
 * -1 otherwise. */
int zt_option_by_name(uint32_t setting, const char *name, uint32_t *option);

/* A short human reason for a result code ("the camera is off or refusing
 * commands"), or null for a code without one. The code's name is
 * ztErrno2Str (ztErrno.h). */
const char *zt_result_reason(int32_t code);

#ifdef __cplusplus
}
#endif

#endif /* ZTCONTROL_ITEMS_H */
