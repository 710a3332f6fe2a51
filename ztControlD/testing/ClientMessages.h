// Client-side messages for tests: building client requests (category 20) and
// reading the daemon's answers (category 21) and queue notifications
// (category 22) with the common library's TLV functions. Plain functions
// without state; safe from any thread.
#pragma once

#include <mqueue.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace zttest {

using Bytes = std::vector<uint8_t>;

// The daemon's command queue and notification port.
inline constexpr const char *kCommandQueue = "/to_ztCtlD";
inline constexpr uint16_t kNotifyPort = 8081;

// One client request: element 'A' command (u32 little-endian), optional 'B'
// argument bytes, optional 'W' option byte; 'D' (reply queue) is added when
// the request is built.
struct ClientRequest {
    uint32_t command = 0;
    std::optional<Bytes> arg;
    std::optional<uint8_t> option;
};

// An answer of the daemon (or any TLV message received on a reply queue).
struct Reply {
    uint8_t category = 0;     // 21 for a client answer
    bool hasResult = false;   // element 0xEC present with 4 bytes
    int32_t result = 0;       // element 0xEC, little-endian i32
    bool hasPayload = false;  // element 'E' present
    Bytes payload;            // element 'E' value
    Bytes raw;                // the whole message as received

    // The payload as text, cut at its first NUL.
    std::string payloadText() const;
};

// Builds the TLV bytes of `request` naming `replyQueue` in element 'D'.
// Empty when it does not fit into one 1500-byte message.
Bytes buildClientRequest(const ClientRequest &request, const std::string &replyQueue);

// Parses one received message. Nothing when it is not a well-framed TLV
// message (length field, element sum, end element).
std::optional<Reply> parseReply(const uint8_t *data, size_t length);

// Argument helpers (little-endian, as the daemon's argument layouts).
Bytes u8Arg(uint8_t v);
Bytes u16Arg(uint16_t v);
Bytes u32Arg(uint32_t v);
Bytes textArg(const std::string &text, bool withNul = false);
// The parts one after the other, e.g. concat({u32Arg(1), textArg("x")}).
Bytes concat(std::initializer_list<Bytes> parts);
// Consecutive u32 words, e.g. an argument of several numbers.
Bytes words(std::initializer_list<uint32_t> values);
// Argument of ZTCONTROL_EVENT_REGISTER_MQUEUE: u32 flag (1 register,
// 0 unregister), the queue name and its NUL.
Bytes registerQueueArg(bool reg, const std::string &queueName);

// A queue name unique to this process and call: "/zt_t<pid>_<tag><n>".
std::string uniqueQueueName(const std::string &tag);

// Sends `length` raw bytes to `queue` (default the daemon's command queue),
// waiting at most `timeoutMs` for room. False when the queue is missing, stays
// full or refuses the message.
bool sendRaw(const void *data, size_t length, unsigned timeoutMs = 2000,
             const std::string &queue = kCommandQueue);
bool queueExists(const std::string &queue);
// Receives one message from `queue` (opened for reading), waiting at most
// `timeout`; nothing on time-out or error.
std::optional<Bytes> receiveMessage(mqd_t queue, std::chrono::milliseconds timeout);
// Creates (or opens) a queue for reading with room for `maxMsg` messages of
// ZTMSG_MAX bytes; -1 on failure.
mqd_t createQueue(const std::string &name, long maxMsg);

}  // namespace zttest
