// The daemon's one command server: owns the command queue "/to_ztCtlD", the
// camera control library's queues, the worker thread that receives and
// carries out every request, the answer path and the notification clients.
//
// Threads: the main thread calls getInstance, start, isRunning, shutdown,
// destroy and addNotificationClient; everything else runs on the worker
// thread (receiving, classifying, handleCommand, answers, events, polling).
// The worker timer's callback takes m_commandMutex. Lock order:
// m_commandMutex before m_clientsMutex; nothing takes m_commandMutex while
// holding m_clientsMutex.
#ifndef ZTCONTROL_IF_SERVER_H
#define ZTCONTROL_IF_SERVER_H

#include <mqueue.h>
#include <pthread.h>
#include <stdint.h>

#include <atomic>
#include <sstream>
#include <vector>

#include "Msg.h"
#include "ZeltoTimer.h"
#include "ZTCSIListener.h"
#include "ztCtrlD.h"
#include "ztErrno.h"
#include "ztPushClient.h"
#include "ztcontrol_commands.h"

class ZtcontrolCommandServer {
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
    // Largest answer payload sent without the size warning.
    static constexpr unsigned kPayloadWarnLength = 1400;

    // The instance, constructed on first use. The first call comes from main
    // before any other thread exists, so it takes no lock.
    static ZtcontrolCommandServer *getInstance();
    // Destroys the instance; must follow shutdown().
    static void destroy();

    bool isRunning() const { return m_running.load(); }
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
    bool sendResponse(Msg &request, int result, void *payload, unsigned short payloadLength);
    // Answers request with result 1 and no payload; always true.
    bool nakMsg(Msg &request);
    // Enters the suspended state: no polling, commands refused, clients
    // dropped.
    void prepareForSuspend();

    // The camera model number, read once and cached (57 while unreadable).
    static unsigned char GetCameraModel();

    // Registry of notification clients. addNotificationClient takes
    // ownership of client when it returns true (at most kMaxClients); the
    // caller keeps it otherwise. Must not be called with m_clientsMutex held.
    bool addNotificationClient(NotificationClient *client);
    // Applies a "status=0|1" parameter text to every socket client;
    // ZT_OK or ZT_ERR_INVALID_PARAM.
    int ConfigureSocketNotifications(unsigned char *params);
    // Offers one message to every client; a client whose delivery fails is
    // destroyed and removed, the others keep their order. Returns the number
    // of clients removed. Worker thread, m_commandMutex held.
    size_t notifyClients(NotificationClient::eNotificationType_t type, std::stringstream &message);
    // Number of registered clients, and of those not paused.
    size_t clientCount();
    size_t activeClientCount();

    // Names of the firmware's preset events for the logs ("unknown" when
    // out of range).
    static const char *PresetEventText(uint8_t event);
    // Base group (0 video, 1 photo, 2 time lapse) of a firmware preset group;
    // other groups are returned unchanged.
    static int RemapPresetGroup(int group);

    // Status polling of the worker loop.
    void pollStatusSettingsAndNotify();
    void initializeStatusVariables();

    // The library's queue context, first argument of every ztc_* call.
    static ztc_msg_q_context_t m_cameraContext;

private:
    // What a command branch left for the epilogue: its result code, whether
    // it already answered (with data), and whether a failure is expected
    // enough to need no error line.
    struct CommandOutcome {
        int code = ZT_OK;
        bool answered = false;
        bool quiet = false;
    };

    ZtcontrolCommandServer();
    ~ZtcontrolCommandServer();
    ZtcontrolCommandServer(const ZtcontrolCommandServer &) = delete;
    ZtcontrolCommandServer &operator=(const ZtcontrolCommandServer &) = delete;

    void runLoop();
    // Receive-side checks and the kinds of message Part of classification.
    bool framingIsSound(const uint8_t *buffer, ssize_t length);
    void handleCsiEvent(const uint8_t *command);
    void handleSuspendResume();
    void handlePresetUpdate();
    void onPresetModified(uint8_t event, uint32_t id);
    void onPresetSwitched(uint32_t id);
    bool classifyClientCommand(ssize_t length, Msg &request, ztcontrol_command_t &command);
    // Sends bytes to the named queue without blocking; logs failures.
    bool postToRequester(const char *queueName, const uint8_t *bytes, uint32_t length);

    // The dispatch over command values and the branches built so far.
    CommandOutcome dispatchCommand(Msg &request, ztcontrol_command_t command,
                                   const MsgElement *argument);
    CommandOutcome notBuiltYet(ztcontrol_command_t command);
    // One handler per command area, each in its own source file
    // (ztcontrol_if_server_<area>.cpp); each answers the values the dispatch
    // gives it and leaves the answer to the frame unless it sent one itself.
    CommandOutcome handleCaptureCommand(Msg &request, ztcontrol_command_t command,
                                        const MsgElement *argument);
    CommandOutcome handleWirelessCommand(Msg &request, ztcontrol_command_t command,
                                         const MsgElement *argument);
    CommandOutcome handleSettingsCommand(Msg &request, ztcontrol_command_t command,
                                         const MsgElement *argument);
    CommandOutcome handleSystemCommand(Msg &request, ztcontrol_command_t command,
                                       const MsgElement *argument);
    CommandOutcome handleMediaCommand(Msg &request, ztcontrol_command_t command,
                                      const MsgElement *argument);
    CommandOutcome handlePresetCommand(Msg &request, ztcontrol_command_t command,
                                       const MsgElement *argument);
    CommandOutcome handleRegisterMQueue(const MsgElement *argument);
    CommandOutcome handlePushNotifications(const MsgElement *argument);
    void dropAllClients();

    static ZtcontrolCommandServer *m_pInstance;
    static uint8_t m_cameraModel;

    // Worker-thread state (Part of the message loop).
    ZTCSIListener *m_csiListener = nullptr;
    mqd_t m_cmdQueue = (mqd_t)-1;
    uint8_t *m_rxBuffer = nullptr;  // ZTMSG_MAX bytes while open
    uint8_t *m_txBuffer = nullptr;  // ZTMSG_MAX bytes while open
    pthread_t m_workerThread{};
    bool m_workerStarted = false;
    std::atomic<bool> m_running{false};
    // Set by shutdown so a worker that has not reached its loop yet does not
    // enter it: m_running alone would be overwritten by the loop's start.
    std::atomic<bool> m_stopRequested{false};
    bool m_interfaceOpen = false;
    bool m_suspended = false;
    pthread_mutex_t m_commandMutex;

    // Registry; guarded by m_clientsMutex.
    std::vector<NotificationClient *> m_notificationClients;
    pthread_mutex_t m_clientsMutex;

    // Lens and preset state; worker thread only, under m_commandMutex.
    uint32_t m_currentPreset = 0;
    int8_t m_lensMode = 0;
    int8_t m_lens = 0;
    uint8_t m_lensType = 0;
    bool m_needLenses = false;
    bool m_refreshCurrentPreset = true;
    bool m_presetsStale = true;
    bool m_zoomEditActive = false;
    uint8_t m_easyProMode = 1;
    uint8_t m_powerProfile = 0;

    // Flags of the settings and system commands.
    uint8_t m_inContextualMenu = 0;
    uint8_t m_narrowAsLinear = 0;

    // One-shot timer that closes preset edits opened by digital zoom; its
    // thread runs from construction to destruction.
    ZeltoTimer m_workerTimer;
};

#endif  // ZTCONTROL_IF_SERVER_H
