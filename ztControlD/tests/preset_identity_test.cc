// Preset identity rules: title and icon numbering both ways, predefined ids,
// moves inside a preset list, and the next free title number as worked out
// from a scripted firmware.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <vector>

#include "ztcontrol_preset_loader.h"

using wsdk_commands::WSDK_EnumPresetIcon;
using wsdk_commands::WSDK_EnumPresetTitle;

TEST(PresetTitles, SimplePhotoTitlesReportAsPhotoAndTheRestKeepTheirNumber)
{
    EXPECT_EQ(wsdk_commands::WSDK_PRESET_TITLE_PHOTO, MapFWTitleToWSDK(70));
    EXPECT_EQ(wsdk_commands::WSDK_PRESET_TITLE_PHOTO, MapFWTitleToWSDK(71));
    for (PRESET_TITLES_FW t : {0u, 33u, 40u, 69u, 72u, 500u})
        EXPECT_EQ(static_cast<int>(t), MapFWTitleToWSDK(t)) << t;
    EXPECT_EQ(71u, MapWSDKTitleToFW(wsdk_commands::WSDK_PRESET_TITLE_SIMPLE_NIGHT_PHOTO));
}

TEST(PresetIcons, LapseIconsDependOnFlatModeAndModel)
{
    EXPECT_EQ(1000, MapFWIconToWSDK(17, 20));
    EXPECT_EQ(1000, MapFWIconToWSDK(8, 20));
    EXPECT_EQ(17, MapFWIconToWSDK(17, 12));
    EXPECT_EQ(8, MapFWIconToWSDK(8, 21));
    EXPECT_EQ(1001, MapFWIconToWSDK(9, 21));
    EXPECT_EQ(9, MapFWIconToWSDK(9, 20));
    EXPECT_EQ(40, MapFWIconToWSDK(40, 20));

    EXPECT_EQ(17u, MapWSDKIconToFW(wsdk_commands::WSDK_PRESET_ICON_TIMELAPSE_PHOTO, 51));
    EXPECT_EQ(8u, MapWSDKIconToFW(wsdk_commands::WSDK_PRESET_ICON_TIMELAPSE_PHOTO, 50));
    EXPECT_EQ(9u, MapWSDKIconToFW(wsdk_commands::WSDK_PRESET_ICON_NIGHTLAPSE_PHOTO, 51));
    for (int icon : {0, 8, 9, 17, 33, 55, 79, 1002})
        EXPECT_EQ(static_cast<PRESET_ICONS_FW>(icon),
                  MapWSDKIconToFW(static_cast<WSDK_EnumPresetIcon>(icon), 51));
}

TEST(PresetIds, FactoryRangesEndExactlyWhereListed)
{
    const unsigned int factory[] = {0,       5,       0x10000, 0x10003, 0x20000, 0x20002, 0x30000,
                                    0x40000, 0x50000, 0x50001, 0x80000, 0x80003, 0x90000, 0x90003,
                                    0xA0000, 0xB0000, 0xC0000, 0xC0001, 0xD0000, 0xE0000};
    for (unsigned int id : factory)
        EXPECT_TRUE(IsFactoryPreset(id)) << std::hex << id;
    const unsigned int user[] = {6,       0xFFFF,  0x10004, 0x20003, 0x20004, 0x20005,
                                 0x30001, 0x40003, 0x50002, 0x60000, 0x70000, 0x80004,
                                 0x90004, 0xA0001, 0xC0002, 0xE0001, 0xF0000, 0xFFFFFFFF};
    for (unsigned int id : user)
        EXPECT_FALSE(IsFactoryPreset(id)) << std::hex << id;
}

namespace {

PresetList listOf(const std::vector<int> &ids)
{
    PresetList list;
    for (int id : ids)
        list.Add()->set_id(id);
    return list;
}

std::vector<int> idsOf(const PresetList &list)
{
    std::vector<int> ids;
    for (const auto &p : list)
        ids.push_back(p.id());
    return ids;
}

}  // namespace

TEST(PresetMove, ShiftsTheElementsBetweenTowardsTheSourceAndMovesTheObjectItself)
{
    PresetList list = listOf({'A', 'B', 'C', 'D'});
    EXPECT_TRUE(pb_move_preset_by_index(&list, 3, 1));
    EXPECT_EQ((std::vector<int>{'A', 'D', 'B', 'C'}), idsOf(list));

    list = listOf({'A', 'B', 'C'});
    EXPECT_TRUE(pb_move_preset_by_index(&list, 0, 2));
    EXPECT_EQ((std::vector<int>{'B', 'C', 'A'}), idsOf(list));
    EXPECT_TRUE(pb_move_preset_by_index(&list, 1, 1));
    EXPECT_EQ((std::vector<int>{'B', 'C', 'A'}), idsOf(list));

    // The object itself moves, not a copy.
    list = listOf({1, 2, 3, 4});
    list.Mutable(0)->add_setting_array()->set_id(121);
    const auto *moved = &list.Get(0);
    const auto *neighbour = &list.Get(3);
    ASSERT_TRUE(pb_move_preset_by_index(&list, 0, 3));
    EXPECT_EQ(moved, &list.Get(3));
    EXPECT_EQ(neighbour, &list.Get(2));
    EXPECT_EQ(121, list.Get(3).setting_array(0).id());
    EXPECT_EQ(4, list.size());
}

TEST(PresetMove, OutOfRangeIndexesLeaveTheListUntouched)
{
    PresetList list = listOf({1, 2, 3});
    EXPECT_FALSE(pb_move_preset_by_index(&list, -1, 0));
    EXPECT_FALSE(pb_move_preset_by_index(&list, 0, -1));
    EXPECT_FALSE(pb_move_preset_by_index(&list, 3, 0));
    EXPECT_FALSE(pb_move_preset_by_index(&list, 0, 3));
    EXPECT_FALSE(pb_move_preset_by_index(nullptr, 0, 0));
    PresetList empty;
    EXPECT_FALSE(pb_move_preset_by_index(&empty, 0, 0));
    EXPECT_EQ((std::vector<int>{1, 2, 3}), idsOf(list));
}

TEST(PresetFind, FirstOfDuplicateIdsAndMinusOneWhenAbsent)
{
    PresetList list = listOf({7, 0x30000, 9, 0x30000});
    EXPECT_EQ(1, pb_get_preset_index_by_id(&list, 0x30000));
    EXPECT_EQ(0, pb_get_preset_index_by_id(&list, 7));
    EXPECT_EQ(-1, pb_get_preset_index_by_id(&list, 8));
    PresetList empty;
    EXPECT_EQ(-1, pb_get_preset_index_by_id(&empty, 0));
    EXPECT_EQ(-1, pb_get_preset_index_by_id(nullptr, 0));
}

namespace {

// A firmware that knows one group's id list and a record per id, and keeps
// every request it was sent.
struct ScriptedFirmware {
    std::vector<uint8_t> idList;  // whole answer to the list request
    std::map<uint32_t, std::vector<uint8_t>> records;
    int listStatus = 0;
    uint32_t failInfoFor = 0xFFFFFFFF;
    std::vector<std::pair<uint8_t, std::vector<uint8_t>>> requests;
    std::vector<uint8_t> answer;

    void addPreset(uint32_t id, uint32_t title, uint32_t number)
    {
        if (idList.empty())
            idList.push_back(0);
        idList[0]++;
        std::vector<uint8_t> rec(kPresetRecordSize, 0);
        for (int i = 0; i < 4; ++i) {
            idList.push_back(static_cast<uint8_t>(id >> (8 * i)));
            rec[12 + i] = static_cast<uint8_t>(title >> (8 * i));
            rec[16 + i] = static_cast<uint8_t>(number >> (8 * i));
        }
        records[id] = rec;
    }

    PresetFirmwareRequest fn()
    {
        return [this](uint8_t op, const uint8_t *payload, size_t len, const uint8_t **rsp,
                      size_t *rspLen) {
            requests.emplace_back(op, std::vector<uint8_t>(payload, payload + len));
            if (op == kPresetListIds) {
                answer = idList;
                if (listStatus != 0)
                    return listStatus;
            } else {
                if (len != 4)
                    return -3;
                uint32_t id = payload[0] | payload[1] << 8 | payload[2] << 16 |
                              static_cast<uint32_t>(payload[3]) << 24;
                if (id == failInfoFor)
                    return -5;
                answer = records[id];
            }
            *rsp = answer.data();
            *rspLen = answer.size();
            return 0;
        };
    }
};

ScriptedFirmware groupWithNumbers(const std::vector<uint32_t> &numbers, uint32_t title = 3)
{
    ScriptedFirmware fw;
    uint32_t id = 0x100;
    for (uint32_t n : numbers)
        fw.addPreset(id++, title, n);
    fw.addPreset(id++, title + 1, 0);  // other titles never count
    return fw;
}

}  // namespace

TEST(NextTitleNumber, SmallestUnusedNumberOfTheTitle)
{
    auto next = [](const std::vector<uint32_t> &used) {
        ScriptedFirmware fw = groupWithNumbers(used);
        return GetNextPresetIterator(4, 3, fw.fn());
    };
    EXPECT_EQ(2u, next({0, 1, 3}));
    EXPECT_EQ(0u, next({1, 2}));
    EXPECT_EQ(0u, next({}));
    EXPECT_EQ(3u, next({2, 0, 1, 1, 0}));
    EXPECT_EQ(1u, next({0, 0xFFFFFFFF}));
}

TEST(NextTitleNumber, AsksForTheGroupThenEachPresetByLittleEndianId)
{
    ScriptedFirmware fw;
    fw.addPreset(0x80001234, 3, 0);
    EXPECT_EQ(1u, GetNextPresetIterator(12, 3, fw.fn()));
    ASSERT_EQ(2u, fw.requests.size());
    EXPECT_EQ(kPresetListIds, fw.requests[0].first);
    EXPECT_EQ(std::vector<uint8_t>{12}, fw.requests[0].second);
    EXPECT_EQ(kPresetGetInfo, fw.requests[1].first);
    EXPECT_EQ((std::vector<uint8_t>{0x34, 0x12, 0x00, 0x80}), fw.requests[1].second);

    ScriptedFirmware empty;
    empty.idList = {0};
    EXPECT_EQ(0u, GetNextPresetIterator(0, 3, empty.fn()));
    EXPECT_EQ(1u, empty.requests.size()) << "an empty group needs no info request";
}

TEST(NextTitleNumber, AnyFailedOrMalformedAnswerStopsWithMinusOne)
{
    ScriptedFirmware failedList = groupWithNumbers({0});
    failedList.listStatus = -5;
    EXPECT_EQ(0xFFFFFFFFu, GetNextPresetIterator(0, 3, failedList.fn()));

    ScriptedFirmware emptyAnswer;  // no count byte at all
    EXPECT_EQ(0xFFFFFFFFu, GetNextPresetIterator(0, 3, emptyAnswer.fn()));

    ScriptedFirmware shortList = groupWithNumbers({0, 1});
    shortList.idList.pop_back();
    EXPECT_EQ(0xFFFFFFFFu, GetNextPresetIterator(0, 3, shortList.fn()));
    EXPECT_EQ(1u, shortList.requests.size());

    ScriptedFirmware failedInfo = groupWithNumbers({0, 1, 2});
    failedInfo.failInfoFor = 0x101;
    EXPECT_EQ(0xFFFFFFFFu, GetNextPresetIterator(0, 3, failedInfo.fn()));
    EXPECT_EQ(3u, failedInfo.requests.size());  // list, 0x100, 0x101: no further

    ScriptedFirmware shortRecord = groupWithNumbers({0, 1});
    shortRecord.records[0x100].pop_back();
    EXPECT_EQ(0xFFFFFFFFu, GetNextPresetIterator(0, 3, shortRecord.fn()));
    EXPECT_EQ(2u, shortRecord.requests.size());

    EXPECT_EQ(0xFFFFFFFFu, GetNextPresetIterator(0, 3, PresetFirmwareRequest()));
}
