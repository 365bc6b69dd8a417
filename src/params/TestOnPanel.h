#pragma once

#include "kinds/TestKindDescription.h"
#include "params/PanelModel.h"

#include <QString>
#include <optional>

namespace q7rk {

// What channel k's test is as its panel shows it: the kind's boxes read off the panel.
// The key of channel k's test: its number box followed by its sample position.
QString testNumberOf(const PanelModel& panel, int channel);
// The key channel k's test is stored under: its number and its group's boiling option.
TestKey testKeyOf(const PanelModel& panel, int channel);
// The shortest length channel k's test can have, known before it starts: its set times, plus
// one second for a characteristic point still to be measured (the rise to point A, the first
// spark). `longestBox` is the set time that weighs most.
struct LengthAtStart {
    int seconds = 0;
    std::optional<Box> longestBox;
};
LengthAtStart lengthAtStart(const PanelModel& panel, int channel);

// The set voltage of channel k's test and the verdict it shows.
double referenceVoltage(const PanelModel& panel, int channel);
QString verdictOf(const PanelModel& panel, int channel);

} // namespace q7rk
