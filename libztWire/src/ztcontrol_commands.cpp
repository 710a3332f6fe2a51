// The command table as data.
#include "ztcontrol_commands.h"

const ztcontrol_command_info_t g_ztcontrolCommands[ZTCONTROL_CMD_LAST + 1] = {
#define ZTCONTROL_INFO_ROW(value, name, handler, rule, length, flags) \
    {name, #name, rule, length, flags},
    ZTCONTROL_COMMAND_TABLE(ZTCONTROL_INFO_ROW)
#undef ZTCONTROL_INFO_ROW
};

const char *const g_ztcontrolCommandNames[ZTCONTROL_CMD_LAST + 1] = {
#define ZTCONTROL_NAME_ROW(value, name, handler, rule, length, flags) #name,
    ZTCONTROL_COMMAND_TABLE(ZTCONTROL_NAME_ROW)
#undef ZTCONTROL_NAME_ROW
};

// The rows must be the values 0..101 in order, so that row v is command v.
namespace {
constexpr int32_t kRowValues[] = {
#define ZTCONTROL_VALUE_ROW(value, name, handler, rule, length, flags) value,
    ZTCONTROL_COMMAND_TABLE(ZTCONTROL_VALUE_ROW)
#undef ZTCONTROL_VALUE_ROW
};
constexpr bool rowsAreInOrder()
{
    for (size_t i = 0; i < sizeof kRowValues / sizeof kRowValues[0]; ++i)
        if (kRowValues[i] != static_cast<int32_t>(i))
            return false;
    return sizeof kRowValues / sizeof kRowValues[0] == ZTCONTROL_CMD_LAST + 1;
}
static_assert(rowsAreInOrder(), "command table rows must be the values 0..101 in order");
}  // namespace

const ztcontrol_command_info_t *ztcontrolCommandInfo(int32_t command)
{
    if (command < 0 || command > ZTCONTROL_CMD_LAST)
        return nullptr;
    return &g_ztcontrolCommands[command];
}

const char *ztcontrolCommandName(int32_t command)
{
    if (command < 0 || command >= ZTCONTROL_CMD_LAST)
        return nullptr;
    return g_ztcontrolCommandNames[command];
}

bool ztcontrolArgumentFits(const ztcontrol_command_info_t &info, bool present, size_t length)
{
    switch (info.rule) {
    case ZT_ARG_AT_LEAST:
        return present && length >= info.length;
    case ZT_ARG_EXACTLY:
        return present && length == info.length;
    case ZT_ARG_NONE:
        return !present;
    case ZT_ARG_OPTIONAL:
        break;
    }
    return true;
}
