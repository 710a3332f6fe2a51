// The client side of the daemon for tests: building client requests
// (category 20), reading its answers (category 21) and queue notifications
// (category 22), and the queues a test owns to receive them. The functions
// keep no state and are safe from any thread; a queue object is used by one
// thread at a time.
#pragma once

#include <mqueue.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
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

// An answer or notification of the daemon (any TLV message on a test's queue).
struct Reply {
    uint8_t category = 0;     // CAT_CLIENT_RSP for an answer, CAT_CLIENT_EVT for a notification
    bool hasResult = false;   // element 0xEC present with 4 bytes
    int32_t result = 0;       // element 0xEC, little-endian i32
    bool hasPayload = false;  // element 'E' present
    Bytes payload;            // element 'E' value (a notification's text and its NUL)
    Bytes raw;                // the whole message as received

    // The payload as text, cut at its first NUL.
    std::string payloadText() const;
};

// The TLV bytes of `request` naming `replyQueue` in element 'D'; empty when
// it does not fit into one 1500-byte message.
Bytes buildClientRequest(const ClientRequest &request, const std::string &replyQueue);
// Nothing when the bytes are not a well-framed TLV message (length field,
// element sum, end element).
std::optional<Reply> parseReply(const uint8_t *data, size_t length);

// A TLV message by hand, so single bytes can be broken: the header with the
// true length, then the elements as given (an end element only when listed).
Bytes tlvMessage(uint8_t category, std::initializer_list<std::pair<uint8_t, Bytes>> elements);

// Argument helpers (little-endian, as the daemon's argument layouts).
Bytes u8Arg(uint8_t v);
Bytes u16Arg(uint16_t v);
Bytes u32Arg(uint32_t v);
Bytes textArg(const std::string &text, bool withNul = false);
Bytes concat(std::initializer_list<Bytes> parts);
Bytes words(std::initializer_list<uint32_t> values);
// Argument of ZTCONTROL_EVENT_REGISTER_MQUEUE: u32 flag (1 register,
// 0 unregister), the queue name and its NUL.
Bytes registerQueueArg(bool reg, const std::string &queueName);

// A queue name unique to this process and call: "/zt_t<pid>_<tag><n>".
std::string uniqueQueueName(const std::string &tag);
// Sends raw bytes to `queue`, waiting at most `timeoutMs` for room.
bool sendRaw(const void *data, size_t length, unsigned timeoutMs = 2000,
             const std::string &queue = kCommandQueue);
bool queueExists(const std::string &queue);
// One message from `queue`, waiting at most `timeout`.
std::optional<Bytes> receiveMessage(mqd_t queue, std::chrono::milliseconds timeout);
// Creates (or opens) a queue for reading with room for `maxMsg` messages of
// ZTMSG_MAX bytes; -1 on failure.
mqd_t createQueue(const std::string &name, long maxMsg);

// A queue the test owns: created on construction and unlinked on
// destruction. A name of "" picks a unique one.
class OwnedQueue {
public:
    OwnedQueue(std::string name, const std::string &tag, long maxMsg);
    ~OwnedQueue();
    OwnedQueue(const OwnedQueue &) = delete;
    OwnedQueue &operator=(const OwnedQueue &) = delete;

    bool ok() const { return m_queue != (mqd_t)-1; }
    const std::string &name() const { return m_name; }
    // The next message, or nothing after `timeout`; one that does not parse
    // comes with hasResult false and its raw bytes.
    std::optional<Reply> receive(std::chrono::milliseconds timeout);
    void drain();
    long depth() const;  // messages waiting now, -1 when not open

private:
    std::string m_name;
    mqd_t m_queue = (mqd_t)-1;
};

// A requester of the daemon with its own reply queue.
class Requester : public OwnedQueue {
public:
    explicit Requester(std::string queueName = "", long maxMsg = 10)
        : OwnedQueue(std::move(queueName), "req", maxMsg)
    {
    }
    const std::string &queueName() const { return name(); }
    // Sends one request naming this queue; does not wait for the answer.
    bool send(const ClientRequest &request);
    std::optional<Reply> waitReply(std::chrono::milliseconds timeout) { return receive(timeout); }
    // send + waitReply; nothing when sending failed or no answer came in time.
    std::optional<Reply> call(const ClientRequest &request,
                              std::chrono::milliseconds timeout = std::chrono::seconds(5));
    std::optional<Reply> call(uint32_t command,
                              std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        return call(ClientRequest{command, std::nullopt, std::nullopt}, timeout);
    }
};

// A queue to register with the daemon by command 0 for notifications.
class QueueNotifyReader : public OwnedQueue {
public:
    explicit QueueNotifyReader(std::string name = "", long maxMsg = 10)
        : OwnedQueue(std::move(name), "evt", maxMsg)
    {
    }
    Bytes registerArg(bool reg = true) const { return registerQueueArg(reg, name()); }
};

}  // namespace zttest
