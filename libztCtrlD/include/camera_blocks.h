// The camera's status and settings blocks as the firmware reports them, and
// the 634-byte unit in which the daemon caches and compares them. Plain data:
// any thread may use its own copies.
#ifndef CAMERA_BLOCKS_H
#define CAMERA_BLOCKS_H

#include <stdint.h>

#define CAMERA_STATUS_BLOCK_SIZE 394    // answer of firmware operation (8, 11)
#define CAMERA_SETTINGS_BLOCK_SIZE 238  // answer of firmware operation (7, 30)
#define CAMERA_SYSTEM_SETTINGS_SIZE 2   // lens mode and lens, kept by the daemon
#define ALL_STATUS_SETTINGS_SIZE 634

#ifdef __cplusplus
extern "C" {
#endif

// Status block: packed little-endian items at fixed byte offsets; the item
// table of camera_status.h says which byte means what.
typedef struct appc_system_all_status {
    uint8_t raw[CAMERA_STATUS_BLOCK_SIZE];
} appc_system_all_status;

// Settings block: one item per setting at a fixed byte offset; the settings
// table of camera_status.h gives the offsets.
typedef struct appc_setup_all_settings {
    uint8_t raw[CAMERA_SETTINGS_BLOCK_SIZE];
} appc_setup_all_settings;

// The two bytes of lens state the daemon fills from ztc_system_get_lenses.
typedef struct ztcontrol_system_settings {
    int8_t lens_mode;  // block byte 632
    int8_t lens;       // block byte 633
} ztcontrol_system_settings;

typedef struct all_status_settings_t {
    appc_system_all_status status;     // bytes 0..393
    appc_setup_all_settings settings;  // bytes 394..631
    ztcontrol_system_settings system;  // bytes 632..633
} all_status_settings_t;

#ifdef __cplusplus
}  // extern "C"
static_assert(sizeof(all_status_settings_t) == ALL_STATUS_SETTINGS_SIZE,
              "the block is compared and sent as 634 packed bytes");
#endif

#endif  // CAMERA_BLOCKS_H
