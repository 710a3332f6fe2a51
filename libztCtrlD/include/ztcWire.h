// Constants of the firmware link: the queues, message categories and element
// types that the camera control library, the firmware simulator and test
// peers exchange. docs/firmware-link.md describes the messages in full.
#ifndef ZTC_WIRE_H
#define ZTC_WIRE_H

#include <stdint.h>

// Queue names.
#define ZTC_QUEUE_FIRMWARE "/to_ztnet"  // library requests, read by the firmware side
#define ZTC_QUEUE_REPLY "/to_ztCtlD2"   // firmware answers, read by the library
#define ZTC_QUEUE_CSI "/to_csi"         // CSI requests, read by the CSI service
#define ZTC_QUEUE_DAEMON "/to_ztCtlD"   // daemon commands and events

#define ZTC_MSG_MAX 1500            // largest message on any queue
#define ZTC_ANSWER_TIMEOUT_MS 1000  // every wait for a firmware or CSI answer

// Message categories (byte 3 of the header).
enum {
    ZTC_CAT_PRESET_EVENT = 10,  // "PU" from the firmware side
    ZTC_CAT_SYS_REQUEST = 16,   // "JS" / "JR"
    ZTC_CAT_CSI_EVENT = 17,     // CSI traffic to the daemon; answers to 16
    ZTC_CAT_CLIENT_REQUEST = 20,
    ZTC_CAT_CLIENT_ANSWER = 21,
    ZTC_CAT_CLIENT_EVENT = 22,
    ZTC_CAT_LIB_REQUEST = 24,  // library request on "/to_ztnet"
    ZTC_CAT_LIB_ANSWER = 25,   // its answer on the reply queue
    ZTC_CAT_CSI_REQUEST = 26,  // to "/to_csi"
    ZTC_CAT_CSI_ANSWER = 27,   // answer to a CSI get
};

// Element types.
enum {
    ZTC_EL_CMD = 'A',
    ZTC_EL_CMDARG = 'B',
    ZTC_EL_DST = 'C',
    ZTC_EL_SRC = 'D',
    ZTC_EL_RSPARG = 'E',
    ZTC_EL_SEQ = 'S',      // u32 sequence number of a library request
    ZTC_EL_OPTION = 'W',   // the context's option byte
    ZTC_EL_RESULT = 0xEC,  // i32 status
    ZTC_EL_END = 0xEE,
};

// Two-character kinds of library requests (element 'A').
#define ZTC_KIND_REMOTE "RA"  // firmware operation (category, identifier)
#define ZTC_KIND_TYPED "TC"   // typed call, named by its C function name
#define ZTC_KIND_AUXMOD "AX"  // accessory-module command

// CSI commands (element 'A' of CSI traffic).
#define ZTC_CSI_GET "CG"
#define ZTC_CSI_SET "CW"
#define ZTC_CSI_SUBSCRIBE "CB"
#define ZTC_CSI_SUBSCRIBE_RESPONSE "CR"
#define ZTC_CSI_SET_RESPONSE "CI"
#define ZTC_CSI_NOTIFY "CN"
#define ZTC_CSI_NOTIFY_MANY "CU"

// CSI items with a fixed meaning in this project.
enum {
    ZTC_CSI_MODEL_NUMBER = 1,
    ZTC_CSI_PRESET_CHANGE = 7,
    ZTC_CSI_LOG_FLAGS = 123,
    ZTC_CSI_STABILIZER_LEVEL = 157,
};

#endif  // ZTC_WIRE_H
