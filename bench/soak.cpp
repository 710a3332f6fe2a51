// Soak of the daemon binary: many requesters send every command family of
// the table at once while notification clients come and go over TCP and
// queues, the firmware side posts preset events and suspends and resumes the
// camera, and sometimes answers slowly or not at all. Every request is
// counted with its answer: none may be lost, duplicated or delivered to
// another requester (each requester has one request in flight, so anything
// waiting on its queue between calls is an answer it did not ask for). The
// daemon's resident memory is sampled through the run: every sample must
// stay within a small margin of what it was after the warm-up, and the last
// quarter of the run must not sit above the second (a slow leak shows as a
// climb long before it reaches the margin). Runs in its own IPC and network
// namespace (scripts/bench --soak, or scripts/test in short mode).
//
//   zt_soak [--short | --requests N] [DAEMON_BINARY]
#include <arpa/inet.h>
#include <fcntl.h>
#include <mqueue.h>
#include <netinet/in.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "PresetAnswers.h"
#include "bench_client.h"
#include "ztFirmwarePeer.h"

using namespace ztbench;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<uint8_t> text(const char *s, bool nul = false)
{
    std::vector<uint8_t> out(s, s + strlen(s));
    if (nul)
        out.push_back(0);
    return out;
}

// One request of each command family; a new family is one more line.
struct Family {
    const char *name;
    uint32_t command;
    std::vector<uint8_t> argument;
};
const std::vector<Family> kFamilies = {
    {"push switch", 43, text("status=0")}, {"system: locate", 37, {1}},
    {"capture: busy status", 100, {}},     {"settings: get setting", 31, {2, 0, 0, 0}},
    {"status: all status", 33, {}},        {"presets: group list", 70, {}},
    {"presets: stashed list", 81, {}},     {"presets: active preset", 87, {}},
    {"wireless: scan list", 20, {}},       {"media: delete last", 10, {}},
};

struct Counts {
    std::atomic<long> sent{0}, answered{0}, lost{0}, extra{0};
};

void requesterLoop(int index, long requests, Counts &counts, std::atomic<bool> &failed)
{
    BenchRequester requester("/zt_soak_r" + std::to_string(index));
    for (long i = 0; i < requests && !failed; ++i) {
        const Family &family = kFamilies[(i + index) % kFamilies.size()];
        if (requester.pending() != 0) {
            counts.extra += requester.pending();
            failed = true;
            return;
        }
        ++counts.sent;
        if (!requester.call(family.command, family.argument)) {
            ++counts.lost;
            fprintf(stderr, "zt_soak: %s request %ld (%s) got no answer\n",
                    requester.name().c_str(), i, family.name);
            failed = true;
            return;
        }
        ++counts.answered;
    }
    // Late duplicates of the last answers.
    usleep(200000);
    counts.extra += requester.pending();
}

// Connects to port 8081, reads a little, stalls, disconnects; repeatedly.
void tcpChurn(int index, std::atomic<bool> &stop)
{
    std::mt19937 random(index);
    while (!stop) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(8081);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0) {
            char buffer[512];
            const int reads = random() % 4;
            for (int r = 0; r < reads && !stop; ++r)
                recv(fd, buffer, sizeof(buffer), MSG_DONTWAIT);
            usleep(static_cast<useconds_t>(random() % 300000));  // stalled
        }
        if (fd >= 0)
            close(fd);
    }
}

// Registers a queue client, lets it receive a while, then removes the queue
// without unregistering (the daemon must drop it at its next delivery).
void queueChurn(int index, std::atomic<bool> &stop)
{
    BenchRequester registrar("/zt_soak_reg" + std::to_string(index));
    for (int round = 0; !stop; ++round) {
        const std::string name = "/zt_soak_q" + std::to_string(index) + "_" + std::to_string(round);
        mq_attr attr = {};
        attr.mq_maxmsg = 4;
        attr.mq_msgsize = 1500;
        const mqd_t q = mq_open(name.c_str(), O_RDONLY | O_CREAT | O_NONBLOCK, 0600, &attr);
        std::vector<uint8_t> arg = {1, 0, 0, 0};
        const std::vector<uint8_t> nameBytes = text(name.c_str(), true);
        arg.insert(arg.end(), nameBytes.begin(), nameBytes.end());
        registrar.call(0, arg);
        usleep(400000);
        if (q != (mqd_t)-1) {
            mq_close(q);
            mq_unlink(name.c_str());
        }
    }
}

// Preset events, suspend and resume, and a firmware that is sometimes slow
// or silent for the locate operation.
void firmwareChaos(ZtFirmwarePeer &peer, std::atomic<bool> &stop)
{
    std::mt19937 random(7);
    while (!stop) {
        switch (random() % 4) {
        case 0:
            peer.postPresetEvent(static_cast<uint8_t>(random() % 6), 0x10000 + random() % 4);
            break;
        case 1:
            peer.postSuspend(true, "/zt_soak_sys");
            peer.waitForSysAnswer("/zt_soak_sys", 3000);
            usleep(50000);
            peer.postSuspend(false, "/zt_soak_sys");
            peer.waitForSysAnswer("/zt_soak_sys", 3000);
            break;
        case 2:
            peer.scriptRemoteOnce(8, 13, PeerAnswer::Status(0).after(300));
            break;
        default:
            peer.scriptRemoteOnce(8, 13, PeerAnswer::Withheld());
            break;
        }
        usleep(500000);
    }
}

// The daemon's resident KiB, sampled with the number of answers so far.
struct MemorySample {
    long answered;
    long rssKiB;
};

void sampleMemory(const DaemonProcess &process, const Counts &counts, std::atomic<bool> &stop,
                  std::vector<MemorySample> &samples)
{
    while (!stop) {
        samples.push_back({counts.answered.load(), process.rssKiB()});
        usleep(250000);
    }
}

double meanRss(const std::vector<MemorySample> &samples, size_t from, size_t to)
{
    double sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += static_cast<double>(samples[i].rssKiB);
    return to > from ? sum / static_cast<double>(to - from) : 0;
}

}  // namespace

int main(int argc, char **argv)
{
    long total = 200000;
    std::string daemon = "bin/ztControlD";
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--short") == 0)
            total = 20000;
        else if (strcmp(argv[i], "--requests") == 0 && i + 1 < argc)
            total = atol(argv[++i]);
        else
            daemon = argv[i];
    }
    constexpr int kRequesters = 8;
    constexpr int kTcpClients = 10;
    constexpr int kQueueClients = 3;

    ZtFirmwarePeer peer;
    if (!peer.ok())
        return 2;
    using namespace zttest;
    peer.scriptTyped("ztc_setup_get_camera_ux_mode", PeerAnswer::Bytes({1}));
    peer.scriptRemote(kPresetCategory, kPresetListGroups, PeerAnswer::Bytes(groupList({0, 1})));
    peer.scriptRemote(kPresetCategory, kPresetListIds, PeerAnswer::Bytes(idList({0, 1})));
    peer.scriptRemote(kPresetCategory, kPresetGetInfo, PeerAnswer::Bytes(PresetRecord().bytes()));
    peer.scriptRemote(8, 6, PeerAnswer::Bytes({0}));  // busy status

    DaemonProcess process(daemon);
    if (!process.waitReady()) {
        fprintf(stderr, "zt_soak: %s did not become ready\n", daemon.c_str());
        return 2;
    }
    std::atomic<bool> stop{false}, failed{false};
    std::vector<std::thread> chaos;
    for (int i = 0; i < kTcpClients; ++i)
        chaos.emplace_back(tcpChurn, i, std::ref(stop));
    for (int i = 0; i < kQueueClients; ++i)
        chaos.emplace_back(queueChurn, i, std::ref(stop));
    chaos.emplace_back(firmwareChaos, std::ref(peer), std::ref(stop));

    // Warm-up, then the memory baseline.
    Counts warm;
    requesterLoop(99, 200, warm, failed);
    const long rssBefore = process.rssKiB();

    Counts counts;
    std::atomic<bool> sampled{false};
    std::vector<MemorySample> samples;
    std::thread sampler(sampleMemory, std::cref(process), std::cref(counts), std::ref(sampled),
                        std::ref(samples));
    const auto start = Clock::now();
    std::vector<std::thread> requesters;
    for (int i = 0; i < kRequesters; ++i)
        requesters.emplace_back(requesterLoop, i, total / kRequesters, std::ref(counts),
                                std::ref(failed));
    for (auto &t : requesters)
        t.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    sampled = true;
    sampler.join();
    stop = true;
    for (auto &t : chaos)
        t.join();
    const long rssAfter = process.rssKiB();
    const long rssPeak = process.peakRssKiB();
    const bool alive = process.running();
    const bool clean = alive && process.stop();

    samples.push_back({counts.answered.load(), rssAfter});
    constexpr long kGrowthLimitKiB = 512;
    constexpr double kClimbLimitKiB = 128;
    long highest = 0;
    for (const MemorySample &sample : samples)
        highest = std::max(highest, sample.rssKiB);
    const long growth = highest - rssBefore;
    // Quarters need a few samples each; a short run is judged by its margin.
    const size_t quarter = samples.size() / 4;
    const double climb = quarter >= 2 ? meanRss(samples, 3 * quarter, samples.size()) -
                                            meanRss(samples, quarter, 2 * quarter)
                                      : 0;
    printf("zt_soak: %ld requests from %d requesters in %.1f s (%.0f/s), %zu command families\n",
           counts.sent.load(), kRequesters, seconds, counts.sent / seconds, kFamilies.size());
    printf("  answered %ld, lost %ld, extra or misrouted %ld\n", counts.answered.load(),
           counts.lost.load(), counts.extra.load() + warm.extra.load());
    printf(
        "  daemon RSS %ld KiB after warm-up, %ld KiB at the end, highest sample %ld KiB "
        "(peak %ld KiB); last quarter %+.0f KiB against the second, over %zu samples\n",
        rssBefore, rssAfter, highest, rssPeak, climb, samples.size());
    printf("  RSS by answers:");
    const size_t step = std::max<size_t>(1, samples.size() / 10);
    for (size_t i = 0; i + 1 < samples.size(); i += step)
        printf(" %ld:%ld", samples[i].answered, samples[i].rssKiB);
    printf(" %ld:%ld KiB\n", samples.back().answered, samples.back().rssKiB);
    printf("  daemon %s\n", clean ? "stopped cleanly" : "did NOT stop cleanly");
    const bool ok = !failed && counts.lost == 0 && counts.extra == 0 && warm.extra == 0 &&
                    counts.answered == counts.sent && growth <= kGrowthLimitKiB &&
                    climb <= kClimbLimitKiB && clean;
    printf("zt_soak: %s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
