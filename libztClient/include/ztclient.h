/* libztClient: the C interface of a client of ztControlD.
 *
 * A client owns a reply queue of its own and sends commands to the daemon's
 * queue "/to_ztCtlD"; notifications come from the daemon's TCP port 8081 or
 * from a queue the client registers. Link with -lztClient (pkg-config
 * ztclient) and include this header from C or C++; ztclient.hpp adds a thin
 * C++ layer with the preset commands as protobuf messages.
 *
 * Return values. Every function that talks to the daemon returns an int:
 *   0                 the daemon answered ZT_OK;
 *   negative          the daemon answered with that result code (ztErrno.h:
 *                     ZT_ERR_NAK_OFF and so on); ztclient_result_name() and
 *                     ztclient_result_reason() describe it;
 *   positive          the exchange itself failed: one of ztclient_failure_t.
 * ztclient_call() is the exception: it returns 0 or a ztclient_failure_t and
 * gives the daemon's result through its result argument.
 *
 * Waits. Every wait is bounded: a call's deadline covers both the wait for
 * room on "/to_ztCtlD" and the wait for the answer; the typed functions use
 * the client's default deadline (ztclient_set_deadline, 5000 ms at first).
 *
 * Threads. A client may be shared by threads: calls on one client take turns
 * (a mutex). A watch belongs to one thread at a time.
 *
 * Reply queues. Each client creates "/ztclient_<uid>_<n>" exclusively
 * (O_EXCL), where n is the first of 64 slots that no living client holds.
 * A slot is held through a System V semaphore (one set per user, in the IPC
 * namespace of the queues) raised with SEM_UNDO, which the system takes back
 * when the holder dies, however it dies. A slot nobody holds has no owner,
 * so whatever queues of that slot exist were left by a crashed client:
 * opening a client removes them for every such slot.
 */
#ifndef ZTCLIENT_H
#define ZTCLIENT_H

#include <stddef.h>
#include <stdint.h>

#include "ztErrno.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ztclient_handle ztclient_t;
typedef struct ztclient_watch_handle ztclient_watch_t;

/* Failures of the exchange (positive return values). */
typedef enum {
    ZTCLIENT_NO_DAEMON = 1, /* "/to_ztCtlD" does not exist: the daemon is not running */
    ZTCLIENT_DAEMON_BUSY,   /* "/to_ztCtlD" stayed full until the deadline */
    ZTCLIENT_TIMEOUT,       /* no answer (or notification) within the deadline */
    ZTCLIENT_TOO_LONG,      /* the argument does not fit one message */
    ZTCLIENT_SYSTEM,        /* a system call failed (errno tells which) */
    ZTCLIENT_BAD_ANSWER,    /* the answer's payload has not the command's form */
    ZTCLIENT_CLOSED,        /* watch: the daemon closed the connection */
    ZTCLIENT_INVALID,       /* a bad argument to the library function */
    ZTCLIENT_NO_SLOT,       /* every reply queue slot of this user is held */
} ztclient_failure_t;

/* ---- Opening, calling, result codes ---- */

/* Opens a client: creates its reply queue and removes queues that crashed
 * clients left. Returns 0 and sets *client, or a ztclient_failure_t. */
int ztclient_open(ztclient_t **client);
/* Removes the reply queue (and the event queue of a queue watch still open)
 * and frees the client. NULL is ignored. Close watches first. */
void ztclient_close(ztclient_t *client);
/* Opens a client whose reply queue is the given name ("/name", created
 * exclusively, removed on close) instead of a slot's; a crashed caller's
 * queue of that name is not swept. */
int ztclient_open_as(const char *replyQueue, ztclient_t **client);
/* The reply queue's name ("/ztclient_0_3"), valid until close. */
const char *ztclient_reply_queue(const ztclient_t *client);
/* Default deadline of the typed functions, in milliseconds (at least 1). */
void ztclient_set_deadline(ztclient_t *client, unsigned deadlineMs);

/* Sends any command. argument: argumentLength bytes for element 'B', or
 * NULL for none (an empty element needs a non-NULL pointer and length 0).
 * option: 0..255 for element 'W', or -1 for none. On 0 the daemon's result
 * is in *result and its payload in payload (at most payloadCapacity bytes
 * are copied; *payloadLength gets the full length, which may be larger).
 * payload and payloadLength may be NULL when the payload is not wanted. */
int ztclient_call(ztclient_t *client, int32_t command, const void *argument, size_t argumentLength,
                  int option, unsigned deadlineMs, int32_t *result, void *payload,
                  size_t payloadCapacity, size_t *payloadLength);

/* The enumerator name of a command value ("ZTCONTROL_COMMAND_SHUTTER"), or
 * NULL; the value of a name (with or without "ZTCONTROL_", any case, '-'
 * for '_'), or -1. */
const char *ztclient_command_name(int32_t command);
int32_t ztclient_command_value(const char *name);

/* Name of a return value or result code: "ZT_OK", "ZT_ERR_NAK_OFF",
 * "ZTCLIENT_TIMEOUT"; "UNKNOWN" for other values. */
const char *ztclient_result_name(int code);
/* A short reason in words ("the camera is off or refused the command"), or
 * NULL where the code has none. */
const char *ztclient_result_reason(int code);

/* ---- Decoded status and settings ---- */

typedef enum { ZTCLIENT_STATUS = 1, ZTCLIENT_SETTING = 2 } ztclient_item_kind_t;

/* One status item or setting with its value; the texts are static and NULL
 * when the vocabulary has none. Setting values are option ids. */
typedef struct {
    uint8_t kind; /* ztclient_item_kind_t */
    uint16_t id;  /* status or setting id */
    int32_t value;
    const char *name;   /* "battery_percent" */
    const char *unit;   /* "%", or NULL */
    const char *option; /* a setting's option name, or NULL */
} ztclient_item_t;

/* The camera's status items, settings, or both (the state the daemon keeps,
 * lens mode and lens as settings 193 and 194), decoded. Up to capacity items
 * are stored; *count gets the number the camera reported. */
int ztclient_get_status(ztclient_t *client, ztclient_item_t *items, size_t capacity, size_t *count);
int ztclient_get_settings(ztclient_t *client, ztclient_item_t *items, size_t capacity,
                          size_t *count);
int ztclient_get_state(ztclient_t *client, ztclient_item_t *items, size_t capacity, size_t *count);
/* The answer payload of ZTCONTROL_GET_ALL_STATUS, _GET_ALL_SETTINGS or
 * _GET_ALL_SETTINGS_STATUS decoded as the get functions above do;
 * ZTCLIENT_BAD_ANSWER for another command or a payload of another size. */
int ztclient_decode_state(int32_t command, const void *payload, size_t length,
                          ztclient_item_t *items, size_t capacity, size_t *count);
/* Id of a status item or setting by its name, or -1. */
int ztclient_status_id(const char *name);
int ztclient_setting_id(const char *name);

/* ---- Capture and mode ---- */
int ztclient_shutter(ztclient_t *client, int on);
int ztclient_tag_recording(ztclient_t *client);
int ztclient_quick_capture(ztclient_t *client, uint8_t value);
int ztclient_set_capture_delay(ztclient_t *client, uint32_t seconds);
int ztclient_set_zoom(ztclient_t *client, uint32_t zoom);
int ztclient_busy(ztclient_t *client, int *busy);
/* ZTCONTROL_MODE_SET_MODE: a flat mode or a preset group (1000 and up). */
int ztclient_set_mode(ztclient_t *client, uint16_t flatModeOrGroup);
/* ZTCONTROL_MODE: 0 video, 1 photo, 2 time lapse. */
int ztclient_set_mode_family(ztclient_t *client, uint32_t family);

/* ---- Settings ---- */
int ztclient_set_setting(ztclient_t *client, uint32_t id, uint32_t option);

/* ---- Presets (the message answers: ztclient.hpp) ---- */
int ztclient_active_preset(ztclient_t *client, uint32_t *presetId);
int ztclient_active_group(ztclient_t *client, uint32_t *group);

/* ---- Media and date ---- */
typedef struct {
    uint16_t year;
    uint8_t month, day, hour, minute, second; /* UTC */
} ztclient_date_time_t;
int ztclient_get_date_time(ztclient_t *client, ztclient_date_time_t *dateTime);
int ztclient_set_date_time(ztclient_t *client, const ztclient_date_time_t *dateTime);
int ztclient_delete_file(ztclient_t *client, const char *name);
int ztclient_delete_last(ztclient_t *client);

/* ---- Wireless ---- */
int ztclient_wifi_ap(ztclient_t *client, int on);
int ztclient_wifi_band(ztclient_t *client, uint32_t band);
int ztclient_wifi_scan(ztclient_t *client, uint8_t *scanId);

/* ---- System ---- */
int ztclient_locate(ztclient_t *client, int on);
int ztclient_set_log_level(ztclient_t *client, uint32_t level);
int ztclient_sleep(ztclient_t *client);
int ztclient_shutdown(ztclient_t *client);
/* Switches the notifications of every TCP client of the daemon on or off. */
int ztclient_push_notifications(ztclient_t *client, int on);
/* Stops the daemon (ZTCONTROL_CMD_LAST; answered 0, then it exits). */
int ztclient_stop_daemon(ztclient_t *client);

/* ---- Notifications ---- */

typedef enum {
    ZTCLIENT_FULL_STATE = 1,       /* every status item and setting */
    ZTCLIENT_CHANGES = 2,          /* the items that changed */
    ZTCLIENT_SHUTDOWN_PENDING = 3, /* the camera is going off */
} ztclient_notification_kind_t;

/* One notification. items and text stay valid until the next
 * ztclient_watch_next or ztclient_watch_close on the watch. */
typedef struct {
    int kind; /* ztclient_notification_kind_t */
    size_t count;
    const ztclient_item_t *items;
    const char *text; /* the JSON text as the daemon sent it */
} ztclient_notification_t;

/* Connects to the daemon's notification port on 127.0.0.1 (0: 8081),
 * retrying a refused connection until the deadline (a daemon that is
 * starting), and switches socket notifications on through client, which
 * must outlive the watch. */
int ztclient_watch_tcp(ztclient_t *client, uint16_t port, unsigned deadlineMs,
                       ztclient_watch_t **watch);
/* Creates the event queue "<reply queue>_events" and registers it with the
 * daemon (ZTCONTROL_EVENT_REGISTER_MQUEUE); close unregisters and removes it.
 * One queue watch per client at a time. */
int ztclient_watch_queue(ztclient_t *client, unsigned deadlineMs, ztclient_watch_t **watch);
/* The same with the event queue `name` ("/name", created exclusively). */
int ztclient_watch_queue_as(ztclient_t *client, const char *name, unsigned deadlineMs,
                            ztclient_watch_t **watch);
/* The next notification within timeoutMs. ZTCLIENT_TIMEOUT when none came,
 * ZTCLIENT_CLOSED when the daemon dropped the connection,
 * ZTCLIENT_BAD_ANSWER for a malformed frame (text NULL) or a text of no
 * known shape (kind 0, text set). */
int ztclient_watch_next(ztclient_watch_t *watch, unsigned timeoutMs,
                        ztclient_notification_t *notification);
/* The descriptor to poll for readability (socket or queue), for event loops. */
int ztclient_watch_fd(const ztclient_watch_t *watch);
void ztclient_watch_close(ztclient_watch_t *watch);

/* Parses one notification text into items (stored up to capacity; *count
 * gets the number found). Returns the kind, or 0 when the text is not a
 * notification. */
int ztclient_parse_notification(const char *text, size_t length, ztclient_item_t *items,
                                size_t capacity, size_t *count);

#ifdef __cplusplus
}
#endif

#endif /* ZTCLIENT_H */
