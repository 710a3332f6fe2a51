// Runs the real daemon for integration tests; see DaemonHarness.h.
#include "DaemonHarness.h"

#include <mqueue.h>
#include <signal.h>
#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace zttest {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

constexpr uint32_t kHarmlessCommand = 1;  // no handler: answered as unsupported
constexpr uint32_t kStopCommand = 101;

milliseconds leftUntil(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? left : milliseconds(0);
}

}  // namespace

std::string DaemonHarness::binDir()
{
    const char *dir = getenv("ZT_BIN_DIR");
    return dir && *dir ? dir : "bin";
}

DaemonHarness::DaemonHarness(std::string binary)
    : m_binary(binary.empty() ? binDir() + "/ztControlD" : std::move(binary))
{
}

DaemonHarness::~DaemonHarness()
{
    if (m_process.pid() <= 0)
        return;
    auto status = m_process.isRunning() ? m_process.kill() : m_process.waitExit(milliseconds(0));
    // An orderly stop unlinks the daemon's queues; anything else may leave them.
    if (!status || !status->ok()) {
        mq_unlink("/to_ztCtlD");
        mq_unlink("/to_ztCtlD2");
    }
}

bool DaemonHarness::start(const std::vector<std::string> &env)
{
    return m_process.start(m_binary, {}, env);
}

Requester &DaemonHarness::requester()
{
    if (!m_requester)
        m_requester.emplace();
    return *m_requester;
}

bool DaemonHarness::isListening(uint16_t port)
{
    std::ifstream tcp("/proc/net/tcp");
    char wanted[16];
    snprintf(wanted, sizeof wanted, ":%04X", port);
    std::string line;
    std::getline(tcp, line);  // column titles
    while (std::getline(tcp, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        if (!(fields >> slot >> local >> remote >> state))
            continue;
        if (state == "0A" && local.size() > 5 && local.compare(local.size() - 5, 5, wanted) == 0)
            return true;
    }
    return false;
}

bool DaemonHarness::waitReady(milliseconds timeout)
{
    auto deadline = Clock::now() + timeout;
    Requester &req = requester();
    if (!req.ok())
        return false;
    ClientRequest probe;
    probe.command = kHarmlessCommand;
    // The command queue appears once the server has opened its interface.
    while (!req.send(probe)) {
        if (!m_process.isRunning() || Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(milliseconds(20));
    }
    auto reply = req.waitReply(leftUntil(deadline));
    if (!reply || !reply->hasResult)
        return false;
    // The listener opens after the worker announced itself (up to a second later).
    while (!isListening()) {
        if (!m_process.isRunning() || Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(milliseconds(20));
    }
    return true;
}

bool DaemonHarness::startAndWaitReady(milliseconds timeout)
{
    return start() && waitReady(timeout);
}

std::optional<ExitStatus> DaemonHarness::stop(milliseconds timeout)
{
    auto deadline = Clock::now() + timeout;
    Requester &req = requester();
    req.drain();
    auto reply = req.call(kStopCommand, leftUntil(deadline));
    if (!reply || !reply->hasResult || reply->result != 0)
        return std::nullopt;
    return m_process.waitExit(leftUntil(deadline));
}

}  // namespace zttest
