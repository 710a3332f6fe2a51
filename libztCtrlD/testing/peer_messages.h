// Message building helpers shared by the scripted firmware peer's files.
#ifndef ZT_PEER_MESSAGES_H
#define ZT_PEER_MESSAGES_H

#include <stdint.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "Msg.h"
#include "ztcWire.h"

namespace peer {

inline std::vector<uint8_t> le32(std::initializer_list<uint32_t> words)
{
    std::vector<uint8_t> out;
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<uint8_t>(w >> (8 * i)));
    return out;
}

inline std::vector<uint8_t> str(const std::string &s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

// Serialises (type, bytes) elements under `category`; an end element is
// appended. Empty when they do not fit one message.
inline std::vector<uint8_t> build(
    uint8_t category, const std::vector<std::pair<uint8_t, std::vector<uint8_t>>> &elements)
{
    Msg msg(category);
    std::vector<MsgElement> storage;
    storage.reserve(elements.size());  // addElement keeps pointers into it
    for (const auto &e : elements) {
        storage.emplace_back(e.first, e.second.data(), static_cast<uint16_t>(e.second.size()));
        msg.addElement(&storage.back());
    }
    std::vector<uint8_t> out(ZTC_MSG_MAX);
    out.resize(msg.serialize(out.data(), static_cast<uint32_t>(out.size())));
    return out;
}

}  // namespace peer

#endif  // ZT_PEER_MESSAGES_H
