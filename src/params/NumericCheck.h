#pragma once

#include "params/Box.h"
#include "settings/ChannelModel.h"

#include <QString>
#include <array>

namespace q7rk {

// How a parameter box treats unusable input: a blank or non-numeric text becomes the blank
// value, a number outside [lower, upper] (both inclusive) the out-of-range value. Values
// differ by group where the two groups drive different voltage ranges.
struct NumericRule {
    Box box;
    std::array<const char*, GroupCount> blank;
    double lower;
    double upper;
    std::array<const char*, GroupCount> outOfRange;
    bool allChannels; // propagation reaches all six channels instead of the group
};

// The rule of a box, or nullptr when the box is not checked.
const NumericRule* numericRule(Box box);

// The text the box of `channel` ends up with; a text that passes is returned as typed.
QString checkedText(const NumericRule& rule, int channel, const QString& text);

} // namespace q7rk
