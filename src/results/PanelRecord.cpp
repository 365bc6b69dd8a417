#include "PanelRecord.h"

#include "kinds/TestKindDescription.h"
#include "params/PanelModel.h"
#include "results/ResultSchema.h"
#include "settings/NumberText.h"
#include "settings/SampleStore.h"

#include <algorithm>
#include <span>

namespace q7rk {

namespace {

using enum Box;

QString f(const char* utf8) {
    return QString::fromUtf8(utf8);
}

bool blank(const PanelModel& panel, int k, Box b) {
    return panel.text(k, b).trimmed().isEmpty();
}

} // namespace

QList<Box> missingRequiredBoxes(const PanelModel& panel, int k) {
    QList<Box> missing;
    for (Box b : description(panel.channels().kind(k)).requiredBoxes)
        if (blank(panel, k, b)) missing << b;
    return missing;
}

StoredTest recordOfChannel(const PanelModel& panel, const SampleStore& samples, int k,
                           int samplesTaken) {
    StoredTest t;
    t.kind = panel.channels().kind(k);
    t.values = QStringList(fieldNames(t.kind).size());
    const TestKindDescription& kind = description(t.kind);
    for (const FieldBox& fb : kind.fieldBoxes) {
        if (!fb.displayOnly) t.setValue(f(fb.field), panel.text(k, fb.box));
    }
    const QString number = testNumberOf(panel, k);
    t.setValue(f("测试编号"), number);

    const int n = std::clamp(samplesTaken, 0, SampleStore::MaxSample);
    t.curve.reserve(std::size_t(n));
    for (int i = 1; i <= n; ++i)
        t.curve.push_back({samples.voltage(k, i), samples.current(k, i)});
    t.setValue(f("采样次数"), QString::number(n));

    if (kind.storesBoilingMarks) {
        const int g = groupOf(k);
        t.setValue(f("水煮前"), formatBool(panel.option(Option::BeforeBoiling, g)));
        t.setValue(f("水煮后"), formatBool(panel.option(Option::AfterBoiling, g)));
        const QString position = panel.text(k, kind.samplePositionBox);
        t.setValue(f("头位置"), formatBool(position.startsWith(QLatin1Char('H'))));
        t.setValue(f("尾位置"), formatBool(position.startsWith(QLatin1Char('T'))));
    }
    return t;
}

void showStoredTest(PanelModel& panel, int k, const StoredTest& test) {
    const TestKindDescription& kind = description(test.kind);
    if (kind.storesBoilingMarks) {
        // Selecting a boiling option presets the delay of every running channel; a display
        // must not change the delays of the other channels (tests shown beside it), and its
        // own comes from the stored row below.
        PerChannel<QString> delays;
        for (int c = 0; c < ChannelCount; ++c)
            delays[c] = panel.text(c, DelayTime);
        const int g = groupOf(k);
        const bool before = parseBool(test.value(f("水煮前"))).value_or(false);
        const bool after = parseBool(test.value(f("水煮后"))).value_or(false);
        if (before && !panel.option(Option::BeforeBoiling, g))
            panel.clickOption(Option::BeforeBoiling, g);
        else if (after && !panel.option(Option::AfterBoiling, g))
            panel.clickOption(Option::AfterBoiling, g);
        else if (!before && !after) {
            panel.restoreOption(Option::BeforeBoiling, g, false);
            panel.restoreOption(Option::AfterBoiling, g, false);
        }
        for (int c = 0; c < ChannelCount; ++c)
            panel.setText(c, DelayTime, delays[c]);
    }
    for (const FieldBox& fb : kind.fieldBoxes)
        panel.setText(k, fb.box, test.value(f(fb.field)));
    // A stored number is the number box and the position together. Shown split the same way,
    // the channel's number is the stored one again: the foil serial that follows channel 1's
    // box is the serial, and a run started from here is not named with the position twice.
    if (const auto split = splitTestNumber(test.testNumber())) {
        panel.setText(k, kind.testNumberBox, split->number);
        panel.setText(k, kind.samplePositionBox, split->position);
    }
}

} // namespace q7rk
