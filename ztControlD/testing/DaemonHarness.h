// Runs the real daemon binary for integration tests: starts
// $ZT_BIN_DIR/ztControlD as a child with its output captured, waits until it
// answers, and stops it by command 101 or by a signal. Include this one header
// for the whole test kit (requests, TCP and queue notification clients).
// A harness object is used by one test thread; the requesters and clients it
// hands out follow their own rules.
//
// The daemon needs its firmware side ("/to_ztnet", "/to_csi"): start a
// scripted peer (or the simulator) before start(). Tests using the harness run
// in their own IPC and network namespace (NAMESPACED), because the daemon's
// queue names and port 8081 are fixed.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "ClientMessages.h"
#include "QueueNotifyReader.h"
#include "Requester.h"
#include "TcpNotifyClient.h"

namespace zttest {

class DaemonHarness {
public:
    // $ZT_BIN_DIR (set by CTest) or "bin" when unset.
    static std::string binDir();

    // `binary` defaults to binDir() + "/ztControlD".
    explicit DaemonHarness(std::string binary = "");
    // Kills a daemon still running, then unlinks the queues a killed daemon
    // leaves behind ("/to_ztCtlD", "/to_ztCtlD2").
    ~DaemonHarness();
    DaemonHarness(const DaemonHarness &) = delete;
    DaemonHarness &operator=(const DaemonHarness &) = delete;

    // Starts the binary (extra environment "NAME=value"). False when it cannot
    // be run; see process().error().
    bool start(const std::vector<std::string> &env = {});
    // Waits until the daemon answers a harmless request (command 1, answered
    // as unsupported) and listens on port 8081 (seen in /proc/net/tcp, without
    // connecting, so no notification client is created).
    bool waitReady(std::chrono::milliseconds timeout = std::chrono::seconds(15));
    // start() + waitReady().
    bool startAndWaitReady(std::chrono::milliseconds timeout = std::chrono::seconds(15));

    // Sends command 101 and waits for its answer (result 0) and the exit.
    // The exit status, or nothing when either did not come in time.
    std::optional<ExitStatus> stop(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    std::optional<ExitStatus> kill() { return m_process.kill(); }
    bool signal(int sig) { return m_process.signal(sig); }
    std::optional<ExitStatus> waitExit(std::chrono::milliseconds timeout)
    {
        return m_process.waitExit(timeout);
    }
    bool isRunning() { return m_process.isRunning(); }

    // The daemon's log (its system-log copy on standard error).
    std::string log() const { return m_process.output(); }
    size_t logMark() const { return m_process.outputMark(); }
    bool waitForLog(const std::string &text, std::chrono::milliseconds timeout, size_t from = 0)
    {
        return m_process.waitForOutput(text, timeout, from);
    }
    bool waitForLogRegex(const std::string &pattern, std::chrono::milliseconds timeout,
                         size_t from = 0)
    {
        return m_process.waitForOutputRegex(pattern, timeout, from);
    }
    size_t countInLog(const std::string &text) const { return m_process.countInOutput(text); }

    // The harness's own requester (reply queue created on first use).
    Requester &requester();

    ChildProcess &process() { return m_process; }

    // True when some socket listens on TCP port `port` in this namespace.
    static bool isListening(uint16_t port = kNotifyPort);

private:
    std::string m_binary;
    ChildProcess m_process;
    std::optional<Requester> m_requester;
};

}  // namespace zttest
