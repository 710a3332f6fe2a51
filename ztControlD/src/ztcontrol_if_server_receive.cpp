// Command server, receive side: waiting for a message on "/to_ztCtlD",
// checking its framing, classifying it, decoding client commands, and the two
// ways of answering a requester.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/select.h>

#include <string>

#include "utils.h"
#include "ztErrno.h"
#include "ztTlv.h"
#include "ztcontrol_if_server.h"

namespace {

uint16_t readBE16(const uint8_t *p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

// Copies an element's value as printable text for a log line, at most
// outSize - 1 bytes; never reads past the element.
const char *elementText(const uint8_t *element, char *out, size_t outSize)
{
    out[0] = '\0';
    if (!element || outSize == 0)
        return out;
    size_t len = readBE16(element + 1);
    if (len > outSize - 1)
        len = outSize - 1;
    for (size_t i = 0; i < len; ++i) {
        const uint8_t c = element[4 + i];
        if (c == '\0') {
            len = i;
            break;
        }
        out[i] = (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    out[len] = '\0';
    return out;
}

}  // namespace

// The TLV functions walk elements by the lengths the message itself declares.
// A message whose header claims more than was received, or whose elements do
// not tile it exactly, would make them read past the received bytes, so it is
// dropped before anything looks inside. Bytes after a complete message (one
// that ends with its end element) are the rest of a client's padded buffer
// and are ignored; a header that stops short of its end element is at odds
// with what was received.
bool ZtcontrolCommandServer::framingIsSound(const uint8_t *buffer, ssize_t length)
{
    const char *fault = nullptr;
    const ssize_t declared = length < TLV_HDR_LEN ? 0 : readBE16(buffer);
    if (length < TLV_HDR_LEN) {
        fault = "shorter than its header";
    } else if (declared > length || declared < TLV_HDR_LEN) {
        fault = "header length differs from the bytes received";
    } else {
        ssize_t offset = TLV_HDR_LEN;
        ssize_t last = -1;
        while (offset < declared && !fault) {
            if (offset + TLV_ELEM_HDR_LEN > declared) {
                fault = "element head runs past the message";
            } else if (offset + TLV_ELEM_HDR_LEN + readBE16(buffer + offset + 1) > declared) {
                fault = "element value runs past the message";
            } else {
                last = offset;
                offset += TLV_ELEM_HDR_LEN + readBE16(buffer + offset + 1);
            }
        }
        if (!fault && declared < length && (last < 0 || buffer[last + 3] != TLV_END))
            fault = "header length differs from the bytes received";
    }
    if (fault) {
        ZTLOG(ZT_LOG_ERROR, "Dropping malformed message of %d bytes: %s", (int)length, fault);
        return false;
    }
    return true;
}

bool ZtcontrolCommandServer::receiveMsg(Msg &request, ztcontrol_command_t &command,
                                        unsigned int timeoutMs, bool &timedOut)
{
    timedOut = false;
    ssize_t received = -1;
    errno = 0;
    if (m_cmdQueue >= 0 && m_cmdQueue < FD_SETSIZE) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_cmdQueue, &readable);
        struct timeval timeout;
        timeout.tv_sec = timeoutMs / 1000;
        timeout.tv_usec = (timeoutMs % 1000) * 1000;
        if (select(m_cmdQueue + 1, &readable, nullptr, nullptr, &timeout) > 0 &&
            FD_ISSET(m_cmdQueue, &readable))
            received =
                mq_receive(m_cmdQueue, reinterpret_cast<char *>(m_rxBuffer), ZTMSG_MAX, nullptr);
    }
    if (received < 0) {
        timedOut = true;
        if (errno == ETIMEDOUT)
            ZTLOG(ZT_LOG_ERROR, "Timedout receiving on daemon message queue");
        else
            ZTLOG(ZT_LOG_INFO, "no message received on daemon message queue");
        return false;
    }

    Lock hold(m_commandMutex);
    ZTLOG(ZT_LOG_INFO, "received %d bytes at server", (int)received);
    if (!framingIsSound(m_rxBuffer, received))
        return false;
    if (readBE16(m_rxBuffer) < received) {
        ZTLOG(ZT_LOG_INFO, "Ignoring %d bytes after the %d-byte message",
              (int)(received - readBE16(m_rxBuffer)), (int)readBE16(m_rxBuffer));
        received = readBE16(m_rxBuffer);
    }

    const uint8_t *commandElement = tlv_find(m_rxBuffer, TLV_CMD);
    if (commandElement && readBE16(commandElement + 1) >= 2 && commandElement[4] == 'C' &&
        strchr("NRUI", commandElement[5]) && commandElement[5] != '\0') {
        handleCsiEvent(commandElement);
        return false;
    }
    const uint8_t category = m_rxBuffer[3];
    if (category == CAT_SYS_RSP) {
        char text[64];
        ZTLOG(ZT_LOG_ERROR, "Unexpected Response type on CSI subscribe response [%s]",
              elementText(commandElement, text, sizeof(text)));
        return false;
    }
    switch (category) {
    case CAT_SYS_CMD:
        handleSuspendResume();
        return false;
    case CAT_RTOS_CMD:
        handlePresetUpdate();
        return false;
    default:
        return classifyClientCommand(received, request, command);
    }
}

bool ZtcontrolCommandServer::classifyClientCommand(ssize_t length, Msg &request,
                                                   ztcontrol_command_t &command)
{
    if (!m_interfaceOpen) {
        ZTLOG(ZT_LOG_ERROR, "protocol adapter not set - throwing out command");
        return false;
    }
    MemStream stream(m_rxBuffer, static_cast<uint32_t>(length));
    stream >> request;
    if (stream.fail()) {
        ZTLOG(ZT_LOG_ERROR, "Client message of %d bytes does not parse; dropped", (int)length);
        return false;
    }
    request.dump("Msg From Client");
    if (request.getCategory() != CAT_CLIENT_CMD) {
        request.dump("Invalid expected category");
        ZTLOG(ZT_LOG_ERROR, "Invalid command category received: %d", request.getCategory());
        return false;
    }
    const MsgElement *commandElement = request.findElement(TLV_CMD);
    if (!commandElement) {
        ZTLOG(ZT_LOG_ERROR, "No command specified in message. Skipping");
        return false;
    }
    // A command is a 32-bit number; a shorter or longer element would be read
    // as some other command.
    if (commandElement->getLength() != sizeof(uint32_t)) {
        ZTLOG(ZT_LOG_ERROR, "Command element of %u bytes is not a 4-byte command; dropped",
              (unsigned)commandElement->getLength());
        return false;
    }
    command = static_cast<ztcontrol_command_t>(commandElement->getUInt32());
    if (command == ZTCONTROL_CMD_LAST) {
        m_running.store(false);
        sendResponse(request, ZT_OK, nullptr, 0);
        return false;
    }
    return true;
}

bool ZtcontrolCommandServer::sendResponse(Msg &request, int result, const void *payload,
                                          unsigned short payloadLength)
{
    if (result != 0)
        ZTLOG(ZT_LOG_INFO, "Sending response with err:%d", result);
    static bool s_sizeWarned = false;
    if (payloadLength > kPayloadWarnLength && !s_sizeWarned) {
        s_sizeWarned = true;
        ZTLOG(ZT_LOG_ERROR, "*** WARNING - msg length of %d nearing %d max ***", payloadLength,
              ZTMSG_MAX);
    }
    const bool hasPayload = payload != nullptr && payloadLength != 0;
    // Header, result element, payload element and end element must fit one
    // message; a payload that does not is replaced by a plain failure so the
    // requester still gets exactly one answer.
    const unsigned framing = TLV_HDR_LEN + 3 * TLV_ELEM_HDR_LEN + sizeof(int32_t);
    if (hasPayload && framing + payloadLength > ZTMSG_MAX) {
        ZTLOG(ZT_LOG_ERROR, "Answer payload of %u bytes does not fit a message; answering %d",
              (unsigned)payloadLength, ZT_ERR);
        return sendResponse(request, ZT_ERR, nullptr, 0);
    }

    Msg response(CAT_CLIENT_RSP);
    int32_t resultValue = result;
    s_resultElement.setData(&resultValue, sizeof(resultValue));
    response.addElement(&s_resultElement);
    if (hasPayload) {
        s_payloadElement.setData(payload, payloadLength);
        response.addElement(&s_payloadElement);
    }
    s_endElement.setData(nullptr, 0);
    response.addElement(&s_endElement);
    MemStream stream(m_txBuffer, ZTMSG_MAX);
    stream << response;
    response.clear();  // the shared elements must not outlive this answer's data
    if (stream.fail()) {
        ZTLOG(ZT_LOG_ERROR, "Answer could not be serialised");
        return false;
    }

    const MsgElement *source = request.findElement(TLV_SRC);
    if (!source || !source->getData() || source->getLength() == 0) {
        ZTLOG(ZT_LOG_ERROR, "No requester SRC in the message received.");
        return false;
    }
    const std::string queueName(reinterpret_cast<const char *>(source->getData()),
                                source->getLength());
    return postToRequester(queueName.c_str(), m_txBuffer, stream.getLength());
}

bool ZtcontrolCommandServer::nakMsg(Msg &request)
{
    sendResponse(request, 1, nullptr, 0);
    return true;
}

// Requester queues are opened without blocking: a requester that does not
// read its queue loses its answer instead of holding up the worker.
bool ZtcontrolCommandServer::postToRequester(const char *queueName, const uint8_t *bytes,
                                             uint32_t length)
{
    mqd_t queue = mq_open(queueName, O_WRONLY | O_NONBLOCK);
    if (queue == (mqd_t)-1) {
        ZTLOG(ZT_LOG_ERROR, "mq_open() failed for '%s': %s", queueName, strerror(errno));
        return false;
    }
    const bool sent = mq_send(queue, reinterpret_cast<const char *>(bytes), length, 0) == 0;
    if (!sent)
        ZTLOG(ZT_LOG_ERROR, "mq_send() failed for '%s': %s", queueName, strerror(errno));
    mq_close(queue);
    return sent;
}
