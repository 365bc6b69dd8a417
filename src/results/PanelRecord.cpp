#include "PanelRecord.h"

#include "params/PanelModel.h"
#include "results/ResultSchema.h"
#include "settings/NumberText.h"
#include "settings/SampleStore.h"

#include <algorithm>
#include <span>

namespace q7rk {

namespace {

using enum Box;

// Where a field comes from and goes back to. Display-only fields are written back but
// never read for a save (their stored value is worked out instead).
struct FieldBox {
    const char* field;
    Box box;
    bool displayOnly = false;
};

constexpr FieldBox kTvBoxes[] = {
    {"化成电压", FormationVoltage},
    {"测试电流", TestCurrent},
    {"延迟时间", DelayTime},
    {"升压时间指标", RiseTimeLimit},
    {"升压时间", RiseTime},
    {"TV值", TvValue},
    {"TV特性", TvVerdict},
    {"水温度", WaterTemperature},
    {"Vmax", Readout51},
    {"测试人", TvOperator},
    {"测试日期", TvTestDate},
    {"升压时间", Readout49, true},
    {"测试编号", TvTestNumber, true},
};

constexpr FieldBox kLeakageBoxes[] = {
    {"漏电流电压", LeakageVoltage},   {"测试电流", TestCurrent},     {"漏电流指标", LeakageLimit},
    {"测试时间", LeakageTestTime},    {"漏电流", LeakageCurrent},    {"水温度", WaterTemperature},
    {"漏电流特性", LeakageVerdict},   {"测试人", TvOperator},        {"测试日期", TvTestDate},
    {"测试编号", TvTestNumber, true}, {"采样次数", Readout50, true},
};

constexpr FieldBox kElectrolyteBoxes[] = {
    {"测试电流", ElectrolyteCurrent},
    {"设定电压", ElectrolyteSetVoltage},
    {"参考电压", ReferenceVoltage},
    {"闪火延时", SparkDelay},
    {"闪火修正", SparkCorrection},
    {"最大电压", MaximumVoltage},
    {"最小电压", MinimumVoltage},
    {"火花电压1", SparkVoltage1},
    {"火花时间1", SparkTime1},
    {"火花电压2", SparkVoltage2},
    {"火花时间2", SparkTime2},
    {"火花电压3", SparkVoltage3},
    {"火花时间3", SparkTime3},
    {"判定结果", ElectrolyteVerdict},
    {"测试人", ElectrolyteOperator},
    {"测试日期", ElectrolyteTestDate},
    {"测试编号", ElectrolyteTestNumber, true},
    {"采样次数", Readout49, true},
};

std::span<const FieldBox> boxesOf(TestKind kind) {
    switch (kind) {
    case TestKind::Tv:
        return kTvBoxes;
    case TestKind::Leakage:
        return kLeakageBoxes;
    case TestKind::Electrolyte:
        break;
    }
    return kElectrolyteBoxes;
}

QString f(const char* utf8) {
    return QString::fromUtf8(utf8);
}

bool blank(const PanelModel& panel, int k, Box b) {
    return panel.text(k, b).trimmed().isEmpty();
}

} // namespace

QString testNumberOf(const PanelModel& panel, int k) {
    const bool electrolyte = panel.channels().kind(k) == TestKind::Electrolyte;
    return panel.text(k, electrolyte ? ElectrolyteTestNumber : TvTestNumber) +
           panel.text(k, electrolyte ? Box::ElectrolyteSamplePosition : Box::SamplePosition);
}

QList<Box> missingRequiredBoxes(const PanelModel& panel, int k) {
    QList<Box> required;
    switch (panel.channels().kind(k)) {
    case TestKind::Tv:
        required = {TvTestNumber, TvOperator};
        break;
    case TestKind::Leakage:
        required = {LeakageVoltage, LeakageTestTime};
        break;
    case TestKind::Electrolyte:
        required = {ElectrolyteTestNumber};
        break;
    }
    QList<Box> missing;
    for (Box b : required)
        if (blank(panel, k, b)) missing << b;
    return missing;
}

StoredTest recordOfChannel(const PanelModel& panel, const SampleStore& samples, int k,
                           int samplesTaken) {
    StoredTest t;
    t.kind = panel.channels().kind(k);
    t.values = QStringList(fieldNames(t.kind).size());
    for (const FieldBox& fb : boxesOf(t.kind)) {
        if (!fb.displayOnly) t.setValue(f(fb.field), panel.text(k, fb.box));
    }
    const QString number = testNumberOf(panel, k);
    t.setValue(f("测试编号"), number);

    const int n = std::clamp(samplesTaken, 0, SampleStore::MaxSample);
    t.curve.reserve(std::size_t(n));
    for (int i = 1; i <= n; ++i)
        t.curve.push_back({samples.voltage(k, i), samples.current(k, i)});
    t.setValue(f("采样次数"), QString::number(n));

    if (t.kind != TestKind::Electrolyte) {
        const int g = groupOf(k);
        t.setValue(f("水煮前"), formatBool(panel.option(Option::BeforeBoiling, g)));
        t.setValue(f("水煮后"), formatBool(panel.option(Option::AfterBoiling, g)));
        const QString position = panel.text(k, Box::SamplePosition);
        t.setValue(f("头位置"), formatBool(position.startsWith(QLatin1Char('H'))));
        t.setValue(f("尾位置"), formatBool(position.startsWith(QLatin1Char('T'))));
    }
    return t;
}

void showStoredTest(PanelModel& panel, int k, const StoredTest& test) {
    if (test.kind != TestKind::Electrolyte) {
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
    for (const FieldBox& fb : boxesOf(test.kind))
        panel.setText(k, fb.box, test.value(f(fb.field)));
    // A stored number is the number box and the position together. Shown split the same way,
    // the channel's number is the stored one again: the foil serial that follows channel 1's
    // box is the serial, and a run started from here is not named with the position twice.
    const bool electrolyte = test.kind == TestKind::Electrolyte;
    const Box positionBox = electrolyte ? Box::ElectrolyteSamplePosition : Box::SamplePosition;
    const QString whole = test.testNumber();
    const QString position = whole.right(2);
    if (whole.size() > 2 && samplePositions().contains(position)) {
        panel.setText(k, electrolyte ? ElectrolyteTestNumber : TvTestNumber, whole.chopped(2));
        panel.setText(k, positionBox, position);
    }
}

} // namespace q7rk
