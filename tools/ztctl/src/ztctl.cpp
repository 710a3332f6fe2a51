// ztctl: the command-line client of the camera daemon. Sends one command and
// prints its answer, stops the daemon, lists the commands, or watches the
// notifications, all through the client library (ztclient.h).
#include <errno.h>
#include <mqueue.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "CommandLine.h"
#include "ReplyFormatter.h"
#include "StateTable.h"
#include "Subcommand.h"
#include "TopView.h"
#include "ztCtrlD.h"
#include "ztTlv.h"
#include "ztclient.hpp"
#include "ztcontrol_commands.h"

namespace {

enum ExitCode { kExitOk = 0, kExitResult = 1, kExitUsage = 2, kExitNoAnswer = 3 };

// How often a wait for a notification looks whether Ctrl-C was pressed, and
// the step of reconnecting.
constexpr unsigned kStopCheckMs = 200;
constexpr unsigned kReconnectStepMs = 200;

volatile sig_atomic_t s_stopRequested = 0;

// Ctrl-C and kill stop a watch at its next check, so the notification queue
// is still unregistered and removed on the way out.
void onSignal(int)
{
    s_stopRequested = 1;
}

// The reply queue of a command on its way, removed when a signal ends the
// wait (the library waits out its deadline through interruptions).
char s_replyQueue[256];

void onSignalDuringCall(int)
{
    if (s_replyQueue[0])
        mq_unlink(s_replyQueue);
    static const char kText[] = "ztctl: interrupted\n";
    const ssize_t written = write(STDERR_FILENO, kText, sizeof kText - 1);
    (void)written;
    _exit(kExitNoAnswer);
}

// Also catches signals ignored on entry (background jobs of a script).
void installSignalHandlers(bool watching)
{
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = watching ? onSignal : onSignalDuringCall;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

// Forgets the reply queue before it is closed: its name may belong to
// another client afterwards.
void closeClient(ztclient_t *client)
{
    s_replyQueue[0] = 0;
    ztclient_close(client);
}

using Client = std::unique_ptr<ztclient_t, decltype(&closeClient)>;
using Watch = std::unique_ptr<ztclient_watch_t, decltype(&ztclient_watch_close)>;

// Local time with milliseconds, "HH:MM:SS.mmm".
std::string timeStamp()
{
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local {};
    localtime_r(&now.tv_sec, &local);
    char text[32];
    snprintf(text, sizeof text, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min, local.tm_sec,
             now.tv_nsec / 1000000);
    return text;
}

// Why an exchange with the daemon failed, in ztctl's words.
std::string failureText(int code, unsigned timeoutMs)
{
    switch (code) {
    case ZTCLIENT_NO_DAEMON:
        return "cannot open /to_ztCtlD (is ztControlD running?): No such file or directory";
    case ZTCLIENT_DAEMON_BUSY:
        return "/to_ztCtlD stayed full";
    case ZTCLIENT_TIMEOUT:
        return "no answer within " + std::to_string(timeoutMs) + " ms";
    case ZTCLIENT_TOO_LONG:
        return "the argument does not fit one message of " + std::to_string(ZTMSG_MAX) + " bytes";
    case ZTCLIENT_SYSTEM:
        return std::string("cannot send: ") + strerror(errno);
    default:
        return code < 0 ? "the daemon refused" : ztclient::Error::describe(code);
    }
}

// A client whose reply queue is `replyQueue`, or a free one of the library's
// when empty; nothing (said on stderr) when it cannot be opened.
Client openClient(const std::string &replyQueue, unsigned deadlineMs)
{
    ztclient_t *c = nullptr;
    const int rc =
        replyQueue.empty() ? ztclient_open(&c) : ztclient_open_as(replyQueue.c_str(), &c);
    if (rc == ZTCLIENT_SYSTEM)
        fprintf(stderr, "ztctl: cannot create reply queue%s%s: %s\n", replyQueue.empty() ? "" : " ",
                replyQueue.c_str(), strerror(errno));
    else if (rc != 0)
        fprintf(stderr, "ztctl: %s\n", ztclient::Error::describe(rc).c_str());
    if (c) {
        ztclient_set_deadline(c, deadlineMs);
        snprintf(s_replyQueue, sizeof s_replyQueue, "%s", ztclient_reply_queue(c));
    }
    return Client(c, closeClient);
}

int listCommands()
{
    for (uint32_t v = 0; v <= ZTCONTROL_CMD_LAST; ++v)
        printf("%3u  %s\n", v, ztctl::commandName(v));
    return kExitOk;
}

// The camera's model, from the camera state service the daemon asks too
// (the daemon's commands do not report it); the default model when that
// service does not answer.
int cameraModel()
{
    uint8_t model = 0;
    if (ztc_state_get_model_number(&model) == 0 && model != 0)
        return model;
    fprintf(stderr,
            "ztctl: the camera state service does not tell the model; checking against "
            "model 57\n");
    return 57;
}

int sendCommand(const ztctl::Options &o)
{
    if (o.settingChange && !o.force) {
        const std::string cause = ztctl::checkSettingOption(cameraModel(), o.settingChange->first,
                                                            o.settingChange->second);
        if (!cause.empty()) {
            fprintf(stderr, "ztctl: %s\n(--force sends it anyway)\n", cause.c_str());
            return kExitUsage;
        }
    }
    Client client = openClient(o.replyQueue, o.timeoutMs);
    if (!client)
        return kExitNoAnswer;
    if (o.rawOutput) {
        const char *name = ztctl::commandName(o.command);
        printf("command: %u (%s)\n", o.command, name ? name : "unknown value");
        fflush(stdout);
    }
    static const uint8_t kEmpty = 0;
    const void *argument = !o.argument           ? nullptr
                           : o.argument->empty() ? &kEmpty
                                                 : o.argument->data();
    std::vector<uint8_t> payload(ZTMSG_MAX);
    size_t length = 0;
    ztctl::Answer answer;
    const int rc =
        ztclient_call(client.get(), static_cast<int32_t>(o.command), argument,
                      o.argument ? o.argument->size() : 0, o.option ? *o.option : -1, o.timeoutMs,
                      &answer.result, payload.data(), payload.size(), &length);
    if (rc != 0) {
        fprintf(stderr, "ztctl: %s\n", failureText(rc, o.timeoutMs).c_str());
        return kExitNoAnswer;
    }
    answer.hasResult = true;
    // The daemon sends a payload element only with bytes in it.
    if (length > 0)
        answer.payload.emplace(payload.begin(), payload.begin() + std::min(length, payload.size()));
    ztctl::Display display;
    display.json = o.json;
    display.verbose = o.verbose;
    fputs(ztctl::formatAnswer(o.command, answer, o.rawOutput, display).c_str(), stdout);
    return answer.result == 0 ? kExitOk : kExitResult;
}

// Connects to the notification port and switches notifications on (the
// library repeats the switch until the first notification comes). Nothing,
// said on stderr with the exit status in `status`, when that fails.
Watch openSocket(ztclient_t *client, const ztctl::Options &o, int &status)
{
    ztclient_watch_t *w = nullptr;
    const int rc = ztclient_watch_tcp(client, o.port, o.timeoutMs, &w);
    status = rc == 0 ? kExitOk : rc < 0 ? kExitResult : kExitNoAnswer;
    if (rc == ZTCLIENT_NO_DAEMON || rc == ZTCLIENT_SYSTEM)
        fprintf(stderr, "ztctl: no daemon: cannot connect to port %u: %s\n", o.port,
                rc == ZTCLIENT_SYSTEM ? strerror(errno) : strerror(ECONNREFUSED));
    else if (rc != 0)
        fprintf(stderr, "ztctl: cannot switch notifications on: %s\n",
                failureText(rc, o.timeoutMs).c_str());
    return Watch(w, ztclient_watch_close);
}

// After the daemon dropped the connection (suspend, restart): connects again
// once it is back, for as long as the watch may go on (Ctrl-C, or --idle).
bool reconnect(ztclient_t *client, Watch &watch, const ztctl::Options &o)
{
    fprintf(stderr, "ztctl: the daemon closed the connection; reconnecting\n");
    watch.reset();
    // A restarting daemon may listen before its command queue is open.
    ztclient_set_deadline(client, std::min(o.timeoutMs, 1000u));
    for (unsigned waited = 0; !s_stopRequested; waited += kReconnectStepMs) {
        if (o.watchIdleMs && waited >= o.watchIdleMs)
            break;
        ztclient_watch_t *w = nullptr;
        if (ztclient_watch_tcp(client, o.port, kReconnectStepMs, &w) == 0) {
            watch.reset(w);
            ztclient_set_deadline(client, o.timeoutMs);
            fprintf(stderr, "ztctl: reconnected\n");
            return true;
        }
        struct timespec step = {0, static_cast<long>(kReconnectStepMs) * 1000000};
        nanosleep(&step, nullptr);
    }
    fprintf(stderr, "ztctl: the daemon did not come back\n");
    return false;
}

// The next notification within idleMs (0: no limit), in slices so that
// Ctrl-C is seen: ZTCLIENT_TIMEOUT on idle time-out or stop, else what the
// library returned.
int nextNotification(ztclient_watch_t *watch, unsigned idleMs, ztclient_notification_t &n)
{
    for (unsigned waited = 0; !s_stopRequested;) {
        const unsigned slice = idleMs ? std::min(kStopCheckMs, idleMs - waited) : kStopCheckMs;
        n = ztclient_notification_t{};
        const int rc = ztclient_watch_next(watch, slice, &n);
        if (rc != ZTCLIENT_TIMEOUT)
            return rc;
        waited += slice;
        if (idleMs && waited >= idleMs)
            break;
    }
    return ZTCLIENT_TIMEOUT;
}

// A text the library read: a notification, or one of no known shape (then
// printed as it came).
bool isText(int rc, const ztclient_notification_t &n)
{
    return rc == 0 || (rc == ZTCLIENT_BAD_ANSWER && n.text);
}

// One notification as watch prints it: by name under a time-stamped heading
// of its kind, or as one JSON line; false when there is nothing to print
// (only throttled counters changed, and --all was not given).
bool printNotification(const ztclient_notification_t &n, const ztctl::Options &o)
{
    if (o.rawOutput || !n.kind) {
        printf("%s\n", n.text);
        return true;
    }
    std::vector<ztctl::Item> items(n.items, n.items + n.count);
    if (!o.all && n.kind == ZTCLIENT_CHANGES) {
        items.erase(std::remove_if(items.begin(), items.end(), ztctl::isThrottled), items.end());
        if (items.empty())
            return false;
    }
    const std::string stamp = timeStamp(), kind = ztctl::notificationKind(n.kind);
    if (o.json)
        printf("%s\n",
               ztctl::formatJson(items, "\"time\":\"" + stamp + "\",\"kind\":\"" + kind + "\"")
                   .c_str());
    else
        printf("--- %s  %s\n%s", stamp.c_str(), kind.c_str(), ztctl::formatTable(items).c_str());
    return true;
}

// Says why a watch ended early, when it was not the daemon's doing.
void reportEnd(int rc)
{
    if (rc == ZTCLIENT_BAD_ANSWER)
        fprintf(stderr, "ztctl: malformed frame\n");
    else if (rc == ZTCLIENT_SYSTEM)
        fprintf(stderr, "ztctl: %s\n", strerror(errno));
}

// Watches on port o.port, or as the queue client o.replyQueue when given;
// the client then uses a reply queue of the library's.
int watch(const ztctl::Options &o)
{
    Client client = openClient("", o.timeoutMs);
    if (!client)
        return kExitNoAnswer;
    const std::string &queue = o.replyQueue;
    Watch watch(nullptr, ztclient_watch_close);
    if (!queue.empty()) {
        ztclient_watch_t *w = nullptr;
        const int rc = ztclient_watch_queue_as(client.get(), queue.c_str(), o.timeoutMs, &w);
        if (rc == ZTCLIENT_SYSTEM && !w) {
            fprintf(stderr, "ztctl: cannot create queue %s: %s\n", queue.c_str(), strerror(errno));
            return kExitNoAnswer;
        }
        if (rc != 0) {
            fprintf(stderr, "ztctl: cannot register queue %s: %s\n", queue.c_str(),
                    failureText(rc, o.timeoutMs).c_str());
            return kExitNoAnswer;
        }
        watch.reset(w);
    } else {
        int status = kExitOk;
        watch = openSocket(client.get(), o, status);
        if (!watch)
            return status;
    }
    unsigned printed = 0;
    int rc = 0;
    // --idle counts from the last message printed: changes of hidden
    // counters alone (the uptime, every second) do not keep a watch going.
    using Clock = std::chrono::steady_clock;
    const auto idleFor = std::chrono::milliseconds(o.watchIdleMs);
    auto idleFrom = Clock::now();
    while (o.watchCount == 0 || printed < o.watchCount) {
        unsigned idleLeft = 0;
        if (o.watchIdleMs) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                idleFor - (Clock::now() - idleFrom));
            if (left.count() <= 0) {
                rc = ZTCLIENT_TIMEOUT;
                break;
            }
            idleLeft = static_cast<unsigned>(left.count());
        }
        ztclient_notification_t n{};
        rc = nextNotification(watch.get(), idleLeft, n);
        if (rc == ZTCLIENT_CLOSED && queue.empty() && reconnect(client.get(), watch, o))
            continue;
        if (!isText(rc, n))
            break;
        rc = 0;
        if (printNotification(n, o)) {
            ++printed;
            idleFrom = Clock::now();
        }
        fflush(stdout);
    }
    reportEnd(rc);
    watch.reset();  // unregisters and removes a notification queue
    if (o.watchCount > 0 && printed < o.watchCount) {
        fprintf(stderr, "ztctl: %u of %u messages\n", printed, o.watchCount);
        return kExitNoAnswer;
    }
    return kExitOk;
}

// A live view of the camera, redrawn on every notification; --once prints
// the first complete view without escape codes and ends.
int top(const ztctl::Options &o)
{
    Client client = openClient("", o.timeoutMs);
    if (!client)
        return kExitNoAnswer;
    int status = kExitOk;
    Watch watch = openSocket(client.get(), o, status);
    if (!watch)
        return status;
    ztctl::TopView view;
    for (;;) {
        ztclient_notification_t n{};
        const int rc = nextNotification(watch.get(), o.once ? o.timeoutMs : o.watchIdleMs, n);
        if (rc == ZTCLIENT_CLOSED && !o.once && reconnect(client.get(), watch, o))
            continue;
        if (!isText(rc, n)) {
            reportEnd(rc);
            if (o.once)
                fprintf(stderr, "ztctl: no state from the daemon within %u ms\n", o.timeoutMs);
            return o.once ? kExitNoAnswer : kExitOk;
        }
        if (!n.kind)
            continue;
        view.apply(n.kind, std::vector<ztctl::Item>(n.items, n.items + n.count));
        if (!view.hasState())
            continue;
        if (o.once) {
            fputs(view.frame().c_str(), stdout);
            return kExitOk;
        }
        // Home, clear the screen, then the frame.
        printf("\033[H\033[2J%s  %s\n\n%s", "ztctl top", timeStamp().c_str(), view.frame().c_str());
        fflush(stdout);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    std::string error;
    auto options = ztctl::parseCommandLine(argc, argv, error);
    if (!options) {
        // The cause and one line of help.
        if (error.find('\n') == std::string::npos)
            error += "\nztctl --help lists the commands and options";
        fprintf(stderr, "ztctl: %s\n", error.c_str());
        return kExitUsage;
    }
    installSignalHandlers(options->action == ztctl::Action::Watch ||
                          options->action == ztctl::Action::Top);
    switch (options->action) {
    case ztctl::Action::Help:
        fputs(ztctl::kUsage, stdout);
        printf("\nFriendly subcommands (ztctl list shows every command by name):\n%s",
               ztctl::subcommandUsage().c_str());
        return kExitOk;
    case ztctl::Action::List:
        return listCommands();
    case ztctl::Action::Watch:
        return watch(*options);
    case ztctl::Action::Top:
        return top(*options);
    case ztctl::Action::Send:
        return sendCommand(*options);
    }
    return kExitUsage;
}
