// A message-queue notification receiver for tests: creates (and on
// destruction unlinks) a queue that can be registered with the daemon by
// command 0, and reads the EventMsg records (category 22) posted to it.
// One thread at a time per object.
#pragma once

#include <mqueue.h>

#include <chrono>
#include <optional>
#include <string>

#include "ClientMessages.h"

namespace zttest {

// One notification: element 0xEC (0 from the daemon) and element 'E' with the
// JSON text and its final NUL.
struct QueueEvent {
    uint8_t category = 0;
    int32_t result = 0;
    bool hasText = false;
    std::string text;       // 'E' up to its first NUL
    size_t textLength = 0;  // length of 'E', NUL included
};

class QueueNotifyReader {
public:
    // Creates the queue now unless `create` is false (create() later, to test
    // a receiver that registered before its queue existed). "" picks a unique
    // name.
    explicit QueueNotifyReader(std::string name = "", long maxMsg = 10, bool create = true);
    ~QueueNotifyReader();
    QueueNotifyReader(const QueueNotifyReader &) = delete;
    QueueNotifyReader &operator=(const QueueNotifyReader &) = delete;

    bool create();
    bool ok() const { return m_queue != (mqd_t)-1; }
    const std::string &name() const { return m_name; }

    // Argument for command 0 registering (true) or unregistering this queue.
    Bytes registerArg(bool reg = true) const { return registerQueueArg(reg, m_name); }

    // Next notification, or nothing after `timeout`.
    std::optional<QueueEvent> receive(std::chrono::milliseconds timeout);
    // Messages waiting on the queue now (-1 when it is not open).
    long depth() const;
    void drain();

private:
    std::string m_name;
    long m_maxMsg;
    mqd_t m_queue = (mqd_t)-1;
};

}  // namespace zttest
