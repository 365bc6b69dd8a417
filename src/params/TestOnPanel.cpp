#include "params/TestOnPanel.h"

#include <algorithm>
#include <limits>

namespace q7rk {

QString testNumberOf(const PanelModel& panel, int channel) {
    const TestKindDescription& d = description(panel.channels().kind(channel));
    return panel.text(channel, d.testNumberBox) + panel.text(channel, d.samplePositionBox);
}

TestKey testKeyOf(const PanelModel& panel, int channel) {
    const TestKind kind = panel.channels().kind(channel);
    return {testNumberOf(panel, channel), description(kind).storesBoilingMarks &&
                                              panel.option(Option::AfterBoiling, groupOf(channel))};
}

LengthAtStart lengthAtStart(const PanelModel& panel, int channel) {
    const TestKindDescription& kind = description(panel.channels().kind(channel));
    LengthAtStart out;
    qint64 n = kind.firstPointBox ? 1 : 0;
    int longest = -1;
    for (Box box : kind.lengthBoxes) {
        if (box == kind.firstPointBox) continue; // measured by the run, not set
        const int seconds = std::max(0, wholeSeconds(panel.number(channel, box)));
        n += seconds;
        if (seconds > longest) {
            longest = seconds;
            out.longestBox = box;
        }
    }
    out.seconds = int(std::min<qint64>(n, std::numeric_limits<int>::max()));
    return out;
}

double referenceVoltage(const PanelModel& panel, int channel) {
    return panel.number(channel, description(panel.channels().kind(channel)).voltageBox);
}

QString verdictOf(const PanelModel& panel, int channel) {
    return panel.text(channel, description(panel.channels().kind(channel)).verdictBox);
}

} // namespace q7rk
