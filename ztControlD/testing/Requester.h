// A requester of the daemon for tests: owns its own reply queue (created on
// construction, unlinked on destruction), sends client requests to
// "/to_ztCtlD" and waits for answers with time-outs. One thread at a time per
// object; use one Requester per thread for concurrent requests.
#pragma once

#include <mqueue.h>

#include <chrono>
#include <optional>
#include <string>

#include "ClientMessages.h"

namespace zttest {

class Requester {
public:
    // Creates the reply queue (`maxMsg` messages of 1500 bytes). A name of ""
    // picks a unique one. Check ok().
    explicit Requester(std::string queueName = "", long maxMsg = 10);
    ~Requester();
    Requester(const Requester &) = delete;
    Requester &operator=(const Requester &) = delete;

    bool ok() const { return m_queue != (mqd_t)-1; }
    const std::string &queueName() const { return m_name; }

    // Sends one request naming this reply queue; does not wait for the answer.
    bool send(const ClientRequest &request);
    // Waits for the next message on the reply queue; nothing after `timeout`
    // ("no answer within T"). Unparseable messages are returned with
    // hasResult false and the raw bytes.
    std::optional<Reply> waitReply(std::chrono::milliseconds timeout);
    // Discards every message waiting on the reply queue.
    void drain();

    // send + waitReply. Nothing when sending failed or no answer came in time.
    std::optional<Reply> call(const ClientRequest &request,
                              std::chrono::milliseconds timeout = std::chrono::seconds(5));
    std::optional<Reply> call(uint32_t command,
                              std::chrono::milliseconds timeout = std::chrono::seconds(5));
    std::optional<Reply> call(uint32_t command, const Bytes &arg,
                              std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    std::string m_name;
    mqd_t m_queue = (mqd_t)-1;
};

}  // namespace zttest
