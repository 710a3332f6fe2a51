// The daemon's one command server: owns the command queue "/to_ztCtlD", the
// camera control library's queues, the worker thread that receives and
// carries out every request, the answer path and the notification clients.
//
// Threads: the main thread calls getInstance, start, isRunning, shutdown,
// destroy, addNotificationClient, watchSocketClients and
// serviceSocketClients; everything else runs on the worker thread
// (receiving, classifying, handleCommand, answers, events, polling).
// The worker timer's callback takes m_commandMutex. Lock order:
// m_commandMutex before m_clientsMutex; nothing takes m_commandMutex while
// holding m_clientsMutex.
#ifndef ZTCONTROL_IF_SERVER_H
#define ZTCONTROL_IF_SERVER_H

#include <mqueue.h>
#include <poll.h>
#include <pthread.h>
#include <stdint.h>
#include <sys/time.h>

#include <atomic>
#include <sstream>
#include <string>
#include <vector>

#include "Msg.h"
#include "ZeltoTimer.h"
#include "camera_status.h"
#include "ZTCSIListener.h"
#include "ztCtrlD.h"
#include "ztErrno.h"
#include "ztPushClient.h"
#include "CameraState.h"
#include "CommandHandler.h"
#include "NotificationRegistry.h"
#include "PresetEditScope.h"
#include "ztcontrol_commands.h"

struct appc_presets_settings_info;

// Shared element objects of outgoing messages. Every source file that includes
// this header gets its own four, built by static initialisation: the result
// (0xEC), command ('A'), payload ('E') and end (0xEE, empty) elements. A
// message built from them only borrows them; each sender sets their data just
// before use, so they belong to the one thread that builds that file's
// messages (the worker thread for answers and notifications).
[[maybe_unused]] static MsgElement s_resultElement(TLV_RESULT);
[[maybe_unused]] static MsgElement s_commandElement(TLV_CMD);
[[maybe_unused]] static MsgElement s_payloadElement(TLV_RSPARG);
[[maybe_unused]] static MsgElement s_endElement(TLV_END);

class ZtcontrolCommandServer : public NotificationRegistry {
public:
    // A scoped holder of a pthread mutex: locks on construction, unlocks on
    // destruction, so every return path releases it.
    class Lock {
    public:
        explicit Lock(pthread_mutex_t &mutex) : m_mutex(mutex) { pthread_mutex_lock(&m_mutex); }
        virtual ~Lock() { pthread_mutex_unlock(&m_mutex); }
        Lock(const Lock &) = delete;
        Lock &operator=(const Lock &) = delete;

    private:
        pthread_mutex_t &m_mutex;
    };

    // Fixed names and sizes of the server's queues.
    static constexpr const char *kCommandQueueName = "/to_ztCtlD";
    static constexpr const char *kReplyQueueName = "/to_ztCtlD2";
    static constexpr const char *kRequestQueueName = "/to_ztnet";
    static constexpr long kQueueDepth = 5;
    static constexpr unsigned kReceiveTimeoutMs = 500;
    static constexpr uint8_t kDefaultModel = 57;
    static constexpr size_t kMaxClients = 10;
    // A newcomer to a full registry may take the slot of the oldest client
    // that has never been resumed, once that client has had this long to
    // resume. Without the grace, clients connecting together (say after
    // the radio link came back) would push each other out before any of
    // them could resume.
    static constexpr int kResumeGraceSeconds = 10;
    // Largest answer payload sent without the size warning.
    static constexpr unsigned kPayloadWarnLength = 1400;

    // The instance, constructed on first use. The first call comes from main
    // before any other thread exists, so it takes no lock.
    static ZtcontrolCommandServer *getInstance();
    // Destroys the instance; must follow shutdown().
    static void destroy();

    bool isRunning() const { return m_running.load(); }
    // True once the worker has reached its loop, and still after it left it:
    // with isRunning() false, the worker was stopped, not slow to start.
    bool workerHasRun() const { return m_workerHasRun.load(); }
    void setRunning(bool running) { m_running.store(running); }

    // Opens the three queues and allocates the buffers; 0 or -1.
    int interfaceOpen();
    // Closes and unlinks what interfaceOpen opened; always 0.
    int interfaceClose();
    // Opens the interface, starts the worker thread and registers the CSI
    // listener; 0 or -1.
    int start();
    // Stops the worker (also one that has not reached its loop yet), joins
    // it, drops every client and closes the interface; always 0.
    int shutdown();

    static void *threadLoop(void *self);

    // Waits up to timeoutMs for one message and classifies it. True only
    // when request and command hold a client command for handleCommand.
    bool receiveMsg(Msg &request, ztcontrol_command_t &command, unsigned int timeoutMs,
                    bool &timedOut);
    // Runs one client command and answers it exactly once (not at all when
    // the interface is closed). The result is not used by the loop.
    int handleCommand(Msg &request, ztcontrol_command_t command);
    // Answers request with result and an optional payload on the requester's
    // queue, without ever blocking on it. True when the answer was queued.
    bool sendResponse(Msg &request, int result, const void *payload, unsigned short payloadLength);
    // Answers request with result 1 and no payload; always true.
    bool nakMsg(Msg &request);
    // Enters the suspended state: no polling, commands refused, clients
    // dropped.
    void prepareForSuspend();

    // The camera model number, read once and cached (57 while unreadable).
    static unsigned char GetCameraModel() { return CameraState::GetCameraModel(); }

    // Registry of notification clients. addNotificationClient takes
    // ownership of client when it returns true (at most kMaxClients; a full
    // registry first drops clients that are gone, then gives the slot of the
    // oldest client never resumed within kResumeGraceSeconds); the caller
    // keeps it otherwise. Must not be called with m_clientsMutex held.
    bool addNotificationClient(NotificationClient *client) override;
    int ConfigureSocketNotifications(unsigned char *params) override;
    int registerQueueClient(const std::string &queueName) override;
    void unregisterQueueClient(const std::string &queueName) override;
    // Which clients one delivery walk offers a message to.
    enum class Recipients { NotNew, OnlyNew, All };
    // Offers message to the chosen clients in list order; a client whose
    // delivery fails is destroyed and removed, the others keep their order.
    // Returns the number of clients removed. m_clientsMutex must be held
    // (the worker thread); a test without a running worker may call it bare.
    size_t deliverToClients(NotificationClient::eNotificationType_t type,
                            std::stringstream &message, Recipients recipients);
    // The notification listener's watch over the socket clients (main
    // thread, each takes m_clientsMutex). watchSocketClients appends one
    // entry per socket client: readable always, writable as well while the
    // client has a backlog. serviceSocketClients, given those entries after
    // a poll, discards what clients sent, drops those whose connection
    // ended or failed, and flushes the backlogs that can move. Entries are
    // matched to clients by descriptor; others (the listener) are ignored.
    void watchSocketClients(std::vector<pollfd> &watch);
    void serviceSocketClients(const std::vector<pollfd> &watch);
    // Number of registered clients, and of those not paused.
    size_t clientCount();
    size_t activeClientCount();

    // Status polling of the worker loop.
    void pollStatusSettingsAndNotify();
    void initializeStatusVariables();

    // The library's queue context, first argument of every ztc_* call.
    static ztc_msg_q_context_t m_cameraContext;

private:
    ZtcontrolCommandServer();
    ~ZtcontrolCommandServer();
    ZtcontrolCommandServer(const ZtcontrolCommandServer &) = delete;
    ZtcontrolCommandServer &operator=(const ZtcontrolCommandServer &) = delete;

    void runLoop();
    // Receive-side checks and the kinds of message classification tells apart.
    bool framingIsSound(const uint8_t *buffer, ssize_t length);
    void handleCsiEvent(const uint8_t *command);
    void handleSuspendResume();
    void handlePresetUpdate();
    void onPresetModified(uint8_t event, uint32_t id);
    void onPresetSwitched(uint32_t id);
    bool classifyClientCommand(ssize_t length, Msg &request, ztcontrol_command_t &command);
    // Sends bytes to the named queue without blocking; logs failures.
    bool postToRequester(const char *queueName, const uint8_t *bytes, uint32_t length);
    void dropAllClients();

    static ZtcontrolCommandServer *m_pInstance;

    // Worker-thread state of the message loop.
    ZTCSIListener *m_csiListener = nullptr;
    mqd_t m_cmdQueue = (mqd_t)-1;
    uint8_t *m_rxBuffer = nullptr;  // ZTMSG_MAX bytes while open
    uint8_t *m_txBuffer = nullptr;  // ZTMSG_MAX bytes while open
    pthread_t m_workerThread{};
    bool m_workerStarted = false;
    std::atomic<bool> m_running{false};
    // Set after m_running on entering the loop, never cleared.
    std::atomic<bool> m_workerHasRun{false};
    // Set by shutdown so a worker that has not reached its loop yet does not
    // enter it: m_running alone would be overwritten by the loop's start.
    std::atomic<bool> m_stopRequested{false};
    bool m_interfaceOpen = false;
    bool m_suspended = false;
    pthread_mutex_t m_commandMutex;

    // Registry; guarded by m_clientsMutex. In the order the clients came,
    // the oldest first.
    std::vector<NotificationClient *> m_notificationClients;
    pthread_mutex_t m_clientsMutex;
    // Frees a slot of a full registry, m_clientsMutex held: drops the
    // clients that are gone, then if need be the oldest client never
    // resumed within its grace. True when there is room.
    bool makeRoom();

    // What the daemon knows of the camera, and the preset edits of the
    // commands (its zoom timer takes m_commandMutex); worker thread, under
    // m_commandMutex. Declared after m_commandMutex, which they use.
    CameraState m_state{m_cameraContext};
    PresetEditScope m_edit{m_cameraContext, m_state, m_commandMutex};
    // ZTMSG_MAX bytes for handlers' answers while open.
    uint8_t *m_answerBuffer = nullptr;

    // --- Status polling (ztcontrol_if_server_status*.cpp). Worker thread
    // only, under m_commandMutex.
    // True when some registered client is not paused (takes m_clientsMutex).
    bool anyClientListening();
    // The change body of a pass: the throttled and per-pass status changes
    // and the settings changes against the caches, which it then updates.
    std::string buildChangeBody(const all_status_settings_t &block, uint8_t model);

    all_status_settings_t m_statusCache{};       // block of the last complete pass
    all_status_settings_t m_throttleSnapshot{};  // block at the last class-2 comparison
    struct timeval m_lastThrottleTime {};        // both zero: never compared
    camera_status_boss_cache_t m_bossCache{};
};

#endif  // ZTCONTROL_IF_SERVER_H
