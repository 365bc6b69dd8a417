#include "NewTestReset.h"

#include "charts/ChartSet.h"
#include "charts/CurvePlotter.h"
#include "execution/Evaluator.h"
#include "params/PanelModel.h"
#include "settings/ChannelModel.h"
#include "settings/TimeScale.h"
#include "shell/ShellModel.h"
#include "station/TestLifecycle.h"

namespace q7rk {

using enum Box;

void NewTestReset::reset() {
    m_tests.clear(m_channels.firstChannel, m_channels.lastChannel);
    for (int k = 0; k <= m_channels.lastChannel && k < ChannelCount; ++k) {
        m_channels.rawVoltage[k] = 0;
        m_channels.rawCurrent[k] = 0;
        m_channels.timeScale[k] = DefaultTimeScale;
        m_channels.groupTimeScale = DefaultGroupTimeScale;

        for (Box b : {LiveVoltage, LiveCurrent, Readout49, Readout50, Readout51, Readout52})
            m_panel.setText(k, b, QStringLiteral("0"));
        clearResults(k);

        m_evaluator.resetChannel(k);
        m_plotter.forgetCurves(k);
        m_charts.frameChannelChart(k);
        if (k < ChartSet::GroupChartCount) m_charts.frameGroupChart(k);
    }
}

// The result boxes of the channel's kind wait for a verdict again.
void NewTestReset::clearResults(int k) {
    switch (m_channels.kind(k)) {
    case TestKind::Tv:
        m_panel.setText(k, RiseTime, QStringLiteral("0"));
        m_panel.setText(k, TvValue, QStringLiteral("0"));
        m_panel.setText(k, TvVerdict, QStringLiteral("待定"));
        m_shell.setStatusText(k + 1, ShellModel::channelStatus(k, QStringLiteral("路关闭")));
        break;
    case TestKind::Leakage:
        m_panel.setText(k, LeakageCurrent, QStringLiteral("0"));
        m_panel.setText(k, LeakageVerdict, QStringLiteral("待定"));
        m_shell.setStatusText(k + 1, ShellModel::channelStatus(k, QStringLiteral("路关闭：")));
        break;
    case TestKind::Electrolyte:
        m_panel.setText(k, MaximumVoltage, QStringLiteral("0"));
        m_panel.setText(k, MinimumVoltage, QStringLiteral("0"));
        m_panel.setText(k, ElectrolyteVerdict, QStringLiteral("待定"));
        for (int n = int(SparkVoltage1); n <= int(SparkTime3); ++n)
            m_panel.setText(k, textBox(n), QStringLiteral("0"));
        m_shell.setStatusText(k + 1, ShellModel::channelStatus(k, QStringLiteral("路关闭：")));
        break;
    }
}

} // namespace q7rk
