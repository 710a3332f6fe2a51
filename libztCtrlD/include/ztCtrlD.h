// The camera control library: every call through which the daemon reaches the
// camera's firmware. Each call sends one request on the context's request
// queue ("/to_ztnet") and waits at most 1000 ms for its answer on the reply
// queue ("/to_ztCtlD2"). Calls are serialised inside the library, so any
// thread may make them, but answer bytes returned through an out pointer are
// only valid until the next call from any thread.
//
// Results: 0 (ZT_OK) or a ztErrno code. ZT_ERR_MQ_FAIL (-5) means the
// request could not be sent or no answer came in time; any other non-zero
// code is the firmware's own status, passed through unchanged. On failure the
// caller's outputs are left untouched.
#ifndef ZT_CTRL_D_H
#define ZT_CTRL_D_H

#include <mqueue.h>
#include <stdbool.h>
#include <stdint.h>

#include "camera_blocks.h"

#ifdef __cplusplus
extern "C" {
#endif

// Queue context, first argument of every ztc_* call. The owner opens the
// queues and fills the three queue fields; the library only reads them. A
// context whose queue descriptors are -1 is closed: calls fail at once with
// ZT_ERR_MQ_FAIL. Zeroing the context (then setting both descriptors to -1)
// is a valid reset.
typedef struct ztc_msg_q_context {
    const char *reply_queue_name;  // name of the reply queue, sent as the
                                   // request's source ("/to_ztCtlD2")
    mqd_t request_queue;           // write end of "/to_ztnet", or -1
    mqd_t reply_queue;             // read end of the reply queue, or -1
    uint8_t option;                // option byte: sent with every request in
                                   // element 'W'; the daemon sets it from the
                                   // client request before each command
} ztc_msg_q_context_t;

// One item of a delete list: a per-file code and the file name,
// NUL-terminated within its 22 bytes. Items are packed back to back.
typedef struct __attribute__((packed)) file_list_item_t {
    uint8_t code;
    char name[22];
} file_list_item_t;

// --- Model and protocol adapter ---

// Selects the protocol adapter for a camera model. Models the library does
// not know get the default adapter; returns 0.
int ztc_select_protocol_adapter(int model);
// Reads the camera model number (CSI item 1). 0 and *model set, or non-zero
// with *model untouched.
int ztc_state_get_model_number(uint8_t *model);

// --- Firmware operations, each named (category, identifier) ---

// Answer pointers: when *answer is null (or *answerLength is 0), on success
// *answer points into the library's own buffer (valid until the next call;
// never freed by the caller) and *answerLength holds its length. When the
// caller pre-sets *answer to its own buffer and *answerLength to that
// buffer's size (above 0), at most that many bytes are copied there and
// *answerLength becomes the count copied. An answer without bytes gives
// length 0.
int ztc_send_simple_remote_api(ztc_msg_q_context_t *ctx, uint8_t category, uint8_t id);
int ztc_send_remote_api_payload(ztc_msg_q_context_t *ctx, uint8_t category, uint8_t id,
                                const void *payload, uint16_t payloadLength);
int ztc_send_remote_api_for_response(ztc_msg_q_context_t *ctx, uint8_t category, uint8_t id,
                                     uint8_t **answer, uint16_t *answerLength);
int ztc_send_remote_api_payload_response(ztc_msg_q_context_t *ctx, uint8_t category, uint8_t id,
                                         const void *payload, uint16_t payloadLength,
                                         uint8_t **answer, uint16_t *answerLength);

// Accessory-module (wireless module) command: `command` is a two-letter
// NUL-terminated text such as "AP". `answer` may be null when no answer is
// wanted; otherwise it follows the answer pointer rules above.
int ztc_send_auxmod_command(ztc_msg_q_context_t *ctx, const char *command, const void *payload,
                            uint16_t payloadLength, uint8_t **answer, uint16_t *answerLength);

// --- Typed calls: capture and modes ---
int ztc_shutter(ztc_msg_q_context_t *ctx, uint8_t value);
int ztc_app_set_mode(ztc_msg_q_context_t *ctx, int32_t mode);
int ztc_app_set_mode_sub_mode(ztc_msg_q_context_t *ctx, int32_t mode, int32_t subMode);
int ztc_app_get_mode_flat_mode(ztc_msg_q_context_t *ctx, int32_t *appMode, int32_t *flatMode);
int ztc_app_set_digital_zoom(ztc_msg_q_context_t *ctx, int32_t zoom);
int ztc_app_set_capture_delay(ztc_msg_q_context_t *ctx, int32_t delay);
int ztc_video_reset_to_valid_res_fps_fov(ztc_msg_q_context_t *ctx);
int ztc_video_advset_reset(ztc_msg_q_context_t *ctx);
int ztc_photo_advset_reset(ztc_msg_q_context_t *ctx);
int ztc_multishot_advset_reset(ztc_msg_q_context_t *ctx);
int ztc_video_set_swiftlapse_speed_ramp(ztc_msg_q_context_t *ctx, uint32_t value);
int ztc_video_set_swiftlapse_speed_ramp_active(ztc_msg_q_context_t *ctx, uint32_t value);

// --- Typed calls: media ---
// Names are sent with exactly the length given (at most 1400 bytes, else
// ZT_ERR_INVALID_PARAM without sending).
int ztc_storage_tag_file(ztc_msg_q_context_t *ctx, const char *name, uint32_t nameLength,
                         uint32_t offset, uint32_t leadingWord);
int ztc_storage_delete_file(ztc_msg_q_context_t *ctx, const char *name, uint32_t nameLength);
int ztc_storage_delete_group(ztc_msg_q_context_t *ctx, const char *name, uint32_t nameLength);
// As many items as fit one request (61 with the default reply queue); a
// longer list gives ZT_ERR_INVALID_PARAM, logged, before anything is sent.
int ztc_storage_delete_list(ztc_msg_q_context_t *ctx, const file_list_item_t *items,
                            uint32_t count);

// --- Typed calls: firmware update ---
int ztc_fwupdate_download_start(ztc_msg_q_context_t *ctx);
int ztc_fwupdate_download_cancel(ztc_msg_q_context_t *ctx);
int ztc_fwupdate_download_done(ztc_msg_q_context_t *ctx, bool success);

// --- Typed calls: system ---
int ztc_system_get_lenses(ztc_msg_q_context_t *ctx, signed char *lensMode, signed char *lens);
int ztc_system_get_lens_type(ztc_msg_q_context_t *ctx, uint8_t *lensType);
int ztc_system_get_power_profile(ztc_msg_q_context_t *ctx, uint8_t *powerProfile);
// 1 pro, 0 easy.
int ztc_setup_get_camera_ux_mode(ztc_msg_q_context_t *ctx, uint8_t *uxMode);
int ztc_system_set_button(ztc_msg_q_context_t *ctx, uint8_t button, uint8_t state);
// `rotation` is a rotation code (0 none, 1 quarter turn, 2 half, 3 three
// quarters), not degrees.
int ztc_system_set_rc_rotation(ztc_msg_q_context_t *ctx, uint8_t rotation);
int ztc_preset_onscreen_shortcuts_reset(ztc_msg_q_context_t *ctx);

// --- Settings ---
// Sets one setting. tableWord16/20/24 are the words at offsets 16, 20 and 24
// of the setting's entry in camera_settings_id_table (see camera_settings.h);
// the blocks are the caller's current settings and status, used only to log
// the setting's previous value; either may be null. Whether the value is
// acceptable is the firmware's decision.
int camera_if_settings_set_value_int(ztc_msg_q_context_t *ctx, uint32_t setting,
                                     uint32_t tableWord16, uint32_t tableWord20, int32_t value,
                                     uint32_t tableWord24, const appc_setup_all_settings *settings,
                                     const appc_system_all_status *status);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // ZT_CTRL_D_H
