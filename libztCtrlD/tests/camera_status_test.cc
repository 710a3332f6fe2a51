// Status and settings tables, the JSON serialisers and the option tables.
#include <gtest/gtest.h>
#include <string.h>

#include <sstream>
#include <string>
#include <vector>

#include "camera_settings.h"
#include "camera_status.h"
#include "ztcontrol_items.h"

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
    Blocks battery;  // bars compared on every poll, percent throttled
    battery.newBlock.status.raw[35] = 3;
    battery.newBlock.status.raw[36] = 55;
    EXPECT_EQ(statusChanges(battery, CAMERA_STATUS_CLASS_EVERY_POLL, &count), "\"2\":3");
    EXPECT_EQ(count, 1);
    EXPECT_EQ(statusChanges(battery, CAMERA_STATUS_CLASS_THROTTLED, &count), "\"70\":55");
    EXPECT_EQ(count, 1);

    Blocks preset;  // video preset: a change in byte 3 of the word at 7 reports the word
    preset.newBlock.status.raw[7] = preset.oldBlock.status.raw[7] = 0x01;
    preset.newBlock.status.raw[10] = 0x02;
    EXPECT_EQ(statusChanges(preset, 1, &count), "\"93\":33554433");

    Blocks two;  // flat mode is signed; members comma separated, without braces
    two.newBlock.status.raw[0] = 0xFF;
    two.newBlock.status.raw[223] = 1;
    EXPECT_EQ(statusChanges(two, 1, &count), "\"63\":1,\"89\":-1");
    EXPECT_EQ(count, 2);

    Blocks same;
    memset(&same.newBlock, 0x5A, sizeof same.newBlock);
    memcpy(&same.oldBlock, &same.newBlock, sizeof same.newBlock);
    count = -1;
    EXPECT_EQ(statusChanges(same, 1, &count), "");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(statusChanges(same, 2, &count) + settingsChanges(same, &count), "");
    EXPECT_EQ(count, 0);

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

// Every item of the layout tables has a name in the vocabulary, and every
// option name reads back as its option.
TEST(StatusTables, EveryItemAndNamedOptionIsInTheVocabulary)
{
    uint32_t n = 0;
    const camera_status_item_t *items = camera_status_items(&n);
    for (uint32_t i = 0; i < n; ++i)
        EXPECT_STRNE(camera_status_item_name(&items[i]), "") << items[i].id;
    const camera_setting_item_t *settings = camera_setting_items(&n);
    for (uint32_t i = 0; i < n; ++i)
        EXPECT_STRNE(camera_setting_item_name(&settings[i]), "") << settings[i].id;
    const zt_option_name_t *names = zt_option_names(&n);
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t found = 0;
        EXPECT_EQ(zt_option_by_name(names[i].setting, names[i].name, &found), 0);
        EXPECT_EQ(found, names[i].option) << names[i].setting << " " << names[i].name;
    }
}

TEST(SettingsChanges, ValuesAreReportedAsOptionIdsOrRawWithoutAnOption)
{
    Blocks b;
    b.newBlock.settings.raw[32] = 0x11;  // night-lapse interval 3601 (0x0E11): option 0
    b.newBlock.settings.raw[33] = 0x0E;
    b.oldBlock.settings.raw[32] = 10;
    b.newBlock.settings.raw[42] = 17;  // resolution 17: option 100
    b.newBlock.settings.raw[172] = 4;  // webcam lens linear
    b.newBlock.system.lens = 1;
    int count = 0;
    EXPECT_EQ(settingsChanges(b, &count), "\"2\":100,\"32\":0,\"43\":4,\"194\":1");
    EXPECT_EQ(count, 4);

    Blocks raw;
    raw.newBlock.settings.raw[43] = 77;  // no frame rate has code 77
    EXPECT_EQ(settingsChanges(raw, &count), "\"3\":77");
}

// Every option of every setting: conversions of supported settings agree
// both ways, and every listed value fits its bytes in the settings block.
// Every known model has a table reaching the highest setting the daemon
// names; an unknown model has none.
TEST(Options, ConversionsAreConsistentAndListedValuesFitTheirBytes)
{
    uint32_t none = 5;
    EXPECT_EQ(camera_settings_id_table(0, &none), nullptr);
    EXPECT_EQ(none, 0u);
    for (int model : {50, 51, 57, 58, 60}) {
        uint32_t count = 0;
        const camera_settings_id_entry_t *t = camera_settings_id_table(model, &count);
        ASSERT_GT(count, 181u) << model;  // the table is indexed by setting id
        for (uint32_t id = 0; id < count; ++id) {
            ASSERT_EQ(t[id].id, id);
            const bool supported = t[id].flags & CAMERA_SETTING_FLAG_SUPPORTED;
            const bool listed = t[id].option_count && t[id].width;
            for (uint32_t option = 0; option < 200 && (supported || listed); ++option) {
                const int32_t value = getOptionValueById(model, id, option);
                const uint32_t back = getOptionIdByValue(model, id, value, ~0u);
                if (supported && t[id].option_count == 0) {
                    EXPECT_EQ(back, option) << id;  // no table: identity both ways
                } else if (supported && back != ~0u) {
                    // The option a value reads back as gives a value that
                    // reads back as the same option.
                    EXPECT_EQ(
                        getOptionIdByValue(model, id, getOptionValueById(model, id, back), ~0u),
                        back)
                        << "model " << model << " setting " << id << " option " << option;
                }
                if (!listed || back != option)
                    continue;
                const int64_t bits = 8 * t[id].width;
                const bool isSigned = t[id].flags & CAMERA_SETTING_FLAG_SIGNED;
                EXPECT_GE(value, isSigned ? -(int64_t{1} << (bits - 1)) : 0)
                    << "setting " << id << " option " << option;
                EXPECT_LE(value, (int64_t{1} << (isSigned ? bits - 1 : bits)) - 1)
                    << "setting " << id << " option " << option;
            }
        }
    }
}

TEST(ParseParam, FindsTheKeyAmongPairsAndStopsAtTheSeparator)
{
    char value[8];
    EXPECT_EQ(parseParam("a=b&status=12,x=y", "status", value, sizeof value), 2);
    EXPECT_STREQ(value, "12");
    EXPECT_EQ(parseParam("status=123456789012", "status", value, sizeof value), 12);
    EXPECT_STREQ(value, "1234567");
    EXPECT_EQ(parseParam("status=", "status=", value, sizeof value), 0);
    EXPECT_STREQ(value, "");
    strcpy(value, "stale");
    EXPECT_EQ(parseParam("xstatus=3 status2=4", "status=", value, sizeof value), -1);
    EXPECT_STREQ(value, "");
}

}  // namespace
