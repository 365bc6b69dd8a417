#pragma once

#include "settings/ChannelModel.h"

#include <QString>
#include <QStringList>

namespace q7rk {

// The boxes of one channel's panel, by their control names. A parameter is the text of its
// box and is converted where it is used.
enum class Box : int {
    Text1 = 1,
    Text2,
    Text3,
    Text4,
    Text5,
    Text6,
    Text7,
    Text8,
    Text9,
    Text10,
    Text11,
    Text12,
    Text13,
    Text14,
    Text15,
    Text16,
    Text17,
    Text18,
    Text19,
    Text20,
    Text21,
    Text22,
    Text23,
    Text24,
    Text25,
    Text26,
    Text27,
    Text28,
    Text29,
    Text30,
    Text31,
    Text32,
    Text33,
    Text34,
    Text35,
    Text36,
    Text37,
    Text38,
    Text39,
    Text40,
    Text41,
    Text42,
    Combo1, // sample position of the TV / leakage test (its text)
    Combo2, // sample position of the electrolyte test
};
constexpr int BoxCount = int(Box::Combo2);

constexpr int boxIndex(Box b) {
    return int(b) - 1;
}
constexpr Box textBox(int n) {
    return Box(n);
} // n = 1..42
QString boxName(Box b); // "Text25", "Combo1"
// The sample positions the position lists offer, in their order; a test number ends with one.
QStringList samplePositions();

// What the boxes hold, for code that would otherwise read a bare number.
namespace boxes {
// TV test
constexpr Box FormationVoltage = Box::Text1;
constexpr Box VrRatio = Box::Text2;
constexpr Box TestCurrent = Box::Text3; // TV and leakage
constexpr Box DelayTime = Box::Text4;
constexpr Box RiseTimeLimit = Box::Text5;
constexpr Box RiseTime = Box::Text6;
constexpr Box TvValue = Box::Text7;
constexpr Box TvVerdict = Box::Text8;
// leakage test
constexpr Box LeakageVoltage = Box::Text9;
constexpr Box LeakageLimit = Box::Text10;
constexpr Box LeakageTestTime = Box::Text11;
constexpr Box LeakageCurrent = Box::Text12;
constexpr Box LeakageVerdict = Box::Text13;
constexpr Box TvTestNumber = Box::Text14;
constexpr Box TvOperator = Box::Text15;
constexpr Box WaterTemperature = Box::Text16;
// electrolyte test
constexpr Box ElectrolyteCurrent = Box::Text17;
constexpr Box ElectrolyteSetVoltage = Box::Text18;
constexpr Box ReferenceVoltage = Box::Text19;
constexpr Box SparkDelay = Box::Text20;
constexpr Box SparkCorrection = Box::Text21;
constexpr Box MaximumVoltage = Box::Text22;
constexpr Box ElectrolyteVerdict = Box::Text23;
constexpr Box TvTestDate = Box::Text24;
// readout strip under the charts
constexpr Box LiveVoltage = Box::Text25;
constexpr Box LiveCurrent = Box::Text26;
constexpr Box Readout49 = Box::Text27; // beside Label49
constexpr Box MinimumVoltage = Box::Text28;
constexpr Box SparkVoltage1 = Box::Text29;
constexpr Box SparkTime1 = Box::Text30;
constexpr Box SparkVoltage2 = Box::Text31;
constexpr Box SparkTime2 = Box::Text32;
constexpr Box SparkVoltage3 = Box::Text33;
constexpr Box SparkTime3 = Box::Text34;
constexpr Box ElectrolyteTestNumber = Box::Text35;
constexpr Box ElectrolyteOperator = Box::Text36;
constexpr Box ElectrolyteTestDate = Box::Text37;
constexpr Box Readout50 = Box::Text38; // beside Label50
constexpr Box Readout51 = Box::Text39; // beside Label51
constexpr Box Readout52 = Box::Text40; // beside Label52
// Ethernet link (only channel 0's copy is used)
constexpr Box InstrumentAddress = Box::Text41;
constexpr Box InstrumentPort = Box::Text42;
} // namespace boxes

// The box of the voltage a test of this kind drives to: the set value of the poll and the
// top of the chart's voltage axis.
constexpr Box voltageBoxOf(TestKind kind) {
    switch (kind) {
    case TestKind::Tv:
        return boxes::FormationVoltage;
    case TestKind::Leakage:
        return boxes::LeakageVoltage;
    case TestKind::Electrolyte:
        break;
    }
    return boxes::ElectrolyteSetVoltage;
}

// The box that says "合格", "不合格" or "待定" for a test of this kind.
constexpr Box verdictBoxOf(TestKind kind) {
    switch (kind) {
    case TestKind::Tv:
        return boxes::TvVerdict;
    case TestKind::Leakage:
        return boxes::LeakageVerdict;
    case TestKind::Electrolyte:
        break;
    }
    return boxes::ElectrolyteVerdict;
}

} // namespace q7rk
