// Queue-side pieces of the benchmark driver: a requester with its own reply
// queue, the floor responder (the minimal answer path, with and without one
// firmware round trip) and the daemon as a child process. Each object is
// used by one thread; floors run as child processes.
//
// The test kit has a requester and a child-process runner too; these are
// leaner on purpose, since they sit inside the measurement: the requester
// builds and reads raw bytes instead of decoding whole answers, and the
// daemon's output goes to /dev/null instead of to a reader thread that would
// compete with it for the cores.
#ifndef ZT_BENCH_CLIENT_H
#define ZT_BENCH_CLIENT_H

#include <mqueue.h>
#include <stdint.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace ztbench {

constexpr const char *kDaemonQueue = "/to_ztCtlD";

// Sends client requests to a responder's queue ("/to_ztCtlD" unless told
// otherwise) and waits for their answers on its own queue `name`.
class BenchRequester {
public:
    explicit BenchRequester(const std::string &name, const std::string &target = kDaemonQueue);
    ~BenchRequester();
    bool ok() const { return m_queue != (mqd_t)-1; }
    // One request and its answer; false when either failed or took > 5 s.
    bool call(uint32_t command, const std::vector<uint8_t> &argument, int32_t *result = nullptr);
    // Messages waiting on the reply queue (between calls: answers nobody
    // asked for).
    long pending() const;
    const std::string &name() const { return m_name; }

private:
    std::string m_name;
    std::string m_target;
    mqd_t m_queue = (mqd_t)-1;
    mqd_t m_daemon = (mqd_t)-1;
};

// The daemon binary (or another program) as a child, its output discarded.
class DaemonProcess {
public:
    explicit DaemonProcess(const std::string &binary,
                           const std::vector<std::string> &arguments = {});
    ~DaemonProcess();
    // True once the child answers on `queue`.
    bool waitReady(const std::string &queue = kDaemonQueue);
    // Sends the stop command and reaps the child; true on a clean exit.
    bool stop();
    pid_t pid() const { return m_pid; }
    // CPU seconds (user + system), peak and current resident KiB from /proc.
    double cpuSeconds() const;
    long peakRssKiB() const { return statusKiB("VmHWM:"); }
    long rssKiB() const { return statusKiB("VmRSS:"); }
    bool running() const;
    // Stops the child with SIGTERM and reaps it; true on a clean exit.
    bool terminate();

private:
    long statusKiB(const char *field) const;
    pid_t m_pid = -1;
};

// The designed answer path and nothing else: select, receive, open the
// requester's queue, send the answer, close it. It serves two queues of its
// own (floorQueue()), so it runs beside the daemon and the benchmark can
// alternate between the two: on the firmware one, one library round trip to
// the firmware side comes before the answer. One process serves both, as the
// daemon's one worker serves every command, so the firmware figures of both
// are taken from a responder that has just served the no-firmware ones (the
// scheduler places a thread by what it did before). It runs as a child
// process (the running program started again with kFloorResponderFlag), so a
// round trip costs the same switches between address spaces as one to the
// daemon.
class FloorResponder {
public:
    FloorResponder();
    ~FloorResponder();  // stops the child
    // True once the child answers on both queues.
    bool ok() const { return m_ok; }
    static const char *floorQueue(bool withFirmware);
    // The child's side: serves until SIGTERM; the process's exit status.
    static int serve();

private:
    DaemonProcess m_child;
    bool m_ok = false;
};

constexpr const char *kFloorResponderFlag = "--floor-responder";

}  // namespace ztbench

#endif  // ZT_BENCH_CLIENT_H
