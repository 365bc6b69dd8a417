#include "PanelRecord.h"

#include "kinds/TestKindDescription.h"
#include "params/PanelModel.h"
#include "params/TestOnPanel.h"
#include "results/ResultSchema.h"
#include "settings/NumberText.h"

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

void takeOperatorTexts(StoredTest& t, const PanelModel& panel, int k) {
    const TestKindDescription& kind = description(t.kind);
    for (const FieldBox& fb : kind.fieldBoxes) {
        if (fb.displayOnly || fb.box == kind.verdictBox) continue;
        const QString field = f(fb.field);
        if (fieldType(t.kind, fieldIndex(t.kind, field)) == FieldType::Number) continue;
        t.setValue(field, panel.text(k, fb.box));
    }
    t.setValue(f("测试编号"), testNumberOf(panel, k));
    if (kind.storesBoilingMarks) {
        const int g = groupOf(k);
        t.setValue(f("水煮前"), formatBool(panel.option(Option::BeforeBoiling, g)));
        t.setValue(f("水煮后"), formatBool(panel.option(Option::AfterBoiling, g)));
        const QString position = panel.text(k, kind.samplePositionBox);
        t.setValue(f("头位置"), formatBool(position.startsWith(QLatin1Char('H'))));
        t.setValue(f("尾位置"), formatBool(position.startsWith(QLatin1Char('T'))));
    }
}

QList<Box> missingRequiredBoxes(const PanelModel& panel, const StoredTest& record, int k) {
    QList<Box> missing;
    for (Box b : description(record.kind).requiredBoxes) {
        // A set value is the one the test ran with; a text is the box's now.
        const QString field = storedField(record.kind, b);
        const bool number = !field.isEmpty() &&
                            fieldType(record.kind, fieldIndex(record.kind, field)) ==
                                FieldType::Number;
        if (number ? record.value(field).isEmpty() : blank(panel, k, b)) missing << b;
    }
    return missing;
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
