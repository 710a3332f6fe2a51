// Firmware operations ("RA") and accessory-module commands ("AX").
#include <string.h>

#include "ztErrno.h"
#include "ztcArgs.h"
#include "ztcLink.h"
#include "ztcWire.h"

namespace {

// 'B' of an "RA" request: category, identifier, payload.
int remote(ztc_msg_q_context_t *ctx, uint8_t category, uint8_t id, const void *payload,
           uint16_t payloadLength, uint8_t **answer, uint16_t *answerLength)
{
    if (payloadLength && !payload)
        return ZT_ERR_INVALID_PARAM;
    uint8_t arg[ZTC_MSG_MAX];
    ZtcArgWriter w(arg, sizeof arg);
    w.u8(category).u8(id).bytes(payload, payloadLength);
    if (!w.ok())
        return ZT_ERR_INVALID_PARAM;

    ztc::LinkLock lock;
    ztc::Answer a;
    const int rc = ztc::exchange(ctx, ZTC_KIND_REMOTE, w.data(), w.length(), &a);
    if (rc != 0)
        return rc;
    if (a.status == 0)
        ztc::deliver(a, answer, answerLength);
    return a.status;
}

}  // namespace

extern "C" {

int ztc_send_simple_remote_api(ztc_msg_q_context_t *ctx, uint8_t category, uint8_t id)
{
    return remote(ctx, category, id, nullptr, 0, nullptr, nullptr);
}

int ztc_send_remote_api_payload(ztc_msg_q_context_t *ctx, uint8_t category, uint8_t id,
                                const void *payload, uint16_t payloadLength)
{
    return remote(ctx, category, id, payload, payloadLength, nullptr, nullptr);
}

int ztc_send_remote_api_for_response(ztc_msg_q_context_t *ctx, uint8_t category, uint8_t id,
                                     uint8_t **answer, uint16_t *answerLength)
{
    return remote(ctx, category, id, nullptr, 0, answer, answerLength);
}

int ztc_send_remote_api_payload_response(ztc_msg_q_context_t *ctx, uint8_t category, uint8_t id,
                                         const void *payload, uint16_t payloadLength,
                                         uint8_t **answer, uint16_t *answerLength)
{
    return remote(ctx, category, id, payload, payloadLength, answer, answerLength);
}

int ztc_send_auxmod_command(ztc_msg_q_context_t *ctx, const char *command, const void *payload,
                            uint16_t payloadLength, uint8_t **answer, uint16_t *answerLength)
{
    if (!command || strnlen(command, 3) != 2 || (payloadLength && !payload))
        return ZT_ERR_INVALID_PARAM;
    uint8_t arg[ZTC_MSG_MAX];
    ZtcArgWriter w(arg, sizeof arg);
    w.bytes(command, 2).bytes(payload, payloadLength);
    if (!w.ok())
        return ZT_ERR_INVALID_PARAM;

    ztc::LinkLock lock;
    ztc::Answer a;
    const int rc = ztc::exchange(ctx, ZTC_KIND_AUXMOD, w.data(), w.length(), &a);
    if (rc != 0)
        return rc;
    if (a.status == 0)
        ztc::deliver(a, answer, answerLength);
    return a.status;
}

}  // extern "C"
