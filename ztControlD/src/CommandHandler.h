// What a command handler receives and what it gives back. Every command of
// the command table is carried out by one function of the form
//     CommandResult handler(CommandScope &scope, const CommandArgs &args);
// declared below from the table. A handler touches only what its scope holds;
// it never answers: the frame (ZtcontrolCommandServer::handleCommand) sends
// the one answer built from the result, then logs a failure unless the result
// or the table row is quiet. Handlers run on the worker thread with
// m_commandMutex held (the digital-zoom handler lets go of it while it arms
// the zoom timer, through PresetEditScope).
#ifndef ZTCONTROL_COMMAND_HANDLER_H
#define ZTCONTROL_COMMAND_HANDLER_H

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "MsgElement.h"
#include "ztCtrlD.h"
#include "ztErrno.h"
#include "ztMsg.h"
#include "ztcontrol_commands.h"

class CameraState;
class PresetEditScope;
class NotificationRegistry;

// The request as the handler sees it.
struct CommandArgs {
    ztcontrol_command_t command;
    // Element 'B', or nullptr when the request has none. The table's argument
    // rule has been checked before the handler runs.
    const MsgElement *argument;
    // The option byte (element 'W', 1 when absent); the frame has already
    // put it into the camera context.
    uint8_t option;
};

// What a handler may touch.
struct CommandScope {
    ztc_msg_q_context_t &camera;  // first argument of every ztc_* call
    CameraState &state;           // lens, power and preset-group cache
    PresetEditScope &edit;        // preset activation and edits, the zoom edit
    NotificationRegistry &registry;
    // ZTMSG_MAX bytes the handler may fill and return as its answer payload;
    // valid until the answer has been sent.
    uint8_t *answerBuffer;
    static constexpr size_t kAnswerBufferSize = ZTMSG_MAX;
};

// The one outcome of a handler: the result code, the answer payload (none,
// borrowed bytes that stay valid until the answer is sent, or owned bytes),
// and whether a failure is expected enough to leave no result line.
class CommandResult {
public:
    CommandResult(int code = ZT_OK) : m_code(code) {}  // NOLINT: a code is a result

    // The code with borrowed payload bytes (the library's answer buffer, the
    // scope's answer buffer, or static data).
    static CommandResult withData(int code, const void *data, size_t length)
    {
        CommandResult r(code);
        r.m_data = data;
        r.m_length = length;
        return r;
    }
    // The code with payload bytes the result owns (a serialised message).
    static CommandResult withOwnedData(int code, std::string bytes)
    {
        CommandResult r(code);
        r.m_owned = std::move(bytes);
        r.m_ownsData = true;
        return r;
    }
    // The same result without the failure line.
    CommandResult &quiet()
    {
        m_quiet = true;
        return *this;
    }

    // An action the frame runs once the answer has been sent (a change the
    // requester must not see before its answer).
    CommandResult &afterAnswer(void (*action)())
    {
        m_afterAnswer = action;
        return *this;
    }

    int code() const { return m_code; }
    bool isQuiet() const { return m_quiet; }
    const void *data() const { return m_ownsData ? m_owned.data() : m_data; }
    size_t length() const { return m_ownsData ? m_owned.size() : m_length; }
    void (*afterAnswerAction() const)() { return m_afterAnswer; }

private:
    int m_code = ZT_OK;
    bool m_quiet = false;
    bool m_ownsData = false;
    const void *m_data = nullptr;
    size_t m_length = 0;
    std::string m_owned;
    void (*m_afterAnswer)() = nullptr;
};

using CommandHandler = CommandResult (*)(CommandScope &scope, const CommandArgs &args);

// Every handler the table names, declared from the table.
#define ZTCONTROL_DECLARE_HANDLER(value, name, handler, rule, length, flags) \
    CommandResult handler(CommandScope &scope, const CommandArgs &args);
ZTCONTROL_COMMAND_TABLE(ZTCONTROL_DECLARE_HANDLER)
#undef ZTCONTROL_DECLARE_HANDLER

// The handler of each command value 0..101, from the table.
extern const CommandHandler g_commandHandlers[ZTCONTROL_CMD_LAST + 1];

// One command through its table row: a value without a row, a retired value
// and the stop command are unsupported ("Unhandled command %d"), an argument
// that breaks the row's rule is refused ("Invalid parameter"), anything else
// is the handler's result. The caller answers.
CommandResult runCommand(CommandScope &scope, const CommandArgs &args);

#endif  // ZTCONTROL_COMMAND_HANDLER_H
