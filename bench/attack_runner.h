// The frame of zt_attack: each attack runs in a forked child with private
// IPC and network namespaces (and, when asked, a private mount namespace
// with its own /tmp), in a process group of its own so that whatever it
// started goes with it, and within a time bound. The child hands its row
// back through a pipe; the parent prints the table.
#ifndef ZT_ATTACK_RUNNER_H
#define ZT_ATTACK_RUNNER_H

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace ztattack {

// One line of the table. Facts are added as the attack goes; a fact that
// shows the daemon did not hold makes the row NOT HELD and is marked "(!)".
struct Row {
    bool held = true;
    bool skipped = false;  // a check could not run here (not root)
    int checked = 0;       // facts seen
    std::string sent;      // what the attack did to the daemon
    std::string happened;  // what it saw, fact by fact
    std::string detail;    // for a row not held: the daemon's last log lines

    void fact(bool ok, const std::string &text);
    // A check that needs another user where the program cannot become one.
    void skip(const std::string &text);
    // "held", "NOT HELD", "held, partly skipped" or "skipped".
    const char *verdict() const;
};

struct Attack {
    const char *name;
    bool privateTmp;  // a mount namespace with a tmpfs of its own on /tmp
    int boundSeconds;
    std::function<void(Row &)> run;
};

// Runs `attack` isolated and bounded; a child that outlives its bound or
// dies without a row gives a row NOT HELD saying so. Directories in
// `keepDirs` that lie under /tmp stay reachable under a private /tmp (the
// binaries' directories).
Row runIsolated(const Attack &attack, const std::vector<std::string> &keepDirs);

// The other user of the attacks (nobody), not in the daemon's group.
constexpr uid_t kOtherUser = 65534;

// The last `lines` lines of `text`.
std::string tail(const std::string &text, int lines);

}  // namespace ztattack

#endif  // ZT_ATTACK_RUNNER_H
