// Benchmark driver: measures the daemon binary against floor responders
// measured in the same run, alternating with the daemon, on the same machine,
// against the same scripted firmware side, and prints each figure with its ratio to the floor and
// the target it is held to. Runs in its own IPC namespace (scripts/bench).
//
//   zt_bench [--short] [DAEMON_BINARY]
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "PresetAnswers.h"
#include "camera_blocks.h"
#include "bench_client.h"
#include "ztFirmwarePeer.h"

using namespace ztbench;
using Clock = std::chrono::steady_clock;

namespace {

// Push switch with no socket client: answered 0, no firmware work and no
// log line. (Unsupported values would do too, but each logs an error line,
// which on a machine without a log daemon goes to the console.)
constexpr uint32_t kProbe = 43;
const std::vector<uint8_t> kProbeArg = {'s', 't', 'a', 't', 'u', 's', '=', '0'};
constexpr uint32_t kLocate = 37;      // one firmware operation
constexpr uint32_t kGetPresets = 81;  // the stashed preset list

struct Latency {
    double medianUs = 0;
    double p99Us = 0;
    bool ok = false;
};

Latency summarise(std::vector<double> &us)
{
    if (us.empty())
        return {};
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 99 / 100)], true};
}

// Round trips of one command to the floor and to the daemon, `count` each,
// alternating in batches so both see the same machine: on a shared machine
// load comes and goes, and two runs one after the other would measure
// different moments rather than different responders.
std::pair<Latency, Latency> measureLatency(uint32_t command, const std::vector<uint8_t> &arg,
                                           const char *floorQueue, int count)
{
    constexpr int kBatch = 50;
    BenchRequester floor("/zt_bench_lat_floor", floorQueue);
    BenchRequester daemon("/zt_bench_lat");
    BenchRequester *sides[2] = {&floor, &daemon};
    std::vector<double> us[2];
    for (auto *side : sides)
        for (int i = 0; i < kBatch; ++i)  // warm-up
            if (!side->call(command, arg))
                return {};
    for (int done = 0; done < count; done += kBatch)
        for (int s = 0; s < 2; ++s)
            for (int i = 0; i < kBatch; ++i) {
                const auto start = Clock::now();
                if (!sides[s]->call(command, arg))
                    return {};
                us[s].push_back(
                    std::chrono::duration<double, std::micro>(Clock::now() - start).count());
            }
    return {summarise(us[0]), summarise(us[1])};
}

// Answers per second of the floor and of the daemon, each with `threads`
// requesters sending `each` requests one after the other; alternating in
// rounds like the latency figures.
std::pair<double, double> measureThroughput(uint32_t command, const std::vector<uint8_t> &arg,
                                            const char *floorQueue, int threads, int each)
{
    constexpr int kRounds = 20;
    std::vector<std::unique_ptr<BenchRequester>> requesters[2];
    for (int t = 0; t < threads; ++t) {
        requesters[0].push_back(
            std::make_unique<BenchRequester>("/zt_bench_tpf" + std::to_string(t), floorQueue));
        requesters[1].push_back(
            std::make_unique<BenchRequester>("/zt_bench_tp" + std::to_string(t)));
    }
    double seconds[2] = {0, 0};
    long answers[2] = {0, 0};
    for (int round = 0; round < kRounds; ++round)
        for (int s = 0; s < 2; ++s) {
            std::vector<std::thread> pool;
            std::vector<int> done(threads, 0);
            const auto start = Clock::now();
            for (int t = 0; t < threads; ++t)
                pool.emplace_back([&, t] {
                    for (int i = 0; i < each / kRounds && requesters[s][t]->call(command, arg); ++i)
                        ++done[t];
                });
            for (auto &t : pool)
                t.join();
            seconds[s] += std::chrono::duration<double>(Clock::now() - start).count();
            for (int d : done)
                answers[s] += d;
        }
    return {answers[0] / seconds[0], answers[1] / seconds[1]};
}

// Firmware requests (not camera-state traffic) the peer has recorded.
size_t firmwareExchanges(const ZtFirmwarePeer &peer)
{
    size_t n = 0;
    for (const auto &r : peer.requests())
        n += r.kind == "RA" || r.kind == "TC" || r.kind == "AX";
    return n;
}

// Connects `count` notification clients to port 8081; their descriptors.
// `receiveBuffer` above 0 sets a small receive window (a reader that stops
// then fills up quickly).
std::vector<int> connectClients(int count, int receiveBuffer = 0)
{
    std::vector<int> fds;
    for (int i = 0; i < count; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        if (fd >= 0 && receiveBuffer > 0)
            setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(8081);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0)
            fds.push_back(fd);
        else if (fd >= 0)
            close(fd);
    }
    return fds;
}

double idleCpuPercent(const DaemonProcess &process, int seconds)
{
    const double before = process.cpuSeconds();
    timespec idle = {seconds, 0};
    nanosleep(&idle, nullptr);
    return (process.cpuSeconds() - before) / seconds * 100.0;
}

// Reads whatever the socket holds without waiting.
void drain(int fd)
{
    char buffer[4096];
    while (recv(fd, buffer, sizeof(buffer), MSG_DONTWAIT) > 0) {
    }
}

// Milliseconds from a change of the firmware's status block to the first
// notification bytes at the resumed TCP client `fd`, over `rounds` changes
// of the busy status; median and worst. Negative when no notification came.
std::pair<double, double> notificationLatency(ZtFirmwarePeer &peer, int fd, int rounds)
{
    std::vector<uint8_t> status(CAMERA_STATUS_BLOCK_SIZE, 0);
    peer.scriptRemote(8, 11, PeerAnswer::Bytes(status));
    peer.scriptRemote(7, 30,
                      PeerAnswer::Bytes(std::vector<uint8_t>(CAMERA_SETTINGS_BLOCK_SIZE, 0)));
    pollfd readable = {fd, POLLIN, 0};
    std::vector<double> ms;
    for (int round = 0; round < rounds; ++round) {
        // Wait for a whole poll period without a notification, so the next
        // one is the change's.
        bool quiet = false;
        for (int tries = 0; tries < 10 && !quiet; ++tries) {
            drain(fd);
            readable.revents = 0;
            quiet = poll(&readable, 1, 1200) == 0;
        }
        if (!quiet)
            break;
        status[5] = static_cast<uint8_t>(status[5] ^ 1);  // busy
        const auto changed = Clock::now();
        peer.scriptRemote(8, 11, PeerAnswer::Bytes(status));
        readable.revents = 0;
        if (poll(&readable, 1, 3000) != 1)
            break;
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - changed).count());
    }
    if (ms.size() != static_cast<size_t>(rounds))
        return {-1, -1};
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

struct StalledRun {
    double medianMs = -1;
    double worstMs = -1;
    int rounds = 0;
    int dropped = 0;        // stalled clients the daemon closed
    long healthyBytes = 0;  // what the reading client received
    bool answered = true;   // every command answered within 5 s
};

// Command round trips while nine TCP clients that never read and one that
// does are connected. Each "status=1" makes every socket client new, so the
// pass after it sends all ten the full state; the nine stop-readers fill
// their windows and the daemon's buffers for them until it drops them. Runs
// until all nine are dropped and 50 rounds beyond (at most `maxRounds`).
StalledRun stalledClientsRun(ZtFirmwarePeer &peer, int maxRounds)
{
    StalledRun run;
    peer.scriptRemote(8, 11, PeerAnswer::Bytes(std::vector<uint8_t>(CAMERA_STATUS_BLOCK_SIZE, 0)));
    peer.scriptRemote(7, 30,
                      PeerAnswer::Bytes(std::vector<uint8_t>(CAMERA_SETTINGS_BLOCK_SIZE, 0)));
    const std::vector<int> healthy = connectClients(1);
    const std::vector<int> stalled = connectClients(9, 1024);
    if (healthy.size() != 1 || stalled.size() != 9) {
        for (int fd : healthy)
            close(fd);
        for (int fd : stalled)
            close(fd);
        return run;
    }
    BenchRequester requester("/zt_bench_stalled");
    const std::vector<uint8_t> values[2] = {{'s', 't', 'a', 't', 'u', 's', '=', '1'},
                                            {'s', 't', 'a', 't', 'u', 's', '=', '0'}};
    std::vector<double> ms;
    char buffer[4096];
    int after = 0;
    for (; run.rounds < maxRounds && after < 50 && run.answered; ++run.rounds) {
        for (const auto &value : values) {
            const auto start = Clock::now();
            run.answered = requester.call(kProbe, value);
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            ssize_t got;
            while ((got = recv(healthy[0], buffer, sizeof(buffer), MSG_DONTWAIT)) > 0)
                run.healthyBytes += got;
            if (!run.answered)
                break;
        }
        run.dropped = 0;
        for (int fd : stalled) {
            pollfd closed = {fd, POLLRDHUP, 0};
            run.dropped += poll(&closed, 1, 0) == 1;
        }
        after += run.dropped == 9;
    }
    for (int fd : healthy)
        close(fd);
    for (int fd : stalled)
        close(fd);
    std::sort(ms.begin(), ms.end());
    if (!ms.empty()) {
        run.medianMs = ms[ms.size() / 2];
        run.worstMs = ms.back();
    }
    return run;
}

void row(const char *what, double value, const char *unit, double floor, const char *target)
{
    if (floor > 0)
        printf("%-44s %10.1f %-4s floor %10.1f  ratio %5.2f  %s\n", what, value, unit, floor,
               value / floor, target);
    else
        printf("%-44s %10.1f %-4s %s\n", what, value, unit, target);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc >= 2 && strcmp(argv[1], kFloorResponderFlag) == 0)
        return FloorResponder::serve();
    bool quick = false;
    std::string daemon = "bin/ztControlD";
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--short") == 0)
            quick = true;
        else
            daemon = argv[i];
    }
    const int count = quick ? 300 : 3000;
    const int each = quick ? 4000 : 40000;
    const int idleSeconds = quick ? 3 : 30;

    ZtFirmwarePeer peer;
    if (!peer.ok()) {
        fprintf(stderr, "zt_bench: the scripted firmware side did not start\n");
        return 2;
    }
    const std::vector<uint8_t> on = {1};

    FloorResponder floor;
    if (!floor.ok()) {
        fprintf(stderr, "zt_bench: the floor responder did not start\n");
        return 2;
    }
    DaemonProcess process(daemon);
    if (!process.waitReady()) {
        fprintf(stderr, "zt_bench: %s did not become ready\n", daemon.c_str());
        return 2;
    }
    const char *plainFloor = FloorResponder::floorQueue(false);
    const auto plain = measureLatency(kProbe, kProbeArg, plainFloor, count);
    const auto firmware = measureLatency(kLocate, on, FloorResponder::floorQueue(true), count);
    if (!plain.first.ok || !plain.second.ok || !firmware.first.ok || !firmware.second.ok) {
        fprintf(stderr, "zt_bench: a responder stopped answering\n");
        return 2;
    }
    const auto tp1 = measureThroughput(kProbe, kProbeArg, plainFloor, 1, each);
    const auto tp4 = measureThroughput(kProbe, kProbeArg, plainFloor, 4, each);

    // Two groups of two presets: the cold list costs its group, id and
    // record reads; the stashed one should cost nothing.
    using namespace zttest;
    peer.scriptTyped("ztc_system_get_lens_type", PeerAnswer::Bytes({0}));
    peer.scriptTyped("ztc_system_get_power_profile", PeerAnswer::Bytes({0}));
    peer.scriptTyped("ztc_setup_get_camera_ux_mode", PeerAnswer::Bytes({1}));
    peer.scriptRemote(kPresetCategory, kPresetListGroups, PeerAnswer::Bytes(groupList({0, 1})));
    peer.scriptRemote(kPresetCategory, kPresetListIds, PeerAnswer::Bytes(idList({0, 1})));
    peer.scriptRemote(kPresetCategory, kPresetGetInfo, PeerAnswer::Bytes(PresetRecord().bytes()));
    BenchRequester requester("/zt_bench_presets");
    peer.clearRequests();
    int32_t coldResult = -1, stashedResult = -1;
    requester.call(kGetPresets, {}, &coldResult);
    const size_t cold = firmwareExchanges(peer);
    peer.clearRequests();
    requester.call(kGetPresets, {}, &stashedResult);
    const size_t stashed = firmwareExchanges(peer);

    const StalledRun stalledRun = stalledClientsRun(peer, 3000);

    const double idleCpu = idleCpuPercent(process, idleSeconds);
    std::vector<int> clients = connectClients(10);
    const std::vector<uint8_t> resume = {'s', 't', 'a', 't', 'u', 's', '=', '1'};
    requester.call(kProbe, resume);
    const double busyCpu = idleCpuPercent(process, idleSeconds);
    // The other clients are not read; their windows hold what a few passes send.
    const auto notify = clients.empty() ? std::make_pair(-1.0, -1.0)
                                        : notificationLatency(peer, clients[0], quick ? 3 : 10);
    for (int fd : clients)
        close(fd);
    const long rss = process.peakRssKiB();
    const bool clean = process.stop();

    printf("zt_bench (%s): %d round trips per latency figure\n", quick ? "short" : "full", count);
    row("latency, no firmware work, median", plain.second.medianUs, "us", plain.first.medianUs,
        "target <= 1.15");
    row("latency, no firmware work, p99", plain.second.p99Us, "us", plain.first.p99Us,
        "target <= 1.15");
    row("latency, one firmware operation, median", firmware.second.medianUs, "us",
        firmware.first.medianUs, "target <= 1.15");
    row("latency, one firmware operation, p99", firmware.second.p99Us, "us", firmware.first.p99Us,
        "target <= 1.15");
    row("throughput, 1 requester", tp1.second, "/s", tp1.first, "");
    row("throughput, 4 requesters", tp4.second, "/s", tp4.first, "target >= 0.85");
    row("idle CPU, no client (% of a core)", idleCpu, "%", 0, "target < 0.05");
    row("CPU, 10 resumed clients (% of a core)", busyCpu, "%", 0,
        clients.size() == 10 ? "" : "(not all 10 clients connected)");
    row("notification latency, status change to TCP, median", notify.first, "ms", 0,
        "(status polled before each receive, at least every 500 ms)");
    row("notification latency, status change to TCP, worst", notify.second, "ms", 0, "");
    char stalledNote[96];
    snprintf(stalledNote, sizeof(stalledNote), "(%d rounds, %d of 9 dropped%s)", stalledRun.rounds,
             stalledRun.dropped, stalledRun.answered ? "" : ", a command NOT answered in 5 s");
    row("push switch, 9 stalled + 1 reading TCP client, median", stalledRun.medianMs, "ms", 0,
        stalledNote);
    row("push switch, 9 stalled + 1 reading TCP client, worst", stalledRun.worstMs, "ms", 0,
        "target <= 50");
    row("reading TCP client meanwhile received", stalledRun.healthyBytes / 1024.0, "KiB", 0, "");
    row("peak RSS", rss / 1024.0, "MiB", 0, "target <= 8");
    row("preset list cold: firmware exchanges", static_cast<double>(cold), "", 0,
        coldResult == 0 ? "" : "(the list failed)");
    row("preset list stashed: firmware exchanges", static_cast<double>(stashed), "", 0,
        stashedResult == 0 ? "target 0" : "target 0 (the list failed)");
    printf("daemon stopped %s\n", clean ? "cleanly" : "NOT cleanly");
    return clean ? 0 : 1;
}
