// Status and settings block layouts. docs/status-settings-tables.md lists the
// same tables with their meanings; keep the two in step.
#include <algorithm>
#include <iterator>

#include "camera_status.h"

namespace {

constexpr uint8_t C1 = CAMERA_STATUS_CLASS_EVERY_POLL;
constexpr uint8_t C2 = CAMERA_STATUS_CLASS_THROTTLED;

// Sorted by id. Offsets are bytes of the 394-byte status block; no two items
// overlap. Bytes not listed are reserved by the firmware and not reported.
const camera_status_item_t kStatusItems[] = {
    // id, offset, width, class, signed, name
    {1, 34, 1, C1, 0, "battery_present"},
    {2, 35, 1, C1, 0, "battery_bars"},
    {6, 37, 1, C1, 0, "system_hot"},
    {8, 5, 1, C1, 0, "busy"},
    {10, 6, 1, C1, 0, "encoding"},
    {11, 66, 1, C1, 0, "lcd_lock_active"},
    {13, 31, 2, C2, 0, "video_progress_seconds"},
    {17, 60, 1, C1, 0, "wifi_ap_enabled"},
    {19, 63, 1, C1, 0, "pairing_state"},
    {20, 64, 1, C1, 0, "pairing_type"},
    {31, 61, 1, C1, 0, "wifi_clients"},
    {32, 62, 1, C1, 0, "wifi_ap_state"},
    {33, 59, 1, C1, 0, "sd_status"},
    {34, 43, 4, C2, 0, "remaining_photos"},
    {35, 39, 4, C2, 0, "remaining_video_seconds"},
    {38, 47, 4, C2, 0, "total_photos"},
    {39, 51, 4, C2, 0, "total_videos"},
    {43, 1, 1, C1, 0, "app_mode"},
    {54, 55, 4, C2, 0, "remaining_space_kb"},
    {58, 68, 1, C2, 0, "hilight_count"},
    {59, 69, 4, C2, 0, "last_hilight_ms"},
    {63, 223, 1, C1, 0, "in_contextual_menu"},
    {68, 65, 1, C1, 0, "gps_lock"},
    {70, 36, 1, C2, 0, "battery_percent"},
    {75, 74, 1, C1, 0, "digital_zoom_active"},
    {77, 73, 1, C1, 0, "digital_zoom_percent"},
    {81, 75, 1, C1, 0, "band_5ghz_available"},
    {82, 67, 1, C1, 0, "ready"},
    {84, 77, 1, C1, 0, "capture_delay_active"},
    {85, 38, 1, C1, 0, "too_cold"},
    {86, 76, 1, C1, 0, "orientation"},
    {89, 0, 1, C1, 1, "flat_mode"},
    {90, 2, 1, C1, 0, "video_group_mode"},
    {91, 3, 1, C1, 0, "photo_group_mode"},
    {92, 4, 1, C1, 0, "timelapse_group_mode"},
    {93, 7, 4, C1, 0, "video_preset"},
    {94, 11, 4, C1, 0, "photo_preset"},
    {95, 15, 4, C1, 0, "timelapse_preset"},
    {96, 19, 4, C1, 0, "preset_group"},
    {97, 23, 4, C1, 0, "special_preset"},
    {98, 27, 4, C1, 0, "modified_preset"},
    {99, 33, 1, C1, 0, "preset_modified"},
    {101, 81, 1, C2, 0, "capture_delay_countdown"},
    {102, 84, 1, C1, 0, "media_mod_state"},
    {104, 255, 1, C1, 0, "power_profile"},
    {105, 78, 1, C1, 0, "camera_control"},
    {106, 79, 1, C1, 0, "low_temp_alert"},
    {108, 80, 1, C1, 0, "lens_type"},
    {110, 82, 2, C2, 0, "preroll_seconds"},
    {111, 86, 1, C1, 0, "usb_connected"},
    {112, 87, 1, C1, 0, "webcam_state"},
    {113, 88, 1, C1, 0, "ota_state"},
    {114, 89, 1, C2, 0, "ota_progress"},
    {115, 90, 1, C1, 0, "scheduled_capture"},
    {116, 91, 1, C1, 0, "remote_connected"},
    {117, 92, 4, C2, 0, "uptime_seconds"},
    {118, 96, 1, C2, 0, "temperature_c"},
};

// Sorted by id. Offsets are bytes of the 238-byte settings block; no two
// settings overlap. Settings 193 and 194 are the daemon's lens bytes, kept
// outside the block.
const camera_setting_item_t kSettingItems[] = {
    // id, offset, width, signed, name
    {2, 42, 1, 0, "video_resolution"},
    {3, 43, 1, 0, "video_fps"},
    {5, 26, 1, 0, "video_timelapse_rate"},
    {6, 27, 1, 0, "loop_interval"},
    {19, 28, 1, 0, "night_photo_shutter"},
    {21, 61, 1, 0, "photo_protune"},
    {22, 62, 1, 0, "photo_white_balance"},
    {30, 30, 2, 0, "timelapse_interval"},
    {31, 29, 1, 0, "nightlapse_shutter"},
    {32, 32, 2, 0, "nightlapse_interval"},
    {43, 172, 1, 0, "webcam_lens"},
    {51, 8, 1, 0, "led"},
    {52, 7, 1, 0, "quick_capture"},
    {57, 9, 1, 0, "video_format"},
    {59, 0, 1, 0, "auto_power_down"},
    {84, 1, 1, 0, "language"},
    {85, 6, 1, 0, "voice_language"},
    {86, 5, 1, 0, "voice_control"},
    {87, 2, 1, 0, "beep_volume"},
    {88, 4, 1, 0, "lcd_brightness"},
    {91, 3, 1, 0, "gps"},
    {105, 36, 1, 0, "photo_output"},
    {111, 37, 1, 0, "video_aspect"},
    {112, 12, 1, 0, "anti_flicker"},
    {114, 57, 1, 0, "video_protune"},
    {115, 53, 1, 0, "video_white_balance"},
    {116, 54, 1, 0, "video_iso_max"},
    {117, 60, 1, 0, "video_color"},
    {118, 55, 1, 1, "video_ev_comp"},
    {121, 44, 1, 0, "video_lens"},
    {122, 38, 1, 0, "photo_lens"},
    {123, 39, 1, 0, "multishot_lens"},
    {124, 56, 1, 0, "video_bit_rate"},
    {125, 58, 1, 0, "video_bit_depth"},
    {135, 35, 1, 1, "stabilizer"},
    {144, 25, 1, 1, "flat_mode"},
    {147, 40, 1, 0, "burst_rate"},
    {150, 83, 1, 0, "horizon_leveling"},
    {155, 41, 1, 0, "video_duration"},
    {162, 49, 1, 0, "max_lens_mod"},
    {167, 45, 1, 0, "preroll"},
    {176, 46, 1, 0, "easy_speed"},
    {177, 34, 1, 0, "ux_mode"},
    {178, 10, 1, 0, "wireless_band"},
    {179, 47, 1, 0, "timewarp_speed"},
    {181, 48, 1, 0, "easy_photo"},
    {184, 158, 1, 0, "multishot_resolution"},
    {185, 159, 1, 0, "multishot_fps"},
    {186, 160, 1, 0, "multishot_fov"},
};

template <typename T>
const T *findById(const T *begin, const T *end, uint32_t id)
{
    const T *it =
        std::lower_bound(begin, end, id, [](const T &item, uint32_t key) { return item.id < key; });
    return (it != end && it->id == id) ? it : nullptr;
}

int32_t readLE(const uint8_t *block, uint32_t blockSize, uint16_t offset, uint8_t width,
               bool isSigned)
{
    if (width == 0 || width > 4 || offset + width > blockSize)
        return 0;
    uint32_t v = 0;
    for (uint8_t i = 0; i < width; ++i)
        v |= static_cast<uint32_t>(block[offset + i]) << (8 * i);
    if (isSigned && width < 4 && (v & (1u << (8 * width - 1))))
        v |= ~0u << (8 * width);
    return static_cast<int32_t>(v);
}

void writeLE(uint8_t *block, uint32_t blockSize, uint16_t offset, uint8_t width, int32_t value)
{
    if (width == 0 || width > 4 || offset + width > blockSize)
        return;
    const uint32_t v = static_cast<uint32_t>(value);
    for (uint8_t i = 0; i < width; ++i)
        block[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

const camera_status_item_t *camera_status_items(uint32_t *count)
{
    if (count)
        *count = static_cast<uint32_t>(std::size(kStatusItems));
    return kStatusItems;
}

const camera_setting_item_t *camera_setting_items(uint32_t *count)
{
    if (count)
        *count = static_cast<uint32_t>(std::size(kSettingItems));
    return kSettingItems;
}

const camera_status_item_t *camera_status_find_item(uint32_t id)
{
    return findById(std::begin(kStatusItems), std::end(kStatusItems), id);
}

const camera_setting_item_t *camera_setting_find_item(uint32_t id)
{
    return findById(std::begin(kSettingItems), std::end(kSettingItems), id);
}

int32_t camera_status_read(const appc_system_all_status *status, const camera_status_item_t *item)
{
    if (!status || !item)
        return 0;
    return readLE(status->raw, sizeof status->raw, item->offset, item->width, item->is_signed);
}

void camera_status_write(appc_system_all_status *status, const camera_status_item_t *item,
                         int32_t value)
{
    if (status && item)
        writeLE(status->raw, sizeof status->raw, item->offset, item->width, value);
}

int32_t camera_setting_read(const appc_setup_all_settings *settings,
                            const camera_setting_item_t *item)
{
    if (!settings || !item)
        return 0;
    return readLE(settings->raw, sizeof settings->raw, item->offset, item->width, item->is_signed);
}

void camera_setting_write(appc_setup_all_settings *settings, const camera_setting_item_t *item,
                          int32_t value)
{
    if (settings && item)
        writeLE(settings->raw, sizeof settings->raw, item->offset, item->width, value);
}
