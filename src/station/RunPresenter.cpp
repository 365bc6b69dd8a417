#include "station/RunPresenter.h"

#include "charts/CurvePlotter.h"
#include "execution/Evaluator.h"
#include "execution/RunEvents.h"
#include "kinds/TestKindDescription.h"
#include "params/PanelModel.h"
#include "params/StoredBoxes.h"
#include "settings/NumberText.h"
#include "settings/SampleStore.h"
#include "settings/SettingsStore.h"
#include "shell/ShellModel.h"

#include <algorithm>

namespace q7rk {

namespace {

QString channelNumber(int k) {
    return QString::number(k + 1);
}

QString volts(float value) {
    return formatFixedSingle(value, 1);
}

} // namespace

RunPresenter::RunPresenter(RunEvents& events, const ChannelTests& tests, const SampleStore& samples,
                           PanelModel& panel, CurvePlotter& plotter, ShellModel& shell,
                           SettingsStore& settings, QObject* parent)
    : QObject(parent), m_tests(tests), m_samples(samples), m_panel(panel), m_plotter(plotter),
      m_shell(shell), m_settings(settings) {
    connect(&events, &RunEvents::channelStarted, this, &RunPresenter::showStart);
    connect(&events, &RunEvents::sampleTaken, this, &RunPresenter::showSample);
    connect(&events, &RunEvents::peakMoved, this, &RunPresenter::showPeak);
    connect(&events, &RunEvents::sparkSeen, this, &RunPresenter::showSpark);
    connect(&events, &RunEvents::channelWatched, this, [this](int k, int n) {
        PerChannel<bool> running{};
        for (int c = 0; c < ChannelCount; ++c)
            running[c] = !m_tests[c].stopped;
        m_plotter.scrollWhenFull(k, n, running);
    });
    connect(&events, &RunEvents::pointAReached, this, &RunPresenter::showPointA);
    connect(&events, &RunEvents::judged, this, &RunPresenter::showJudged);
    connect(&events, &RunEvents::interrupted, this, &RunPresenter::showInterrupted);
}

void RunPresenter::setStatus(int k, const QString& text) {
    m_shell.setStatusText(k + 1, text);
}

void RunPresenter::showStart(int k) {
    setStatus(k, ShellModel::channelStatus(k, startPhrase(m_tests[k].kind)));
}

void RunPresenter::showSample(int k, int n) {
    m_panel.setText(k, Box::LiveVoltage, volts(m_samples.voltage(k, n)));
    m_panel.setText(k, Box::LiveCurrent, formatFixedSingle(m_samples.current(k, n), 3));
    m_plotter.plot(k, n, quantised::milliamperes(m_samples.current(k, n)),
                   m_tests[k].stopped ? CurvePlotter::Stroke::PositionOnly
                                      : CurvePlotter::Stroke::Draw);
}

void RunPresenter::showPeak(int k) {
    const ChannelTest& t = m_tests[k];
    // On an electrolyte channel the box beside 火花2 is the second spark's voltage; the
    // second of the peak is no spark, and a time under a voltage caption misleads.
    if (description(t.kind).showsPeakTime)
        m_panel.setText(k, Box::Readout50, formatSingle(t.peakIndex));
    m_panel.setText(k, Box::Readout51, formatSingle(t.peakVoltage));
}

void RunPresenter::showSpark(int k, int n, int sparkNumber) {
    constexpr Box beforeFall[] = {Box::VoltageBeforeSpark1, Box::VoltageBeforeSpark2,
                                  Box::VoltageBeforeSpark3};
    constexpr Box voltage[] = {Box::SparkVoltage1, Box::SparkVoltage2, Box::SparkVoltage3};
    constexpr Box time[] = {Box::SparkTime1, Box::SparkTime2, Box::SparkTime3};
    constexpr Box readout[] = {Box::Readout49, Box::Readout50, Box::Readout52};
    const int i = std::clamp(sparkNumber, 1, 3) - 1;
    const Spark& spark = m_tests[k].sparks[std::size_t(i)];
    m_panel.setText(k, beforeFall[i], volts(spark.voltsBefore));
    m_panel.setText(k, voltage[i], volts(spark.volts));
    m_panel.setText(k, time[i], QString::number(n));
    m_panel.setText(k, readout[i], volts(spark.volts));
    if (i == 0) m_plotter.markFirstSpark(k, n);
}

void RunPresenter::showPointA(int k, int n) {
    const QString rise = QString::number(m_tests[k].riseTime);
    m_panel.setText(k, Box::RiseTime, rise);
    m_panel.setText(k, Box::Readout49, rise);
    const QString label = QStringLiteral("A点");
    // The comparison-chart tick sits on the newest point, which is sample n - 1.
    m_plotter.markGroupTick(k, n - 1, label);
    m_plotter.markPointLine(k, n, label);
    setStatus(k, channelNumber(k) + QStringLiteral("路A点：") + rise + QStringLiteral("s-") +
                     m_panel.text(k, Box::LiveVoltage) + QStringLiteral("V"));
}

void RunPresenter::showJudged(int k, int n) {
    const ChannelTest& t = m_tests[k];
    if (t.kind == TestKind::Tv) m_plotter.markPointTick(k, int(t.peakIndex), QStringLiteral("B点"));
    m_plotter.markPointLine(k, n, QStringLiteral("C点"));
    m_plotter.markGroupDropLine(k, n, channelNumber(k) + QStringLiteral("C点"));
    QString phrase = endPhrase(t.kind);
    switch (t.kind) {
    case TestKind::Tv: {
        m_panel.setText(k, Box::Readout50, formatSingle(t.peakIndex));
        m_panel.setText(k, Box::Readout51, formatSingle(t.peakVoltage));
        const QString tv = formatOptionalDecimalSingle(m_samples.voltage(k, n - 1), 1);
        m_panel.setText(k, Box::TvValue, tv);
        m_panel.setText(k, Box::Readout52, tv);
        break;
    }
    case TestKind::Leakage: {
        m_panel.setText(k, Box::Readout50, QString::number(n - 1));
        m_panel.setText(k, Box::Readout51, formatSingle(t.peakVoltage));
        const QString current = m_panel.text(k, Box::LiveCurrent);
        m_panel.setText(k, Box::Readout52, current);
        m_panel.setText(k, Box::LeakageCurrent, current);
        break;
    }
    case TestKind::Electrolyte: {
        const QString peak = formatSingle(t.peakVoltage);
        m_panel.setText(k, Box::MaximumVoltage, peak);
        m_panel.setText(k, Box::Readout51, peak);
        m_panel.setText(k, Box::MinimumVoltage, formatSingle(t.firstSparkVoltage));
        if (!t.sparkSeen) {
            // Beside 火花1 on the curve, where the first spark's voltage would be.
            m_panel.setText(k, Box::Readout49, Evaluator::noSparkText());
            phrase += QStringLiteral("，") + Evaluator::noSparkText();
        }
        break;
    }
    }
    showVerdict(k);
    keepBoxes(k);
    setStatus(k, ShellModel::channelStatus(k, phrase));
}

void RunPresenter::showVerdict(int k) {
    const ChannelTest& t = m_tests[k];
    m_panel.setText(k, description(t.kind).verdictBox, verdictText(t.failed));
}

// A finished test keeps its parameters as the next start-up's defaults.
void RunPresenter::keepBoxes(int k) {
    const unsigned kind = keptBit(m_tests[k].kind);
    SettingsStore::Batch batch(m_settings);
    for (const StoredBox& entry : storedBoxes())
        if (entry.keptBy & kind)
            m_settings.write(entry.section, storedKey(entry, k), m_panel.text(k, entry.box));
}

// A channel whose test did not reach its end says so, in its status panel and in its
// verdict, which is no verdict: the instrument hears it as still pending.
void RunPresenter::showInterrupted(int k) {
    setStatus(k, ShellModel::channelStatus(k, QStringLiteral("路测试中断")));
    m_panel.setText(k, description(m_tests[k].kind).verdictBox, interruptedText());
}

} // namespace q7rk
