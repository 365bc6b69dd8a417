#include "kinds/ChannelTest.h"

#include "kinds/TestKindDescription.h"
#include "settings/NumberText.h"

#include <algorithm>
#include <limits>

namespace q7rk {

namespace quantised {

// The readouts' own formatting decides the digits, so that a value reads back as shown to
// the last bit; the one place that goes through text.
double volts(float value) {
    return parseNumber(formatFixedSingle(value, 1)).value_or(0);
}

double milliamperes(float value) {
    return parseNumber(formatFixedSingle(value, 3)).value_or(0);
}

double single(float value) {
    return parseNumber(formatSingle(value)).value_or(0);
}

} // namespace quantised

std::optional<double> ChannelTest::value(Box box) const {
    const auto spark = [this](int i) -> const Spark* {
        return sparkCount > i ? &sparks[std::size_t(i)] : nullptr;
    };
    switch (box) {
    case Box::RiseTime:
        return riseTime;
    case Box::TvValue:
        return evaluated ? tvValue : 0;
    case Box::LeakageCurrent:
        return evaluated ? leakageCurrent : 0;
    case Box::SparkTime1:
    case Box::SparkTime2:
    case Box::SparkTime3: {
        const Spark* s = spark(box == Box::SparkTime1 ? 0 : box == Box::SparkTime2 ? 1 : 2);
        return s ? s->index : 0;
    }
    case Box::SparkVoltage1:
        return spark(0) ? quantised::volts(sparks[0].volts) : 0;
    case Box::SparkVoltage2:
        return spark(1) ? quantised::volts(sparks[1].volts) : 0;
    case Box::SparkVoltage3:
        return spark(2) ? quantised::volts(sparks[2].volts) : 0;
    case Box::VoltageBeforeSpark1:
        return spark(0) ? quantised::volts(sparks[0].voltsBefore) : 0;
    case Box::VoltageBeforeSpark2:
        return spark(1) ? quantised::volts(sparks[1].voltsBefore) : 0;
    case Box::VoltageBeforeSpark3:
        return spark(2) ? quantised::volts(sparks[2].voltsBefore) : 0;
    case Box::MaximumVoltage:
        return evaluated ? quantised::single(peakVoltage) : 0;
    case Box::Readout51: // the peak voltage, shown beside Label51 ("Vmax" of a TV test)
        return quantised::single(peakVoltage);
    case Box::MinimumVoltage:
        return evaluated ? quantised::single(firstSparkVoltage) : 0;
    default:
        return setValue(box);
    }
}

void ChannelTest::takeShown(Box box, const QString& text) {
    const std::optional<double> value = parseNumber(text);
    setValues[std::size_t(boxIndex(box))] = value;
    switch (box) {
    case Box::TvVerdict:
        reported.code = text == QStringLiteral("待定") || text == interruptedText()
                            ? Reported::Code::Pending
                        : text == QStringLiteral("合格") ? Reported::Code::Pass
                                                         : Reported::Code::Fail;
        break;
    case Box::TvValue:
        reported.tvValue = value.value_or(0);
        break;
    case Box::RiseTime:
        reported.riseTime = value;
        break;
    case Box::Readout50:
        reported.peakField = value.value_or(0);
        break;
    case Box::LiveVoltage:
        reported.liveVoltage = value;
        break;
    case Box::LiveCurrent:
        reported.liveCurrent = value;
        break;
    default:
        break;
    }
}

void ChannelTest::clearMeasurements() {
    peakVoltage = 0;
    firstSparkSeen = false;
    sparkSeen = false;
    evaluated = false;
    deadline = 0;
    heldSince = 0;
    firstSparkVoltage = 0;
    riseTime = 0;
    sparkCount = 0;
    sparks = {};
    tvValue = 0;
    leakageCurrent = 0;
    failed = false;
}

int testLength(TestKind kind, const std::function<double(Box)>& number) {
    // A time is never negative: a box below zero adds nothing rather than shortening the test.
    qint64 n = 0;
    for (Box box : description(kind).lengthBoxes)
        n += std::max(0, wholeSeconds(number(box)));
    return int(std::min<qint64>(n, std::numeric_limits<int>::max()));
}

int testLength(const ChannelTest& test) {
    return testLength(test.kind, [&test](Box box) { return test.number(box); });
}

} // namespace q7rk
