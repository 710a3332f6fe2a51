/* Result codes shared by the common library, the camera control library and
 * the daemon: 0 for success, a negative ZT_ERR_* code for failure, and their
 * printable names for the logs. The table is constant; any thread may use it.
 */
#ifndef ZT_ERRNO_H
#define ZT_ERRNO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t ztErrno;

/* Code -13 is not used. */
enum {
    ZT_OK = 0,
    ZT_ERR = -1,
    ZT_ERR_OUTOFMEM = -2,
    ZT_ERR_INVALID_PARAM = -3,
    ZT_ERR_INCOMPLETE_CGI_PARAM = -4,
    ZT_ERR_MQ_FAIL = -5,
    ZT_ERR_NO_SDCARD = -6,
    ZT_ERR_SDCARD_FULL = -7,
    ZT_ERR_CREATING_MISC_DIR = -8,
    ZT_ERR_UPLOADED_FILE = -9,
    ZT_ERR_FILE_OPEN = -10,
    ZT_ERR_FILE_READ = -11,
    ZT_ERR_FILE_WRITE = -12,
    ZT_ERR_REMOTE_FILE_OPEN = -14,
    ZT_ERR_REMOTE_FILE_READ = -15,
    ZT_ERR_REMOTE_FILE_WRITE = -16,
    ZT_ERR_ACCESS_DENIED = -17,
    ZT_ERR_DOWNLOAD_FAILED = -100,
    ZT_ERR_NAK = -101,
    ZT_ERR_RESPONSE_ALREADY_SENT = -102,
    ZT_ERR_NAK_OFF = -103,
    ZT_ERR_NOT_SUPPORTED = -104,
};

/* One row of the name table. */
typedef struct {
    const char *name;
    ztErrno code;
} ztErrnoStr_t;

#define ZT_ERRNO_STR_MAP_LEN 22

/* The name table, searched in order by ztErrno2Str. */
extern const ztErrnoStr_t ztErrnoStrMap[ZT_ERRNO_STR_MAP_LEN];

/* Returns the static name of code ("ZT_ERR_NAK_OFF"), or "UNKNOWN". */
const char *ztErrno2Str(int code);

#ifdef __cplusplus
}
#endif

#endif /* ZT_ERRNO_H */
