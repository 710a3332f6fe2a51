// Builds the firmware's 394-byte all-status block (the answer of firmware
// operation (8, 11)) for scripted-peer tests, with the fields the daemon's
// mode and preset logic reads. Plain data; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zttest {

class StatusBlock {
public:
    static constexpr size_t kSize = 394;

    StatusBlock() : m_bytes(kSize, 0) {}

    // Flat modes last selected in the video, photo and time-lapse families.
    StatusBlock &selectedFlatModes(int8_t video, int8_t photo, int8_t timeLapse)
    {
        m_bytes[2] = static_cast<uint8_t>(video);
        m_bytes[3] = static_cast<uint8_t>(photo);
        m_bytes[4] = static_cast<uint8_t>(timeLapse);
        return *this;
    }
    // Active preset ids per family, of the special groups, and the group.
    StatusBlock &videoPreset(uint32_t id) { return word(7, id); }
    StatusBlock &photoPreset(uint32_t id) { return word(11, id); }
    StatusBlock &timeLapsePreset(uint32_t id) { return word(15, id); }
    StatusBlock &group(uint32_t group) { return word(19, group); }
    StatusBlock &specialPreset(uint32_t id) { return word(23, id); }

    // Little-endian u32 at any offset (offset + 4 <= kSize).
    StatusBlock &word(size_t offset, uint32_t value)
    {
        for (size_t i = 0; i < 4; ++i)
            m_bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
        return *this;
    }

    const std::vector<uint8_t> &bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

}  // namespace zttest
