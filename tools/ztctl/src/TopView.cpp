// ztctl top's view of the camera; see TopView.h.
#include "TopView.h"

#include <stdio.h>

namespace ztctl {

namespace {

// Status items the view shows.
enum : uint32_t {
    kBatteryPresent = 1,
    kBatteryBars = 2,
    kSystemHot = 6,
    kBusy = 8,
    kEncoding = 10,
    kVideoProgress = 13,
    kWifiApEnabled = 17,
    kWifiClients = 31,
    kWifiApState = 32,
    kSdStatus = 33,
    kRemainingPhotos = 34,
    kRemainingVideo = 35,
    kRemainingSpace = 54,
    kBatteryPercent = 70,
    kReady = 82,
    kTooCold = 85,
    kFlatMode = 89,
    kVideoPreset = 93,
    kPhotoPreset = 94,
    kTimelapsePreset = 95,
    kPresetGroup = 96,
    kPresetModified = 99,
    kLowTempAlert = 106,
    kTemperature = 118,
};

std::string duration(int64_t seconds)
{
    char text[32];
    snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
             static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

std::string number(const int64_t *v)
{
    return v ? std::to_string(*v) : "?";
}

}  // namespace

void TopView::apply(int kind, const std::vector<Item> &items)
{
    if (kind == ZTCLIENT_FULL_STATE)
        m_values.clear();
    for (const Item &m : items)
        m_values[{m.kind == ZTCLIENT_SETTING, m.id}] = m.value;
}

const int64_t *TopView::status(uint32_t id) const
{
    auto it = m_values.find({false, id});
    return it == m_values.end() ? nullptr : &it->second;
}

const int64_t *TopView::setting(uint32_t id) const
{
    auto it = m_values.find({true, id});
    return it == m_values.end() ? nullptr : &it->second;
}

std::string TopView::frame() const
{
    std::string out;
    auto line = [&](const char *label, const std::string &text) {
        char head[24];
        snprintf(head, sizeof head, "%-12s", label);
        out += head + text + "\n";
    };
    const int64_t *mode = status(kFlatMode);
    const std::string modeName = mode ? flatModeName(*mode) : "";
    line("mode", mode ? (modeName.empty() ? std::to_string(*mode) : modeName) : "?");

    const int64_t *encoding = status(kEncoding);
    const int64_t *progress = status(kVideoProgress);
    std::string recording = encoding && *encoding ? "recording " : "not recording";
    if (encoding && *encoding)
        recording += progress ? duration(*progress) : "?";
    const int64_t *busy = status(kBusy), *ready = status(kReady);
    if (busy && *busy)
        recording += ", busy";
    if (ready && !*ready)
        recording += ", not ready";
    line("capture", recording);

    const int64_t *present = status(kBatteryPresent);
    if (present && !*present)
        line("battery", "none");
    else
        line("battery",
             number(status(kBatteryPercent)) + " %, " + number(status(kBatteryBars)) + " bars");

    const int64_t *space = status(kRemainingSpace);
    line("card", "status " + number(status(kSdStatus)) + ", " +
                     (space ? std::to_string(*space / 1024) + " MiB free, " : "") +
                     (status(kRemainingVideo) ? duration(*status(kRemainingVideo)) : "?") +
                     " of video, " + number(status(kRemainingPhotos)) + " photos");

    const int64_t *group = status(kPresetGroup);
    std::string preset = "?";
    if (group) {
        const std::string groupName = presetGroupName(*group);
        preset = "group " + (groupName.empty() ? std::to_string(*group) : groupName);
        const uint32_t presetItem = *group == 1001   ? kPhotoPreset
                                    : *group == 1002 ? kTimelapsePreset
                                                     : kVideoPreset;
        if (const int64_t *id = status(presetItem))
            preset +=
                ", preset " + valueText({ZTCLIENT_STATUS, static_cast<uint16_t>(presetItem),
                                         static_cast<int32_t>(*id), nullptr, nullptr, nullptr});
        const int64_t *modified = status(kPresetModified);
        if (modified && *modified)
            preset += " (modified)";
    }
    line("preset", preset);

    const int64_t *ap = status(kWifiApEnabled);
    line("wi-fi", ap ? (*ap ? "access point on, state " + number(status(kWifiApState)) + ", " +
                                  number(status(kWifiClients)) + " clients"
                            : "access point off")
                     : "?");

    std::string warnings;
    const int64_t *hot = status(kSystemHot), *cold = status(kTooCold),
                  *lowTemp = status(kLowTempAlert);
    if (hot && *hot)
        warnings += "too hot ";
    if (cold && *cold)
        warnings += "too cold ";
    if (lowTemp && *lowTemp)
        warnings += "low temperature alert ";
    const int64_t *temperature = status(kTemperature);
    line("temperature",
         (temperature ? std::to_string(*temperature) + " °C" : "?") +
             (warnings.empty() ? "" : ", " + warnings.substr(0, warnings.size() - 1)));
    return out;
}

}  // namespace ztctl
