#include "execution/Evaluator.h"

#include "execution/RunEvents.h"
#include "execution/RunLog.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

#include <algorithm>
#include <cmath>

namespace q7rk {

Evaluator::Evaluator(ChannelModel& channels, SampleStore& store, ChannelTests& tests,
                     RunEvents& events, const SettingsStore& settings)
    : m_channels(channels), m_store(store), m_tests(tests), m_events(events), m_settings(settings) {
}

bool Evaluator::evaluate(int k) {
    // A channel outside the group keeps the results of an earlier run; looking at them
    // would find a point A or a minimum that belongs to no test.
    if (k < m_channels.firstChannel || k > m_channels.lastChannel || k >= ChannelCount)
        return false;
    const int n = m_channels.sampleIndex;
    emit m_events.channelWatched(k, n);
    switch (m_tests[k].kind) {
    case TestKind::Tv:
        return evaluateTv(k, n);
    case TestKind::Leakage:
        return evaluateLeakage(k, n);
    case TestKind::Electrolyte:
        return evaluateElectrolyte(k, n);
    }
    return false;
}

// The newest sample as its readout shows it.
double Evaluator::shownVoltage(int k) const {
    return m_store.voltage(k, std::max(0, m_channels.sampleIndex - 1));
}

bool Evaluator::evaluateTv(int k, int n) {
    ChannelTest& t = m_tests[k];
    // Until point A gives a rise time the deadline moves with the samples.
    const int delay = wholeSeconds(t.number(Box::DelayTime));
    t.deadline = t.riseTime == 0 ? n : testLength(t);

    // Divided by 100 rather than multiplied by 0.01, so that 150 V at 70 % is exactly 105.
    const double vr = t.number(Box::FormationVoltage) * t.number(Box::VrRatio) / 100.0;
    if (n > 1 && !t.firstSparkSeen && shownVoltage(k) >= vr) {
        // Point A: the voltage has passed Vr; the rise time is the index of the newest sample.
        t.firstSparkSeen = true;
        t.riseTime = n - 1;
        t.reported.riseTime = t.riseTime;
        emit m_events.pointAReached(k, n);
    }
    if (n > t.deadline && delay > 0 && t.firstSparkSeen && !t.evaluated) {
        t.tvValue = quantised::volts(m_store.voltage(k, n - 1));
        t.reported.peakField = quantised::single(t.peakIndex);
        t.reported.tvValue = t.tvValue;
        endChannel(k, n);
        return true;
    }
    return false;
}

bool Evaluator::evaluateLeakage(int k, int n) {
    ChannelTest& t = m_tests[k];
    t.deadline = testLength(t);
    if (n > t.deadline && !t.evaluated) {
        t.leakageCurrent = quantised::milliamperes(m_store.current(k, n - 1));
        t.reported.peakField = n - 1; // the readout beside Label50 shows the samples taken
        endChannel(k, n);
        return true;
    }
    return false;
}

bool Evaluator::evaluateElectrolyte(int k, int n) {
    ChannelTest& t = m_tests[k];
    trackHold(k, n);
    // No end before the first spark, then the flash delay counts from it; a channel that
    // holds at its set voltage without a spark ends once it has held for the flash delay.
    if (t.sparkSeen)
        t.deadline = testLength(t);
    else if (t.heldSince > 0)
        t.deadline = t.heldSince + wholeSeconds(t.number(Box::SparkDelay));
    else
        t.deadline = n;
    if (t.number(Box::SparkVoltage1) > 0 && shownVoltage(k) < t.firstSparkVoltage)
        t.firstSparkVoltage = float(shownVoltage(k));
    if (n > t.deadline && !t.evaluated) {
        endChannel(k, n);
        return true;
    }
    return false;
}

// The source regulates to the set voltage and the reading carries its calibration's error,
// so the newest sample within 1 % of the set voltage (and never closer than 0.5 V, five
// steps of the 0.1 V readings) counts as holding there; at or above it as well. A sample
// below that band, or a spark, ends the stretch.
void Evaluator::trackHold(int k, int n) {
    ChannelTest& t = m_tests[k];
    const int newest = n - 1;
    if (t.sparkSeen || newest < 3) { // sparks are looked for from the third sample
        t.heldSince = 0;
        return;
    }
    const double set = t.number(Box::ElectrolyteSetVoltage);
    const double tolerance = std::max(0.5, std::fabs(set) * 0.01);
    const bool atSet = set > 0 && m_store.voltage(k, newest) >= set - tolerance;
    if (!atSet)
        t.heldSince = 0;
    else if (t.heldSince == 0)
        t.heldSince = newest;
}

void Evaluator::endChannel(int k, int n) {
    ChannelTest& t = m_tests[k];
    t.evaluated = true;
    t.stopped = true;
    const SparkVoltageRule rule =
        sparkVoltageRule(m_settings.read(section::Canshu, key::SparkVerdictVoltage));
    t.failed = verdictFails(
        t.kind, [&t](Box b) { return t.number(b); }, rule);
    if (t.kind == TestKind::Tv)
        t.reported.code = t.failed ? Reported::Code::Fail : Reported::Code::Pass;
    qCInfo(runLog).noquote() << "channel" << k + 1 << kindKey(t.kind) << "judged at sample" << n
                             << "-" << verdictText(t.failed);
    emit m_events.judged(k, n);
}

QString Evaluator::noSparkText() {
    return QStringLiteral("未闪火");
}

} // namespace q7rk
