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
#include "ztcontrol_commands.h"
#include "wsdkCommands/WSDK_EnumPresetGroup.pb.h"
#include "wsdkCommands/WSDK_NotifyPresetStatus.pb.h"

struct appc_presets_settings_info;

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
    // Which clients one delivery walk offers a message to.
    enum class Recipients { NotNew, OnlyNew, All };
    // Offers message to the chosen clients in list order; a client whose
    // delivery fails is destroyed and removed, the others keep their order.
    // Returns the number of clients removed. m_clientsMutex must be held
    // (the worker thread); a test without a running worker may call it bare.
    size_t deliverToClients(NotificationClient::eNotificationType_t type,
                            std::stringstream &message, Recipients recipients);
    // Number of registered clients, and of those not paused.
    size_t clientCount();
    size_t activeClientCount();

    // Names of the firmware's preset events for the logs ("unknown" when
    // out of range).
    static const char *PresetEventText(uint8_t event);
    // Base group (0 video, 1 photo, 2 time lapse) of a firmware preset group;
    // other groups are returned unchanged.
    static int RemapPresetGroup(int group);

    // --- Lens, power and preset-group state
    // (ztcontrol_if_server_preset_state.cpp). Worker thread, or the zoom
    // timer's stopEdit, always with m_commandMutex held. Each getter logs a
    // failed library call and returns its fallback; none fails.
    // Lens mode and lens, cached until a lens read fails or a preset event
    // or suspension marks them stale.
    uint8_t GetLensMode();
    uint8_t GetLens();
    // Read fresh on every call; the last good value when the read fails.
    uint8_t GetLensType();
    uint8_t GetPowerProfile();  // 0 when unreadable
    uint8_t GetEasyProMode();   // 1 pro, 0 easy; 1 when unreadable
    // The current preset id, cached until marked stale; kept across a
    // refused or malformed status read and while a special group is active.
    uint32_t GetCurrentPreset();
    // The active preset id read fresh (also in the special groups 6 and 7),
    // or 0xFFFFFFFF.
    uint32_t GetActivePreset();
    // The active firmware preset group read fresh, or 0.
    uint32_t GetActivePresetGroup();
    // The firmware group in use for base group 0, 1 or 2 on this camera now;
    // 255 when there is none.
    uint8_t ConvertInputGroupToActualGroup(uint8_t group);
    // The rule behind ConvertInputGroupToActualGroup, on given camera state.
    static uint8_t ActualPresetGroup(uint8_t group, int model, uint8_t lensType, uint8_t uxMode,
                                     uint8_t powerProfile);
    static wsdk_commands::WSDK_EnumPresetGroupIcon getPresetGroupIcon(int baseGroup,
                                                                      int powerProfile,
                                                                      int orbiLens);
    // Which firmware groups belong to each way of showing the preset list.
    static bool isProPresetGroup(int group);
    static bool isProEndurancePresetGroup(int group);
    static bool isProLongestBatteryPresetGroup(int group);
    static bool isEasyPresetGroup(int group);
    static bool isEasyEndurancePresetGroup(int group);
    static bool isOrbiPresetGroup(int group);
    // REMOTE_SYSTEM_ALL_STATUS_GET with the answer in the library's buffer
    // (valid until the next library call); the library's status.
    int requestAllStatus(uint8_t *&answer, uint16_t &length);
    // Preset id of the active group in a 394-byte all-status block; false,
    // leaving preset alone, for an unknown group (and for the special groups
    // unless withSpecial).
    static bool PresetOfGroupInStatus(const uint8_t *status, bool withSpecial,
                                      uint32_t &preset);
    // Little-endian u32 of the all-status block (offset + 4 <= 394).
    static uint32_t StatusWord(const uint8_t *status, size_t offset);
    static constexpr size_t kStatusVideoPresetOffset = 7;
    static constexpr size_t kStatusPhotoPresetOffset = 11;
    static constexpr size_t kStatusTimeLapsePresetOffset = 15;
    static constexpr size_t kStatusGroupOffset = 19;
    static constexpr size_t kStatusSpecialPresetOffset = 23;

    // --- Preset activation and edits (ztcontrol_if_server_preset_edit.cpp).
    // Worker thread with m_commandMutex held, except stopEdit.
    // Makes the preset of a flat mode (or of a group id 1000 to 1005)
    // active: the activation's status, the status read's failure, or -1.
    int LoadPresetFromMode(int mode);
    // Open and store the firmware's preset edit around a change of
    // settingId (-1: not tied to one setting). True: the caller may go on.
    bool PresetStartEdit(int settingId);
    bool PresetEndEdit(int settingId);
    // Zoom timer callback (arg: the server): closes the zoom edit if open.
    // Takes m_commandMutex, so it must not run on the worker thread.
    static void stopEdit(void *server);
    // Closes an open zoom edit before a change that must not land in it;
    // commandName names the change in the log.
    void stopZooming(std::string commandName);

    // --- Preset lists (ztcontrol_if_server_presets_list.cpp). Worker thread,
    // m_commandMutex held.
    // The firmware groups the camera offers in this lens, power and ux state,
    // in the order they are listed; empty for a state that offers none.
    static std::vector<uint8_t> GetCurrentPresetGroups(uint8_t lensMode, uint8_t lensType,
                                                       uint8_t powerProfile, uint8_t easyProMode,
                                                       uint8_t model);
    // Rebuilds list with every offered group and its presets; groupCount
    // gets the number of groups the firmware reported. 0, or the status of
    // the failure that spoils the whole list; clears m_presetsStale on 0.
    int GetPresetListInfo(wsdk_commands::WSDK_NotifyPresetStatus *list, unsigned int &groupCount);

    // Status polling of the worker loop.
    void pollStatusSettingsAndNotify();
    void initializeStatusVariables();
    // Applies the daemon's corrections to a freshly read status and settings
    // block in place (worker thread, m_commandMutex held). Used by the poll
    // and by the settings and status commands on the blocks they answer.
    void modSettingsAndStatuses(all_status_settings_t &block);

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
    // --- Capture and mode branches (ztcontrol_if_server_capture*.cpp).
    // Each returns the command's result code unless it says otherwise.
    int setMode(int32_t mode);
    // The flat mode that stands for base mode 0, 1 or 2 on the flat-mode
    // cameras (other modes unchanged).
    int32_t translateToFlatMode(int32_t mode, unsigned model);
    int setModeSubMode(const MsgElement &argument);
    int resetVideoFormat();
    int setCaptureDelay(int32_t delay);
    // Releases and retakes m_commandMutex while it arms the zoom timer.
    int setDigitalZoom(int32_t zoom);
    int setLiveviewExposure(const MsgElement &argument);
    CommandOutcome quickCaptureStart(const MsgElement *argument);
    // Answers itself when the firmware gave its one busy byte.
    CommandOutcome getBusyStatus(Msg &request, const MsgElement *argument);
    CommandOutcome handleWirelessCommand(Msg &request, ztcontrol_command_t command,
                                         const MsgElement *argument);
    // --- Network scans (ztcontrol_if_server_wireless_scan.cpp). Both answer
    // themselves, with their data block also on failure.
    CommandOutcome wifiScanStart(Msg &request, const MsgElement *argument);
    CommandOutcome wifiScanList(Msg &request, const MsgElement *argument);
    CommandOutcome handleSettingsCommand(Msg &request, ztcontrol_command_t command,
                                         const MsgElement *argument);
    CommandOutcome handleSystemCommand(Msg &request, ztcontrol_command_t command,
                                       const MsgElement *argument);
    // --- Settings and status commands (ztcontrol_if_server_settings*.cpp)
    // and system commands (ztcontrol_if_server_system*.cpp). Each returns the
    // command's result code; those taking request answer themselves.
    int setSettingId(const MsgElement *argument, bool &quiet);
    // Ends the open preset edit of a setting change, then undoes or applies
    // the 30% zoom that stands in for a narrow field of view.
    int applyNarrowZoom(int setting, bool started);
    int getAllSettingsStatus(Msg &request);
    int resetAdvancedSettingsOfFlatMode();
    int systemButtonSet(const MsgElement *argument);
    // The horizon-levelling option the camera supports for a video format
    // (three bytes of the settings block); 0 (off) when it cannot tell.
    static uint8_t getHorizonControlSupportedOption(uint8_t a, uint8_t b, uint8_t c);
    CommandOutcome handleMediaCommand(Msg &request, ztcontrol_command_t command,
                                      const MsgElement *argument);
    CommandOutcome handlePresetCommand(Msg &request, ztcontrol_command_t command,
                                       const MsgElement *argument);
    // --- Preset commands (ztcontrol_if_server_presets*.cpp). Each returns
    // the outcome for the frame; those with answer data answer themselves.
    // One preset operation of category 17; the answer (null and 0 when none)
    // is the library's, valid until its next call.
    int presetRequest(uint8_t op, const void *payload, uint16_t payloadLength,
                      uint8_t *&answer, uint16_t &answerLength);
    // One preset's record by REMOTE_PRESET_GET_INFO; 0, the operation's
    // code, or ZT_ERR for an answer that is not one record.
    int presetFetchRecord(uint32_t id, appc_presets_settings_info &record);
    // Answers request with code and the serialised message, or leaves a
    // plain ZT_ERR to the frame when the message does not fit one answer.
    CommandOutcome answerPresetMessage(Msg &request, int code,
                                       const google::protobuf::MessageLite &message);
    CommandOutcome presetListGroups(Msg &request);
    CommandOutcome presetListIds(Msg &request, const MsgElement *argument);
    CommandOutcome presetGetInfo(Msg &request, const MsgElement *argument);
    CommandOutcome presetIdOperation(ztcontrol_command_t command, const MsgElement *argument);
    CommandOutcome presetSetOrder(const MsgElement *argument);
    CommandOutcome presetCustomCreate(Msg &request, const MsgElement *argument);
    CommandOutcome presetGetPresets(Msg &request, const MsgElement *argument);
    CommandOutcome presetSwitchFlatMode(const MsgElement *argument);
    CommandOutcome presetSetTitleAndIcon(const MsgElement *argument);
    CommandOutcome onscreenShortcutsReset();
    CommandOutcome presetActive(Msg &request, ztcontrol_command_t command);
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
