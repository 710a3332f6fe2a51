// ztctl top: the camera at a glance (mode, recording, battery, card, preset,
// Wi-Fi, temperature warnings), kept up to date from the notifications.
#ifndef ZTCTL_TOP_VIEW_H
#define ZTCTL_TOP_VIEW_H

#include <stdint.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "StateTable.h"

namespace ztctl {

class TopView {
public:
    // Takes the items of a notification of `kind`; a full state replaces
    // them all.
    void apply(int kind, const std::vector<Item> &items);
    bool hasState() const { return !m_values.empty(); }
    // The view as lines of text, without escape codes.
    std::string frame() const;

private:
    // The value of a status item (or a setting), or nothing yet.
    const int64_t *status(uint32_t id) const;
    const int64_t *setting(uint32_t id) const;

    std::map<std::pair<bool, uint32_t>, int64_t> m_values;  // (setting, id) -> value
};

}  // namespace ztctl

#endif  // ZTCTL_TOP_VIEW_H
