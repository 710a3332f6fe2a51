// Command server, events from the firmware side: camera-state-interface
// traffic for the library's listener, suspend and resume requests answered in
// place, preset-update events, and the suspended state. Runs on the worker
// thread inside receiveMsg, with m_commandMutex held and the message in
// m_rxBuffer, its framing already checked.
#include <string.h>

#include "hexdump.h"
#include "utils.h"
#include "ztcontrol_bytes.h"
#include "ztErrno.h"
#include "ztMbox.h"
#include "ztTlv.h"
#include "preset_groups.h"
#include "ztcontrol_if_server.h"

namespace {

// CSI item that carries the preset-change word (event << 24 | id or group).
constexpr unsigned kPresetChangeItem = 7;

constexpr uint8_t kPresetEditStore = 1;
constexpr uint8_t kPresetCreated = 3;
constexpr uint8_t kPresetReordered = 4;
constexpr uint8_t kPresetRemoved = 5;
constexpr uint8_t kPresetActiveSet = 6;
constexpr uint8_t kPresetReset = 7;
constexpr uint8_t kPresetChanged = 8;

uint16_t valueLength(const uint8_t *element)
{
    return static_cast<uint16_t>((element[1] << 8) | element[2]);
}

// True when the message's last element is an empty end element. Events are
// edited in place by dropping that element, so one without it is refused.
bool endsWithEndElement(const uint8_t *msg)
{
    const int total = sntlv_msg_len(msg);
    int offset = TLV_HDR_LEN;
    int last = -1;
    while (offset + TLV_ELEM_HDR_LEN <= total) {
        last = offset;
        offset += TLV_ELEM_HDR_LEN + valueLength(msg + offset);
    }
    return last >= 0 && offset == total && msg[last + 3] == TLV_END && valueLength(msg + last) == 0;
}

// The command code as text for the log lines (at most 8 characters).
const char *codeText(const uint8_t *element, char (&out)[9])
{
    out[0] = '\0';
    if (!element)
        return out;
    size_t len = valueLength(element);
    if (len > 8)
        len = 8;
    size_t i = 0;
    for (; i < len && element[4 + i] != '\0'; ++i)
        out[i] = (element[4 + i] >= 0x20 && element[4 + i] < 0x7F)
                     ? static_cast<char>(element[4 + i])
                     : '?';
    out[i] = '\0';
    return out;
}

bool codeIs(const uint8_t *element, const char *code)
{
    return element && valueLength(element) >= 2 && element[4] == code[0] && element[5] == code[1];
}

uint8_t groupOf(uint32_t preset)
{
    return static_cast<uint8_t>((preset >> 16) & 0xFF);
}

}  // namespace

void ZtcontrolCommandServer::handleCsiEvent(const uint8_t *command)
{
    const char kind = static_cast<char>(command[5]);
    const char *name = kind == 'N'   ? "CN csi set"
                       : kind == 'R' ? "CR csi sub response"
                       : kind == 'U' ? "CU csi multiple set"
                                     : "CI csi set response";
    ZTLOG(ZT_LOG_DEBUG, "Processing CSI event %s", name);
    char *message = reinterpret_cast<char *>(m_rxBuffer);
    if (kind == 'N' || kind == 'U')
        m_csiListener->HandleCSIMessage(message);
    else if (kind == 'R')
        m_csiListener->HandleSubscribeResponse(message);
    else
        m_csiListener->HandleSetResponse(message);
}

void ZtcontrolCommandServer::handleSuspendResume()
{
    uint8_t *msg = m_rxBuffer;
    uint8_t *destination = tlv_find(msg, TLV_DST);
    uint8_t *source = tlv_find(msg, TLV_SRC);
    const uint8_t *command = tlv_find(msg, TLV_CMD);
    char text[9];
    if (!command) {
        ZTLOG(ZT_LOG_ERROR, "Unexpected Response type on CSI subscribe response [%s]", "");
        return;
    }
    // The answer is the request turned round in place: it needs both queue
    // names, a final end element to replace and room for 5 more bytes.
    const int length = sntlv_msg_len(msg);
    if (!source || !destination || valueLength(source) == 0 || valueLength(destination) == 0 ||
        !endsWithEndElement(msg) || length + 5 > ZTMSG_MAX) {
        ZTLOG(ZT_LOG_ERROR, "Dropping %s request that cannot be answered in place",
              codeText(command, text));
        return;
    }
    char requester[256];
    size_t nameLength = valueLength(source);
    if (nameLength >= sizeof(requester))
        nameLength = sizeof(requester) - 1;
    memcpy(requester, source + TLV_ELEM_HDR_LEN, nameLength);
    requester[nameLength] = '\0';

    if (codeIs(command, "JR")) {
        ZTLOG(ZT_LOG_INFO, "JR received (resume)");
        const unsigned char model = GetCameraModel();
        m_suspended = false;
        m_csiListener->Resume();
        ztc_select_protocol_adapter(model);
        m_interfaceOpen = true;
    } else if (codeIs(command, "JS")) {
        ZTLOG(ZT_LOG_INFO, ":JS received");
        prepareForSuspend();
    } else {
        ZTLOG(ZT_LOG_ERROR, "Unexpected Response type on CSI subscribe response [%s]",
              codeText(command, text));
        return;
    }

    sntlv_remove(msg, ZTMSG_MAX, TLV_END);
    msg[3] = static_cast<uint8_t>(msg[3] + 1);
    source[3] = TLV_DST;
    destination[3] = TLV_SRC;
    sntlv_add_dat(msg, ZTMSG_MAX, TLV_RSPARG, 1, 0);
    sntlv_add_bin(msg, ZTMSG_MAX, TLV_END, 0, nullptr);
    const int answerLength = sntlv_msg_len(msg);

    ztattr_t handle;
    if (ztMbox_txopen(requester, &handle) == 0) {
        ztMbox_send(msg, static_cast<uint32_t>(answerLength), &handle);
        ztMbox_close(&handle);
    } else {
        ZT_DMSGERR(261, "MSG_RESPOND (ztMbox_txopen()) failed");
        hexprint("ERROR", 0, msg, answerLength);
    }
}

void ZtcontrolCommandServer::handlePresetUpdate()
{
    uint8_t *msg = m_rxBuffer;
    if (!endsWithEndElement(msg)) {
        ZTLOG(ZT_LOG_ERROR, "Dropping preset update without its end element");
        return;
    }
    sntlv_remove(msg, ZTMSG_MAX, TLV_END);
    if (m_suspended) {
        ZTLOG(ZT_LOG_ERROR, "ztcontrol dropped CAT_RTOS_CMD for preset update while suspended");
        return;
    }
    ZTLOG(ZT_LOG_INFO, "Processing CAT_RTOS_CMD for preset update");
    const uint8_t *command = tlv_find(msg, TLV_CMD);
    if (!codeIs(command, "PU")) {
        char text[9];
        ZTLOG(ZT_LOG_ERROR, "Unexpected type expected PU [%s]", codeText(command, text));
        return;
    }
    const uint8_t *argument = tlv_find(msg, TLV_CMDARG);
    if (!argument) {
        ZTLOG(ZT_LOG_ERROR, "Failed to find TLV_CMDARG in message from ztNet");
        return;
    }
    if (valueLength(argument) < 5) {
        ZTLOG(ZT_LOG_ERROR, "Preset update argument of %u bytes is too short",
              (unsigned)valueLength(argument));
        return;
    }
    const uint8_t *value = argument + TLV_ELEM_HDR_LEN;
    const uint8_t event = value[0];
    const uint32_t id = readU32(value, 1);
    ZTLOG(ZT_LOG_DEBUG, "TLV CAT_RTOS_CMD: event: %s, id: %u", PresetEventText(event), id);

    switch (event) {
    case kPresetReset:
        if (id == 0xFFFFFFFFu) {
            ZTLOG(ZT_LOG_DEBUG, "Received message APPC_SYSTEM_PRESET_RESET");
            prepareForSuspend();
        } else {
            onPresetModified(event, id);
        }
        break;
    case kPresetEditStore:
    case kPresetCreated:
    case kPresetReordered:
    case kPresetRemoved:
    case kPresetChanged:
        onPresetModified(event, id);
        break;
    case kPresetActiveSet:
        onPresetSwitched(id);
        break;
    default:
        break;  // edit start, edit cancel and unknown events change nothing
    }
}

void ZtcontrolCommandServer::onPresetModified(uint8_t event, uint32_t id)
{
    if (event == kPresetCreated || event == kPresetReordered || event == kPresetRemoved)
        id = static_cast<uint32_t>(RemapPresetGroup(static_cast<int>(id)) + 1000);
    const uint32_t word = (id & 0xFFFFFFu) | (static_cast<uint32_t>(event) << 24);
    ZTLOG(ZT_LOG_DEBUG, "presets are now in modified state 0x%08x", word);
    m_state.m_presetsStale = true;
    if (event != kPresetCreated)
        ZTCSIListener::GetInstance()->SetCSIValue(kPresetChangeItem, word);
    if (event == kPresetReset)
        return;
    m_state.m_needLenses =
        ztc_system_get_lenses(&m_cameraContext, &m_state.m_lensMode, &m_state.m_lens) != 0;
    if (m_state.m_needLenses)
        ZTLOG(ZT_LOG_ERROR, "Failed to pull lenses after preset modified update");
    ZTLOG(ZT_LOG_DEBUG, "edit: lens: %d lens mode: %d, preset: %d, needlenses:%d", m_state.m_lens,
          m_state.m_lensMode, (int)m_state.m_currentPreset, m_state.m_needLenses);
    if (event == kPresetCreated)
        m_state.m_refreshCurrentPreset = true;
}

void ZtcontrolCommandServer::onPresetSwitched(uint32_t id)
{
    ZTLOG(ZT_LOG_DEBUG, "Preset switched");
    const uint8_t newGroup = groupOf(id);
    const uint8_t oldGroup = groupOf(m_state.m_currentPreset);
    const bool basicChanged = (oldGroup <= 2) != (newGroup <= 2);
    const bool orbiChanged = (oldGroup >= 3 && oldGroup <= 5) != (newGroup >= 3 && newGroup <= 5);
    if (basicChanged || orbiChanged || m_state.m_refreshCurrentPreset) {
        const uint32_t word = id | 0x06000000u;
        ZTLOG(ZT_LOG_DEBUG, "***********presets now need to be refreshed %d", (int)word);
        ZTLOG(ZT_LOG_DEBUG, "oldGroup: %d, newGroup:%d", oldGroup, newGroup);
        ZTCSIListener::GetInstance()->SetCSIValue(kPresetChangeItem, word);
        m_state.m_presetsStale = true;
    }
    m_state.m_needLenses =
        ztc_system_get_lenses(&m_cameraContext, &m_state.m_lensMode, &m_state.m_lens) != 0;
    if (m_state.m_needLenses)
        ZTLOG(ZT_LOG_ERROR, "Failed to pull lenses after preset active set");
    if (newGroup != 6 && newGroup != 7) {
        m_state.m_refreshCurrentPreset = false;
        m_state.m_currentPreset = id;
    }
    ZTLOG(ZT_LOG_DEBUG, "switch: lens mode: %d, preset: %d, needlenses:%d", m_state.m_lensMode,
          (int)m_state.m_currentPreset, m_state.m_needLenses);
}

void ZtcontrolCommandServer::prepareForSuspend()
{
    ZTLOG(ZT_LOG_DEBUG, "Preparing for suspend");
    m_state.m_needLenses = true;
    m_state.m_refreshCurrentPreset = true;
    m_state.m_presetsStale = true;
    m_suspended = true;
    m_csiListener->Suspend();
    Lock hold(m_clientsMutex);
    dropAllClients();
}
