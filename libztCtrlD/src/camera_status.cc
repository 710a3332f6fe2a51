// JSON serialisers of the status and settings blocks.
#include "camera_status.h"

#include <string.h>

#include "camera_settings.h"

namespace {

constexpr uint32_t kLensModeSetting = 193;
constexpr uint32_t kLensSetting = 194;
constexpr uint32_t kNoOption = 0xFFFFFFFFu;

// Status items a model does not have (and so never reports).
bool modelLacksStatus(uint8_t model, uint32_t id)
{
    switch (id) {
    case 102:
    case 110:
        return model == 60;  // media mod, pre-recording
    case 108:
        return model != 50 && model != 51 && model != 60;  // lens type
    default:
        return false;
    }
}

bool isHidden(const camera_status_boss_cache_t *cache, uint8_t model, uint32_t id)
{
    if (cache && cache->initialized) {
        const uint32_t word = id / 64;
        return word < 8 && (cache->hidden[word] >> (id % 64) & 1u) != 0;
    }
    return modelLacksStatus(model, id);
}

// Writes one member, with the comma that separates it from the previous.
void member(std::ostream &out, int *count, uint32_t id, long long value)
{
    if (*count > 0)
        out << ',';
    out << '"' << id << "\":" << value;
    ++*count;
}

bool settingSupported(uint8_t model, uint32_t id)
{
    uint32_t count = 0;
    const camera_settings_id_entry_t *t = camera_settings_id_table(model, &count);
    // A model without a table (0, not read yet) reports every setting.
    return !t || (id < count && (t[id].flags & CAMERA_SETTING_FLAG_SUPPORTED));
}

// A setting's value as the option id clients know, or the raw value when
// the option table does not list it.
long long settingJsonValue(uint8_t model, uint32_t id, int32_t raw)
{
    const uint32_t option = getOptionIdByValue(model, id, raw, kNoOption);
    return option == kNoOption ? static_cast<long long>(raw) : static_cast<long long>(option);
}

}  // namespace

void camera_status_init_bossCache(uint8_t model, camera_status_boss_cache_t *cache)
{
    if (!cache)
        return;
    *cache = camera_status_boss_cache_t{};
    cache->model = model;
    uint32_t count = 0;
    const camera_status_item_t *items = camera_status_items(&count);
    for (uint32_t i = 0; i < count; ++i)
        if (modelLacksStatus(model, items[i].id) && items[i].id < 512)
            cache->hidden[items[i].id / 64] |= uint64_t{1} << (items[i].id % 64);
    cache->initialized = true;
}

int camera_status_serialize_status_changes_to_json(std::ostream &out, int changeClass,
                                                   const all_status_settings_t *newBlock,
                                                   const all_status_settings_t *oldBlock,
                                                   uint8_t model,
                                                   const camera_status_boss_cache_t *cache)
{
    if (!newBlock || !oldBlock)
        return 0;
    int written = 0;
    uint32_t count = 0;
    const camera_status_item_t *items = camera_status_items(&count);
    for (uint32_t i = 0; i < count; ++i) {
        const camera_status_item_t &item = items[i];
        if (item.change_class != changeClass || isHidden(cache, model, item.id))
            continue;
        if (memcmp(newBlock->status.raw + item.offset, oldBlock->status.raw + item.offset,
                   item.width) == 0)
            continue;
        member(out, &written, item.id, camera_status_read(&newBlock->status, &item));
    }
    return written;
}

int camera_status_serialize_settings_changes_to_json(std::ostream &out,
                                                     const all_status_settings_t *newBlock,
                                                     const all_status_settings_t *oldBlock,
                                                     uint8_t model)
{
    if (!newBlock || !oldBlock)
        return 0;
    int written = 0;
    uint32_t count = 0;
    const camera_setting_item_t *items = camera_setting_items(&count);
    for (uint32_t i = 0; i < count; ++i) {
        const camera_setting_item_t &item = items[i];
        if (!settingSupported(model, item.id))
            continue;
        if (memcmp(newBlock->settings.raw + item.offset, oldBlock->settings.raw + item.offset,
                   item.width) == 0)
            continue;
        member(out, &written, item.id,
               settingJsonValue(model, item.id, camera_setting_read(&newBlock->settings, &item)));
    }
    if (newBlock->system.lens_mode != oldBlock->system.lens_mode)
        member(out, &written, kLensModeSetting, newBlock->system.lens_mode);
    if (newBlock->system.lens != oldBlock->system.lens)
        member(out, &written, kLensSetting, newBlock->system.lens);
    return written;
}

int camera_status_serialize_status_to_json(std::ostream &out, const appc_system_all_status *status,
                                           uint8_t model)
{
    if (!status)
        return 0;
    int written = 0;
    uint32_t count = 0;
    const camera_status_item_t *items = camera_status_items(&count);
    for (uint32_t i = 0; i < count; ++i)
        if (!modelLacksStatus(model, items[i].id))
            member(out, &written, items[i].id, camera_status_read(status, &items[i]));
    return written;
}

int camera_settings_serialize_to_json(std::ostream &out, const appc_setup_all_settings *settings,
                                      const appc_system_all_status *,
                                      const ztcontrol_system_settings *system, uint8_t model)
{
    if (!settings)
        return 0;
    int written = 0;
    uint32_t count = 0;
    const camera_setting_item_t *items = camera_setting_items(&count);
    for (uint32_t i = 0; i < count; ++i) {
        if (!settingSupported(model, items[i].id))
            continue;
        member(out, &written, items[i].id,
               settingJsonValue(model, items[i].id, camera_setting_read(settings, &items[i])));
    }
    if (system) {
        member(out, &written, kLensModeSetting, system->lens_mode);
        member(out, &written, kLensSetting, system->lens);
    }
    return written;
}
