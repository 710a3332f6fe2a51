// The display vocabulary: names, units, option names and result reasons.
// Meanings are those of docs/status-settings-tables.md and the option
// tables' notes; an option whose meaning is not documented has no name here.
#include "ztcontrol_items.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "ztErrno.h"

namespace {

// Sorted by id.
constexpr zt_item_info_t kStatus[] = {
    {1, "battery_present", ""},
    {2, "battery_bars", ""},
    {6, "system_hot", ""},
    {8, "busy", ""},
    {10, "encoding", ""},
    {11, "lcd_lock_active", ""},
    {13, "video_progress_seconds", "s"},
    {17, "wifi_ap_enabled", ""},
    {19, "pairing_state", ""},
    {20, "pairing_type", ""},
    {31, "wifi_clients", ""},
    {32, "wifi_ap_state", ""},
    {33, "sd_status", ""},
    {34, "remaining_photos", ""},
    {35, "remaining_video_seconds", "s"},
    {38, "total_photos", ""},
    {39, "total_videos", ""},
    {43, "app_mode", ""},
    {54, "remaining_space_kb", "KiB"},
    {58, "hilight_count", ""},
    {59, "last_hilight_ms", "ms"},
    {63, "in_contextual_menu", ""},
    {68, "gps_lock", ""},
    {70, "battery_percent", "%"},
    {75, "digital_zoom_active", ""},
    {77, "digital_zoom_percent", "%"},
    {81, "band_5ghz_available", ""},
    {82, "ready", ""},
    {84, "capture_delay_active", ""},
    {85, "too_cold", ""},
    {86, "orientation", ""},
    {89, "flat_mode", ""},
    {90, "video_group_mode", ""},
    {91, "photo_group_mode", ""},
    {92, "timelapse_group_mode", ""},
    {93, "video_preset", ""},
    {94, "photo_preset", ""},
    {95, "timelapse_preset", ""},
    {96, "preset_group", ""},
    {97, "special_preset", ""},
    {98, "modified_preset", ""},
    {99, "preset_modified", ""},
    {101, "capture_delay_countdown", ""},
    {102, "media_mod_state", ""},
    {104, "power_profile", ""},
    {105, "camera_control", ""},
    {106, "low_temp_alert", ""},
    {108, "lens_type", ""},
    {110, "preroll_seconds", "s"},
    {111, "usb_connected", ""},
    {112, "webcam_state", ""},
    {113, "ota_state", ""},
    {114, "ota_progress", ""},
    {115, "scheduled_capture", ""},
    {116, "remote_connected", ""},
    {117, "uptime_seconds", "s"},
    {118, "temperature_c", "°C"},
};

// Sorted by id.
constexpr zt_item_info_t kSettings[] = {
    {2, "video_resolution", ""},
    {3, "video_fps", ""},
    {5, "video_timelapse_rate", ""},
    {6, "loop_interval", ""},
    {19, "night_photo_shutter", ""},
    {21, "photo_protune", ""},
    {22, "photo_white_balance", ""},
    {30, "timelapse_interval", ""},
    {31, "nightlapse_shutter", ""},
    {32, "nightlapse_interval", ""},
    {43, "webcam_lens", ""},
    {51, "led", ""},
    {52, "quick_capture", ""},
    {55, "gps_legacy", ""},
    {57, "video_format", ""},
    {59, "auto_power_down", ""},
    {84, "language", ""},
    {85, "voice_language", ""},
    {86, "voice_control", ""},
    {87, "beep_volume", ""},
    {88, "lcd_brightness", ""},
    {91, "gps", ""},
    {105, "photo_output", ""},
    {111, "video_aspect", ""},
    {112, "anti_flicker", ""},
    {114, "video_protune", ""},
    {115, "video_white_balance", ""},
    {116, "video_iso_max", ""},
    {117, "video_color", ""},
    {118, "video_ev_comp", ""},
    {121, "video_lens", ""},
    {122, "photo_lens", ""},
    {123, "multishot_lens", ""},
    {124, "video_bit_rate", ""},
    {125, "video_bit_depth", ""},
    {135, "stabilizer", ""},
    {144, "flat_mode", ""},
    {147, "burst_rate", ""},
    {150, "horizon_leveling", ""},
    {155, "video_duration", ""},
    {162, "max_lens_mod", ""},
    {167, "preroll", ""},
    {176, "easy_speed", ""},
    {177, "ux_mode", ""},
    {178, "wireless_band", ""},
    {179, "timewarp_speed", ""},
    {181, "easy_photo", ""},
    {184, "multishot_resolution", ""},
    {185, "multishot_fps", ""},
    {186, "multishot_fov", ""},
    {193, "lens_mode", ""},
    {194, "lens", ""},
};

// Sorted by setting, then option.
constexpr zt_option_name_t kOptions[] = {
    // Video resolution codes (18 and 25 to 27: the sensor's taller frames).
    {2, 1, "4K"},
    {2, 4, "2.7K"},
    {2, 6, "2.7K 4:3"},
    {2, 7, "1440"},
    {2, 9, "1080"},
    {2, 18, "4K 4:3"},
    {2, 24, "5K"},
    {2, 25, "5K 4:3"},
    {2, 26, "5.3K 8:7"},
    {2, 27, "5.3K 4:3"},
    {2, 100, "5.3K"},
    // Video frame-rate codes, frames per second.
    {3, 0, "240 fps"},
    {3, 1, "120 fps"},
    {3, 2, "100 fps"},
    {3, 5, "60 fps"},
    {3, 6, "50 fps"},
    {3, 8, "30 fps"},
    {3, 9, "25 fps"},
    {3, 10, "24 fps"},
    {3, 13, "200 fps"},
    // Frame interval codes.
    {5, 0, "0.5 s"},
    {5, 1, "1 s"},
    {5, 2, "2 s"},
    {5, 3, "5 s"},
    {5, 4, "10 s"},
    {5, 5, "30 s"},
    {5, 6, "60 s"},
    // Loop length; 0 is the longest loop the card allows.
    {6, 0, "max"},
    {6, 1, "5 min"},
    {6, 2, "20 min"},
    {6, 3, "60 min"},
    {6, 4, "120 min"},
    // Shutter times.
    {19, 0, "auto"},
    {19, 1, "2 s"},
    {19, 2, "5 s"},
    {19, 3, "10 s"},
    {19, 4, "15 s"},
    {19, 5, "20 s"},
    {19, 6, "30 s"},
    {30, 0, "0.5 s"},
    {30, 1, "1 s"},
    {30, 2, "2 s"},
    {30, 3, "5 s"},
    {30, 4, "10 s"},
    {30, 5, "30 s"},
    {30, 6, "60 s"},
    {30, 7, "120 s"},
    {30, 8, "300 s"},
    {30, 9, "1800 s"},
    {30, 10, "3600 s"},
    {31, 0, "auto"},
    {31, 1, "2 s"},
    {31, 2, "5 s"},
    {31, 3, "10 s"},
    {31, 4, "15 s"},
    {31, 5, "20 s"},
    {31, 6, "30 s"},
    {32, 0, "auto"},
    {32, 1, "4 s"},
    {32, 2, "5 s"},
    {32, 3, "10 s"},
    {32, 4, "15 s"},
    {32, 5, "20 s"},
    {32, 6, "30 s"},
    {32, 7, "60 s"},
    {32, 8, "120 s"},
    {32, 9, "300 s"},
    {32, 10, "1800 s"},
    {32, 11, "3600 s"},
    // The webcam's lens; the daemon shows linear as narrow while it
    // emulates narrow.
    {43, 2, "narrow"},
    {43, 4, "linear"},
    // Pre-recording length.
    {167, 2, "15 s"},
    {167, 3, "30 s"},
    {167, 4, "off"},
    {177, 0, "easy"},
    {177, 1, "pro"},
    // Time-warp speed-up codes.
    {179, 0, "15x"},
    {179, 1, "30x"},
    {179, 2, "60x"},
    {179, 3, "150x"},
    {179, 4, "300x"},
    {179, 5, "900x"},
    {179, 6, "1800x"},
    {179, 7, "2x"},
    {179, 8, "5x"},
    {179, 9, "10x"},
    {179, 10, "auto"},
};

struct Reason {
    int32_t code;
    const char *text;
};

constexpr Reason kReasons[] = {
    {ZT_OK, "done"},
    {ZT_ERR, "the command failed"},
    {ZT_ERR_OUTOFMEM, "out of memory"},
    {ZT_ERR_INVALID_PARAM, "the argument is missing or not valid for this command"},
    {ZT_ERR_INCOMPLETE_CGI_PARAM, "the argument lacks a required part"},
    {ZT_ERR_MQ_FAIL, "a message queue could not be used"},
    {ZT_ERR_NO_SDCARD, "no SD card in the camera"},
    {ZT_ERR_SDCARD_FULL, "the SD card is full"},
    {ZT_ERR_CREATING_MISC_DIR, "a directory could not be created"},
    {ZT_ERR_UPLOADED_FILE, "the uploaded file was not accepted"},
    {ZT_ERR_FILE_OPEN, "a file could not be opened"},
    {ZT_ERR_FILE_READ, "a file could not be read"},
    {ZT_ERR_FILE_WRITE, "a file could not be written"},
    {ZT_ERR_REMOTE_FILE_OPEN, "the camera could not open the file"},
    {ZT_ERR_REMOTE_FILE_READ, "the camera could not read the file"},
    {ZT_ERR_REMOTE_FILE_WRITE, "the camera could not write the file"},
    {ZT_ERR_ACCESS_DENIED, "access denied"},
    {ZT_ERR_DOWNLOAD_FAILED, "the download failed"},
    {ZT_ERR_NAK, "the camera refused the command"},
    {ZT_ERR_RESPONSE_ALREADY_SENT, "the answer was already sent"},
    {ZT_ERR_NAK_OFF, "the camera is off or refusing commands for now"},
    {ZT_ERR_NOT_SUPPORTED, "not supported by the daemon or this camera model"},
};

template <typename T, size_t N>
constexpr bool sortedById(const T (&table)[N])
{
    for (size_t i = 1; i < N; ++i)
        if (!(table[i - 1].id < table[i].id))
            return false;
    return true;
}

constexpr bool optionsSorted()
{
    for (size_t i = 1; i < std::size(kOptions); ++i) {
        const zt_option_name_t &a = kOptions[i - 1], &b = kOptions[i];
        if (!(a.setting < b.setting || (a.setting == b.setting && a.option < b.option)))
            return false;
    }
    return true;
}

static_assert(sortedById(kStatus) && sortedById(kSettings) && optionsSorted(),
              "lookups search these tables by id");

template <size_t N>
const zt_item_info_t *findById(const zt_item_info_t (&table)[N], uint32_t id)
{
    auto it =
        std::lower_bound(std::begin(table), std::end(table), id,
                         [](const zt_item_info_t &item, uint32_t key) { return item.id < key; });
    return (it != std::end(table) && it->id == id) ? it : nullptr;
}

template <size_t N>
const zt_item_info_t *findByName(const zt_item_info_t (&table)[N], const char *name)
{
    if (!name)
        return nullptr;
    for (const zt_item_info_t &item : table)
        if (std::strcmp(item.name, name) == 0)
            return &item;
    return nullptr;
}

}  // namespace

extern "C" {

const zt_item_info_t *zt_status_item_infos(uint32_t *count)
{
    if (count)
        *count = static_cast<uint32_t>(std::size(kStatus));
    return kStatus;
}

const zt_item_info_t *zt_setting_infos(uint32_t *count)
{
    if (count)
        *count = static_cast<uint32_t>(std::size(kSettings));
    return kSettings;
}

const zt_option_name_t *zt_option_names(uint32_t *count)
{
    if (count)
        *count = static_cast<uint32_t>(std::size(kOptions));
    return kOptions;
}

const zt_item_info_t *zt_status_item_info(uint32_t id)
{
    return findById(kStatus, id);
}

const zt_item_info_t *zt_setting_info(uint32_t id)
{
    return findById(kSettings, id);
}

const zt_item_info_t *zt_status_item_by_name(const char *name)
{
    return findByName(kStatus, name);
}

const zt_item_info_t *zt_setting_by_name(const char *name)
{
    return findByName(kSettings, name);
}

const char *zt_option_name(uint32_t setting, uint32_t option)
{
    for (const zt_option_name_t &o : kOptions)
        if (o.setting == setting && o.option == option)
            return o.name;
    return nullptr;
}

int zt_option_by_name(uint32_t setting, const char *name, uint32_t *option)
{
    if (!name)
        return -1;
    for (const zt_option_name_t &o : kOptions) {
        if (o.setting == setting && std::strcmp(o.name, name) == 0) {
            if (option)
                *option = o.option;
            return 0;
        }
    }
    return -1;
}

const char *zt_result_reason(int32_t code)
{
    for (const Reason &r : kReasons)
        if (r.code == code)
            return r.text;
    return nullptr;
}

}  // extern "C"
