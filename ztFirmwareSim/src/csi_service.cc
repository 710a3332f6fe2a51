#include "csi_service.h"

#include "sim_log.h"
#include "ztcWire.h"

namespace ztsim {

namespace {

// Items the service knows from the start (the rest appear when set).
const uint32_t kInitialItems[] = {
    ZTC_CSI_MODEL_NUMBER,    ZTC_CSI_PRESET_CHANGE, ZTC_CSI_LOG_FLAGS, 138, 143, 151, 152,
    ZTC_CSI_STABILIZER_LEVEL};

Bytes pair(uint32_t item, uint32_t value) {
  Bytes b;
  appendU32(b, item);
  appendU32(b, value);
  return b;
}

}  // namespace

CsiService::CsiService(std::string serviceQueue, std::string defaultQueue)
    : m_serviceQueue(std::move(serviceQueue)), m_defaultQueue(std::move(defaultQueue)) {
  for (uint32_t item : kInitialItems) m_items[item] = 0;
}

bool CsiService::get(uint32_t item, uint32_t* value) const {
  auto it = m_items.find(item);
  if (it == m_items.end()) return false;
  *value = it->second;
  return true;
}

std::vector<Outgoing> CsiService::handle(const LinkMessage& req) {
  std::vector<Outgoing> out;
  const std::string& requester = req.src.empty() ? m_defaultQueue : req.src;
  if (req.command == ZTC_CSI_GET) {
    uint32_t item = readU32(req.arg, 0);
    uint32_t size = readU32(req.arg, 4);
    uint32_t value = 0;
    // A get without a reply mailbox cannot be answered.
    if (req.src.empty()) return out;
    bool known = req.arg.size() >= 8 && size >= 1 && size <= 4 && get(item, &value);
    Bytes valueBytes;
    if (known) {
      for (uint32_t i = 0; i < size; ++i)
        valueBytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    } else {
      valueBytes.push_back(0);
    }
    Bytes itemBytes;
    appendU32(itemBytes, item);
    out.push_back({req.src, buildCsiMessage(ZTC_CAT_CSI_ANSWER, ZTC_CSI_GET, itemBytes, true,
                                            known ? 0 : -1, valueBytes, m_serviceQueue, req.src)});
    simLog(kLogDebug, "csi: get %u -> %s %u", item, known ? "" : "unknown", value);
  } else if (req.command == ZTC_CSI_SET) {
    if (req.arg.size() < 8) return out;
    uint32_t item = readU32(req.arg, 0);
    uint32_t value = readU32(req.arg, 4);
    out = set(item, value);
    out.push_back(
        {requester, buildCsiMessage(ZTC_CAT_CSI_EVENT, ZTC_CSI_SET_RESPONSE, pair(item, value),
                                    false, 0, Bytes{0}, m_serviceQueue, requester)});
  } else if (req.command == ZTC_CSI_SUBSCRIBE) {
    Bytes values;
    for (size_t off = 0; off + 4 <= req.arg.size(); off += 4) {
      uint32_t item = readU32(req.arg, off);
      m_subscribers[item].insert(requester);
      auto it = m_items.find(item);
      appendU32(values, it == m_items.end() ? 0 : it->second);
    }
    Bytes items(req.arg.begin(),
                req.arg.begin() + static_cast<std::ptrdiff_t>(req.arg.size() / 4 * 4));
    out.push_back({requester, buildCsiMessage(ZTC_CAT_CSI_EVENT, ZTC_CSI_SUBSCRIBE_RESPONSE, items,
                                              false, 0, values, m_serviceQueue, requester)});
    simLog(kLogInfo, "csi: %s subscribed to %zu item(s)", requester.c_str(), items.size() / 4);
  } else {
    simLog(kLogWarn, "csi: unknown request \"%s\" dropped", req.command.c_str());
  }
  return out;
}

std::vector<Outgoing> CsiService::set(uint32_t item, uint32_t value) {
  auto it = m_items.find(item);
  bool changed = it == m_items.end() || it->second != value;
  m_items[item] = value;
  simLog(kLogDebug, "csi: item %u = %u", item, value);
  return changed ? notify(item, value) : std::vector<Outgoing>();
}

std::vector<Outgoing> CsiService::notify(uint32_t item, uint32_t value) {
  std::vector<Outgoing> out;
  auto it = m_subscribers.find(item);
  if (it == m_subscribers.end()) return out;
  for (const std::string& queue : it->second) {
    out.push_back({queue, buildCsiMessage(ZTC_CAT_CSI_EVENT, ZTC_CSI_NOTIFY, pair(item, value),
                                          false, 0, Bytes{0}, m_serviceQueue, queue)});
  }
  return out;
}

}  // namespace ztsim
