// The request/answer exchange behind every firmware call of the library:
// one request on "/to_ztnet", one matching answer on the reply queue within
// 1000 ms. Internal to the library. Callers hold the library lock (see
// LinkLock) from the request until they have copied the answer out.
#ifndef ZTC_LINK_H
#define ZTC_LINK_H

#include <pthread.h>
#include <stdint.h>

#include "ztCtrlD.h"

namespace ztc {

// Serialises library calls; the answer buffer is shared between them.
class LinkLock {
public:
    LinkLock();
    ~LinkLock();
    LinkLock(const LinkLock &) = delete;
    LinkLock &operator=(const LinkLock &) = delete;
};

struct Answer {
    int32_t status = 0;
    bool hasBytes = false;           // element 'E' present
    const uint8_t *bytes = nullptr;  // the library's answer buffer
    uint16_t length = 0;
};

// REQUIRES: a LinkLock is held. Sends a request of `kind` ("RA", "TC" or
// "AX") carrying `arg`, then waits for its answer. Returns 0 with *answer
// filled, or ZT_ERR_MQ_FAIL (not sent, or no matching answer in time) or
// ZT_ERR_INVALID_PARAM (request too large). answer->bytes stays valid until
// the next exchange.
int exchange(const ztc_msg_q_context_t *ctx, const char *kind, const uint8_t *arg,
             uint32_t argLength, Answer *answer);

// REQUIRES: a LinkLock is held. Hands answer bytes to a caller's out
// pointers following the pointer rules of ztCtrlD.h. Either pointer null:
// nothing is written.
void deliver(const Answer &answer, uint8_t **out, uint16_t *outLength);

// Milliseconds on the monotonic clock.
int64_t monotonicMs();

}  // namespace ztc

#endif  // ZTC_LINK_H
