#pragma once

#include "kinds/Box.h"
#include "settings/ChannelModel.h"

#include <QString>
#include <array>

namespace q7rk {

// How a parameter box treats unusable input: a blank or non-numeric text becomes the blank
// value, a number outside [lower, upper] (both inclusive) the out-of-range value. Values
// differ by group where the two groups drive different voltage ranges. The formation voltage
// is the exception: a fixed value for a slip of the keyboard would set the next foil to a
// voltage nobody chose (and reach all six channels), so its box goes back to the last value
// it held instead.
struct NumericRule {
    Box box;
    std::array<const char*, GroupCount> blank;
    double lower;
    double upper;
    std::array<const char*, GroupCount> outOfRange;
    bool allChannels;            // propagation reaches all six channels instead of the group
    bool keepsLastValid = false; // a blank or non-number restores the box's last valid value
};

// The rule of a box, or nullptr when the box is not checked.
const NumericRule* numericRule(Box box);

// The text the box of `channel` ends up with; a text that passes is returned as typed.
// `lastValid` is what a rule that keeps the last valid value goes back to.
QString checkedText(const NumericRule& rule, int channel, const QString& text,
                    const QString& lastValid = {});
// The text is a number within the rule's bounds.
bool passes(const NumericRule& rule, const QString& text);
// The check would put the last valid value back rather than a fixed one.
bool restoresLastValid(const NumericRule& rule, const QString& text);

} // namespace q7rk
