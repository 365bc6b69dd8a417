#include "execution/SamplingTick.h"

#include "execution/RunEvents.h"
#include "kinds/TestKindDescription.h"

#include <algorithm>
#include <cmath>

namespace q7rk {

namespace {
constexpr int MaxSparks = 3;
} // namespace

SamplingTick::SamplingTick(ChannelModel& channels, SampleStore& store, ChannelTests& tests,
                           RunEvents& events, MeasurementTables tables)
    : m_channels(channels), m_store(store), m_tests(tests), m_events(events), m_tables(tables) {}

void SamplingTick::run() {
    const int first = std::max(0, int(m_channels.firstChannel));
    const int last = std::min(ChannelCount - 1, int(m_channels.lastChannel));
    const int n = m_channels.sampleIndex;
    if (n > SampleStore::MaxSample) {
        // The store holds one test of 6000 s; past it the channels simply end, and the run
        // with them, rather than writing beyond the store.
        for (int k = first; k <= last; ++k)
            m_tests[k].stopped = true;
        return;
    }
    for (int k = first; k <= last; ++k)
        sampleChannel(k, n);
    m_channels.sampleIndex = qint16(n + 1);
}

// Counts to volts and milliamperes, factory calibration, series resistor, user factors,
// clamping. The range is chosen on the uncalibrated value, as the factory trimmed it.
SamplingTick::Reading SamplingTick::convert(int k) const {
    const MeasurementTables& t = m_tables;
    float i = m_channels.rawCurrent[k] / 5000.0f;
    float v = m_channels.rawVoltage[k] / 50.0f;
    v = v >= 100 ? v * t.voltGainHigh[k] + t.voltOffsetHigh[k]
                 : v * t.voltGainLow[k] + t.voltOffsetLow[k];
    i = i >= 1 ? i * t.currGainHigh[k] + t.currOffsetHigh[k]
               : i * t.currGainLow[k] + t.currOffsetLow[k];
    v = float(double(v) - double(i) * 0.1); // 0.1 V drop per mA across the series resistor
    i *= m_channels.currentAdjust[k];
    v *= m_channels.voltageAdjust[k];
    return {std::max(v, 0.0f), std::max(i, 0.0f)};
}

void SamplingTick::sampleChannel(int k, int n) {
    const Reading r = convert(k);
    ChannelTest& t = m_tests[k];
    t.reported.liveVoltage = quantised::volts(r.volts);
    t.reported.liveCurrent = quantised::milliamperes(r.milliamperes);
    const auto shownVolts = float(*t.reported.liveVoltage);
    m_store.set(k, n, shownVolts, float(*t.reported.liveCurrent));
    const bool peakMoved = trackPeak(k, n, shownVolts);
    emit m_events.sampleTaken(k, n);
    if (peakMoved) emit m_events.peakMoved(k);
    if (looksForSparks(k, n)) detectSpark(k, n);
}

bool SamplingTick::trackPeak(int k, int n, float shownVolts) {
    ChannelTest& t = m_tests[k];
    if (m_tests[k].stopped || n < FirstJudgedSample || !(shownVolts > t.peakVoltage)) return false;
    t.peakVoltage = shownVolts;
    t.peakIndex = float(n);
    if (description(t.kind).showsPeakTime) t.reported.peakField = quantised::single(t.peakIndex);
    return true;
}

// Sparks are looked for on the channels of a group that runs the electrolyte test, also
// after the channel has stopped.
bool SamplingTick::looksForSparks(int k, int n) const {
    const ChannelTest& t = m_tests[k];
    return t.looksForSparks && t.sparkCount < MaxSparks && n >= FirstJudgedSample;
}

void SamplingTick::detectSpark(int k, int n) {
    // A spark is a fall of strictly more than the threshold since the previous second. The
    // samples are whole tenths, so the fall is counted in tenths and the 0.1 V steps compare
    // exactly with a threshold such as "3.0".
    ChannelTest& t = m_tests[k];
    const double threshold = t.number(Box::SparkCorrection);
    const long fallTenths =
        std::lround(m_store.voltage(k, n - 1) * 10.0) - std::lround(m_store.voltage(k, n) * 10.0);
    if (!(double(fallTenths) / 10.0 > threshold)) return;

    t.sparkSeen = true;
    // The spark voltage is the sample after the fall, as it always was; the second before it
    // is kept beside it, so the process owner can judge by either.
    Spark& spark = t.sparks[std::size_t(t.sparkCount)];
    spark = {n, m_store.voltage(k, n), m_store.voltage(k, n - 1)};
    ++t.sparkCount;
    if (t.sparkCount == 1) {
        t.firstSparkSeen = true;
        t.firstSparkVoltage = spark.volts;
    } else if (t.sparkCount == 2) {
        t.reported.peakField = quantised::volts(spark.volts);
    }
    emit m_events.sparkSeen(k, n, t.sparkCount);
}

} // namespace q7rk
