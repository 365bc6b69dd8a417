#include "execution/Evaluator.h"

#include "charts/CurvePlotter.h"
#include "params/PanelModel.h"
#include "params/StoredBoxes.h"
#include "settings/NumberText.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "shell/ShellModel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace q7rk {

namespace {

QString channelNumber(int k) {
    return QString::number(k + 1);
}

QString pointC(int k) {
    return channelNumber(k) + QStringLiteral("C点");
}

} // namespace

Evaluator::Evaluator(ChannelModel& channels, PanelModel& panel, SampleStore& store,
                     RunStates& states, CurvePlotter& plotter, ShellModel& shell,
                     SettingsStore& settings)
    : m_channels(channels), m_panel(panel), m_store(store), m_states(states), m_plotter(plotter),
      m_shell(shell), m_settings(settings) {}

bool Evaluator::evaluate(int k) {
    // A channel outside the group keeps the readouts of an earlier run; looking at them
    // would find a point A or a minimum that belongs to no test.
    if (k < m_channels.firstChannel || k > m_channels.lastChannel || k >= ChannelCount)
        return false;
    const int n = m_channels.sampleIndex;
    switch (m_channels.kind(k)) {
    case TestKind::Tv:
        return evaluateTv(k, n);
    case TestKind::Leakage:
        return evaluateLeakage(k, n);
    case TestKind::Electrolyte:
        return evaluateElectrolyte(k, n);
    }
    return false;
}

int Evaluator::integerOf(int k, Box box) const {
    return wholeSeconds(m_panel.number(k, box));
}

double Evaluator::shownVoltage(int k) const {
    return m_panel.number(k, Box::LiveVoltage);
}

bool Evaluator::evaluateTv(int k, int n) {
    ChannelRunState& s = m_states[k];
    // Until point A gives a rise time the deadline moves with the samples.
    const int delay = integerOf(k, Box::DelayTime);
    s.deadline = integerOf(k, Box::RiseTime) == 0 ? n : testLength(m_panel, k);
    m_plotter.scrollWhenFull(k, n);

    // Divided by 100 rather than multiplied by 0.01, so that 150 V at 70 % is exactly 105.
    const double vr =
        m_panel.number(k, Box::FormationVoltage) * m_panel.number(k, Box::VrRatio) / 100.0;
    if (n > 1 && !s.firstSparkSeen && shownVoltage(k) >= vr) markPointA(k, n);

    if (n > s.deadline && delay > 0 && s.firstSparkSeen && !s.evaluated) {
        finishTv(k, n);
        return true;
    }
    return false;
}

// Point A: the voltage has passed Vr; the rise time is the index of the newest sample.
void Evaluator::markPointA(int k, int n) {
    m_states[k].firstSparkSeen = true;
    const QString rise = QString::number(n - 1);
    m_panel.setText(k, Box::RiseTime, rise);
    m_panel.setText(k, Box::Readout49, rise);
    const QString label = QStringLiteral("A点");
    // The comparison-chart tick sits on the newest point, which is sample n - 1.
    m_plotter.markGroupTick(k, n - 1, label);
    m_plotter.markPointLine(k, n, label);
    setStatus(k, channelNumber(k) + QStringLiteral("路A点：") + rise + QStringLiteral("s-") +
                     m_panel.text(k, Box::LiveVoltage) + QStringLiteral("V"));
}

void Evaluator::endChannel(int k, int n) {
    m_states[k].evaluated = true;
    m_channels.channelStopped[k] = true;
    m_plotter.markPointLine(k, n, QStringLiteral("C点"));
    m_plotter.markGroupDropLine(k, n, pointC(k));
}

void Evaluator::finishTv(int k, int n) {
    const ChannelRunState& s = m_states[k];
    m_plotter.markPointTick(k, int(s.peakIndex), QStringLiteral("B点"));
    endChannel(k, n);
    m_panel.setText(k, Box::Readout50, formatSingle(s.peakIndex));
    m_panel.setText(k, Box::Readout51, formatSingle(s.peakVoltage));
    const QString tv = formatOptionalDecimalSingle(m_store.voltage(k, n - 1), 1);
    m_panel.setText(k, Box::TvValue, tv);
    m_panel.setText(k, Box::Readout52, tv);
    setVerdict(k, Box::TvVerdict);

    keepBoxes(k);
    setStatus(k, ShellModel::channelStatus(k, endPhrase(TestKind::Tv)));
}

bool Evaluator::evaluateLeakage(int k, int n) {
    ChannelRunState& s = m_states[k];
    s.deadline = testLength(m_panel, k);
    m_plotter.scrollWhenFull(k, n);
    if (n > s.deadline && !s.evaluated) {
        finishLeakage(k, n);
        return true;
    }
    return false;
}

void Evaluator::finishLeakage(int k, int n) {
    endChannel(k, n);
    m_panel.setText(k, Box::Readout50, QString::number(n - 1));
    m_panel.setText(k, Box::Readout51, formatSingle(m_states[k].peakVoltage));
    const QString current = m_panel.text(k, Box::LiveCurrent);
    m_panel.setText(k, Box::Readout52, current);
    m_panel.setText(k, Box::LeakageCurrent, current);
    setVerdict(k, Box::LeakageVerdict);

    keepBoxes(k);
    setStatus(k, ShellModel::channelStatus(k, endPhrase(TestKind::Leakage)));
}

bool Evaluator::evaluateElectrolyte(int k, int n) {
    ChannelRunState& s = m_states[k];
    trackHold(k, n);
    // No end before the first spark, then the flash delay counts from it; a channel that
    // holds at its set voltage without a spark ends once it has held for the flash delay.
    if (s.sparkSeen)
        s.deadline = testLength(m_panel, k);
    else if (s.heldSince > 0)
        s.deadline = s.heldSince + integerOf(k, Box::SparkDelay);
    else
        s.deadline = n;
    m_plotter.scrollWhenFull(k, n);
    if (m_panel.number(k, Box::SparkVoltage1) > 0 && shownVoltage(k) < s.firstSparkVoltage)
        s.firstSparkVoltage = float(shownVoltage(k));
    if (n > s.deadline && !s.evaluated) {
        finishElectrolyte(k, n);
        return true;
    }
    return false;
}

// The source regulates to the set voltage and the reading carries its calibration's error,
// so the newest sample within 1 % of the set voltage (and never closer than 0.5 V, five
// steps of the 0.1 V readings) counts as holding there; at or above it as well. A sample
// below that band, or a spark, ends the stretch.
void Evaluator::trackHold(int k, int n) {
    ChannelRunState& s = m_states[k];
    const int newest = n - 1;
    if (s.sparkSeen || newest < 3) { // sparks are looked for from the third sample
        s.heldSince = 0;
        return;
    }
    const double set = m_panel.number(k, Box::ElectrolyteSetVoltage);
    const double tolerance = std::max(0.5, std::fabs(set) * 0.01);
    const bool atSet = set > 0 && m_store.voltage(k, newest) >= set - tolerance;
    if (!atSet)
        s.heldSince = 0;
    else if (s.heldSince == 0)
        s.heldSince = newest;
}

void Evaluator::finishElectrolyte(int k, int n) {
    endChannel(k, n);
    const ChannelRunState& s = m_states[k];
    const QString peak = formatSingle(s.peakVoltage);
    m_panel.setText(k, Box::MaximumVoltage, peak);
    m_panel.setText(k, Box::Readout51, peak);
    m_panel.setText(k, Box::MinimumVoltage, formatSingle(s.firstSparkVoltage));
    setVerdict(k, Box::ElectrolyteVerdict);

    keepBoxes(k);
    QString phrase = endPhrase(TestKind::Electrolyte);
    if (!s.sparkSeen) {
        // Beside 火花1 on the curve, where the first spark's voltage would be.
        m_panel.setText(k, Box::Readout49, noSparkText());
        phrase += QStringLiteral("，") + noSparkText();
    }
    setStatus(k, ShellModel::channelStatus(k, phrase));
}

QString Evaluator::noSparkText() {
    return QStringLiteral("未闪火");
}

void Evaluator::setVerdict(int k, Box box) {
    const SparkVoltageRule rule =
        sparkVoltageRule(m_settings.read(section::Canshu, key::SparkVerdictVoltage));
    const bool failed = verdictFails(
        m_channels.kind(k), [&](Box b) { return m_panel.number(k, b); }, rule);
    m_panel.setText(k, box, verdictText(failed));
}

// A finished test keeps its parameters as the next start-up's defaults.
void Evaluator::keepBoxes(int k) {
    const unsigned kind = keptBit(m_channels.kind(k));
    SettingsStore::Batch batch(m_settings);
    for (const StoredBox& entry : storedBoxes())
        if (entry.keptBy & kind)
            m_settings.write(entry.section, storedKey(entry, k), m_panel.text(k, entry.box));
}

void Evaluator::setStatus(int k, const QString& text) {
    m_shell.setStatusText(k + 1, text);
}

void Evaluator::startTexts(int k) {
    setStatus(k, ShellModel::channelStatus(k, startPhrase(m_channels.kind(k))));
}

void Evaluator::resetChannel(int k) {
    ChannelRunState& s = m_states[k];
    s.peakVoltage = 0;
    s.firstSparkSeen = false;
    s.sparkSeen = false;
    s.evaluated = false;
    s.deadline = 0;
    s.heldSince = 0;
    s.firstSparkVoltage = 0;
}

} // namespace q7rk
