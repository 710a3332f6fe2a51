// Command server lifecycle: the singleton, opening and closing the queues,
// the worker thread and its loop, and shutdown.
#include "ztcontrol_if_server.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>

#include "ztErrno.h"
#include "utils.h"

ZtcontrolCommandServer *ZtcontrolCommandServer::m_pInstance = nullptr;
ztc_msg_q_context_t ZtcontrolCommandServer::m_cameraContext = {nullptr, (mqd_t)-1, (mqd_t)-1, 0};

// Camera-state items whose changes the library's listener reports to us.
static const uint32_t kCsiNotifyItems[] = {7, 151, 152, 143, 138};

ZtcontrolCommandServer *ZtcontrolCommandServer::getInstance()
{
    if (!m_pInstance)
        m_pInstance = new ZtcontrolCommandServer();
    return m_pInstance;
}

void ZtcontrolCommandServer::destroy()
{
    delete m_pInstance;
    m_pInstance = nullptr;
}

ZtcontrolCommandServer::ZtcontrolCommandServer()
{
    pthread_mutex_init(&m_commandMutex, nullptr);
    if (pthread_mutex_init(&m_clientsMutex, nullptr) != 0)
        ZTLOG(ZT_LOG_ERROR, " mutex init failed");
}

// Runs after shutdown(): the worker is gone and the queues are closed.
ZtcontrolCommandServer::~ZtcontrolCommandServer()
{
    // The timer's callback (stopEdit) takes m_commandMutex: its thread must
    // be gone before the mutex is destroyed below.
    m_edit.stopTimer();
    dropAllClients();
    pthread_mutex_destroy(&m_clientsMutex);
    pthread_mutex_destroy(&m_commandMutex);
}

// Creates a queue the server owns and reads: "/to_ztCtlD" or "/to_ztCtlD2".
// Whatever is found under the name is not ours to serve: a queue another
// user created before the daemon started (any size, depth and mode they
// chose) or one a crashed run left behind, stale commands still waiting in
// it. It is removed and the queue is created afresh, exclusively, with the
// daemon's size, depth and mode. The mode is set on the descriptor after
// creation, as the umask could have narrowed or widened it: owner and group
// only, so only services of the daemon's group can send to or read from it.
static mqd_t openOwnQueue(const char *name)
{
    if (mq_unlink(name) == 0)
        ZTLOG(ZT_LOG_ERROR, "Removed a queue '%s' that was already there", name);
    struct mq_attr attr = {};
    attr.mq_flags = 0;
    attr.mq_maxmsg = ZtcontrolCommandServer::kQueueDepth;
    attr.mq_msgsize = ZTMSG_MAX;
    mqd_t q = mq_open(name, O_RDONLY | O_CREAT | O_EXCL, 0660, &attr);
    if (q == (mqd_t)-1) {
        ZTLOG(ZT_LOG_ERROR, "mq_open() failed for '%s': %s", name, strerror(errno));
        return q;
    }
    if (fchmod(q, 0660) != 0) {
        ZTLOG(ZT_LOG_ERROR, "Cannot set the mode of queue '%s': %s", name, strerror(errno));
        mq_close(q);
        mq_unlink(name);
        return (mqd_t)-1;
    }
    return q;
}

int ZtcontrolCommandServer::interfaceOpen()
{
    if (m_cmdQueue != (mqd_t)-1) {
        ZTLOG(ZT_LOG_ERROR, "Interface must be closed before reuse!");
        return -1;
    }
    m_cmdQueue = openOwnQueue(kCommandQueueName);
    if (m_cmdQueue == (mqd_t)-1) {
        interfaceClose();
        return -1;
    }
    mqd_t reply = openOwnQueue(kReplyQueueName);
    if (reply == (mqd_t)-1) {
        interfaceClose();
        return -1;
    }
    m_cameraContext.reply_queue_name = kReplyQueueName;
    m_cameraContext.reply_queue = reply;

    // The firmware side creates "/to_ztnet"; it may still be starting.
    mqd_t request = (mqd_t)-1;
    for (int left = 5; left > 0; --left) {
        request = mq_open(kRequestQueueName, O_WRONLY);
        if (request != (mqd_t)-1)
            break;
        ZTLOG(ZT_LOG_ERROR, "mq_open() failed for '%s': %s, Retrying %d", kRequestQueueName,
              strerror(errno), left);
    }
    if (request == (mqd_t)-1) {
        ZTLOG(ZT_LOG_ERROR, "mq_open() failed for '%s': %s", kRequestQueueName, strerror(errno));
        interfaceClose();
        return -1;
    }
    m_cameraContext.request_queue = request;
    m_rxBuffer = new uint8_t[ZTMSG_MAX];
    m_txBuffer = new uint8_t[ZTMSG_MAX];
    m_answerBuffer = new uint8_t[ZTMSG_MAX];

    ztc_select_protocol_adapter(GetCameraModel());
    m_interfaceOpen = true;
    m_cameraContext.option = 0;
    ZTLOG(ZT_LOG_INFO, "Interface Opened");
    return 0;
}

int ZtcontrolCommandServer::interfaceClose()
{
    if (m_cmdQueue != (mqd_t)-1) {
        mq_close(m_cmdQueue);
        mq_unlink(kCommandQueueName);
        m_cmdQueue = (mqd_t)-1;
    }
    if (m_cameraContext.reply_queue != (mqd_t)-1) {
        mq_close(m_cameraContext.reply_queue);
        mq_unlink(kReplyQueueName);
    }
    if (m_cameraContext.request_queue != (mqd_t)-1)
        mq_close(m_cameraContext.request_queue);
    memset(&m_cameraContext, 0, sizeof(m_cameraContext));
    m_cameraContext.request_queue = (mqd_t)-1;
    m_cameraContext.reply_queue = (mqd_t)-1;
    delete[] m_rxBuffer;
    delete[] m_txBuffer;
    delete[] m_answerBuffer;
    m_rxBuffer = nullptr;
    m_txBuffer = nullptr;
    m_answerBuffer = nullptr;
    return 0;
}

int ZtcontrolCommandServer::start()
{
    if (interfaceOpen() != 0) {
        ZTLOG(ZT_LOG_ERROR, "interfaceOpen failed %d", -1);
        return -1;
    }
    // The worker may hand CSI traffic to the listener as soon as it runs.
    m_csiListener = ZTCSIListener::GetInstance();
    ZTLOG(ZT_LOG_INFO, "Creating main worker thread");
    int rc = pthread_create(&m_workerThread, nullptr, threadLoop, this);
    if (rc != 0) {
        ZTLOG(ZT_LOG_ERROR, "pthread_create error, %d", rc);
        return -1;
    }
    m_workerStarted = true;
    m_csiListener->Init(false, kCommandQueueName);
    m_csiListener->RegisterForCSINotifications(
        kCsiNotifyItems, sizeof(kCsiNotifyItems) / sizeof(kCsiNotifyItems[0]));
    return rc;
}

void *ZtcontrolCommandServer::threadLoop(void *self)
{
    static_cast<ZtcontrolCommandServer *>(self)->runLoop();
    return nullptr;
}

void ZtcontrolCommandServer::runLoop()
{
    {
        // A stop requested before the thread got here must win.
        Lock hold(m_commandMutex);
        if (m_stopRequested.load())
            return;
        m_running.store(true);
        m_workerHasRun.store(true);
    }
    ZTLOG(ZT_LOG_DEBUG, "Command handling thread running!");

    Msg request(CAT_CLIENT_CMD);
    bool statusInitialised = false;
    bool timedOut = false;
    while (m_running.load() && !m_stopRequested.load()) {
        if (!m_suspended)
            pollStatusSettingsAndNotify();
        request.clear();
        ztcontrol_command_t command = ZTCONTROL_EVENT_REGISTER_MQUEUE;
        if (!receiveMsg(request, command, kReceiveTimeoutMs, timedOut)) {
            if (!statusInitialised && timedOut) {
                initializeStatusVariables();
                statusInitialised = true;
            }
            continue;
        }
        ZTLOG(ZT_LOG_INFO, "Received message");
        if (!m_suspended) {
            handleCommand(request, command);
        } else {
            ZTLOG(ZT_LOG_ERROR, "ztcontrol server: MSG nak-ed because of suspend! (cmd %d)",
                  (int)command);
            nakMsg(request);
        }
    }
    ZTLOG(ZT_LOG_DEBUG, "Command handling thread exiting!");
}

int ZtcontrolCommandServer::shutdown()
{
    {
        Lock hold(m_commandMutex);
        m_stopRequested.store(true);
        m_running.store(false);
    }
    if (m_workerStarted) {
        pthread_join(m_workerThread, nullptr);
        m_workerStarted = false;
    }
    // The worker is gone and the caller is the main thread: no lock needed.
    dropAllClients();
    interfaceClose();
    return 0;
}

void ZtcontrolCommandServer::dropAllClients()
{
    for (NotificationClient *client : m_notificationClients)
        delete client;
    m_notificationClients.clear();
}
