// The registry commands: a local service registers (or drops) its queue as a
// notification client, and a client switches the socket notifications on or
// off.
#include <string.h>

#include <string>

#include "CommandHandler.h"
#include "NotificationRegistry.h"
#include "utils.h"
#include "ztcontrol_layouts.h"

// A 32-bit flag (non-zero: register), then the queue name, NUL-terminated or
// ending with the argument (at least the flag, by the table).
CommandResult cmdEventRegisterMqueue(CommandScope &scope, const CommandArgs &args)
{
    const MsgElement &argument = *args.argument;
    static_assert(kZtRegisterArgFlagOffset == 0, "the flag is the argument's first word");
    const bool reg = argument.getUInt32() != 0;
    const char *nameBytes =
        reinterpret_cast<const char *>(argument.getData()) + kZtRegisterArgNameOffset;
    const size_t nameRoom = argument.getLength() - kZtRegisterArgNameOffset;
    const std::string queueName(nameBytes, strnlen(nameBytes, nameRoom));
    if (reg)
        return scope.registry.registerQueueClient(queueName);
    scope.registry.unregisterQueueClient(queueName);
    return ZT_OK;
}

// "status=0" or "status=1", not NUL-terminated on the wire.
CommandResult cmdPushNotifications(CommandScope &scope, const CommandArgs &args)
{
    std::string params(reinterpret_cast<const char *>(args.argument->getData()),
                       args.argument->getLength());
    ZTLOG(ZT_LOG_DEBUG, "ZTCONTROL_PUSH_NOTIFICATIONS: %s", params.c_str());
    return scope.registry.ConfigureSocketNotifications(
        reinterpret_cast<unsigned char *>(&params[0]));
}
