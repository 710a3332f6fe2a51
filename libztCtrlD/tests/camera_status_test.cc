// Status and settings tables, the JSON serialisers and the option tables.
#include <gtest/gtest.h>
#include <string.h>

#include <sstream>
#include <string>
#include <vector>

#include "camera_settings.h"
#include "camera_status.h"

namespace {

constexpr uint8_t kModel = 57;

struct Blocks {
    all_status_settings_t newBlock{};
    all_status_settings_t oldBlock{};
};

std::string statusChanges(const Blocks &b, int changeClass, int *count,
                          const camera_status_boss_cache_t *cache = nullptr, uint8_t model = kModel)
{
    std::ostringstream out;
    *count = camera_status_serialize_status_changes_to_json(out, changeClass, &b.newBlock,
                                                            &b.oldBlock, model, cache);
    return out.str();
}

std::string settingsChanges(const Blocks &b, int *count, uint8_t model = kModel)
{
    std::ostringstream out;
    *count = camera_status_serialize_settings_changes_to_json(out, &b.newBlock, &b.oldBlock, model);
    return out.str();
}

TEST(StatusChanges, ReportOnlyChangedItemsOfTheClassAndModelAsWholeSignedValues)
{
    int count = 0;
    Blocks preset;  // video preset: a change in byte 3 of the word at 7 reports the word
    preset.newBlock.status.raw[7] = preset.oldBlock.status.raw[7] = 0x01;
    preset.newBlock.status.raw[10] = 0x02;
    EXPECT_EQ(statusChanges(preset, 1, &count), "\"93\":33554433");

    Blocks two;  // flat mode is signed; members comma separated, without braces
    two.newBlock.status.raw[0] = 0xFF;
    two.newBlock.status.raw[223] = 1;
    EXPECT_EQ(statusChanges(two, 1, &count), "\"63\":1,\"89\":-1");
    EXPECT_EQ(count, 2);

    Blocks media;  // media mod state: not on model 60
    media.newBlock.status.raw[84] = 1;
    camera_status_boss_cache_t cache;
    camera_status_init_bossCache(60, &cache);
    EXPECT_EQ(statusChanges(media, 1, &count, &cache, 60), "") << "reported what the model lacks";
    camera_status_init_bossCache(kModel, &cache);
    EXPECT_EQ(statusChanges(media, 1, &count, &cache), "\"102\":1");
}

// Ids rising (the lookups search them), every item inside the block, no
// byte owned by two items.
template <typename Item>
void expectSortedAndDisjoint(const Item *items, uint32_t n, size_t blockSize)
{
    std::vector<int> owner(blockSize);
    for (uint32_t i = 0; i < n; ++i) {
        EXPECT_TRUE(i == 0 || items[i - 1].id < items[i].id) << items[i].id;
        EXPECT_LE(items[i].offset + items[i].width, blockSize) << items[i].id;
        for (uint8_t k = 0; k < items[i].width && items[i].offset + k < blockSize; ++k)
            EXPECT_EQ(owner[items[i].offset + k]++, 0) << items[i].id;
    }
}

// A change in any byte of any item is reported under that item's id.
TEST(StatusChanges, EveryByteOfEveryStatusItemAndSettingIsCovered)
{
    uint32_t n = 0;
    const camera_status_item_t *items = camera_status_items(&n);
    expectSortedAndDisjoint(items, n, CAMERA_STATUS_BLOCK_SIZE);
    for (uint32_t i = 0; i < n; ++i)
        for (uint8_t k = 0; k < items[i].width; ++k) {
            Blocks b;
            b.newBlock.status.raw[items[i].offset + k] = 0x80;
            int count = 0;
            const std::string text = statusChanges(b, items[i].change_class, &count, nullptr, 51);
            EXPECT_GE(count, 1) << "status " << items[i].id << " byte " << int(k);
            EXPECT_NE(text.find("\"" + std::to_string(items[i].id) + "\":"), std::string::npos);
        }
    const camera_setting_item_t *settings = camera_setting_items(&n);
    expectSortedAndDisjoint(settings, n, CAMERA_SETTINGS_BLOCK_SIZE);
    for (uint32_t i = 0; i < n; ++i)
        for (uint8_t k = 0; k < settings[i].width; ++k) {
            Blocks b;
            b.newBlock.settings.raw[settings[i].offset + k] = 0x40;
            int count = 0;
            settingsChanges(b, &count, 0);
            EXPECT_GE(count, 1) << "setting " << settings[i].id;
        }
}

TEST(ParseParam, FindsTheKeyAmongPairsAndStopsAtTheSeparator)
{
    char value[8];
    EXPECT_EQ(parseParam("a=b&status=12,x=y", "status", value, sizeof value), 2);
    EXPECT_STREQ(value, "12");
    EXPECT_EQ(parseParam("status=123456789012", "status", value, sizeof value), 12);
    EXPECT_STREQ(value, "1234567");
    strcpy(value, "stale");
    EXPECT_EQ(parseParam("xstatus=3 status2=4", "status=", value, sizeof value), -1);
    EXPECT_STREQ(value, "");
}

}  // namespace
