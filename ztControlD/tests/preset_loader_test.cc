// Translation of real 81-byte firmware preset records into WSDK_Preset:
// header fields, and the caption settings chosen per mode, model, lens mode
// and easy/pro form.
#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ztcontrol_preset_loader.h"

using wsdk_commands::WSDK_Preset;

namespace {

using Captions = std::vector<std::pair<int, int>>;  // (setting id, value)
using Record = std::array<uint8_t, kPresetRecordSize>;

void putU32(Record &r, size_t off, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        r[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A record whose settings block byte k holds k, so a caption's value tells
// which block offset it was read from.
Record makeRecord(uint8_t flatMode, uint32_t presetId)
{
    Record r{};
    r[0] = flatMode;
    putU32(r, 2, presetId);
    for (size_t k = 0; k < kPresetSettingsBlockSize; ++k)
        r[kPresetSettingsBlockOffset + k] = static_cast<uint8_t>(k);
    return r;
}

void setBlockByte(Record &r, size_t blockOffset, int8_t v)
{
    r[kPresetSettingsBlockOffset + blockOffset] = static_cast<uint8_t>(v);
}

// Stand-in for the settings table: option id = firmware value + 1000, so the
// tests see both the conversion and the value that went into it.
uint32_t g_lastMask = 0;
uint32_t fakeOptionId(int /*model*/, uint32_t /*setting*/, int32_t value, uint32_t notFound)
{
    g_lastMask = notFound;
    return static_cast<uint32_t>(value + 1000);
}

PresetCaptionContext context(int model, uint8_t lensMode = 0, uint8_t easyProMode = 1)
{
    PresetCaptionContext ctx;
    ctx.model = model;
    ctx.lensMode = lensMode;
    ctx.easyProMode = easyProMode;
    ctx.optionIdByValue = fakeOptionId;
    return ctx;
}

WSDK_Preset load(const Record &r, const PresetCaptionContext &ctx)
{
    appc_presets_settings_info info;
    EXPECT_TRUE(parsePresetRecord(r.data(), r.size(), &info));
    WSDK_Preset preset;
    preset.set_id(static_cast<int32_t>(info.preset_id));
    populatePresetInfo(&info, preset, ctx);
    return preset;
}

Captions captionsOf(const WSDK_Preset &p)
{
    Captions out;
    for (const auto &s : p.setting_array()) {
        EXPECT_TRUE(s.is_caption());
        out.emplace_back(s.id(), s.value());
    }
    return out;
}

// Caption for setting `id` converted from the block byte at `offset`.
std::pair<int, int> fromByte(int id, int offset)
{
    return {id, 1000 + offset};
}

}  // namespace

TEST(PresetRecord, RejectsAnyLengthButEightyOne)
{
    Record r = makeRecord(12, 1);
    appc_presets_settings_info info{};
    info.preset_id = 77;
    EXPECT_FALSE(parsePresetRecord(r.data(), 80, &info));
    std::vector<uint8_t> longer(r.begin(), r.end());
    longer.push_back(0);
    EXPECT_FALSE(parsePresetRecord(longer.data(), longer.size(), &info));
    EXPECT_FALSE(parsePresetRecord(nullptr, 81, &info));
    EXPECT_EQ(77u, info.preset_id);
}

TEST(PresetRecord, ReadsUnalignedLittleEndianFieldsAtTheirOffsets)
{
    Record r = makeRecord(21, 0xC0FFEE01);
    r[1] = 2;
    putU32(r, 8, 0x11223344);
    putU32(r, 12, 71);
    putU32(r, 16, 5);
    putU32(r, 20, 0xAABBCCDD);
    r[79] = 0xFF;  // edited -1
    r[80] = 0x80;  // class -128
    appc_presets_settings_info info;
    ASSERT_TRUE(parsePresetRecord(r.data(), r.size(), &info));
    EXPECT_EQ(21, info.flat_mode);
    EXPECT_EQ(2, info.preset_type);
    EXPECT_EQ(0xC0FFEE01u, info.preset_id);
    EXPECT_EQ(0x11223344u, info.user_data[0]);
    EXPECT_EQ(71u, info.user_data[1]);
    EXPECT_EQ(5u, info.user_data[2]);
    EXPECT_EQ(0xAABBCCDDu, info.user_data[3]);
    EXPECT_EQ(53, info.settings_block.valueAt(53));
    EXPECT_EQ(0, info.settings_block.valueAt(54));  // past the block
    EXPECT_EQ(-1, info.edited);
    EXPECT_EQ(-128, info.easy_speed_class);
}

TEST(PresetHeader, MapsIconTitleAndFlagsFromTheRecord)
{
    Record r = makeRecord(21, 0x20002);
    r[1] = 1;
    putU32(r, 8, 9);    // night-lapse icon in a night-lapse photo preset
    putU32(r, 12, 70);  // simple smart shot
    r[79] = 1;
    WSDK_Preset p = load(r, context(57));
    EXPECT_EQ(21, p.mode());
    EXPECT_TRUE(p.user_defined());
    EXPECT_EQ(wsdk_commands::WSDK_PRESET_ICON_NIGHTLAPSE_PHOTO, p.icon());
    EXPECT_EQ(wsdk_commands::WSDK_PRESET_TITLE_PHOTO, p.title_id());
    EXPECT_FALSE(p.has_title_number());  // 0 is left unset
    EXPECT_TRUE(p.is_modified());
    EXPECT_FALSE(p.has_is_fixed());

    r[79] = 0xFF;  // a negative edit count is not an edit
    putU32(r, 16, 4);
    p = load(r, context(57));
    EXPECT_FALSE(p.is_modified());
    EXPECT_EQ(4, p.title_number());
}

TEST(PresetHeader, UnnamedModeAndIconReachTheWireUnchanged)
{
    Record r = makeRecord(7, 0);  // a flat mode the schema does not name
    putU32(r, 8, 40);             // an icon in the gap 34..54
    WSDK_Preset p = load(r, context(57));
    EXPECT_EQ(0, p.setting_array_size());
    std::string wire;
    ASSERT_TRUE(p.SerializeToString(&wire));
    EXPECT_NE(std::string::npos, wire.find(std::string("\x10\x07", 2)));  // field 2 = 7
    EXPECT_NE(std::string::npos, wire.find(std::string("\x30\x28", 2)));  // field 6 = 40
}

TEST(ProVideoCaptions, ReadEachSettingFromItsOffsetInModeOrder)
{
    const struct {
        int mode, model, lensMode;
        Captions expected;
    } cases[] = {
        {12, 57, 0, {fromByte(2, 2), fromByte(3, 3), fromByte(121, 4)}},
        {12, 50, 1, {fromByte(2, 2), fromByte(3, 3)}},
        {12, 51, 1, {fromByte(2, 2), fromByte(3, 3), fromByte(121, 4)}},
        {15, 57, 0, {fromByte(2, 2), fromByte(3, 3), fromByte(6, 6), fromByte(121, 4)}},
        {27, 50, 0, {fromByte(2, 2), fromByte(3, 3), fromByte(121, 4)}},
        {13, 51, 1, {fromByte(2, 2), fromByte(5, 9)}},
        {13, 50, 1, {fromByte(2, 2), fromByte(5, 9), fromByte(121, 4)}},
        {24, 50, 1, {fromByte(2, 2), fromByte(111, 24)}},
        {24, 51, 1, {fromByte(2, 2), fromByte(111, 24), fromByte(121, 4)}},
        {25, 50, 1, {fromByte(121, 4)}},
        {22, 57, 0, {}},
        // Model 60 has no easy form, whatever the ux mode says.
        {12, 60, 0, {fromByte(2, 2), fromByte(3, 3), fromByte(121, 4)}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + " model " + std::to_string(c.model) +
                     " lens mode " + std::to_string(c.lensMode));
        g_lastMask = 0;
        EXPECT_EQ(c.expected,
                  captionsOf(load(makeRecord(c.mode, 0), context(c.model, c.lensMode))));
        if (!c.expected.empty()) {
            EXPECT_EQ(0xFFFFFFFFu, g_lastMask);
        }
    }
}

// Easy form of mode 12: one speed caption from (frame rate, resolution, class).
int easySpeedFor(int fps, int res, int speedClass)
{
    Record r = makeRecord(12, 0);
    setBlockByte(r, 3, static_cast<int8_t>(fps));
    setBlockByte(r, 2, static_cast<int8_t>(res));
    r[80] = static_cast<uint8_t>(speedClass);
    WSDK_Preset p = load(r, context(57, 0, 0));
    EXPECT_EQ(1, p.setting_array_size());
    if (p.setting_array_size() != 1)
        return -1;
    EXPECT_EQ(176, p.setting_array(0).id());
    return p.setting_array(0).value() - 1000;
}

TEST(EasyVideoCaptions, SpeedTableRowsResolutionExceptionsAndFallbackRow)
{
    const int rows[][4] = {{0, 14, 16, 0}, {1, 4, 17, 1}, {2, 11, 21, 8},  {5, 5, 18, 2},
                           {6, 12, 22, 9}, {8, 6, 19, 3}, {9, 13, 23, 10}, {13, 15, 20, 7}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row[0]);
        EXPECT_EQ(row[1], easySpeedFor(row[0], 0, 1));
        EXPECT_EQ(row[2], easySpeedFor(row[0], 0, 2));
        EXPECT_EQ(row[3], easySpeedFor(row[0], 0, 0));
        EXPECT_EQ(row[3], easySpeedFor(row[0], 0, -1));
    }
    EXPECT_EQ(25, easySpeedFor(1, 4, 3));
    EXPECT_EQ(27, easySpeedFor(2, 4, 3));
    EXPECT_EQ(24, easySpeedFor(5, 1, 3));
    EXPECT_EQ(26, easySpeedFor(6, 1, 3));
    EXPECT_EQ(4, easySpeedFor(1, 4, 1));  // the exception is for other classes only
    EXPECT_EQ(3, easySpeedFor(8, 4, 3));  // rows without an exception ignore the resolution
    // An unknown frame rate falls back to the last row.
    EXPECT_EQ(6, easySpeedFor(7, 0, 1));
    EXPECT_EQ(6, easySpeedFor(7, 0, 2));
    EXPECT_EQ(3, easySpeedFor(7, 4, 0));
    EXPECT_EQ(3, easySpeedFor(-3, 1, 5));
}

TEST(EasyCaptions, SwiftLapseShowsItsSpeedNightPhotoItsUnconvertedOptionOthersNothing)
{
    EXPECT_EQ(Captions{fromByte(155, 46)}, captionsOf(load(makeRecord(24, 0), context(51, 0, 0))));
    EXPECT_EQ(Captions{}, captionsOf(load(makeRecord(13, 0), context(51, 0, 0))));
    // Photo modes: only the night preset has its option set.
    for (uint8_t mode : {16, 17, 18}) {
        EXPECT_EQ((Captions{{181, 1}}),
                  captionsOf(load(makeRecord(mode, 0xC0001), context(51, 0, 0))));
        EXPECT_EQ((Captions{{181, 0}}),
                  captionsOf(load(makeRecord(mode, 0xC0000), context(51, 0, 0))));
    }
}

TEST(ProPhotoCaptions, ModelFiftyOneOutputPresetsDropTheLens)
{
    EXPECT_EQ(Captions{fromByte(122, 2)}, captionsOf(load(makeRecord(16, 0x40000), context(57))));
    EXPECT_EQ((Captions{fromByte(19, 5), fromByte(122, 2)}),
              captionsOf(load(makeRecord(18, 0), context(57))));
    EXPECT_EQ(Captions{fromByte(105, 19)}, captionsOf(load(makeRecord(17, 0x40000), context(51))));
    EXPECT_EQ((Captions{fromByte(19, 5), fromByte(105, 19)}),
              captionsOf(load(makeRecord(18, 0x10001), context(51))));
    EXPECT_EQ((Captions{fromByte(105, 19), fromByte(122, 2)}),
              captionsOf(load(makeRecord(16, 0x40003), context(51))));
    EXPECT_EQ(Captions{fromByte(122, 2)}, captionsOf(load(makeRecord(16, 0x10000), context(51))));
}

TEST(MultiShotCaptions, ModesReadTheirOwnBytesAndDropTheLensOnFixedLensModel)
{
    EXPECT_EQ((Captions{fromByte(147, 3), fromByte(123, 2)}),
              captionsOf(load(makeRecord(19, 0), context(51, 1))));
    Record tl = makeRecord(20, 0);
    setBlockByte(tl, 4, 6);
    EXPECT_EQ((Captions{{30, 1060}, fromByte(123, 2)}), captionsOf(load(tl, context(57, 1))));
    EXPECT_EQ((Captions{{30, 1060}}), captionsOf(load(tl, context(51, 1))));
    Record nl = makeRecord(21, 0);
    setBlockByte(nl, 5, 2);
    EXPECT_EQ((Captions{fromByte(31, 7), {32, 1020}, fromByte(123, 2)}),
              captionsOf(load(nl, context(51, 0))));
    EXPECT_EQ((Captions{fromByte(31, 7), {32, 1020}}), captionsOf(load(nl, context(51, 1))));
    nl[0] = 26;
    EXPECT_EQ((Captions{fromByte(2, 28), {32, 1020}, fromByte(121, 30)}),
              captionsOf(load(nl, context(51, 1))));
    for (uint8_t mode : {29, 30, 31}) {
        nl[0] = mode;
        EXPECT_EQ((Captions{fromByte(2, 28), fromByte(179, 34), fromByte(121, 30)}),
                  captionsOf(load(nl, context(60))));
        EXPECT_EQ((Captions{fromByte(2, 28), {32, 1020}, fromByte(121, 30)}),
                  captionsOf(load(nl, context(50))));
    }
}

TEST(IntervalTables, EveryIndexConvertsNightAutoBecomes3601AndOthersDropTheCaption)
{
    const int timeLapse[12] = {0, 1, 2, 5, 10, 30, 60, 120, 300, 1800, 3600, 0};
    const int nightLapse[12] = {10, 15, 20, 30, 60, 120, 300, 1800, 3600, 3601, 4, 5};
    for (int i = 0; i < 12; ++i) {
        Record r = makeRecord(20, 0);
        setBlockByte(r, 4, static_cast<int8_t>(i));
        setBlockByte(r, 5, static_cast<int8_t>(i));
        EXPECT_EQ(1000 + timeLapse[i], captionsOf(load(r, context(57))).at(0).second) << i;
        r[0] = 21;
        EXPECT_EQ(1000 + nightLapse[i], captionsOf(load(r, context(57))).at(1).second) << i;
    }
    // An index outside the table drops only that caption.
    for (int8_t index : {12, 127, -1, -128}) {
        Record r = makeRecord(21, 0);
        setBlockByte(r, 5, index);
        EXPECT_EQ((Captions{fromByte(31, 7), fromByte(123, 2)}), captionsOf(load(r, context(57))));
        r[0] = 20;
        setBlockByte(r, 4, index);
        EXPECT_EQ(Captions{fromByte(123, 2)}, captionsOf(load(r, context(57))));
    }
}

TEST(CaptionValues, NegativeBlockBytesPassAsSignedValues)
{
    Record r = makeRecord(25, 0);
    setBlockByte(r, 4, -2);
    EXPECT_EQ((Captions{{121, 998}}), captionsOf(load(r, context(57))));
    PresetCaptionContext noTable = context(57);
    noTable.optionIdByValue = nullptr;
    EXPECT_EQ((Captions{{121, -2}}), captionsOf(load(r, noTable)));
}
