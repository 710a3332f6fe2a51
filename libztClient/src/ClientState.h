// What a client handle holds, shared by the library's sources. A client's
// calls take turns on its mutex; the other members are set at open.
#ifndef ZTCLIENT_CLIENT_STATE_H
#define ZTCLIENT_CLIENT_STATE_H

#include <mqueue.h>
#include <stdint.h>

#include <mutex>
#include <string>
#include <vector>

#include "ztclient.h"

struct ztclient_handle {
    std::mutex mutex;       // one exchange on the reply queue at a time
    std::string replyName;  // "/ztclient_<uid>_<n>"
    mqd_t reply = (mqd_t)-1;
    int slotLocks = -1;  // the user's slot semaphores
    int slot = -1;       // the slot held while the client lives
    unsigned deadlineMs = 5000;
    std::string eventsName;  // the queue watch's queue while one is open
};

namespace ztclient_internal {

// A typed command's answer: 0, a negative result or a ztclient_failure_t,
// with the payload when the daemon answered.
int exchange(ztclient_t *client, int32_t command, const void *argument, size_t length,
             std::vector<uint8_t> *payload, unsigned deadlineMs = 0);

// Creates the queue `name` for reading, exclusively (O_EXCL: two clients
// never share one) with `flags` added; -1 with errno on failure.
mqd_t createQueue(const std::string &name, long depth, long messageSize, int flags = 0);

// Items of a notification or block text; the kind, or 0 when not one.
int parseItems(const char *text, size_t length, std::vector<ztclient_item_t> &items);

}  // namespace ztclient_internal

#endif  // ZTCLIENT_CLIENT_STATE_H
