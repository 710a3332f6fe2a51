// Settings id tables per model, option conversions, the preset-edit bypass,
// key=value parameters and the setting call.
#include "camera_settings.h"

#include <stdio.h>
#include <string.h>

#include <array>

#include "camera_options.h"
#include "camera_status.h"
#include "utils.h"
#include "ztCtrlD.h"
#include "ztErrno.h"
#include "ztcArgs.h"
#include "ztcontrol_items.h"
#include "ztcLink.h"
#include "ztcWire.h"

namespace {

constexpr uint32_t kTableCount = 200;  // setting ids 0..199
constexpr uint32_t kSetupCategory = 7;
constexpr uint32_t kSettingSetId = 31;  // firmware operation (7, 31): set one setting

// Settings kept outside the settings block.
const uint32_t kExtraSettings[] = {55, 193, 194};

// Settings a model lacks.
bool modelLacks(int model, uint32_t id)
{
    switch (id) {
    case 179:
        return model != 60;  // time-warp speed control
    case 184:
    case 185:
    case 186:
        return model == 60;
    default:
        return false;
    }
}

// Camera-wide settings: not part of a preset, so no preset edit is needed.
bool isCameraWide(uint32_t id)
{
    switch (id) {
    case 43:
    case 51:
    case 52:
    case 55:
    case 57:
    case 59:
    case 84:
    case 85:
    case 86:
    case 87:
    case 88:
    case 91:
    case 112:
    case 177:
    case 178:
        return true;
    default:
        return false;
    }
}

using Table = std::array<camera_settings_id_entry_t, kTableCount>;

Table buildTable(int model)
{
    Table table{};
    for (uint32_t id = 0; id < kTableCount; ++id) {
        camera_settings_id_entry_t &e = table[id];
        e.id = id;
        e.block_offset = 0xFFFF;
        e.fw_category = kSetupCategory;
        e.fw_identifier = kSettingSetId;
        e.value_width = 4;
        bool known = false;
        if (const camera_setting_item_t *item = camera_setting_find_item(id)) {
            known = true;
            e.block_offset = item->offset;
            e.width = item->width;
            e.value_width = item->width;
            if (item->is_signed)
                e.flags |= CAMERA_SETTING_FLAG_SIGNED;
        }
        for (uint32_t x : kExtraSettings)
            if (x == id)
                known = true;
        const zt_item_info_t *info = zt_setting_info(id);
        if (!known || !info || modelLacks(model, id))
            continue;
        e.flags |= CAMERA_SETTING_FLAG_SUPPORTED;
        if (isCameraWide(id))
            e.flags |= CAMERA_SETTING_FLAG_NO_EDIT;
        if (const ztc::SettingOptions *o = ztc::findOptions(model, id))
            e.option_count = o->count;
        snprintf(e.name, sizeof e.name, "%s", info->name);
    }
    return table;
}

bool isSeparator(char c)
{
    return c == '&' || c == ',' || c == ';' || c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

extern "C" {

const camera_settings_id_entry_t *camera_settings_id_table(int model, uint32_t *count)
{
    // Models with their own variations, then every other model.
    static const Table kModel50 = buildTable(50), kModel51 = buildTable(51),
                       kModel60 = buildTable(60), kOther = buildTable(57);
    const Table *t = nullptr;
    switch (model) {
    case 0:
        break;
    case 50:
        t = &kModel50;
        break;
    case 51:
        t = &kModel51;
        break;
    case 60:
        t = &kModel60;
        break;
    default:
        t = &kOther;
        break;
    }
    if (count)
        *count = t ? kTableCount : 0;
    return t ? t->data() : nullptr;
}

uint32_t getOptionIdByValue(int model, uint32_t setting, int32_t value, uint32_t notFound)
{
    const ztc::SettingOptions *o = ztc::findOptions(model, setting);
    if (!o)
        return static_cast<uint32_t>(value);
    for (uint32_t i = 0; i < o->count; ++i)
        if (o->pairs[i].value == value)
            return o->pairs[i].option;
    return notFound;
}

int32_t getOptionValueById(int model, uint32_t setting, uint32_t option)
{
    if (const ztc::SettingOptions *o = ztc::findOptions(model, setting))
        for (uint32_t i = 0; i < o->count; ++i)
            if (o->pairs[i].option == option)
                return o->pairs[i].value;
    return static_cast<int32_t>(option);
}

uint32_t camera_setting_options(int model, uint32_t setting, uint32_t *options, uint32_t max)
{
    const ztc::SettingOptions *o = ztc::findOptions(model, setting);
    uint32_t n = 0;
    for (uint32_t i = 0; o && i < o->count; ++i) {
        // An alias repeats an option listed just before it.
        if (i > 0 && o->pairs[i].option == o->pairs[i - 1].option)
            continue;
        if (options && n < max)
            options[n] = o->pairs[i].option;
        ++n;
    }
    return n;
}

bool bypassPresetEditStart(int setting, int model)
{
    if (setting < 0)
        return false;
    uint32_t count = 0;
    const camera_settings_id_entry_t *t = camera_settings_id_table(model, &count);
    if (!t || static_cast<uint32_t>(setting) >= count)
        return false;
    return (t[setting].flags & CAMERA_SETTING_FLAG_NO_EDIT) != 0;
}

int parseParam(const char *text, const char *key, char *value, uint32_t valueSize)
{
    if (valueSize > 0 && value)
        value[0] = '\0';
    if (!text || !key)
        return -1;
    size_t keyLength = strlen(key);
    if (keyLength && key[keyLength - 1] == '=')
        --keyLength;
    if (keyLength == 0)
        return -1;
    const char *p = text;
    while (*p) {
        while (*p && isSeparator(*p))
            ++p;
        const char *pairStart = p;
        while (*p && !isSeparator(*p))
            ++p;  // p: end of this pair
        const char *eq = static_cast<const char *>(memchr(pairStart, '=', p - pairStart));
        if (eq && static_cast<size_t>(eq - pairStart) == keyLength &&
            memcmp(pairStart, key, keyLength) == 0) {
            const size_t length = p - (eq + 1);
            if (value && valueSize > 0) {
                const size_t n = length < valueSize - 1 ? length : valueSize - 1;
                memcpy(value, eq + 1, n);
                value[n] = '\0';
            }
            return static_cast<int>(length);
        }
    }
    return -1;
}

int camera_if_settings_set_value_int(ztc_msg_q_context_t *ctx, uint32_t setting,
                                     uint32_t tableWord16, uint32_t tableWord20, int32_t value,
                                     uint32_t tableWord24, const appc_setup_all_settings *settings,
                                     const appc_system_all_status *)
{
    if (settings) {
        if (const camera_setting_item_t *item = camera_setting_find_item(setting))
            ZTLOG(ZT_LOG_DEBUG, "Setting %u (%s): %d -> %d", setting,
                  camera_setting_item_name(item), camera_setting_read(settings, item), value);
    }
    uint8_t buffer[64];
    ZtcArgWriter w(buffer, sizeof buffer);
    static const char kName[] = "camera_if_settings_set_value_int";
    w.bytes(kName, sizeof kName)
        .u32(setting)
        .u32(tableWord16)
        .u32(tableWord20)
        .i32(value)
        .u32(tableWord24);
    ztc::LinkLock lock;
    ztc::Answer a;
    const int rc = ztc::exchange(ctx, ZTC_KIND_TYPED, w.data(), w.length(), &a);
    return rc != 0 ? rc : a.status;
}

}  // extern "C"
