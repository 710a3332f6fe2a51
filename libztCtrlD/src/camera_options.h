// Option tables of the settings (internal to the library): the option ids a
// setting offers and the firmware value of each. Constant data.
#ifndef CAMERA_OPTIONS_H
#define CAMERA_OPTIONS_H

#include <stdint.h>

namespace ztc {

struct OptionPair {
    uint32_t option;
    int32_t value;
};

struct SettingOptions {
    uint32_t setting;
    int model;  // 0: every model without a table of its own
    const OptionPair *pairs;
    uint32_t count;
};

// The option table of `setting` on `model`, or null when the setting has
// none (its values are its option ids).
const SettingOptions *findOptions(int model, uint32_t setting);

}  // namespace ztc

#endif  // CAMERA_OPTIONS_H
