// What the field does to the daemon, played against the real binary: queues
// squatted or left behind, readable queues, files planted where the crash
// report goes, a firmware side that restarts or loses a resume, notification
// clients that stall or hold every slot, floods of malformed messages,
// commands cut short, and restarts. Each attack runs in private namespaces
// (attack_runner.h), within a bound, against a fresh daemon with the scripted
// firmware peer or the real simulator as its firmware side, and ends in one
// row: held, or NOT HELD with the fact that showed it. The exit status is 1
// when any row is NOT HELD.
//
//   zt_attack DAEMON_BINARY SIMULATOR_BINARY [--only N[,N...]]
//
// Run as root: another user's queues and files are planted through
// setuid(65534); without root those checks are reported as skipped.
// scripts/test runs it under scripts/in-netns.
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <libgen.h>
#include <limits.h>
#include <mqueue.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "DaemonHarness.h"
#include "attack_runner.h"
#include "camera_blocks.h"
#include "ztFirmwarePeer.h"
#include "ztTestChild.h"
#include "ztTlv.h"

using namespace std::chrono_literals;
using namespace ztattack;
using zttest::Bytes;
using zttest::ChildProcess;
using zttest::ClientRequest;
using zttest::DaemonHarness;
using zttest::Requester;
using zttest::TcpNotifyClient;
using Clock = std::chrono::steady_clock;

namespace {

std::string g_daemon;
std::string g_simulator;

constexpr uint32_t kRegisterQueue = 0;
constexpr uint32_t kHarmless = 1;  // no handler: answered as unsupported
constexpr uint32_t kPushSwitch = 43;
constexpr uint32_t kBusyQuery = 100;  // one firmware round trip (8, 6)
constexpr uint32_t kStop = 101;
constexpr int32_t kSuspendedNak = 1;
constexpr uint32_t kCsiLogFlags = 123;
constexpr uint32_t kExtendedLogging = 0x200;
constexpr const char *kAddedLog = "Total PUSH_NOTIFICATION clients connected:";

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string fixed(double value, int decimals = 1)
{
    char text[32];
    snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

Bytes text(const std::string &s)
{
    return Bytes(s.begin(), s.end());
}

// The status poll reads these two blocks each pass; zeros are a camera at rest.
void scriptBlocks(ZtFirmwarePeer &peer)
{
    peer.scriptRemote(8, 11, PeerAnswer::Bytes(Bytes(CAMERA_STATUS_BLOCK_SIZE, 0)));
    peer.scriptRemote(7, 30, PeerAnswer::Bytes(Bytes(CAMERA_SETTINGS_BLOCK_SIZE, 0)));
    peer.scriptRemote(8, 6, PeerAnswer::Bytes({0}));
}

// The result of one command, or nothing when no answer came in time.
std::optional<int32_t> result(Requester &requester, uint32_t command,
                              std::optional<Bytes> arg = std::nullopt,
                              std::chrono::milliseconds timeout = 5s)
{
    auto reply = requester.call(ClientRequest{command, std::move(arg), std::nullopt}, timeout);
    if (!reply || !reply->hasResult)
        return std::nullopt;
    return reply->result;
}

std::string resultText(const std::optional<int32_t> &r)
{
    return r ? std::to_string(*r) : "no answer";
}

std::string exitText(const std::optional<zttest::ExitStatus> &status)
{
    return status ? status->describe() : "still running";
}

// Starts the daemon and waits up to 5 s for it to answer and listen. The
// readiness probe is sent again and again: one sent before the daemon
// replaced a queue planted under its name is lost with that queue.
bool startDaemon(DaemonHarness &daemon, Row &row, const std::string &what = "daemon")
{
    bool ready = false;
    const auto deadline = Clock::now() + 5s;
    if (!daemon.start()) {
        row.fact(false, what + " could not be started: " + daemon.process().error());
        return false;
    }
    while (!ready && daemon.isRunning() && Clock::now() < deadline)
        ready = daemon.waitReady(700ms);
    daemon.requester().drain();
    if (!ready) {
        row.fact(false,
                 what + " not answering within 5 s (" + exitText(daemon.waitExit(0ms)) + ")");
        row.detail += tail(daemon.log(), 8) + "\n";
    }
    return ready;
}

void stopDaemon(DaemonHarness &daemon, Row &row, const std::string &what = "daemon")
{
    if (!daemon.isRunning())
        return;
    auto status = daemon.stop(5s);
    if (!status || !status->ok()) {
        row.fact(false, what + " did not stop cleanly on 101 (" + exitText(status) + ")");
        row.detail += tail(daemon.log(), 8) + "\n";
    }
}

// Mode, owner and message size of a queue, read through a descriptor.
struct QueueFacts {
    bool exists = false;
    mode_t mode = 0;
    uid_t uid = 0;
    long msgSize = 0;
};

QueueFacts queueFacts(const char *name)
{
    QueueFacts facts;
    const mqd_t q = mq_open(name, O_RDONLY | O_NONBLOCK);
    if (q == (mqd_t)-1)
        return facts;
    struct stat st = {};
    mq_attr attr = {};
    facts.exists = fstat(q, &st) == 0 && mq_getattr(q, &attr) == 0;
    facts.mode = st.st_mode & 07777;
    facts.uid = st.st_uid;
    facts.msgSize = attr.mq_msgsize;
    mq_close(q);
    return facts;
}

std::string octal(mode_t mode)
{
    char text[16];
    snprintf(text, sizeof text, "0%o", static_cast<unsigned>(mode));
    return text;
}

// True once the daemon closed (or reset) the connection; looks without
// waiting and without reading.
bool closedByPeer(int fd)
{
    pollfd p = {fd, POLLRDHUP, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

bool containsNoCase(const std::string &haystack, const std::string &needle)
{
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(),
                       [](char a, char b) {
                           return std::tolower(static_cast<unsigned char>(a)) ==
                                  std::tolower(static_cast<unsigned char>(b));
                       }) != haystack.end();
}

// A log record's message without the record's head and source suffix.
std::string recordText(std::string line)
{
    const size_t level = line.find("] [");
    const size_t text = level == std::string::npos ? level : line.find("] ", level + 3);
    if (text != std::string::npos)
        line = line.substr(text + 2);
    return line.substr(0, line.rfind(" @"));
}

// The first line of `log` holding `what` (any case), or "".
std::string lineWith(const std::string &log, const std::string &what)
{
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos)
            end = log.size();
        const std::string line = log.substr(start, end - start);
        if (containsNoCase(line, what))
            return line;
        start = end + 1;
    }
    return "";
}

// ---------------------------------------------------------------------------
// 1. Queue squatting.

// Another user who created "/to_ztCtlD" before the daemon started, left a
// stop command in it, and keeps its descriptor. strike() makes it send the
// stop again through that descriptor and by name, once the daemon runs.
class Squatter {
public:
    Squatter(long msgSize, const Bytes &stop)
    {
        int up[2], down[2];
        if (pipe2(up, O_CLOEXEC) != 0 || pipe2(down, O_CLOEXEC) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            close(up[0]);
            close(down[1]);
            _exit(squat(msgSize, stop, up[1], down[0]));
        }
        close(up[1]);
        close(down[0]);
        m_up = up[0];
        m_down = down[1];
    }
    ~Squatter()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_up >= 0)
            close(m_up);
        if (m_down >= 0)
            close(m_down);
    }

    // 'R' once the queue exists with the stop in it; 'U' when the child could
    // not become the other user; 'E' when the queue could not be made.
    char ready() { return readByte(3000); }

    // Bits: 1 sent through the old descriptor, 2 opened the queue by name for
    // writing, 4 sent through it; -1 when the child did not report.
    int strike()
    {
        const char go = 'G';
        if (write(m_down, &go, 1) != 1)
            return -1;
        const int bits = readByte(3000);
        return bits < 0 ? -1 : bits;
    }

private:
    static int squat(long msgSize, const Bytes &stop, int up, int down)
    {
        char status = 'U';
        if (setgroups(0, nullptr) != 0 || setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0) {
            (void)!write(up, &status, 1);
            return 1;
        }
        umask(0);
        mq_attr attr = {};
        attr.mq_maxmsg = 10;
        attr.mq_msgsize = msgSize;
        const mqd_t q = mq_open("/to_ztCtlD", O_RDWR | O_CREAT | O_EXCL | O_NONBLOCK, 0666, &attr);
        const auto send = [&stop](mqd_t to) {
            return mq_send(to, reinterpret_cast<const char *>(stop.data()), stop.size(), 0) == 0;
        };
        status = q != (mqd_t)-1 && send(q) ? 'R' : 'E';
        (void)!write(up, &status, 1);
        char go = 0;
        if (status != 'R' || read(down, &go, 1) != 1)
            return 1;
        char bits = send(q) ? 1 : 0;
        const mqd_t byName = mq_open("/to_ztCtlD", O_WRONLY | O_NONBLOCK);
        if (byName != (mqd_t)-1)
            bits = static_cast<char>(bits | 2 | (send(byName) ? 4 : 0));
        (void)!write(up, &bits, 1);
        return 0;
    }

    // The byte the child reported (0..255), or -1 when none came in time.
    int readByte(int timeoutMs)
    {
        pollfd p = {m_up, POLLIN, 0};
        unsigned char c = 0;
        if (poll(&p, 1, timeoutMs) != 1 || read(m_up, &c, 1) != 1)
            return -1;
        return c;
    }

    pid_t m_pid = -1;
    int m_up = -1;
    int m_down = -1;
};

void squattedQueue(Row &row, long msgSize)
{
    mq_unlink("/to_ztCtlD");
    mq_unlink("/to_ztCtlD2");
    const std::string tag = std::to_string(msgSize) + "-byte squat: ";
    Requester squatterReply("/zt_attack_squatter");
    const Bytes stop =
        zttest::buildClientRequest(ClientRequest{kStop, {}, {}}, squatterReply.queueName());
    Squatter squatter(msgSize, stop);
    const char state = squatter.ready();
    if (state == 'U') {
        row.skip(tag + "cannot become uid 65534");
        return;
    }
    if (state != 'R') {
        row.fact(false, tag + "the squatter could not create the queue");
        return;
    }
    ZtFirmwarePeer peer;
    DaemonHarness daemon(g_daemon);
    if (!startDaemon(daemon, row, tag + "daemon"))
        return;
    const QueueFacts facts = queueFacts("/to_ztCtlD");
    row.fact(facts.uid == 0 && facts.msgSize == ZTMSG_MAX,
             tag + "answers its owner, queue now uid " + std::to_string(facts.uid) + " " +
                 std::to_string(facts.msgSize) + " B " + octal(facts.mode));
    const int bits = squatter.strike();
    // The daemon takes its queue in order: an answer to this request comes
    // after whatever the squatter's messages did.
    const auto fence = result(daemon.requester(), kHarmless, std::nullopt, 3s);
    const bool answered = squatterReply.waitReply(300ms).has_value();
    const bool running = daemon.isRunning();
    row.fact(bits >= 0 && !(bits & 2), tag + (bits < 0   ? "the squatter did not report"
                                              : bits & 2 ? "uid 65534 opened it by name"
                                                         : "uid 65534 refused by name"));
    row.fact(!answered && running && fence.has_value(),
             tag + (answered   ? "a 101 of uid 65534 was answered"
                    : !running ? "the daemon ended (ran a 101 of uid 65534)"
                               : "no 101 of uid 65534 (stale or new) ran"));
    stopDaemon(daemon, row);
}

void secondDaemon(Row &row)
{
    mq_unlink("/to_ztCtlD");
    mq_unlink("/to_ztCtlD2");
    ZtFirmwarePeer peer;
    DaemonHarness first(g_daemon);
    if (!startDaemon(first, row, "first daemon"))
        return;
    DaemonHarness second(g_daemon);
    second.start();
    const auto status = second.waitExit(5s);
    const std::string said = recordText(tail(second.log(), 1));
    row.fact(status && !status->ok(), "second daemon: " + exitText(status) + " \"" + said + "\"");
    if (!status)
        second.kill();
    Requester fresh;
    const auto answer = result(fresh, kHarmless, std::nullopt, 3s);
    row.fact(answer.has_value() && first.isRunning(),
             answer ? "first still answers by name" : "first no longer reachable by name");
    if (answer)
        stopDaemon(first, row, "first daemon");
}

void queueSquatting(Row &row)
{
    row.sent =
        "uid 65534 creates /to_ztCtlD 0666 (10 x 8192 B, then 10 x 1500 B) with a 101 in it "
        "before start, sends 101 again by old descriptor and by name; a second daemon beside "
        "a running one";
    squattedQueue(row, 8192);
    squattedQueue(row, ZTMSG_MAX);
    secondDaemon(row);
}

// ---------------------------------------------------------------------------
// 2. Readable queues.

void readableQueues(Row &row)
{
    row.sent = "daemon started with umask 0; uid 65534 opens its queues for reading";
    ZtFirmwarePeer peer;
    DaemonHarness daemon(g_daemon);
    const mode_t saved = umask(0);
    const bool ready = startDaemon(daemon, row);
    umask(saved);
    if (!ready)
        return;
    for (const char *name : {"/to_ztCtlD", "/to_ztCtlD2"}) {
        const QueueFacts facts = queueFacts(name);
        row.fact(facts.exists && facts.mode == 0660,
                 std::string(name) + " " + (facts.exists ? octal(facts.mode) : "missing"));
    }
    const int opened = zt_test::RunAsUser(kOtherUser, [] {
        int bits = 0;
        const char *names[] = {"/to_ztCtlD", "/to_ztCtlD2"};
        for (int i = 0; i < 2; ++i) {
            const mqd_t q = mq_open(names[i], O_RDONLY | O_NONBLOCK);
            if (q != (mqd_t)-1)
                bits |= 1 << i;
        }
        return bits;
    });
    if (opened < 0)
        row.skip("cannot become uid 65534");
    else
        row.fact(opened == 0, opened == 0 ? "uid 65534 cannot read either"
                                          : "uid 65534 opened " +
                                                std::string(opened & 1 ? "/to_ztCtlD " : "") +
                                                (opened & 2 ? "/to_ztCtlD2 " : "") + "for reading");
    stopDaemon(daemon, row);
}

// ---------------------------------------------------------------------------
// 3. Crash report plants (a private /tmp).

void crashReportPlants(Row &row)
{
    std::vector<char> copy(g_daemon.begin(), g_daemon.end());
    copy.push_back('\0');
    const std::string path = std::string("/tmp/crash_report_") + basename(copy.data()) + ".log";
    row.sent = "uid 65534 plants a FIFO (read end held open) or its own 0666 file at " + path +
               " before start; SIGTERM, SIGSEGV";
    static const char kPlanted[] = "planted by uid 65534\n";
    ZtFirmwarePeer peer;
    for (const bool fifo : {true, false}) {
        for (const int sig : {SIGTERM, SIGSEGV}) {
            const std::string tag = std::string(fifo ? "FIFO" : "file") + "+" +
                                    (sig == SIGTERM ? "SIGTERM" : "SIGSEGV") + ": ";
            unlink(path.c_str());
            const int planted = zt_test::RunAsUser(kOtherUser, [&path, fifo] {
                umask(0);
                if (fifo)
                    return mkfifo(path.c_str(), 0666) == 0 ? 0 : 1;
                const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
                const bool ok = fd >= 0 && write(fd, kPlanted, sizeof kPlanted - 1) ==
                                               static_cast<ssize_t>(sizeof kPlanted - 1);
                return ok && close(fd) == 0 ? 0 : 1;
            });
            if (planted < 0) {
                row.skip("cannot become uid 65534 to plant");
                return;
            }
            if (planted != 0) {
                row.fact(false, tag + "could not plant");
                return;
            }
            // The planter holds its plant open: the FIFO's read end, or the
            // file itself, which may be unlinked and replaced but must never
            // receive the report.
            const int plant = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            DaemonHarness daemon(g_daemon);
            if (!startDaemon(daemon, row, tag + "daemon"))
                return;
            daemon.signal(sig);
            const auto start = Clock::now();
            auto status = daemon.waitExit(5s);
            const double took = msSince(start);
            row.fact(status.has_value(), tag + (status ? "ended (" + status->describe() + ") in " +
                                                             fixed(took, 0) + " ms"
                                                       : "not ended within 5 s"));
            if (!status)
                daemon.kill();
            std::string content;
            char buffer[4096];
            ssize_t n;
            while (plant >= 0 && (n = read(plant, buffer, sizeof buffer)) > 0)
                content.append(buffer, static_cast<size_t>(n));
            struct stat st = {};
            const bool owned = plant >= 0 && fstat(plant, &st) == 0 && st.st_uid == kOtherUser;
            if (plant >= 0)
                close(plant);
            if (fifo)
                row.fact(owned && content.empty(),
                         tag + "FIFO received " + std::to_string(content.size()) + " B");
            else
                row.fact(owned && content == kPlanted,
                         tag + (content == kPlanted
                                    ? "file untouched"
                                    : "file now holds " + std::to_string(content.size()) + " B"));
            if (!row.held && row.detail.empty())
                row.detail = tail(daemon.log(), 8);
        }
    }
    unlink(path.c_str());
}

// ---------------------------------------------------------------------------
// 4 and 5. The real simulator as the firmware side.

// The simulator as a child; its console reads `consoleFd` when given (a pipe
// the attack writes), else it has none.
bool startSimulator(ChildProcess &sim, Row &row, int consoleFd = -1)
{
    const bool started =
        consoleFd < 0 ? sim.start(g_simulator, {"--no-console"})
                      : sim.start("/bin/sh", {"-c", "exec \"$0\" <&" + std::to_string(consoleFd),
                                              g_simulator});
    if (!started || !sim.waitForOutput("serving /to_ztnet", 5s)) {
        row.fact(false, "simulator did not start: " + sim.error() + tail(sim.output(), 2));
        return false;
    }
    return true;
}

void firmwareRestart(Row &row)
{
    row.sent =
        "busy query (100); simulator killed (SIGKILL) and started again; busy query "
        "until answered 0, at most 2 tries";
    auto sim = std::make_unique<ChildProcess>();
    if (!startSimulator(*sim, row))
        return;
    DaemonHarness daemon(g_daemon);
    if (!startDaemon(daemon, row))
        return;
    Requester &requester = daemon.requester();
    const auto before = result(requester, kBusyQuery);
    row.fact(before == 0, "before: " + resultText(before));
    sim->kill();
    const auto during = result(requester, kBusyQuery);
    row.fact(true, "simulator gone: " + resultText(during));
    sim = std::make_unique<ChildProcess>();
    if (!startSimulator(*sim, row))
        return;
    std::optional<int32_t> after;
    int tries = 0;
    while (after != 0 && tries < 2) {
        ++tries;
        after = result(requester, kBusyQuery);
    }
    row.fact(after == 0, "restarted: " + resultText(after) + " on try " + std::to_string(tries));
    if (!row.held)
        row.detail = tail(daemon.log(), 8);
    stopDaemon(daemon, row);
    sim->signal(SIGTERM);
    sim->waitExit(3s);
}

void lostResume(Row &row)
{
    row.sent =
        "simulator suspends the daemon (js); daemon stopped (SIGSTOP), its queue filled "
        "with requests; simulator resumes (jr); daemon continued";
    int console[2];
    if (pipe(console) != 0) {
        row.fact(false, "pipe failed");
        return;
    }
    fcntl(console[1], F_SETFD, FD_CLOEXEC);
    ChildProcess sim;
    const bool started = startSimulator(sim, row, console[0]);
    close(console[0]);
    const auto say = [&console](const char *line) { (void)!write(console[1], line, strlen(line)); };
    if (!started)
        return;
    DaemonHarness daemon(g_daemon);
    if (!startDaemon(daemon, row))
        return;
    Requester &requester = daemon.requester();

    say("js\n");
    std::optional<int32_t> suspended;
    const auto until = Clock::now() + 3s;
    while (suspended != kSuspendedNak && Clock::now() < until)
        suspended = result(requester, kBusyQuery, std::nullopt, 1s);
    row.fact(suspended == kSuspendedNak, "suspended: busy query " + resultText(suspended));
    if (suspended != kSuspendedNak)
        return;

    daemon.pause(3s);
    int sent = 0;
    const mqd_t queue = mq_open("/to_ztCtlD", O_WRONLY | O_NONBLOCK);
    mq_attr attr = {};
    while (queue != (mqd_t)-1 && mq_getattr(queue, &attr) == 0 &&
           attr.mq_curmsgs < attr.mq_maxmsg && sent < 64) {
        requester.send(ClientRequest{kBusyQuery, {}, {}});
        ++sent;
    }
    if (queue != (mqd_t)-1)
        mq_close(queue);
    const size_t mark = sim.outputMark();
    say("jr\n");
    const bool metFull = sim.waitForOutput("full", 3s, mark);
    row.fact(true, std::to_string(sent) + " requests filled the queue" +
                       (metFull ? ", resume met it full" : ""));
    daemon.signal(SIGCONT);
    for (int i = 0; i < sent; ++i)
        requester.waitReply(5s);

    std::optional<int32_t> after;
    const auto start = Clock::now();
    while (after != 0 && Clock::now() < start + 10s) {
        after = result(requester, kBusyQuery, std::nullopt, 2s);
        if (after != 0)
            std::this_thread::sleep_for(200ms);
    }
    row.fact(after == 0, after == 0 ? "answers 0 again after " + fixed(msSince(start), 0) + " ms"
                                    : "still " + resultText(after) + " after 10 s");
    if (!row.held)
        row.detail = tail(daemon.log(), 4) + "\n" + tail(sim.output(), 6);
    stopDaemon(daemon, row);
    close(console[1]);
    sim.signal(SIGTERM);
    sim.waitExit(3s);
}

// ---------------------------------------------------------------------------
// 6. Stalled TCP readers.

void stalledReaders(Row &row)
{
    constexpr int kStalled = 9;
    // Before the fix one stalled reader held the worker for 2 s; the 50 ms
    // target is the benchmark's (zt_bench, quiet machine). Here the bound
    // only tells "never waits on a client" from "waits", on a busy machine.
    constexpr double kLimitMs = 1000;
    row.sent =
        "9 TCP clients (1 KiB receive buffer) that never read + 1 that reads; push "
        "switched on and off with a probe (1) between, up to 8 s";
    ZtFirmwarePeer peer;
    scriptBlocks(peer);
    DaemonHarness daemon(g_daemon);
    if (!startDaemon(daemon, row))
        return;
    std::vector<std::unique_ptr<TcpNotifyClient>> stalled;
    for (int i = 0; i < kStalled; ++i) {
        stalled.push_back(std::make_unique<TcpNotifyClient>());
        stalled.back()->connect(5s, zttest::kNotifyPort, 1024);
    }
    TcpNotifyClient healthy;
    healthy.connect(5s);
    std::atomic<bool> stop{false};
    std::atomic<long> frames{0};
    std::thread reader([&] {
        while (!stop)
            if (healthy.readFrame(200ms))
                ++frames;
    });

    Requester &requester = daemon.requester();
    double worst = 0;
    long commands = 0;
    int dropped = 0;
    bool unanswered = false;
    std::vector<double> rtts;
    const auto deadline = Clock::now() + 8s;
    for (int i = 0; Clock::now() < deadline && dropped < kStalled; ++i) {
        const int step = i % 4;  // on, probe, off, probe
        const auto start = Clock::now();
        const auto answer = step % 2 ? result(requester, kHarmless, std::nullopt, 3s)
                                     : result(requester, kPushSwitch,
                                              text(step == 0 ? "status=1" : "status=0"), 3s);
        rtts.push_back(msSince(start));
        worst = std::max(worst, rtts.back());
        ++commands;
        if (!answer) {
            unanswered = true;
            break;
        }
        dropped = 0;
        for (auto &client : stalled)
            dropped += closedByPeer(client->fd()) ? 1 : 0;
    }
    std::sort(rtts.begin(), rtts.end());
    const double median = rtts.empty() ? 0 : rtts[rtts.size() / 2];
    row.fact(!unanswered && worst < kLimitMs,
             "max round trip " + fixed(worst) + " ms (median " + fixed(median, 2) + ") over " +
                 std::to_string(commands) + " commands" +
                 (unanswered ? ", one unanswered within 3 s" : ""));
    row.fact(dropped == kStalled, std::to_string(dropped) + " stalled clients dropped");
    if (!unanswered) {
        // Switched off and on, the healthy client gets the whole state again.
        result(requester, kPushSwitch, text("status=0"), 3s);
        result(requester, kPushSwitch, text("status=1"), 3s);
        const long before = frames;
        const auto until = Clock::now() + 3s;
        while (frames == before && Clock::now() < until)
            std::this_thread::sleep_for(20ms);
        row.fact(frames > before && !closedByPeer(healthy.fd()),
                 "healthy client " + std::string(frames > before ? "still served" : "starved") +
                     " (" + std::to_string(frames.load()) + " frames)");
    }
    stop = true;
    reader.join();
    if (!row.held)
        row.detail = tail(daemon.log(), 8);
    stalled.clear();
    healthy.close();
    if (!unanswered)
        stopDaemon(daemon, row);
}

// Switches push off and on until `client` receives a frame, within 5 s: a
// client the listener has not taken in yet misses a switch.
bool servedAfterSwitch(Requester &requester, TcpNotifyClient &client)
{
    const auto until = Clock::now() + 5s;
    while (Clock::now() < until && !closedByPeer(client.fd())) {
        result(requester, kPushSwitch, text("status=0"), 2s);
        result(requester, kPushSwitch, text("status=1"), 2s);
        if (client.readFrame(500ms))
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// 7. Slot exhaustion.

void slotExhaustion(Row &row)
{
    row.sent =
        "10 TCP clients that never switch push on; a queue registration (0) and an 11th "
        "client; then all closed, the queue deleted unregistered, 10 new clients";
    ZtFirmwarePeer peer;
    scriptBlocks(peer);
    peer.setCsiItem(kCsiLogFlags, kExtendedLogging);  // logs the client count
    DaemonHarness daemon(g_daemon);
    if (!startDaemon(daemon, row))
        return;
    Requester &requester = daemon.requester();
    std::vector<std::unique_ptr<TcpNotifyClient>> idle;
    for (int i = 0; i < 10; ++i) {
        idle.push_back(std::make_unique<TcpNotifyClient>());
        idle.back()->connect(5s);
    }
    const bool tenIn = daemon.waitForLog(std::string(kAddedLog) + "10 ", 5s);
    row.fact(tenIn, tenIn ? "10 idle clients in" : "10 idle clients not all taken in");

    // A client that never switched push on holds its slot for a while; the
    // registration is tried until it gets in, for up to 13 s.
    auto queueClient = std::make_unique<zttest::QueueNotifyReader>();
    std::optional<int32_t> registered;
    const auto registering = Clock::now();
    while (registered != 0 && Clock::now() < registering + 13s) {
        registered = result(requester, kRegisterQueue, queueClient->registerArg(true), 2s);
        if (registered != 0)
            std::this_thread::sleep_for(500ms);
    }
    row.fact(registered == 0, "queue registration: " + resultText(registered) + " after " +
                                  fixed(msSince(registering) / 1000.0) + " s");
    // The idle ten came in over a moment, so the next one's grace may still
    // be running: the 11th is turned away until it has passed, and like any
    // client it connects again, for up to 13 s too.
    TcpNotifyClient eleventh;
    bool served = false;
    const auto connecting = Clock::now();
    while (!served && Clock::now() < connecting + 13s) {
        eleventh.connect(5s);
        served = servedAfterSwitch(requester, eleventh);
        if (!served)
            std::this_thread::sleep_for(500ms);
    }
    row.fact(served, std::string(served ? "11th client served" : "11th client not served") +
                         " after " + fixed(msSince(connecting) / 1000.0) + " s");
    result(requester, kPushSwitch, text("status=0"));

    // Nothing is delivered now, so only the daemon's own care frees slots.
    // Ten newcomers, none old enough to push another out, need the slots of
    // the closed connections and of the deleted queue.
    idle.clear();
    eleventh.close();
    queueClient.reset();
    std::vector<std::unique_ptr<TcpNotifyClient>> fresh;
    for (int i = 0; i < 10; ++i) {
        fresh.push_back(std::make_unique<TcpNotifyClient>());
        fresh.back()->connect(3s);
    }
    int servedFresh = 0;
    for (auto &client : fresh)
        servedFresh += servedAfterSwitch(requester, *client) ? 1 : 0;
    row.fact(servedFresh == 10,
             std::to_string(servedFresh) + " of 10 new clients served in the freed slots");
    if (!row.held)
        row.detail = tail(daemon.log(), 8);
    stopDaemon(daemon, row);
}

// ---------------------------------------------------------------------------
// 8. Log flood.

void logFlood(Row &row)
{
    constexpr int kMessages = 2000;
    // What tells a flood that costs its log lines from one that does not is
    // the suppression below; the round-trip bound only catches a worker held
    // for long (timing targets are the benchmark's).
    constexpr double kLimitMs = 1000;
    row.sent =
        "2000 malformed 3-byte messages on /to_ztCtlD (no syslog), probe (1) "
        "round trips meanwhile";
    // No system log: where the machine has one, its socket is covered here.
    struct stat st = {};
    if (lstat("/dev/log", &st) == 0 && mount("/dev/null", "/dev/log", nullptr, MS_BIND, nullptr))
        row.fact(false, std::string("could not hide /dev/log: ") + strerror(errno));
    ZtFirmwarePeer peer;
    DaemonHarness daemon(g_daemon);
    if (!startDaemon(daemon, row))
        return;
    std::atomic<int> flooded{0};
    std::atomic<bool> done{false};
    const auto start = Clock::now();
    std::thread flood([&] {
        const mqd_t q = mq_open("/to_ztCtlD", O_WRONLY);
        const char junk[3] = {0, 3, 0};
        const auto deadline = start + 10s;
        for (int i = 0; i < kMessages && q != (mqd_t)-1 && Clock::now() < deadline; ++i) {
            timespec until = {};
            clock_gettime(CLOCK_REALTIME, &until);
            until.tv_sec += 2;
            if (mq_timedsend(q, junk, sizeof junk, 0, &until) != 0)
                break;
            ++flooded;
        }
        if (q != (mqd_t)-1)
            mq_close(q);
        done = true;
    });
    Requester &requester = daemon.requester();
    double worst = 0;
    long probes = 0;
    bool unanswered = false;
    while (!done) {
        const auto sent = Clock::now();
        if (!result(requester, kHarmless))
            unanswered = true;
        worst = std::max(worst, msSince(sent));
        ++probes;
    }
    flood.join();
    const double took = msSince(start);
    result(requester, kHarmless);  // the last junk has been read
    // Counts of dropped records come out at the end of their window or at
    // exit at the latest.
    stopDaemon(daemon, row);
    const std::string log = daemon.log();
    size_t lines = 0;
    for (size_t at = log.find("Dropping malformed message"); at != std::string::npos;
         at = log.find("Dropping malformed message", at + 1))
        ++lines;
    // Counts reported for the dropping line: records that end with its
    // source suffix and tell of suppressed ones.
    const std::string dropLine = lineWith(log, "Dropping malformed message");
    const std::string source = dropLine.substr(std::min(dropLine.rfind(" @"), dropLine.size()));
    long counted = 0;
    int reports = 0;
    std::istringstream records(log);
    for (std::string line; std::getline(records, line);) {
        if (source.empty() || !containsNoCase(line, "suppress") || line.size() < source.size() ||
            line.compare(line.size() - source.size(), source.size(), source) != 0)
            continue;
        const std::string message = recordText(line);
        const size_t digit = message.find_first_of("0123456789");
        if (digit != std::string::npos)
            counted += atol(message.c_str() + digit);
        ++reports;
    }
    row.fact(flooded == kMessages,
             std::to_string(flooded.load()) + " sent in " + fixed(took / 1000.0) + " s");
    row.fact(!unanswered && worst < kLimitMs, "worst probe round trip " + fixed(worst) +
                                                  " ms over " + std::to_string(probes) +
                                                  (unanswered ? ", one unanswered" : ""));
    row.fact(reports > 0, std::to_string(lines) + " drop lines written, " +
                              (reports > 0 ? std::to_string(counted) + " counted in " +
                                                 std::to_string(reports) + " suppression lines"
                                           : "no suppression line"));
    if (!row.held)
        row.detail = tail(log, 4);
}

// ---------------------------------------------------------------------------
// 9. Half-valid commands.

Bytes halfCommand(const uint8_t *value, uint32_t length, const std::string &replyQueue)
{
    Bytes msg(ZTMSG_MAX);
    uint8_t *m = msg.data();
    sntlv_msg_init(m, ZTMSG_MAX, 20);
    sntlv_add_bin(m, ZTMSG_MAX, TLV_CMD, length, value);
    sntlv_add_bin(m, ZTMSG_MAX, TLV_SRC, static_cast<uint32_t>(replyQueue.size()),
                  replyQueue.data());
    sntlv_add_bin(m, ZTMSG_MAX, TLV_END, 0, nullptr);
    msg.resize(static_cast<size_t>(sntlv_msg_len(m)));
    return msg;
}

void halfValidCommands(Row &row)
{
    row.sent =
        "command elements of 0 to 3 bytes holding 101 (stop) and 100 (firmware query), "
        "then a whole request";
    ZtFirmwarePeer peer;
    scriptBlocks(peer);
    DaemonHarness daemon(g_daemon);
    if (!startDaemon(daemon, row))
        return;
    Requester half;
    int sent = 0;
    const uint8_t stop[3] = {kStop, 0, 0};
    const uint8_t busy[3] = {kBusyQuery, 0, 0};
    const Bytes none = halfCommand(nullptr, 0, half.queueName());
    sent += zttest::sendRaw(none.data(), none.size()) ? 1 : 0;
    for (uint32_t length = 1; length <= 3; ++length) {
        for (const uint8_t *value : {busy, stop}) {
            const Bytes msg = halfCommand(value, length, half.queueName());
            sent += zttest::sendRaw(msg.data(), msg.size()) ? 1 : 0;
        }
    }
    // Taken in order: once this is answered, the ones before were handled.
    const auto fence = result(daemon.requester(), kHarmless, std::nullopt, 3s);
    int answers = 0;
    while (half.waitReply(answers == 0 ? 200ms : 0ms))
        ++answers;
    size_t firmware = 0;
    for (const PeerRequest &request : peer.requests())
        firmware += request.isRemote(8, 6) ? 1 : 0;
    row.fact(sent == 7, std::to_string(sent) + " sent");
    row.fact(answers == 0, std::to_string(answers) + " answered");
    row.fact(firmware == 0, std::to_string(firmware) + " firmware queries run");
    row.fact(fence.has_value() && daemon.isRunning(),
             daemon.isRunning() ? "daemon still serving" : "daemon stopped");
    if (!row.held)
        row.detail = tail(daemon.log(), 8);
    stopDaemon(daemon, row);
}

// ---------------------------------------------------------------------------
// 10. Restart.

void restart(Row &row)
{
    row.sent =
        "stop (101) with a TCP client connected, start again at once; a stop sent as "
        "soon as the queue exists";
    ZtFirmwarePeer peer;
    scriptBlocks(peer);
    {
        DaemonHarness first(g_daemon);
        if (!startDaemon(first, row, "first daemon"))
            return;
        TcpNotifyClient client;
        client.connect(5s);
        const bool accepted = servedAfterSwitch(first.requester(), client);
        row.fact(accepted, accepted ? "client connected and served" : "client not served");
        auto stopped = first.stop(5s);
        row.fact(stopped && stopped->ok(), "first stopped: " + exitText(stopped));
        DaemonHarness second(g_daemon);
        const auto start = Clock::now();
        const bool ready = second.start() && second.waitReady(5s);
        row.fact(ready, ready ? "restart serving after " + fixed(msSince(start), 0) + " ms"
                              : "restart not serving (" + exitText(second.waitExit(0ms)) + ")");
        if (!ready)
            row.detail = tail(second.log(), 4);
        client.close();
        if (ready)
            stopDaemon(second, row, "restarted daemon");
    }
    DaemonHarness early(g_daemon);
    const auto start = Clock::now();
    early.start();
    while (!zttest::queueExists("/to_ztCtlD") && Clock::now() < start + 3s && early.isRunning())
        std::this_thread::sleep_for(2ms);
    const double at = msSince(start);
    early.requester().send(ClientRequest{kStop, {}, {}});
    const auto status = early.waitExit(5s);
    row.fact(status && status->ok() && at < 1000,
             "stop at " + fixed(at, 0) + " ms: " + exitText(status) +
                 (status ? " after " + fixed(msSince(start), 0) + " ms" : " 5 s later"));
    if (!status || !status->ok())
        row.detail += tail(early.log(), 4);
}

const std::vector<Attack> kAttacks = {
    {"1 queue squatting", false, 25, queueSquatting},
    {"2 readable queues", false, 20, readableQueues},
    {"3 crash report plants", true, 20, crashReportPlants},
    {"4 firmware side restart", false, 20, firmwareRestart},
    {"5 lost resume", false, 20, lostResume},
    {"6 stalled TCP readers", false, 20, stalledReaders},
    {"7 slot exhaustion", false, 25, slotExhaustion},
    {"8 log flood", true, 20, logFlood},
    {"9 half-valid commands", false, 20, halfValidCommands},
    {"10 restart", false, 20, restart},
};

std::string absolute(const char *path)
{
    char resolved[PATH_MAX];
    return realpath(path, resolved) ? resolved : path;
}

}  // namespace

int main(int argc, char **argv)
{
    std::vector<bool> chosen(kAttacks.size(), true);
    std::vector<std::string> binaries;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            std::fill(chosen.begin(), chosen.end(), false);
            for (const char *p = argv[++i]; *p;) {
                char *end = nullptr;
                const long n = strtol(p, &end, 10);
                if (end == p)
                    break;
                if (n >= 1 && n <= static_cast<long>(kAttacks.size()))
                    chosen[static_cast<size_t>(n - 1)] = true;
                p = *end == ',' ? end + 1 : end;
            }
        } else {
            binaries.push_back(absolute(argv[i]));
        }
    }
    if (binaries.size() != 2) {
        fprintf(stderr, "usage: %s DAEMON_BINARY SIMULATOR_BINARY [--only N[,N...]]\n", argv[0]);
        return 2;
    }
    g_daemon = binaries[0];
    g_simulator = binaries[1];
    // Attacks with a /tmp of their own must still reach the binaries.
    std::vector<std::string> keep;
    for (const std::string &binary : binaries)
        keep.push_back(binary.substr(0, binary.rfind('/')));
    // Writes to a daemon's closed socket must not end an attack.
    signal(SIGPIPE, SIG_IGN);

    printf("| attack | what was sent | what happened | result |\n|---|---|---|---|\n");
    fflush(stdout);
    const auto start = Clock::now();
    int ran = 0, held = 0, skipped = 0;
    std::vector<std::pair<std::string, Row>> failed;
    for (size_t i = 0; i < kAttacks.size(); ++i) {
        if (!chosen[i])
            continue;
        const auto attackStart = Clock::now();
        const Row row = runIsolated(kAttacks[i], keep);
        ++ran;
        held += row.held && !row.skipped ? 1 : 0;
        skipped += row.held && row.skipped ? 1 : 0;
        printf("| %s | %s | %s (%.1f s) | %s |\n", kAttacks[i].name, row.sent.c_str(),
               row.happened.c_str(), msSince(attackStart) / 1000.0, row.verdict());
        fflush(stdout);
        if (!row.held)
            failed.emplace_back(kAttacks[i].name, row);
    }
    for (const auto &[name, row] : failed)
        if (!row.detail.empty())
            printf("\n%s, the daemon's last words:\n%s\n", name.c_str(), row.detail.c_str());
    printf("\nzt_attack: %d of %d held", held, ran);
    if (skipped)
        printf(", %d with checks skipped (not root: no other user to attack as)", skipped);
    printf(", %d NOT HELD; %.1f s\n", ran - held - skipped, msSince(start) / 1000.0);
    return held + skipped == ran ? 0 : 1;
}
