// Runs the real daemon binary for integration tests: starts
// $ZT_BIN_DIR/ztControlD as a child with its output captured, waits until it
// answers, and stops it by command 101 or by a signal. Include this one header
// for the whole test kit (requests, TCP and queue notification clients).
// A harness object is used by one test thread.
//
// The daemon needs its firmware side ("/to_ztnet", "/to_csi"): start a
// scripted peer (or the simulator) before start(). Tests using the harness run
// in their own IPC and network namespace (NAMESPACED), because the daemon's
// queue names and port 8081 are fixed.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "ClientMessages.h"

namespace zttest {

// True when a TCP socket of this namespace on local port `port` is in
// `state`, as /proc/net/tcp writes it ("0A" listening, "06" TIME_WAIT).
bool tcpPortInState(uint16_t port, const char *state);
// Polls `ready` every 20 ms until it holds (true), `timeout` passes or
// `alive`, when given, stops holding (false).
bool waitUntil(const std::function<bool()> &ready, std::chrono::milliseconds timeout,
               const std::function<bool()> &alive = nullptr);

class DaemonHarness : public ChildProcess {
public:
    // $ZT_BIN_DIR (set by CTest) or "bin" when unset.
    static std::string binDir();

    // `binary`: the daemon to run; empty for $ZT_BIN_DIR/ztControlD.
    explicit DaemonHarness(std::string binary = "") : m_binary(std::move(binary)) {}
    // Kills a daemon still running, then unlinks the queues a killed daemon
    // leaves behind ("/to_ztCtlD", "/to_ztCtlD2").
    ~DaemonHarness();

    // False when the binary could not be run; see error().
    bool start()
    {
        return ChildProcess::start(m_binary.empty() ? binDir() + "/ztControlD" : m_binary);
    }
    // Waits until the daemon answers a harmless request (command 1, answered
    // as unsupported) and listens on port 8081 (seen in /proc/net/tcp, without
    // connecting, so no notification client is created).
    bool waitReady(std::chrono::milliseconds timeout = std::chrono::seconds(15));
    bool startAndWaitReady() { return start() && waitReady(); }

    // Sends command 101 and waits for its answer (result 0) and the exit.
    // The exit status, or nothing when either did not come in time.
    std::optional<ExitStatus> stop(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // The daemon's log (its system-log copy on standard error).
    std::string log() const { return output(); }
    size_t logMark() const { return outputMark(); }
    bool waitForLog(const std::string &text, std::chrono::milliseconds timeout, size_t from = 0)
    {
        return waitForOutput(text, timeout, from);
    }
    size_t countInLog(const std::string &text) const { return countInOutput(text); }

    // The harness's own requester (reply queue created on first use).
    Requester &requester();
    ChildProcess &process() { return *this; }

private:
    std::string m_binary;
    std::optional<Requester> m_requester;
};

// One notification on port 8081: "LENGTH:" + declaredLength in decimal +
// "\n\n" + body. The declared length counts the text's final NUL, which is
// not sent, so body holds declaredLength - 1 bytes.
struct Frame {
    size_t declaredLength = 0;
    std::string body;
};

// A TCP notification client of port 8081 that reads frames with time-outs,
// or deliberately stops reading. One thread at a time per object.
class TcpNotifyClient {
public:
    TcpNotifyClient() = default;
    ~TcpNotifyClient() { close(); }
    TcpNotifyClient(const TcpNotifyClient &) = delete;
    TcpNotifyClient &operator=(const TcpNotifyClient &) = delete;

    // Connects to 127.0.0.1:`port`, retrying refused connections until
    // `timeout`. `receiveBuffer` above 0 sets SO_RCVBUF (a client that stops
    // reading then fills up quickly).
    bool connect(std::chrono::milliseconds timeout, uint16_t port = kNotifyPort,
                 int receiveBuffer = 0);
    int fd() const { return m_fd; }
    // Closes with a reset (unless `reset` is false: a plain close, as a phone
    // app does), so no connection of port 8081 stays in TIME_WAIT.
    void close(bool reset = true);

    // The next frame; nothing on time-out, end of stream, or a header other
    // than "LENGTH:<digits>\n\n" (see lastError()).
    std::optional<Frame> readFrame(std::chrono::milliseconds timeout);
    // Waits until the daemon closes the connection; bytes meanwhile are discarded.
    bool waitClosedByPeer(std::chrono::milliseconds timeout);
    const std::string &lastError() const { return m_error; }

private:
    // Appends to m_pending until it holds `n` bytes or the deadline passes.
    bool fill(size_t n, std::chrono::steady_clock::time_point deadline);

    int m_fd = -1;
    std::string m_pending;
    std::string m_error;
    bool m_eof = false;
};

}  // namespace zttest
