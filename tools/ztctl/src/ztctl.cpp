// ztctl: the command-line client of the camera daemon. Sends one command and
// prints its answer, stops the daemon, lists the commands, or watches the
// notifications on the TCP port.
#include <signal.h>
#include <stdio.h>
#include <string.h>

#include "CommandLine.h"
#include "DaemonLink.h"
#include "NotifyWatcher.h"
#include "Subcommand.h"
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

int sendCommand(const ztctl::Options &o)
{
    ztctl::DaemonLink link(o.replyQueue);
    if (!link.ok()) {
        fprintf(stderr, "ztctl: %s\n", link.error().c_str());
        return kExitNoAnswer;
    }
    const char *name = ztctl::commandName(o.command);
    printf("command: %u (%s)\n", o.command, name ? name : "unknown value");
    fflush(stdout);
    auto answer = link.call(o.command, o.argument, o.option, o.timeoutMs);
    if (!answer) {
        fprintf(stderr, "ztctl: %s\n", link.error().c_str());
        return kExitNoAnswer;
    }
    fputs(ztctl::formatAnswer(o.command, *answer, o.rawOutput).c_str(), stdout);
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
    } else {
        if (!watcher.connect(o.port, o.timeoutMs)) {
            fprintf(stderr, "ztctl: %s\n", watcher.error().c_str());
            return kExitNoAnswer;
        }
        // Socket clients start paused; switching them on applies to every
        // socket client of the daemon, as the daemon knows no per-client
        // switch, so they are not switched off again at the end.
        // The daemon adds the connection on its accept thread, which may
        // come after the switch has been handled: the switch then misses
        // it. A resumed client gets the full state within a poll pass, so
        // the switch is repeated until something arrives (a few times).
        const std::string on = "status=1";
        for (int attempt = 0; attempt < kSwitchAttempts; ++attempt) {
            auto answer =
                link.call(ZTCONTROL_PUSH_NOTIFICATIONS, std::vector<uint8_t>(on.begin(), on.end()),
                          std::nullopt, o.timeoutMs);
            if (!answer || !answer->hasResult || answer->result != 0) {
                fprintf(stderr, "ztctl: cannot switch notifications on: %s\n",
                        answer ? "the daemon refused" : link.error().c_str());
                return answer ? kExitResult : kExitNoAnswer;
            }
            if (watcher.awaitData(kFirstMessageWaitMs))
                break;
        }
    }
    const unsigned printed = watcher.run(stdout, o.watchCount, o.watchIdleMs, o.rawOutput);
    if (!watcher.error().empty())
        fprintf(stderr, "ztctl: %s\n", watcher.error().c_str());
    if (!queue.empty() && !registerQueue(link, queue, false, o.timeoutMs))
        fprintf(stderr, "ztctl: cannot unregister queue %s\n", queue.c_str());
    if (o.watchCount > 0 && printed < o.watchCount) {
        fprintf(stderr, "ztctl: %u of %u messages\n", printed, o.watchCount);
        return kExitNoAnswer;
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char **argv)
{
    std::string error;
    auto options = ztctl::parseCommandLine(argc, argv, error);
    if (!options) {
        fprintf(stderr, "ztctl: %s\n\n%s", error.c_str(), ztctl::kUsage);
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
    case ztctl::Action::Send:
        return sendCommand(*options);
    }
    return kExitUsage;
}
