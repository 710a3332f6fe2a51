// A child process for tests: starts a binary with its standard output and
// standard error captured through one pipe that a reader thread drains, so
// tests can wait for a line of output and for the exit with time-outs.
// All member functions may be called from any thread of the test.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zttest {

// How a child ended.
struct ExitStatus {
    bool exited = false;  // true: ended through exit(); false: killed by a signal
    int code = 0;         // exit status (0 to 255) when exited
    int signal = 0;       // terminating signal when !exited

    bool ok() const { return exited && code == 0; }
    std::string describe() const;  // "exit 0", "signal 9 (Killed)"
};

class ChildProcess {
public:
    ChildProcess() = default;
    // Kills a child that is still running (SIGKILL), reaps it and joins the reader.
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Starts `path` with argv[1..] = `args` and the test's environment. False
    // when a child was already started or the binary cannot be run; the
    // reason is in error().
    bool start(const std::string &path, const std::vector<std::string> &args = {});

    pid_t pid() const { return m_pid; }
    const std::string &error() const { return m_error; }

    // Everything the child wrote so far (stdout and stderr interleaved), and
    // its current length, to pass as `from` to wait only for later text.
    std::string output() const;
    size_t outputMark() const;

    // Waits until the output from byte `from` on contains `text`. False on
    // time-out or when the child's output ended without it.
    bool waitForOutput(const std::string &text, std::chrono::milliseconds timeout, size_t from = 0);
    size_t countInOutput(const std::string &text) const;

    // Sends `sig` to a child that has not been reaped yet.
    bool signal(int sig);
    // SIGSTOP, then waits up to `timeout` until every thread of the child
    // has stopped: on a busy machine a thread may still run when kill()
    // returns, and take a message meant to wait for it.
    bool pause(std::chrono::milliseconds timeout);
    bool isRunning();
    // Waits up to `timeout` for the child to end and reaps it; the status, or
    // nothing when it is still running.
    std::optional<ExitStatus> waitExit(std::chrono::milliseconds timeout);
    // SIGKILL and reap; the status (also when it had already ended).
    std::optional<ExitStatus> kill();

private:
    bool reapNoWait();

    pid_t m_pid = -1;
    std::string m_error;
    std::optional<ExitStatus> m_status;
    std::thread m_reader;
    std::atomic<bool> m_stopReader{false};

    mutable std::mutex m_mutex;  // guards m_output and m_outputClosed
    std::condition_variable m_cond;
    std::string m_output;
    bool m_outputClosed = false;
};

}  // namespace zttest
