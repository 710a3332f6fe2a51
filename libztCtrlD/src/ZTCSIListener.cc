#include "ZTCSIListener.h"

#include <string.h>

#include <initializer_list>

#include "Msg.h"
#include "utils.h"
#include "ztErrno.h"
#include "ztMbox.h"
#include "ztcArgs.h"
#include "ztcWire.h"

namespace {

constexpr uint32_t kMaxItems = 300;  // 300 * 4 bytes plus framing fits one message

class ScopedLock {
public:
    explicit ScopedLock(pthread_mutex_t *m) : m_mutex(m) { pthread_mutex_lock(m_mutex); }
    ~ScopedLock() { pthread_mutex_unlock(m_mutex); }
    ScopedLock(const ScopedLock &) = delete;
    ScopedLock &operator=(const ScopedLock &) = delete;

private:
    pthread_mutex_t *m_mutex;
};

// Parses a received CSI message; its header gives its length.
bool parseRaw(const char *message, Msg *msg)
{
    if (!message)
        return false;
    const uint8_t *p = reinterpret_cast<const uint8_t *>(message);
    const uint32_t length = (static_cast<uint32_t>(p[0]) << 8) | p[1];
    return length <= ZTC_MSG_MAX && msg->parse(p, length);
}

bool isCommand(const Msg &msg, const char *command)
{
    const MsgElement *cmd = msg.findElement(ZTC_EL_CMD);
    return cmd && cmd->getLength() >= 2 && memcmp(cmd->getData(), command, 2) == 0;
}

}  // namespace

ZTCSIListener *ZTCSIListener::GetInstance()
{
    // Never destroyed: the library's users may call it during exit.
    static ZTCSIListener *instance = new ZTCSIListener();
    return instance;
}

ZTCSIListener::ZTCSIListener()
{
    pthread_mutex_init(&m_mutex, nullptr);
}

ZTCSIListener::~ZTCSIListener()
{
    pthread_mutex_destroy(&m_mutex);
}

int ZTCSIListener::Init(bool verbose, const char *notifyQueue)
{
    ScopedLock lock(&m_mutex);
    m_verbose = verbose;
    m_notifyQueue = notifyQueue ? notifyQueue : ZTC_QUEUE_DAEMON;
    return 0;
}

int ZTCSIListener::send(const char *command, const uint8_t *args, uint32_t length)
{
    std::string source;
    {
        ScopedLock lock(&m_mutex);
        source = m_notifyQueue;
    }
    if (source.empty()) {
        ZTLOG(ZT_LOG_ERROR, "CSI listener used before Init");
        return ZT_ERR;
    }
    MsgElement cmd(ZTC_EL_CMD, command, 2), arg(ZTC_EL_CMDARG, args, static_cast<uint16_t>(length)),
        src(ZTC_EL_SRC, source.data(), static_cast<uint16_t>(source.size())),
        dst(ZTC_EL_DST, ZTC_QUEUE_CSI, sizeof ZTC_QUEUE_CSI - 1), end(ZTC_EL_END);
    Msg msg(ZTC_CAT_CSI_REQUEST);
    for (MsgElement *e : {&cmd, &arg, &src, &dst, &end})
        msg.addElement(e);
    uint8_t tx[ZTC_MSG_MAX];
    const uint32_t n = msg.serialize(tx, sizeof tx);
    if (n == 0)
        return ZT_ERR_INVALID_PARAM;

    ztattr_t handle;
    if (ztMbox_txopen(ZTC_QUEUE_CSI, &handle) != 0)
        return ZT_ERR_MQ_FAIL;
    const int rc = ztMbox_send(tx, n, &handle);
    // ztMbox_send drops a message to a full queue and still returns 0; the
    // depth it read tells the two apart.
    const bool dropped = handle.attr.mq_curmsgs >= handle.attr.mq_maxmsg;
    ztMbox_close(&handle);
    return (rc == 0 && !dropped) ? 0 : ZT_ERR_MQ_FAIL;
}

int ZTCSIListener::RegisterForCSINotifications(const uint32_t *items, uint32_t count)
{
    if (!items || count == 0 || count > kMaxItems)
        return ZT_ERR_INVALID_PARAM;
    uint8_t args[kMaxItems * 4];
    ZtcArgWriter w(args, sizeof args);
    for (uint32_t i = 0; i < count; ++i)
        w.u32(items[i]);
    const int rc = send(ZTC_CSI_SUBSCRIBE, w.data(), w.length());
    if (rc != 0)
        ZTLOG(ZT_LOG_ERROR, "CSI subscribe for %u items failed, %d", count, rc);
    return rc;
}

int ZTCSIListener::RegisterForCSINotifications(const std::vector<uint32_t> &items)
{
    return RegisterForCSINotifications(items.data(), static_cast<uint32_t>(items.size()));
}

int ZTCSIListener::HandleCSIMessage(char *message)
{
    Msg msg;
    if (!parseRaw(message, &msg)) {
        ZTLOG(ZT_LOG_ERROR, "Malformed CSI message ignored");
        return ZT_ERR_INVALID_PARAM;
    }
    if (isCommand(msg, ZTC_CSI_SUBSCRIBE_RESPONSE))
        return HandleSubscribeResponse(message);
    if (isCommand(msg, ZTC_CSI_SET_RESPONSE))
        return HandleSetResponse(message);
    const bool many = isCommand(msg, ZTC_CSI_NOTIFY_MANY);
    if (!many && !isCommand(msg, ZTC_CSI_NOTIFY))
        return ZT_ERR_INVALID_PARAM;
    const MsgElement *arg = msg.findElement(ZTC_EL_CMDARG);
    if (!arg || arg->getLength() < 8 || arg->getLength() % 8 != 0 ||
        (!many && arg->getLength() != 8)) {
        ZTLOG(ZT_LOG_ERROR, "CSI notification with %u argument bytes ignored",
              arg ? arg->getLength() : 0);
        return ZT_ERR_INVALID_PARAM;
    }
    ScopedLock lock(&m_mutex);
    if (m_suspended)
        return 0;
    ZtcArgReader r(arg->getData(), arg->getLength());
    while (r.remaining() >= 8) {
        const uint32_t id = r.u32(), value = r.u32();
        m_values[id] = value;
        if (m_verbose)
            ZTLOG(ZT_LOG_INFO, "CSI item %u = %u", id, value);
    }
    return 0;
}

int ZTCSIListener::HandleSubscribeResponse(char *message)
{
    Msg msg;
    if (!parseRaw(message, &msg) || !isCommand(msg, ZTC_CSI_SUBSCRIBE_RESPONSE))
        return ZT_ERR_INVALID_PARAM;
    const MsgElement *items = msg.findElement(ZTC_EL_CMDARG);
    const MsgElement *values = msg.findElement(ZTC_EL_RSPARG);
    if (!items || !values || items->getLength() % 4 != 0 ||
        items->getLength() != values->getLength()) {
        ZTLOG(ZT_LOG_ERROR, "Malformed CSI subscribe response ignored");
        return ZT_ERR_INVALID_PARAM;
    }
    ZtcArgReader ri(items->getData(), items->getLength());
    ZtcArgReader rv(values->getData(), values->getLength());
    ScopedLock lock(&m_mutex);
    while (ri.remaining() >= 4)
        m_values[ri.u32()] = rv.u32();
    if (m_verbose)
        ZTLOG(ZT_LOG_INFO, "CSI subscribed to %u items", items->getLength() / 4);
    return 0;
}

int ZTCSIListener::HandleSetResponse(char *message)
{
    Msg msg;
    if (!parseRaw(message, &msg) || !isCommand(msg, ZTC_CSI_SET_RESPONSE))
        return ZT_ERR_INVALID_PARAM;
    const MsgElement *arg = msg.findElement(ZTC_EL_CMDARG);
    if (!arg || arg->getLength() != 8) {
        ZTLOG(ZT_LOG_ERROR, "Malformed CSI set response ignored");
        return ZT_ERR_INVALID_PARAM;
    }
    ZtcArgReader r(arg->getData(), arg->getLength());
    const uint32_t id = r.u32(), value = r.u32();
    ScopedLock lock(&m_mutex);
    m_values[id] = value;
    return 0;
}

void ZTCSIListener::Suspend()
{
    ScopedLock lock(&m_mutex);
    m_suspended = true;
}

void ZTCSIListener::Resume()
{
    ScopedLock lock(&m_mutex);
    m_suspended = false;
}

bool ZTCSIListener::IsSuspended() const
{
    ScopedLock lock(&m_mutex);
    return m_suspended;
}

int ZTCSIListener::SetCSIValue(unsigned int id, unsigned int value)
{
    uint8_t args[8];
    ZtcArgWriter w(args, sizeof args);
    w.u32(id).u32(value);
    {
        ScopedLock lock(&m_mutex);
        m_values[id] = value;
    }
    const int rc = send(ZTC_CSI_SET, w.data(), w.length());
    if (rc != 0)
        ZTLOG(ZT_LOG_ERROR, "CSI set of item %u to %u failed, %d", id, value, rc);
    return rc;
}

bool ZTCSIListener::GetCSIValue(unsigned int id, unsigned int *value) const
{
    ScopedLock lock(&m_mutex);
    const auto it = m_values.find(id);
    if (it == m_values.end())
        return false;
    if (value)
        *value = it->second;
    return true;
}
