// ztctl: the command-line client of the camera daemon. Sends one command and
// prints its answer, stops the daemon, lists the commands, or watches the
// notifications on the TCP port.
#include <signal.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "CommandLine.h"
#include "DaemonLink.h"
#include "NotifyWatcher.h"
#include "StateTable.h"
#include "Subcommand.h"
#include "TopView.h"
#include "ztCtrlD.h"
#include "ztcontrol_commands.h"

namespace {

enum ExitCode { kExitOk = 0, kExitResult = 1, kExitUsage = 2, kExitNoAnswer = 3 };

// watch: how often the push switch is sent, and how long the first message
// is awaited after each.
constexpr int kSwitchAttempts = 5;
constexpr unsigned kFirstMessageWaitMs = 1000;

// Ctrl-C and kill interrupt the waits (no SA_RESTART) and stop a watch, so
// the queues are still unlinked (and a watch queue unregistered) on the way
// out.
void onSignal(int)
{
    ztctl::NotifyWatcher::requestStop();
}

void installSignalHandlers()
{
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
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
    ztctl::DaemonLink link(o.replyQueue);
    if (!link.ok()) {
        fprintf(stderr, "ztctl: %s\n", link.error().c_str());
        return kExitNoAnswer;
    }
    if (o.rawOutput) {
        const char *name = ztctl::commandName(o.command);
        printf("command: %u (%s)\n", o.command, name ? name : "unknown value");
        fflush(stdout);
    }
    auto answer = link.call(o.command, o.argument, o.option, o.timeoutMs);
    if (!answer) {
        fprintf(stderr, "ztctl: %s\n", link.error().c_str());
        return kExitNoAnswer;
    }
    ztctl::Display display;
    display.json = o.json;
    display.verbose = o.verbose;
    fputs(ztctl::formatAnswer(o.command, *answer, o.rawOutput, display).c_str(), stdout);
    return answer->hasResult && answer->result == 0 ? kExitOk : kExitResult;
}

// Registers (reg) or unregisters the notification queue `name`.
bool registerQueue(ztctl::DaemonLink &link, const std::string &name, bool reg, unsigned timeoutMs)
{
    std::vector<uint8_t> arg = {static_cast<uint8_t>(reg ? 1 : 0), 0, 0, 0};
    arg.insert(arg.end(), name.begin(), name.end());
    arg.push_back(0);
    auto answer = link.call(ZTCONTROL_EVENT_REGISTER_MQUEUE, arg, std::nullopt, timeoutMs);
    return answer && answer->hasResult && answer->result == 0;
}

// Switches socket notifications on. Socket clients start paused; the switch
// applies to every socket client of the daemon, as the daemon knows no
// per-client switch, so they are not switched off again at the end. The
// daemon adds the connection on its accept thread, which may come after it
// has handled the switch: the switch then misses it. A resumed client gets
// the full state within a poll pass, so the switch is repeated until
// something arrives (a few times). Returns kExitOk or the exit status.
int switchOn(ztctl::NotifyWatcher &watcher, ztctl::DaemonLink &link, unsigned timeoutMs)
{
    const std::string on = "status=1";
    for (int attempt = 0; attempt < kSwitchAttempts; ++attempt) {
        auto answer =
            link.call(ZTCONTROL_PUSH_NOTIFICATIONS, std::vector<uint8_t>(on.begin(), on.end()),
                      std::nullopt, timeoutMs);
        if (!answer || !answer->hasResult || answer->result != 0) {
            fprintf(stderr, "ztctl: cannot switch notifications on: %s\n",
                    answer ? "the daemon refused" : link.error().c_str());
            return answer ? kExitResult : kExitNoAnswer;
        }
        if (watcher.awaitData(kFirstMessageWaitMs))
            break;
    }
    return kExitOk;
}

// Connects to the notification port and switches notifications on.
int openSocket(ztctl::NotifyWatcher &watcher, ztctl::DaemonLink &link, const ztctl::Options &o,
               unsigned retryMs)
{
    if (!watcher.connect(o.port, retryMs)) {
        fprintf(stderr, "ztctl: no daemon: %s\n", watcher.error().c_str());
        return kExitNoAnswer;
    }
    return switchOn(watcher, link, o.timeoutMs);
}

// After the daemon dropped the connection (suspend, restart): connects again
// once it is back, for as long as the watch may go on (Ctrl-C, or --idle).
bool reconnect(ztctl::NotifyWatcher &watcher, ztctl::DaemonLink &link, const ztctl::Options &o)
{
    fprintf(stderr, "ztctl: the daemon closed the connection; reconnecting\n");
    const unsigned retryMs = o.watchIdleMs ? o.watchIdleMs : ~0u;
    while (!ztctl::NotifyWatcher::stopRequested()) {
        if (!watcher.connect(o.port, retryMs))
            return false;
        // A restarting daemon may listen before its command queue is open.
        if (switchOn(watcher, link, o.timeoutMs) == kExitOk) {
            fprintf(stderr, "ztctl: reconnected\n");
            return true;
        }
        if (o.watchIdleMs)
            return false;
    }
    return false;
}

// One notification as watch prints it: by name under a time-stamped heading
// of its kind, or as one JSON line; false when there is nothing to print
// (only throttled counters changed, and --all was not given).
bool printNotification(const std::string &text, const ztctl::Options &o)
{
    if (o.rawOutput) {
        printf("%s\n", text.c_str());
        return true;
    }
    auto n = ztctl::parseNotification(text);
    if (!n) {
        printf("%s\n", text.c_str());  // not a shape ztctl knows: as it came
        return true;
    }
    if (!o.all && n->kind == "changes") {
        n->members.erase(std::remove_if(n->members.begin(), n->members.end(), ztctl::isThrottled),
                         n->members.end());
        if (n->members.empty())
            return false;
    }
    const std::string stamp = ztctl::NotifyWatcher::timeStamp();
    if (o.json)
        printf("%s\n", ztctl::formatJson(n->members,
                                         "\"time\":\"" + stamp + "\",\"kind\":\"" + n->kind + "\"")
                           .c_str());
    else
        printf("--- %s  %s\n%s", stamp.c_str(), n->kind.c_str(),
               ztctl::formatTable(n->members).c_str());
    return true;
}

// Watches on port o.port, or as the queue client o.replyQueue when given;
// the daemon link then uses a reply queue of its own.
int watch(const ztctl::Options &o)
{
    ztctl::NotifyWatcher watcher;
    ztctl::DaemonLink link;
    if (!link.ok()) {
        fprintf(stderr, "ztctl: %s\n", link.error().c_str());
        return kExitNoAnswer;
    }
    const std::string &queue = o.replyQueue;
    if (!queue.empty()) {
        if (!watcher.openQueue(queue)) {
            fprintf(stderr, "ztctl: %s\n", watcher.error().c_str());
            return kExitNoAnswer;
        }
        if (!registerQueue(link, queue, true, o.timeoutMs)) {
            fprintf(stderr, "ztctl: cannot register queue %s: %s\n", queue.c_str(),
                    link.error().empty() ? "the daemon refused" : link.error().c_str());
            return kExitNoAnswer;
        }
    } else if (int status = openSocket(watcher, link, o, o.timeoutMs); status != kExitOk) {
        return status;
    }
    unsigned printed = 0;
    while (o.watchCount == 0 || printed < o.watchCount) {
        auto text = watcher.next(o.watchIdleMs);
        if (!text) {
            if (queue.empty() && watcher.closed() && reconnect(watcher, link, o))
                continue;
            break;
        }
        if (printNotification(*text, o))
            ++printed;
        fflush(stdout);
    }
    if (!watcher.error().empty() && !watcher.closed())
        fprintf(stderr, "ztctl: %s\n", watcher.error().c_str());
    if (!queue.empty() && !registerQueue(link, queue, false, o.timeoutMs))
        fprintf(stderr, "ztctl: cannot unregister queue %s\n", queue.c_str());
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
    ztctl::NotifyWatcher watcher;
    ztctl::DaemonLink link;
    if (!link.ok()) {
        fprintf(stderr, "ztctl: %s\n", link.error().c_str());
        return kExitNoAnswer;
    }
    if (int status = openSocket(watcher, link, o, o.timeoutMs); status != kExitOk)
        return status;
    ztctl::TopView view;
    for (;;) {
        auto text = watcher.next(o.once ? o.timeoutMs : o.watchIdleMs);
        if (!text) {
            if (!o.once && watcher.closed() && reconnect(watcher, link, o))
                continue;
            if (o.once)
                fprintf(stderr, "ztctl: no state from the daemon within %u ms\n", o.timeoutMs);
            return o.once ? kExitNoAnswer : kExitOk;
        }
        auto n = ztctl::parseNotification(*text);
        if (!n)
            continue;
        view.apply(*n);
        if (!view.hasState())
            continue;
        if (o.once) {
            fputs(view.frame().c_str(), stdout);
            return kExitOk;
        }
        // Home, clear the screen, then the frame.
        printf("\033[H\033[2J%s  %s\n\n%s", "ztctl top", ztctl::NotifyWatcher::timeStamp().c_str(),
               view.frame().c_str());
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
    installSignalHandlers();
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
