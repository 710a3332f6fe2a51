// CSI reads (csi_get) through a private reply mailbox per call, and the
// model number and protocol adapter, which are read from the CSI.
#include "csi.h"

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <initializer_list>

#include "Msg.h"
#include "utils.h"
#include "ztCtrlD.h"
#include "ztErrno.h"
#include "ztMbox.h"
#include "ztcArgs.h"
#include "ztcLink.h"
#include "ztcWire.h"

namespace {

std::atomic<uint32_t> g_replyCounter{0};
std::atomic<int> g_adapterModel{0};

// Posts `msg` to "/to_csi". False when the service is missing or its queue
// is full (the mailbox layer drops the message then).
bool postToCsi(const Msg &msg)
{
    uint8_t tx[ZTC_MSG_MAX];
    const uint32_t n = msg.serialize(tx, sizeof tx);
    if (n == 0)
        return false;
    ztattr_t handle;
    if (ztMbox_txopen(ZTC_QUEUE_CSI, &handle) != 0)
        return false;
    const int rc = ztMbox_send(tx, n, &handle);
    const bool dropped = handle.attr.mq_curmsgs >= handle.attr.mq_maxmsg;
    ztMbox_close(&handle);
    return rc == 0 && !dropped;
}

// Waits for the "CG" answer about `item` until the deadline; the answer's
// parsed form is left in `answer`.
bool awaitAnswer(ztattr_t *mailbox, uint32_t item, int64_t deadlineMs, Msg *answer)
{
    uint8_t rx[ZTC_MSG_MAX];
    for (;;) {
        const int64_t left = deadlineMs - ztc::monotonicMs();
        if (left <= 0)
            return false;
        timespec timeout = {static_cast<time_t>(left / 1000),
                            static_cast<long>(left % 1000) * 1000000L};
        const int n = zt_mq_timedreceive2(mailbox->mqd, reinterpret_cast<char *>(rx), sizeof rx,
                                          nullptr, &timeout);
        if (n < 0)
            return false;
        if (!answer->parse(rx, static_cast<uint32_t>(n)))
            continue;
        const MsgElement *cmd = answer->findElement(ZTC_EL_CMD);
        const MsgElement *arg = answer->findElement(ZTC_EL_CMDARG);
        const MsgElement *result = answer->findElement(ZTC_EL_RESULT);
        if (answer->getCategory() == ZTC_CAT_CSI_ANSWER && cmd && cmd->getLength() == 2 &&
            memcmp(cmd->getData(), ZTC_CSI_GET, 2) == 0 && arg && arg->getLength() >= 4 &&
            arg->getUInt32() == item && result && result->getLength() == 4)
            return true;
        ZTLOG(ZT_LOG_DEBUG, "csi_get: discarding an unrelated %d-byte message", n);
    }
}

}  // namespace

extern "C" int csi_get(uint32_t item, uint32_t size, uint32_t *status, uint32_t *result)
{
    if (!result || size < 1 || size > 4)
        return ZT_ERR_INVALID_PARAM;

    char replyName[48];
    snprintf(replyName, sizeof replyName, "/ztc_csi_%d_%u", static_cast<int>(getpid()),
             g_replyCounter.fetch_add(1));
    uint8_t argBytes[8];
    ZtcArgWriter args(argBytes, sizeof argBytes);
    args.u32(item).u32(size);
    MsgElement cmd(ZTC_EL_CMD, ZTC_CSI_GET, 2), arg(ZTC_EL_CMDARG, argBytes, 8),
        src(ZTC_EL_SRC, replyName, static_cast<uint16_t>(strlen(replyName))),
        dst(ZTC_EL_DST, ZTC_QUEUE_CSI, sizeof ZTC_QUEUE_CSI - 1), end(ZTC_EL_END);
    Msg request(ZTC_CAT_CSI_REQUEST);
    for (MsgElement *e : {&cmd, &arg, &src, &dst, &end})
        request.addElement(e);

    // The service must exist before a reply mailbox is made for it.
    ztattr_t probe;
    if (ztMbox_txopen(ZTC_QUEUE_CSI, &probe) != 0) {
        ZTLOG(ZT_LOG_ERROR, "csi_get(%u): no CSI service", item);
        return ZT_ERR_MQ_FAIL;
    }
    ztMbox_close(&probe);

    ztattr_t mailbox;
    mq_unlink(replyName);  // a leftover of a crashed process with a recycled pid
    if (ztMbox_rxopen_ext(replyName, 2, ZTC_MSG_MAX, &mailbox) != 0)
        return ZT_ERR_MQ_FAIL;
    const int64_t deadline = ztc::monotonicMs() + ZTC_ANSWER_TIMEOUT_MS;
    int rc = ZT_ERR_MQ_FAIL;
    Msg answer;
    if (postToCsi(request) && awaitAnswer(&mailbox, item, deadline, &answer)) {
        const int32_t answerStatus =
            static_cast<int32_t>(answer.findElement(ZTC_EL_RESULT)->getUInt32());
        if (status)
            *status = static_cast<uint32_t>(answerStatus);
        const MsgElement *value = answer.findElement(ZTC_EL_RSPARG);
        if (answerStatus != 0) {
            rc = answerStatus;
        } else if (!value || value->getLength() == 0) {
            rc = ZT_ERR;
        } else {
            uint32_t v = 0;
            const uint16_t n = value->getLength() < size ? value->getLength() : size;
            for (uint16_t i = 0; i < n; ++i)
                v |= static_cast<uint32_t>(value->getData()[i]) << (8 * i);
            *result = v;
            rc = 0;
        }
    } else {
        ZTLOG(ZT_LOG_ERROR, "csi_get(%u): no answer from the CSI service", item);
    }
    ztMbox_close(&mailbox);
    mq_unlink(replyName);
    return rc;
}

extern "C" int ztc_state_get_model_number(uint8_t *model)
{
    if (!model)
        return ZT_ERR_INVALID_PARAM;
    uint32_t value = 0;
    const int rc = csi_get(ZTC_CSI_MODEL_NUMBER, 1, nullptr, &value);
    if (rc != 0)
        return rc;
    *model = static_cast<uint8_t>(value);
    return 0;
}

extern "C" int ztc_select_protocol_adapter(int model)
{
    g_adapterModel.store(model);
    ZTLOG(ZT_LOG_INFO, "Protocol adapter selected for model %d", model);
    return 0;
}
