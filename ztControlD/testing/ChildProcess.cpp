// Child process with captured output; see ChildProcess.h.
#include "ChildProcess.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <regex.h>
#include <signal.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace zttest {

std::string ExitStatus::describe() const
{
    if (exited)
        return "exit " + std::to_string(code);
    return "signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
}

ChildProcess::~ChildProcess()
{
    if (m_pid > 0 && !m_status)
        kill();
    if (m_reader.joinable()) {
        // A grandchild may still hold the pipe open: wake the reader instead of
        // waiting for the end of its output.
        uint64_t one = 1;
        if (write(m_wakeFd, &one, sizeof one) < 0) {
            // eventfd writes only fail on overflow, which cannot happen here
        }
        m_reader.join();
    }
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
    if (m_pidFd >= 0)
        ::close(m_pidFd);
}

bool ChildProcess::start(const std::string &path, const std::vector<std::string> &args,
                         const std::vector<std::string> &env)
{
    if (m_pid > 0) {
        m_error = "already started";
        return false;
    }
    if (access(path.c_str(), X_OK) != 0) {
        m_error = path + ": " + strerror(errno);
        return false;
    }
    // Build argv and envp before fork: the child only calls async-signal-safe
    // functions (the test process has threads).
    std::vector<std::string> envStrings;
    for (char **e = environ; e && *e; ++e)
        envStrings.emplace_back(*e);
    envStrings.insert(envStrings.end(), env.begin(), env.end());
    std::vector<char *> argv{const_cast<char *>(path.c_str())};
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (auto &e : envStrings)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        m_error = std::string("pipe: ") + strerror(errno);
        return false;
    }
    pid_t pid = fork();
    if (pid < 0) {
        m_error = std::string("fork: ") + strerror(errno);
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0)
            dup2(devnull, STDIN_FILENO);
        // The test may block signals in its threads; the child starts clean.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execve(path.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    ::close(fds[1]);
    m_pid = pid;
    m_wakeFd = eventfd(0, EFD_CLOEXEC);
    m_pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    m_reader = std::thread(&ChildProcess::readerLoop, this, fds[0]);
    return true;
}

void ChildProcess::readerLoop(int fd)
{
    char buf[4096];
    for (;;) {
        pollfd p[2] = {{fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (poll(p, m_wakeFd >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (p[1].revents)
            break;
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_output.append(buf, static_cast<size_t>(n));
        m_cond.notify_all();
    }
    ::close(fd);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_outputClosed = true;
    m_cond.notify_all();
}

std::string ChildProcess::output() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_output;
}

size_t ChildProcess::outputMark() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_output.size();
}

size_t ChildProcess::countInOutput(const std::string &text) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (text.empty())
        return 0;
    size_t count = 0;
    for (size_t pos = m_output.find(text); pos != std::string::npos;
         pos = m_output.find(text, pos + text.size()))
        ++count;
    return count;
}

bool ChildProcess::waitForOutput(const std::string &text, std::chrono::milliseconds timeout,
                                 size_t from)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cond.wait_for(lock, timeout,
                           [&] {
                               return (from <= m_output.size() &&
                                       m_output.find(text, from) != std::string::npos) ||
                                      m_outputClosed;
                           }) &&
           from <= m_output.size() && m_output.find(text, from) != std::string::npos;
}

bool ChildProcess::waitForOutputRegex(const std::string &pattern, std::chrono::milliseconds timeout,
                                      size_t from)
{
    regex_t re;
    if (regcomp(&re, pattern.c_str(), REG_EXTENDED | REG_NOSUB) != 0)
        return false;
    bool found = false;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cond.wait_for(lock, timeout, [&] {
            // A regular expression sees the text up to a NUL byte; logs hold none.
            found = from <= m_output.size() &&
                    regexec(&re, m_output.c_str() + from, 0, nullptr, 0) == 0;
            return found || m_outputClosed;
        });
    }
    regfree(&re);
    return found;
}

bool ChildProcess::signal(int sig)
{
    if (m_pid <= 0 || m_status)
        return false;
    return ::kill(m_pid, sig) == 0;
}

bool ChildProcess::reapNoWait()
{
    if (m_status)
        return true;
    if (m_pid <= 0)
        return false;
    int status = 0;
    pid_t r = waitpid(m_pid, &status, WNOHANG);
    if (r != m_pid)
        return false;
    ExitStatus s;
    s.exited = WIFEXITED(status);
    s.code = s.exited ? WEXITSTATUS(status) : 0;
    s.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    m_status = s;
    return true;
}

bool ChildProcess::isRunning()
{
    return m_pid > 0 && !reapNoWait();
}

std::optional<ExitStatus> ChildProcess::waitExit(std::chrono::milliseconds timeout)
{
    if (m_pid <= 0)
        return std::nullopt;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!reapNoWait()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        if (m_pidFd >= 0) {
            // The pidfd turns readable when the child ends.
            pollfd p{m_pidFd, POLLIN, 0};
            poll(&p, 1, static_cast<int>(left.count()));
        } else {
            // Kernels without pidfd: short polls up to the deadline.
            usleep(5000);
        }
    }
    if (m_reader.joinable()) {
        // The child's end closes the pipe unless a grandchild inherited it; give
        // the reader a bounded moment to take the last bytes.
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cond.wait_for(lock, std::chrono::seconds(2), [&] { return m_outputClosed; });
    }
    return m_status;
}

std::optional<ExitStatus> ChildProcess::kill()
{
    if (m_pid <= 0)
        return std::nullopt;
    if (!m_status)
        ::kill(m_pid, SIGKILL);
    return waitExit(std::chrono::seconds(10));
}

}  // namespace zttest
