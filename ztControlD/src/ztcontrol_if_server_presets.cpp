// Command server: Preset commands. Worker thread, m_commandMutex held.
#include "ztcontrol_if_server.h"

ZtcontrolCommandServer::CommandOutcome
ZtcontrolCommandServer::handlePresetCommand(Msg &request, ztcontrol_command_t command,
                                        const MsgElement *argument)
{
    (void)request;
    (void)argument;
    return notBuiltYet(command);
}
