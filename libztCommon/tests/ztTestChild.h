// Test helper: runs a piece of code in a forked child with its standard
// output and standard error captured, and waits for it with a bounded time.
// Used for code that aborts, exits, daemonises or writes to the system log
// (whose LOG_PERROR copy lands on the child's standard error). Call from the
// test's main thread only.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

namespace zt_test {

struct ChildResult {
    bool finished = false;  // false: killed after the time-out
    int status = 0;         // waitpid status
    std::string out;        // everything the child wrote to standard output
    std::string err;        // ... and to standard error

    bool exitedWith(int code) const
    {
        return finished && WIFEXITED(status) && WEXITSTATUS(status) == code;
    }
    bool killedBy(int sig) const
    {
        return finished && WIFSIGNALED(status) && WTERMSIG(status) == sig;
    }
};

// Runs fn in a child and returns when the child has exited and every process
// holding the output pipes (for instance a daemonised grandchild) has closed
// them, or after timeoutMs, when the child is killed.
inline ChildResult RunInChild(const std::function<void()> &fn, int timeoutMs = 10000)
{
    ChildResult result;
    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0)
        return result;
    if (pipe(errPipe) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return result;
    }
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        close(outPipe[0]);
        close(outPipe[1]);
        close(errPipe[0]);
        close(errPipe[1]);
        fn();
        fflush(stdout);
        fflush(stderr);
        _exit(0);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    if (pid < 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        return result;
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto msLeft = [&] {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        return left.count() > 0 ? static_cast<int>(left.count()) : 0;
    };
    struct pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string *sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        int left = msLeft();
        if (left == 0 || poll(fds, 2, left) <= 0)
            break;
        for (int i = 0; i < 2; i++) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buf[4096];
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                open--;
            }
        }
    }
    for (auto &fd : fds) {
        if (fd.fd >= 0)
            close(fd.fd);
    }

    // The child closes its pipe ends only by exiting (or handing them to a
    // grandchild), so it is about done; its process descriptor becomes
    // readable when it has exited.
    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        struct pollfd exitFd = {pidfd, POLLIN, 0};
        poll(&exitFd, 1, msLeft());
        close(pidfd);
    }
    // Without process descriptors (kernels before 5.3) fall back to asking
    // until the deadline.
    pid_t done;
    while ((done = waitpid(pid, &result.status, WNOHANG)) == 0 && pidfd < 0 && msLeft() > 0)
        poll(nullptr, 0, 1);
    if (done == pid) {
        result.finished = true;
    } else {
        kill(pid, SIGKILL);
        waitpid(pid, &result.status, 0);
    }
    // Under user-mode emulation (the aarch64 test stage) qemu reports a child
    // killed by a signal on the child's own standard error; that line is the
    // emulator's, not the code's.
    const std::string emulatorNote = "qemu: uncaught target signal ";
    for (size_t at; (at = result.err.find(emulatorNote)) != std::string::npos;) {
        size_t end = result.err.find('\n', at);
        result.err.erase(at, end == std::string::npos ? std::string::npos : end - at + 1);
    }
    return result;
}

// Routes the child's system-log records to its standard error, tagged "zt",
// and passes only the given priority, so a record that shows up proves both
// its text and its priority.
inline void CaptureSyslogAt(int priority)
{
    openlog("zt", LOG_PERROR, LOG_USER);
    setlogmask(LOG_MASK(priority));
}

// Drops the "ident: " prefix the system log puts before each copied record.
inline std::string StripSyslogIdent(const std::string &line)
{
    auto colon = line.find(": ");
    return colon == std::string::npos ? line : line.substr(colon + 2);
}

}  // namespace zt_test
