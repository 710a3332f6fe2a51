// Isolation and bounds of zt_attack's attacks; see attack_runner.h.
#include "attack_runner.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>

#include "ztTestChild.h"

namespace ztattack {

namespace {

constexpr char kFieldSeparator = '\x1f';

std::string oneLine(std::string text)
{
    for (char &c : text)
        if (c == '\n' || c == kFieldSeparator)
            c = ' ';
    return text;
}

bool bringLoopbackUp()
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    ifreq request = {};
    strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP | IFF_RUNNING);
    up = up && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    close(fd);
    return up;
}

// Private namespaces for the attack child; an empty string when all went
// well, else what failed.
std::string isolate(bool privateTmp, const std::vector<std::string> &keepDirs)
{
    const int flags = CLONE_NEWIPC | CLONE_NEWNET | (privateTmp ? CLONE_NEWNS : 0);
    if (unshare(flags) != 0)
        return std::string("unshare: ") + strerror(errno);
    if (!bringLoopbackUp())
        return std::string("loopback: ") + strerror(errno);
    if (privateTmp) {
        // Mounts made here must not leak back to the machine's namespace.
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("private mounts: ") + strerror(errno);
        // Directories under /tmp that must stay: held open before the tmpfs
        // covers them, then bound again at their old paths.
        std::vector<std::pair<int, std::string>> kept;
        for (const std::string &dir : keepDirs)
            if (dir.compare(0, 5, "/tmp/") == 0)
                kept.emplace_back(open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC), dir);
        if (mount("zt_attack", "/tmp", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") != 0)
            return std::string("tmpfs on /tmp: ") + strerror(errno);
        for (const auto &[fd, dir] : kept) {
            for (size_t slash = dir.find('/', 5); slash != std::string::npos;
                 slash = dir.find('/', slash + 1))
                mkdir(dir.substr(0, slash).c_str(), 0755);
            mkdir(dir.c_str(), 0755);
            const std::string source = "/proc/self/fd/" + std::to_string(fd);
            if (fd < 0 || mount(source.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr) != 0)
                return "keeping " + dir + ": " + strerror(errno);
            close(fd);
        }
    }
    return "";
}

// Reads everything the child writes until it closes the pipe or the
// deadline passes; false on the deadline.
bool readAll(int fd, std::string &out, std::chrono::steady_clock::time_point deadline)
{
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p = {fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return true;
        out.append(buffer, static_cast<size_t>(n));
    }
}

}  // namespace

void Row::fact(bool ok, const std::string &text)
{
    ++checked;
    if (!ok)
        held = false;
    if (!happened.empty())
        happened += "; ";
    happened += ok ? text : text + " (!)";
}

void Row::skip(const std::string &text)
{
    skipped = true;
    if (!happened.empty())
        happened += "; ";
    happened += text + " (skipped)";
}

const char *Row::verdict() const
{
    if (!held)
        return "NOT HELD";
    if (!skipped)
        return "held";
    return checked > 0 ? "held, partly skipped" : "skipped";
}

std::string tail(const std::string &text, int lines)
{
    size_t at = text.size();
    if (at > 0 && text[at - 1] == '\n')
        --at;
    while (lines-- > 0 && at > 0) {
        const size_t newline = text.rfind('\n', at - 1);
        if (newline == std::string::npos)
            return text;
        at = newline;
    }
    return at == 0 ? text : text.substr(at + 1);
}

Row runIsolated(const Attack &attack, const std::vector<std::string> &keepDirs)
{
    Row row;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        row.fact(false, std::string("pipe: ") + strerror(errno));
        return row;
    }
    fflush(stdout);
    fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        close(fds[0]);
        // The attack's output is its row; what its children print is theirs.
        Row result;
        const std::string failed = isolate(attack.privateTmp, keepDirs);
        if (failed.empty())
            attack.run(result);
        else
            result.fact(false, "could not isolate the attack: " + failed);
        const std::string text = std::string(!result.held      ? "0"
                                             : !result.skipped ? "1"
                                             : result.checked  ? "2"
                                                               : "3") +
                                 kFieldSeparator + oneLine(result.sent) + kFieldSeparator +
                                 oneLine(result.happened) + kFieldSeparator + result.detail;
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = write(fds[1], text.data() + done, text.size() - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        _exit(0);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        row.fact(false, std::string("fork: ") + strerror(errno));
        return row;
    }
    setpgid(pid, pid);  // also here: the group must exist before any kill below

    const auto start = std::chrono::steady_clock::now();
    std::string text;
    const bool complete = readAll(fds[0], text, start + std::chrono::seconds(attack.boundSeconds));
    close(fds[0]);
    // The attack's daemons, simulators and helpers are in its group; none may
    // outlive it.
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);

    const size_t a = text.find(kFieldSeparator);
    const size_t b = a == std::string::npos ? a : text.find(kFieldSeparator, a + 1);
    const size_t c = b == std::string::npos ? b : text.find(kFieldSeparator, b + 1);
    if (!complete || c == std::string::npos) {
        row.fact(false, complete ? "the attack ended without a row"
                                 : "the attack did not end within " +
                                       std::to_string(attack.boundSeconds) + " s");
        return row;
    }
    row.held = text[0] != '0';
    row.skipped = text[0] == '2' || text[0] == '3';
    row.checked = text[0] == '3' ? 0 : 1;
    row.sent = text.substr(a + 1, b - a - 1);
    row.happened = text.substr(b + 1, c - b - 1);
    row.detail = text.substr(c + 1);
    return row;
}

}  // namespace ztattack
