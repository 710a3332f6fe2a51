// Child process with captured output; see ChildProcess.h.
#include "ChildProcess.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

extern char **environ;

namespace zttest {

using namespace std::chrono;

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
    // A grandchild may still hold the pipe open: the reader stops on the flag.
    m_stopReader = true;
    if (m_reader.joinable())
        m_reader.join();
}

bool ChildProcess::start(const std::string &path, const std::vector<std::string> &args)
{
    if (m_pid > 0 || access(path.c_str(), X_OK) != 0) {
        m_error = m_pid > 0 ? "already started" : path + ": " + strerror(errno);
        return false;
    }
    // Built before fork: the child only calls async-signal-safe functions.
    std::vector<char *> argv{const_cast<char *>(path.c_str())};
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0 || (m_pid = fork()) < 0) {
        m_error = std::string("pipe/fork: ") + strerror(errno);
        return false;
    }
    if (m_pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0)
            dup2(devnull, STDIN_FILENO);
        sigset_t none;  // the test may block signals in its threads
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execve(path.c_str(), argv.data(), environ);
        _exit(127);
    }
    ::close(fds[1]);
    m_reader = std::thread([this, fd = fds[0]] {
        char buf[4096];
        while (!m_stopReader) {
            pollfd p{fd, POLLIN, 0};
            const int ready = poll(&p, 1, 50);
            if (ready == 0 || (ready < 0 && errno == EINTR))
                continue;
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
    });
    return true;
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
    size_t count = 0;
    for (size_t pos = m_output.find(text); !text.empty() && pos != std::string::npos;
         pos = m_output.find(text, pos + text.size()))
        ++count;
    return count;
}

bool ChildProcess::waitForOutput(const std::string &text, milliseconds timeout, size_t from)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    bool hit = false;
    m_cond.wait_for(lock, timeout, [&] {
        hit = from <= m_output.size() && m_output.find(text, from) != std::string::npos;
        return hit || m_outputClosed;
    });
    return hit;
}

bool ChildProcess::signal(int sig)
{
    return m_pid > 0 && !m_status && ::kill(m_pid, sig) == 0;
}

bool ChildProcess::pause(milliseconds timeout)
{
    auto threadStopped = [](const std::filesystem::directory_entry &task) {
        std::string stat;
        std::getline(std::ifstream(task.path() / "stat"), stat);
        const size_t name = stat.rfind(") ");
        return name != std::string::npos && stat[name + 2] == 'T';
    };
    const std::filesystem::path tasks = "/proc/" + std::to_string(m_pid) + "/task";
    const auto deadline = steady_clock::now() + timeout;
    bool stopped = signal(SIGSTOP);
    while (stopped && !std::all_of(std::filesystem::directory_iterator(tasks),
                                   std::filesystem::directory_iterator(), threadStopped)) {
        stopped = steady_clock::now() < deadline;
        std::this_thread::sleep_for(milliseconds(5));
    }
    return stopped;
}

bool ChildProcess::reapNoWait()
{
    int status = 0;
    if (m_status || m_pid <= 0 || waitpid(m_pid, &status, WNOHANG) != m_pid)
        return m_status.has_value();
    m_status = ExitStatus{WIFEXITED(status), WIFEXITED(status) ? WEXITSTATUS(status) : 0,
                          WIFSIGNALED(status) ? WTERMSIG(status) : 0};
    return true;
}

bool ChildProcess::isRunning()
{
    return m_pid > 0 && !reapNoWait();
}

std::optional<ExitStatus> ChildProcess::waitExit(milliseconds timeout)
{
    const auto deadline = steady_clock::now() + timeout;
    while (m_pid > 0 && !reapNoWait() && steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(5));
    if (m_status) {
        // Give the reader a bounded moment to take the last bytes.
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cond.wait_for(lock, seconds(2), [&] { return m_outputClosed; });
    }
    return m_status;
}

std::optional<ExitStatus> ChildProcess::kill()
{
    if (m_pid > 0 && !m_status)
        ::kill(m_pid, SIGKILL);
    return waitExit(seconds(10));
}

}  // namespace zttest
