// Command server, the command frame: the checks every command passes, the
// call of the command's handler from the command table, and the one answer
// and result line after it. Worker thread only.
#include "ztcontrol_bytes.h"
#include "ztcontrol_if_server.h"

// Retired values and the stop command have no handler; the frame answers
// them before any handler would run.
CommandResult cmdNone(CommandScope &, const CommandArgs &)
{
    return ZT_ERR_NOT_SUPPORTED;
}

const CommandHandler g_commandHandlers[ZTCONTROL_CMD_LAST + 1] = {
#define ZTCONTROL_HANDLER_ROW(value, name, handler, rule, length, flags) &handler,
    ZTCONTROL_COMMAND_TABLE(ZTCONTROL_HANDLER_ROW)
#undef ZTCONTROL_HANDLER_ROW
};

int ZtcontrolCommandServer::handleCommand(Msg &request, ztcontrol_command_t command)
{
    Lock hold(m_commandMutex);
    if (!m_interfaceOpen) {
        ZTLOG(ZT_LOG_ERROR, "protocol adapter not set - throwing out command");
        return ZT_ERR;
    }
    const MsgElement *option = request.findElement(TLV_OPTION);
    m_cameraContext.option = option ? option->getUInt8() : 1;
    const CommandArgs args{command, request.findElement(TLV_CMDARG), m_cameraContext.option};
    CommandScope scope{m_cameraContext, m_state, m_edit, *this, m_answerBuffer};
    const CommandResult result = runCommand(scope, args);
    sendResponse(request, result.code(), result.data(),
                 static_cast<unsigned short>(result.length()));
    if (result.afterAnswerAction())
        result.afterAnswerAction()();
    const ztcontrol_command_info_t *row = ztcontrolCommandInfo(command);
    const bool quiet = result.isQuiet() || (row && (row->flags & ZT_CMD_QUIET));
    if (result.code() != ZT_OK && !quiet && static_cast<uint32_t>(command) < ZTCONTROL_CMD_LAST)
        ZTLOG(ZT_LOG_ERROR, "Command: %s (%d) returned ztErrno:(%d=%s)",
              ztcontrolCommandName(command), (int)command, result.code(),
              ztErrno2Str(result.code()));
    return result.code();
}

CommandResult runCommand(CommandScope &scope, const CommandArgs &args)
{
    const ztcontrol_command_info_t *row = ztcontrolCommandInfo(args.command);
    if (!row || (row->flags & (ZT_CMD_RETIRED | ZT_CMD_STOP))) {
        ZTLOG(ZT_LOG_ERROR, "Unhandled command %d", (int)args.command);
        return ZT_ERR_NOT_SUPPORTED;
    }
    const bool present = args.argument != nullptr;
    if (!ztcontrolArgumentFits(*row, present, present ? args.argument->getLength() : 0))
        return invalidParam();
    return g_commandHandlers[args.command](scope, args);
}
