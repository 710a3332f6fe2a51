// Process entry of the camera's command daemon: sets the log level, installs
// the crash handler, starts the command server, then serves the notification
// listener (TCP port 8081) on the main thread until the server's worker stops.
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <vector>

#include "csi.h"
#include "utils.h"
#include "ztCrashHandler.h"
#include "ztcontrol_if_server.h"

namespace {

constexpr uint32_t kLogFlagsItem = 123;
constexpr uint32_t kExtendedLoggingBit = 0x200;
constexpr unsigned kCrashHandlerOptions = 0x0F0001FF;
constexpr uint16_t kNotifyPort = 8081;
constexpr int kListenBacklog = 3;
// The worker gets 10 s to reach its loop, looked at every 20 ms.
constexpr int kWorkerWaitStepUs = 20000;
constexpr int kWorkerWaitSteps = 10 * 1000000 / kWorkerWaitStepUs;
// A backlog that builds up while the listener waits is watched from its next
// turn on (the worker's next delivery also moves it), so the turn is short.
constexpr int kAcceptPollMs = 500;

// One daemon per camera: the abstract socket name below is bound for the
// process's life and released by the kernel however the process ends. It
// lives in the network namespace, so daemons in separate namespaces (tests
// and CI side by side) never see each other's. A second daemon returns
// false here, before it touches any queue.
bool holdInstanceLock()
{
    static const char kLockName[] = "\0ztControlD";
    // The log's copy on standard error, so a refusal shows where it was started.
    openlog(nullptr, LOG_CONS | LOG_PERROR, LOG_USER);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        ZTLOG(ZT_LOG_ERROR, "Cannot take the instance lock: %s", strerror(errno));
        return false;
    }
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    memcpy(address.sun_path, kLockName, sizeof(kLockName) - 1);
    const socklen_t length = offsetof(struct sockaddr_un, sun_path) + sizeof(kLockName) - 1;
    if (bind(fd, reinterpret_cast<struct sockaddr *>(&address), length) != 0) {
        if (errno == EADDRINUSE)
            ZTLOG(ZT_LOG_ERROR,
                  "Another ztControlD is already running (lock @ztControlD is held), exiting");
        else
            ZTLOG(ZT_LOG_ERROR, "Cannot take the instance lock: %s", strerror(errno));
        close(fd);
        return false;
    }
    return true;  // fd stays open: it is the lock
}

void setLogLevelFromCamera()
{
    uint32_t scratch = 0;
    uint32_t flags = 0;
    csi_get(kLogFlagsItem, sizeof(flags), &scratch, &flags);
    openlog(nullptr, LOG_CONS | LOG_PERROR, LOG_USER);
    if (flags & kExtendedLoggingBit) {
        ztUtilSetLogLevel(ZT_LOG_DEBUG);
        ZTLOG(ZT_LOG_DEBUG, "Extended logging on");
    } else {
        ztUtilSetLogLevel(ZT_LOG_ERROR);
    }
}

void stopServer(ZtcontrolCommandServer *server)
{
    server->shutdown();
    ZtcontrolCommandServer::destroy();
}

// Returns the listening socket, or -1 after logging why there is none.
int openListener()
{
    int listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener < 0) {
        ZTLOG(ZT_LOG_ERROR, "Failed to create server socket, Exiting daemon");
        return -1;
    }
    struct sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(kNotifyPort);
    // A restart right after a stop must get the port back although the
    // connections the stopped daemon closed still hold it in TIME_WAIT.
    const int reuse = 1;
    if (setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse)) != 0)
        ZTLOG(ZT_LOG_ERROR, "Cannot set address reuse on port %u: %s", (unsigned)kNotifyPort,
              strerror(errno));
    if (bind(listener, reinterpret_cast<struct sockaddr *>(&address), sizeof(address)) != 0) {
        const int bindError = errno;
        ZTLOG(ZT_LOG_ERROR, "bind() failed on socket, Exiting daemon");
        ZTLOG(ZT_LOG_ERROR, "bind() to port %u: %s", (unsigned)kNotifyPort, strerror(bindError));
        close(listener);
        return -1;
    }
    if (listen(listener, kListenBacklog) != 0) {
        ZTLOG(ZT_LOG_ERROR, "listen() failed on socket, Exiting daemon");
        close(listener);
        return -1;
    }
    return listener;
}

// Accepts one connection and hands it to the registry; one it refuses is closed.
void acceptClient(ZtcontrolCommandServer *server, int listener)
{
    ZTLOG(ZT_LOG_INFO, "Accepting a notification client...\n");
    struct sockaddr_in peer = {};
    socklen_t peerLength = sizeof(peer);
    int connection = accept(listener, reinterpret_cast<struct sockaddr *>(&peer), &peerLength);
    if (connection < 0) {
        ZTLOG(ZT_LOG_ERROR, "accept() failed");
        return;
    }
    int noDelay = 1;
    if (setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof(noDelay)) != 0) {
        close(connection);
        return;
    }
    char peerText[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &peer.sin_addr, peerText, sizeof(peerText));
    ZTLOG(ZT_LOG_DEBUG, "Accepted client %s\n", peerText);

    SocketNotificationClient *client = new SocketNotificationClient(connection);
    if (!server->addNotificationClient(client)) {
        ZTLOG(ZT_LOG_ERROR, "Failed to add notification client");
        delete client;  // closes the connection
    }
}

// One turn of the listener: waits up to kAcceptPollMs for a connection or
// for news of the socket clients' connections, lets the registry act on the
// latter (a closed connection frees its slot at once, a backlog moves as
// soon as its socket takes it), then accepts. The registry is serviced
// before accepting, so no descriptor watched here can belong to a client
// added since.
void acceptOnce(ZtcontrolCommandServer *server, int listener)
{
    std::vector<pollfd> watch;
    watch.push_back({listener, POLLIN, 0});
    server->watchSocketClients(watch);
    if (poll(watch.data(), watch.size(), kAcceptPollMs) <= 0)
        return;
    server->serviceSocketClients(watch);
    if (watch.front().revents & POLLIN)
        acceptClient(server, listener);
}

}  // namespace

int main(int argc, char **argv)
{
    (void)argc;
    if (!holdInstanceLock())
        exit(EXIT_FAILURE);
    setLogLevelFromCamera();

    const int crashRc = ztch_install_crash_handler(kCrashHandlerOptions);
    if (crashRc != 0 && (g_debug_level & ZT_DBG_CRASH_NOTE))
        ztDebugPrint(ZT_DBG_THRESHOLD_NOTE,
                     "Crash handler could not be initialized: %d (continuing)", crashRc);

    ZTLOG(ZT_LOG_INFO, "Starting ztControlD daemon");
    ZtcontrolCommandServer *server = ZtcontrolCommandServer::getInstance();
    const int startRc = server->start();
    if (startRc != 0) {
        ZTLOG(ZT_LOG_ERROR, "Failed to start daemon [%s], ret %d\n", argv[0], startRc);
        exit(startRc);
    }

    // Waits for the worker to reach its loop. A stop command can arrive
    // before this wait sees the worker running, so what counts is that it
    // ran: one that ran and has stopped again was stopped, a clean exit.
    for (int waited = 0; !server->workerHasRun() && waited < kWorkerWaitSteps; ++waited)
        usleep(kWorkerWaitStepUs);
    if (!server->workerHasRun()) {
        stopServer(server);
        ZTLOG(ZT_LOG_INFO, "Exiting ztControlD daemon due to error");
        exit(-1);
    }
    if (!server->isRunning()) {
        stopServer(server);
        ZTLOG(ZT_LOG_INFO, "Exiting ztControlD daemon");
        return 0;
    }

    const int listener = openListener();
    if (listener < 0) {
        stopServer(server);
        exit(-1);
    }
    while (server->isRunning())
        acceptOnce(server, listener);

    stopServer(server);
    close(listener);
    ZTLOG(ZT_LOG_INFO, "Exiting ztControlD daemon");
    return 0;
}
