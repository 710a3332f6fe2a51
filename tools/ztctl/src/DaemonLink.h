// ztctl's link to the daemon: a reply queue of its own (created on
// construction, unlinked on destruction) through which one command is sent to
// "/to_ztCtlD" and its answer awaited with a time-out. Used by one thread.
#ifndef ZTCTL_DAEMON_LINK_H
#define ZTCTL_DAEMON_LINK_H

#include <mqueue.h>
#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

#include "ReplyFormatter.h"

namespace ztctl {

class DaemonLink {
public:
    // An empty name picks "/ztctl_<pid>". Check error() for failures.
    explicit DaemonLink(std::string replyQueue = "");
    ~DaemonLink();
    DaemonLink(const DaemonLink &) = delete;
    DaemonLink &operator=(const DaemonLink &) = delete;

    bool ok() const { return m_queue != (mqd_t)-1; }
    const std::string &error() const { return m_error; }
    const std::string &queueName() const { return m_name; }

    // Sends the request and waits up to timeoutMs in all for a well-formed
    // answer (other messages on the reply queue are skipped). Nothing on any
    // failure, with the reason in error(). An interrupting signal ends the
    // wait early.
    std::optional<Answer> call(uint32_t command,
                               const std::optional<std::vector<uint8_t>> &argument,
                               std::optional<uint8_t> option, unsigned timeoutMs);

    // The request's TLV bytes, or empty when they exceed one message.
    static std::vector<uint8_t> buildRequest(uint32_t command,
                                             const std::optional<std::vector<uint8_t>> &argument,
                                             std::optional<uint8_t> option,
                                             const std::string &replyQueue);

private:
    std::string m_name;
    std::string m_error;
    mqd_t m_queue = (mqd_t)-1;
};

}  // namespace ztctl

#endif  // ZTCTL_DAEMON_LINK_H
