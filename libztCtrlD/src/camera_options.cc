// Option tables: for each setting, its option ids and the firmware value of
// each, per model where models differ. docs/status-settings-tables.md lists
// them with their meanings.
#include "camera_options.h"

#include <iterator>

namespace ztc {
namespace {

// Where a setting lists two pairs with the same option, the first gives the
// option's value and the second is an alias: a firmware value that also
// reads back as that option.
const OptionPair kResolution[] = {{1, 1},   {4, 4},   {6, 6},   {7, 7},   {9, 9},    {18, 18},
                                  {24, 24}, {25, 25}, {26, 26}, {27, 27}, {100, 17}, {100, 13}};
const OptionPair kResolutionM60[] = {{1, 1}, {4, 4}, {6, 6}, {7, 7}, {9, 9}, {18, 18}, {24, 24}};
const OptionPair kFps[] = {{0, 0}, {1, 1}, {2, 2},   {5, 5},  {6, 6},
                           {8, 8}, {9, 9}, {10, 10}, {13, 13}};
// Frame interval codes: 0.5, 1, 2, 5, 10, 30 and 60 seconds.
const OptionPair kVideoTimelapseRate[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}};
// Minutes; 0 is the longest loop the card allows.
const OptionPair kLoopInterval[] = {{0, 0}, {1, 5}, {2, 20}, {3, 60}, {4, 120}};
// Seconds; 0 is automatic.
const OptionPair kShutter[] = {{0, 0}, {1, 2}, {2, 5}, {3, 10}, {4, 15}, {5, 20}, {6, 30}};
// Seconds; 0 stands for half a second.
const OptionPair kTimelapseInterval[] = {{0, 0},  {1, 1},   {2, 2},   {3, 5},    {4, 10},   {5, 30},
                                         {6, 60}, {7, 120}, {8, 300}, {9, 1800}, {10, 3600}};
// Seconds; 3601 is automatic, which the firmware stores as 0.
const OptionPair kNightlapseInterval[] = {{0, 3601}, {0, 0},     {1, 4},    {2, 5},  {3, 10},
                                          {4, 15},   {5, 20},    {6, 30},   {7, 60}, {8, 120},
                                          {9, 300},  {10, 1800}, {11, 3600}};
const OptionPair kVideoLens[] = {{0, 0}, {2, 2}, {3, 3}, {4, 4}, {7, 7}, {8, 8}};
const OptionPair kWebcamLens[] = {{0, 0}, {2, 2}, {3, 3}, {4, 4}};
const OptionPair kPhotoLens[] = {{0, 0}, {10, 10}, {19, 19}, {27, 27}};
const OptionPair kOnOff[] = {{0, 0}, {1, 1}};
const OptionPair kPhotoOutput[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}};
const OptionPair kPhotoOutputM51[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}};
const OptionPair kAspect[] = {{0, 0}, {1, 1}, {2, 2}};
const OptionPair kFlatMode[] = {{12, 12}, {13, 13}, {15, 15}, {16, 16}, {17, 17}, {18, 18},
                                {19, 19}, {20, 20}, {21, 21}, {22, 22}, {23, 23}, {24, 24},
                                {25, 25}, {26, 26}, {27, 27}, {29, 29}, {30, 30}, {31, 31}};
const OptionPair kBurstRate[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4},
                                 {5, 5}, {6, 6}, {7, 7}, {8, 8}, {9, 9}};
const OptionPair kDuration[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4},
                                {5, 5}, {6, 6}, {7, 7}, {8, 8}};
// Pre-recording: 2 is 15 s, 3 is 30 s, 4 switches it off.
const OptionPair kPreroll[] = {{2, 2}, {3, 3}, {4, 4}};
const OptionPair kEasySpeed[] = {{0, 0},   {1, 1},   {2, 2},   {3, 3},   {4, 4},   {5, 5},
                                 {6, 6},   {7, 7},   {8, 8},   {9, 9},   {10, 10}, {11, 11},
                                 {12, 12}, {13, 13}, {14, 14}, {15, 15}, {16, 16}, {17, 17},
                                 {18, 18}, {19, 19}, {20, 20}, {21, 21}, {22, 22}, {23, 23},
                                 {24, 24}, {25, 25}, {26, 26}, {27, 27}};
// Speed-up codes: 15x, 30x, 60x, 150x, 300x, 900x, 1800x, 2x, 5x, 10x; 10 is
// automatic.
const OptionPair kTimewarpSpeed[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4},  {5, 5},
                                     {6, 6}, {7, 7}, {8, 8}, {9, 9}, {10, 10}};
const OptionPair kStabilizer[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}};
const OptionPair kHorizon[] = {{0, 0}, {1, 1}, {2, 2}};
// 9 is the value both take while protune is off.
const OptionPair kWhiteBalance[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3},   {4, 4},  {5, 5},
                                    {7, 7}, {8, 8}, {9, 9}, {10, 10}, {11, 11}};
const OptionPair kColor[] = {{0, 0}, {1, 1}, {2, 2}, {9, 9}};
const OptionPair kIsoMax[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {7, 7}, {8, 8}};
const OptionPair kEvComp[] = {{0, 20}, {1, 15},  {2, 10},  {3, 5},  {4, 0},
                              {5, -5}, {6, -10}, {7, -15}, {8, -20}};
const OptionPair kAutoOff[] = {{0, 0}, {4, 1}, {6, 5}, {7, 15}, {11, 30}};
const OptionPair kVolume[] = {{0, 100}, {1, 70}, {2, 0}, {3, 40}};
const OptionPair kBrightness[] = {{0, 10}, {1, 40}, {2, 70}, {3, 100}};
const OptionPair kBand[] = {{0, 0}, {1, 1}};
const OptionPair kVideoFormat[] = {{0, 0}, {1, 1}};
const OptionPair kUxMode[] = {{0, 0}, {1, 1}};

#define OPTS(setting, model, table)                                    \
    {                                                                  \
        setting, model, table, static_cast<uint32_t>(std::size(table)) \
    }

// Model-specific tables come before the table for every model (model 0).
const SettingOptions kOptions[] = {
    OPTS(2, 60, kResolutionM60),
    OPTS(2, 0, kResolution),
    OPTS(3, 0, kFps),
    OPTS(5, 0, kVideoTimelapseRate),
    OPTS(6, 0, kLoopInterval),
    OPTS(19, 0, kShutter),
    OPTS(21, 0, kOnOff),
    OPTS(22, 0, kWhiteBalance),
    OPTS(30, 0, kTimelapseInterval),
    OPTS(31, 0, kShutter),
    OPTS(32, 0, kNightlapseInterval),
    OPTS(43, 0, kWebcamLens),
    OPTS(51, 0, kOnOff),
    OPTS(52, 0, kOnOff),
    OPTS(55, 0, kOnOff),
    OPTS(57, 0, kVideoFormat),
    OPTS(59, 0, kAutoOff),
    OPTS(86, 0, kOnOff),
    OPTS(87, 0, kVolume),
    OPTS(88, 0, kBrightness),
    OPTS(91, 0, kOnOff),
    OPTS(105, 51, kPhotoOutputM51),
    OPTS(105, 0, kPhotoOutput),
    OPTS(111, 0, kAspect),
    OPTS(112, 0, kOnOff),
    OPTS(114, 0, kOnOff),
    OPTS(115, 0, kWhiteBalance),
    OPTS(116, 0, kIsoMax),
    OPTS(117, 0, kColor),
    OPTS(118, 0, kEvComp),
    OPTS(121, 0, kVideoLens),
    OPTS(122, 0, kPhotoLens),
    OPTS(123, 0, kPhotoLens),
    OPTS(135, 0, kStabilizer),
    OPTS(144, 0, kFlatMode),
    OPTS(147, 0, kBurstRate),
    OPTS(150, 0, kHorizon),
    OPTS(155, 0, kDuration),
    OPTS(162, 0, kOnOff),
    OPTS(167, 0, kPreroll),
    OPTS(176, 0, kEasySpeed),
    OPTS(177, 0, kUxMode),
    OPTS(178, 0, kBand),
    OPTS(179, 0, kTimewarpSpeed),
    OPTS(181, 0, kOnOff),
    OPTS(184, 0, kResolution),
    OPTS(186, 0, kPhotoLens),
};

}  // namespace

const SettingOptions *findOptions(int model, uint32_t setting)
{
    const SettingOptions *any = nullptr;
    for (const SettingOptions &o : kOptions) {
        if (o.setting != setting)
            continue;
        if (o.model == model)
            return &o;
        if (o.model == 0 && !any)
            any = &o;
    }
    return any;
}

}  // namespace ztc
