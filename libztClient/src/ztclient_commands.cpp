// The typed functions: each builds its command's argument from the layouts
// of the wire vocabulary and reads the answer's form.
#include <string.h>

#include <string>

#include "ClientState.h"
#include "ztcontrol_commands.h"

namespace {

using ztclient_internal::exchange;

int none(ztclient_t *c, int32_t command)
{
    return exchange(c, command, nullptr, 0, nullptr);
}

int u8(ztclient_t *c, int32_t command, uint8_t value)
{
    return exchange(c, command, &value, 1, nullptr);
}

void putU32(uint8_t *at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t getU32(const uint8_t *at)
{
    return at[0] | at[1] << 8 | at[2] << 16 | static_cast<uint32_t>(at[3]) << 24;
}

int u32(ztclient_t *c, int32_t command, uint32_t value)
{
    uint8_t arg[4];
    putU32(arg, value);
    return exchange(c, command, arg, sizeof arg, nullptr);
}

// A command whose answer must be exactly `size` bytes, copied to `p`;
// ZTCLIENT_BAD_ANSWER for another size or when the caller gave nowhere to
// put what it decodes (`out`).
int ask(ztclient_t *c, int32_t command, const uint8_t *arg, size_t argLength, size_t size,
        const void *out, std::vector<uint8_t> &p)
{
    const int rc = exchange(c, command, arg, argLength, &p);
    if (rc != 0)
        return rc;
    return p.size() == size && out ? 0 : ZTCLIENT_BAD_ANSWER;
}

// A command without argument whose answer is a u32.
int askU32(ztclient_t *c, int32_t command, size_t size, uint32_t *out)
{
    std::vector<uint8_t> p;
    const int rc = ask(c, command, nullptr, 0, size, out, p);
    if (rc == 0)
        *out = getU32(p.data());
    return rc;
}

}  // namespace

extern "C" {

int ztclient_shutter(ztclient_t *c, int on)
{
    return u8(c, ZTCONTROL_COMMAND_SHUTTER, on ? 1 : 0);
}

int ztclient_tag_recording(ztclient_t *c)
{
    return none(c, ZTCONTROL_KEYMARK_TAG_RECORDING);
}

int ztclient_quick_capture(ztclient_t *c, uint8_t value)
{
    return u8(c, ZTCONTROL_QUICK_CAPTURE_START, value);
}

int ztclient_set_capture_delay(ztclient_t *c, uint32_t seconds)
{
    return u32(c, ZTCONTROL_CAPTURE_DELAY, seconds);
}

int ztclient_set_zoom(ztclient_t *c, uint32_t zoom)
{
    return u32(c, ZTCONTROL_DIGITAL_ZOOM, zoom);
}

int ztclient_busy(ztclient_t *c, int *busy)
{
    std::vector<uint8_t> p;
    const int rc = ask(c, ZTCONTROL_GET_BUSY_STATUS, nullptr, 0, kZtBusyStatusAnswerSize, busy, p);
    if (rc == 0)
        *busy = p[0];
    return rc;
}

int ztclient_set_mode(ztclient_t *c, uint16_t flatModeOrGroup)
{
    const uint8_t arg[2] = {static_cast<uint8_t>(flatModeOrGroup),
                            static_cast<uint8_t>(flatModeOrGroup >> 8)};
    return exchange(c, ZTCONTROL_MODE_SET_MODE, arg, sizeof arg, nullptr);
}

int ztclient_set_mode_family(ztclient_t *c, uint32_t family)
{
    return u32(c, ZTCONTROL_MODE, family);
}

int ztclient_set_setting(ztclient_t *c, uint32_t id, uint32_t option)
{
    uint8_t arg[kZtSettingArgSize];
    putU32(arg + kZtSettingArgIdOffset, id);
    putU32(arg + kZtSettingArgOptionOffset, option);
    return exchange(c, ZTCONTROL_SET_SETTING_ID, arg, sizeof arg, nullptr);
}

int ztclient_active_preset(ztclient_t *c, uint32_t *presetId)
{
    return askU32(c, ZTCONTROL_PRESET_GET_ACTIVE_PRESET, kZtActivePresetAnswerSize, presetId);
}

int ztclient_active_group(ztclient_t *c, uint32_t *group)
{
    return askU32(c, ZTCONTROL_PRESET_GET_ACTIVE_GROUP, kZtActiveGroupAnswerSize, group);
}

int ztclient_get_date_time(ztclient_t *c, ztclient_date_time_t *t)
{
    std::vector<uint8_t> p;
    const int rc = ask(c, ZTCONTROL_GET_DATE_TIME, nullptr, 0, kZtDateTimeSize, t, p);
    if (rc != 0)
        return rc;
    t->year = static_cast<uint16_t>(p[kZtDateTimeYearOffset] | p[kZtDateTimeYearOffset + 1] << 8);
    t->month = p[kZtDateTimeMonthOffset];
    t->day = p[kZtDateTimeDayOffset];
    t->hour = p[kZtDateTimeHourOffset];
    t->minute = p[kZtDateTimeMinuteOffset];
    t->second = p[kZtDateTimeSecondOffset];
    return 0;
}

int ztclient_set_date_time(ztclient_t *c, const ztclient_date_time_t *t)
{
    if (!t)
        return ZTCLIENT_INVALID;
    uint8_t arg[kZtDateTimeSize];
    arg[kZtDateTimeYearOffset] = static_cast<uint8_t>(t->year);
    arg[kZtDateTimeYearOffset + 1] = static_cast<uint8_t>(t->year >> 8);
    arg[kZtDateTimeMonthOffset] = t->month;
    arg[kZtDateTimeDayOffset] = t->day;
    arg[kZtDateTimeHourOffset] = t->hour;
    arg[kZtDateTimeMinuteOffset] = t->minute;
    arg[kZtDateTimeSecondOffset] = t->second;
    return exchange(c, ZTCONTROL_SET_DATE_TIME, arg, sizeof arg, nullptr);
}

int ztclient_delete_file(ztclient_t *c, const char *name)
{
    if (!name)
        return ZTCLIENT_INVALID;
    return exchange(c, ZTCONTROL_DELETE, name, strlen(name) + 1, nullptr);
}

int ztclient_delete_last(ztclient_t *c)
{
    return none(c, ZTCONTROL_DELETE_LAST);
}

int ztclient_wifi_ap(ztclient_t *c, int on)
{
    return u32(c, ZTCONTROL_WIFI_AP_CONTROL, on ? 1 : 0);
}

int ztclient_wifi_band(ztclient_t *c, uint32_t band)
{
    return u32(c, ZTCONTROL_WIFI_BAND_SELECT, band);
}

int ztclient_wifi_scan(ztclient_t *c, uint8_t *scanId)
{
    const uint8_t start = 1;
    std::vector<uint8_t> p;
    const int rc = ask(c, ZTCONTROL_WIFI_SSID_SCAN, &start, 1, kZtScanIdAnswerSize, scanId, p);
    if (rc == 0)
        *scanId = p[kZtScanIdAnswerIdOffset];
    return rc;
}

int ztclient_locate(ztclient_t *c, int on)
{
    return u8(c, ZTCONTROL_LOCATE, on ? 1 : 0);
}

int ztclient_set_log_level(ztclient_t *c, uint32_t level)
{
    return u32(c, ZTCONTROL_SET_LOG_LEVEL, level);
}

int ztclient_sleep(ztclient_t *c)
{
    return none(c, ZTCONTROL_SYSTEM_SLEEP);
}

int ztclient_shutdown(ztclient_t *c)
{
    return none(c, ZTCONTROL_SYSTEM_SHUTDOWN);
}

int ztclient_push_notifications(ztclient_t *c, int on)
{
    const std::string arg = on ? "status=1" : "status=0";
    return exchange(c, ZTCONTROL_PUSH_NOTIFICATIONS, arg.data(), arg.size(), nullptr);
}

int ztclient_stop_daemon(ztclient_t *c)
{
    return none(c, ZTCONTROL_CMD_LAST);
}

}  // extern "C"
