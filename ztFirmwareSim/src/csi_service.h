// The camera-state-interface (CSI) service of the simulated camera: u32
// items with u32 values, get / set / subscribe requests on "/to_csi", and
// notifications to the subscribers when an item changes. Produces the
// messages to send; the link server posts them. Single-threaded.
#ifndef ZTSIM_CSI_SERVICE_H
#define ZTSIM_CSI_SERVICE_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "link_message.h"

namespace ztsim {

// A message for a named queue.
struct Outgoing {
  std::string queue;
  Bytes message;
};

class CsiService {
 public:
  // serviceQueue names the service in what it sends ("/to_csi");
  // defaultQueue takes set and subscribe answers of requests without a
  // source ("/to_ztCtlD").
  CsiService(std::string serviceQueue, std::string defaultQueue);

  // Serves one request; returns what to send.
  std::vector<Outgoing> handle(const LinkMessage& request);

  // Sets an item; a change is notified ("CN") to the item's subscribers.
  std::vector<Outgoing> set(uint32_t item, uint32_t value);

  bool get(uint32_t item, uint32_t* value) const;
  const std::map<uint32_t, uint32_t>& items() const { return m_items; }

 private:
  std::vector<Outgoing> notify(uint32_t item, uint32_t value);

  std::string m_serviceQueue;
  std::string m_defaultQueue;
  std::map<uint32_t, uint32_t> m_items;
  std::map<uint32_t, std::set<std::string>> m_subscribers;
};

}  // namespace ztsim

#endif  // ZTSIM_CSI_SERVICE_H
