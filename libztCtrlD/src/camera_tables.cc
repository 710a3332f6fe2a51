// Status and settings block layouts. The items' names and units are the wire
// vocabulary's (ztcontrol_items.h); docs/status-settings-tables.md lists the
// same tables with their meanings; keep the three in step.
#include <algorithm>
#include <iterator>

#include "camera_status.h"
#include "ztcontrol_items.h"

namespace {

constexpr uint8_t C1 = CAMERA_STATUS_CLASS_EVERY_POLL;
constexpr uint8_t C2 = CAMERA_STATUS_CLASS_THROTTLED;

// Sorted by id. Offsets are bytes of the 394-byte status block; no two items
// overlap. Bytes not listed are reserved by the firmware and not reported.
const camera_status_item_t kStatusItems[] = {
    // id, offset, width, class, signed
    {1, 34, 1, C1, 0},    {2, 35, 1, C1, 0},   {6, 37, 1, C1, 0},   {8, 5, 1, C1, 0},
    {10, 6, 1, C1, 0},    {11, 66, 1, C1, 0},  {13, 31, 2, C2, 0},  {17, 60, 1, C1, 0},
    {19, 63, 1, C1, 0},   {20, 64, 1, C1, 0},  {31, 61, 1, C1, 0},  {32, 62, 1, C1, 0},
    {33, 59, 1, C1, 0},   {34, 43, 4, C2, 0},  {35, 39, 4, C2, 0},  {38, 47, 4, C2, 0},
    {39, 51, 4, C2, 0},   {43, 1, 1, C1, 0},   {54, 55, 4, C2, 0},  {58, 68, 1, C2, 0},
    {59, 69, 4, C2, 0},   {63, 223, 1, C1, 0}, {68, 65, 1, C1, 0},  {70, 36, 1, C2, 0},
    {75, 74, 1, C1, 0},   {77, 73, 1, C1, 0},  {81, 75, 1, C1, 0},  {82, 67, 1, C1, 0},
    {84, 77, 1, C1, 0},   {85, 38, 1, C1, 0},  {86, 76, 1, C1, 0},  {89, 0, 1, C1, 1},
    {90, 2, 1, C1, 0},    {91, 3, 1, C1, 0},   {92, 4, 1, C1, 0},   {93, 7, 4, C1, 0},
    {94, 11, 4, C1, 0},   {95, 15, 4, C1, 0},  {96, 19, 4, C1, 0},  {97, 23, 4, C1, 0},
    {98, 27, 4, C1, 0},   {99, 33, 1, C1, 0},  {101, 81, 1, C2, 0}, {102, 84, 1, C1, 0},
    {104, 255, 1, C1, 0}, {105, 78, 1, C1, 0}, {106, 79, 1, C1, 0}, {108, 80, 1, C1, 0},
    {110, 82, 2, C2, 0},  {111, 86, 1, C1, 0}, {112, 87, 1, C1, 0}, {113, 88, 1, C1, 0},
    {114, 89, 1, C2, 0},  {115, 90, 1, C1, 0}, {116, 91, 1, C1, 0}, {117, 92, 4, C2, 0},
    {118, 96, 1, C2, 0},
};

// Sorted by id. Offsets are bytes of the 238-byte settings block; no two
// settings overlap. Settings 193 and 194 are the daemon's lens bytes, kept
// outside the block.
const camera_setting_item_t kSettingItems[] = {
    // id, offset, width, signed
    {2, 42, 1, 0},   {3, 43, 1, 0},    {5, 26, 1, 0},    {6, 27, 1, 0},    {19, 28, 1, 0},
    {21, 61, 1, 0},  {22, 62, 1, 0},   {30, 30, 2, 0},   {31, 29, 1, 0},   {32, 32, 2, 0},
    {43, 172, 1, 0}, {51, 8, 1, 0},    {52, 7, 1, 0},    {57, 9, 1, 0},    {59, 0, 1, 0},
    {84, 1, 1, 0},   {85, 6, 1, 0},    {86, 5, 1, 0},    {87, 2, 1, 0},    {88, 4, 1, 0},
    {91, 3, 1, 0},   {105, 36, 1, 0},  {111, 37, 1, 0},  {112, 12, 1, 0},  {114, 57, 1, 0},
    {115, 53, 1, 0}, {116, 54, 1, 0},  {117, 60, 1, 0},  {118, 55, 1, 1},  {121, 44, 1, 0},
    {122, 38, 1, 0}, {123, 39, 1, 0},  {124, 56, 1, 0},  {125, 58, 1, 0},  {135, 35, 1, 1},
    {144, 25, 1, 1}, {147, 40, 1, 0},  {150, 83, 1, 0},  {155, 41, 1, 0},  {162, 49, 1, 0},
    {167, 45, 1, 0}, {176, 46, 1, 0},  {177, 34, 1, 0},  {178, 10, 1, 0},  {179, 47, 1, 0},
    {181, 48, 1, 0}, {184, 158, 1, 0}, {185, 159, 1, 0}, {186, 160, 1, 0},
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

const char *camera_status_item_name(const camera_status_item_t *item)
{
    const zt_item_info_t *info = item ? zt_status_item_info(item->id) : nullptr;
    return info ? info->name : "";
}

const char *camera_setting_item_name(const camera_setting_item_t *item)
{
    const zt_item_info_t *info = item ? zt_setting_info(item->id) : nullptr;
    return info ? info->name : "";
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
