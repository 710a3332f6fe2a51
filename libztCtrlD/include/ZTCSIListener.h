// The process's listener on the camera state interface (CSI): subscribes to
// items, keeps the last value seen of every item, and sets items. The CSI
// service sends its answers and notifications to the queue named in Init
// ("/to_ztCtlD" in the daemon); the owner of that queue passes them to the
// Handle* methods. All methods are thread-safe.
#ifndef ZTCSI_LISTENER_H
#define ZTCSI_LISTENER_H

#include <pthread.h>
#include <stdint.h>

#include <map>
#include <string>
#include <vector>

class ZTCSIListener {
public:
    // The singleton; created on first use, never destroyed.
    static ZTCSIListener *GetInstance();

    ZTCSIListener(const ZTCSIListener &) = delete;
    ZTCSIListener &operator=(const ZTCSIListener &) = delete;

    // Names the queue the CSI service answers to. `verbose` logs every CSI
    // message handled at the info level (otherwise the trace level).
    // Returns 0; may be called again to change the queue.
    int Init(bool verbose, const char *notifyQueue);

    // Sends one "CB" subscribe request for the items, in order. 0 on success,
    // ZT_ERR_MQ_FAIL when "/to_csi" is missing or full, ZT_ERR_INVALID_PARAM
    // for an empty or too long list (at most 300 items), ZT_ERR before Init.
    int RegisterForCSINotifications(const uint32_t *items, uint32_t count);
    int RegisterForCSINotifications(const std::vector<uint32_t> &items);

    // Handlers for received CSI messages (`message` is the whole received
    // TLV message; it must hold its header's length of bytes). "CN" and "CU"
    // are ignored between Suspend and Resume. Malformed messages are logged
    // and ignored. Return 0 when handled, a negative code when not.
    int HandleCSIMessage(char *message);
    int HandleSubscribeResponse(char *message);
    int HandleSetResponse(char *message);

    void Suspend();
    void Resume();
    bool IsSuspended() const;

    // Sends a "CW" set on every call (also when the value is unchanged) and
    // records the value as the item's last value. 0, or ZT_ERR_MQ_FAIL when
    // the request could not be sent.
    int SetCSIValue(unsigned int id, unsigned int value);

    // The last value seen (notification, subscribe or set response, or own
    // set) of `id`; false when the item was never seen.
    bool GetCSIValue(unsigned int id, unsigned int *value) const;

private:
    ZTCSIListener();
    ~ZTCSIListener();
    int send(const char *command, const uint8_t *args, uint32_t length);

    mutable pthread_mutex_t m_mutex;
    // Guarded by m_mutex:
    std::string m_notifyQueue;
    bool m_verbose = false;
    bool m_suspended = false;
    std::map<uint32_t, uint32_t> m_values;
};

#endif  // ZTCSI_LISTENER_H
