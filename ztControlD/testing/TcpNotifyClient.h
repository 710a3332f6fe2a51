// A notification client for tests: a TCP connection to the daemon's port
// 8081 that reads "LENGTH:" framed messages with time-outs, or deliberately
// stops reading. One thread at a time per object.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "ClientMessages.h"

namespace zttest {

// One framed message: "LENGTH:" + declaredLength in decimal + "\n\n" + body.
// The daemon's declared length counts the text's final NUL, which is not
// sent, so body holds declaredLength - 1 bytes (0 when declaredLength is 0).
struct Frame {
    size_t declaredLength = 0;
    std::string body;
};

class TcpNotifyClient {
public:
    TcpNotifyClient() = default;
    ~TcpNotifyClient();  // closes the connection, see close()
    TcpNotifyClient(const TcpNotifyClient &) = delete;
    TcpNotifyClient &operator=(const TcpNotifyClient &) = delete;

    // Connects to 127.0.0.1:`port`, retrying refused connections until
    // `timeout` (the listener starts after the daemon's queues). `receiveBuffer`
    // above 0 sets SO_RCVBUF before connecting (small values make a client that
    // stops reading fill up quickly).
    bool connect(std::chrono::milliseconds timeout, uint16_t port = kNotifyPort,
                 int receiveBuffer = 0);
    bool connected() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // Closes with a reset rather than a FIN, also after the daemon closed its
    // end: no connection of port 8081 is left in TIME_WAIT, so the next daemon
    // started in the same namespace can bind the port (it sets no address
    // reuse). Close every client before stopping a daemon for the same reason.
    void close();

    // Reads the next frame; nothing on time-out, end of stream, or a malformed
    // header (anything but "LENGTH:<digits>\n\n"; see lastError()).
    std::optional<Frame> readFrame(std::chrono::milliseconds timeout);
    // Reads every byte that arrives within `timeout` (for framing checks).
    std::string readRaw(size_t maxBytes, std::chrono::milliseconds timeout);
    // Waits until the daemon closes the connection (end of stream or reset);
    // bytes that arrive meanwhile are discarded.
    bool waitClosedByPeer(std::chrono::milliseconds timeout);
    const std::string &lastError() const { return m_error; }

private:
    // Appends to m_pending until it holds `n` bytes or the deadline passes.
    bool fill(size_t n, std::chrono::steady_clock::time_point deadline);

    int m_fd = -1;
    std::string m_pending;  // received but not yet consumed
    std::string m_error;
    bool m_eof = false;
};

}  // namespace zttest
