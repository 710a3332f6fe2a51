// A scripted firmware side for tests: owns "/to_ztnet" and "/to_csi",
// answers library requests and CSI requests from a script, records every
// request it received, and posts firmware events and CSI traffic to the
// daemon's queue "/to_ztCtlD". One background thread serves the queues; all
// public methods are thread-safe. Tests that use it run in their own IPC
// namespace (the queue names are fixed).
#ifndef ZT_FIRMWARE_PEER_H
#define ZT_FIRMWARE_PEER_H

#include <stdint.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ztCtrlD.h"
#include "ztcWire.h"

// One request as the peer received it.
struct PeerRequest {
    std::string kind;              // "RA", "TC", "AX"; CSI: "CG", "CW", "CB"; "??" unparsable
    uint8_t category = 0;          // "RA": operation category
    uint8_t identifier = 0;        // "RA": operation identifier
    std::string name;              // "TC": function name; "AX": module command
    std::vector<uint8_t> payload;  // "RA"/"AX": bytes after the first two; "TC": the
                                   // inputs after the name's NUL; CSI: all of 'B'
    bool hasOption = false;
    uint8_t option = 0;        // element 'W'
    uint32_t sequence = 0;     // element 'S'
    std::string replyTo;       // element 'D'
    std::vector<uint8_t> raw;  // the whole message

    bool isRemote(uint8_t cat, uint8_t id) const
    {
        return kind == "RA" && category == cat && identifier == id;
    }
    bool isTyped(const std::string &function) const { return kind == "TC" && name == function; }
};

// What the peer answers to one request.
struct PeerAnswer {
    int32_t status = 0;
    bool hasBytes = false;  // send element 'E'
    std::vector<uint8_t> bytes;
    int delayMs = 0;        // answer this much later (other requests go on)
    bool withhold = false;  // never answer

    static PeerAnswer Status(int32_t status) { return PeerAnswer{status, false, {}, 0, false}; }
    static PeerAnswer Bytes(std::vector<uint8_t> b)
    {
        return PeerAnswer{0, true, std::move(b), 0, false};
    }
    static PeerAnswer Withheld() { return PeerAnswer{0, false, {}, 0, true}; }
    PeerAnswer &after(int ms)
    {
        delayMs = ms;
        return *this;
    }
};

class ZtFirmwarePeer {
public:
    struct Options {
        bool firmware = true;  // create and serve "/to_ztnet" ("/to_csi" always)
    };
    ZtFirmwarePeer();
    explicit ZtFirmwarePeer(const Options &options);
    ~ZtFirmwarePeer();
    ZtFirmwarePeer(const ZtFirmwarePeer &) = delete;
    ZtFirmwarePeer &operator=(const ZtFirmwarePeer &) = delete;

    // False when a queue could not be created or the thread not started.
    bool ok() const { return m_ok; }

    // --- Script. A sticky answer holds until replaced; one-shot answers
    // are used first, in the order given. `key`: "RA" two bytes (category,
    // identifier), "TC" the function name, "AX" the module command.
    void script(const std::string &kind, const std::string &key, const PeerAnswer &answer);
    void scriptOnce(const std::string &kind, const std::string &key, const PeerAnswer &answer);
    void scriptRemote(uint8_t category, uint8_t id, const PeerAnswer &answer)
    {
        script(ZTC_KIND_REMOTE, remoteKey(category, id), answer);
    }
    void scriptRemoteOnce(uint8_t category, uint8_t id, const PeerAnswer &answer)
    {
        scriptOnce(ZTC_KIND_REMOTE, remoteKey(category, id), answer);
    }
    void scriptTyped(const std::string &f, const PeerAnswer &a) { script(ZTC_KIND_TYPED, f, a); }
    void scriptTypedOnce(const std::string &f, const PeerAnswer &a)
    {
        scriptOnce(ZTC_KIND_TYPED, f, a);
    }
    void scriptAuxmod(const std::string &c, const PeerAnswer &a) { script(ZTC_KIND_AUXMOD, c, a); }
    void clearScript();

    // --- Records.
    std::vector<PeerRequest> requests() const;
    size_t requestCount() const;
    void clearRequests();
    // The first request at index >= `from` that matches, waiting up to
    // `timeoutMs` for it to arrive.
    std::optional<PeerRequest> waitForRequest(const std::function<bool(const PeerRequest &)> &match,
                                              int timeoutMs, size_t from = 0) const;

    // --- CSI service state.
    void setCsiItem(uint32_t id, uint32_t value);
    std::optional<uint32_t> csiItem(uint32_t id) const;

    // --- Posting to "/to_ztCtlD" (or `queue`). False when the queue is
    // missing or full (the message is dropped, as the firmware side does).
    bool postPresetEvent(uint8_t code, uint32_t id);
    // "JS" (suspend) or "JR"; creates `replyQueue` when it does not exist.
    bool postSuspend(bool suspend, const std::string &replyQueue);
    // The daemon's in-place answer to a suspend or resume request.
    std::optional<std::vector<uint8_t>> waitForSysAnswer(const std::string &replyQueue,
                                                         int timeoutMs);
    bool postCsiNotify(uint32_t id, uint32_t value);
    bool postCsiNotifyMany(const std::vector<std::pair<uint32_t, uint32_t>> &values);
    bool postRaw(const std::vector<uint8_t> &message, const std::string &queue = "/to_ztCtlD");

    // Test helper: creates the reply queue "/to_ztCtlD2", opens "/to_ztnet"
    // and fills a context as the daemon does. closeContext undoes it.
    static bool openContext(ztc_msg_q_context_t *ctx);
    static void closeContext(ztc_msg_q_context_t *ctx);

private:
    static std::string remoteKey(uint8_t category, uint8_t id)
    {
        return std::string{static_cast<char>(category), static_cast<char>(id)};
    }

    struct Pending {
        int64_t dueMs;
        std::string queue;
        std::vector<uint8_t> message;
    };

    void run();
    void serveFirmware(const uint8_t *data, size_t length);
    void serveCsi(const uint8_t *data, size_t length);
    std::vector<uint8_t> csiAnswer(const PeerRequest &request);
    PeerAnswer answerFor(const PeerRequest &request);
    void record(PeerRequest request);
    void schedule(const std::string &queue, std::vector<uint8_t> message, int delayMs);
    bool ensureQueue(const std::string &name);

    bool m_ok = false;
    mqd_t m_firmwareQueue = static_cast<mqd_t>(-1);
    mqd_t m_csiQueue = static_cast<mqd_t>(-1);
    int m_wakePipe[2] = {-1, -1};
    std::thread m_thread;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_recorded;
    // Guarded by m_mutex:
    std::map<std::string, PeerAnswer> m_sticky;
    std::map<std::string, std::deque<PeerAnswer>> m_once;
    std::vector<PeerRequest> m_requests;
    std::map<uint32_t, uint32_t> m_csiItems;
    std::vector<std::string> m_createdQueues;
    // Owned by the peer thread:
    std::vector<Pending> m_pending;
};

#endif  // ZT_FIRMWARE_PEER_H
