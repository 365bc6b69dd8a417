#pragma once

#include "settings/ChannelModel.h"

#include <QString>
#include <QStringList>

namespace q7rk {

// The boxes of one channel's panel. A parameter is the text of its box and is converted where
// it is used. The values are the numbers of the boxes' control names (Text1..Text42, then
// Combo1 and Combo2), which stay what the settings, the saved panels and the widgets' object
// names are keyed by (`boxName`).
enum class Box : int {
    // TV test
    FormationVoltage = 1,
    VrRatio,
    TestCurrent, // TV and leakage
    DelayTime,
    RiseTimeLimit,
    RiseTime,
    TvValue,
    TvVerdict,
    // leakage test
    LeakageVoltage,
    LeakageLimit,
    LeakageTestTime,
    LeakageCurrent,
    LeakageVerdict,
    TvTestNumber,
    TvOperator,
    WaterTemperature,
    // electrolyte test
    ElectrolyteCurrent,
    ElectrolyteSetVoltage,
    ReferenceVoltage,
    SparkDelay,
    SparkCorrection,
    MaximumVoltage,
    ElectrolyteVerdict,
    TvTestDate,
    // readout strip under the charts; Readout49..52 sit beside Label49..52, whose captions
    // follow the kind of the channel's test
    LiveVoltage,
    LiveCurrent,
    Readout49,
    MinimumVoltage,
    SparkVoltage1,
    SparkTime1,
    SparkVoltage2,
    SparkTime2,
    SparkVoltage3,
    SparkTime3,
    ElectrolyteTestNumber,
    ElectrolyteOperator,
    ElectrolyteTestDate,
    Readout50,
    Readout51,
    Readout52,
    // Ethernet link (only channel 0's copy is used)
    InstrumentAddress,
    InstrumentPort,
    SamplePosition,            // sample position of the TV / leakage test (its text)
    ElectrolyteSamplePosition, // sample position of the electrolyte test
    // electrolyte test: the voltage of the second before each spark's fall (the spark
    // voltages above are the sample after it)
    VoltageBeforeSpark1,
    VoltageBeforeSpark2,
    VoltageBeforeSpark3,
};
constexpr int BoxCount = int(Box::VoltageBeforeSpark3);
constexpr int TextBoxCount = int(Box::InstrumentPort);

constexpr int boxIndex(Box b) {
    return int(b) - 1;
}
// The box whose control name is Text<n>, n = 1..42.
constexpr Box textBox(int n) {
    return Box(n);
}
QString boxName(Box b); // "Text25", "Combo1", "BeforeSpark1"
// The sample positions the position lists offer, in their order; a test number ends with one.
QStringList samplePositions();

// The group options, by their control numbers. Each is a two-element array: element 0
// acts on channels 1-3, element 1 on channels 4-6.
enum class Option : int {
    BeforeBoiling = 1,   // Option1 "水煮前："
    AfterBoiling = 2,    // Option2 "水煮后："
    TvTest = 5,          // Option5 "TV测试："
    LeakageTest = 6,     // Option6 "漏电流："
    ElectrolyteTest = 7, // Option7 "电解液："
    Linked = 8,          // Option8 "参数联动"
    NotLinked = 9,       // Option9 "不 联 动"
};

// The readout labels of the strip under each chart.
enum class ReadoutLabel : int { Label49 = 49, Label50 = 50, Label51 = 51, Label52 = 52 };

} // namespace q7rk
