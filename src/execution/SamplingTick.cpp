#include "execution/SamplingTick.h"

#include "charts/CurvePlotter.h"
#include "kinds/TestKindDescription.h"
#include "params/PanelModel.h"
#include "settings/NumberText.h"

#include <algorithm>
#include <cmath>

namespace q7rk {

namespace {
constexpr int MaxSparks = 3;
constexpr int FirstJudgedSample = 3; // samples 1 and 2 are the instrument settling
} // namespace

SamplingTick::SamplingTick(ChannelModel& channels, PanelModel& panel, SampleStore& store,
                           RunStates& states, CurvePlotter& plotter, MeasurementTables tables)
    : m_channels(channels), m_panel(panel), m_store(store), m_states(states), m_plotter(plotter),
      m_tables(tables) {}

void SamplingTick::run() {
    const int first = std::max(0, int(m_channels.firstChannel));
    const int last = std::min(ChannelCount - 1, int(m_channels.lastChannel));
    const int n = m_channels.sampleIndex;
    if (n > SampleStore::MaxSample) {
        // The store holds one test of 6000 s; past it the channels simply end, and the run
        // with them, rather than writing beyond the store.
        for (int k = first; k <= last; ++k)
            m_channels.channelStopped[k] = true;
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
    const QString voltsText = formatFixedSingle(r.volts, 1);
    const QString currentText = formatFixedSingle(r.milliamperes, 3);
    m_panel.setText(k, Box::LiveVoltage, voltsText);
    m_panel.setText(k, Box::LiveCurrent, currentText);
    // What is stored is exactly what is shown.
    const double shownVolts = parseNumber(voltsText).value_or(0);
    const double shownCurrent = parseNumber(currentText).value_or(0);
    m_store.set(k, n, float(shownVolts), float(shownCurrent));

    trackPeak(k, n, float(shownVolts));
    m_plotter.plot(k, n, shownCurrent);
    if (looksForSparks(k, n)) detectSpark(k, n);
}

void SamplingTick::trackPeak(int k, int n, float shownVolts) {
    ChannelRunState& s = m_states[k];
    if (m_channels.channelStopped[k] || n < FirstJudgedSample || !(shownVolts > s.peakVoltage))
        return;
    s.peakVoltage = shownVolts;
    s.peakIndex = float(n);
    // On an electrolyte channel the box beside 火花2 is the second spark's voltage; the
    // second of the peak is no spark, and a time under a voltage caption misleads.
    if (description(m_channels.kind(k)).showsPeakTime)
        m_panel.setText(k, Box::Readout50, formatSingle(s.peakIndex));
    m_panel.setText(k, Box::Readout51, formatSingle(s.peakVoltage));
}

// Sparks are looked for on the channels of a group that runs the electrolyte test, also
// after the channel has stopped.
bool SamplingTick::looksForSparks(int k, int n) const {
    return m_panel.option(Option::ElectrolyteTest, groupOf(k)) &&
           m_states[k].sparkCount < MaxSparks && n >= FirstJudgedSample;
}

void SamplingTick::detectSpark(int k, int n) {
    // A spark is a fall of strictly more than the threshold since the previous second. The
    // samples are whole tenths, so the fall is counted in tenths and the 0.1 V steps compare
    // exactly with a threshold such as "3.0".
    const double threshold = m_panel.number(k, Box::SparkCorrection);
    const long fallTenths =
        std::lround(m_store.voltage(k, n - 1) * 10.0) - std::lround(m_store.voltage(k, n) * 10.0);
    if (!(double(fallTenths) / 10.0 > threshold)) return;

    ChannelRunState& s = m_states[k];
    s.sparkSeen = true;
    ++s.sparkCount;
    const QString volts = formatFixedSingle(m_store.voltage(k, n), 1);
    const QString index = QString::number(n);
    // The spark voltage is the sample after the fall, as it always was; the second before it
    // is kept beside it, so the process owner can judge by either.
    constexpr Box beforeFall[] = {Box::VoltageBeforeSpark1, Box::VoltageBeforeSpark2,
                                  Box::VoltageBeforeSpark3};
    m_panel.setText(k, beforeFall[std::min(s.sparkCount, MaxSparks) - 1],
                    formatFixedSingle(m_store.voltage(k, n - 1), 1));
    switch (s.sparkCount) {
    case 1:
        s.firstSparkSeen = true;
        s.firstSparkVoltage = m_store.voltage(k, n);
        m_panel.setText(k, Box::SparkVoltage1, volts);
        m_panel.setText(k, Box::SparkTime1, index);
        m_panel.setText(k, Box::Readout49, volts);
        m_plotter.markFirstSpark(k, n);
        break;
    case 2:
        m_panel.setText(k, Box::SparkVoltage2, volts);
        m_panel.setText(k, Box::SparkTime2, index);
        m_panel.setText(k, Box::Readout50, volts);
        break;
    default:
        m_panel.setText(k, Box::SparkVoltage3, volts);
        m_panel.setText(k, Box::SparkTime3, index);
        m_panel.setText(k, Box::Readout52, volts);
        break;
    }
}

} // namespace q7rk
