// Test helper: runs code in a forked child with its standard output and
// standard error captured, waiting a bounded time. For code that aborts,
// exits, daemonises or writes to the system log (whose LOG_PERROR copy lands
// on the child's standard error). Call from the test's main thread only.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
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
    std::string out, err;   // what the child wrote to standard output / error

    bool exitedWith(int code) const
    {
        return finished && WIFEXITED(status) && WEXITSTATUS(status) == code;
    }
    bool killedBy(int sig) const
    {
        return finished && WIFSIGNALED(status) && WTERMSIG(status) == sig;
    }
};

// Returns when the child has exited and every process holding its output
// pipes (a daemonised grandchild too) has closed them, or after timeoutMs,
// when the child is killed.
inline ChildResult RunInChild(const std::function<void()> &fn, int timeoutMs = 10000)
{
    ChildResult r;
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0)
        return r;
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        for (int fd : {out[0], out[1], err[0], err[1]})
            close(fd);
        fn();
        fflush(stdout);
        fflush(stderr);
        _exit(0);
    }
    close(out[1]);
    close(err[1]);
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
    auto msLeft = [&] {
        auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        return left > 0 ? static_cast<int>(left) : 0;
    };
    struct pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string *sinks[2] = {&r.out, &r.err};
    for (int open = 2; open > 0 && poll(fds, 2, msLeft()) > 0;) {
        for (int i = 0; i < 2; i++) {
            char buf[4096];
            ssize_t n = fds[i].revents != 0 ? read(fds[i].fd, buf, sizeof buf) : -2;
            if (n > 0) {
                sinks[i]->append(buf, static_cast<size_t>(n));
            } else if (n != -2) {
                close(fds[i].fd);
                fds[i].fd = -1;
                open--;
            }
        }
    }
    for (auto &f : fds)
        if (f.fd >= 0)
            close(f.fd);
    if (pid < 0)
        return r;
    pid_t done;
    while ((done = waitpid(pid, &r.status, WNOHANG)) == 0 && msLeft() > 0)
        poll(nullptr, 0, 1);
    r.finished = done == pid;
    if (!r.finished) {
        kill(pid, SIGKILL);
        waitpid(pid, &r.status, 0);
    }
    // Under user-mode emulation (the aarch64 test stage) the emulator reports
    // a child killed by a signal on the child's standard error.
    for (size_t at; (at = r.err.find("qemu: uncaught target signal ")) != std::string::npos;) {
        size_t end = r.err.find('\n', at);
        r.err.erase(at, end == std::string::npos ? end : end - at + 1);
    }
    return r;
}

// Routes the child's system-log records, tagged "zt", to its standard error
// and passes only the given priority, so a record proves text and priority.
inline void CaptureSyslogAt(int priority)
{
    openlog("zt", LOG_PERROR, LOG_USER);
    setlogmask(LOG_MASK(priority));
}

// Runs `fn` in a forked child as user and group `uid`, without root's
// supplementary groups: its return value (0 to 254) as the child's exit
// status, or -1 when the child could not become that user (no CAP_SETUID, as
// in some containers).
inline int RunAsUser(uid_t uid, const std::function<int()> &fn)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(uid) != 0 || setuid(uid) != 0)
            _exit(255);
        _exit(fn() & 0xFF);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status) == 255 ? -1 : WEXITSTATUS(status);
}

}  // namespace zt_test
