// Reading one firmware block through the camera control library.
#include "ztcontrol_remote_ops.h"

#include <string.h>

#include "ztErrno.h"
#include "ztcontrol_bytes.h"

BlockRead readRemoteBlock(ztc_msg_q_context_t &camera, uint8_t category, uint8_t identifier,
                          uint8_t *dest, size_t size, BlockFit fit, int &status, uint16_t &length)
{
    uint8_t *answer = nullptr;
    length = 0;
    status = ztc_send_remote_api_for_response(&camera, category, identifier, &answer, &length);
    if (status != ZT_OK)
        return BlockRead::Failed;
    if (isNakOff(answer, length))
        return BlockRead::Refused;
    if (fit == BlockFit::Partial) {
        if (answer != nullptr)
            memcpy(dest, answer, length < size ? length : size);
        return BlockRead::Good;
    }
    if (answer == nullptr || length != size)
        return BlockRead::WrongSize;
    memcpy(dest, answer, size);
    return BlockRead::Good;
}

RemoteAnswer queryRemote(ztc_msg_q_context_t &camera, uint8_t category, uint8_t identifier,
                         const char *what, int line, const char *file)
{
    RemoteAnswer answer{ZT_OK, nullptr, 0};
    answer.rc = ztLoggedResult(ztc_send_remote_api_for_response(&camera, category, identifier,
                                                                &answer.data, &answer.length),
                               what, line, file);
    return answer;
}
